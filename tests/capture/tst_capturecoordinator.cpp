#include "CaptureFakes.h"

#include "capture/CaptureCoordinator.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tessaline;
using namespace tessaline::fakes;

namespace {

using Kind = CaptureCoordinatorState::Kind;
using Permission = ScreenCapturePermissionState;

FrozenDisplayCapture frozenCapture()
{
    FrozenDisplayCapture capture;
    capture.image = QImage(200, 100, QImage::Format_RGB32);
    capture.image.fill(Qt::red);
    capture.target.displayID = 7;
    capture.target.screenFrame = QRectF(0, 0, 100, 50);
    capture.target.pointSize = QSizeF(100, 50);
    capture.target.pixelSize = QSizeF(200, 100);
    capture.sourceApplication = CaptureSourceApplication{QStringLiteral("Editor"), QStringLiteral("org.example.editor")};
    return capture;
}

CapturedWindow capturedWindow()
{
    CapturedWindow window;
    window.image = QImage(30, 20, QImage::Format_RGB32);
    window.windowID = 42;
    window.windowTitle = QStringLiteral("Notes.txt");
    window.displayID = 7;
    window.rectOnScreen = QRectF(10, 20, 30, 20);
    window.rectInDisplay = QRectF(10, 10, 30, 20);
    window.scale = QSizeF(1, 1);
    return window;
}

// Everything one coordinator needs, with a notice log in arrival order.
struct Rig
{
    explicit Rig(bool access = true, std::function<void(UserDefaults &)> prepare = {})
    {
        defaults = std::make_unique<UserDefaults>(dir.filePath(QStringLiteral("settings.ini")));
        if (prepare)
            prepare(*defaults);
        permission = std::make_shared<FakePermission>();
        permission->access = access;
        display = std::make_shared<FakeDisplayCapturing>();
        auto system = std::make_unique<FakeHotKeySystem>();
        hotKeys = system.get();
        CaptureCoordinatorServices services;
        services.displayCaptureService = display;
        services.permissionHistoryStore = std::make_shared<ScreenCapturePermissionHistoryStore>(*defaults);
        services.hotKeyManager = std::make_shared<GlobalHotKeyManager>(std::move(system));
        services.shortcutStore = std::make_shared<GlobalShortcutConfigurationStore>(*defaults);
        shortcutStore = services.shortcutStore;
        services.permissionController = permission;
        services.notificationCenter = &center;
        services.prepareRegionSelection = [this](quint32 displayID) { preparedSelections.append(displayID); };
        services.regionSelectionFactory = [this](const FrozenDisplayCapture &capture,
                                                 RegionSelectionSession::Completion completion) {
            auto session = std::make_unique<FakeRegionSession>(capture, std::move(completion), &sessionBegins);
            lastSession = session.get();
            return std::unique_ptr<RegionSelectionSession>(std::move(session));
        };
        QObject::connect(&center, &NotificationCenter::posted, [this](const QString &name, QObject *, const QVariantMap &info) {
            notices.append(name);
            lastInfo[name] = info;
        });
        coordinator = std::make_unique<CaptureCoordinator>(std::move(services));
        QObject::connect(coordinator.get(), &CaptureCoordinator::stateChanged,
                         [this] { states.append(coordinator->state().kind()); });
        coordinator->onCaptureCompleted = [this](const CaptureResult &result) { results.append(result); };
        coordinator->onCaptureError = [this](const CaptureSubsystemError &error) { errors.append(error); };
        coordinator->onCaptureCancelled = [this] { ++cancellations; };
    }

    QStringList noticesNamed(const QString &name) const { return notices.filter(name); }
    void runTasks() { QCoreApplication::processEvents(); }

    QTemporaryDir dir;
    std::unique_ptr<UserDefaults> defaults;
    std::shared_ptr<FakePermission> permission;
    std::shared_ptr<FakeDisplayCapturing> display;
    std::shared_ptr<GlobalShortcutConfigurationStore> shortcutStore;
    FakeHotKeySystem *hotKeys = nullptr;
    NotificationCenter center;
    std::unique_ptr<CaptureCoordinator> coordinator;
    FakeRegionSession *lastSession = nullptr;
    int sessionBegins = 0;
    QList<quint32> preparedSelections;
    QStringList notices;
    QHash<QString, QVariantMap> lastInfo;
    QList<Kind> states;
    QList<CaptureResult> results;
    QList<CaptureSubsystemError> errors;
    int cancellations = 0;
};

const QString requestedKey = ScreenCapturePermissionHistoryStore::hasRequestedAccessKey();
const QString relaunchKey = ScreenCapturePermissionHistoryStore::relaunchRecommendedKey();

GlobalShortcut shortcut(quint32 keyCode, quint8 modifiers)
{
    return GlobalShortcut{keyCode, GlobalShortcutModifiers(modifiers)};
}

} // namespace

class CaptureCoordinatorTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initialPermissionState_data();
    void initialPermissionState();
    void refreshPermissionState_data();
    void refreshPermissionState();
    void requestAccess_data();
    void requestAccess();
    void displayAndWindowCapturesComplete_data();
    void displayAndWindowCapturesComplete();
    void regionSelectionOutcomes_data();
    void regionSelectionOutcomes();
    void requestsWhileBusyAreIgnored_data();
    void requestsWhileBusyAreIgnored();
    void requestWhileFailedStartsAgain();
    void requestsInOneTurn_data();
    void requestsInOneTurn();
    void preparationForTheFirstCapture_data();
    void preparationForTheFirstCapture();
    void firstCaptureAsksForAccess();
    void permissionErrorsAreReworded_data();
    void permissionErrorsAreReworded();
    void otherErrorsPassThrough();
    void verifiedAccessNeedsNoSystemCheck();
    void imageArrivingAfterCoordinatorIsGone();
    void hotKeys_data();
    void hotKeys();
    void updateShortcuts_data();
    void updateShortcuts();
    void failedUpdateKeepsPreviousShortcuts();
    void clearFailure();
};

void CaptureCoordinatorTest::initialPermissionState_data()
{
    QTest::addColumn<bool>("access");
    QTest::addColumn<bool>("requested");
    QTest::addColumn<bool>("relaunch");
    QTest::addColumn<Permission>("expected");
    QTest::newRow("access") << true << false << false << Permission::authorized;
    QTest::newRow("nothing recorded") << false << false << false << Permission::notRequested;
    QTest::newRow("requested before") << false << true << false << Permission::needsSettings;
    // The recommendation is cleared at every launch, so a launch never
    // starts as restart required.
    QTest::newRow("relaunch recommended last time") << false << true << true << Permission::needsSettings;
    QTest::newRow("relaunch alone") << false << false << true << Permission::notRequested;
}

void CaptureCoordinatorTest::initialPermissionState()
{
    QFETCH(bool, access);
    QFETCH(bool, requested);
    QFETCH(bool, relaunch);
    QFETCH(Permission, expected);
    Rig rig(access, [&](UserDefaults &defaults) {
        defaults.setBoolean(requestedKey, requested);
        defaults.setBoolean(relaunchKey, relaunch);
    });
    QCOMPARE(rig.coordinator->permissionState(), expected);
    QCOMPARE(rig.defaults->boolean(relaunchKey), false);
    QVERIFY(rig.notices.isEmpty());
}

void CaptureCoordinatorTest::refreshPermissionState_data()
{
    QTest::addColumn<bool>("access");
    QTest::addColumn<bool>("requested");
    QTest::addColumn<bool>("relaunch");
    QTest::addColumn<Permission>("expected");
    QTest::addColumn<bool>("relaunchAfter");
    QTest::newRow("granted clears the recommendation") << true << true << true << Permission::authorized << false;
    QTest::newRow("restart wins over settings") << false << true << true << Permission::restartRequired << true;
    QTest::newRow("needs settings") << false << true << false << Permission::needsSettings << false;
    QTest::newRow("never asked") << false << false << false << Permission::notRequested << false;
}

void CaptureCoordinatorTest::refreshPermissionState()
{
    QFETCH(bool, access);
    QFETCH(bool, requested);
    QFETCH(bool, relaunch);
    QFETCH(Permission, expected);
    QFETCH(bool, relaunchAfter);
    Rig rig(access);
    rig.defaults->setBoolean(requestedKey, requested);
    rig.defaults->setBoolean(relaunchKey, relaunch);
    QSignalSpy published(rig.coordinator.get(), &CaptureCoordinator::permissionStateChanged);
    rig.coordinator->refreshPermissionState();
    rig.coordinator->refreshPermissionState();
    QCOMPARE(rig.coordinator->permissionState(), expected);
    QCOMPARE(rig.defaults->boolean(relaunchKey), relaunchAfter);
    // Published and posted every time, changed or not.
    QCOMPARE(published.count(), 2);
    QCOMPARE(rig.noticesNamed(CaptureNotifications::permissionChanged()).size(), 2);
    const QVariant posted = rig.lastInfo[CaptureNotifications::permissionChanged()][CaptureNotifications::permissionStateKey()];
    QCOMPARE(posted.value<Permission>(), expected);
}

