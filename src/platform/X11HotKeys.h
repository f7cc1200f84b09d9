#pragma once

#include "platform/HotKeySystem.h"
#include "platform/X11Connection.h"

#include <QAbstractNativeEventFilter>
#include <QHash>
#include <QObject>
#include <QSet>

#include <memory>
#include <optional>

namespace tessaline {

// System-wide hot keys on X11: passive key grabs on the root window, each
// combination grabbed four times so Caps Lock and Num Lock don't stop it
// from firing. Presses arrive through a native event filter; key releases
// and auto-repeated presses never reach the handler.
class X11HotKeys : public HotKeySystem, public QAbstractNativeEventFilter
{
public:
    // None when the application does not run on X11.
    static std::unique_ptr<X11HotKeys> create();
    ~X11HotKeys() override;

    HotKeyStatus installEventHandler(EventHandler handler) override;
    void removeEventHandler() override;
    HotKeyStatus registerHotKey(const HotKeyRequest &request, HotKeyReference *reference) override;
    void unregisterHotKey(HotKeyReference reference) override;
    std::optional<quint32> keyCodeAtScanCode(quint32 nativeScanCode) const override;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

    // The X key code at the position of a stored key code.
    static std::optional<quint8> xKeyCode(quint32 keyCode);

    struct ModifierMasks
    {
        quint16 alt = XCB_MOD_MASK_1;
        quint16 super = XCB_MOD_MASK_4;
        quint16 numLock = XCB_MOD_MASK_2;
    };
    ModifierMasks modifierMasks() const;
    quint16 xModifiers(quint32 modifierFlags, const ModifierMasks &masks) const;

private:
    explicit X11HotKeys(const X11Connection &connection);

    struct Grab
    {
        quint8 keyCode = 0;
        quint16 modifiers = 0;
        quint16 numLock = 0;
        HotKeyID id;
    };
    QList<quint16> lockVariants(quint16 numLock) const;
    void ungrab(const Grab &grab);
    void watchForRelease();
    bool isKeyDown(quint8 keyCode) const;

    X11Connection m_x11;
    EventHandler m_handler;
    bool m_filterInstalled = false;
    HotKeyReference m_nextReference = 1;
    QHash<HotKeyReference, Grab> m_grabs;
    QSet<quint8> m_keysDown;
    QHash<quint8, quint32> m_lastRelease;
    // Owns the release checks; gone with us, so no check outlives us.
    std::unique_ptr<QObject> m_releaseWatch;
    bool m_watchingRelease = false;
};

} // namespace tessaline
