#pragma once

#include <QString>

#include <optional>

// Where the stored key codes sit on a PC keyboard. The stored codes name keys
// by their place, and so do Linux input (evdev) codes; X11 key events and
// Qt's native scan codes on X11 and Wayland carry XKB key codes, which are
// evdev codes offset by 8.
namespace tessaline::KeyPositions {

// The XKB key code of the key at a stored key code's place; none where a PC
// keyboard has no such key.
std::optional<quint32> xkbKeyCode(quint32 storedKeyCode);

// The stored key code of the key at an XKB key code's place, if any.
std::optional<quint32> storedKeyCode(quint32 xkbKeyCode);

// The key's XKB keysym name on a US layout ("4", "n", "F9", "KP_Add"), the
// name desktops' shortcut settings use; empty where there is no such key.
QString keysymName(quint32 storedKeyCode);

} // namespace tessaline::KeyPositions
