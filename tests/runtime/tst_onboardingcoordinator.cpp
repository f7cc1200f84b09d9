#include "runtime/OnboardingCoordinator.h"

#include "platform/UserDefaults.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tessaline;

namespace QTest {
template<>
char *toString(const OnboardingPreferences &preferences)
{
    return qstrdup(QStringLiteral("{name \"%1\", onboarding %2, tour %3}")
                       .arg(preferences.profile.name)
                       .arg(preferences.completedOnboardingVersion)
                       .arg(preferences.completedTourVersion)
                       .toUtf8()
                       .constData());
}
} // namespace QTest

namespace {

constexpr int noTour = -1;

int stepValue(std::optional<GuidedTourStep> step)
{
    return step ? int(*step) : noTour;
}

// A settings file of its own, optionally holding a record, and a coordinator
// built over it the way start-up builds one.
class Fixture
{
public:
    Fixture()
        : defaults(dir.filePath("defaults.conf"))
    {
    }

    void store(const QString &name, qint64 onboardingVersion, qint64 tourVersion)
    {
        OnboardingPreferences preferences;
        preferences.profile.name = name;
        preferences.completedOnboardingVersion = onboardingVersion;
        preferences.completedTourVersion = tourVersion;
        OnboardingPreferencesStore(defaults).save(preferences);
    }

    OnboardingCoordinator &launch()
    {
        coordinator = std::make_unique<OnboardingCoordinator>(std::make_unique<OnboardingPreferencesStore>(defaults));
        return *coordinator;
    }

    OnboardingPreferences stored() { return OnboardingPreferencesStore(defaults).load(); }
    std::optional<QByteArray> storedBytes() const { return defaults.data(OnboardingPreferencesStore::preferencesKey()); }

    QTemporaryDir dir;
    UserDefaults defaults;
    std::unique_ptr<OnboardingCoordinator> coordinator;
};

} // namespace

class OnboardingCoordinatorTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void launchDecidesWhatIsShown_data();
    void launchDecidesWhatIsShown();
    void unreadableRecordShowsSetupAgain();
    void welcomePageNeedsAName_data();
    void welcomePageNeedsAName();
    void pagesMoveInOrder();
    void finishStoresNormalisedName_data();
    void finishStoresNormalisedName();
    void finishCarriesIntoNextLaunch();
    void skipAtFirstLaunchMarksBothSeen_data();
    void skipAtFirstLaunchMarksBothSeen();
    void skippedReplayWritesNothing();
    void replayEndsRunningTourUnrecorded_data();
    void replayEndsRunningTourUnrecorded();
    void tourStepsMoveInOrder();
    void tourOperationsWithoutTourDoNothing();
    void directAssignmentsStayInMemory();
    void everyAssignmentNotifies();
};

void OnboardingCoordinatorTest::launchDecidesWhatIsShown_data()
{
    QTest::addColumn<bool>("hasRecord");
    QTest::addColumn<qint64>("onboardingVersion");
    QTest::addColumn<qint64>("tourVersion");
    QTest::addColumn<bool>("presented");
    QTest::addColumn<int>("tourStep");

    const int capture = int(GuidedTourStep::capture);
    QTest::newRow("fresh settings") << false << qint64(0) << qint64(0) << true << noTour;
    QTest::newRow("nothing completed") << true << qint64(0) << qint64(0) << true << noTour;
    QTest::newRow("tour done, introduction not") << true << qint64(0) << qint64(2) << true << noTour;
    QTest::newRow("introduction done, no tour") << true << qint64(1) << qint64(0) << false << capture;
    QTest::newRow("introduction done, old tour") << true << qint64(1) << qint64(1) << false << capture;
    QTest::newRow("both done") << true << qint64(1) << qint64(2) << false << noTour;
    QTest::newRow("versions from a later build") << true << qint64(3) << qint64(5) << false << noTour;
    QTest::newRow("negative versions") << true << qint64(-1) << qint64(-1) << true << noTour;
}

