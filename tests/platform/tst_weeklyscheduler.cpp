#include "platform/WeeklyScheduler.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

using namespace tessaline;

namespace {

WeeklyNotificationRequest request()
{
    WeeklyNotificationRequest r;
    r.identifier = QStringLiteral("tessaline.weekly-review");
    r.title = QStringLiteral("A note may be worth continuing");
    r.body = QStringLiteral("Open Tessaline to return to something you captured or started writing.");
    return r;
}

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

// systemctl is replaced by a script on PATH that logs its
// arguments, so the scheduler's files and commands are checked without a
// user systemd manager.
class WeeklySchedulerTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void nextOccurrence_data();
    void nextOccurrence();
    void calendarSpecification();
    void systemdScheduleWritesUnitsAndEnablesTimer();
    void systemdCancelDisablesAndRemoves();
    void systemdFailureIsReported();
    void probeFollowsSystemctl();

private:
    void writeTool(const QString &name, int exitCode);
    QStringList log() const;

    QTemporaryDir m_dir;
    QString m_units;
};

void WeeklySchedulerTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("bin")));
    qputenv("PATH", (m_dir.filePath(QStringLiteral("bin")) + QLatin1Char(':') + qgetenv("PATH")).toUtf8());
    m_units = m_dir.filePath(QStringLiteral("config/systemd/user"));
}

void WeeklySchedulerTest::init()
{
    QFile::remove(m_dir.filePath(QStringLiteral("log")));
    writeTool(QStringLiteral("systemctl"), 0);
}

void WeeklySchedulerTest::writeTool(const QString &name, int exitCode)
{
    const QString path = m_dir.filePath(QStringLiteral("bin/") + name);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QStringLiteral("#!/bin/sh\necho \"%1 $*\" >> '%2'\necho 'tool says no' >&2\nexit %3\n")
                   .arg(name, m_dir.filePath(QStringLiteral("log")))
                   .arg(exitCode)
                   .toUtf8());
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

