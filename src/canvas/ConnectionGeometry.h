#pragma once

#include <QList>
#include <QPainterPath>
#include <QPointF>
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

// The map's dot grid: a dot every 28 points across and down, none on the
// top or left edge nor on the far edges.
namespace CanvasGrid {

constexpr double spacing = 28;
constexpr double dotSize = 1.2;

// The dots' top-left corners that fall in `area` of a map of `mapSize`.
QList<QPointF> dotOrigins(const QSizeF &mapSize, const QRectF &area);
// The same dots as one path of small circles, filled once.
QPainterPath dots(const QSizeF &mapSize, const QRectF &area);

} // namespace CanvasGrid

} // namespace tessaline
