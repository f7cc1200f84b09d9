// The global shortcuts portal of a real (headless) KDE Wayland session: our
// capture shortcut bound through it and pressed with injected keys starts a
// capture, after restarts and changes too, and a key the desktop keeps for
// another shortcut is reported. That desktop's screenshot portal is made
// to fail, which shows what a refused picture gives.
#include "../support/WaylandTestSupport.h"
#include "WaylandCaptureRig.h"

#include "capture/ShortcutRecorderModel.h"
#include "platform/KeyPositions.h"
#include "platform/PlatformTexts.h"
#include "platform/PortalCaptureSystem.h"
#include "platform/PortalHotKeys.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cstdio>

using namespace tessaline;
using namespace tessaline::waylandtest;

Q_DECLARE_METATYPE(tessaline::HotKeyStatus)

namespace {

// Stored key codes of function keys, and the modifiers every case uses.
constexpr quint32 f5 = 96;
constexpr quint32 f6 = 97;
constexpr quint32 f7 = 98;
constexpr quint32 f8 = 100;
constexpr quint32 f9 = 101;
constexpr quint32 f4 = 118;
constexpr quint32 f10 = 109;
constexpr quint32 ctrlShift = HotKeyModifier::command | HotKeyModifier::shift;
const HotKeyID captureID{0x544c494e, 1};

const char *childVariable = "TESSALINE_SHORTCUT_CHILD";

// One start of an app: binds Ctrl+Shift+<key> as Capture Region, says how
// that went on standard output, then waits for one press.
int runChild(quint32 keyCode)
{
    PortalHotKeys hotKeys;
    hotKeys.installEventHandler([](const HotKeyEvent &) {
        std::puts("pressed");
        std::fflush(stdout);
        QCoreApplication::exit(0);
        return true;
    });
    hotKeys.setBindingHandler([](const QList<HotKeyID> &refused, HotKeyStatus) {
        if (refused.isEmpty())
            return;
        std::puts("refused");
        std::fflush(stdout);
    });
    QObject::connect(&hotKeys, &PortalHotKeys::bindingFinished, [] {
        std::puts("bound");
        std::fflush(stdout);
    });
    HotKeyReference reference = 0;
    hotKeys.registerHotKey(HotKeyRequest{keyCode, ctrlShift, captureID, QStringLiteral("Capture Region")}, &reference);
    QTimer::singleShot(30000, [] { QCoreApplication::exit(1); });
    return QCoreApplication::exec();
}

QString triggerKeys(quint32 keyCode)
{
    return QStringLiteral("ctrl+shift+") + KeyPositions::keysymName(keyCode).toLower();
}

// KDE's registry gives a component a key, as another app (or an earlier
// version of ours) would hold it; true once the registry says it holds it.
bool holdElsewhere(const QString &component, int qtKeys)
{
    const QStringList action{component, QStringLiteral("hold"), component, QStringLiteral("Hold")};
    const auto call = [](const QString &method, const QVariantList &arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            QStringLiteral("org.kde.kglobalaccel"), QStringLiteral("/kglobalaccel"), QStringLiteral("org.kde.KGlobalAccel"), method);
        message.setArguments(arguments);
        return QDBusConnection::sessionBus().call(message);
    };
    // Present, and never replaced by a key kept from before.
    constexpr uint setPresentNoAutoloading = 2 | 4;
    if (call(QStringLiteral("doRegister"), {action}).type() != QDBusMessage::ReplyMessage)
        return false;
    // The keys the registry gave: none when something else holds that key.
    const QDBusMessage given = call(QStringLiteral("setShortcut"),
                                    {action, QVariant::fromValue(QList<int>{qtKeys}), setPresentNoAutoloading});
    return given.type() == QDBusMessage::ReplyMessage && !given.arguments().isEmpty()
        && qdbus_cast<QList<int>>(given.arguments().constFirst()).contains(qtKeys);
}

} // namespace

class WaylandShortcutsTest : public QObject
{
    Q_OBJECT
public:
    static void initMain() { runOffscreenWithoutSession(); }

private Q_SLOTS:
    void initTestCase()
    {
        if (const QString missing = missingSession(); !missing.isEmpty())
            TESSALINE_SKIP_WITHOUT_SESSION(qPrintable(missing));
    }

