#pragma once

#include <QObject>

#include <functional>

class QLineEdit;

namespace tessaline {

// Lets a text field on a pop-up that never gets the keyboard be typed into.
// Under Wayland the capture toast is such a pop-up: the keyboard stays with
// the window it stands on, so what the user typed after clicking the
// caption went into that window's search field or note instead. Once the
// field is clicked, the keys the window gets are handed to the field, until
// a click anywhere else, Escape, or the field going away. Return is the
// pop-up's default action, as it is where the pop-up has the keyboard.
class PopupFieldTyping : public QObject
{
public:
    PopupFieldTyping(QLineEdit &field, std::function<void()> defaultAction);
    ~PopupFieldTyping() override;

    bool isTyping() const { return m_typing; }

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setTyping(bool typing);
    // A key meant for another of our windows, which the field takes instead.
    bool takeKey(QObject *watched, QEvent *event);

    QLineEdit &m_field;
    std::function<void()> m_defaultAction;
    bool m_typing = false;
};

} // namespace tessaline