void OnboardingCoordinatorTest::launchDecidesWhatIsShown()
{
    QFETCH(bool, hasRecord);
    QFETCH(qint64, onboardingVersion);
    QFETCH(qint64, tourVersion);
    QFETCH(bool, presented);
    QFETCH(int, tourStep);

    Fixture fixture;
    if (hasRecord)
        fixture.store(QStringLiteral("Grace Hopper"), onboardingVersion, tourVersion);
    const OnboardingCoordinator &coordinator = fixture.launch();

    QCOMPARE(coordinator.isOnboardingPresented(), presented);
    QCOMPARE(stepValue(coordinator.tourStep()), tourStep);
    QCOMPARE(coordinator.page(), OnboardingPage::welcome);
    QCOMPARE(coordinator.isReplay(), false);
    QCOMPARE(coordinator.draftName(), hasRecord ? QStringLiteral("Grace Hopper") : QString());
    QCOMPARE(coordinator.preferences(), fixture.stored());
}

void OnboardingCoordinatorTest::unreadableRecordShowsSetupAgain()
{
    Fixture fixture;
    fixture.defaults.setData(OnboardingPreferencesStore::preferencesKey(),
                             R"({"profile":{"name":"Grace"},"completedOnboardingVersion":"1","completedTourVersion":2})");
    const OnboardingCoordinator &coordinator = fixture.launch();
    QVERIFY(coordinator.isOnboardingPresented());
    QCOMPARE(coordinator.draftName(), QString());
    QCOMPARE(coordinator.preferences(), OnboardingPreferences());
}

void OnboardingCoordinatorTest::welcomePageNeedsAName_data()
{
    QTest::addColumn<QString>("draft");
    QTest::addColumn<bool>("canContinue");
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("spaces") << QStringLiteral("    ") << false;
    QTest::newRow("tabs and line breaks") << QStringLiteral("\t\r\n") << false;
    QTest::newRow("unicode spaces") << QStringLiteral("\u00A0\u2003\u3000") << false;
    QTest::newRow("a word") << QStringLiteral("Ada") << true;
    QTest::newRow("padded word") << QStringLiteral("  Ada \n") << true;
    QTest::newRow("punctuation") << QStringLiteral(".") << true;
}

void OnboardingCoordinatorTest::welcomePageNeedsAName()
{
    QFETCH(QString, draft);
    QFETCH(bool, canContinue);
    Fixture fixture;
    OnboardingCoordinator &coordinator = fixture.launch();
    coordinator.setDraftName(draft);

    QCOMPARE(coordinator.canContinue(), canContinue);
    coordinator.advance();
    QCOMPARE(coordinator.page(), canContinue ? OnboardingPage::capture : OnboardingPage::welcome);

    // Past the first page the name no longer holds anyone back.
    if (!canContinue) {
        coordinator.setDraftName(QStringLiteral("Ada"));
        coordinator.advance();
        coordinator.setDraftName(draft);
    }
    QCOMPARE(coordinator.page(), OnboardingPage::capture);
    QVERIFY(coordinator.canContinue());
    QVERIFY(!fixture.storedBytes());
}

void OnboardingCoordinatorTest::pagesMoveInOrder()
{
    Fixture fixture;
    OnboardingCoordinator &coordinator = fixture.launch();
    coordinator.back();
    QCOMPARE(coordinator.page(), OnboardingPage::welcome);

    coordinator.setDraftName(QStringLiteral("Ada"));
    const QList<OnboardingPage> forward {OnboardingPage::capture, OnboardingPage::thinking, OnboardingPage::ready,
                                         OnboardingPage::ready};
    for (const OnboardingPage expected : forward) {
        coordinator.advance();
        QCOMPARE(coordinator.page(), expected);
    }
    const QList<OnboardingPage> backward {OnboardingPage::thinking, OnboardingPage::capture, OnboardingPage::welcome,
                                          OnboardingPage::welcome};
    for (const OnboardingPage expected : backward) {
        coordinator.back();
        QCOMPARE(coordinator.page(), expected);
    }
    QVERIFY(coordinator.isOnboardingPresented());
    QVERIFY(!fixture.storedBytes());
}

