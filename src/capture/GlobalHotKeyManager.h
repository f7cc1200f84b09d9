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
// back, so the user keeps working shortcuts.
class GlobalHotKeyManager : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<void()>;

    // Hot keys carry this signature so foreign events are passed on.
    static constexpr quint32 signature = 0x534E4950; // 'SNIP'

    // The platform's hot keys (X11); none when there is no window system.
    static std::unique_ptr<HotKeySystem> platformHotKeySystem();

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

    // The platform callback: hands a press to the main thread and answers
    // at once.
    qint32 handleEvent(const HotKeyEvent &event);
    void handleHotKey(quint32 id);

private:
    Expected<void, CaptureSubsystemError> registerHotKey(GlobalHotKeyAction action, const GlobalShortcut &shortcut);

    std::unique_ptr<HotKeySystem> m_system;
    bool m_handlerInstalled = false;
    QHash<GlobalHotKeyAction, HotKeyReference> m_hotKeyReferences;
    QHash<GlobalHotKeyAction, Handler> m_handlers;
    std::optional<GlobalShortcutConfiguration> m_registeredConfiguration;
};

inline size_t qHash(GlobalHotKeyAction action, size_t seed = 0)
{
    return ::qHash(quint32(action), seed);
}

} // namespace tessaline
