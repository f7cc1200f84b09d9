#include "design/SheetSize.h"

#include <QScreen>
#include <QWidget>

namespace tessaline {

QSize sheetSizeWithinScreen(const QWidget *sheet, QSize wanted, qreal fraction)
{
    const QWidget *anchor = sheet->parentWidget() ? sheet->parentWidget() : sheet;
    if (const QScreen *screen = anchor->screen())
        wanted = wanted.boundedTo(screen->availableGeometry().size() * fraction);
    return wanted;
}

} // namespace tessaline
