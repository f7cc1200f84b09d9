#pragma once

#include <QtGlobal>

#include <functional>

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

// Status codes shared by every implementation.
namespace HotKeyStatus {
constexpr qint32 noError = 0;
constexpr qint32 eventNotHandled = -9874;
// The combination is already taken by another application.
constexpr qint32 hotKeyExists = -9878;
constexpr qint32 parameterError = -50;
// No window-system connection to register with.
constexpr qint32 noConnection = -9870;
}

// The platform's system-wide hot-key service, modelled on a simple
// register/unregister API so the manager above it can be tested with a fake.
// Key codes are the app's stored key codes (GlobalShortcutKeyCatalog);
// modifier flags are the stored modifiers' platform-neutral mask
// (GlobalShortcutModifiers::carbonFlags).
class HotKeySystem
{
public:
    // Returns HotKeyStatus::noError or eventNotHandled from the handler.
    using EventHandler = std::function<qint32(const HotKeyEvent &)>;

    virtual ~HotKeySystem() = default;

    virtual qint32 installEventHandler(EventHandler handler) = 0;
    virtual void removeEventHandler() = 0;
    // On success returns noError and sets reference.
    virtual qint32 registerHotKey(quint32 keyCode, quint32 modifierFlags, HotKeyID id, HotKeyReference *reference) = 0;
    virtual void unregisterHotKey(HotKeyReference reference) = 0;
};

} // namespace tessaline
