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

QRectF dottedArea(const QSizeF &mapSize, const QRectF &exposed)
{
    if (mapSize.width() <= spacing || mapSize.height() <= spacing)
        return {};
    return QRectF(QPointF(spacing, spacing), QPointF(mapSize.width(), mapSize.height())).intersected(exposed);
}

} // namespace CanvasGrid

} // namespace tessaline
