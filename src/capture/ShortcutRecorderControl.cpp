#include "capture/ShortcutRecorderControl.h"

#include "platform/WindowSystem.h"

#include <QApplication>
#include <QFontDatabase>
#include <QKeyEvent>

namespace tessaline {

ShortcutRecorderControl::ShortcutRecorderControl(ShortcutRecorderModel &model, QWidget *parent)
    : QPushButton(parent)
    , m_model(model)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(12);
    font.setWeight(QFont::Medium);
    setFont(font);
    setFocusPolicy(Qt::StrongFocus);
    setToolTip(ShortcutRecorderModel::toolTip());
    setFixedSize(176, 28);
    connect(this, &QPushButton::clicked, this, [this] {
        if (!m_model.isRecording())
            m_model.beginRecording();
    });
    connect(&m_model, &ShortcutRecorderModel::titleChanged, this, &ShortcutRecorderControl::refresh);
    connect(&m_model, &ShortcutRecorderModel::recordingChanged, this, &ShortcutRecorderControl::recordingChanged);
    connect(&m_model, &ShortcutRecorderModel::refused, this, [] { QApplication::beep(); });
    refresh();
}

ShortcutRecorderControl::~ShortcutRecorderControl()
{
    releaseKeyboardIfHeld();
}

void ShortcutRecorderControl::refresh()
{
    setText(m_model.title());
    setAccessibleName(m_model.accessibleLabel());
    setAccessibleDescription(m_model.accessibleValue());
}

void ShortcutRecorderControl::recordingChanged(bool recording)
{
    if (recording) {
        setFocus(Qt::OtherFocusReason);
        // Holding the keyboard keeps passive grabs (our hot keys, the
        // desktop's combinations) from taking the keys being recorded.
        // Only X11 has such grabs; elsewhere the app's own event handling
        // below is all there is to hold back.
        if (WindowSystem::clientsGrabInput()) {
            grabKeyboard();
            m_holdsKeyboard = true;
        }
    } else {
        releaseKeyboardIfHeld();
        if (hasFocus())
            clearFocus();
    }
}

void ShortcutRecorderControl::releaseKeyboardIfHeld()
{
    if (!m_holdsKeyboard)
        return;
    m_holdsKeyboard = false;
    releaseKeyboard();
}

bool ShortcutRecorderControl::event(QEvent *event)
{
    if (m_model.isRecording()) {
        switch (event->type()) {
        case QEvent::ShortcutOverride:
            // Claim every combination, so no menu or window shortcut runs
            // and the key comes here as a press.
            event->accept();
            return true;
        case QEvent::KeyPress:
            // Before the button's own handling: Tab must not move focus and
            // Space must not click.
            handleKeyPress(static_cast<QKeyEvent *>(event));
            return true;
        case QEvent::KeyRelease: {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (ShortcutRecorderModel::isModifierKey(key->key()))
                m_model.previewModifiers(ShortcutRecorderModel::modifiersAfter(key->key(), key->modifiers(), false));
            return true;
        }
        default:
            break;
        }
    }
    return QPushButton::event(event);
}

void ShortcutRecorderControl::handleKeyPress(QKeyEvent *event)
{
    event->accept();
    if (ShortcutRecorderModel::isModifierKey(event->key())) {
        m_model.previewModifiers(ShortcutRecorderModel::modifiersAfter(event->key(), event->modifiers(), true));
        return;
    }
    if (event->isAutoRepeat())
        return;
    const auto placed = m_model.keyCodeAtScanCode ? m_model.keyCodeAtScanCode(event->nativeScanCode()) : std::nullopt;
    const quint32 keyCode = ShortcutRecorderModel::catalogKeyCode(event->key(), event->modifiers(), placed);
    m_model.handleKey(keyCode, ShortcutRecorderModel::modifiers(event->modifiers()));
}

void ShortcutRecorderControl::focusOutEvent(QFocusEvent *event)
{
    // Focus moving elsewhere, in the window or to another one, ends a
    // recording, so the keyboard is never held for a window the user left.
    if (event->reason() != Qt::PopupFocusReason)
        m_model.cancelRecording();
    QPushButton::focusOutEvent(event);
}

void ShortcutRecorderControl::hideEvent(QHideEvent *event)
{
    m_model.cancelRecording();
    QPushButton::hideEvent(event);
}

} // namespace tessaline
