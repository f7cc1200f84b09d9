#pragma once

#include <QDBusConnection>
#include <QDBusError>
#include <QObject>
#include <QVariantList>
#include <QVariantMap>

#include <functional>

namespace tessaline {

// What a portal request came to: the desktop's response code and results,
// or the error of a call that never reached a portal.
struct PortalAnswer
{
    // The portal's own codes.
    static constexpr uint success = 0;
    static constexpr uint cancelledByUser = 1;
    static constexpr uint ended = 2; // refused, failed or timed out

    uint response = ended;
    QVariantMap results;
    // Set when the call itself failed; then response is `ended`.
    QDBusError callError;
    bool timedOut = false;

    // No portal, or none that has this interface or method.
    bool portalMissing() const;
};

// One call of a desktop portal method that answers later through a Request
// object. The portal sends the Response only to the connection that called,
// so the request listens on that connection, and starts listening before the
// call so that no answer can slip past.
class PortalRequest : public QObject
{
    Q_OBJECT
public:
    using Completion = std::function<void(const PortalAnswer &)>;

    static QString service() { return QStringLiteral("org.freedesktop.portal.Desktop"); }
    static QString path() { return QStringLiteral("/org/freedesktop/portal/desktop"); }

    // Calls `method` with `arguments` followed by `options` (to which the
    // request's handle token is added). The completion runs once, on the
    // context's thread, unless the context is gone by then. A timeout of 0
    // waits as long as the desktop takes (a dialog may be up).
    static void call(const QString &interface, const QString &method, const QVariantList &arguments,
                     QVariantMap options, QObject *context, Completion completion, int timeoutMilliseconds = 0,
                     const QString &portalService = service());

    // A fresh token, unique within this process.
    static QString newToken();

    ~PortalRequest() override;

private Q_SLOTS:
    void handleResponse(uint response, const QVariantMap &results);

private:
    PortalRequest(QObject *context, Completion completion, QString portalService);
    void listen(const QString &requestPath);
    void stopListening();
    // Tells the portal the answer is no longer wanted.
    void close();
    void finish(const PortalAnswer &answer);

    Completion m_completion;
    QString m_service;
    QString m_requestPath;
    bool m_finished = false;
};

} // namespace tessaline
