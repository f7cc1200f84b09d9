#include "capture/ShortcutRecorderModel.h"

#include "capture/GlobalShortcutKeyCatalog.h"

#include <QHash>

namespace tessaline {

namespace {

// Qt keys as a US layout produces them, shifted symbols included, to the
// catalog's codes (which name key positions).
const QHash<int, quint32> &mainKeys()
{
    static const QHash<int, quint32> keys = {
        {Qt::Key_A, 0}, {Qt::Key_S, 1}, {Qt::Key_D, 2}, {Qt::Key_F, 3}, {Qt::Key_H, 4},
        {Qt::Key_G, 5}, {Qt::Key_Z, 6}, {Qt::Key_X, 7}, {Qt::Key_C, 8}, {Qt::Key_V, 9},
        {Qt::Key_section, 10}, {Qt::Key_B, 11}, {Qt::Key_Q, 12}, {Qt::Key_W, 13}, {Qt::Key_E, 14},
        {Qt::Key_R, 15}, {Qt::Key_Y, 16}, {Qt::Key_T, 17},
        {Qt::Key_1, 18}, {Qt::Key_Exclam, 18}, {Qt::Key_2, 19}, {Qt::Key_At, 19},
        {Qt::Key_3, 20}, {Qt::Key_NumberSign, 20}, {Qt::Key_4, 21}, {Qt::Key_Dollar, 21},
        {Qt::Key_6, 22}, {Qt::Key_AsciiCircum, 22}, {Qt::Key_5, 23}, {Qt::Key_Percent, 23},
        {Qt::Key_Equal, 24}, {Qt::Key_Plus, 24}, {Qt::Key_9, 25}, {Qt::Key_ParenLeft, 25},
        {Qt::Key_7, 26}, {Qt::Key_Ampersand, 26}, {Qt::Key_Minus, 27}, {Qt::Key_Underscore, 27},
        {Qt::Key_8, 28}, {Qt::Key_Asterisk, 28}, {Qt::Key_0, 29}, {Qt::Key_ParenRight, 29},
        {Qt::Key_BracketRight, 30}, {Qt::Key_BraceRight, 30}, {Qt::Key_O, 31}, {Qt::Key_U, 32},
        {Qt::Key_BracketLeft, 33}, {Qt::Key_BraceLeft, 33}, {Qt::Key_I, 34}, {Qt::Key_P, 35},
        {Qt::Key_Return, 36}, {Qt::Key_L, 37}, {Qt::Key_J, 38}, {Qt::Key_Apostrophe, 39},
        {Qt::Key_QuoteDbl, 39}, {Qt::Key_K, 40}, {Qt::Key_Semicolon, 41}, {Qt::Key_Colon, 41},
        {Qt::Key_Backslash, 42}, {Qt::Key_Bar, 42}, {Qt::Key_Comma, 43}, {Qt::Key_Less, 43},
        {Qt::Key_Slash, 44}, {Qt::Key_Question, 44}, {Qt::Key_N, 45}, {Qt::Key_M, 46},
        {Qt::Key_Period, 47}, {Qt::Key_Greater, 47}, {Qt::Key_Tab, 48}, {Qt::Key_Backtab, 48},
        {Qt::Key_Space, 49}, {Qt::Key_QuoteLeft, 50}, {Qt::Key_AsciiTilde, 50},
        {Qt::Key_Backspace, 51}, {Qt::Key_Escape, 53},
        {Qt::Key_F17, 64}, {Qt::Key_F18, 79}, {Qt::Key_F19, 80}, {Qt::Key_F20, 90},
        {Qt::Key_F5, 96}, {Qt::Key_F6, 97}, {Qt::Key_F7, 98}, {Qt::Key_F3, 99}, {Qt::Key_F8, 100},
        {Qt::Key_F9, 101}, {Qt::Key_F11, 103}, {Qt::Key_Print, 105}, {Qt::Key_F16, 106},
        {Qt::Key_ScrollLock, 107}, {Qt::Key_F10, 109}, {Qt::Key_F12, 111}, {Qt::Key_Pause, 113},
        {Qt::Key_Insert, 114}, {Qt::Key_Home, 115}, {Qt::Key_PageUp, 116}, {Qt::Key_Delete, 117},
        {Qt::Key_F4, 118}, {Qt::Key_End, 119}, {Qt::Key_F2, 120}, {Qt::Key_PageDown, 121},
        {Qt::Key_F1, 122}, {Qt::Key_Left, 123}, {Qt::Key_Right, 124}, {Qt::Key_Down, 125},
        {Qt::Key_Up, 126},
    };
    return keys;
}

// The same for keys of the numeric keypad.
const QHash<int, quint32> &keypadKeys()
{
    static const QHash<int, quint32> keys = {
        {Qt::Key_Period, 65}, {Qt::Key_Asterisk, 67}, {Qt::Key_Plus, 69}, {Qt::Key_Slash, 75},
        {Qt::Key_Enter, 76}, {Qt::Key_Minus, 78}, {Qt::Key_Equal, 81},
        {Qt::Key_0, 82}, {Qt::Key_1, 83}, {Qt::Key_2, 84}, {Qt::Key_3, 85}, {Qt::Key_4, 86},
        {Qt::Key_5, 87}, {Qt::Key_6, 88}, {Qt::Key_7, 89}, {Qt::Key_8, 91}, {Qt::Key_9, 92},
    };
    return keys;
}

GlobalShortcutModifiers modifierOfKey(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Control:
        return GlobalShortcutModifiers::command();
    case Qt::Key_Alt:
        return GlobalShortcutModifiers::option();
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
        return GlobalShortcutModifiers::control();
    case Qt::Key_Shift:
        return GlobalShortcutModifiers::shift();
    default:
        return {};
    }
}

// What the owner shows below the field for an answer: its reason, or nothing.
std::optional<QString> messageOf(const Expected<void, QString> &answer)
{
    return answer ? std::nullopt : std::optional<QString>(answer.error());
}

} // namespace

