#include "canvas/ConnectionGeometry.h"

#include "platform/TextUtilities.h"

#include <cmath>

namespace tessaline {

ConnectionCurve ConnectionCurve::between(const QRectF &sourceFrame, const QRectF &destinationFrame)
{
    const QPointF a = sourceFrame.center();
    const QPointF b = destinationFrame.center();
    const double bow = std::fmax(std::fabs(b.x() - a.x()) * 0.45, 60);
    return {a, b, QPointF(a.x() + bow, a.y()), QPointF(b.x() - bow, b.y()), bow};
}

QPainterPath ConnectionCurve::path() const
{
    QPainterPath path(start);
    path.cubicTo(firstControl, secondControl, end);
    return path;
}

namespace ConnectionTexts {

bool drawsLabel(const std::optional<QString> &label)
{
    return label && !label->isEmpty();
}

QString accessibilityLabel(const QString &sourceTitle, const QString &destinationTitle,
                           const std::optional<QString> &label)
{
    QString text = QStringLiteral("Connection from ") + sourceTitle + QStringLiteral(" to ") + destinationTitle;
    if (label) {
        const QString trimmed = trimmedWhitespace(*label);
        if (!trimmed.isEmpty())
            text += QStringLiteral(", labeled ") + trimmed;
    }
    return text;
}

QString accessibilityHint()
{
    return QStringLiteral("Relationship between two cards on this board");
}

} // namespace ConnectionTexts

namespace CanvasGrid {

namespace {

// The first multiple of the spacing (from one spacing on) not before `from`.
double firstLine(double from)
{
    return std::fmax(spacing, std::ceil(from / spacing) * spacing);
}

template <typename Visit>
void forEachDot(const QSizeF &mapSize, const QRectF &area, Visit visit)
{
    // A dot belongs to the area when any of it does.
    const double right = std::fmin(mapSize.width(), area.right());
    const double bottom = std::fmin(mapSize.height(), area.bottom());
    for (double x = firstLine(area.left() - dotSize); x < right && x < mapSize.width(); x += spacing) {
        for (double y = firstLine(area.top() - dotSize); y < bottom && y < mapSize.height(); y += spacing)
            visit(QPointF(x, y));
    }
}

} // namespace

QList<QPointF> dotOrigins(const QSizeF &mapSize, const QRectF &area)
{
    QList<QPointF> origins;
    forEachDot(mapSize, area, [&](const QPointF &origin) { origins.append(origin); });
    return origins;
}

QPainterPath dots(const QSizeF &mapSize, const QRectF &area)
{
    QPainterPath path;
    forEachDot(mapSize, area, [&](const QPointF &origin) { path.addEllipse(QRectF(origin, QSizeF(dotSize, dotSize))); });
    return path;
}

} // namespace CanvasGrid

} // namespace tessaline
