#include "design/ShapePainting.h"

#include "design/SemanticColors.h"

#include <QCache>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace tessaline {

QPainterPath roundedShape(const QRectF &rect, qreal radius)
{
    QPainterPath path;
    const qreal r = std::clamp(radius, 0.0, std::min(rect.width(), rect.height()) / 2);
    if (r <= 0)
        path.addRect(rect);
    else
        path.addRoundedRect(rect, r, r);
    return path;
}

void strokeInside(QPainter *painter, const QRectF &rect, qreal radius, const InsideStroke &stroke)
{
    if (stroke.width <= 0 || stroke.color.alpha() == 0 || rect.isEmpty())
        return;
    const qreal half = stroke.width / 2;
    const QRectF inset = rect.adjusted(half, half, -half, -half);
    if (inset.width() < 0 || inset.height() < 0)
        return;
    QPen pen(stroke.color, stroke.width, Qt::SolidLine, stroke.cap, stroke.join);
    pen.setMiterLimit(10);
    if (!stroke.dashes.isEmpty()) {
        // Qt measures dashes in pen widths.
        QVector<qreal> pattern;
        for (qreal length : stroke.dashes)
            pattern.append(length / stroke.width);
        pen.setDashPattern(pattern);
        pen.setDashOffset(0);
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawPath(roundedShape(inset, std::max(0.0, radius - half)));
    painter->restore();
}

void paintFocusRing(QPainter *painter, const QRectF &rect, qreal radius, const QPalette &palette,
                    bool increasedContrast)
{
    strokeInside(painter, rect, radius,
                 {resolveColor({SemanticColor::label, 0.8}, palette, increasedContrast), 2, Qt::FlatCap, Qt::MiterJoin, {}});
    strokeInside(painter, rect.adjusted(2, 2, -2, -2), std::max(0.0, radius - 2),
                 {resolveColor({SemanticColor::windowBackground, 0.9}, palette, increasedContrast), 1, Qt::FlatCap,
                  Qt::MiterJoin, {}});
}

namespace {

// Three box passes approximate a Gaussian; one pass per direction each time.
void boxBlurAlpha(std::vector<float> &alpha, int width, int height, int radius)
{
    if (radius <= 0)
        return;
    std::vector<float> scratch(alpha.size());
    const float scale = 1.0f / float(2 * radius + 1);
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < height; ++y) {
            const float *row = alpha.data() + size_t(y) * width;
            float *out = scratch.data() + size_t(y) * width;
            float sum = 0;
            for (int x = -radius; x <= radius; ++x)
                sum += row[std::clamp(x, 0, width - 1)];
            for (int x = 0; x < width; ++x) {
                out[x] = sum * scale;
                sum += row[std::min(x + radius + 1, width - 1)] - row[std::max(x - radius, 0)];
            }
        }
        for (int x = 0; x < width; ++x) {
            float sum = 0;
            for (int y = -radius; y <= radius; ++y)
                sum += scratch[size_t(std::clamp(y, 0, height - 1)) * width + x];
            for (int y = 0; y < height; ++y) {
                alpha[size_t(y) * width + x] = sum * scale;
                sum += scratch[size_t(std::min(y + radius + 1, height - 1)) * width + x]
                    - scratch[size_t(std::max(y - radius, 0)) * width + x];
            }
        }
    }
}

// The shadow of a rounded shape of `shape` device pixels, in an image of
// `size` with `margin` pixels around it, blurred whole.
QImage blurredShadow(const QSize &size, const QSizeF &shape, qreal radius, const QColor &color, int margin,
                     int boxRadius)
{
    const int width = size.width();
    const int height = size.height();
    QImage mask(width, height, QImage::Format_Alpha8);
    mask.fill(0);
    {
        QPainter painter(&mask);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        painter.drawPath(roundedShape(QRectF(QPointF(margin, margin), shape), radius));
    }
    std::vector<float> alpha(size_t(width) * height);
    for (int y = 0; y < height; ++y) {
        const uchar *line = mask.constScanLine(y);
        for (int x = 0; x < width; ++x)
            alpha[size_t(y) * width + x] = line[x] / 255.0f;
    }
    boxBlurAlpha(alpha, width, height, boxRadius);
    QImage result(width, height, QImage::Format_ARGB32_Premultiplied);
    const QColor rgb = color.toRgb();
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(result.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const float a = std::clamp(alpha[size_t(y) * width + x], 0.0f, 1.0f) * float(rgb.alphaF());
            line[x] = qPremultiply(qRgba(rgb.red(), rgb.green(), rgb.blue(), int(std::lround(a * 255))));
        }
    }
    return result;
}

