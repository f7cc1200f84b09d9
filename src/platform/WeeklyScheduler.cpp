#include "platform/WeeklyScheduler.h"

#include "platform/DesktopNotifications.h"
#include "platform/FileSync.h"
#include "platform/ScheduledReminder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>

#include <memory>

namespace tessaline {

namespace {

// Qt numbers weekdays Monday 1 … Sunday 7; requests use Sunday 1 … Saturday 7.
int qtDayOfWeek(int weekday)
{
    return weekday == 1 ? 7 : weekday - 1;
}

constexpr qint64 maxSleepMs = 60 * 60 * 1000;

// systemd's own quoting for one command-line argument.
QString systemdArgument(const QString &argument)
{
    QString quoted = argument;
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    quoted.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
    quoted.replace(QLatin1Char('$'), QStringLiteral("$$"));
    quoted.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// Runs the commands one after another; stops at the first that fails.
void runCommands(QObject *context, QList<QStringList> commands,
                 std::function<void(Expected<void, QString>)> done)
{
    if (commands.isEmpty()) {
        done({});
        return;
    }
    const QStringList command = commands.takeFirst();
    const QString program = QStandardPaths::findExecutable(command.first());
    if (program.isEmpty()) {
        done(unexpected(command.first() + QStringLiteral(" is not installed.")));
        return;
    }
    auto *process = new QProcess(context);
    process->setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(process, &QProcess::finished, context,
                     [context, process, command, commands, done](int exitCode, QProcess::ExitStatus status) {
                         process->deleteLater();
                         if (status != QProcess::NormalExit || exitCode != 0) {
                             done(unexpected(command.join(QLatin1Char(' ')) + QStringLiteral(" failed: ")
                                             + QString::fromLocal8Bit(process->readAll()).trimmed()));
                             return;
                         }
                         runCommands(context, commands, done);
                     });
    QObject::connect(process, &QProcess::errorOccurred, context, [process, command, done](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        process->deleteLater();
        done(unexpected(command.first() + QStringLiteral(" could not be started.")));
    });
    process->start(program, command.mid(1));
}

} // namespace

QDateTime nextWeeklyOccurrence(const QDateTime &after, int weekday, int hour)
{
    const int wanted = qtDayOfWeek(weekday);
    QDate day = after.date();
    day = day.addDays((wanted - day.dayOfWeek() + 7) % 7);
    // Same time zone as `after`; only the wall-clock date and time change.
    QDateTime candidate = after;
    candidate.setDate(day);
    candidate.setTime(QTime(hour, 0));
    if (candidate <= after) {
        candidate.setDate(day.addDays(7));
        candidate.setTime(QTime(hour, 0));
    }
    return candidate;
}

// ---------------------------------------------------------------------------

struct InAppWeeklyScheduler::Pending
{
    WeeklyNotificationRequest request;
    QDateTime due;
    QTimer *timer = nullptr;
};

InAppWeeklyScheduler::InAppWeeklyScheduler(DesktopNotifications &notifications, Clock now, QObject *parent)
    : QObject(parent), m_notifications(notifications), m_now(std::move(now))
{
}

InAppWeeklyScheduler::~InAppWeeklyScheduler()
{
    qDeleteAll(m_pending);
}

InAppWeeklyScheduler::Clock InAppWeeklyScheduler::defaultClock()
{
    return []() { return QDateTime::currentDateTime(); };
}

void InAppWeeklyScheduler::schedule(const WeeklyNotificationRequest &request,
                                    std::function<void(Expected<void, NotificationError>)> done)
{
    Pending *pending = m_pending.value(request.identifier);
    if (!pending) {
        pending = new Pending;
        pending->timer = new QTimer(this);
        pending->timer->setSingleShot(true);
        const QString identifier = request.identifier;
        connect(pending->timer, &QTimer::timeout, this, [this, identifier]() { onTimeout(identifier); });
        m_pending.insert(request.identifier, pending);
    }
    pending->request = request;
    pending->due = nextWeeklyOccurrence(m_now(), request.weekday, request.hour);
    arm(*pending);
    QTimer::singleShot(0, this, [done]() { done({}); });
}

void InAppWeeklyScheduler::cancel(const QString &identifier, std::function<void()> done)
{
    if (Pending *pending = m_pending.take(identifier)) {
        delete pending->timer;
        delete pending;
    }
    QTimer::singleShot(0, this, [done]() { done(); });
}

std::optional<QDateTime> InAppWeeklyScheduler::nextFireDate(const QString &identifier) const
{
    if (const Pending *pending = m_pending.value(identifier))
        return pending->due;
    return std::nullopt;
}

void InAppWeeklyScheduler::arm(Pending &pending)
{
    const qint64 wait = std::clamp<qint64>(m_now().msecsTo(pending.due), 0, maxSleepMs);
    pending.timer->start(int(wait));
}

void InAppWeeklyScheduler::onTimeout(const QString &identifier)
{
    Pending *pending = m_pending.value(identifier);
    if (!pending)
        return;
    const QDateTime now = m_now();
    if (now >= pending->due) {
        const WeeklyNotificationRequest request = pending->request;
        m_notifications.notify(request.title, request.body, !request.playsDefaultSound,
                               [](Expected<void, NotificationError>) {});
        pending->due = nextWeeklyOccurrence(now, request.weekday, request.hour);
        Q_EMIT fired(identifier);
    }
    arm(*pending);
}

// ---------------------------------------------------------------------------

SystemdUserTimerScheduler::SystemdUserTimerScheduler(QString unitDirectory, QString appPath, QObject *parent)
    : QObject(parent)
    , m_unitDirectory(std::move(unitDirectory))
    , m_appPath(appPath.isEmpty() ? QCoreApplication::applicationFilePath() : std::move(appPath))
{
}

QString SystemdUserTimerScheduler::defaultUnitDirectory()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("systemd/user"));
}

