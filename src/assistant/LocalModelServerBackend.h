#pragma once

#include "assistant/IntelligenceBackend.h"

#include <QByteArray>
#include <QUrl>

#include <optional>

namespace tessaline {

// A language-model server on this computer, reached over HTTP on the
// loopback address only: it lists its models at /api/tags and answers a
// prompt at /api/generate. Card text never leaves the loopback address: any
// other host is refused before a request is made, no proxy is used and
// redirects are not followed.
//
// Nothing is asked until the assistant is opened. With no server, or a
// server without a model, the model counts as unavailable.
class LocalModelServerBackend final : public IntelligenceBackend
{
public:
    static constexpr quint16 defaultPort = 11434;

    struct Timeouts
    {
        // Checking for the server, while the sheet opens.
        int probeMilliseconds = 1500;
        // A whole answer; local models can be slow to load and to write.
        int generationMilliseconds = 120'000;
    };

    explicit LocalModelServerBackend(quint16 port = defaultPort);
    LocalModelServerBackend(quint16 port, Timeouts timeouts);

    IntelligenceAvailability availability(const Cancelled &cancelled) override;
    Expected<QString, IntelligenceBackendError> respond(const QString &instructions, const QString &prompt,
                                                        const Cancelled &cancelled) override;

    // Only a literal loopback address over plain HTTP; a host name is
    // refused, as its lookup could lead anywhere.
    static bool isLoopbackUrl(const QUrl &url);

    // The largest answer read; anything longer is refused, and reading
    // stops as soon as the answer runs past it.
    static constexpr qint64 maximumReplyBytes = 4 * 1024 * 1024;
    // The largest list of models read when checking for the server.
    static constexpr qint64 maximumModelListBytes = 1024 * 1024;

private:
    Expected<QByteArray, IntelligenceBackendError> exchange(const QString &path, const std::optional<QByteArray> &body,
                                                            int timeoutMilliseconds, qint64 maximumBytes,
                                                            const Cancelled &cancelled) const;

    QUrl m_base;
    Timeouts m_timeouts;
    // The model the last check found; read and written on the worker only.
    QString m_model;
};

} // namespace tessaline