void CaptureCoordinatorTest::requestAccess_data()
{
    QTest::addColumn<bool>("accessBefore");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("grants");
    QTest::addColumn<Permission>("expected");
    QTest::addColumn<bool>("requestedAfter");
    QTest::addColumn<bool>("relaunchAfter");
    QTest::addColumn<int>("requestCalls");
    QTest::newRow("already granted") << true << true << false << Permission::authorized << false << false << 0;
    QTest::newRow("granted and usable") << false << true << true << Permission::authorized << true << false << 1;
    QTest::newRow("granted, needs a relaunch") << false << true << false << Permission::restartRequired << true << true << 1;
    QTest::newRow("declined") << false << false << false << Permission::needsSettings << true << false << 1;
}

void CaptureCoordinatorTest::requestAccess()
{
    QFETCH(bool, accessBefore);
    QFETCH(bool, answer);
    QFETCH(bool, grants);
    QFETCH(Permission, expected);
    QFETCH(bool, requestedAfter);
    QFETCH(bool, relaunchAfter);
    QFETCH(int, requestCalls);
    Rig rig(accessBefore);
    rig.permission->requestAnswer = answer;
    rig.permission->requestGrantsAccess = grants;
    QCOMPARE(rig.coordinator->requestScreenCaptureAccess(), expected);
    QCOMPARE(rig.coordinator->permissionState(), expected);
    QCOMPARE(rig.defaults->boolean(requestedKey), requestedAfter);
    QCOMPARE(rig.defaults->boolean(relaunchKey), relaunchAfter);
    QCOMPARE(rig.permission->requestCalls, requestCalls);
}

void CaptureCoordinatorTest::displayAndWindowCapturesComplete_data()
{
    QTest::addColumn<CaptureMode>("mode");
    QTest::newRow("display") << CaptureMode::display;
    QTest::newRow("window") << CaptureMode::window;
}

void CaptureCoordinatorTest::displayAndWindowCapturesComplete()
{
    QFETCH(CaptureMode, mode);
    Rig rig;
    rig.coordinator->beginCapture(mode);
    QCOMPARE(rig.coordinator->state().kind(), Kind::idle);
    QVERIFY(rig.coordinator->hasCaptureTask());
    rig.runTasks();
    QCOMPARE(rig.coordinator->state().kind(), Kind::capturingDisplay);
    if (mode == CaptureMode::display)
        rig.display->finishDisplay(frozenCapture());
    else
        rig.display->finishWindow(capturedWindow());
    QCOMPARE(rig.states, (QList<Kind>{Kind::idle, Kind::capturingDisplay, Kind::idle}));
    QVERIFY(!rig.coordinator->hasCaptureTask());
    QCOMPARE(rig.results.size(), 1);
    QCOMPARE(rig.results.first().mode, mode);
    QVERIFY(rig.coordinator->captureAccessWasVerifiedThisSession());
    QCOMPARE(rig.noticesNamed(CaptureNotifications::captureCompleted()).size(), 1);
    const auto posted = rig.lastInfo[CaptureNotifications::captureCompleted()][CaptureNotifications::resultKey()].value<CaptureResult>();
    QCOMPARE(posted.id, rig.results.first().id);
    if (mode == CaptureMode::window)
        QCOMPARE(rig.results.first().sourceWindowTitle, std::optional<QString>(QStringLiteral("Notes.txt")));
}

void CaptureCoordinatorTest::regionSelectionOutcomes_data()
{
    QTest::addColumn<bool>("cancelled");
    QTest::addColumn<QRectF>("rect");
    QTest::addColumn<int>("expectedResults");
    QTest::addColumn<bool>("expectFailure");
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<bool>("toldFirst"); // the session tells of the selection before its outcome
    QTest::newRow("selected") << false << QRectF(10, 5, 20, 10) << 1 << false << QSize(40, 20) << true;
    QTest::newRow("selected, not told first") << false << QRectF(10, 5, 20, 10) << 1 << false << QSize(40, 20) << false;
    QTest::newRow("cancelled") << true << QRectF() << 0 << false << QSize() << true;
    QTest::newRow("outside the display") << false << QRectF(500, 500, 20, 20) << 0 << true << QSize() << true;
    QTest::newRow("half a point wide") << false << QRectF(10, 10, 0.5, 20) << 0 << true << QSize() << true;
}

