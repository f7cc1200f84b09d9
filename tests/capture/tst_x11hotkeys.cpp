#include "X11TestSupport.h"

#include "capture/GlobalHotKeyManager.h"
#include "platform/X11HotKeys.h"

#include <xcb/xcb.h>

#include <cstdlib>

using namespace tessaline;
using namespace tessaline::x11test;

namespace {

constexpr quint8 ctrlSuper = GlobalShortcutModifiers::commandBit | GlobalShortcutModifiers::controlBit;

GlobalShortcut shortcut(quint32 keyCode, quint8 modifiers = ctrlSuper)
{
    return GlobalShortcut{keyCode, GlobalShortcutModifiers(modifiers)};
}

// Another X client, to hold a combination the way another application would.
class OtherClient
{
public:
    OtherClient()
    {
        m_connection = xcb_connect(nullptr, nullptr);
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    }
    ~OtherClient() { xcb_disconnect(m_connection); }

    // True when the grab went through.
    bool grab(quint8 keyCode, quint16 modifiers)
    {
        xcb_generic_error_t *error = xcb_request_check(
            m_connection, xcb_grab_key_checked(m_connection, 0, m_root, modifiers, keyCode, XCB_GRAB_MODE_ASYNC,
                                               XCB_GRAB_MODE_ASYNC));
        std::free(error);
        return error == nullptr;
    }
    void ungrab(quint8 keyCode, quint16 modifiers)
    {
        xcb_ungrab_key(m_connection, keyCode, m_root, modifiers);
        // A round trip, so the server has let go before anyone else asks.
        std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }

private:
    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
};

struct Rig
{
    Rig()
    {
        auto system = X11HotKeys::create();
        hotKeys = system.get();
        manager = std::make_unique<GlobalHotKeyManager>(std::move(system));
    }
    std::optional<CaptureSubsystemError> registerPair(const GlobalShortcutConfiguration &configuration)
    {
        return manager->registerConfiguration(configuration, [this] { ++captures; }, [this] { ++quickThoughts; });
    }
    X11HotKeys *hotKeys = nullptr;
    std::unique_ptr<GlobalHotKeyManager> manager;
    int captures = 0;
    int quickThoughts = 0;
};

quint16 ctrlSuperMask(const X11HotKeys &hotKeys)
{
    return quint16(XCB_MOD_MASK_CONTROL | hotKeys.modifierMasks().super);
}

} // namespace

class X11HotKeysTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void keyPositions_data();
    void keyPositions();
    void pressWithLocks_data();
    void pressWithLocks();
    void otherModifiersDoNotFire();
    void takenCombinationIsReported();
    void failedUpdateKeepsWorkingShortcuts();
    void unregisterReleasesTheGrabs();
    void autoRepeatAndReleasesAreIgnored();
    void releaseTakenByAnotherGrab();
};

void X11HotKeysTest::initTestCase()
{
    if (!X11Connection::application())
        QSKIP("needs an X11 display");
}

void X11HotKeysTest::cleanup()
{
    // Later tests on this server must not inherit a lock left on by a
    // failed check.
    const auto x11 = *X11Connection::application();
    xcb_query_pointer_reply_t *pointer = xcb_query_pointer_reply(x11.connection, xcb_query_pointer(x11.connection, x11.root), nullptr);
    const quint16 state = pointer ? pointer->mask : 0;
    std::free(pointer);
    const auto masks = X11HotKeys::create()->modifierMasks();
    if (state & XCB_MOD_MASK_LOCK)
        xdotool({QStringLiteral("key"), QStringLiteral("Caps_Lock")});
    if (state & masks.numLock)
        xdotool({QStringLiteral("key"), QStringLiteral("Num_Lock")});
}

