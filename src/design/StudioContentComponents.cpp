#include "design/StudioContentComponents.h"

#include "design/DesignTokens.h"
#include "design/ShapePainting.h"
#include "design/TextInputDirection.h"
#include "platform/SymbolIcon.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace tessaline {

StudioTagLook studioTagLook(bool isSelected, bool increasedContrast)
{
    StudioTagLook look;
    look.foreground = {isSelected ? SemanticColor::primary : SemanticColor::secondary, 1.0};
    look.fill = {SemanticColor::primary, isSelected ? 0.1 : 0.04};
    if (increasedContrast) {
        look.border = {SemanticColor::primary, 0.9};
        look.borderWidth = 1.5;
    } else if (isSelected) {
        look.border = {SemanticColor::primary, 0.42};
        look.borderWidth = 1.0;
    } else {
        look.border = {SemanticColor::primary, 0.16};
        look.borderWidth = 0;
    }
    return look;
}

namespace StudioTagMetrics {

QFont font()
{
    return TessalineTypography::caption();
}

int symbolSize()
{
    return 12;
}

} // namespace StudioTagMetrics

QSizeF studioTagSize(const QString &title, const QString &systemImage)
{
    const QFontMetricsF fm(StudioTagMetrics::font());
    qreal width = fm.horizontalAdvance(title);
    qreal height = fm.height();
    if (!systemImage.isEmpty()) {
        width += StudioTagMetrics::symbolSize() + (title.isEmpty() ? 0 : StudioTagMetrics::spacing);
        height = std::max(height, qreal(StudioTagMetrics::symbolSize()));
    }
    return QSizeF(std::ceil(width + 2 * StudioTagMetrics::horizontalPadding),
                  std::ceil(height + 2 * StudioTagMetrics::verticalPadding));
}

QRectF paintStudioTag(QPainter *painter, const QPointF &origin, const QString &title, const QString &systemImage,
                      bool isSelected, const QPalette &palette, bool increasedContrast, qreal maximumWidth)
{
    const QSizeF natural = studioTagSize(title, systemImage);
    const QRectF bounds(origin, QSizeF(std::min(natural.width(), maximumWidth), natural.height()));
    const StudioTagLook look = studioTagLook(isSelected, increasedContrast);
    const QColor foreground = resolveColor(look.foreground, palette, increasedContrast);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(resolveColor(look.fill, palette, increasedContrast));
    painter->drawPath(roundedShape(bounds, StudioTagMetrics::cornerRadius));

    const QRectF content = bounds.adjusted(StudioTagMetrics::horizontalPadding, StudioTagMetrics::verticalPadding,
                                           -StudioTagMetrics::horizontalPadding, -StudioTagMetrics::verticalPadding);
    qreal x = content.left();
    if (!systemImage.isEmpty()) {
        const int size = StudioTagMetrics::symbolSize();
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(QPointF(x, content.center().y() - size / 2.0),
                            SymbolIcon::tintedPixmap(systemImage, QSize(size, size), ratio, foreground));
        x += size + StudioTagMetrics::spacing;
    }
    if (!title.isEmpty() && x < content.right()) {
        const QFont font = StudioTagMetrics::font();
        const QFontMetricsF fm(font);
        const QRectF textRect(x, content.top(), content.right() - x, content.height());
        painter->setFont(font);
        painter->setPen(foreground);
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          elidedInItsOwnDirection(title, fm, textRect.width()));
    }
    painter->restore();

    strokeInside(painter, bounds, StudioTagMetrics::cornerRadius,
                 {resolveColor(look.border, palette, increasedContrast), look.borderWidth, Qt::FlatCap, Qt::MiterJoin, {}});
    return bounds;
}

} // namespace tessaline