void OnboardingCoordinatorTest::finishStoresNormalisedName_data()
{
    QTest::addColumn<QString>("storedName");
    QTest::addColumn<qint64>("storedTourVersion");
    QTest::addColumn<QString>("draft");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("tourStep");

    const int capture = int(GuidedTourStep::capture);
    const QString messy = QStringLiteral("\tAda\n Lovelace  ");
    QTest::newRow("messy name, no tour yet") << QString() << qint64(0) << messy << QStringLiteral("Ada Lovelace") << capture;
    QTest::newRow("messy name, old tour") << QString() << qint64(1) << messy << QStringLiteral("Ada Lovelace") << capture;
    QTest::newRow("messy name, tour done") << QString() << qint64(2) << messy << QStringLiteral("Ada Lovelace") << noTour;
    QTest::newRow("blank draft keeps stored name")
        << QStringLiteral("Grace") << qint64(0) << QStringLiteral(" \t ") << QStringLiteral("Grace") << capture;
    QTest::newRow("new name replaces stored")
        << QStringLiteral("Grace") << qint64(2) << QStringLiteral("Grace  Murray Hopper")
        << QStringLiteral("Grace Murray Hopper") << noTour;
    QString halfPair = QStringLiteral("Ada");
    halfPair.append(QChar(0xDC00));
    QTest::newRow("half a surrogate pair is replaced, still saved")
        << QString() << qint64(0) << halfPair << QStringLiteral("Ada\uFFFD") << capture;
}

void OnboardingCoordinatorTest::finishStoresNormalisedName()
{
    QFETCH(QString, storedName);
    QFETCH(qint64, storedTourVersion);
    QFETCH(QString, draft);
    QFETCH(QString, name);
    QFETCH(int, tourStep);

    Fixture fixture;
    fixture.store(storedName, 0, storedTourVersion);
    OnboardingCoordinator &coordinator = fixture.launch();
    QVERIFY(coordinator.isOnboardingPresented());
    coordinator.setDraftName(draft);
    coordinator.finish();

    OnboardingPreferences expected;
    expected.profile.name = name;
    expected.completedOnboardingVersion = 1;
    expected.completedTourVersion = storedTourVersion;
    QCOMPARE(coordinator.preferences(), expected);
    QCOMPARE(fixture.stored(), expected);
    QVERIFY(!coordinator.isOnboardingPresented());
    QVERIFY(!coordinator.isReplay());
    QCOMPARE(stepValue(coordinator.tourStep()), tourStep);
}

void OnboardingCoordinatorTest::finishCarriesIntoNextLaunch()
{
    Fixture fixture;
    {
        OnboardingCoordinator &coordinator = fixture.launch();
        coordinator.setDraftName(QStringLiteral("Ada"));
        for (int i = 0; i < 3; ++i)
            coordinator.advance();
        coordinator.finish();
        QCOMPARE(stepValue(coordinator.tourStep()), int(GuidedTourStep::capture));
    }
    // Quit during the tour: the next launch shows the tour, not the setup.
    {
        OnboardingCoordinator &coordinator = fixture.launch();
        QVERIFY(!coordinator.isOnboardingPresented());
        QCOMPARE(stepValue(coordinator.tourStep()), int(GuidedTourStep::capture));
        QCOMPARE(coordinator.draftName(), QStringLiteral("Ada"));
        coordinator.completeTour();
    }
    const OnboardingCoordinator &coordinator = fixture.launch();
    QVERIFY(!coordinator.isOnboardingPresented());
    QCOMPARE(stepValue(coordinator.tourStep()), noTour);
}

void OnboardingCoordinatorTest::skipAtFirstLaunchMarksBothSeen_data()
{
    QTest::addColumn<QString>("draft");
    QTest::addColumn<QString>("name");
    QTest::newRow("no name") << QString() << QString();
    QTest::newRow("name typed") << QStringLiteral(" Ada  Lovelace") << QStringLiteral("Ada Lovelace");
}