    void boundShortcutStartsACaptureAndARefusalLeavesNothing()
    {
        PlatformBackends backends = PlatformFactory::create();
        QCOMPARE(backends.session, WindowSession::wayland);
        auto *hotKeys = dynamic_cast<PortalHotKeys *>(backends.hotKeySystem.get());
        QVERIFY2(hotKeys, "the desktop offers global shortcuts");
        // Pictures through the portal alone, as where KWin turns an app
        // without its desktop file away: here KWin would take them itself.
        backends.captureSystem = std::make_unique<PortalCaptureSystem>(true);
        QSignalSpy bound(hotKeys, &PortalHotKeys::bindingFinished);
        const GlobalShortcut capture{101, GlobalShortcutModifiers(GlobalShortcutModifiers::commandBit
                                                                  | GlobalShortcutModifiers::shiftBit)};
        CaptureRig rig(std::move(backends), GlobalShortcutConfiguration{capture, std::nullopt});
        int requests = 0;
        rig.coordinator->onRegionCaptureRequested = [&] {
            ++requests;
            rig.coordinator->beginCapture(CaptureMode::region);
        };

        QVERIFY(rig.coordinator->enableHotKeys());
        QVERIFY(rig.coordinator->hotKeyManager().globalShortcutsOffered());
        QVERIFY(bound.wait(patience));
        QCOMPARE(hotKeys->boundTriggers(), (QMap<QString, QString>{{QStringLiteral("capture-region"),
                                                                    QStringLiteral("Ctrl+Shift+F9")}}));

        // While a shortcut is recorded, its keys are the recorder's: KDE
        // keeps them from the app and only says which of ours was pressed.
        {
            ShortcutRecorderModel recorder;
            QList<std::optional<GlobalShortcut>> offered;
            recorder.onChange = [&](const std::optional<GlobalShortcut> &candidate) -> Expected<void, QString> {
                offered.append(candidate);
                return {};
            };
            recorder.beginRecording();
            QVERIFY(input({QStringLiteral("key"), QStringLiteral("ctrl+shift+f9")}));
            QTRY_COMPARE_WITH_TIMEOUT(offered.size(), 1, patience);
            QCOMPARE(offered.first(), std::optional(capture));
            QVERIFY(!recorder.isRecording());
        }
        QCOMPARE(requests, 0);

        // KDE's portal saves its pictures in the user's Pictures folder and
        // fails without one: the desktop then answers as it does to a refusal.
        const QString pictures = qEnvironmentVariable("WAYLAND_SESSION_DIR") + QStringLiteral("/home/Pictures");
        const QString away = pictures + QStringLiteral(".away");
        QVERIFY(QDir().rename(pictures, away));
        const auto restore = qScopeGuard([&] { QDir().rename(away, pictures); });

        QVERIFY(input({QStringLiteral("key"), QStringLiteral("ctrl+shift+f9")}));
        QTRY_COMPARE_WITH_TIMEOUT(requests, 1, patience);

        QTRY_VERIFY_WITH_TIMEOUT(rig.error.has_value(), patience);
        QCOMPARE(*rig.error, CaptureSubsystemError::permissionNeedsSettings(PlatformTexts::screenshotPortalRefused()));
        QCOMPARE(rig.error->errorDescription(), PlatformTexts::screenshotPortalRefused());
        QCOMPARE(rig.coordinator->state(), CaptureCoordinatorState::failed(rig.error->errorDescription()));
        QCOMPARE(rig.result, std::nullopt);
        QCOMPARE(rig.coordinator->overlayController(), nullptr);
        QCOMPARE(rig.coordinator->permissionState(), ScreenCapturePermissionState::notRequested);
    }

    // Each start is a process of its own, as an app's restarts are: the
    // desktop must hand every start the keys, also after the combination
    // changed between two starts.
    void shortcutWorksAfterRestartsAndAChange_data()
    {
        QTest::addColumn<QList<quint32>>("starts");
        QTest::newRow("three starts, the last with another key") << QList<quint32>{f9, f9, f8};
    }

