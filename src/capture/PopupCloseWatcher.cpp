#include "capture/PopupCloseWatcher.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <algorithm>

namespace tessaline {

PopupCloseWatcher::PopupCloseWatcher(QObject *parent)
    : QObject(parent)
{
    if (QCoreApplication *application = QCoreApplication::instance())
        application->installEventFilter(this);
}

PopupCloseWatcher::~PopupCloseWatcher()
{
    if (QCoreApplication *application = QCoreApplication::instance())
        application->removeEventFilter(this);
}

int PopupCloseWatcher::settleRemaining() const
{
    if (!m_sinceClosed.isValid())
        return 0;
    return int(std::max<qint64>(0, settleMilliseconds - m_sinceClosed.elapsed()));
}

bool PopupCloseWatcher::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Hide && watched->isWidgetType()
        && static_cast<QWidget *>(watched)->windowType() == Qt::Popup)
        m_sinceClosed.start();
    return false;
}

} // namespace tessaline