void OnboardingCoordinatorTest::skipAtFirstLaunchMarksBothSeen()
{
    QFETCH(QString, draft);
    QFETCH(QString, name);
    Fixture fixture;
    OnboardingCoordinator &coordinator = fixture.launch();
    coordinator.setDraftName(draft);
    coordinator.skip();

    OnboardingPreferences expected;
    expected.profile.name = name;
    expected.completedOnboardingVersion = 1;
    expected.completedTourVersion = 2;
    QCOMPARE(fixture.stored(), expected);
    QCOMPARE(coordinator.preferences(), expected);
    QVERIFY(!coordinator.isOnboardingPresented());
    QCOMPARE(stepValue(coordinator.tourStep()), noTour);

    const OnboardingCoordinator &relaunched = fixture.launch();
    QVERIFY(!relaunched.isOnboardingPresented());
    QCOMPARE(stepValue(relaunched.tourStep()), noTour);
}

void OnboardingCoordinatorTest::skippedReplayWritesNothing()
{
    Fixture fixture;
    fixture.store(QStringLiteral("Grace"), 1, 1);
    OnboardingCoordinator &coordinator = fixture.launch();
    const auto before = fixture.storedBytes();

    coordinator.replay();
    QVERIFY(coordinator.isReplay());
    QVERIFY(coordinator.isOnboardingPresented());
    coordinator.setDraftName(QStringLiteral("Someone Else"));
    coordinator.advance();
    coordinator.skip();

    QCOMPARE(fixture.storedBytes(), before);
    QCOMPARE(coordinator.preferences().profile.name, QStringLiteral("Grace"));
    QVERIFY(!coordinator.isOnboardingPresented());
    QVERIFY(!coordinator.isReplay());
    QCOMPARE(stepValue(coordinator.tourStep()), noTour);
    QCOMPARE(coordinator.draftName(), QStringLiteral("Someone Else"));

    // Opened again, it starts over from the stored name on the first page.
    coordinator.replay();
    QCOMPARE(coordinator.draftName(), QStringLiteral("Grace"));
    QCOMPARE(coordinator.page(), OnboardingPage::welcome);
}

void OnboardingCoordinatorTest::replayEndsRunningTourUnrecorded_data()
{
    QTest::addColumn<qint64>("storedTourVersion");
    QTest::addColumn<int>("tourAfterFinish");
    QTest::newRow("tour not done") << qint64(1) << int(GuidedTourStep::capture);
    QTest::newRow("tour done before") << qint64(2) << noTour;
}

void OnboardingCoordinatorTest::replayEndsRunningTourUnrecorded()
{
    QFETCH(qint64, storedTourVersion);
    QFETCH(int, tourAfterFinish);
    Fixture fixture;
    fixture.store(QStringLiteral("Grace"), 1, storedTourVersion);
    OnboardingCoordinator &coordinator = fixture.launch();
    coordinator.setTourStep(GuidedTourStep::boards);

    coordinator.replay();
    QCOMPARE(stepValue(coordinator.tourStep()), noTour);
    QCOMPARE(fixture.stored().completedTourVersion, storedTourVersion);

    coordinator.setDraftName(QStringLiteral("Grace Hopper"));
    coordinator.finish();
    QCOMPARE(stepValue(coordinator.tourStep()), tourAfterFinish);
    QVERIFY(!coordinator.isReplay());
    QCOMPARE(fixture.stored().profile.name, QStringLiteral("Grace Hopper"));
    QCOMPARE(fixture.stored().completedTourVersion, storedTourVersion);
}

