// Notifications over the real session bus (the test command runs under
// dbus-run-session) against a fake notification server.

#include "FakeNotificationServer.h"
#include "platform/DesktopNotifications.h"
#include "platform/DesktopUserNotificationCenter.h"
#include "platform/ScheduledReminder.h"
#include "platform/WeeklyScheduler.h"

#include <QSignalSpy>
#include <QTest>

using namespace tessaline;

namespace {

WeeklyNotificationRequest request()
{
    WeeklyNotificationRequest r;
    r.identifier = QStringLiteral("tessaline.test-reminder");
    r.title = QStringLiteral("Title");
    r.body = QStringLiteral("Body text");
    r.weekday = 2;
    r.hour = 10;
    return r;
}

// A clock running at real speed that reads `start` now.
InAppWeeklyScheduler::Clock clockStartingAt(const QDateTime &start)
{
    const qint64 offset = QDateTime::currentDateTime().msecsTo(start);
    return [offset]() { return QDateTime::currentDateTime().addMSecs(offset); };
}

} // namespace

class DesktopNotificationsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void withoutServerNothingIsAuthorised();
    void serverAnswersMeanAuthorised();
    void notifySendsTheTexts();
    void inAppReminderFiresOnTime();
    void removedReminderNeverFires();
    void scheduledReminderOpensTessalineOnlyWhenClicked_data();
    void scheduledReminderOpensTessalineOnlyWhenClicked();

private:
    bool m_hasBus = false;
};

void DesktopNotificationsTest::initTestCase()
{
    m_hasBus = QDBusConnection::sessionBus().isConnected();
    if (!m_hasBus)
        QSKIP("needs a session bus (run under dbus-run-session)");
}

void DesktopNotificationsTest::withoutServerNothingIsAuthorised()
{
    DesktopUserNotificationCenter center;
    std::optional<NotificationAuthorizationStatus> status;
    center.notificationSettings([&](NotificationAuthorizationStatus s) { status = s; });
    QVERIFY(!status); // answered later, never inside the call
    QTRY_VERIFY(status.has_value());
    QCOMPARE(*status, NotificationAuthorizationStatus::denied);

    std::optional<bool> granted;
    center.requestAuthorization(notificationAlert | notificationSound,
                                [&](const Expected<bool, NotificationError> &answer) {
                                    if (answer)
                                        granted = *answer;
                                });
    QTRY_VERIFY(granted.has_value());
    QVERIFY(!*granted);
}

void DesktopNotificationsTest::serverAnswersMeanAuthorised()
{
    FakeNotificationServer server;
    QVERIFY(server.start());
    DesktopUserNotificationCenter center;
    std::optional<NotificationAuthorizationStatus> status;
    center.notificationSettings([&](NotificationAuthorizationStatus s) { status = s; });
    QTRY_VERIFY(status.has_value());
    QCOMPARE(*status, NotificationAuthorizationStatus::authorized);
}