void CaptureCoordinatorTest::regionSelectionOutcomes()
{
    QFETCH(bool, cancelled);
    QFETCH(QRectF, rect);
    QFETCH(int, expectedResults);
    QFETCH(bool, expectFailure);
    QFETCH(QSize, imageSize);
    QFETCH(bool, toldFirst);
    Rig rig;
    rig.coordinator->beginCapture(CaptureMode::region);
    rig.runTasks();
    // Every pixel its own, so a crop from the wrong place shows.
    FrozenDisplayCapture frozen = frozenCapture();
    for (int y = 0; y < frozen.image.height(); ++y) {
        for (int x = 0; x < frozen.image.width(); ++x)
            frozen.image.setPixel(x, y, qRgb(x, y, (x * 7 + y) & 0xff));
    }
    rig.display->finishDisplay(frozen);
    QCOMPARE(rig.coordinator->state().kind(), Kind::selectingRegion);
    QCOMPARE(rig.sessionBegins, 1);
    QVERIFY(rig.coordinator->overlayController());
    rig.lastSession->tellsSelectionFirst = toldFirst;
    rig.lastSession->finish(cancelled ? RegionSelectionOutcome::cancelled() : RegionSelectionOutcome::selected(rect));
    QVERIFY(!rig.coordinator->overlayController());
    QCOMPARE(rig.results.size(), expectedResults);
    QCOMPARE(rig.cancellations, cancelled ? 1 : 0);
    QCOMPARE(rig.noticesNamed(CaptureNotifications::captureCancelled()).size(), cancelled ? 1 : 0);
    if (expectFailure) {
        QCOMPARE(rig.coordinator->state(), CaptureCoordinatorState::failed(QStringLiteral("Select a larger area to create a snip.")));
        QCOMPARE(rig.errors, QList<CaptureSubsystemError>{CaptureSubsystemError::emptySelection()});
        QCOMPARE(rig.noticesNamed(CaptureNotifications::captureFailed()).size(), 1);
    } else {
        QCOMPARE(rig.coordinator->state().kind(), Kind::idle);
    }
    if (expectedResults) {
        const CaptureResult &result = rig.results.first();
        QCOMPARE(result.mode, CaptureMode::region);
        QCOMPARE(result.image.size(), imageSize);
        QCOMPARE(result.selectionRectInDisplay, rect);
        QCOMPARE(result.selectionRectOnScreen, QRectF(10, 35, 20, 10));
        QCOMPARE(result.sourceApplicationName, std::optional<QString>(QStringLiteral("Editor")));
        QCOMPARE(result.sourceWindowTitle, std::nullopt);
        QCOMPARE(result.image, frozen.image.copy(20, 10, 40, 20));
        // Told of first, the crop's PNG was begun then and comes along; its
        // file is that very crop. Otherwise whoever stores it encodes it.
        QCOMPARE(result.png.has_value(), toldFirst);
        if (toldFirst) {
            QVERIFY(result.png->encodes(result.image));
            const auto file = result.png->result();
            QVERIFY(file);
            QCOMPARE(QImage::fromData(*file, "PNG").convertToFormat(QImage::Format_RGB32), result.image);
        }
    }
}

void CaptureCoordinatorTest::requestsWhileBusyAreIgnored_data()
{
    QTest::addColumn<Kind>("busy");
    QTest::addColumn<CaptureMode>("first");
    QTest::newRow("capturing a region") << Kind::capturingDisplay << CaptureMode::region;
    QTest::newRow("capturing a display") << Kind::capturingDisplay << CaptureMode::display;
    QTest::newRow("capturing a window") << Kind::capturingDisplay << CaptureMode::window;
    QTest::newRow("selecting") << Kind::selectingRegion << CaptureMode::region;
    QTest::newRow("requesting permission") << Kind::requestingPermission << CaptureMode::display;
}