void OnboardingCoordinatorTest::tourStepsMoveInOrder()
{
    Fixture fixture;
    fixture.store(QStringLiteral("Grace"), 1, 0);
    OnboardingCoordinator &coordinator = fixture.launch();
    QCOMPARE(stepValue(coordinator.tourStep()), int(GuidedTourStep::capture));

    // (forward?, step after the move)
    const QList<std::pair<bool, GuidedTourStep>> moves {
        {false, GuidedTourStep::capture}, {true, GuidedTourStep::today}, {true, GuidedTourStep::boards},
        {true, GuidedTourStep::snipPreview}, {false, GuidedTourStep::boards}, {false, GuidedTourStep::today},
        {false, GuidedTourStep::capture}, {true, GuidedTourStep::today}, {true, GuidedTourStep::boards},
        {true, GuidedTourStep::snipPreview},
    };
    for (const auto &[forward, expected] : moves) {
        if (forward)
            coordinator.advanceTour();
        else
            coordinator.previousTourStep();
        QCOMPARE(stepValue(coordinator.tourStep()), int(expected));
    }
    QCOMPARE(fixture.stored().completedTourVersion, qint64(0));

    // Next on the last step completes the tour.
    coordinator.advanceTour();
    QCOMPARE(stepValue(coordinator.tourStep()), noTour);
    QCOMPARE(fixture.stored().completedTourVersion, qint64(2));
    QCOMPARE(fixture.stored().profile.name, QStringLiteral("Grace"));
}

void OnboardingCoordinatorTest::tourOperationsWithoutTourDoNothing()
{
    Fixture fixture;
    fixture.store(QStringLiteral("Grace"), 1, 2);
    OnboardingCoordinator &coordinator = fixture.launch();
    const auto before = fixture.storedBytes();
    coordinator.advanceTour();
    coordinator.previousTourStep();
    QCOMPARE(stepValue(coordinator.tourStep()), noTour);
    QCOMPARE(fixture.storedBytes(), before);

    // The settings window restarts a finished tour by setting its first step;
    // skipping it records it again.
    coordinator.setTourStep(GuidedTourStep::capture);
    coordinator.advanceTour();
    QCOMPARE(stepValue(coordinator.tourStep()), int(GuidedTourStep::today));
    coordinator.completeTour();
    QCOMPARE(stepValue(coordinator.tourStep()), noTour);
    QCOMPARE(fixture.stored().completedTourVersion, qint64(2));
}

void OnboardingCoordinatorTest::directAssignmentsStayInMemory()
{
    Fixture fixture;
    OnboardingCoordinator &coordinator = fixture.launch();
    coordinator.setDraftName(QStringLiteral("Ada"));
    coordinator.setTourStep(GuidedTourStep::today);
    // The sheet was dismissed without finishing: nothing is recorded, so the
    // next launch shows the setup again.
    coordinator.setOnboardingPresented(false);
    QVERIFY(!fixture.storedBytes());
    QCOMPARE(coordinator.preferences(), OnboardingPreferences());

    const OnboardingCoordinator &relaunched = fixture.launch();
    QVERIFY(relaunched.isOnboardingPresented());
    QCOMPARE(relaunched.draftName(), QString());
}

void OnboardingCoordinatorTest::everyAssignmentNotifies()
{
    Fixture fixture;
    OnboardingCoordinator &coordinator = fixture.launch();
    QSignalSpy presented(&coordinator, &OnboardingCoordinator::isOnboardingPresentedChanged);
    QSignalSpy tour(&coordinator, &OnboardingCoordinator::tourStepChanged);
    QSignalSpy draft(&coordinator, &OnboardingCoordinator::draftNameChanged);
    QSignalSpy page(&coordinator, &OnboardingCoordinator::pageChanged);
    QSignalSpy preferences(&coordinator, &OnboardingCoordinator::preferencesChanged);

    // Same value, still a notice.
    coordinator.setDraftName(QString());
    coordinator.setTourStep(std::nullopt);
    QCOMPARE(draft.count(), 1);
    QCOMPARE(tour.count(), 1);

    // Refused moves assign nothing.
    coordinator.advance();
    coordinator.back();
    coordinator.previousTourStep();
    QCOMPARE(page.count(), 0);
    QCOMPARE(tour.count(), 1);

    coordinator.setDraftName(QStringLiteral("Ada"));
    coordinator.advance();
    QCOMPARE(page.count(), 1);
    coordinator.finish();
    QVERIFY(preferences.count() >= 1);
    QCOMPARE(presented.count(), 1);
    QCOMPARE(tour.count(), 2);
    QCOMPARE(coordinator.page(), OnboardingPage::capture);
}

QTEST_GUILESS_MAIN(OnboardingCoordinatorTest)
#include "tst_onboardingcoordinator.moc"
