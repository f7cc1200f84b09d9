#pragma once

#include "model/GhostSuggestion.h"

#include <QFuture>
#include <QList>

namespace tessaline {

// Where the thinking assistant gets its reflections. Both calls return at
// once; the work runs off the main thread. A generation never fails: when
// no model answers, the result is a reflection written without one.
class IntelligenceService
{
public:
    virtual ~IntelligenceService() = default;

    virtual QFuture<IntelligenceAvailability> availability() = 0;
    virtual QFuture<GhostSuggestion> generate(ThinkingPrompt prompt, const QList<CardExcerpt> &excerpts) = 0;
};

} // namespace tessaline
