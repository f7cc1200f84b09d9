#include "platform/X11HotKeys.h"

#include "platform/KeyPositions.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdlib>

namespace tessaline {

namespace {

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
    if (const auto code = KeyPositions::xkbKeyCode(keyCode))
        return quint8(*code);
    return std::nullopt;
}

std::optional<quint32> X11HotKeys::keyCodeAtScanCode(quint32 nativeScanCode) const
{
    return KeyPositions::storedKeyCode(nativeScanCode);
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
    if (modifierFlags & HotKeyModifier::command)
        result |= XCB_MOD_MASK_CONTROL;
    if (modifierFlags & HotKeyModifier::shift)
        result |= XCB_MOD_MASK_SHIFT;
    if (modifierFlags & HotKeyModifier::option)
        result |= masks.alt;
    if (modifierFlags & HotKeyModifier::control)
        result |= masks.super;
    return result;
}

QList<quint16> X11HotKeys::lockVariants(quint16 numLock) const
{
    return {0, XCB_MOD_MASK_LOCK, numLock, quint16(XCB_MOD_MASK_LOCK | numLock)};
}

HotKeyStatus X11HotKeys::installEventHandler(EventHandler handler)
{
    if (!QCoreApplication::instance())
        return HotKeyStatus::noWindowSystem;
    m_handler = std::move(handler);
    if (!m_filterInstalled) {
        QCoreApplication::instance()->installNativeEventFilter(this);
        m_filterInstalled = true;
    }
    return HotKeyStatus::registered;
}

void X11HotKeys::removeEventHandler()
{
    if (m_filterInstalled && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    m_filterInstalled = false;
    m_handler = nullptr;
    m_keysDown.clear();
}

HotKeyStatus X11HotKeys::registerHotKey(const HotKeyRequest &request, HotKeyReference *reference)
{
    const auto code = xKeyCode(request.keyCode);
    if (!code)
        return HotKeyStatus::unsupportedKey;
    const ModifierMasks masks = modifierMasks();
    Grab grab{*code, xModifiers(request.modifierFlags, masks), masks.numLock, request.id};
    QList<xcb_void_cookie_t> cookies;
    for (const quint16 variant : lockVariants(grab.numLock)) {
        cookies.append(xcb_grab_key_checked(m_x11.connection, 0, m_x11.root, grab.modifiers | variant, grab.keyCode,
                                            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
    HotKeyStatus status = HotKeyStatus::registered;
    for (const xcb_void_cookie_t cookie : cookies) {
        if (xcb_generic_error_t *error = xcb_request_check(m_x11.connection, cookie)) {
            // BadAccess: another client grabs the combination. Anything else
            // means the server cannot grab that key at all.
            if (status == HotKeyStatus::registered)
                status = error->error_code == XCB_ACCESS ? HotKeyStatus::alreadyTaken : HotKeyStatus::unsupportedKey;
            std::free(error);
        }
    }
    if (status != HotKeyStatus::registered) {
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
    return HotKeyStatus::registered;
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
    return m_handler(HotKeyEvent{true, match->id});
}

} // namespace tessaline
