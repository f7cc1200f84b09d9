#pragma once

#include "capture/GlobalShortcutConfiguration.h"

#include <QString>

namespace tessaline {

class UserDefaults;

// Keeps the shortcut pair as JSON in the user defaults, rebuilds it once from
// the older per-shortcut settings, and otherwise falls back to the defaults.
class GlobalShortcutConfigurationStore
{
public:
    static QString configurationKey() { return QStringLiteral("tessaline.shortcuts.configuration.v2"); }
    static QString legacyCaptureKey() { return QStringLiteral("tessaline.shortcut.capture.v1"); }
    static QString legacyQuickThoughtKey() { return QStringLiteral("tessaline.shortcut.quickThought.v1"); }

    explicit GlobalShortcutConfigurationStore(UserDefaults &defaults) : m_defaults(defaults) {}

    // Never fails: stored, else migrated (and saved), else the defaults
    // (not saved).
    GlobalShortcutConfiguration load();
    // Drops an invalid configuration without writing.
    void save(const GlobalShortcutConfiguration &configuration);

    // The stored bytes' configuration when they hold a valid one.
    static std::optional<GlobalShortcutConfiguration> decode(const QByteArray &data);

    // The key code an older setting's key name stood for.
    static std::optional<quint32> legacyKeyCode(const QString &name);
    std::optional<GlobalShortcutConfiguration> migrateLegacy() const;

    UserDefaults &defaults() const { return m_defaults; }

private:
    UserDefaults &m_defaults;
};

} // namespace tessaline