// `core` made `size` large by repeating its middle column and row.
QImage stretched(const QImage &core, const QSize &size)
{
    const int middleX = core.width() / 2;
    const int middleY = core.height() / 2;
    // Where the core's right and bottom parts begin in the result.
    const int right = size.width() - (core.width() - middleX);
    const int bottom = size.height() - (core.height() - middleY);
    QImage result(size, core.format());
    for (int y = 0; y < size.height(); ++y) {
        const int from = y < middleY ? y : (y >= bottom ? y - (size.height() - core.height()) : middleY);
        const auto *in = reinterpret_cast<const QRgb *>(core.constScanLine(from));
        auto *out = reinterpret_cast<QRgb *>(result.scanLine(y));
        std::copy(in, in + middleX, out);
        std::fill(out + middleX, out + right, in[middleX]);
        std::copy(in + middleX, in + core.width(), out + right);
    }
    return result;
}

} // namespace

QImage shadowImage(const QSize &shapeSize, qreal radius, const QColor &color, qreal blur, qreal ratio,
                   int blurredWholeUpTo)
{
    const QString key = QStringLiteral("%1x%2/%3/%4/%5/%6")
                            .arg(shapeSize.width())
                            .arg(shapeSize.height())
                            .arg(radius)
                            .arg(blur)
                            .arg(color.rgba(), 0, 16)
                            .arg(ratio);
    static QCache<QString, QImage> cache(64);
    const bool cached = blurredWholeUpTo == 0;
    if (QImage *kept = cached ? cache.object(key) : nullptr)
        return *kept;

    const int margin = int(std::ceil(2 * blur * ratio)) + 1;
    const QSizeF shape = QSizeF(shapeSize) * ratio;
    const QSize size(int(std::lround(shape.width())) + 2 * margin, int(std::lround(shape.height())) + 2 * margin);
    // A blur radius of b spreads the edge over about b pixels: sigma ≈ b / 2,
    // and three box passes of radius r give sigma ≈ r.
    const int boxRadius = std::max(1, int(std::lround(blur * ratio / 2.0)));
    // Past a corner's rounding and the blur's reach, every row of a side's
    // shadow is the same, and every column of the top's and the bottom's. A
    // larger shape's shadow is that of one just large enough to keep its
    // corners apart, its middle row and column repeated: blurring a card's
    // whole shadow took 13 ms of a frame.
    const int reach = margin + int(std::ceil(radius * ratio)) + 3 * boxRadius + 1;
    const int whole = std::max(2 * reach + 1, blurredWholeUpTo);
    const QSize core(std::min(size.width(), whole), std::min(size.height(), whole));
    // The core's shape keeps the shape's fraction of a pixel at its far sides.
    const QSizeF coreShape = shape - QSizeF(size - core);
    QImage result = blurredShadow(core, coreShape, radius * ratio, color, margin, boxRadius);
    if (core != size)
        result = stretched(result, size);
    result.setDevicePixelRatio(ratio);
    if (cached)
        cache.insert(key, new QImage(result));
    return result;
}


void paintShadow(QPainter *painter, const QRectF &rect, qreal radius, const QColor &color, qreal blur,
                 const QPointF &offset)
{
    if (color.alpha() == 0 || rect.isEmpty())
        return;
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QSize shapeSize(int(std::ceil(rect.width())), int(std::ceil(rect.height())));
    const QImage image = shadowImage(shapeSize, radius, color, blur, ratio);
    const qreal margin = (image.width() - std::lround(shapeSize.width() * ratio)) / 2 / ratio;
    painter->drawImage(rect.topLeft() + offset - QPointF(margin, margin), image);
}

} // namespace tessaline
