#include "design/RowToolTip.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QToolTip>

namespace tessaline {

bool showRowToolTip(QHelpEvent *event, QAbstractItemView *view, const QModelIndex &index, const QString &tip)
{
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPos(), tip, view->viewport(), view->visualRect(index));
    return true;
}

} // namespace tessaline
