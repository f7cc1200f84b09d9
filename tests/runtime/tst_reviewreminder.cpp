#include "../platform/FakeNotificationServer.h"
#include "runtime/ReviewReminderService.h"
#include "platform/DesktopNotifications.h"
#include "platform/DesktopUserNotificationCenter.h"
#include "platform/WeeklyScheduler.h"

#include <QMap>
#include <QTest>
#include <QTimer>

using namespace tessaline;

Q_DECLARE_METATYPE(tessaline::NotificationAuthorizationStatus)

namespace {

// A notification center that answers from a script, asynchronously like
// the real one, and keeps the pending requests by identifier.
class FakeCenter final : public UserNotificationCenter
{
public:
    NotificationAuthorizationStatus status = NotificationAuthorizationStatus::notDetermined;
    NotificationAuthorizationStatus statusAfterAsking = NotificationAuthorizationStatus::denied;
    std::optional<NotificationError> authorizationError;
    std::optional<NotificationError> addError;
    QStringList calls;
    QMap<QString, WeeklyNotificationRequest> pending;

    void removePendingRequests(const QStringList &identifiers) override
    {
        calls << QStringLiteral("remove ") + identifiers.join(u',');
        for (const QString &identifier : identifiers)
            pending.remove(identifier);
    }
    void notificationSettings(std::function<void(NotificationAuthorizationStatus)> done) override
    {
        calls << QStringLiteral("settings");
        later([this, done]() { done(status); });
    }
    void requestAuthorization(int options, std::function<void(bool, std::optional<NotificationError>)> done) override
    {
        calls << QStringLiteral("ask %1").arg(options);
        later([this, done]() {
            if (!authorizationError)
                status = statusAfterAsking;
            done(status == NotificationAuthorizationStatus::authorized, authorizationError);
        });
    }
    void add(const WeeklyNotificationRequest &request, std::function<void(std::optional<NotificationError>)> done) override
    {
        calls << QStringLiteral("add");
        if (!addError)
            pending.insert(request.identifier, request);
        later([this, done]() { done(addError); });
    }

private:
    void later(std::function<void()> f) { QTimer::singleShot(0, &m_context, std::move(f)); }
    QObject m_context;
};

ReminderOutcome run(ReviewReminderService &service, bool wanted)
{
    std::optional<ReminderOutcome> outcome;
    service.setEnabled(wanted, [&](ReminderOutcome o) { outcome = o; });
    if (!QTest::qWaitFor([&]() { return outcome.has_value(); }, 10000))
        return ReminderOutcome{false, NotificationError{QStringLiteral("no answer")}};
    return *outcome;
}

} // namespace

class ReviewReminderTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void decisions_data();
    void decisions();
    void requestContent();
    void switchingOnTwiceLeavesOne();
    void switchingOffRemovesPending();
    void errorsComeBackUnchanged();
    void overTheSessionBus();
};

void ReviewReminderTest::decisions_data()
{
    QTest::addColumn<NotificationAuthorizationStatus>("status");
    QTest::addColumn<NotificationAuthorizationStatus>("afterAsking");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QStringList>("calls");
    using S = NotificationAuthorizationStatus;
    const QString remove = QStringLiteral("remove tessaline.weekly-review");
    QTest::newRow("authorised") << S::authorized << S::denied << true << QStringList{remove, "settings", "add"};
    QTest::newRow("provisional counts") << S::provisional << S::denied << true << QStringList{remove, "settings", "add"};
    QTest::newRow("ephemeral counts") << S::ephemeral << S::denied << true << QStringList{remove, "settings", "add"};
    QTest::newRow("denied") << S::denied << S::authorized << false << QStringList{remove, "settings"};
    // Asked once, for alerts and sounds (4 + 2).
    QTest::newRow("asked, declined") << S::notDetermined << S::denied << false
                                     << QStringList{remove, "settings", "ask 6", "settings"};
    QTest::newRow("asked, granted") << S::notDetermined << S::authorized << true
                                    << QStringList{remove, "settings", "ask 6", "settings", "add"};
    QTest::newRow("asked, still undecided") << S::notDetermined << S::notDetermined << false
                                            << QStringList{remove, "settings", "ask 6", "settings"};
}

void ReviewReminderTest::decisions()
{
    QFETCH(NotificationAuthorizationStatus, status);
    QFETCH(NotificationAuthorizationStatus, afterAsking);
    QFETCH(bool, enabled);
    QFETCH(QStringList, calls);
    FakeCenter center;
    center.status = status;
    center.statusAfterAsking = afterAsking;
    ReviewReminderService service(center);
    const ReminderOutcome outcome = run(service, true);
    QVERIFY(!outcome.error);
    QCOMPARE(outcome.isEnabled, enabled);
    QCOMPARE(center.calls, calls);
    QCOMPARE(center.pending.size(), enabled ? 1 : 0);
}

