#pragma once

#include "capture/GlobalShortcutConfiguration.h"
#include "platform/Expected.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace tessaline {

// The rules of the shortcut recorder: when it records, what its button says,
// which key presses become candidates, and how a candidate is judged and
// handed to the owner. The widget only turns key events into calls here.
//
// The owner's `onChange` applies a new shortcut (none turns it off) and
// answers with the reason it could not, or none. Every answer, and every
// refusal of the recorder's own check, is reported through
// validationMessageReported for the owner to show.
class ShortcutRecorderModel : public QObject
{
    Q_OBJECT
public:
    using ChangeHandler = std::function<Expected<void, QString>(const std::optional<GlobalShortcut> &)>;

    // Stands for a key the catalog has no code for; the check refuses it.
    static constexpr quint32 unknownKeyCode = 0xFFFF;

    enum class KeyOutcome {
        ignored,   // not recording
        cancelled, // plain Escape: nothing changes
        refused,   // recording goes on
        accepted,  // the candidate is now the committed shortcut
    };

    explicit ShortcutRecorderModel(QObject *parent = nullptr);
    ~ShortcutRecorderModel() override;

    // The recorder recording right now, if any. A desktop that keeps the
    // app's global shortcuts itself (the Wayland portal) sends their keys
    // to the app as activations, never as key presses, so those have to
    // reach the recorder this way.
    static ShortcutRecorderModel *recording();

    std::optional<GlobalShortcut> committedShortcut() const { return m_committedShortcut; }
    // The owner's current value; a recording in progress keeps its prompt.
    void setCommittedShortcut(const std::optional<GlobalShortcut> &shortcut);

    QString accessibleLabel() const { return m_accessibleLabel; }
    void setAccessibleLabel(const QString &label) { m_accessibleLabel = label; }

    ChangeHandler onChange;
    // The stored key code of the key a key event's native scan code names
    // by its place; the owner gives the platform's (GlobalHotKeyManager).
    std::function<std::optional<quint32>(quint32 nativeScanCode)> keyCodeAtScanCode;

    bool isRecording() const { return m_isRecording; }
    QString title() const { return m_title; }
    QString accessibleValue() const { return m_accessibleValue; }
    // "Disable " followed by the accessible label.
    QString clearButtonTitle() const;
    bool canClear() const { return m_committedShortcut.has_value(); }

    void beginRecording();
    // Escape or the loss of focus: the committed shortcut shows again.
    void cancelRecording();
    // The modifiers held right now, previewed while recording.
    void previewModifiers(GlobalShortcutModifiers held);
    // A key pressed while recording (modifier keys alone never come here).
    KeyOutcome handleKey(quint32 keyCode, GlobalShortcutModifiers modifiers);
    // The clear button: hands none to the owner and reports its answer.
    void clear();

    // Ctrl, Alt, Super and Shift as the stored command, option, control and
    // shift; everything else (keypad, AltGr) is ignored.
    static GlobalShortcutModifiers modifiers(Qt::KeyboardModifiers qtModifiers);
    // The modifiers held once a press or release of `qtKey` has happened:
    // a key event reports the state from before its own modifier key moved.
    static GlobalShortcutModifiers modifiersAfter(int qtKey, Qt::KeyboardModifiers qtModifiers, bool pressed);
    static bool isModifierKey(int qtKey);
    // The catalog's code of a pressed key. The code of the key at the
    // pressed place wins when the platform could tell it; otherwise the Qt
    // key (as a US layout produces it) decides. unknownKeyCode for keys the
    // catalog lacks.
    static quint32 catalogKeyCode(int qtKey, Qt::KeyboardModifiers qtModifiers,
                                  std::optional<quint32> placedKeyCode = std::nullopt);

    static QString recordPrompt();
    static QString recordingTitle();
    static QString refusedTitle();
    static QString recordingAccessibleValue();
    static QString toolTip();

Q_SIGNALS:
    void recordingChanged(bool recording);
    void titleChanged();
    void committedShortcutChanged();
    // A candidate was refused (the view beeps).
    void refused(const QString &reason);
    // What the owner should show below the field; none clears it.
    void validationMessageReported(const std::optional<QString> &message);

private:
    // The field's verdict on a candidate: its own check, then the owner's.
    Expected<void, QString> attempt(const GlobalShortcut &candidate);
    void setRecording(bool recording);
    void refreshTitle();
    void setTitle(const QString &title, const QString &accessibleValue);

    std::optional<GlobalShortcut> m_committedShortcut;
    QString m_accessibleLabel;
    bool m_isRecording = false;
    // A refusal stays on show while the keys of the refused combination
    // are let go; the next key pressed takes the title back.
    bool m_showsRefusal = false;
    GlobalShortcutModifiers m_heldModifiers;
    QString m_title;
    QString m_accessibleValue;
};

} // namespace tessaline
