#include "design/KeyboardFocusRing.h"

#include "design/DesignEnvironment.h"
#include "design/ShapePainting.h"

#include <QAbstractItemView>
#include <QFocusEvent>
#include <QStyleOptionViewItem>

namespace tessaline {

KeyboardFocusRing::KeyboardFocusRing(QAbstractItemView *view)
    : QObject(view)
    , m_view(view)
    , m_viewport(view->viewport())
{
    view->installEventFilter(this);
    m_viewport->installEventFilter(this);
}

void KeyboardFocusRing::paint(QPainter *painter, const QStyleOptionViewItem &option, const QRectF &shape,
                              qreal radius) const
{
    if (m_keyboard && option.state.testFlag(QStyle::State_HasFocus))
        paintFocusRing(painter, shape, radius, option.palette, DesignEnvironment::current().increasedContrast);
}

bool KeyboardFocusRing::eventFilter(QObject *watched, QEvent *event)
{
    bool keyboard = m_keyboard;
    switch (event->type()) {
    case QEvent::FocusIn: {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        keyboard = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason;
        break;
    }
    case QEvent::KeyPress:
        keyboard = keyboard || watched == m_view;
        break;
    case QEvent::MouseButtonPress:
        keyboard = false;
        break;
    default:
        break;
    }
    if (keyboard != m_keyboard) {
        m_keyboard = keyboard;
        m_viewport->update();
    }
    return false;
}

} // namespace tessaline
