#include "platform/PortalRequest.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QRandomGenerator>
#include <QTimer>

namespace tessaline {

bool PortalAnswer::portalMissing() const
{
    switch (callError.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownMethod:
    case QDBusError::UnknownObject:
        return true;
    default:
        return false;
    }
}

QString PortalRequest::newToken()
{
    static quint32 counter = 0;
    return QStringLiteral("tessaline%1_%2").arg(++counter).arg(QRandomGenerator::global()->generate());
}

PortalRequest::PortalRequest(QObject *context, Completion completion, QString portalService)
    : QObject(context)
    , m_completion(std::move(completion))
    , m_service(std::move(portalService))
{
}

PortalRequest::~PortalRequest()
{
    // The context went first (the app quitting while a dialog is up).
    if (!m_finished)
        close();
}

void PortalRequest::listen(const QString &requestPath)
{
    if (requestPath == m_requestPath)
        return;
    stopListening();
    m_requestPath = requestPath;
    QDBusConnection::sessionBus().connect(m_service, m_requestPath, QStringLiteral("org.freedesktop.portal.Request"),
                                          QStringLiteral("Response"), this,
                                          SLOT(handleResponse(uint, QVariantMap)));
}

void PortalRequest::stopListening()
{
    if (m_requestPath.isEmpty())
        return;
    QDBusConnection::sessionBus().disconnect(m_service, m_requestPath,
                                             QStringLiteral("org.freedesktop.portal.Request"),
                                             QStringLiteral("Response"), this,
                                             SLOT(handleResponse(uint, QVariantMap)));
    m_requestPath.clear();
}

void PortalRequest::close()
{
    // A portal left waiting would go on: a screenshot allowed after the app
    // stopped waiting is still written to a file, which nobody then reads
    // and removes.
    // Past the application's end the bus is no longer to be used.
    if (m_requestPath.isEmpty() || !QCoreApplication::instance())
        return;
    (void)QDBusConnection::sessionBus().send(QDBusMessage::createMethodCall(
        m_service, m_requestPath, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Close")));
}

void PortalRequest::handleResponse(uint response, const QVariantMap &results)
{
    PortalAnswer answer;
    answer.response = response;
    answer.results = results;
    finish(answer);
}

void PortalRequest::finish(const PortalAnswer &answer)
{
    if (m_finished)
        return;
    m_finished = true;
    stopListening();
    Completion completion = std::move(m_completion);
    deleteLater();
    if (completion)
        completion(answer);
}

void PortalRequest::call(const QString &interface, const QString &method, const QVariantList &arguments,
                         QVariantMap options, QObject *context, Completion completion, int timeoutMilliseconds,
                         const QString &portalService)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    auto *request = new PortalRequest(context, std::move(completion), portalService);
    if (!bus.isConnected()) {
        PortalAnswer answer;
        answer.callError = QDBusError(QDBusError::ServiceUnknown, QStringLiteral("No session bus."));
        request->finish(answer);
        return;
    }
    const QString token = newToken();
    options.insert(QStringLiteral("handle_token"), token);
    // The Request object's path is known before the call: the portal builds
    // it from our bus name and the token.
    QString sender = bus.baseService().mid(1);
    sender.replace(u'.', u'_');
    request->listen(path() + QStringLiteral("/request/") + sender + u'/' + token);

    QDBusMessage message = QDBusMessage::createMethodCall(portalService, path(), interface, method);
    message.setArguments(QVariantList(arguments) << options);
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(message), request);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, request, [request, watcher] {
        watcher->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
        if (reply.isError()) {
            PortalAnswer answer;
            answer.callError = reply.error();
            request->finish(answer);
            return;
        }
        // Older portals chose the path themselves.
        request->listen(reply.value().path());
    });
    if (timeoutMilliseconds > 0) {
        QTimer::singleShot(timeoutMilliseconds, request, [request] {
            PortalAnswer answer;
            answer.timedOut = true;
            request->close();
            request->finish(answer);
        });
    }
}

} // namespace tessaline