    void shortcutWorksAfterRestartsAndAChange()
    {
        QFETCH(QList<quint32>, starts);
        for (const quint32 keyCode : std::as_const(starts)) {
            QProcess child;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QString::fromLatin1(childVariable), QString::number(keyCode));
            child.setProcessEnvironment(environment);
            child.start(QCoreApplication::applicationFilePath(), {});
            QVERIFY(child.waitForStarted());
            QByteArray said;
            QTRY_VERIFY_WITH_TIMEOUT((said += child.readAllStandardOutput()).contains("bound"), patience);
            QVERIFY2(!said.contains("refused"), said.constData());
            QVERIFY(input({QStringLiteral("key"), triggerKeys(keyCode)}));
            QVERIFY2(child.state() == QProcess::NotRunning || child.waitForFinished(patience),
                     "the press reached the start that bound the key");
            QVERIFY((said + child.readAllStandardOutput()).contains("pressed"));
            QCOMPARE(child.exitCode(), 0);
        }
    }

    // A change while running binds the new key; a key another shortcut of
    // the desktop holds is reported the way X11 reports a taken key.
    void changeWhileRunningAndATakenKey()
    {
        QVERIFY(holdElsewhere(QStringLiteral("tessaline-test-holder"), (Qt::CTRL | Qt::SHIFT | Qt::Key_F6).toCombined()));
        // An earlier version's session, which had a token of its own.
        QVERIFY(holdElsewhere(QStringLiteral("tessaline3_2706411"), (Qt::CTRL | Qt::SHIFT | Qt::Key_F5).toCombined()));
        PortalHotKeys hotKeys;
        int presses = 0;
        hotKeys.installEventHandler([&](const HotKeyEvent &event) {
            presses += event.hotKeyID.id == captureID.id;
            return true;
        });
        std::optional<HotKeyStatus> refusal;
        hotKeys.setBindingHandler([&](const QList<HotKeyID> &refused, HotKeyStatus status) {
            if (refused.isEmpty())
                return;
            QCOMPARE(refused.size(), 1);
            refusal = status;
        });
        QSignalSpy bound(&hotKeys, &PortalHotKeys::bindingFinished);
        HotKeyReference reference = 0;
        const auto bind = [&](quint32 keyCode) {
            if (reference)
                hotKeys.unregisterHotKey(reference);
            refusal.reset();
            bound.clear();
            hotKeys.registerHotKey(HotKeyRequest{keyCode, ctrlShift, captureID, QStringLiteral("Capture Region")},
                                   &reference);
            return bound.wait(patience);
        };

        QVERIFY(bind(f9));
        QCOMPARE(refusal, std::nullopt);
        QVERIFY(bind(f7));
        QCOMPARE(refusal, std::nullopt);
        QCOMPARE(hotKeys.boundTriggers().value(QStringLiteral("capture-region")), QStringLiteral("Ctrl+Shift+F7"));
        QVERIFY(input({QStringLiteral("key"), triggerKeys(f7)}));
        QTRY_COMPARE_WITH_TIMEOUT(presses, 1, patience);

        QVERIFY(bind(f6));
        QCOMPARE(refusal, HotKeyStatus::alreadyTaken);
        QVERIFY(hotKeys.boundTriggers().isEmpty());

        // What an earlier version of ours left holding a key is let go.
        QVERIFY(bind(f5));
        QCOMPARE(refusal, std::nullopt);
        QVERIFY(input({QStringLiteral("key"), triggerKeys(f5)}));
        QTRY_COMPARE_WITH_TIMEOUT(presses, 2, patience);
    }

    // A key the desktop refuses after the change was taken: the key it gave
    // before is bound again, confirmed by its registry, works, and stays
    // saved and shown, so the refusal does not come back at the next start.
    void aKeyRefusedLateLeavesThePreviousKey()
    {
        QVERIFY(holdElsewhere(QStringLiteral("tessaline-test-late-holder"),
                              (Qt::CTRL | Qt::SHIFT | Qt::Key_F10).toCombined()));
        PlatformBackends backends = PlatformFactory::create();
        auto *hotKeys = dynamic_cast<PortalHotKeys *>(backends.hotKeySystem.get());
        QVERIFY2(hotKeys, "the desktop offers global shortcuts");
        const GlobalShortcutModifiers ctrlShiftModifiers(GlobalShortcutModifiers::commandBit
                                                         | GlobalShortcutModifiers::shiftBit);
        const GlobalShortcutConfiguration previous{GlobalShortcut{f4, ctrlShiftModifiers}, std::nullopt};
        const GlobalShortcutConfiguration taken{GlobalShortcut{f10, ctrlShiftModifiers}, std::nullopt};
        CaptureRig rig(std::move(backends), previous);
        int requests = 0;
        rig.coordinator->onRegionCaptureRequested = [&] { ++requests; };
        const QMap<QString, QString> previousBound{{QStringLiteral("capture-region"), QStringLiteral("Ctrl+Shift+F4")}};
        QSignalSpy bound(hotKeys, &PortalHotKeys::bindingFinished);
        QVERIFY(rig.coordinator->enableHotKeys());
        QVERIFY(bound.wait(20000));
        QCOMPARE(hotKeys->boundTriggers(), previousBound);

        QSignalSpy refused(&rig.coordinator->hotKeyManager(), &GlobalHotKeyManager::registrationRefused);
        QSignalSpy published(rig.coordinator.get(), &CaptureCoordinator::shortcutConfigurationChanged);
        // Taken at first: the desktop answers later.
        QVERIFY(rig.coordinator->updateShortcuts(taken));
        QCOMPARE(rig.coordinator->shortcutConfiguration(), taken);
        QTRY_COMPARE_WITH_TIMEOUT(refused.count(), 1, 20000);
        QCOMPARE(refused.first().first().value<CaptureSubsystemError>(),
                 CaptureSubsystemError::hotKeyRegistrationFailed(GlobalHotKeyAction::captureRegion,
                                                                 HotKeyStatus::alreadyTaken));
        QCOMPARE(rig.coordinator->shortcutConfiguration(), previous);
        QCOMPARE(published.count(), 2);
        QCOMPARE(GlobalShortcutConfigurationStore(rig.defaults).load(), previous);

        // Bound again, as the registry says, and pressed, it captures.
        QTRY_COMPARE_WITH_TIMEOUT(hotKeys->boundTriggers(), previousBound, 20000);
        QVERIFY(input({QStringLiteral("key"), triggerKeys(f4)}));
        QTRY_COMPARE_WITH_TIMEOUT(requests, 1, 10000);
        QCOMPARE(refused.count(), 1);
    }
};

int main(int argc, char *argv[])
{
    WaylandShortcutsTest::initMain();
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(childVariable))
        return runChild(qEnvironmentVariableIntValue(childVariable));
    WaylandShortcutsTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_waylandshortcuts.moc"