namespace {
ShortcutRecorderModel *recordingModel = nullptr;
}

ShortcutRecorderModel::ShortcutRecorderModel(QObject *parent)
    : QObject(parent)
{
    refreshTitle();
}

ShortcutRecorderModel::~ShortcutRecorderModel()
{
    if (recordingModel == this)
        recordingModel = nullptr;
}

ShortcutRecorderModel *ShortcutRecorderModel::recording() { return recordingModel; }

QString ShortcutRecorderModel::recordPrompt() { return QStringLiteral("Record Shortcut"); }
QString ShortcutRecorderModel::recordingTitle() { return QStringLiteral("Type shortcut\u2026"); }
QString ShortcutRecorderModel::refusedTitle() { return QStringLiteral("Try another shortcut"); }
QString ShortcutRecorderModel::recordingAccessibleValue()
{
    return QStringLiteral("Recording. Type a shortcut, or press Escape to cancel.");
}
QString ShortcutRecorderModel::toolTip() { return QStringLiteral("Click, then type a shortcut. Press Escape to cancel."); }

QString ShortcutRecorderModel::clearButtonTitle() const
{
    return QStringLiteral("Disable ") + m_accessibleLabel;
}

void ShortcutRecorderModel::setCommittedShortcut(const std::optional<GlobalShortcut> &shortcut)
{
    if (shortcut == m_committedShortcut)
        return;
    m_committedShortcut = shortcut;
    Q_EMIT committedShortcutChanged();
    if (!m_isRecording)
        refreshTitle();
}

void ShortcutRecorderModel::beginRecording()
{
    setRecording(true);
    setTitle(recordingTitle(), recordingAccessibleValue());
}

void ShortcutRecorderModel::cancelRecording()
{
    if (!m_isRecording)
        return;
    setRecording(false);
    refreshTitle();
}

void ShortcutRecorderModel::previewModifiers(GlobalShortcutModifiers held)
{
    if (!m_isRecording)
        return;
    // Only the four shortcut modifiers count; any other bit is not shown.
    const GlobalShortcutModifiers shown(quint8(held.rawValue() & 0x0F));
    const bool released = (shown.rawValue() & ~m_heldModifiers.rawValue()) == 0;
    m_heldModifiers = shown;
    if (m_showsRefusal && released)
        return;
    m_showsRefusal = false;
    if (shown.rawValue() == 0)
        setTitle(recordingTitle(), m_accessibleValue);
    else
        setTitle(shown.symbols() + QStringLiteral("\u2026"), m_accessibleValue);
}

