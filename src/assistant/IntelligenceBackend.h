#pragma once

#include "model/GhostSuggestion.h"
#include "platform/Expected.h"

#include <QString>

#include <functional>

namespace tessaline {

// Why a model gave no usable answer. Never shown: the service answers with
// its own reflection instead.
struct IntelligenceBackendError
{
    QString description;
};

// A language model on this computer, as the intelligence service reaches it.
// Calls block and run on the service's worker only, one at a time, so an
// implementation may keep worker-only state between them.
class IntelligenceBackend
{
public:
    // Asked now and then during a long call: true once nobody wants the
    // answer any more, so the call may give up early.
    using Cancelled = std::function<bool()>;

    virtual ~IntelligenceBackend() = default;

    virtual IntelligenceAvailability availability(const Cancelled &cancelled) = 0;
    // The model's raw answer to `prompt` under `instructions`.
    virtual Expected<QString, IntelligenceBackendError> respond(const QString &instructions, const QString &prompt,
                                                                const Cancelled &cancelled) = 0;
};

} // namespace tessaline
