#pragma once

#include "capture/CaptureSubsystemError.h"
#include "capture/GlobalShortcutConfiguration.h"
#include "platform/HotKeySystem.h"

#include <QHash>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>

namespace tessaline {

// Turns the shortcut pair into system-wide hot keys and runs the handler of
// the pressed one on the main thread. A failed change puts the previous pair
// back, so the user keeps working shortcuts. Where the desktop offers apps no
// global shortcuts, a configuration still registers (nothing to fire it but
// the app's commands, which the user binds in the desktop's settings) and
// globalShortcutsOffered() says so.
class GlobalHotKeyManager : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<void()>;

    // Hot keys carry this signature so foreign events are passed on.
    static constexpr quint32 signature = 0x534E4950; // 'SNIP'

    explicit GlobalHotKeyManager(std::unique_ptr<HotKeySystem> system, QObject *parent = nullptr);
    ~GlobalHotKeyManager() override;

    // Replaces whatever is registered. Errors: invalidShortcutConfiguration
    // (nothing changed) or hotKeyRegistrationFailed (nothing registered).
    Expected<void, CaptureSubsystemError> registerConfiguration(const GlobalShortcutConfiguration &configuration,
                                                               Handler captureHandler, Handler quickThoughtHandler);
    // Moves the registration to a new pair with the same handlers; on
    // failure registers the previous pair again.
    Expected<void, CaptureSubsystemError> update(const GlobalShortcutConfiguration &configuration);
    void unregisterAll();

    std::optional<GlobalShortcutConfiguration> registeredConfiguration() const { return m_registeredConfiguration; }
    // False once the desktop has said it gives apps no global shortcuts.
    bool globalShortcutsOffered() const { return m_offered; }
    // The stored key code of the key a key event's scan code names by its
    // place, when the platform can tell.
    std::optional<quint32> keyCodeAtScanCode(quint32 nativeScanCode) const;

    // The platform callback: hands a press to the main thread and answers
    // at once whether it was ours.
    bool handleEvent(const HotKeyEvent &event);
    void handleHotKey(quint32 id);

Q_SIGNALS:
    // The desktop turned down a hot key after registering had succeeded
    // (it binds them later, as the Wayland portal does). The pair it bound
    // before, if any, is registered again by then.
    void registrationRefused(const CaptureSubsystemError &error);

private:
    // The desktop's answer to a binding it made after registering.
    void bindingAnswered(const QList<HotKeyID> &refused, HotKeyStatus status);
    Expected<void, CaptureSubsystemError> registerHotKey(GlobalHotKeyAction action, const GlobalShortcut &shortcut);

    std::unique_ptr<HotKeySystem> m_system;
    bool m_handlerInstalled = false;
    bool m_offered = true;
    QHash<GlobalHotKeyAction, HotKeyReference> m_hotKeyReferences;
    QHash<GlobalHotKeyAction, Handler> m_handlers;
    std::optional<GlobalShortcutConfiguration> m_registeredConfiguration;
    // The pair the desktop last said it bound: what a later refusal goes
    // back to.
    std::optional<GlobalShortcutConfiguration> m_boundConfiguration;
};

inline size_t qHash(GlobalHotKeyAction action, size_t seed = 0)
{
    return ::qHash(quint32(action), seed);
}

} // namespace tessaline
