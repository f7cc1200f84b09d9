#include "canvas/ConnectionGeometry.h"

#include "platform/TextUtilities.h"

#include <QVarLengthArray>

#include <algorithm>
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

namespace {

struct CubicPiece
{
    QPointF p0, p1, p2, p3;
};

double squaredDistanceToSegment(const QPointF &p, const QPointF &a, const QPointF &b)
{
    const QPointF ab = b - a;
    const double length = QPointF::dotProduct(ab, ab);
    const double t = length > 0 ? std::clamp(QPointF::dotProduct(p - a, ab) / length, 0.0, 1.0) : 0.0;
    const QPointF off = p - (a + t * ab);
    return QPointF::dotProduct(off, off);
}

// Squared. The piece lies inside the hull of its four points, and the
// distance to its chord is convex, so no point of it is farther from the
// chord than its farther control point.
double pull(const CubicPiece &c)
{
    return std::fmax(squaredDistanceToSegment(c.p1, c.p0, c.p3), squaredDistanceToSegment(c.p2, c.p0, c.p3));
}

} // namespace

QPolygonF ConnectionCurve::flattened(double tolerance) const
{
    // Halving a piece quarters its pull, so no curve a map can hold needs
    // more halvings than this; the cap only guards a zero tolerance.
    constexpr int deepest = 16;
    QPolygonF points{start};
    // Depth-first, left half on top: pieces come off in order along the curve.
    struct Pending
    {
        CubicPiece piece;
        int depth;
    };
    QVarLengthArray<Pending, 2 * deepest + 2> pending;
    pending.append(Pending{{start, firstControl, secondControl, end}, 0});
    while (!pending.isEmpty()) {
        const CubicPiece c = pending.last().piece;
        const int depth = pending.last().depth;
        pending.removeLast();
        if (depth == deepest || pull(c) <= tolerance * tolerance) {
            points.append(c.p3);
            continue;
        }
        // de Casteljau at the piece's middle.
        const QPointF a = (c.p0 + c.p1) / 2;
        const QPointF b = (c.p1 + c.p2) / 2;
        const QPointF d = (c.p2 + c.p3) / 2;
        const QPointF ab = (a + b) / 2;
        const QPointF bd = (b + d) / 2;
        const QPointF middle = (ab + bd) / 2;
        pending.append(Pending{{middle, bd, d, c.p3}, depth + 1});
        pending.append(Pending{{c.p0, a, ab, middle}, depth + 1});
    }
    return points;
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

QRectF dottedArea(const QSizeF &mapSize, const QRectF &exposed)
{
    if (mapSize.width() <= spacing || mapSize.height() <= spacing)
        return {};
    return QRectF(QPointF(spacing, spacing), QPointF(mapSize.width(), mapSize.height())).intersected(exposed);
}

} // namespace CanvasGrid

} // namespace tessaline