QStringList WeeklySchedulerTest::log() const
{
    return readAll(m_dir.filePath(QStringLiteral("log"))).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void WeeklySchedulerTest::nextOccurrence_data()
{
    QTest::addColumn<QDateTime>("after");
    QTest::addColumn<QDateTime>("expected");
    const QDate monday(2026, 12, 7);
    QTest::newRow("Monday before ten") << QDateTime(monday, QTime(9, 0)) << QDateTime(monday, QTime(10, 0));
    QTest::newRow("Monday at ten: next week") << QDateTime(monday, QTime(10, 0)) << QDateTime(monday.addDays(7), QTime(10, 0));
    QTest::newRow("Monday after ten") << QDateTime(monday, QTime(10, 0, 1)) << QDateTime(monday.addDays(7), QTime(10, 0));
    QTest::newRow("Sunday night") << QDateTime(monday.addDays(-1), QTime(23, 59)) << QDateTime(monday, QTime(10, 0));
    QTest::newRow("Wednesday") << QDateTime(monday.addDays(2), QTime(8, 0)) << QDateTime(monday.addDays(7), QTime(10, 0));
    // Across the spring change in Europe: still ten on the wall clock.
    const QTimeZone berlin("Europe/Berlin");
    QTest::newRow("daylight saving") << QDateTime(QDate(2026, 3, 24), QTime(12, 0), berlin)
                                     << QDateTime(QDate(2026, 3, 30), QTime(10, 0), berlin);
}

void WeeklySchedulerTest::nextOccurrence()
{
    QFETCH(QDateTime, after);
    QFETCH(QDateTime, expected);
    const QDateTime next = nextWeeklyOccurrence(after, 2, 10);
    QCOMPARE(next, expected);
    QCOMPARE(next.time(), QTime(10, 0));
}

void WeeklySchedulerTest::calendarSpecification()
{
    QCOMPARE(SystemdUserTimerScheduler::calendarSpecification(2, 10), QStringLiteral("Mon *-*-* 10:00:00"));
    QCOMPARE(SystemdUserTimerScheduler::calendarSpecification(1, 7), QStringLiteral("Sun *-*-* 07:00:00"));
}

void WeeklySchedulerTest::systemdScheduleWritesUnitsAndEnablesTimer()
{
    const QString app = QStringLiteral("/opt/Tessaline 2/bin/tessaline");
    SystemdUserTimerScheduler scheduler(m_units, app);
    std::optional<Expected<void, NotificationError>> outcome;
    scheduler.schedule(request(), [&](auto e) { outcome = e; });
    QTRY_VERIFY(outcome.has_value());
    QVERIFY2(outcome->hasValue(), qPrintable(outcome->error().message));

    const QString timer = readAll(m_units + QStringLiteral("/tessaline.weekly-review.timer"));
    QVERIFY(timer.contains(QStringLiteral("\nOnCalendar=Mon *-*-* 10:00:00\n")));
    QVERIFY(timer.contains(QStringLiteral("\nUnit=tessaline.weekly-review.service\n")));
    QVERIFY(!timer.contains(QStringLiteral("Persistent")));
    // The app shows the reminder itself, to hear of a click on it, and the
    // Tessaline that a click opens is not ended with the service.
    const QString service = readAll(m_units + QStringLiteral("/tessaline.weekly-review.service"));
    QVERIFY2(service.contains(QStringLiteral("\nExecStart=\"/opt/Tessaline 2/bin/tessaline\" \"--reminder\" "
                                             "\"A note may be worth continuing\" \"--reminder-body\" "
                                             "\"Open Tessaline to return to something you captured or started "
                                             "writing.\"\n")),
             qPrintable(service));
    QVERIFY(service.contains(QStringLiteral("\nType=oneshot\n")));
    QVERIFY(service.contains(QStringLiteral("\nKillMode=process\n")));
    // A silent one says so; systemd's own expansions are escaped.
    WeeklyNotificationRequest silent = request();
    silent.playsDefaultSound = false;
    silent.body = QStringLiteral("50% of \"$HOME\"");
    QVERIFY(SystemdUserTimerScheduler::serviceUnitText(silent, app)
                .contains(QStringLiteral("\"--reminder-body\" \"50%% of \\\"$$HOME\\\"\" \"--reminder-silent\"\n")));
    QCOMPARE(log(), QStringList({"systemctl --user daemon-reload", "systemctl --user enable --now tessaline.weekly-review.timer"}));

    // Scheduling again replaces the same two files.
    outcome.reset();
    scheduler.schedule(request(), [&](auto e) { outcome = e; });
    QTRY_VERIFY(outcome.has_value());
    QCOMPARE(QDir(m_units).entryList(QDir::Files), QStringList({"tessaline.weekly-review.service", "tessaline.weekly-review.timer"}));
}

void WeeklySchedulerTest::systemdCancelDisablesAndRemoves()
{
    SystemdUserTimerScheduler scheduler(m_units);
    bool scheduled = false;
    bool cancelled = false;
    // Queued one after the other: the cancel sees the files the schedule wrote.
    scheduler.schedule(request(), [&](auto) { scheduled = true; });
    scheduler.cancel(request().identifier, [&]() { cancelled = true; });
    QTRY_VERIFY(cancelled);
    QVERIFY(scheduled);
    QVERIFY(QDir(m_units).entryList(QDir::Files).isEmpty());
    QCOMPARE(log().mid(2), QStringList({"systemctl --user disable --now tessaline.weekly-review.timer",
                                        "systemctl --user daemon-reload"}));

    // Nothing scheduled: nothing is run.
    QFile::remove(m_dir.filePath(QStringLiteral("log")));
    cancelled = false;
    scheduler.cancel(request().identifier, [&]() { cancelled = true; });
    QTRY_VERIFY(cancelled);
    QVERIFY(log().isEmpty());
}

void WeeklySchedulerTest::systemdFailureIsReported()
{
    writeTool(QStringLiteral("systemctl"), 1);
    SystemdUserTimerScheduler scheduler(m_units);
    std::optional<Expected<void, NotificationError>> outcome;
    scheduler.schedule(request(), [&](auto e) { outcome = e; });
    QTRY_VERIFY(outcome.has_value());
    QVERIFY(!outcome->hasValue());
    QVERIFY(outcome->error().message.startsWith(QStringLiteral("The reminder could not be scheduled. ")));
    QVERIFY(outcome->error().message.contains(QStringLiteral("tool says no")));
    QCOMPARE(log(), QStringList{"systemctl --user daemon-reload"}); // stopped at the first failure

    // The disk fills up as the units are written (the file-size limit here,
    // which fails the write as a full disk does): nothing is said
    // scheduled, and no unit cut short is left for systemd to read.
    writeTool(QStringLiteral("systemctl"), 0);
    QFile::remove(m_dir.filePath(QStringLiteral("log")));
    QDir(m_units).removeRecursively();
    rlimit unlimited{};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &unlimited) == 0);
    rlimit limited = unlimited;
    limited.rlim_cur = 64;
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous = {};
    ::sigaction(SIGXFSZ, &ignore, &previous);
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &limited) == 0);
    outcome.reset();
    // The units are written before schedule() returns.
    scheduler.schedule(request(), [&](auto e) { outcome = e; });
    ::setrlimit(RLIMIT_FSIZE, &unlimited);
    ::sigaction(SIGXFSZ, &previous, nullptr);
    QTRY_VERIFY(outcome.has_value());
    QVERIFY(!outcome->hasValue());
    QVERIFY2(outcome->error().message.contains(QString::fromLocal8Bit(std::strerror(EFBIG))),
             qPrintable(outcome->error().message));
    QVERIFY(QDir(m_units).entryList(QDir::Files).isEmpty());
    QVERIFY(log().isEmpty());
}

void WeeklySchedulerTest::probeFollowsSystemctl()
{
    QObject context;
    std::optional<bool> reachable;
    SystemdUserTimerScheduler::probe(&context, [&](bool r) { reachable = r; });
    QTRY_VERIFY(reachable.has_value());
    QVERIFY(*reachable);
    QCOMPARE(log(), QStringList{"systemctl --user show-environment"});

    writeTool(QStringLiteral("systemctl"), 1);
    reachable.reset();
    SystemdUserTimerScheduler::probe(&context, [&](bool r) { reachable = r; });
    QTRY_VERIFY(reachable.has_value());
    QVERIFY(!*reachable);
}

QTEST_GUILESS_MAIN(WeeklySchedulerTest)
#include "tst_weeklyscheduler.moc"
