// The global shortcuts portal of a real (headless) KDE Wayland session: our
// capture shortcut bound through it and pressed with injected keys starts a
// capture. That desktop's screenshot portal refuses here, which shows what a
// refused picture gives.
#include "../support/WaylandTestSupport.h"
#include "WaylandCaptureRig.h"

#include "platform/PortalHotKeys.h"

#include <QSignalSpy>
#include <QTest>

using namespace tessaline;
using namespace tessaline::waylandtest;

class WaylandShortcutsTest : public QObject
{
    Q_OBJECT
public:
    static void initMain() { runOffscreenWithoutSession(); }

private Q_SLOTS:
    void initTestCase()
    {
        if (const QString missing = missingSession(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
    }

    void boundShortcutStartsACaptureAndARefusalLeavesNothing()
    {
        PlatformBackends backends = PlatformFactory::create();
        QCOMPARE(backends.session, WindowSession::wayland);
        auto *hotKeys = dynamic_cast<PortalHotKeys *>(backends.hotKeySystem.get());
        QVERIFY2(hotKeys, "the desktop offers global shortcuts");
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
        QVERIFY(bound.wait(20000));
        QCOMPARE(hotKeys->boundTriggers(), (QMap<QString, QString>{{QStringLiteral("capture-region"),
                                                                    QStringLiteral("Ctrl+Shift+F9")}}));

        QVERIFY(input({QStringLiteral("key"), QStringLiteral("ctrl+shift+f9")}));
        QTRY_COMPARE_WITH_TIMEOUT(requests, 1, 10000);

        QTRY_VERIFY_WITH_TIMEOUT(rig.error.has_value(), 20000);
        QCOMPARE(*rig.error, CaptureSubsystemError::permissionNeedsSettings());
        QCOMPARE(rig.coordinator->state(), CaptureCoordinatorState::failed(rig.error->errorDescription()));
        QCOMPARE(rig.result, std::nullopt);
        QCOMPARE(rig.coordinator->overlayController(), nullptr);
        QCOMPARE(rig.coordinator->permissionState(), ScreenCapturePermissionState::notRequested);
    }
};

QTEST_MAIN(WaylandShortcutsTest)
#include "tst_waylandshortcuts.moc"
