#pragma once

#include "capture/ShortcutRecorderControl.h"

#include <QWidget>

class QToolButton;

namespace tessaline {

// A recorder with its clear button beside it: the field a screen places for
// one global shortcut. It stores nothing; the owner sets the shortcut shown,
// applies changes through the model's onChange and shows the messages the
// model reports.
class ShortcutRecorderView : public QWidget
{
    Q_OBJECT
public:
    explicit ShortcutRecorderView(const QString &accessibleLabel, QWidget *parent = nullptr);

    ShortcutRecorderModel &model() { return m_model; }
    ShortcutRecorderControl *control() const { return m_control; }
    QToolButton *clearButton() const { return m_clearButton; }

    void setShortcut(const std::optional<GlobalShortcut> &shortcut);

private:
    void refreshClearButton();

    ShortcutRecorderModel m_model;
    ShortcutRecorderControl *m_control;
    QToolButton *m_clearButton;
};

} // namespace tessaline
