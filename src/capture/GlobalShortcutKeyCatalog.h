#pragma once

#include "capture/GlobalShortcutConfiguration.h"

#include <QString>

#include <optional>

namespace tessaline {

// Which key codes can be global shortcuts, how they are shown, and which
// combinations the desktop keeps for itself.
namespace GlobalShortcutKeyCatalog {

struct Descriptor
{
    QString displayName;
    // The character a menu item can use for the key; none for keys without.
    std::optional<QString> keyEquivalent;

    friend bool operator==(const Descriptor &, const Descriptor &) = default;
};

std::optional<Descriptor> descriptor(quint32 keyCode);

// The reason text when the exact pair is kept by the desktop; extra
// modifiers make a combination free.
std::optional<QString> reservedSystemShortcutReason(quint32 keyCode, GlobalShortcutModifiers modifiers);

} // namespace GlobalShortcutKeyCatalog
} // namespace tessaline
