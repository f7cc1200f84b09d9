#include "shell/PopupFieldTyping.h"

#include "platform/WindowSystem.h"

#include <QApplication>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWidget>
#include <QWindow>

namespace tessaline {

PopupFieldTyping::PopupFieldTyping(QLineEdit &field, std::function<void()> defaultAction)
    : QObject(&field)
    , m_field(field)
    , m_defaultAction(std::move(defaultAction))
{
    field.installEventFilter(this);
}

PopupFieldTyping::~PopupFieldTyping()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

void PopupFieldTyping::setTyping(bool typing)
{
    if (typing == m_typing)
        return;
    m_typing = typing;
    // Watching every window's events only while there is something to hand on.
    if (typing)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
    // With another app's window in front, the keys go there: the window the
    // pop-up stands on asks for them. KWin turns such a request down while
    // the other app has the focus, so its own command brings the window in.
    if (typing && !QGuiApplication::focusWindow()) {
        const QWindow *popup = m_field.window()->windowHandle();
        if (QWindow *parent = popup ? popup->transientParent() : nullptr) {
            WindowSystem::bringForward(*parent);
        }
    }
    // The field shows its cursor as a field with the keyboard would; Qt
    // tells it nothing, its window never being the active one.
    QFocusEvent focus(typing ? QEvent::FocusIn : QEvent::FocusOut, Qt::MouseFocusReason);
    QCoreApplication::sendEvent(&m_field, &focus);
}

bool PopupFieldTyping::takeKey(QObject *watched, QEvent *event)
{
    // What the field, or the pop-up around it, passes on goes its own way.
    QWidget *popup = m_field.window();
    if (auto *widget = qobject_cast<QWidget *>(watched); widget && widget->window() == popup)
        return false;
    if (watched == popup->windowHandle())
        return false;
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Escape) {
            setTyping(false);
            return true;
        }
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            setTyping(false);
            if (m_defaultAction)
                m_defaultAction();
            return true;
        }
    }
    QCoreApplication::sendEvent(&m_field, event);
    return true;
}

bool PopupFieldTyping::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        // A tooltip-type window never gets the keyboard, whoever clicks it.
        if (watched == &m_field)
            setTyping(m_field.window()->windowType() == Qt::ToolTip);
        else if (m_typing && qobject_cast<QWidget *>(watched))
            setTyping(false);
        break;
    case QEvent::Hide:
        if (watched == &m_field)
            setTyping(false);
        break;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::InputMethod:
        if (m_typing && watched != &m_field)
            return takeKey(watched, event);
        break;
    default:
        break;
    }
    return false;
}

} // namespace tessaline