void DesktopNotificationsTest::notifySendsTheTexts()
{
    FakeNotificationServer server;
    QVERIFY(server.start());
    DesktopNotifications notifications;
    std::optional<Expected<void, NotificationError>> outcome;
    notifications.notify(QStringLiteral("Hello"), QStringLiteral("World"), false, [&](auto e) { outcome = e; });
    QTRY_VERIFY(outcome.has_value());
    QVERIFY(outcome->hasValue());
    QCOMPARE(server.received.size(), 1);
    QCOMPARE(server.received.at(0).appName, QStringLiteral("Tessaline"));
    QCOMPARE(server.received.at(0).summary, QStringLiteral("Hello"));
    QCOMPARE(server.received.at(0).body, QStringLiteral("World"));
    QVERIFY(!server.received.at(0).hints.contains(QStringLiteral("suppress-sound"))); // default sound
    QCOMPARE(server.received.at(0).expireTimeout, -1);
    // The desktop knows it as ours and opens Tessaline from it.
    QCOMPARE(server.received.at(0).hints.value(QStringLiteral("desktop-entry")).toString(),
             QStringLiteral("org.tessaline.Tessaline"));
    // A click is its default action, and the app hears of it with the
    // server's activation token; a click on another program's
    // notification tells it nothing.
    QCOMPARE(server.received.at(0).actions.value(0), QStringLiteral("default"));
    QSignalSpy opened(&notifications, &DesktopNotifications::opened);
    QVERIFY(server.click(1, QStringLiteral("token-1")));
    QTRY_COMPARE(opened.size(), 1);
    QCOMPARE(opened.at(0).at(0).toString(), QStringLiteral("token-1"));
    QVERIFY(server.click(7, QStringLiteral("token-7")));
    QVERIFY(server.click(1, QString()));
    QTRY_COMPARE(opened.size(), 2);
    QCOMPARE(opened.at(1).at(0).toString(), QString());

    outcome.reset();
    notifications.notify(QStringLiteral("Hello"), QStringLiteral("quietly"), true, [&](auto e) { outcome = e; });
    QTRY_VERIFY(outcome.has_value());
    QCOMPARE(server.received.size(), 2);
    QCOMPARE(server.received.at(1).hints.value(QStringLiteral("suppress-sound")).toBool(), true);
    QCOMPARE(server.received.at(1).hints.value(QStringLiteral("desktop-entry")).toString(),
             QStringLiteral("org.tessaline.Tessaline"));

    server.stop();
    outcome.reset();
    notifications.notify(QStringLiteral("Hello"), QStringLiteral("again"), true, [&](auto e) { outcome = e; });
    QTRY_VERIFY(outcome.has_value());
    QVERIFY(!outcome->hasValue());
}

void DesktopNotificationsTest::inAppReminderFiresOnTime()
{
    FakeNotificationServer server;
    QVERIFY(server.start());
    auto *notifications = new DesktopNotifications;
    // Monday 09:59:59.7 local time: the reminder is due in 300 ms.
    const QDateTime start(QDate(2026, 12, 7), QTime(9, 59, 59, 700));
    auto inApp = std::make_unique<InAppWeeklyScheduler>(*notifications, clockStartingAt(start));
    InAppWeeklyScheduler *scheduler = inApp.get();
    DesktopUserNotificationCenter center(notifications, std::move(inApp),
                                         std::make_unique<SystemdUserTimerScheduler>(QStringLiteral("/nonexistent")));
    notifications->setParent(&center);
    center.setSystemdProbe([](QObject *, std::function<void(bool)> done) { done(false); });

    std::optional<Expected<void, NotificationError>> added;
    center.add(request(), [&](auto e) { added = e; });
    QTRY_VERIFY(added.has_value());
    QVERIFY(added->hasValue());
    QCOMPARE(scheduler->nextFireDate(request().identifier), std::optional<QDateTime>(QDateTime(start.date(), QTime(10, 0))));

    QTRY_COMPARE_WITH_TIMEOUT(server.received.size(), 1, 10000);
    QCOMPARE(server.received.at(0).summary, QStringLiteral("Title"));
    QCOMPARE(server.received.at(0).body, QStringLiteral("Body text"));
    // Next: the Monday after, same hour.
    QCOMPARE(scheduler->nextFireDate(request().identifier),
             std::optional<QDateTime>(QDateTime(start.date().addDays(7), QTime(10, 0))));
}