void CaptureCoordinatorTest::requestsWhileBusyAreIgnored()
{
    QFETCH(Kind, busy);
    QFETCH(CaptureMode, first);
    Rig rig(busy != Kind::requestingPermission);
    int ignoredStates = -1;
    if (busy == Kind::requestingPermission) {
        // A request made while the system is being asked for access.
        rig.permission->duringRequest = [&] {
            QCOMPARE(rig.coordinator->state().kind(), Kind::requestingPermission);
            const qsizetype before = rig.states.size();
            rig.coordinator->beginCapture(CaptureMode::window);
            ignoredStates = int(rig.states.size() - before);
        };
    }
    rig.coordinator->beginCapture(first);
    rig.runTasks();
    if (busy == Kind::selectingRegion)
        rig.display->finishDisplay(frozenCapture());
    if (busy != Kind::requestingPermission) {
        QCOMPARE(rig.coordinator->state().kind(), busy);
        const QStringList noticesBefore = rig.notices;
        const qsizetype statesBefore = rig.states.size();
        rig.coordinator->beginCapture(first == CaptureMode::window ? CaptureMode::display : CaptureMode::window);
        rig.runTasks();
        QCOMPARE(rig.states.size(), statesBefore);
        QCOMPARE(rig.notices, noticesBefore);
    } else {
        QCOMPARE(ignoredStates, 0);
    }
    // The capture under way ends normally, and nothing follows it.
    QCOMPARE(rig.display->displayRequests, first == CaptureMode::window ? 0 : 1);
    QCOMPARE(rig.display->windowRequests, first == CaptureMode::window ? 1 : 0);
    if (first == CaptureMode::window)
        rig.display->finishWindow(capturedWindow());
    else if (busy != Kind::selectingRegion)
        rig.display->finishDisplay(frozenCapture());
    if (first == CaptureMode::region)
        rig.lastSession->finish(RegionSelectionOutcome::selected(QRectF(0, 0, 10, 10)));
    rig.runTasks();
    QCOMPARE(rig.results.size(), 1);
    QCOMPARE(rig.results.first().mode, first);
    QCOMPARE(rig.display->displayRequests + rig.display->windowRequests, 1);
    QCOMPARE(rig.coordinator->state().kind(), Kind::idle);
    QVERIFY(!rig.coordinator->hasCaptureTask());
}

void CaptureCoordinatorTest::requestWhileFailedStartsAgain()
{
    Rig rig;
    rig.coordinator->beginCapture(CaptureMode::display);
    rig.runTasks();
    rig.display->finishDisplay(unexpected(CaptureSubsystemError::noDisplayUnderPointer()));
    QCOMPARE(rig.coordinator->state().kind(), Kind::failed);
    rig.coordinator->beginCapture(CaptureMode::display);
    QCOMPARE(rig.coordinator->state().kind(), Kind::idle);
    rig.runTasks();
    QCOMPARE(rig.display->displayRequests, 2);
}

void CaptureCoordinatorTest::requestsInOneTurn_data()
{
    QTest::addColumn<QList<CaptureMode>>("asked");
    QTest::newRow("region, then display") << QList<CaptureMode>{CaptureMode::region, CaptureMode::display};
    QTest::newRow("display, then window") << QList<CaptureMode>{CaptureMode::display, CaptureMode::window};
    QTest::newRow("window, then region") << QList<CaptureMode>{CaptureMode::window, CaptureMode::region};
    QTest::newRow("display twice") << QList<CaptureMode>{CaptureMode::display, CaptureMode::display};
    QTest::newRow("three") << QList<CaptureMode>{CaptureMode::window, CaptureMode::display, CaptureMode::region};
}

void CaptureCoordinatorTest::requestsInOneTurn()
{
    // Each request made before the task of the one before it began cancels
    // that task: only the last is taken.
    QFETCH(QList<CaptureMode>, asked);
    Rig rig;
    for (CaptureMode mode : std::as_const(asked))
        rig.coordinator->beginCapture(mode);
    rig.runTasks();
    const qsizetype replaced = asked.size() - 1;
    // Every task refreshed the permission; the replaced ones then saw their
    // cancellation and took the cancel path.
    QCOMPARE(rig.noticesNamed(CaptureNotifications::permissionChanged()).size(), asked.size());
    QCOMPARE(rig.cancellations, replaced);
    QCOMPARE(rig.noticesNamed(CaptureNotifications::captureCancelled()).size(), replaced);
    const CaptureMode last = asked.constLast();
    QCOMPARE(rig.display->windowRequests, last == CaptureMode::window ? 1 : 0);
    QCOMPARE(rig.display->displayRequests, last == CaptureMode::window ? 0 : 1);
    QCOMPARE(rig.coordinator->state().kind(), Kind::capturingDisplay);
    // The running capture keeps its handle.
    QVERIFY(rig.coordinator->hasCaptureTask());
    if (last == CaptureMode::window) {
        rig.display->finishWindow(capturedWindow());
    } else {
        rig.display->finishDisplay(frozenCapture());
        if (last == CaptureMode::region) {
            QVERIFY(rig.lastSession);
            QCOMPARE(rig.sessionBegins, 1);
            rig.lastSession->finish(RegionSelectionOutcome::selected(QRectF(0, 0, 10, 10)));
        }
    }
    rig.runTasks();
    QCOMPARE(rig.results.size(), 1);
    QCOMPARE(rig.results.first().mode, last);
    QCOMPARE(rig.display->displayRequests + rig.display->windowRequests, 1);
    QCOMPARE(rig.coordinator->state().kind(), Kind::idle);
    QVERIFY(!rig.coordinator->hasCaptureTask());
}

