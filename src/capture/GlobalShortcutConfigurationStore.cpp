#include "capture/GlobalShortcutConfigurationStore.h"

#include "capture/GlobalShortcutKeyCatalog.h"
#include "platform/Json.h"
#include "platform/UserDefaults.h"

namespace tessaline {

GlobalShortcutConfiguration GlobalShortcutConfigurationStore::load()
{
    if (const auto data = m_defaults.data(configurationKey())) {
        if (const auto configuration = decode(*data))
            return *configuration;
    }
    if (const auto migrated = migrateLegacy()) {
        save(*migrated);
        return *migrated;
    }
    return GlobalShortcutConfiguration::defaults();
}

std::optional<GlobalShortcutConfiguration> GlobalShortcutConfigurationStore::decode(const QByteArray &data)
{
    const auto json = parseJson(data);
    if (!json)
        return std::nullopt;
    const auto configuration = GlobalShortcutConfiguration::fromJson(*json);
    if (!configuration || !configuration->isValid())
        return std::nullopt;
    return configuration;
}

void GlobalShortcutConfigurationStore::save(const GlobalShortcutConfiguration &configuration)
{
    if (!configuration.isValid())
        return;
    const auto bytes = writeJson(configuration.toJson());
    if (!bytes)
        return;
    m_defaults.setData(configurationKey(), *bytes);
}

std::optional<quint32> GlobalShortcutConfigurationStore::legacyKeyCode(const QString &name)
{
    static const std::pair<const char *, quint32> table[] = {
        {"three", 20}, {"four", 21}, {"five", 23}, {"six", 22}, {"i", 34}, {"j", 38}, {"n", 45}, {"t", 17},
    };
    for (const auto &[legacyName, code] : table) {
        if (name == QLatin1String(legacyName))
            return code;
    }
    return std::nullopt;
}

std::optional<GlobalShortcutConfiguration> GlobalShortcutConfigurationStore::migrateLegacy() const
{
    const auto captureName = m_defaults.string(legacyCaptureKey());
    const auto quickThoughtName = m_defaults.string(legacyQuickThoughtKey());
    if (!captureName || !quickThoughtName)
        return std::nullopt;
    const auto captureCode = legacyKeyCode(*captureName);
    const auto quickThoughtCode = legacyKeyCode(*quickThoughtName);
    if (!captureCode || !quickThoughtCode)
        return std::nullopt;
    // Older versions always used Control-Command.
    const auto modifiers = GlobalShortcutModifiers::control() | GlobalShortcutModifiers::command();
    for (const quint32 code : {*captureCode, *quickThoughtCode}) {
        if (!GlobalShortcutKeyCatalog::descriptor(code)
            || GlobalShortcutKeyCatalog::reservedSystemShortcutReason(code, modifiers))
            return std::nullopt;
    }
    if (*captureCode == *quickThoughtCode)
        return std::nullopt;
    return GlobalShortcutConfiguration{GlobalShortcut{*captureCode, modifiers}, GlobalShortcut{*quickThoughtCode, modifiers}};
}

} // namespace tessaline
