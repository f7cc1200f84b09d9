#include "capture/GlobalHotKeyManager.h"

#include "capture/ShortcutRecorderModel.h"

#include <QPointer>

namespace tessaline {

GlobalHotKeyManager::GlobalHotKeyManager(std::unique_ptr<HotKeySystem> system, QObject *parent)
    : QObject(parent)
    , m_system(std::move(system))
{
    if (!m_system)
        return;
    m_system->setBindingHandler(
        [this](const QList<HotKeyID> &refused, HotKeyStatus status) { bindingAnswered(refused, status); });
}

void GlobalHotKeyManager::bindingAnswered(const QList<HotKeyID> &refused, HotKeyStatus status)
{
    // Told as a registration that failed on the first action it reached,
    // the way a refusal at registering is.
    std::optional<GlobalHotKeyAction> first;
    for (const HotKeyID &id : refused) {
        first = id.signature == signature ? globalHotKeyActionFromRawValue(id.id) : std::nullopt;
        if (first)
            break;
    }
    if (!first) {
        m_boundConfiguration = m_registeredConfiguration;
        return;
    }
    // Registering had said yes, so the caller kept the new pair; the keys
    // the desktop gave before come back, as after a refusal at registering.
    const Handler captureHandler = m_handlers.value(GlobalHotKeyAction::captureRegion);
    const Handler quickThoughtHandler = m_handlers.value(GlobalHotKeyAction::quickThought);
    if (m_boundConfiguration && m_registeredConfiguration && *m_boundConfiguration != *m_registeredConfiguration
        && captureHandler && quickThoughtHandler) {
        // Best effort: the desktop bound this pair a moment ago, and the
        // alert below is raised whatever it answers now.
        (void)registerConfiguration(*m_boundConfiguration, captureHandler, quickThoughtHandler);
    }
    Q_EMIT registrationRefused(CaptureSubsystemError::hotKeyRegistrationFailed(*first, status));
}

GlobalHotKeyManager::~GlobalHotKeyManager()
{
    if (m_system)
        m_system->setBindingHandler(nullptr);
}

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

Expected<void, CaptureSubsystemError> GlobalHotKeyManager::registerHotKey(GlobalHotKeyAction action,
                                                                         const GlobalShortcut &shortcut)
{
    HotKeyReference reference = 0;
    const HotKeyStatus status = m_system->registerHotKey(
        HotKeyRequest{shortcut.keyCode, shortcut.modifiers.carbonFlags(), HotKeyID{signature, quint32(action)},
                      globalHotKeyActionName(action)},
        &reference);
    if (status != HotKeyStatus::registered || reference == 0)
        return unexpected(CaptureSubsystemError::hotKeyRegistrationFailed(action, status));
    m_hotKeyReferences.insert(action, reference);
    return {};
}

Expected<void, CaptureSubsystemError> GlobalHotKeyManager::registerConfiguration(
    const GlobalShortcutConfiguration &configuration, Handler captureHandler, Handler quickThoughtHandler)
{
    if (!configuration.isValid())
        return unexpected(CaptureSubsystemError::invalidShortcutConfiguration());
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
            m_registeredConfiguration = m_boundConfiguration = configuration;
            return {};
        }
        if (status != HotKeyStatus::registered) {
            m_handlers.clear();
            return unexpected(CaptureSubsystemError::hotKeyRegistrationFailed(GlobalHotKeyAction::captureRegion, status));
        }
        m_handlerInstalled = true;
        if (configuration.capture) {
            if (auto registered = registerHotKey(GlobalHotKeyAction::captureRegion, *configuration.capture); !registered) {
                unregisterAll();
                return registered;
            }
        }
        if (configuration.quickThought) {
            if (auto registered = registerHotKey(GlobalHotKeyAction::quickThought, *configuration.quickThought); !registered) {
                unregisterAll();
                return registered;
            }
        }
    }
    m_registeredConfiguration = configuration;
    if (!m_system || !m_system->bindsLater())
        m_boundConfiguration = configuration;
    return {};
}

Expected<void, CaptureSubsystemError> GlobalHotKeyManager::update(const GlobalShortcutConfiguration &configuration)
{
    if (!m_registeredConfiguration || !m_handlers.contains(GlobalHotKeyAction::captureRegion)
        || !m_handlers.contains(GlobalHotKeyAction::quickThought))
        return unexpected(CaptureSubsystemError::hotKeysNotRegistered());
    if (configuration == *m_registeredConfiguration)
        return {};
    const GlobalShortcutConfiguration previous = *m_registeredConfiguration;
    const Handler captureHandler = m_handlers.value(GlobalHotKeyAction::captureRegion);
    const Handler quickThoughtHandler = m_handlers.value(GlobalHotKeyAction::quickThought);
    auto registered = registerConfiguration(configuration, captureHandler, quickThoughtHandler);
    if (!registered) {
        // Best effort: when the old pair cannot come back either, nothing
        // stays registered and the caller sees that; the failure to report
        // is the one of the keys asked for.
        (void)registerConfiguration(previous, captureHandler, quickThoughtHandler);
    }
    return registered;
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
    // While a shortcut is being recorded its keys are the recorder's, as
    // when it holds the keyboard on X11: the combination is judged there
    // (taken by the other action, or kept) rather than running the action.
    if (ShortcutRecorderModel *recorder = ShortcutRecorderModel::recording(); recorder && m_registeredConfiguration) {
        const std::optional<GlobalShortcut> pressed = *action == GlobalHotKeyAction::captureRegion
            ? m_registeredConfiguration->capture
            : m_registeredConfiguration->quickThought;
        if (pressed) {
            recorder->handleKey(pressed->keyCode, pressed->modifiers);
            return;
        }
    }
    const Handler handler = m_handlers.value(*action);
    if (handler)
        handler();
}

} // namespace tessaline
