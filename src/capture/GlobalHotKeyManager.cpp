#include "capture/GlobalHotKeyManager.h"

#include <QPointer>

namespace tessaline {

GlobalHotKeyManager::GlobalHotKeyManager(std::unique_ptr<HotKeySystem> system, QObject *parent)
    : QObject(parent)
    , m_system(std::move(system))
{
}

GlobalHotKeyManager::~GlobalHotKeyManager() = default;

std::optional<quint32> GlobalHotKeyManager::keyCodeAtScanCode(quint32 nativeScanCode) const
{
    if (!m_system || nativeScanCode == 0)
        return std::nullopt;
    return m_system->keyCodeAtScanCode(nativeScanCode);
}

void GlobalHotKeyManager::unregisterAll()
{
    if (m_system) {
        for (const HotKeyReference reference : std::as_const(m_hotKeyReferences))
            m_system->unregisterHotKey(reference);
    }
    m_hotKeyReferences.clear();
    m_handlers.clear();
    m_registeredConfiguration.reset();
    if (m_handlerInstalled) {
        if (m_system)
            m_system->removeEventHandler();
        m_handlerInstalled = false;
    }
}

std::optional<CaptureSubsystemError> GlobalHotKeyManager::registerHotKey(GlobalHotKeyAction action,
                                                                         const GlobalShortcut &shortcut)
{
    HotKeyReference reference = 0;
    const HotKeyStatus status = m_system->registerHotKey(
        HotKeyRequest{shortcut.keyCode, shortcut.modifiers.carbonFlags(), HotKeyID{signature, quint32(action)},
                      globalHotKeyActionName(action)},
        &reference);
    if (status != HotKeyStatus::registered || reference == 0)
        return CaptureSubsystemError::hotKeyRegistrationFailed(action, status);
    m_hotKeyReferences.insert(action, reference);
    return std::nullopt;
}

std::optional<CaptureSubsystemError> GlobalHotKeyManager::registerConfiguration(
    const GlobalShortcutConfiguration &configuration, Handler captureHandler, Handler quickThoughtHandler)
{
    if (!configuration.isValid())
        return CaptureSubsystemError::invalidShortcutConfiguration();
    unregisterAll();
    m_handlers.insert(GlobalHotKeyAction::captureRegion, std::move(captureHandler));
    m_handlers.insert(GlobalHotKeyAction::quickThought, std::move(quickThoughtHandler));
    if (configuration.capture || configuration.quickThought) {
        const HotKeyStatus status = m_system ? m_system->installEventHandler([this](const HotKeyEvent &event) {
            return handleEvent(event);
        })
                                             : HotKeyStatus::noWindowSystem;
        if (status == HotKeyStatus::notOffered) {
            // Not a failure of this configuration: no configuration could
            // be set here, and the app's commands stand in for the keys.
            m_offered = false;
            m_registeredConfiguration = configuration;
            return std::nullopt;
        }
        if (status != HotKeyStatus::registered) {
            m_handlers.clear();
            return CaptureSubsystemError::hotKeyRegistrationFailed(GlobalHotKeyAction::captureRegion, status);
        }
        m_handlerInstalled = true;
        if (configuration.capture) {
            if (auto error = registerHotKey(GlobalHotKeyAction::captureRegion, *configuration.capture)) {
                unregisterAll();
                return error;
            }
        }
        if (configuration.quickThought) {
            if (auto error = registerHotKey(GlobalHotKeyAction::quickThought, *configuration.quickThought)) {
                unregisterAll();
                return error;
            }
        }
    }
    m_registeredConfiguration = configuration;
    return std::nullopt;
}

std::optional<CaptureSubsystemError> GlobalHotKeyManager::update(const GlobalShortcutConfiguration &configuration)
{
    if (!m_registeredConfiguration || !m_handlers.contains(GlobalHotKeyAction::captureRegion)
        || !m_handlers.contains(GlobalHotKeyAction::quickThought))
        return CaptureSubsystemError::hotKeysNotRegistered();
    if (configuration == *m_registeredConfiguration)
        return std::nullopt;
    const GlobalShortcutConfiguration previous = *m_registeredConfiguration;
    const Handler captureHandler = m_handlers.value(GlobalHotKeyAction::captureRegion);
    const Handler quickThoughtHandler = m_handlers.value(GlobalHotKeyAction::quickThought);
    if (auto error = registerConfiguration(configuration, captureHandler, quickThoughtHandler)) {
        // Best effort: when the old pair cannot come back either, nothing
        // stays registered and the caller sees that.
        registerConfiguration(previous, captureHandler, quickThoughtHandler);
        return error;
    }
    return std::nullopt;
}

bool GlobalHotKeyManager::handleEvent(const HotKeyEvent &event)
{
    if (!event.hasID || event.hotKeyID.signature != signature)
        return false;
    const quint32 id = event.hotKeyID.id;
    // Handlers run later on the main thread, never inside the platform's
    // event delivery.
    QMetaObject::invokeMethod(
        this, [this, id] { handleHotKey(id); }, Qt::QueuedConnection);
    return true;
}

void GlobalHotKeyManager::handleHotKey(quint32 id)
{
    const auto action = globalHotKeyActionFromRawValue(id);
    if (!action)
        return;
    const Handler handler = m_handlers.value(*action);
    if (handler)
        handler();
}

} // namespace tessaline
