#include "design/QuietSurfaces.h"

#include "design/ShapePainting.h"

#include <QPainter>

namespace tessaline {

QuietCardShadow quietCardShadow(QuietCardElevation elevation)
{
    switch (elevation) {
    case QuietCardElevation::flat:
        return {0, 0, 0};
    case QuietCardElevation::floating:
        return {0.14, 8, 3};
    case QuietCardElevation::dragging:
        return {0.22, 14, 7};
    }
    return {};
}

QMarginsF quietCardShadowMargins(QuietCardElevation elevation)
{
    const QuietCardShadow shadow = quietCardShadow(elevation);
    if (shadow.opacity <= 0)
        return {};
    const qreal spread = shadow.blurRadius;
    return QMarginsF(spread, std::max(0.0, spread - shadow.yOffset), spread, spread + shadow.yOffset);
}

QuietCardLook quietCardLook(QuietCardTone tone, bool isSelected, bool isHovered, QuietCardElevation elevation,
                            bool increasedContrast)
{
    QuietCardLook look;
    look.fill = {tone == QuietCardTone::snip ? SemanticColor::textBackground : SemanticColor::controlBackground, 1.0};
    look.hoverTint = {SemanticColor::primary, isHovered ? 0.018 : 0.0};

    if (isSelected)
        look.border = {SemanticColor::label, 1.0};
    else if (tone == QuietCardTone::suggestion)
        look.border = {SemanticColor::primary, increasedContrast ? 0.9 : 0.55};
    else if (increasedContrast)
        look.border = {SemanticColor::separator, 1.0};
    else
        look.border = {SemanticColor::separator, isHovered ? 0.85 : 0.55};

    if (isSelected)
        look.borderWidth = increasedContrast ? 3.0 : 2.0;
    else
        look.borderWidth = increasedContrast ? 1.5 : 1.0;

    look.dashed = tone == QuietCardTone::suggestion;
    look.shadow = quietCardShadow(elevation);
    return look;
}

namespace {

QuietCardLook blendedLook(const QuietCardSurface &surface, const QPalette &palette, bool increasedContrast,
                          QColor *border, QColor *tint)
{
    const QuietCardLook rest = quietCardLook(surface.tone, surface.isSelected, false, surface.elevation, increasedContrast);
    const QuietCardLook hovered = quietCardLook(surface.tone, surface.isSelected, true, surface.elevation, increasedContrast);
    *border = mixColors(resolveColor(rest.border, palette, increasedContrast),
                        resolveColor(hovered.border, palette, increasedContrast), surface.hoverAmount);
    *tint = mixColors(resolveColor(rest.hoverTint, palette, increasedContrast),
                      resolveColor(hovered.hoverTint, palette, increasedContrast), surface.hoverAmount);
    return rest;
}

} // namespace

void paintQuietCardBackground(QPainter *painter, const QRectF &rect, const QuietCardSurface &surface,
                              const QPalette &palette, bool increasedContrast)
{
    const QuietCardLook look = quietCardLook(surface.tone, surface.isSelected, surface.hoverAmount >= 0.5,
                                             surface.elevation, increasedContrast);
    if (look.shadow.opacity > 0) {
        paintShadow(painter, rect, surface.cornerRadius,
                    resolveColor({SemanticColor::shadow, look.shadow.opacity}, palette, increasedContrast),
                    look.shadow.blurRadius, QPointF(0, look.shadow.yOffset));
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(resolveColor(look.fill, palette, increasedContrast));
    painter->drawPath(roundedShape(rect, surface.cornerRadius));
    painter->restore();
}

void paintQuietCardOverlay(QPainter *painter, const QRectF &rect, const QuietCardSurface &surface,
                           const QPalette &palette, bool increasedContrast)
{
    QColor border;
    QColor tint;
    const QuietCardLook look = blendedLook(surface, palette, increasedContrast, &border, &tint);
    if (tint.alpha() > 0) {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(tint);
        painter->drawPath(roundedShape(rect, surface.cornerRadius));
        painter->restore();
    }
    InsideStroke stroke;
    stroke.color = border;
    stroke.width = look.borderWidth;
    stroke.cap = Qt::RoundCap;
    stroke.join = Qt::RoundJoin;
    if (look.dashed)
        stroke.dashes = {5, 4};
    strokeInside(painter, rect, surface.cornerRadius, stroke);
}

void paintQuietCard(QPainter *painter, const QRectF &rect, const QuietCardSurface &surface, const QPalette &palette,
                    bool increasedContrast)
{
    paintQuietCardBackground(painter, rect, surface, palette, increasedContrast);
    paintQuietCardOverlay(painter, rect, surface, palette, increasedContrast);
}

void paintQuietCanvas(QPainter *painter, const QRectF &rect, const QPalette &palette)
{
    painter->fillRect(rect, semanticColor(SemanticColor::windowBackground, palette));
}

} // namespace tessaline
