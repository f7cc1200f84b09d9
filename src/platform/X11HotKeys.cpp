#include "platform/X11HotKeys.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdlib>

namespace tessaline {

namespace {

// Stored key code -> Linux evdev key code of the key in the same place on
// the keyboard; 0 where there is none.
constexpr quint16 evdevCodes[127] = {
    /*  0 A */ 30, /*  1 S */ 31, /*  2 D */ 32, /*  3 F */ 33, /*  4 H */ 35,
    /*  5 G */ 34, /*  6 Z */ 44, /*  7 X */ 45, /*  8 C */ 46, /*  9 V */ 47,
    /* 10 ISO key */ 86, /* 11 B */ 48, /* 12 Q */ 16, /* 13 W */ 17, /* 14 E */ 18,
    /* 15 R */ 19, /* 16 Y */ 21, /* 17 T */ 20, /* 18 1 */ 2, /* 19 2 */ 3,
    /* 20 3 */ 4, /* 21 4 */ 5, /* 22 6 */ 7, /* 23 5 */ 6, /* 24 = */ 13,
    /* 25 9 */ 10, /* 26 7 */ 8, /* 27 - */ 12, /* 28 8 */ 9, /* 29 0 */ 11,
    /* 30 ] */ 27, /* 31 O */ 24, /* 32 U */ 22, /* 33 [ */ 26, /* 34 I */ 23,
    /* 35 P */ 25, /* 36 Return */ 28, /* 37 L */ 38, /* 38 J */ 36, /* 39 ' */ 40,
    /* 40 K */ 37, /* 41 ; */ 39, /* 42 \ */ 43, /* 43 , */ 51, /* 44 / */ 53,
    /* 45 N */ 49, /* 46 M */ 50, /* 47 . */ 52, /* 48 Tab */ 15, /* 49 Space */ 57,
    /* 50 ` */ 41, /* 51 Backspace */ 14, /* 52 */ 0, /* 53 Escape */ 1, /* 54 */ 0,
    0, 0, 0, 0, 0, /* 55-59: modifiers */
    0, 0, 0, 0, /* 60-63: modifiers */
    /* 64 F17 */ 187, /* 65 KP . */ 83, /* 66 */ 0, /* 67 KP * */ 55, /* 68 */ 0,
    /* 69 KP + */ 78, /* 70 */ 0, 0, 0, 0, 0, /* 70-74 */
    /* 75 KP / */ 98, /* 76 KP Enter */ 96, /* 77 */ 0, /* 78 KP - */ 74, /* 79 F18 */ 188,
    /* 80 F19 */ 189, /* 81 KP = */ 117, /* 82 KP 0 */ 82, /* 83 KP 1 */ 79, /* 84 KP 2 */ 80,
    /* 85 KP 3 */ 81, /* 86 KP 4 */ 75, /* 87 KP 5 */ 76, /* 88 KP 6 */ 77, /* 89 KP 7 */ 71,
    /* 90 F20 */ 190, /* 91 KP 8 */ 72, /* 92 KP 9 */ 73, /* 93 */ 0, /* 94 */ 0,
    /* 95 */ 0, /* 96 F5 */ 63, /* 97 F6 */ 64, /* 98 F7 */ 65, /* 99 F3 */ 61,
    /* 100 F8 */ 66, /* 101 F9 */ 67, /* 102 */ 0, /* 103 F11 */ 87, /* 104 */ 0,
    /* 105 Print */ 99, /* 106 F16 */ 186, /* 107 Scroll Lock */ 70, /* 108 */ 0, /* 109 F10 */ 68,
    /* 110 */ 0, /* 111 F12 */ 88, /* 112 */ 0, /* 113 Pause */ 119, /* 114 Insert */ 110,
    /* 115 Home */ 102, /* 116 Page Up */ 104, /* 117 Delete */ 111, /* 118 F4 */ 62, /* 119 End */ 107,
    /* 120 F2 */ 60, /* 121 Page Down */ 109, /* 122 F1 */ 59, /* 123 Left */ 105, /* 124 Right */ 106,
    /* 125 Down */ 108, /* 126 Up */ 103,
};

constexpr quint8 evdevOffset = 8;
constexpr quint8 altKey = 56 + evdevOffset;
constexpr quint8 superKey = 125 + evdevOffset;
constexpr quint8 numLockKey = 69 + evdevOffset;

} // namespace

std::unique_ptr<X11HotKeys> X11HotKeys::create()
{
    const auto connection = X11Connection::application();
    if (!connection)
        return nullptr;
    return std::unique_ptr<X11HotKeys>(new X11HotKeys(*connection));
}

X11HotKeys::X11HotKeys(const X11Connection &connection)
    : m_x11(connection)
    , m_releaseWatch(std::make_unique<QObject>())
{
}

X11HotKeys::~X11HotKeys()
{
    for (const Grab &grab : std::as_const(m_grabs))
        ungrab(grab);
    xcb_flush(m_x11.connection);
    removeEventHandler();
}

std::optional<quint8> X11HotKeys::xKeyCode(quint32 keyCode)
{
    if (keyCode >= 127 || evdevCodes[keyCode] == 0)
        return std::nullopt;
    return quint8(evdevCodes[keyCode] + evdevOffset);
}

X11HotKeys::ModifierMasks X11HotKeys::modifierMasks() const
{
    ModifierMasks masks;
    xcb_get_modifier_mapping_reply_t *reply = xcb_get_modifier_mapping_reply(
        m_x11.connection, xcb_get_modifier_mapping(m_x11.connection), nullptr);
    if (!reply)
        return masks;
    const xcb_keycode_t *codes = xcb_get_modifier_mapping_keycodes(reply);
    const int perModifier = reply->keycodes_per_modifier;
    bool foundAlt = false;
    bool foundSuper = false;
    bool foundNumLock = false;
    // Modifiers 3 to 7 are Mod1 to Mod5; Shift, Lock and Control are fixed.
    for (int modifier = 3; modifier < 8; ++modifier) {
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t code = codes[modifier * perModifier + i];
            const quint16 mask = quint16(1 << modifier);
            if (code == altKey && !foundAlt) {
                masks.alt = mask;
                foundAlt = true;
            } else if (code == superKey && !foundSuper) {
                masks.super = mask;
                foundSuper = true;
            } else if (code == numLockKey && !foundNumLock) {
                masks.numLock = mask;
                foundNumLock = true;
            }
        }
    }
    std::free(reply);
    return masks;
}

