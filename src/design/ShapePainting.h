#pragma once

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QPen>
#include <QRectF>
#include <QSize>

class QPainter;
class QPalette;

namespace tessaline {

// The rounded rectangle every surface and control is cut from. The radius is
// clamped to half the shorter side, as a continuous corner would be.
QPainterPath roundedShape(const QRectF &rect, qreal radius);

struct InsideStroke {
    QColor color;
    qreal width = 0;
    Qt::PenCapStyle cap = Qt::FlatCap;
    Qt::PenJoinStyle join = Qt::MiterJoin;
    // Dash pattern in logical pixels (drawn, left out, ...); empty for solid.
    QVector<qreal> dashes;
};

// Strokes the shape inside its outline: the outline is inset by half the line
// width, so the line never reaches beyond `rect`. Nothing for a zero width or
// a fully transparent colour.
void strokeInside(QPainter *painter, const QRectF &rect, qreal radius, const InsideStroke &stroke);

// The keyboard focus ring of the app's controls, monochrome like them: a
// label-coloured ring with a window-coloured line inside, so it shows on any
// fill. Drawn inside `rect`.
void paintFocusRing(QPainter *painter, const QRectF &rect, qreal radius, const QPalette &palette,
                    bool increasedContrast);

// The picture paintShadow draws for a rounded shape of `shapeSize` logical
// pixels at `ratio` device pixels each, with room around it for the blur.
// Sides longer than the corners and the blur need (and than
// `blurredWholeUpTo` device pixels) repeat their middle rather than being
// blurred whole, which gives the same picture to within a step of alpha.
// Made with 0, as paintShadow asks for it, the picture is kept.
QImage shadowImage(const QSize &shapeSize, qreal radius, const QColor &color, qreal blur, qreal ratio,
                   int blurredWholeUpTo = 0);

// A soft shadow of the rounded shape, `blur` logical pixels wide and moved by
// `offset`. The blurred image is cached per size, radius, blur and colour.
void paintShadow(QPainter *painter, const QRectF &rect, qreal radius, const QColor &color, qreal blur,
                 const QPointF &offset);

} // namespace tessaline
