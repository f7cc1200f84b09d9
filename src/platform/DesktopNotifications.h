#pragma once

#include "platform/UserNotificationCenter.h"

#include <QDBusConnection>
#include <QObject>

#include <functional>
#include <optional>

namespace tessaline {

// Client of the desktop's notification server (org.freedesktop.Notifications
// on the session bus). Only asynchronous calls: the event loop never waits
// for the server.
class DesktopNotifications : public QObject
{
    Q_OBJECT
public:
    static inline const QString service = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString path = QStringLiteral("/org/freedesktop/Notifications");
    // Our desktop file's name, sent with each notification: the desktop
    // shows it as ours and opens Tessaline when it is clicked, also when the
    // app is not running (a reminder sent by the systemd timer).
    static inline const QString desktopEntry = QStringLiteral("org.tessaline.Tessaline");

    explicit DesktopNotifications(QDBusConnection connection = QDBusConnection::sessionBus(),
                                  QObject *parent = nullptr);

    // Whether a notification server answers (its server information).
    void probe(std::function<void(bool answered)> done);

    // Shows one notification from "Tessaline" with the server's default
    // sound (unless `silent`) and default expiry; a click opens the app.
    void notify(const QString &title, const QString &body, bool silent,
                std::function<void(Expected<void, NotificationError>)> done);

private:
    QDBusConnection m_connection;
};

} // namespace tessaline
