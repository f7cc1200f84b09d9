#include "platform/DesktopUserNotificationCenter.h"

#include "platform/DesktopNotifications.h"
#include "platform/WeeklyScheduler.h"

#include <QPointer>

namespace tessaline {

DesktopUserNotificationCenter::DesktopUserNotificationCenter(QObject *parent) : QObject(parent)
{
    m_notifications = new DesktopNotifications(QDBusConnection::sessionBus(), this);
    m_inApp = std::make_unique<InAppWeeklyScheduler>(*m_notifications);
    m_systemd = std::make_unique<SystemdUserTimerScheduler>();
    m_probe = &SystemdUserTimerScheduler::probe;
    connect(m_notifications, &DesktopNotifications::opened, this, &DesktopUserNotificationCenter::opened);
}

DesktopUserNotificationCenter::DesktopUserNotificationCenter(DesktopNotifications *notifications,
                                                             std::unique_ptr<InAppWeeklyScheduler> inApp,
                                                             std::unique_ptr<WeeklyScheduler> systemd,
                                                             QObject *parent)
    : QObject(parent), m_notifications(notifications), m_inApp(std::move(inApp)), m_systemd(std::move(systemd)),
      m_probe(&SystemdUserTimerScheduler::probe)
{
    connect(m_notifications, &DesktopNotifications::opened, this, &DesktopUserNotificationCenter::opened);
}

DesktopUserNotificationCenter::~DesktopUserNotificationCenter() = default;

void DesktopUserNotificationCenter::setSystemdProbe(std::function<void(QObject *, std::function<void(bool)>)> probe)
{
    m_probe = std::move(probe);
}

void DesktopUserNotificationCenter::removePendingRequests(const QStringList &identifiers)
{
    for (const QString &identifier : identifiers) {
        m_inApp->cancel(identifier, []() {});
        m_systemd->cancel(identifier, []() {});
    }
}

void DesktopUserNotificationCenter::notificationSettings(std::function<void(NotificationAuthorizationStatus)> done)
{
    m_notifications->probe([done](bool answered) {
        done(answered ? NotificationAuthorizationStatus::authorized : NotificationAuthorizationStatus::denied);
    });
}

void DesktopUserNotificationCenter::requestAuthorization(
    int, std::function<void(Expected<bool, NotificationError> granted)> done)
{
    m_notifications->probe([done](bool answered) { done(answered); });
}

void DesktopUserNotificationCenter::add(const WeeklyNotificationRequest &request,
                                        std::function<void(Expected<void, NotificationError>)> done)
{
    QPointer<DesktopUserNotificationCenter> self(this);
    m_probe(this, [self, request, done](bool systemdReachable) {
        if (!self)
            return;
        if (systemdReachable)
            self->m_systemd->schedule(request, done);
        else
            self->m_inApp->schedule(request, done);
    });
}

} // namespace tessaline
