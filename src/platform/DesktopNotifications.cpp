#include "platform/DesktopNotifications.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>
#include <QVariantMap>

namespace tessaline {

DesktopNotifications::DesktopNotifications(QDBusConnection connection, QObject *parent)
    : QObject(parent), m_connection(std::move(connection))
{
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
            << title << body << QStringList() // no actions
            << hints << int(-1);           // the server's default expiry
    auto *watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, done]() {
        watcher->deleteLater();
        if (watcher->isError())
            done(unexpected(
                NotificationError{QStringLiteral("The notification could not be shown. ") + watcher->error().message()}));
        else
            done({});
    });
}

} // namespace tessaline
