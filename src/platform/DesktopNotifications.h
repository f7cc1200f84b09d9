#pragma once

#include "platform/UserNotificationCenter.h"

#include <QDBusConnection>
#include <QHash>
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
    // shows it as ours. A click is answered by whoever showed it (the
    // default action), whatever the server makes of the name.
    static inline const QString desktopEntry = QStringLiteral("org.tessaline.Tessaline");

    explicit DesktopNotifications(QDBusConnection connection = QDBusConnection::sessionBus(),
                                  QObject *parent = nullptr);

    // Whether a notification server answers (its server information).
    void probe(std::function<void(bool answered)> done);

    // Shows one notification from "Tessaline" with the server's default
    // sound (unless `silent`) and default expiry. A click on it is its
    // default action: `opened` follows.
    void notify(const QString &title, const QString &body, bool silent,
                std::function<void(Expected<void, NotificationError>)> done);
    // Takes this object's notifications that are still shown off the screen.
    void withdrawAll();

Q_SIGNALS:
    // One of this object's notifications was clicked. The token, when the
    // server sent one, lets a Wayland compositor give the window the focus.
    void opened(const QString &activationToken);
    // One of this object's notifications was closed, by the user, the server
    // or withdrawAll(); after a click, the close follows `opened`.
    void closed();

private Q_SLOTS:
    void onActivationToken(uint id, const QString &token);
    void onActionInvoked(uint id, const QString &action);
    void onNotificationClosed(uint id, uint reason);

private:
    QDBusConnection m_connection;
    // The notifications shown and not closed yet, with the activation token
    // the server sent for the click on one (it comes just before the click).
    QHash<uint, QString> m_shown;
};

} // namespace tessaline
