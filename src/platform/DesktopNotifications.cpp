#include "platform/DesktopNotifications.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>
#include <QVariantMap>

namespace tessaline {

namespace {

constexpr char defaultAction[] = "default";

} // namespace

DesktopNotifications::DesktopNotifications(QDBusConnection connection, QObject *parent)
    : QObject(parent), m_connection(std::move(connection))
{
    if (!m_connection.isConnected())
        return;
    m_connection.connect(service, path, service, QStringLiteral("ActivationToken"), this,
                         SLOT(onActivationToken(uint, QString)));
    m_connection.connect(service, path, service, QStringLiteral("ActionInvoked"), this,
                         SLOT(onActionInvoked(uint, QString)));
    m_connection.connect(service, path, service, QStringLiteral("NotificationClosed"), this,
                         SLOT(onNotificationClosed(uint, uint)));
}

void DesktopNotifications::onActivationToken(uint id, const QString &token)
{
    if (m_shown.contains(id))
        m_shown.insert(id, token);
}

void DesktopNotifications::onActionInvoked(uint id, const QString &action)
{
    // Other programs' notifications are signalled to every listener by
    // some servers.
    if (action != QLatin1String(defaultAction) || !m_shown.contains(id))
        return;
    Q_EMIT opened(m_shown.value(id));
}

void DesktopNotifications::onNotificationClosed(uint id, uint)
{
    if (m_shown.remove(id))
        Q_EMIT closed();
}

void DesktopNotifications::withdrawAll()
{
    if (!m_connection.isConnected())
        return;
    for (auto shown = m_shown.cbegin(); shown != m_shown.cend(); ++shown) {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, service,
                                                              QStringLiteral("CloseNotification"));
        message << shown.key();
        m_connection.asyncCall(message);
    }
}

void DesktopNotifications::probe(std::function<void(bool answered)> done)
{
    if (!m_connection.isConnected()) {
        QTimer::singleShot(0, this, [done]() { done(false); });
        return;
    }
    const QDBusMessage message = QDBusMessage::createMethodCall(service, path, service,
                                                                QStringLiteral("GetServerInformation"));
    auto *watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, done]() {
        watcher->deleteLater();
        done(!watcher->isError());
    });
}

void DesktopNotifications::notify(const QString &title, const QString &body, bool silent,
                                  std::function<void(Expected<void, NotificationError>)> done)
{
    if (!m_connection.isConnected()) {
        QTimer::singleShot(0, this, [done]() {
            done(unexpected(NotificationError{QStringLiteral("The desktop session bus is not available.")}));
        });
        return;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
    QVariantMap hints{{QStringLiteral("desktop-entry"), desktopEntry}};
    if (silent)
        hints.insert(QStringLiteral("suppress-sound"), true);
    message << QStringLiteral("Tessaline") // application name
            << uint(0)                     // replaces no earlier notification
            << QString()                   // icon: the application's own
            << title << body
            // Clicking the notification is its default action: without
            // one most servers only close it, whatever its text asks.
            << QStringList{QString::fromLatin1(defaultAction), QStringLiteral("Open Tessaline")}
            << hints << int(-1); // the server's default expiry
    auto *watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, done]() {
        watcher->deleteLater();
        const QDBusPendingReply<uint> reply = *watcher;
        if (!reply.isError())
            m_shown.insert(reply.value(), QString());
        if (watcher->isError())
            done(unexpected(
                NotificationError{QStringLiteral("The notification could not be shown. ") + watcher->error().message()}));
        else
            done({});
    });
}

} // namespace tessaline
