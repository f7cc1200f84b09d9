#pragma once

#include <QList>
#include <QPointF>
#include <QSizeF>

namespace tessaline {

class CanvasCard;

// Where cards land on a note's map when nobody says exactly where.
namespace MapPlacement {

// The n-th slot of the placing grid (n = the number of cards already
// placed): four per row, 380 apart across and 280 down, from (80, 80).
// Whether a card already lies there is not looked at.
QPointF gridSlot(qsizetype placedCount);

// A card dropped at `location` is placed with its top-left corner 150 left
// of and 100 above it, but never closer than 24 to the map's edges; a
// coordinate that is not a number lands on that edge.
QPointF dropOrigin(const QPointF &location);

// The map's scrollable size: room for the farthest card plus 240, and never
// smaller than 1800 x 1180.
QSizeF contentSize(const QList<CanvasCard *> &placedCards);

} // namespace MapPlacement

} // namespace tessaline