void DesktopNotificationsTest::removedReminderNeverFires()
{
    FakeNotificationServer server;
    QVERIFY(server.start());
    auto *notifications = new DesktopNotifications;
    const QDateTime start(QDate(2026, 12, 7), QTime(9, 59, 59, 800));
    auto inApp = std::make_unique<InAppWeeklyScheduler>(*notifications, clockStartingAt(start));
    InAppWeeklyScheduler *scheduler = inApp.get();
    DesktopUserNotificationCenter center(notifications, std::move(inApp),
                                         std::make_unique<SystemdUserTimerScheduler>(QStringLiteral("/nonexistent")));
    notifications->setParent(&center);
    center.setSystemdProbe([](QObject *, std::function<void(bool)> done) { done(false); });
    bool added = false;
    center.add(request(), [&](auto) { added = true; });
    QVERIFY(scheduler->nextFireDate(request().identifier).has_value());
    // Removed in the same turn of the event loop, before it could fire.
    center.removePendingRequests({request().identifier});
    QVERIFY(!scheduler->nextFireDate(request().identifier));
    QTRY_VERIFY(added);

    // A second reminder, due 100 ms after the removed one would have been,
    // marks the moment by which the removed one would have arrived.
    InAppWeeklyScheduler marker(*notifications, clockStartingAt(start.addMSecs(-100)));
    WeeklyNotificationRequest later = request();
    later.identifier = QStringLiteral("tessaline.test-marker");
    later.title = QStringLiteral("Marker");
    marker.schedule(later, [](auto) {});
    QTRY_COMPARE_WITH_TIMEOUT(server.received.size(), 1, 10000);
    QCOMPARE(server.received.at(0).summary, QStringLiteral("Marker"));
}

void DesktopNotificationsTest::scheduledReminderOpensTessalineOnlyWhenClicked_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<int>("status");
    QTest::newRow("clicked") << QStringLiteral("click") << true << 0;
    QTest::newRow("clicked, Tessaline not started") << QStringLiteral("click, start fails") << true << 1;
    QTest::newRow("dismissed") << QStringLiteral("dismiss") << false << 0;
    QTest::newRow("left alone") << QStringLiteral("nothing") << false << 0;
    QTest::newRow("no notification server") << QStringLiteral("no server") << false << 1;
}

void DesktopNotificationsTest::scheduledReminderOpensTessalineOnlyWhenClicked()
{
    QFETCH(const QString, user);
    QFETCH(const bool, opens);
    QFETCH(const int, status);
    FakeNotificationServer server;
    if (user != QLatin1String("no server"))
        QVERIFY(server.start());
    DesktopNotifications notifications;
    QStringList openedWith;
    ScheduledReminder reminder(notifications, [&](const QString &token) {
        openedWith.append(token);
        return user != QLatin1String("click, start fails");
    });
    QSignalSpy finished(&reminder, &ScheduledReminder::finished);
    const bool waits = user != QLatin1String("nothing");
    reminder.show(QStringLiteral("Title"), QStringLiteral("Body"), true,
                  waits ? std::chrono::minutes(10) : std::chrono::milliseconds(50));
    if (user != QLatin1String("no server")) {
        QTRY_COMPARE(server.received.size(), 1);
        QCOMPARE(server.received.at(0).summary, QStringLiteral("Title"));
        QCOMPARE(server.received.at(0).body, QStringLiteral("Body"));
        QCOMPARE(server.received.at(0).hints.value(QStringLiteral("suppress-sound")).toBool(), true);
        // Clickable everywhere: a default action, not only the desktop entry.
        QCOMPARE(server.received.at(0).actions.value(0), QStringLiteral("default"));
    }
    if (user.startsWith(QLatin1String("click"))) {
        QVERIFY(server.click(1, QStringLiteral("token-1")));
        QVERIFY(server.close(1)); // as every server does after a click
    } else if (user == QLatin1String("dismiss")) {
        QVERIFY(server.close(1));
    }
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), status);
    QCOMPARE(openedWith, opens ? QStringList{QStringLiteral("token-1")} : QStringList());
    // Left alone, it is taken off the screen as its start leaves: a click
    // on it later would find nobody to answer.
    QCOMPARE(server.closeRequests, user == QLatin1String("nothing") ? QList<uint>{1} : QList<uint>());
}

QTEST_GUILESS_MAIN(DesktopNotificationsTest)
#include "tst_desktopnotifications.moc"
