#include "platform/KeyPositions.h"

#include <QHash>

namespace tessaline::KeyPositions {

namespace {

struct Key
{
    quint16 evdev = 0; // 0: no such key on a PC keyboard
    const char *keysym = nullptr;
};

// Indexed by stored key code.
constexpr Key keys[127] = {
    /*  0 */ {30, "a"}, {31, "s"}, {32, "d"}, {33, "f"}, {35, "h"},
    /*  5 */ {34, "g"}, {44, "z"}, {45, "x"}, {46, "c"}, {47, "v"},
    /* 10: the ISO key beside the left Shift */ {86, "less"}, {48, "b"}, {16, "q"}, {17, "w"}, {18, "e"},
    /* 15 */ {19, "r"}, {21, "y"}, {20, "t"}, {2, "1"}, {3, "2"},
    /* 20 */ {4, "3"}, {5, "4"}, {7, "6"}, {6, "5"}, {13, "equal"},
    /* 25 */ {10, "9"}, {8, "7"}, {12, "minus"}, {9, "8"}, {11, "0"},
    /* 30 */ {27, "bracketright"}, {24, "o"}, {22, "u"}, {26, "bracketleft"}, {23, "i"},
    /* 35 */ {25, "p"}, {28, "Return"}, {38, "l"}, {36, "j"}, {40, "apostrophe"},
    /* 40 */ {37, "k"}, {39, "semicolon"}, {43, "backslash"}, {51, "comma"}, {53, "slash"},
    /* 45 */ {49, "n"}, {50, "m"}, {52, "period"}, {15, "Tab"}, {57, "space"},
    /* 50 */ {41, "grave"}, {14, "BackSpace"}, {}, {1, "Escape"}, {},
    /* 55-63: modifier keys */ {}, {}, {}, {}, {}, {}, {}, {}, {},
    /* 64 */ {187, "F17"}, {83, "KP_Decimal"}, {}, {55, "KP_Multiply"}, {},
    /* 69 */ {78, "KP_Add"}, {}, {}, {}, {}, {},
    /* 75 */ {98, "KP_Divide"}, {96, "KP_Enter"}, {}, {74, "KP_Subtract"}, {188, "F18"},
    /* 80 */ {189, "F19"}, {117, "KP_Equal"}, {82, "KP_0"}, {79, "KP_1"}, {80, "KP_2"},
    /* 85 */ {81, "KP_3"}, {75, "KP_4"}, {76, "KP_5"}, {77, "KP_6"}, {71, "KP_7"},
    /* 90 */ {190, "F20"}, {72, "KP_8"}, {73, "KP_9"}, {}, {},
    /* 95 */ {}, {63, "F5"}, {64, "F6"}, {65, "F7"}, {61, "F3"},
    /* 100 */ {66, "F8"}, {67, "F9"}, {}, {87, "F11"}, {},
    /* 105: Print, Scroll Lock, Pause and Insert stand where the other
       keyboard has keys a PC keyboard lacks */
    {99, "Print"}, {186, "F16"}, {70, "Scroll_Lock"}, {}, {68, "F10"},
    /* 110 */ {}, {88, "F12"}, {}, {119, "Pause"}, {110, "Insert"},
    /* 115 */ {102, "Home"}, {104, "Prior"}, {111, "Delete"}, {62, "F4"}, {107, "End"},
    /* 120 */ {60, "F2"}, {109, "Next"}, {59, "F1"}, {105, "Left"}, {106, "Right"},
    /* 125 */ {108, "Down"}, {103, "Up"},
};

constexpr quint32 xkbOffset = 8;

} // namespace

std::optional<quint32> xkbKeyCode(quint32 storedKeyCode)
{
    if (storedKeyCode >= std::size(keys) || keys[storedKeyCode].evdev == 0)
        return std::nullopt;
    return keys[storedKeyCode].evdev + xkbOffset;
}

std::optional<quint32> storedKeyCode(quint32 xkbKeyCode)
{
    static const QHash<quint32, quint32> byXkb = [] {
        QHash<quint32, quint32> table;
        for (quint32 code = 0; code < std::size(keys); ++code) {
            if (keys[code].evdev != 0)
                table.insert(keys[code].evdev + xkbOffset, code);
        }
        return table;
    }();
    const auto found = byXkb.constFind(xkbKeyCode);
    if (found == byXkb.constEnd())
        return std::nullopt;
    return *found;
}

QString keysymName(quint32 storedKeyCode)
{
    if (storedKeyCode >= std::size(keys) || !keys[storedKeyCode].keysym)
        return {};
    return QString::fromLatin1(keys[storedKeyCode].keysym);
}

} // namespace tessaline::KeyPositions
