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

QImage shadowImage(const QSize &shapeSize, qreal radius, const QColor &color, qreal blur, qreal ratio)
{
    const QString key = QStringLiteral("%1x%2/%3/%4/%5/%6")
                            .arg(shapeSize.width())
                            .arg(shapeSize.height())
                            .arg(radius)
                            .arg(blur)
                            .arg(color.rgba(), 0, 16)
                            .arg(ratio);
    static QCache<QString, QImage> cache(64);
    if (QImage *cached = cache.object(key))
        return *cached;

    const int margin = int(std::ceil(2 * blur * ratio)) + 1;
    const int width = int(std::lround(shapeSize.width() * ratio)) + 2 * margin;
    const int height = int(std::lround(shapeSize.height() * ratio)) + 2 * margin;
    QImage mask(width, height, QImage::Format_Alpha8);
    mask.fill(0);
    {
        QPainter painter(&mask);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        painter.drawPath(roundedShape(QRectF(margin, margin, shapeSize.width() * ratio, shapeSize.height() * ratio),
                                      radius * ratio));
    }
    std::vector<float> alpha(size_t(width) * height);
    for (int y = 0; y < height; ++y) {
        const uchar *line = mask.constScanLine(y);
        for (int x = 0; x < width; ++x)
            alpha[size_t(y) * width + x] = line[x] / 255.0f;
    }
    // A blur radius of b spreads the edge over about b pixels: sigma ≈ b / 2,
    // and three box passes of radius r give sigma ≈ r.
    boxBlurAlpha(alpha, width, height, std::max(1, int(std::lround(blur * ratio / 2.0))));
    QImage result(width, height, QImage::Format_ARGB32_Premultiplied);
    const QColor rgb = color.toRgb();
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(result.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const float a = std::clamp(alpha[size_t(y) * width + x], 0.0f, 1.0f) * float(rgb.alphaF());
            line[x] = qPremultiply(qRgba(rgb.red(), rgb.green(), rgb.blue(), int(std::lround(a * 255))));
        }
    }
    result.setDevicePixelRatio(ratio);
    cache.insert(key, new QImage(result));
    return result;
}

} // namespace

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
