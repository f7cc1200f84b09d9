#include "design/StudioButtonPainting.h"

#include "design/DesignTokens.h"
#include "design/ShapePainting.h"
#include "design/TextInputDirection.h"
#include "platform/SymbolIcon.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPaintDevice>

#include <cmath>

namespace tessaline {

namespace {

constexpr qreal symbolSpacing = 5;

int symbolSide(const StudioButtonMetrics &metrics)
{
    return int(std::lround(metrics.fontSize * 1.25));
}

QFont labelFont(const StudioButtonMetrics &metrics)
{
    return TessalineTypography::systemFont(metrics.fontSize, metrics.fontWeight);
}

void drawSymbol(QPainter *painter, const QString &name, const QRectF &target, qreal scale, const QColor &color)
{
    const int side = int(std::lround(target.width()));
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QPixmap pixmap = SymbolIcon::tintedPixmap(name, QSize(side, side), ratio, color);
    if (pixmap.isNull())
        return;
    if (qFuzzyCompare(scale, 1.0)) {
        painter->drawPixmap(target.topLeft(), pixmap);
        return;
    }
    QRectF scaled(0, 0, target.width() * scale, target.height() * scale);
    scaled.moveCenter(target.center());
    painter->drawPixmap(scaled, pixmap, QRectF(QPointF(), pixmap.size()));
}

void paintLabel(QPainter *painter, const QRectF &area, const StudioButtonMetrics &metrics,
                const StudioButtonLabel &label, const QColor &color, Qt::LayoutDirection direction)
{
    const QFont font = labelFont(metrics);
    const QFontMetricsF fm(font);
    const bool hasSymbol = !label.systemImage.isEmpty();
    const int symbol = hasSymbol ? symbolSide(metrics) : 0;
    const qreal spacing = hasSymbol && !label.text.isEmpty() ? symbolSpacing : 0;
    const qreal available = std::max(0.0, area.width() - symbol - spacing);

    QString text = label.text;
    if (metrics.singleLine)
        text = elidedInItsOwnDirection(text, fm, available);
    const qreal textWidth = text.isEmpty() ? 0 : std::min(available, fm.horizontalAdvance(text));
    const qreal contentWidth = symbol + spacing + textWidth;
    const qreal start = area.left() + (area.width() - contentWidth) / 2;
    const bool mirrored = direction == Qt::RightToLeft;
    // Offsets from the leading edge, mirrored for right-to-left layouts.
    const auto place = [&](qreal offset, qreal width) {
        return mirrored ? area.right() - (offset - area.left()) - width : offset;
    };

    qreal x = start;
    if (hasSymbol) {
        const QRectF target(place(x, symbol), area.center().y() - symbol / 2.0, symbol, symbol);
        const qreal t = std::clamp(label.symbolTransition, 0.0, 1.0);
        if (t < 1 && !label.previousSystemImage.isEmpty()) {
            // The old symbol shrinks and fades as the new one grows in.
            painter->save();
            painter->setOpacity(painter->opacity() * (1 - t));
            drawSymbol(painter, label.previousSystemImage, target, 1 - 0.3 * t, color);
            painter->restore();
            painter->save();
            painter->setOpacity(painter->opacity() * t);
            drawSymbol(painter, label.systemImage, target, 0.7 + 0.3 * t, color);
            painter->restore();
        } else {
            drawSymbol(painter, label.systemImage, target, 1, color);
        }
        x += symbol + spacing;
    }
    if (!text.isEmpty()) {
        painter->setFont(font);
        painter->setPen(color);
        const QRectF textRect(place(x, textWidth), area.top(), textWidth, area.height());
        const int flags = Qt::AlignVCenter | Qt::AlignHCenter | (metrics.singleLine ? Qt::TextSingleLine : Qt::TextWordWrap);
        painter->drawText(textRect, flags, text);
    }
}

} // namespace

StudioButtonPaint resolveButtonLook(const StudioButtonLook &look, const QPalette &palette, bool increasedContrast)
{
    return {resolveColor(look.foreground, palette, increasedContrast), resolveColor(look.fill, palette, increasedContrast),
            resolveColor(look.border, palette, increasedContrast),     look.borderWidth,
            look.opacity,                                              look.scale};
}

StudioButtonPaint blendButtonPaint(const StudioButtonPaint &from, const StudioButtonPaint &to, qreal amount)
{
    const qreal t = std::clamp(amount, 0.0, 1.0);
    const auto lerp = [t](qreal a, qreal b) { return a + (b - a) * t; };
    return {mixColors(from.foreground, to.foreground, t),
            mixColors(from.fill, to.fill, t),
            mixColors(from.border, to.border, t),
            lerp(from.borderWidth, to.borderWidth),
            lerp(from.opacity, to.opacity),
            lerp(from.scale, to.scale)};
}

QSizeF studioButtonSize(const StudioButtonMetrics &metrics, const QString &text, const QString &systemImage)
{
    const QFontMetricsF fm(labelFont(metrics));
    qreal width = 0;
    qreal height = 0;
    if (!systemImage.isEmpty()) {
        width += symbolSide(metrics);
        height = symbolSide(metrics);
    }
    if (!text.isEmpty()) {
        if (width > 0)
            width += symbolSpacing;
        width += fm.horizontalAdvance(text);
        height = std::max(height, fm.height());
    }
    width += 2 * metrics.horizontalPadding;
    return QSizeF(std::ceil(std::max(width, metrics.minimumWidth)), std::ceil(std::max(height, metrics.minimumHeight)));
}

void paintStudioButton(QPainter *painter, const QRectF &bounds, const StudioButtonMetrics &metrics,
                       const StudioButtonPaint &paint, const StudioButtonLabel &label, Qt::LayoutDirection direction)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setOpacity(painter->opacity() * paint.opacity);
    if (!qFuzzyCompare(paint.scale, 1.0)) {
        painter->translate(bounds.center());
        painter->scale(paint.scale, paint.scale);
        painter->translate(-bounds.center());
    }
    if (paint.fill.alpha() > 0) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(paint.fill);
        painter->drawPath(roundedShape(bounds, metrics.cornerRadius));
    }
    paintLabel(painter, bounds.adjusted(metrics.horizontalPadding, 0, -metrics.horizontalPadding, 0), metrics, label,
               paint.foreground, direction);
    strokeInside(painter, bounds, metrics.cornerRadius, {paint.border, paint.borderWidth, Qt::FlatCap, Qt::MiterJoin, {}});
    painter->restore();
}

void paintStudioButton(QPainter *painter, const QRectF &bounds, StudioButtonStyle style,
                       StudioControlProminence prominence, StudioControlSize size, const StudioButtonState &state,
                       const QString &text, const QString &systemImage, const QPalette &palette)
{
    const StudioButtonLook look = studioButtonLook(style, prominence, state);
    paintStudioButton(painter, bounds, studioButtonMetrics(style, size),
                      resolveButtonLook(look, palette, state.increasedContrast), {text, systemImage, {}, 1});
}

bool studioButtonContains(const QRectF &bounds, const StudioButtonMetrics &metrics, const QPointF &point)
{
    return roundedShape(bounds, metrics.cornerRadius).contains(point);
}

} // namespace tessaline
