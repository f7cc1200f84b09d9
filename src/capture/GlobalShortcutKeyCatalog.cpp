#include "capture/GlobalShortcutKeyCatalog.h"

#include "platform/PlatformTexts.h"

#include <array>

namespace tessaline::GlobalShortcutKeyCatalog {

namespace {

// Display names indexed by key code; empty where the code is not a key a
// shortcut can use (modifiers, Caps Lock, Fn, volume keys...).
const std::array<QString, 127> &displayNames()
{
    static const std::array<QString, 127> names = [] {
        std::array<QString, 127> n;
        const char16_t *table[127] = {
            u"A", u"S", u"D", u"F", u"H", u"G", u"Z", u"X", u"C", u"V",                 // 0-9
            u"\u00A7", u"B", u"Q", u"W", u"E", u"R", u"Y", u"T", u"1", u"2",            // 10-19
            u"3", u"4", u"6", u"5", u"=", u"9", u"7", u"\u2212", u"8", u"0",            // 20-29
            u"]", u"O", u"U", u"[", u"I", u"P", u"\u21A9", u"L", u"J", u"'",            // 30-39
            u"K", u";", u"\\", u",", u"/", u"N", u"M", u".", u"\u21E5", u"Space",       // 40-49
            u"`", u"\u232B", nullptr, u"\u238B", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, // 50-59
            nullptr, nullptr, nullptr, nullptr, u"F17", u"Keypad .", nullptr, u"Keypad \u00D7", nullptr, u"Keypad +", // 60-69
            nullptr, nullptr, nullptr, nullptr, nullptr, u"Keypad \u00F7", u"\u2324", nullptr, u"Keypad \u2212", u"F18", // 70-79
            u"F19", u"Keypad =", u"Keypad 0", u"Keypad 1", u"Keypad 2", u"Keypad 3", u"Keypad 4", u"Keypad 5", u"Keypad 6", u"Keypad 7", // 80-89
            u"F20", u"Keypad 8", u"Keypad 9", nullptr, nullptr, nullptr, u"F5", u"F6", u"F7", u"F3", // 90-99
            u"F8", u"F9", nullptr, u"F11", nullptr, nullptr, u"F16", nullptr, nullptr, u"F10", // 100-109
            nullptr, u"F12", nullptr, nullptr, nullptr, u"Home", u"Page Up", u"\u2326", u"F4", u"End", // 110-119
            u"F2", u"Page Down", u"F1", u"\u2190", u"\u2192", u"\u2193", u"\u2191",     // 120-126
        };
        for (int i = 0; i < 127; ++i) {
            if (table[i])
                n[i] = QString::fromUtf16(table[i]);
        }
        // These positions carry other labels on PC keyboards, and the hot-key
        // layer maps them to those keys.
        n[105] = PlatformTexts::printKeyName();
        n[107] = PlatformTexts::scrollLockKeyName();
        n[113] = PlatformTexts::pauseKeyName();
        n[114] = PlatformTexts::insertKeyName();
        return n;
    }();
    return names;
}

std::optional<QString> keyEquivalentFor(quint32 keyCode, const QString &displayName)
{
    if (keyCode > 50)
        return std::nullopt;
    switch (keyCode) {
    case 27:
        return QStringLiteral("-");
    case 36:
        return QStringLiteral("\r");
    case 48:
        return QStringLiteral("\t");
    case 49:
        return QStringLiteral(" ");
    default:
        return displayName.toLower();
    }
}

struct Reserved
{
    quint32 keyCode;
    quint8 modifiers;
    const char *reason;
};

constexpr quint8 ctrl = GlobalShortcutModifiers::commandBit;
constexpr quint8 alt = GlobalShortcutModifiers::optionBit;
constexpr quint8 super = GlobalShortcutModifiers::controlBit;
constexpr quint8 shift = GlobalShortcutModifiers::shiftBit;

// The combinations Linux desktops keep for themselves. Key codes name key
// positions: 48 Tab, 49 Space, 50 grave accent, 37 L, 12 Q, 117 Delete,
// 105 Print, 116/121 Page Up/Down, 123-126 arrows, function keys by their
// own codes.
constexpr Reserved reservedTable[] = {
    {48, alt, "switching windows"},
    {48, alt | shift, "switching windows"},
    {48, super, "switching apps"},
    {48, super | shift, "switching apps"},
    {50, alt, "switching windows"},
    {50, alt | shift, "switching windows"},
    {49, super, "switching input sources"},
    {49, alt, "the window menu"},
    {118, alt, "closing windows"},
    {12, ctrl, "Quit"},
    {37, super, "locking the screen"},
    {37, ctrl | alt, "locking the screen"},
    {117, ctrl | alt, "logging out"},
    {123, ctrl | alt, "switching workspaces"},
    {124, ctrl | alt, "switching workspaces"},
    {125, ctrl | alt, "switching workspaces"},
    {126, ctrl | alt, "switching workspaces"},
    {116, super, "switching workspaces"},
    {121, super, "switching workspaces"},
    {105, ctrl, "screenshots"},
    {105, alt, "screenshots"},
    {105, ctrl | shift, "screenshots"},
    {105, ctrl | alt, "screenshots"},
    {105, alt | shift, "screenshots"},
    {122, ctrl | alt, "switching to a text console"},
    {120, ctrl | alt, "switching to a text console"},
    {99, ctrl | alt, "switching to a text console"},
    {118, ctrl | alt, "switching to a text console"},
    {96, ctrl | alt, "switching to a text console"},
    {97, ctrl | alt, "switching to a text console"},
    {98, ctrl | alt, "switching to a text console"},
    {100, ctrl | alt, "switching to a text console"},
    {101, ctrl | alt, "switching to a text console"},
    {109, ctrl | alt, "switching to a text console"},
    {103, ctrl | alt, "switching to a text console"},
    {111, ctrl | alt, "switching to a text console"},
};

} // namespace

std::optional<Descriptor> descriptor(quint32 keyCode)
{
    if (keyCode > 126)
        return std::nullopt;
    const QString &name = displayNames()[keyCode];
    if (name.isEmpty())
        return std::nullopt;
    return Descriptor{name, keyEquivalentFor(keyCode, name)};
}

std::optional<QString> reservedSystemShortcutReason(quint32 keyCode, GlobalShortcutModifiers modifiers)
{
    for (const Reserved &entry : reservedTable) {
        if (entry.keyCode == keyCode && entry.modifiers == modifiers.rawValue())
            return QString::fromLatin1(entry.reason);
    }
    return std::nullopt;
}

} // namespace tessaline::GlobalShortcutKeyCatalog