quint16 X11HotKeys::xModifiers(quint32 modifierFlags, const ModifierMasks &masks) const
{
    quint16 result = 0;
    if (modifierFlags & commandFlag)
        result |= XCB_MOD_MASK_CONTROL;
    if (modifierFlags & shiftFlag)
        result |= XCB_MOD_MASK_SHIFT;
    if (modifierFlags & optionFlag)
        result |= masks.alt;
    if (modifierFlags & controlFlag)
        result |= masks.super;
    return result;
}

QList<quint16> X11HotKeys::lockVariants(quint16 numLock) const
{
    return {0, XCB_MOD_MASK_LOCK, numLock, quint16(XCB_MOD_MASK_LOCK | numLock)};
}

qint32 X11HotKeys::installEventHandler(EventHandler handler)
{
    if (!QCoreApplication::instance())
        return HotKeyStatus::noConnection;
    m_handler = std::move(handler);
    if (!m_filterInstalled) {
        QCoreApplication::instance()->installNativeEventFilter(this);
        m_filterInstalled = true;
    }
    return HotKeyStatus::noError;
}

void X11HotKeys::removeEventHandler()
{
    if (m_filterInstalled && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    m_filterInstalled = false;
    m_handler = nullptr;
    m_keysDown.clear();
}

qint32 X11HotKeys::registerHotKey(quint32 keyCode, quint32 modifierFlags, HotKeyID id, HotKeyReference *reference)
{
    const auto code = xKeyCode(keyCode);
    if (!code)
        return HotKeyStatus::parameterError;
    const ModifierMasks masks = modifierMasks();
    Grab grab{*code, xModifiers(modifierFlags, masks), masks.numLock, id};
    QList<xcb_void_cookie_t> cookies;
    for (const quint16 variant : lockVariants(grab.numLock)) {
        cookies.append(xcb_grab_key_checked(m_x11.connection, 0, m_x11.root, grab.modifiers | variant, grab.keyCode,
                                            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
    qint32 status = HotKeyStatus::noError;
    for (const xcb_void_cookie_t cookie : cookies) {
        if (xcb_generic_error_t *error = xcb_request_check(m_x11.connection, cookie)) {
            if (status == HotKeyStatus::noError)
                status = error->error_code == XCB_ACCESS ? HotKeyStatus::hotKeyExists : HotKeyStatus::parameterError;
            std::free(error);
        }
    }
    if (status != HotKeyStatus::noError) {
        // Ungrabbing only ever releases our own grabs, so the variants that
        // did succeed go and another client's stay.
        ungrab(grab);
        xcb_flush(m_x11.connection);
        return status;
    }
    const HotKeyReference ref = m_nextReference++;
    m_grabs.insert(ref, grab);
    if (reference)
        *reference = ref;
    return HotKeyStatus::noError;
}

void X11HotKeys::ungrab(const Grab &grab)
{
    for (const quint16 variant : lockVariants(grab.numLock))
        xcb_ungrab_key(m_x11.connection, grab.keyCode, m_x11.root, grab.modifiers | variant);
}

bool X11HotKeys::isKeyDown(quint8 keyCode) const
{
    xcb_query_keymap_reply_t *keymap = xcb_query_keymap_reply(m_x11.connection, xcb_query_keymap(m_x11.connection), nullptr);
    if (!keymap)
        return false;
    const bool down = keymap->keys[keyCode / 8] & (1 << (keyCode % 8));
    std::free(keymap);
    return down;
}

void X11HotKeys::watchForRelease()
{
    // The release of a hot key is ours only while our grab holds the
    // keyboard; when a window (the capture overlay, say) takes the keyboard
    // meanwhile and lets go before the key comes up, the release goes
    // elsewhere. Until a release is seen, the server's key map says when the
    // key is up, so the next press is not taken for auto-repeat.
    if (m_watchingRelease)
        return;
    m_watchingRelease = true;
    QTimer::singleShot(50, m_releaseWatch.get(), [this] {
        m_watchingRelease = false;
        QSet<quint8> stillDown;
        for (const quint8 keyCode : std::as_const(m_keysDown)) {
            if (isKeyDown(keyCode))
                stillDown.insert(keyCode);
        }
        m_keysDown = stillDown;
        if (!m_keysDown.isEmpty())
            watchForRelease();
    });
}

void X11HotKeys::unregisterHotKey(HotKeyReference reference)
{
    const auto it = m_grabs.find(reference);
    if (it == m_grabs.end())
        return;
    ungrab(*it);
    xcb_flush(m_x11.connection);
    m_keysDown.remove(it->keyCode);
    m_grabs.erase(it);
}

bool X11HotKeys::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t" || !message)
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    const quint8 type = event->response_type & 0x7f;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    const auto *key = reinterpret_cast<const xcb_key_press_event_t *>(event);
    if (key->root != m_x11.root)
        return false;

    const Grab *match = nullptr;
    for (const Grab &grab : std::as_const(m_grabs)) {
        const quint16 relevant = key->state & ~(XCB_MOD_MASK_LOCK | grab.numLock) & 0xff;
        if (grab.keyCode == key->detail && grab.modifiers == relevant) {
            match = &grab;
            break;
        }
    }
    if (type == XCB_KEY_RELEASE) {
        if (!m_keysDown.remove(key->detail))
            return false;
        m_lastRelease.insert(key->detail, key->time);
        return match != nullptr;
    }
    // Our grabs sit on the root window, so their presses name it as the
    // event window. A press delivered to one of our own windows (one that
    // holds the keyboard to record a shortcut, say) is that window's.
    if (!match || key->event != m_x11.root)
        return false;
    // A held key repeats: with detectable auto-repeat as further presses
    // without releases, otherwise as release/press pairs sharing a time.
    const bool repeated = m_keysDown.contains(key->detail)
        || m_lastRelease.value(key->detail, quint32(-1)) == key->time;
    m_keysDown.insert(key->detail);
    if (!repeated)
        watchForRelease();
    if (repeated || !m_handler)
        return true;
    const qint32 status = m_handler(HotKeyEvent{true, match->id});
    return status != HotKeyStatus::eventNotHandled;
}

} // namespace tessaline
