#pragma once

#include <QList>
#include <QPainterPath>
#include <QPointF>
#include <QPolygonF>
#include <QRectF>
#include <QString>

#include <optional>

namespace tessaline {

// The curve that joins two cards on the map: it leaves the source card's
// centre heading right and enters the destination card's centre heading
// right, bowed by 45 % of the horizontal distance (at least 60).
struct ConnectionCurve
{
    QPointF start;
    QPointF end;
    QPointF firstControl;
    QPointF secondControl;
    double bow = 0;

    // The curve's point at parameter 0.5, where the label sits: the control
    // points mirror each other, so it is the middle of the two ends.
    QPointF midpoint() const { return (start + end) * 0.5; }
    QPainterPath path() const;
    // The curve as straight pieces that stray from it by at most
    // `tolerance`: a long, gentle connection takes a few dozen pieces where
    // pieces of even length would take thousands, each one drawn.
    QPolygonF flattened(double tolerance) const;

    static ConnectionCurve between(const QRectF &sourceFrame, const QRectF &destinationFrame);
};

namespace ConnectionTexts {

// The label is drawn unless it is absent or empty (a blank label is drawn).
bool drawsLabel(const std::optional<QString> &label);
// "Connection from A to B", then ", labeled L" when the trimmed label is not
// empty.
QString accessibilityLabel(const QString &sourceTitle, const QString &destinationTitle,
                           const std::optional<QString> &label);
QString accessibilityHint();

} // namespace ConnectionTexts

// The map's dot grid: a dot of 1.2 points every 28 points across and down,
// with its top-left corner on the grid line; none on the top or left edge,
// and none that would start on or beyond the far edges.
namespace CanvasGrid {

constexpr double spacing = 28;
constexpr double dotSize = 1.2;

// The part of `exposed` that holds dots: from one spacing in to the map's
// far edges. Filling it with a tile of one dot per spacing, aligned to the
// map's origin, draws the grid at the cost of one fill.
QRectF dottedArea(const QSizeF &mapSize, const QRectF &exposed);

} // namespace CanvasGrid

} // namespace tessaline
