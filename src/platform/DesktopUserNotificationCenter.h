#pragma once

#include "platform/UserNotificationCenter.h"

#include <QObject>

#include <memory>

namespace tessaline {

class DesktopNotifications;
class InAppWeeklyScheduler;
class WeeklyScheduler;

// Local notifications on the Linux desktop. Notifications are authorised
// when the desktop's notification server answers (there is nothing to ask
// the user for). Weekly requests become a systemd user timer when a user
// systemd manager is reachable, so they fire while the app is closed, and
// an in-app timer otherwise.
class DesktopUserNotificationCenter : public QObject, public UserNotificationCenter
{
    Q_OBJECT
public:
    explicit DesktopUserNotificationCenter(QObject *parent = nullptr);
    // Every piece given (tests); the center owns the schedulers.
    DesktopUserNotificationCenter(DesktopNotifications *notifications, std::unique_ptr<InAppWeeklyScheduler> inApp,
                                  std::unique_ptr<WeeklyScheduler> systemd, QObject *parent = nullptr);
    ~DesktopUserNotificationCenter() override;

    // Decides whether systemd is used; by default `systemctl --user` is asked.
    void setSystemdProbe(std::function<void(QObject *context, std::function<void(bool)>)> probe);

    InAppWeeklyScheduler &inAppScheduler() { return *m_inApp; }

    void removePendingRequests(const QStringList &identifiers) override;
    void notificationSettings(std::function<void(NotificationAuthorizationStatus)> done) override;
    void requestAuthorization(int options,
                              std::function<void(Expected<bool, NotificationError> granted)> done) override;
    void add(const WeeklyNotificationRequest &request,
             std::function<void(Expected<void, NotificationError>)> done) override;

Q_SIGNALS:
    // A notification this app showed was clicked (see DesktopNotifications).
    void opened(const QString &activationToken);

private:
    DesktopNotifications *m_notifications;
    std::unique_ptr<InAppWeeklyScheduler> m_inApp;
    std::unique_ptr<WeeklyScheduler> m_systemd;
    std::function<void(QObject *, std::function<void(bool)>)> m_probe;
};

} // namespace tessaline