ShortcutRecorderModel::KeyOutcome ShortcutRecorderModel::handleKey(quint32 keyCode, GlobalShortcutModifiers modifiers)
{
    if (!m_isRecording)
        return KeyOutcome::ignored;
    constexpr quint32 escapeKey = 53;
    if (keyCode == escapeKey && modifiers.rawValue() == 0) {
        cancelRecording();
        return KeyOutcome::cancelled;
    }
    const GlobalShortcut candidate{keyCode, modifiers};
    m_heldModifiers = GlobalShortcutModifiers(quint8(modifiers.rawValue() & 0x0F));
    if (const auto accepted = attempt(candidate); !accepted) {
        m_showsRefusal = true;
        setTitle(refusedTitle(), accepted.error());
        Q_EMIT refused(accepted.error());
        return KeyOutcome::refused;
    }
    m_committedShortcut = candidate;
    Q_EMIT committedShortcutChanged();
    setRecording(false);
    refreshTitle();
    return KeyOutcome::accepted;
}

void ShortcutRecorderModel::clear()
{
    const Expected<void, QString> answer = onChange ? onChange(std::nullopt) : Expected<void, QString>();
    Q_EMIT validationMessageReported(messageOf(answer));
}

Expected<void, QString> ShortcutRecorderModel::attempt(const GlobalShortcut &candidate)
{
    if (const auto issue = GlobalShortcutValidationIssue::check(candidate)) {
        const QString message = issue->message();
        Q_EMIT validationMessageReported(message);
        return unexpected(message);
    }
    const Expected<void, QString> answer = onChange ? onChange(candidate) : Expected<void, QString>();
    Q_EMIT validationMessageReported(messageOf(answer));
    return answer;
}

void ShortcutRecorderModel::setRecording(bool recording)
{
    if (recording == m_isRecording)
        return;
    m_isRecording = recording;
    if (recording)
        recordingModel = this;
    else if (recordingModel == this)
        recordingModel = nullptr;
    m_showsRefusal = false;
    m_heldModifiers = GlobalShortcutModifiers();
    Q_EMIT recordingChanged(recording);
}

void ShortcutRecorderModel::refreshTitle()
{
    if (m_committedShortcut) {
        const QString text = m_committedShortcut->displayText();
        setTitle(text, text);
    } else {
        setTitle(recordPrompt(), QStringLiteral("Disabled"));
    }
}

void ShortcutRecorderModel::setTitle(const QString &title, const QString &accessibleValue)
{
    if (title == m_title && accessibleValue == m_accessibleValue)
        return;
    m_title = title;
    m_accessibleValue = accessibleValue;
    Q_EMIT titleChanged();
}

GlobalShortcutModifiers ShortcutRecorderModel::modifiers(Qt::KeyboardModifiers qtModifiers)
{
    quint8 raw = 0;
    if (qtModifiers & Qt::ControlModifier)
        raw |= GlobalShortcutModifiers::commandBit;
    if (qtModifiers & Qt::AltModifier)
        raw |= GlobalShortcutModifiers::optionBit;
    if (qtModifiers & Qt::MetaModifier)
        raw |= GlobalShortcutModifiers::controlBit;
    if (qtModifiers & Qt::ShiftModifier)
        raw |= GlobalShortcutModifiers::shiftBit;
    return GlobalShortcutModifiers(raw);
}

GlobalShortcutModifiers ShortcutRecorderModel::modifiersAfter(int qtKey, Qt::KeyboardModifiers qtModifiers, bool pressed)
{
    const quint8 held = modifiers(qtModifiers).rawValue();
    const quint8 own = modifierOfKey(qtKey).rawValue();
    return GlobalShortcutModifiers(quint8(pressed ? (held | own) : (held & ~own)));
}

bool ShortcutRecorderModel::isModifierKey(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_Mode_switch:
    case Qt::Key_unknown:
        return true;
    default:
        return false;
    }
}

quint32 ShortcutRecorderModel::catalogKeyCode(int qtKey, Qt::KeyboardModifiers qtModifiers,
                                              std::optional<quint32> placedKeyCode)
{
    if (placedKeyCode)
        return *placedKeyCode;
    if (qtModifiers & Qt::KeypadModifier) {
        const auto found = keypadKeys().constFind(qtKey);
        if (found != keypadKeys().constEnd())
            return *found;
    }
    // Letters arrive upper-case whatever Shift says; Qt's key values for
    // Latin-1 letters are the upper-case ones already.
    const auto found = mainKeys().constFind(qtKey);
    if (found != mainKeys().constEnd())
        return *found;
    return unknownKeyCode;
}

} // namespace tessaline
