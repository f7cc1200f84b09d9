#pragma once

#include <QString>

// Every capture text that, on the other platform, named that system, its
// settings places or its keys, in the form this desktop uses. Kept together
// so a reader can see at a glance what was adapted.
namespace tessaline::CapturePlatformTexts {

// Who reserves a shortcut, and who may already own a hot key.
inline QString desktopName() { return QStringLiteral("the desktop"); }

// Where the user turns screen capture on.
inline QString privacySettingsPlace() { return QStringLiteral("your desktop's privacy settings"); }

// The three modifiers a global shortcut needs one of, named for the user.
inline QString requiredModifierNames() { return QStringLiteral("Ctrl, Alt, or Super"); }

// Key names, in display order: command, option, shift, control map to
// Ctrl, Alt, Shift, Super.
inline QString commandKeyName() { return QStringLiteral("Ctrl"); }
inline QString optionKeyName() { return QStringLiteral("Alt"); }
inline QString shiftKeyName() { return QStringLiteral("Shift"); }
inline QString controlKeyName() { return QStringLiteral("Super"); }

// The name the registration failure gives its status code.
inline QString statusLabel() { return QStringLiteral("status"); }

// Keys at positions whose labels differ on PC keyboards.
inline QString printKeyName() { return QStringLiteral("Print"); }
inline QString scrollLockKeyName() { return QStringLiteral("Scroll Lock"); }
inline QString pauseKeyName() { return QStringLiteral("Pause"); }
inline QString insertKeyName() { return QStringLiteral("Insert"); }

} // namespace tessaline::CapturePlatformTexts