void CaptureCoordinatorTest::preparationForTheFirstCapture_data()
{
    QTest::addColumn<bool>("access");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<std::optional<quint32>>("preparable");
    QTest::addColumn<int>("prepareRequests");
    QTest::addColumn<QList<quint32>>("preparedSelections");
    QTest::newRow("display readied, then its overlay")
        << true << false << std::optional<quint32>(7) << 1 << QList<quint32>{7};
    QTest::newRow("nothing to ready") << true << false << std::optional<quint32>() << 1 << QList<quint32>{};
    // Getting ready is no reason to ask for access, nor to get in the way
    // of a capture already under way.
    QTest::newRow("without access") << false << false << std::optional<quint32>(7) << 0 << QList<quint32>{};
    QTest::newRow("while capturing") << true << true << std::optional<quint32>(7) << 0 << QList<quint32>{};
}

void CaptureCoordinatorTest::preparationForTheFirstCapture()
{
    QFETCH(bool, access);
    QFETCH(bool, busy);
    QFETCH(std::optional<quint32>, preparable);
    QFETCH(int, prepareRequests);
    QFETCH(QList<quint32>, preparedSelections);
    Rig rig(access);
    rig.display->preparable = preparable;
    if (busy) {
        rig.coordinator->beginCapture(CaptureMode::region);
        rig.runTasks();
        QVERIFY(rig.coordinator->state().isBusy());
    }
    rig.coordinator->prepareForFirstCapture();
    QCOMPARE(rig.display->prepareRequests, prepareRequests);
    QCOMPARE(rig.preparedSelections, preparedSelections);
    QCOMPARE(rig.permission->requestCalls, 0);
}

void CaptureCoordinatorTest::firstCaptureAsksForAccess()
{
    Rig rig(false);
    QCOMPARE(rig.coordinator->permissionState(), Permission::notRequested);
    rig.coordinator->beginCapture(CaptureMode::display);
    rig.runTasks();
    QCOMPARE(rig.states, (QList<Kind>{Kind::idle, Kind::requestingPermission, Kind::capturingDisplay}));
    QCOMPARE(rig.permission->requestCalls, 1);
    QVERIFY(rig.defaults->boolean(requestedKey));
    // The user declined: the system refuses the picture.
    rig.display->finishDisplay(unexpected(CaptureSubsystemError::permissionDenied()));
    QCOMPARE(rig.errors, QList<CaptureSubsystemError>{CaptureSubsystemError::permissionNeedsSettings()});
    QCOMPARE(rig.coordinator->state().message(),
             QStringLiteral("Screen Recording access is off. Enable Tessaline in your desktop's privacy settings, then return to the app."));
}

void CaptureCoordinatorTest::permissionErrorsAreReworded_data()
{
    QTest::addColumn<bool>("access");
    QTest::addColumn<bool>("relaunch");
    QTest::addColumn<CaptureSubsystemError>("expected");
    QTest::newRow("system says yes") << true << false << CaptureSubsystemError::permissionDenied();
    QTest::newRow("access off") << false << false << CaptureSubsystemError::permissionNeedsSettings();
    QTest::newRow("needs a relaunch") << false << true << CaptureSubsystemError::permissionRestartRequired();
}

void CaptureCoordinatorTest::permissionErrorsAreReworded()
{
    QFETCH(bool, access);
    QFETCH(bool, relaunch);
    QFETCH(CaptureSubsystemError, expected);
    Rig rig(true);
    // One good capture first: access counts as verified until a refusal.
    rig.coordinator->beginCapture(CaptureMode::display);
    rig.runTasks();
    rig.display->finishDisplay(frozenCapture());
    rig.permission->access = access;
    rig.coordinator->beginCapture(CaptureMode::display);
    rig.runTasks();
    // Meanwhile the user went to the settings and came back.
    rig.defaults->setBoolean(requestedKey, true);
    rig.defaults->setBoolean(relaunchKey, relaunch);
    rig.display->finishDisplay(unexpected(CaptureSubsystemError::permissionDenied()));
    QVERIFY(!rig.coordinator->captureAccessWasVerifiedThisSession());
    QCOMPARE(rig.errors, QList<CaptureSubsystemError>{expected});
    QCOMPARE(rig.coordinator->state(), CaptureCoordinatorState::failed(expected.errorDescription()));
    const auto posted = rig.lastInfo[CaptureNotifications::captureFailed()][CaptureNotifications::errorKey()];
    QCOMPARE(posted.value<CaptureSubsystemError>(), expected);
}

