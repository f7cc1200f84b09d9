#pragma once

#include <QSize>

class QWidget;

namespace tessaline {

// A sheet's roomy preferred size, never taller or wider than `fraction` of
// the screen its parent (or itself) is on.
QSize sheetSizeWithinScreen(const QWidget *sheet, QSize wanted, qreal fraction);

} // namespace tessaline
