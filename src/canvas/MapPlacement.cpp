#include "canvas/MapPlacement.h"

#include "model/CanvasCard.h"

#include <cmath>

namespace tessaline::MapPlacement {

QPointF gridSlot(qsizetype placedCount)
{
    const qsizetype column = placedCount % 4;
    const qsizetype row = placedCount / 4;
    return QPointF(80 + 380 * double(column), 80 + 280 * double(row));
}

QPointF dropOrigin(const QPointF &location)
{
    // fmax ignores a NaN operand.
    return QPointF(std::fmax(location.x() - 150, 24), std::fmax(location.y() - 100, 24));
}

QSizeF contentSize(const QList<CanvasCard *> &placedCards)
{
    double width = 1800;
    double height = 1180;
    for (const CanvasCard *card : placedCards) {
        width = std::fmax(width, card->canvasX() + card->canvasWidth() + 240);
        height = std::fmax(height, card->canvasY() + card->canvasHeight() + 240);
    }
    return QSizeF(width, height);
}

} // namespace tessaline::MapPlacement