void CaptureCoordinatorTest::otherErrorsPassThrough()
{
    Rig rig;
    rig.coordinator->beginCapture(CaptureMode::window);
    rig.runTasks();
    const auto error = CaptureSubsystemError::noCapturableWindow(QStringLiteral("Editor"));
    rig.display->finishWindow(unexpected(error));
    QCOMPARE(rig.errors, QList<CaptureSubsystemError>{error});
    QCOMPARE(rig.coordinator->state().message(), QStringLiteral("No visible window could be found for Editor."));
    QVERIFY(!rig.coordinator->hasCaptureTask());
}

void CaptureCoordinatorTest::verifiedAccessNeedsNoSystemCheck()
{
    Rig rig(true);
    rig.coordinator->beginCapture(CaptureMode::display);
    rig.runTasks();
    rig.display->finishDisplay(frozenCapture());
    rig.permission->access = false;
    const int checks = rig.permission->hasAccessCalls;
    rig.coordinator->refreshPermissionState();
    QCOMPARE(rig.coordinator->permissionState(), Permission::authorized);
    QCOMPARE(rig.permission->hasAccessCalls, checks);
}

void CaptureCoordinatorTest::imageArrivingAfterCoordinatorIsGone()
{
    Rig rig;
    rig.coordinator->beginCapture(CaptureMode::display);
    rig.runTasks();
    rig.coordinator.reset();
    rig.display->finishDisplay(frozenCapture());
    QVERIFY(rig.results.isEmpty());
}

void CaptureCoordinatorTest::hotKeys_data()
{
    QTest::addColumn<bool>("withCallbacks");
    QTest::newRow("runtime callbacks") << true;
    QTest::newRow("no callbacks") << false;
}

void CaptureCoordinatorTest::hotKeys()
{
    QFETCH(bool, withCallbacks);
    Rig rig;
    int regionRequests = 0;
    int quickThoughts = 0;
    QStringList order;
    if (withCallbacks) {
        rig.coordinator->onRegionCaptureRequested = [&] {
            ++regionRequests;
            order.append(QStringLiteral("callback"));
        };
        rig.coordinator->onQuickThoughtRequested = [&] { ++quickThoughts; };
    }
    QObject::connect(&rig.center, &NotificationCenter::posted, [&](const QString &name) {
        if (name == CaptureNotifications::captureRequested())
            order.append(QStringLiteral("notice"));
    });
    QVERIFY(rig.coordinator->enableHotKeys());
    QVERIFY(rig.coordinator->hotKeyLifecycleEnabled());
    QVERIFY(rig.coordinator->hotKeysAreActive());
    QCOMPARE(rig.hotKeys->registeredKeyCodes(), (QList<quint32>{21, 45}));

    QCOMPARE(rig.hotKeys->press(21), true);
    QVERIFY(rig.notices.isEmpty()); // handled later, on the main thread
    rig.runTasks();
    QCOMPARE(rig.noticesNamed(CaptureNotifications::captureRequested()).size(), 1);
    if (withCallbacks) {
        QCOMPARE(regionRequests, 1);
        QCOMPARE(order, (QStringList{QStringLiteral("callback"), QStringLiteral("notice")}));
        QVERIFY(!rig.coordinator->hasCaptureTask());
    } else {
        // Without the runtime the coordinator starts the capture itself.
        rig.runTasks();
        QCOMPARE(rig.display->displayRequests, 1);
    }

    rig.hotKeys->press(45);
    rig.runTasks();
    QCOMPARE(quickThoughts, withCallbacks ? 1 : 0);
    QCOMPARE(rig.noticesNamed(CaptureNotifications::quickThoughtRequested()).size(), 1);
}

void CaptureCoordinatorTest::updateShortcuts_data()
{
    QTest::addColumn<bool>("enable");
    QTest::addColumn<GlobalShortcutConfiguration>("configuration");
    QTest::addColumn<bool>("expectError");
    QTest::addColumn<bool>("expectPublished");
    QTest::addColumn<QList<quint32>>("registered");

    const auto ctrlSuper = quint8(GlobalShortcutModifiers::commandBit | GlobalShortcutModifiers::controlBit);
    const auto defaults = GlobalShortcutConfiguration::defaults();
    const GlobalShortcutConfiguration changed{shortcut(20, ctrlSuper), shortcut(45, ctrlSuper)};
    QTest::newRow("same as in force") << true << defaults << false << false << QList<quint32>{21, 45};
    QTest::newRow("both the same") << true << GlobalShortcutConfiguration{shortcut(20, ctrlSuper), shortcut(20, ctrlSuper)}
                                   << true << false << QList<quint32>{21, 45};
    QTest::newRow("reserved") << true << GlobalShortcutConfiguration{shortcut(37, GlobalShortcutModifiers::controlBit), std::nullopt}
                              << true << false << QList<quint32>{21, 45};
    QTest::newRow("shift only") << true << GlobalShortcutConfiguration{shortcut(20, GlobalShortcutModifiers::shiftBit), std::nullopt}
                                << true << false << QList<quint32>{21, 45};
    QTest::newRow("active hot keys move") << true << changed << false << true << QList<quint32>{20, 45};
    QTest::newRow("one shortcut off") << true << GlobalShortcutConfiguration{std::nullopt, shortcut(45, ctrlSuper)}
                                      << false << true << QList<quint32>{45};
    QTest::newRow("before hot keys start") << false << changed << false << true << QList<quint32>{};
}