void X11HotKeysTest::keyPositions_data()
{
    QTest::addColumn<quint32>("keyCode");
    QTest::addColumn<int>("xKeyCode"); // 0: no key
    // Evdev codes plus 8, the way X servers number keys.
    QTest::newRow("4") << 21u << 13;
    QTest::newRow("N") << 45u << 57;
    QTest::newRow("A") << 0u << 38;
    QTest::newRow("Space") << 49u << 65;
    QTest::newRow("F1") << 122u << 67;
    QTest::newRow("Print position") << 105u << 107;
    QTest::newRow("Up") << 126u << 111;
    QTest::newRow("Command itself") << 55u << 0;
    QTest::newRow("past the table") << 200u << 0;
}

void X11HotKeysTest::keyPositions()
{
    QFETCH(quint32, keyCode);
    QFETCH(int, xKeyCode);
    const auto code = X11HotKeys::xKeyCode(keyCode);
    QCOMPARE(code ? int(*code) : 0, xKeyCode);
}

void X11HotKeysTest::pressWithLocks_data()
{
    QTest::addColumn<QString>("lock");
    QTest::newRow("no locks") << QString();
    QTest::newRow("Num Lock on") << QStringLiteral("Num_Lock");
    QTest::newRow("Caps Lock on") << QStringLiteral("Caps_Lock");
}

void X11HotKeysTest::pressWithLocks()
{
    QFETCH(QString, lock);
    Rig rig;
    QCOMPARE(rig.registerPair(GlobalShortcutConfiguration::defaults()), std::nullopt);
    if (!lock.isEmpty())
        QVERIFY(xdotool({QStringLiteral("key"), lock}));
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+super+4")}));
    QTRY_COMPARE(rig.captures, 1);
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+super+n")}));
    QTRY_COMPARE(rig.quickThoughts, 1);
    if (!lock.isEmpty())
        QVERIFY(xdotool({QStringLiteral("key"), lock})); // back off for the next test
    settle(100);
    QCOMPARE(rig.captures, 1);
}

void X11HotKeysTest::otherModifiersDoNotFire()
{
    Rig rig;
    QCOMPARE(rig.registerPair(GlobalShortcutConfiguration::defaults()), std::nullopt);
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+4")}));
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+super+shift+4")}));
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("super+4")}));
    settle(200);
    QCOMPARE(rig.captures, 0);
}

void X11HotKeysTest::takenCombinationIsReported()
{
    Rig rig;
    OtherClient other;
    const quint8 four = *X11HotKeys::xKeyCode(21);
    QVERIFY(other.grab(four, ctrlSuperMask(*rig.hotKeys)));
    QCOMPARE(rig.registerPair(GlobalShortcutConfiguration::defaults()),
             CaptureSubsystemError::hotKeyRegistrationFailed(GlobalHotKeyAction::captureRegion, HotKeyStatus::alreadyTaken));
    QCOMPARE(rig.manager->registeredConfiguration(), std::nullopt);
    QCOMPARE(CaptureSubsystemError::hotKeyRegistrationFailed(GlobalHotKeyAction::captureRegion, HotKeyStatus::alreadyTaken).errorDescription(),
             QStringLiteral("The Capture Region shortcut is already used by the desktop or another app. "
                            "Your previous shortcut is still active."));
    // Nothing of ours stayed behind: with the other client gone from the
    // key, the same pair registers.
    other.ungrab(four, ctrlSuperMask(*rig.hotKeys));
    QCOMPARE(rig.registerPair(GlobalShortcutConfiguration::defaults()), std::nullopt);
}

void X11HotKeysTest::failedUpdateKeepsWorkingShortcuts()
{
    Rig rig;
    QCOMPARE(rig.registerPair(GlobalShortcutConfiguration::defaults()), std::nullopt);
    OtherClient other;
    const quint8 t = *X11HotKeys::xKeyCode(17);
    // Taken with Num Lock only: one of our four grabs fails, the others
    // must not stay behind.
    QVERIFY(other.grab(t, quint16(ctrlSuperMask(*rig.hotKeys) | rig.hotKeys->modifierMasks().numLock)));
    QCOMPARE(rig.manager->update({shortcut(20), shortcut(17)}),
             CaptureSubsystemError::hotKeyRegistrationFailed(GlobalHotKeyAction::quickThought, HotKeyStatus::alreadyTaken));
    QCOMPARE(rig.manager->registeredConfiguration(), GlobalShortcutConfiguration::defaults());
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+super+4")}));
    QTRY_COMPARE(rig.captures, 1);
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+super+n")}));
    QTRY_COMPARE(rig.quickThoughts, 1);
    // The 3 of the failed attempt was released again.
    QVERIFY(other.grab(*X11HotKeys::xKeyCode(20), ctrlSuperMask(*rig.hotKeys)));
}

