#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace tessaline {

// Identity of one system-wide hot key: a four-character signature naming
// the owner and a number naming the action.
struct HotKeyID
{
    quint32 signature = 0;
    quint32 id = 0;
};

// One press of a registered hot key, as the platform hands it over. hasID is
// false when the event carried no readable identity.
struct HotKeyEvent
{
    bool hasID = false;
    HotKeyID hotKeyID;
};

using HotKeyReference = quint64;

// How installing the handler or registering one hot key ended.
enum class HotKeyStatus {
    registered,
    // Another application, or the desktop itself, holds the combination.
    alreadyTaken,
    // The keyboard has no key at the stored key's place.
    unsupportedKey,
    // Neither X11 nor Wayland runs, so there is nothing to register with.
    noWindowSystem,
    // The desktop offers applications no global shortcuts; the user binds
    // the app's commands in the desktop's keyboard settings instead.
    notOffered,
    // The desktop was asked and said no.
    refused,
};

// The bits of the stored modifiers' platform-neutral mask, and the keys they
// stand for here.
namespace HotKeyModifier {
constexpr quint32 command = 0x100; // Ctrl
constexpr quint32 shift = 0x200;
constexpr quint32 option = 0x800;  // Alt
constexpr quint32 control = 0x1000; // Super
} // namespace HotKeyModifier

// One hot key to register. name is the action as the user knows it; desktops
// that list applications' shortcuts show it.
struct HotKeyRequest
{
    quint32 keyCode = 0;
    quint32 modifierFlags = 0;
    HotKeyID id;
    QString name;
};

// The platform's system-wide hot-key service, modelled on a simple
// register/unregister API so the manager above it can be tested with a fake.
// Key codes are the app's stored key codes (GlobalShortcutKeyCatalog), which
// name keys by their place on the keyboard; modifier flags are the stored
// modifiers' platform-neutral mask (GlobalShortcutModifiers::carbonFlags).
class HotKeySystem
{
public:
    // Answers whether the press was one of ours.
    using EventHandler = std::function<bool(const HotKeyEvent &)>;

    virtual ~HotKeySystem() = default;

    virtual HotKeyStatus installEventHandler(EventHandler handler) = 0;
    virtual void removeEventHandler() = 0;
    // On success returns registered and sets reference.
    virtual HotKeyStatus registerHotKey(const HotKeyRequest &request, HotKeyReference *reference) = 0;
    virtual void unregisterHotKey(HotKeyReference reference) = 0;

    // Whether the desktop binds hot keys some time after registering
    // answered, and may refuse them then.
    virtual bool bindsLater() const { return false; }
    // Such a desktop reports here each time it has bound what was
    // registered: the ones it did not bind (none when it bound them all),
    // with why: alreadyTaken where it kept the key from us (another
    // shortcut holds it), refused where it turned the binding down. Where
    // registering answers for good at once, this is never called.
    using BindingHandler = std::function<void(const QList<HotKeyID> &refused, HotKeyStatus status)>;
    virtual void setBindingHandler(BindingHandler handler) { Q_UNUSED(handler); }

    // The stored key code of the key that a key event's native scan code
    // names by its place; none when this system cannot tell keys by place.
    virtual std::optional<quint32> keyCodeAtScanCode(quint32 nativeScanCode) const = 0;
};

} // namespace tessaline