void CaptureCoordinatorTest::updateShortcuts()
{
    QFETCH(bool, enable);
    QFETCH(GlobalShortcutConfiguration, configuration);
    QFETCH(bool, expectError);
    QFETCH(bool, expectPublished);
    QFETCH(QList<quint32>, registered);
    Rig rig;
    if (enable)
        QVERIFY(rig.coordinator->enableHotKeys());
    QSignalSpy published(rig.coordinator.get(), &CaptureCoordinator::shortcutConfigurationChanged);
    const auto updated = rig.coordinator->updateShortcuts(configuration);
    QCOMPARE(!updated, expectError);
    if (expectError)
        QCOMPARE(updated, unexpected(CaptureSubsystemError::invalidShortcutConfiguration()));
    QCOMPARE(published.count(), expectPublished ? 1 : 0);
    QCOMPARE(rig.coordinator->shortcutConfiguration(),
             expectPublished ? configuration : GlobalShortcutConfiguration::defaults());
    QCOMPARE(rig.defaults->contains(GlobalShortcutConfigurationStore::configurationKey()), expectPublished);
    QCOMPARE(rig.hotKeys->registeredKeyCodes(), registered);
    QCOMPARE(rig.coordinator->hotKeysAreActive(), enable);
    if (!enable) {
        // Starting the hot keys later registers what was published.
        QVERIFY(rig.coordinator->enableHotKeys());
        QCOMPARE(rig.hotKeys->registeredKeyCodes(), (QList<quint32>{20, 45}));
    }
}

void CaptureCoordinatorTest::failedUpdateKeepsPreviousShortcuts()
{
    Rig rig;
    QVERIFY(rig.coordinator->enableHotKeys());
    rig.hotKeys->takenKeyCodes.insert(17, HotKeyStatus::alreadyTaken);
    const auto ctrlSuper = quint8(GlobalShortcutModifiers::commandBit | GlobalShortcutModifiers::controlBit);
    const auto updated = rig.coordinator->updateShortcuts({shortcut(21, ctrlSuper), shortcut(17, ctrlSuper)});
    QCOMPARE(updated, unexpected(CaptureSubsystemError::hotKeyRegistrationFailed(GlobalHotKeyAction::quickThought,
                                                                                 HotKeyStatus::alreadyTaken)));
    QCOMPARE(rig.coordinator->shortcutConfiguration(), GlobalShortcutConfiguration::defaults());
    QVERIFY(rig.coordinator->hotKeysAreActive());
    QCOMPARE(rig.hotKeys->registeredKeyCodes(), (QList<quint32>{21, 45}));
    QVERIFY(!rig.defaults->contains(GlobalShortcutConfigurationStore::configurationKey()));

    // When even the old pair cannot come back, the hot keys count as off.
    rig.hotKeys->takenKeyCodes.insert(45, HotKeyStatus::alreadyTaken);
    QVERIFY(!rig.coordinator->updateShortcuts({shortcut(21, ctrlSuper), shortcut(17, ctrlSuper)}));
    QVERIFY(!rig.coordinator->hotKeysAreActive());
    QVERIFY(rig.hotKeys->registeredKeyCodes().isEmpty());
}

void CaptureCoordinatorTest::clearFailure()
{
    Rig rig;
    QSignalSpy changes(rig.coordinator.get(), &CaptureCoordinator::stateChanged);
    rig.coordinator->clearFailure();
    QCOMPARE(changes.count(), 0);
    rig.coordinator->beginCapture(CaptureMode::display);
    rig.runTasks();
    rig.coordinator->clearFailure();
    QCOMPARE(rig.coordinator->state().kind(), Kind::capturingDisplay);
    rig.display->finishDisplay(unexpected(CaptureSubsystemError::displayUnavailable()));
    rig.coordinator->clearFailure();
    QCOMPARE(rig.coordinator->state().kind(), Kind::idle);
}

QTEST_GUILESS_MAIN(CaptureCoordinatorTest)
#include "tst_capturecoordinator.moc"
