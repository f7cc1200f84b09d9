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

    explicit DesktopNotifications(QDBusConnection connection = QDBusConnection::sessionBus(),
                                  QObject *parent = nullptr);

    // Whether a notification server answers (its server information).
    void probe(std::function<void(bool answered)> done);

    // Shows one notification from "Tessaline" with the server's default
    // sound (unless `silent`) and default expiry.
    void notify(const QString &title, const QString &body, bool silent,
                std::function<void(Expected<void, NotificationError>)> done);

private:
    QDBusConnection m_connection;
};

} // namespace tessaline