void X11HotKeysTest::unregisterReleasesTheGrabs()
{
    Rig rig;
    QCOMPARE(rig.registerPair(GlobalShortcutConfiguration::defaults()), std::nullopt);
    OtherClient other;
    const quint8 n = *X11HotKeys::xKeyCode(45);
    QVERIFY(!other.grab(n, ctrlSuperMask(*rig.hotKeys)));
    rig.manager->unregisterAll();
    QVERIFY(other.grab(n, ctrlSuperMask(*rig.hotKeys)));
    other.ungrab(n, ctrlSuperMask(*rig.hotKeys));
}

void X11HotKeysTest::autoRepeatAndReleasesAreIgnored()
{
    Rig rig;
    QCOMPARE(rig.registerPair({shortcut(21), std::nullopt}), std::nullopt);
    const auto x11 = *X11Connection::application();
    xcb_key_press_event_t event{};
    event.root = x11.root;
    event.event = x11.root;
    event.detail = *X11HotKeys::xKeyCode(21);
    event.state = ctrlSuperMask(*rig.hotKeys);
    event.time = 1000;
    const auto deliver = [&](quint8 type, quint32 time) {
        event.response_type = type;
        event.time = time;
        return rig.hotKeys->nativeEventFilter("xcb_generic_event_t", &event, nullptr);
    };
    QVERIFY(deliver(XCB_KEY_PRESS, 1000));
    QVERIFY(deliver(XCB_KEY_PRESS, 1030));    // held down: detectable auto-repeat
    QVERIFY(deliver(XCB_KEY_RELEASE, 1060));
    QVERIFY(deliver(XCB_KEY_PRESS, 1060));    // classic auto-repeat pair
    QVERIFY(deliver(XCB_KEY_RELEASE, 1090));
    QCoreApplication::processEvents();
    QCOMPARE(rig.captures, 1);
    QVERIFY(deliver(XCB_KEY_PRESS, 2000));    // a new press
    QVERIFY(deliver(XCB_KEY_RELEASE, 2050));
    QCoreApplication::processEvents();
    QCOMPARE(rig.captures, 2);
    // Key events that are not ours pass on.
    event.detail = *X11HotKeys::xKeyCode(0);
    QVERIFY(!deliver(XCB_KEY_PRESS, 3000));
}

void X11HotKeysTest::releaseTakenByAnotherGrab()
{
    // The capture overlay grabs the keyboard right after the hot key and may
    // let go before the key comes up; the release then never reaches us.
    Rig rig;
    QCOMPARE(rig.registerPair(GlobalShortcutConfiguration::defaults()), std::nullopt);
    QVERIFY(xdotool({QStringLiteral("keydown"), QStringLiteral("ctrl+super+4")}));
    QTRY_COMPARE(rig.captures, 1);
    const auto x11 = *X11Connection::application();
    xcb_grab_keyboard_reply_t *grab = xcb_grab_keyboard_reply(
        x11.connection,
        xcb_grab_keyboard(x11.connection, 0, x11.root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
        nullptr);
    QVERIFY(grab && grab->status == XCB_GRAB_STATUS_SUCCESS);
    std::free(grab);
    xcb_ungrab_keyboard(x11.connection, XCB_CURRENT_TIME);
    x11.sync();
    QVERIFY(xdotool({QStringLiteral("keyup"), QStringLiteral("4")}));
    QVERIFY(xdotool({QStringLiteral("keyup"), QStringLiteral("ctrl+super")}));
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+super+4")}));
    QTRY_COMPARE(rig.captures, 2);
}

QTEST_MAIN(X11HotKeysTest)
#include "tst_x11hotkeys.moc"