void ReviewReminderTest::requestContent()
{
    const WeeklyNotificationRequest request = ReviewReminderService::weeklyReviewRequest();
    QCOMPARE(request.identifier, QStringLiteral("tessaline.weekly-review"));
    QCOMPARE(request.title, QStringLiteral("A note may be worth continuing"));
    QCOMPARE(request.body, QStringLiteral("Open Tessaline to return to something you captured or started writing."));
    QVERIFY(request.playsDefaultSound);
    QCOMPARE(request.weekday, 2); // Monday, Sunday being 1
    QCOMPARE(request.hour, 10);
}

void ReviewReminderTest::switchingOnTwiceLeavesOne()
{
    FakeCenter center;
    center.status = NotificationAuthorizationStatus::authorized;
    ReviewReminderService service(center);
    QVERIFY(run(service, true).isEnabled);
    QVERIFY(run(service, true).isEnabled);
    QCOMPARE(center.pending.keys(), QStringList{"tessaline.weekly-review"});
    QCOMPARE(center.calls.count(QStringLiteral("remove tessaline.weekly-review")), 2);
}

void ReviewReminderTest::switchingOffRemovesPending()
{
    FakeCenter center;
    center.status = NotificationAuthorizationStatus::authorized;
    ReviewReminderService service(center);
    QVERIFY(run(service, true).isEnabled);
    center.calls.clear();
    center.status = NotificationAuthorizationStatus::notDetermined; // must not be asked
    const ReminderOutcome off = run(service, false);
    QVERIFY(!off.isEnabled);
    QVERIFY(!off.error);
    QCOMPARE(center.calls, QStringList{"remove tessaline.weekly-review"});
    QVERIFY(center.pending.isEmpty());
}

void ReviewReminderTest::errorsComeBackUnchanged()
{
    FakeCenter asking;
    asking.authorizationError = NotificationError{QStringLiteral("asking failed")};
    ReviewReminderService first(asking);
    ReminderOutcome outcome = run(first, true);
    QVERIFY(!outcome.isEnabled);
    QCOMPARE(outcome.error->message, QStringLiteral("asking failed"));
    QVERIFY(!asking.calls.contains(QStringLiteral("add")));

    FakeCenter adding;
    adding.status = NotificationAuthorizationStatus::authorized;
    adding.pending.insert(QStringLiteral("tessaline.weekly-review"), ReviewReminderService::weeklyReviewRequest());
    adding.addError = NotificationError{QStringLiteral("adding failed")};
    ReviewReminderService second(adding);
    outcome = run(second, true);
    QVERIFY(!outcome.isEnabled);
    QCOMPARE(outcome.error->message, QStringLiteral("adding failed"));
    QVERIFY(adding.pending.isEmpty()); // the earlier reminder is gone by then
}

void ReviewReminderTest::overTheSessionBus()
{
    if (!QDBusConnection::sessionBus().isConnected())
        QSKIP("needs a session bus (run under dbus-run-session)");
    auto *notifications = new DesktopNotifications;
    auto inApp = std::make_unique<InAppWeeklyScheduler>(*notifications);
    InAppWeeklyScheduler *scheduler = inApp.get();
    DesktopUserNotificationCenter center(notifications, std::move(inApp),
                                         std::make_unique<SystemdUserTimerScheduler>(QStringLiteral("/nonexistent")));
    notifications->setParent(&center);
    center.setSystemdProbe([](QObject *, std::function<void(bool)> done) { done(false); });
    ReviewReminderService service(center);

    // Nobody answers on the bus: the reminder stays off.
    ReminderOutcome outcome = run(service, true);
    QVERIFY(!outcome.error);
    QVERIFY(!outcome.isEnabled);
    QVERIFY(!scheduler->nextFireDate(ReviewReminderService::requestIdentifier));

    FakeNotificationServer server;
    QVERIFY(server.start());
    outcome = run(service, true);
    QVERIFY(!outcome.error);
    QVERIFY(outcome.isEnabled);
    const auto next = scheduler->nextFireDate(ReviewReminderService::requestIdentifier);
    QVERIFY(next.has_value());
    QCOMPARE(next->date().dayOfWeek(), 1); // Monday
    QCOMPARE(next->time(), QTime(10, 0));

    outcome = run(service, false);
    QVERIFY(!outcome.isEnabled);
    QVERIFY(!scheduler->nextFireDate(ReviewReminderService::requestIdentifier));
}

QTEST_GUILESS_MAIN(ReviewReminderTest)
#include "tst_reviewreminder.moc"
