#pragma once

#include "platform/UserNotificationCenter.h"

#include <QDateTime>
#include <QHash>
#include <QObject>

#include <deque>
#include <functional>
#include <optional>

class QTimer;

namespace tessaline {

class DesktopNotifications;

// Keeps weekly notifications pending until they are cancelled.
class WeeklyScheduler
{
public:
    virtual ~WeeklyScheduler() = default;
    // Replaces any pending request with the same identifier.
    virtual void schedule(const WeeklyNotificationRequest &request,
                          std::function<void(Expected<void, NotificationError>)> done) = 0;
    // Best effort; `done` runs when nothing of it is left pending.
    virtual void cancel(const QString &identifier, std::function<void()> done) = 0;
};

// The first moment strictly after `after` that falls on `weekday`
// (1 = Sunday … 7 = Saturday) at `hour`:00:00, in `after`'s time zone.
QDateTime nextWeeklyOccurrence(const QDateTime &after, int weekday, int hour);

// A timer of the running app. It wakes at least hourly and compares with the
// wall clock, so suspend, clock changes and daylight saving are followed.
class InAppWeeklyScheduler : public QObject, public WeeklyScheduler
{
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    explicit InAppWeeklyScheduler(DesktopNotifications &notifications, Clock now = defaultClock(),
                                  QObject *parent = nullptr);
    ~InAppWeeklyScheduler() override;

    static Clock defaultClock();

    void schedule(const WeeklyNotificationRequest &request,
                  std::function<void(Expected<void, NotificationError>)> done) override;
    void cancel(const QString &identifier, std::function<void()> done) override;

    // When the pending request fires next; nothing when none is pending.
    std::optional<QDateTime> nextFireDate(const QString &identifier) const;

Q_SIGNALS:
    void fired(const QString &identifier);

private:
    struct Pending;
    void arm(Pending &pending);
    void onTimeout(const QString &identifier);

    DesktopNotifications &m_notifications;
    Clock m_now;
    QHash<QString, Pending *> m_pending;
};

// A systemd user timer and service pair per request, so the notification is
// shown while the app is closed too. The service starts the app to show it
// (ScheduledReminder), which opens Tessaline when it is clicked. Operations
// run one after another.
class SystemdUserTimerScheduler : public QObject, public WeeklyScheduler
{
    Q_OBJECT
public:
    // appPath: the program the service starts, this one's unless given.
    explicit SystemdUserTimerScheduler(QString unitDirectory = defaultUnitDirectory(), QString appPath = QString(),
                                       QObject *parent = nullptr);

    // ~/.config/systemd/user (following XDG_CONFIG_HOME).
    static QString defaultUnitDirectory();

    // Whether a user systemd manager answers (`systemctl --user` works).
    static void probe(QObject *context, std::function<void(bool reachable)> done);

    // "Mon *-*-* 10:00:00" for Monday at ten.
    static QString calendarSpecification(int weekday, int hour);
    static QString timerUnitText(const WeeklyNotificationRequest &request);
    static QString serviceUnitText(const WeeklyNotificationRequest &request, const QString &appPath);

    void schedule(const WeeklyNotificationRequest &request,
                  std::function<void(Expected<void, NotificationError>)> done) override;
    void cancel(const QString &identifier, std::function<void()> done) override;

private:
    using Step = std::function<void(std::function<void()> next)>;
    void enqueue(Step step);
    void runNext();

    QString m_unitDirectory;
    QString m_appPath;
    std::deque<Step> m_queue;
    bool m_running = false;
};

} // namespace tessaline
