#pragma once

#include "capture/ShortcutRecorderModel.h"

#include <QPushButton>

namespace tessaline {

// The push button that records a shortcut: a click starts recording, and
// until a candidate is accepted, Escape is pressed or focus goes elsewhere
// it takes every key press for itself. While it records it holds the
// keyboard, so neither the app's global hot keys, the desktop's own
// combinations nor the app's menu shortcuts fire.
class ShortcutRecorderControl : public QPushButton
{
    Q_OBJECT
public:
    explicit ShortcutRecorderControl(ShortcutRecorderModel &model, QWidget *parent = nullptr);
    ~ShortcutRecorderControl() override;

    ShortcutRecorderModel &model() const { return m_model; }

protected:
    bool event(QEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void recordingChanged(bool recording);
    void refresh();
    void handleKeyPress(QKeyEvent *event);
    void releaseKeyboardIfHeld();

    ShortcutRecorderModel &m_model;
    bool m_holdsKeyboard = false;
};

} // namespace tessaline