void SystemdUserTimerScheduler::probe(QObject *context, std::function<void(bool reachable)> done)
{
    runCommands(context, {{QStringLiteral("systemctl"), QStringLiteral("--user"), QStringLiteral("show-environment")}},
                [done](const Expected<void, QString> &ran) { done(ran.hasValue()); });
}

QString SystemdUserTimerScheduler::calendarSpecification(int weekday, int hour)
{
    static const char *const names[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    return QStringLiteral("%1 *-*-* %2:00:00")
        .arg(QLatin1String(names[std::clamp(weekday, 1, 7) - 1]))
        .arg(hour, 2, 10, QLatin1Char('0'));
}

QString SystemdUserTimerScheduler::timerUnitText(const WeeklyNotificationRequest &request)
{
    return QStringLiteral("[Unit]\n"
                          "Description=Tessaline reminder %1\n"
                          "\n"
                          "[Timer]\n"
                          "OnCalendar=%2\n"
                          "Unit=%1.service\n"
                          "\n"
                          "[Install]\n"
                          "WantedBy=timers.target\n")
        .arg(request.identifier, calendarSpecification(request.weekday, request.hour));
}

QString SystemdUserTimerScheduler::serviceUnitText(const WeeklyNotificationRequest &request, const QString &appPath)
{
    QStringList quoted{systemdArgument(appPath)};
    for (const QString &argument : ScheduledReminder::arguments(request.title, request.body, !request.playsDefaultSound))
        quoted << systemdArgument(argument);
    // The start that shows the reminder waits to hear of a click on it, and
    // the Tessaline a click opens outlives it: only that start is ended
    // with the service, so a window the user asked for stays.
    return QStringLiteral("[Unit]\n"
                          "Description=Tessaline reminder %1\n"
                          "\n"
                          "[Service]\n"
                          "Type=oneshot\n"
                          "ExecStart=%2\n"
                          "KillMode=process\n")
        .arg(request.identifier, quoted.join(QLatin1Char(' ')));
}

void SystemdUserTimerScheduler::enqueue(Step step)
{
    m_queue.push_back(std::move(step));
    if (!m_running)
        runNext();
}

void SystemdUserTimerScheduler::runNext()
{
    if (m_queue.empty()) {
        m_running = false;
        return;
    }
    m_running = true;
    Step step = std::move(m_queue.front());
    m_queue.pop_front();
    QPointer<SystemdUserTimerScheduler> self(this);
    step([self]() {
        if (self)
            QTimer::singleShot(0, self, [self]() { self->runNext(); });
    });
}

void SystemdUserTimerScheduler::schedule(const WeeklyNotificationRequest &request,
                                         std::function<void(Expected<void, NotificationError>)> done)
{
    enqueue([this, request, done](std::function<void()> next) {
        auto fail = [done, next](const QString &reason) {
            done(unexpected(NotificationError{QStringLiteral("The reminder could not be scheduled. ") + reason}));
            next();
        };
        if (!QDir().mkpath(m_unitDirectory))
            return fail(QStringLiteral("The folder %1 could not be created.").arg(m_unitDirectory));
        const QDir directory(m_unitDirectory);
        const std::pair<QString, QString> units[] = {
            {request.identifier + QStringLiteral(".service"), serviceUnitText(request, m_appPath)},
            {request.identifier + QStringLiteral(".timer"), timerUnitText(request)},
        };
        for (const auto &[name, text] : units) {
            QSaveFile file(directory.filePath(name));
            if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0)
                return fail(file.errorString());
            if (auto flushed = flushBeforeCommit(file); !flushed)
                return fail(flushed.error());
            if (!file.commit())
                return fail(file.errorString());
        }
        // The units were renamed into place; a reminder set must survive a
        // power loss like any other setting.
        (void)syncDirectory(m_unitDirectory);
        runCommands(this,
                    {{QStringLiteral("systemctl"), QStringLiteral("--user"), QStringLiteral("daemon-reload")},
                     {QStringLiteral("systemctl"), QStringLiteral("--user"), QStringLiteral("enable"),
                      QStringLiteral("--now"), request.identifier + QStringLiteral(".timer")}},
                    [done, next, fail](const Expected<void, QString> &ran) {
                        if (!ran)
                            return fail(ran.error());
                        done({});
                        next();
                    });
    });
}

void SystemdUserTimerScheduler::cancel(const QString &identifier, std::function<void()> done)
{
    enqueue([this, identifier, done](std::function<void()> next) {
        const QDir directory(m_unitDirectory);
        const QString timer = directory.filePath(identifier + QStringLiteral(".timer"));
        const QString service = directory.filePath(identifier + QStringLiteral(".service"));
        if (!QFile::exists(timer) && !QFile::exists(service)) {
            done();
            next();
            return;
        }
        runCommands(this,
                    {{QStringLiteral("systemctl"), QStringLiteral("--user"), QStringLiteral("disable"),
                      QStringLiteral("--now"), identifier + QStringLiteral(".timer")}},
                    [this, timer, service, done, next](const Expected<void, QString> &) {
                        // The files go even when systemd is gone, so nothing
                        // is left to fire once it is back.
                        QFile::remove(timer);
                        QFile::remove(service);
                        runCommands(this,
                                    {{QStringLiteral("systemctl"), QStringLiteral("--user"),
                                      QStringLiteral("daemon-reload")}},
                                    [done, next](const Expected<void, QString> &) {
                                        done();
                                        next();
                                    });
                    });
    });
}

} // namespace tessaline
