#include "imaging/SnipFrameStyle.h"

#include "platform/ParallelParts.h"
#include "runtime/ImageExportService.h"

#include <QColorSpace>
#include <QColorTransform>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

namespace tessaline {

namespace SnipFramePresets {

QList<SnipFramePreset> all()
{
    return {SnipFramePreset::transparent, SnipFramePreset::cleanPaper, SnipFramePreset::graphite,
            SnipFramePreset::warmSand, SnipFramePreset::mutedGradient};
}

QString rawValue(SnipFramePreset preset)
{
    switch (preset) {
    case SnipFramePreset::transparent:
        return QStringLiteral("transparent");
    case SnipFramePreset::cleanPaper:
        return QStringLiteral("cleanPaper");
    case SnipFramePreset::graphite:
        return QStringLiteral("graphite");
    case SnipFramePreset::warmSand:
        return QStringLiteral("warmSand");
    case SnipFramePreset::mutedGradient:
        return QStringLiteral("mutedGradient");
    }
    return QString();
}

std::optional<SnipFramePreset> fromRawValue(QStringView raw)
{
    for (SnipFramePreset preset : all()) {
        if (raw == rawValue(preset))
            return preset;
    }
    return std::nullopt;
}

QJsonValue toJson(SnipFramePreset preset)
{
    return QJsonValue(rawValue(preset));
}

std::optional<SnipFramePreset> fromJson(const QJsonValue &value)
{
    if (!value.isString())
        return std::nullopt;
    return fromRawValue(value.toString());
}

QString displayName(SnipFramePreset preset)
{
    switch (preset) {
    case SnipFramePreset::transparent:
        return QStringLiteral("Transparent");
    case SnipFramePreset::cleanPaper:
        return QStringLiteral("Clean Paper");
    case SnipFramePreset::graphite:
        return QStringLiteral("Graphite");
    case SnipFramePreset::warmSand:
        return QStringLiteral("Warm Sand");
    case SnipFramePreset::mutedGradient:
        return QStringLiteral("Muted Gradient");
    }
    return QString();
}

std::optional<QColor> flatColor(SnipFramePreset preset)
{
    switch (preset) {
    case SnipFramePreset::cleanPaper:
        return QColor::fromRgbF(0.956f, 0.949f, 0.932f);
    case SnipFramePreset::graphite:
        return QColor::fromRgbF(0.105f, 0.11f, 0.118f);
    case SnipFramePreset::warmSand:
        return QColor::fromRgbF(0.89f, 0.81f, 0.69f);
    case SnipFramePreset::transparent:
    case SnipFramePreset::mutedGradient:
        break;
    }
    return std::nullopt;
}

QColor gradientStartColor()
{
    return QColor::fromRgbF(0.69f, 0.655f, 0.72f);
}

QColor gradientEndColor()
{
    return QColor::fromRgbF(0.31f, 0.345f, 0.39f);
}

} // namespace SnipFramePresets

namespace {

// Values at or below the floor (and NaN) become the floor.
double clampValue(double value, double low, double high)
{
    if (!(value > low))
        return low;
    return value > high ? high : value;
}

} // namespace

SnipFrameStyle SnipFrameStyle::clamped() const
{
    SnipFrameStyle style = *this;
    style.padding = clampValue(padding, 0, 512);
    style.cornerRadius = clampValue(cornerRadius, 0, 256);
    style.shadowRadius = clampValue(shadowRadius, 0, 256);
    style.shadowOpacity = clampValue(shadowOpacity, 0, 1);
    style.shadowOffsetY = clampValue(shadowOffsetY, -256, 256);
    return style;
}

QString snipFrameRenderingErrorMessage(SnipFrameRenderingError error)
{
    switch (error) {
    case SnipFrameRenderingError::sourceImageUnavailable:
        return QStringLiteral("The screenshot could not be read at its original resolution.");
    case SnipFrameRenderingError::invalidDimensions:
        return QStringLiteral("The framed screenshot would be too large to render.");
    case SnipFrameRenderingError::colorSpaceUnavailable:
        return QStringLiteral("The standard RGB color space is unavailable.");
    case SnipFrameRenderingError::contextCreationFailed:
        return QStringLiteral("The framed screenshot could not be prepared.");
    case SnipFrameRenderingError::outputImageUnavailable:
        break;
    }
    return QStringLiteral("The framed screenshot could not be created.");
}

namespace SnipFrameRenderer {

namespace {

// A colour given in sRGB, as it reads in the output's colour space.
QColor frameColor(const QColor &srgb, qreal alpha, const QColorSpace &target)
{
    QColor color = srgb;
    color.setAlphaF(float(std::clamp<qreal>(alpha, 0, 1)));
    const QColorSpace sRgb(QColorSpace::SRgb);
    if (!target.isValid() || target == sRgb)
        return color;
    return sRgb.transformationToColorSpace(target).map(color);
}

// Runs `work(first, last)` over [0, count) in contiguous parts, one per
// processor but no smaller than `grain`, and waits for all of them. The
// blur's parts never touch the same bytes, so the result does not depend on
// how the range is cut. Small work stays on the calling thread: starting
// threads would cost more than it saves.
void inParallel(int count, int grain, const std::function<void(int, int)> &work)
{
    const int threads =
        std::clamp(int(std::thread::hardware_concurrency()), 1, std::max(1, count / std::max(1, grain)));
    if (threads == 1) {
        work(0, count);
        return;
    }
    const auto bounds = [&](int part) { return int(qint64(count) * part / threads); };
    runParallelParts(threads, [&](int part) { work(bounds(part), bounds(part + 1)); });
}

// `passes` box passes along each row from `first` to `last`: each pixel
// becomes the mean of the 2r + 1 pixels around it, with zeros beyond the
// ends. A row is done whole before the next, so it stays in cache.
// The mask's bytes, taken once: the parallel parts must not call QImage's
// detaching accessors at the same time.
struct MaskBytes
{
    uchar *bits;
    qsizetype stride;
    int width;
    int height;
    uchar *row(int y) const { return bits + stride * y; }
};

void boxRows(const MaskBytes &mask, int r, int passes, int first, int last)
{
    const int width = mask.width;
    const int window = 2 * r + 1;
    const quint64 reciprocal = (quint64(1) << 32) / quint64(window);
    std::vector<uchar> line(static_cast<size_t>(width));
    for (int y = first; y < last; ++y) {
        uchar *row = mask.row(y);
        for (int pass = 0; pass < passes; ++pass) {
            std::memcpy(line.data(), row, size_t(width));
            quint32 sum = 0;
            for (int x = 0; x < std::min(r, width); ++x)
                sum += line[size_t(x)];
            for (int x = 0; x < width; ++x) {
                if (x + r < width)
                    sum += line[size_t(x + r)];
                if (x - r - 1 >= 0)
                    sum -= line[size_t(x - r - 1)];
                row[x] = uchar((sum * reciprocal + (quint64(1) << 31)) >> 32);
            }
        }
    }
}

// One pass along the columns `first` to `last`, a row at a time so memory
// is read in order. Only the r + 1 rows that still leave the window later
// are kept aside, so the pass needs no second copy of the mask.
void boxColumns(const MaskBytes &mask, int r, int first, int last)
{
    const int height = mask.height;
    const int window = 2 * r + 1;
    const quint64 reciprocal = (quint64(1) << 32) / quint64(window);
    const size_t rowBytes = static_cast<size_t>(last - first);
    std::vector<uchar> kept(rowBytes * static_cast<size_t>(r + 1));
    std::vector<quint32> sums(rowBytes, 0);
    for (int y = 0; y < std::min(r, height); ++y) {
        const uchar *row = mask.row(y) + first;
        for (size_t x = 0; x < rowBytes; ++x)
            sums[x] += row[x];
    }
    for (int y = 0; y < height; ++y) {
        if (y + r < height) {
            const uchar *entering = mask.row(y + r) + first;
            for (size_t x = 0; x < rowBytes; ++x)
                sums[x] += entering[x];
        }
        // Row y − r − 1 and row y share a slot: the old row is read out
        // before this one is kept there.
        uchar *slot = kept.data() + rowBytes * static_cast<size_t>(y % (r + 1));
        if (y - r - 1 >= 0) {
            for (size_t x = 0; x < rowBytes; ++x)
                sums[x] -= slot[x];
        }
        uchar *out = mask.row(y) + first;
        std::memcpy(slot, out, rowBytes);
        for (size_t x = 0; x < rowBytes; ++x)
            out[x] = uchar((sums[x] * reciprocal + (quint64(1) << 31)) >> 32);
    }
}

// The box radius whose three passes have the variance of a Gaussian with
// standard deviation blur / 2: 3 · (r² + r) / 3 = (blur / 2)².
int boxRadius(double blur)
{
    if (!(blur > 0))
        return 0;
    return int(std::lround((std::sqrt(1.0 + blur * blur) - 1.0) / 2.0));
}

// Fills the image's rounded shape: its own pixels, one to one, inside the
// corner path, edges antialiased.
void fillRoundedImage(QPainter &painter, const QImage &image, QPointF origin, double radius, bool useAlpha)
{
    const QRectF rect(origin, QSizeF(image.size()));
    painter.setPen(Qt::NoPen);
    if (useAlpha) {
        QBrush brush(image);
        brush.setTransform(QTransform::fromTranslate(origin.x(), origin.y()));
        painter.setBrush(brush);
    } else {
        painter.setBrush(Qt::black);
    }
    if (radius > 0)
        painter.drawRoundedRect(rect, radius, radius, Qt::AbsoluteSize);
    else
        painter.drawRect(rect);
}

// The blurred shadow of the snip, as the pieces of an Alpha8 mask that can
// show: where the snip is opaque, the shadow under its inside is covered
// and is neither made nor drawn.
struct ShadowPiece
{
    QPoint origin; // in the output
    QImage mask;
};

// The shadow's mask, blurred, over `region` of the output.
//
// For an opaque snip the mask is a rounded rectangle. Away from its corners
// every row (and every column) of it is the same, and a box blur leaves a
// run of equal rows equal, so a rectangle just long enough to hold both
// corners and the blur's reach is blurred instead, and the long sides are
// stretched out of its middle row and column. That is the same mask to the
// last bit, at a cost that no longer grows with the snip's size.
class ShadowMask
{
public:
    ShadowMask(const QImage &image, double cornerRadius, const SnipFrameStyle &style)
        : m_radius(boxRadius(style.shadowRadius)), m_margin(3 * m_radius + 1)
    {
        const double offset = style.shadowOffsetY;
        m_fraction = offset - std::floor(offset);
        m_size = QSize(image.width() + 2 * m_margin, image.height() + 2 * m_margin + 1);
        // Rows and columns this far from the region's edges reach only the
        // straight part of the shape, corners and blur included.
        m_edge = m_margin + int(std::ceil(cornerRadius)) + 3 * m_radius + 4;
        QSize shape = image.size();
        if (!image.hasAlphaChannel()) {
            if (m_size.width() > 2 * m_edge + 1) {
                shape.setWidth(2 * m_edge + 1 - 2 * m_margin);
                m_stretchX = true;
            }
            if (m_size.height() > 2 * m_edge + 1) {
                shape.setHeight(2 * m_edge + 1 - 2 * m_margin - 1);
                m_stretchY = true;
            }
        }
        m_mask = QImage(QSize(shape.width() + 2 * m_margin, shape.height() + 2 * m_margin + 1), QImage::Format_Alpha8);
        if (m_mask.isNull())
            return;
        m_mask.fill(0);
        {
            QPainter painter(&m_mask);
            painter.setRenderHint(QPainter::Antialiasing, true);
            const QPointF origin(m_margin, m_margin + m_fraction);
            if (shape == image.size()) {
                fillRoundedImage(painter, image, origin, cornerRadius, image.hasAlphaChannel());
            } else {
                painter.setPen(Qt::NoPen);
                painter.setBrush(Qt::black);
                const QRectF rect(origin, QSizeF(shape));
                if (cornerRadius > 0)
                    painter.drawRoundedRect(rect, cornerRadius, cornerRadius, Qt::AbsoluteSize);
                else
                    painter.drawRect(rect);
            }
        }
        blurAlphaMask(m_mask, style.shadowRadius);
    }

    bool isNull() const { return m_mask.isNull(); }
    QSize size() const { return m_size; }

    // The part `part` of the full-size mask (in its own coordinates).
    QImage piece(const QRect &part) const
    {
        QImage out(part.size(), QImage::Format_Alpha8);
        if (out.isNull())
            return out;
        for (int y = 0; y < part.height(); ++y) {
            const uchar *from = m_mask.constScanLine(sourceRow(part.top() + y));
            uchar *to = out.scanLine(y);
            if (!m_stretchX) {
                std::memcpy(to, from + part.left(), size_t(part.width()));
                continue;
            }
            // The left end, the middle column repeated, the right end.
            const int middleStart = std::clamp(m_edge, part.left(), part.left() + part.width());
            const int middleEnd = std::clamp(m_size.width() - m_edge, middleStart, part.left() + part.width());
            const int shift = m_size.width() - m_mask.width();
            std::memcpy(to, from + part.left(), size_t(middleStart - part.left()));
            std::memset(to + (middleStart - part.left()), from[m_edge], size_t(middleEnd - middleStart));
            std::memcpy(to + (middleEnd - part.left()), from + middleEnd - shift,
                        size_t(part.left() + part.width() - middleEnd));
        }
        return out;
    }

private:
    int sourceRow(int y) const
    {
        if (!m_stretchY || y < m_edge)
            return y;
        if (y >= m_size.height() - m_edge)
            return y - (m_size.height() - m_mask.height());
        return m_edge;
    }

    int m_radius;
    int m_margin;
    double m_fraction = 0;
    QSize m_size;
    int m_edge = 0;
    bool m_stretchX = false;
    bool m_stretchY = false;
    QImage m_mask;
};

// The shadow pieces to draw, in output coordinates.
std::vector<ShadowPiece> shadowPieces(const QImage &image, QPoint imageOrigin, double cornerRadius,
                                      const SnipFrameStyle &style, const QSize &outputSize)
{
    const ShadowMask mask(image, cornerRadius, style);
    if (mask.isNull())
        return {};
    const int margin = 3 * boxRadius(style.shadowRadius) + 1;
    const QPoint origin(imageOrigin.x() - margin, imageOrigin.y() + int(std::floor(style.shadowOffsetY)) - margin);
    // Only the area the blur can reach is worked on, within the output.
    const QRect region = QRect(origin, mask.size()).intersected(QRect(QPoint(0, 0), outputSize));
    if (region.isEmpty())
        return {};
    std::vector<QRect> parts;
    // Under an opaque snip, all but a rim as wide as the corners (and a
    // pixel for the antialiased edge) is covered by it.
    const int inset = int(std::ceil(cornerRadius)) + 1;
    const QRect covered = image.hasAlphaChannel()
        ? QRect()
        : QRect(imageOrigin, image.size()).adjusted(inset, inset, -inset, -inset).intersected(region);
    if (covered.isEmpty()) {
        parts.push_back(region);
    } else {
        parts.push_back(QRect(QPoint(region.left(), region.top()), QPoint(region.right(), covered.top() - 1)));
        parts.push_back(QRect(QPoint(region.left(), covered.bottom() + 1), QPoint(region.right(), region.bottom())));
        parts.push_back(QRect(QPoint(region.left(), covered.top()), QPoint(covered.left() - 1, covered.bottom())));
        parts.push_back(QRect(QPoint(covered.right() + 1, covered.top()), QPoint(region.right(), covered.bottom())));
    }
    std::vector<ShadowPiece> pieces;
    for (const QRect &part : parts) {
        if (part.isEmpty())
            continue;
        QImage piece = mask.piece(part.translated(-origin));
        if (piece.isNull())
            return {};
        pieces.push_back({part.topLeft(), std::move(piece)});
    }
    return pieces;
}

} // namespace

int pixelPadding(const SnipFrameStyle &style)
{
    return int(std::round(style.clamped().padding));
}

Expected<QSize, SnipFrameRenderingError> outputSize(QSize source, const SnipFrameStyle &style)
{
    if (source.width() <= 0 || source.height() <= 0)
        return unexpected(SnipFrameRenderingError::invalidDimensions);
    const qint64 p = pixelPadding(style);
    const qint64 width = qint64(source.width()) + 2 * p;
    const qint64 height = qint64(source.height()) + 2 * p;
    if (width < 1 || height < 1 || width > maximumSide || height > maximumSide || width * height > maximumArea)
        return unexpected(SnipFrameRenderingError::invalidDimensions);
    return QSize(int(width), int(height));
}

double effectiveCornerRadius(const SnipFrameStyle &style, QSize source)
{
    return std::min(style.clamped().cornerRadius, std::min(source.width(), source.height()) / 2.0);
}

void blurAlphaMask(QImage &mask, double blur)
{
    const int r = boxRadius(blur);
    if (r <= 0 || mask.isNull() || mask.format() != QImage::Format_Alpha8)
        return;
    // Rows are cut among the processors for the row passes, columns for the
    // column passes; each part is a run of whole rows or whole columns.
    const MaskBytes bytes{mask.bits(), mask.bytesPerLine(), mask.width(), mask.height()};
    // Some 64 thousand pixels per part at least: a preview's mask is still
    // shared out, a corner-sized one is not.
    constexpr int partPixels = 1 << 16;
    inParallel(bytes.height, partPixels / bytes.width, [&bytes, r](int first, int last) {
        boxRows(bytes, r, 3, first, last);
    });
    inParallel(bytes.width, partPixels / bytes.height, [&bytes, r](int first, int last) {
        for (int pass = 0; pass < 3; ++pass)
            boxColumns(bytes, r, first, last);
    });
}

Expected<QImage, SnipFrameRenderingError> renderFramedImage(const QImage &image, const SnipFrameStyle &style)
{
    if (image.isNull())
        return unexpected(SnipFrameRenderingError::sourceImageUnavailable);
    const auto size = outputSize(image.size(), style);
    if (!size)
        return unexpected(size.error());
    const SnipFrameStyle s = style.clamped();
    const int p = pixelPadding(style);

    // Our own colour space when the source has none.
    QColorSpace space = image.colorSpace();
    if (!space.isValid()) {
        space = QColorSpace(QColorSpace::SRgb);
        if (!space.isValid())
            return unexpected(SnipFrameRenderingError::colorSpaceUnavailable);
    }

    // The pixels in a format the raster engine copies straight across.
    const QImage::Format wanted = image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                          : QImage::Format_RGB32;
    const QImage converted = image.format() == wanted ? image : image.convertToFormat(wanted);
    if (converted.isNull())
        return unexpected(SnipFrameRenderingError::sourceImageUnavailable);
    // Drawn one pixel to one whatever its device pixel ratio, through a
    // read-only view: changing the ratio on the caller's shared picture
    // would copy all of it.
    const QImage source(converted.constBits(), converted.width(), converted.height(), converted.bytesPerLine(),
                        wanted);

    QImage output(*size, QImage::Format_ARGB32_Premultiplied);
    if (output.isNull())
        return unexpected(SnipFrameRenderingError::contextCreationFailed);
    output.setColorSpace(space);

    const double radius = effectiveCornerRadius(s, source.size());
    std::vector<ShadowPiece> shadow;
    if (s.shadowIsEnabled && s.shadowOpacity > 0 && s.shadowRadius > 0)
        shadow = shadowPieces(source, QPoint(p, p), radius, s, *size);
    std::optional<QColor> flat;
    if (s.preset == SnipFramePreset::transparent || s.preset == SnipFramePreset::mutedGradient)
        flat = QColor(Qt::transparent);
    else
        flat = frameColor(*SnipFramePresets::flatColor(s.preset), 1, space);
    QLinearGradient gradient;
    if (s.preset == SnipFramePreset::mutedGradient) {
        // Corner to corner of the whole picture, padded beyond both ends.
        gradient = QLinearGradient(QPointF(0, 0), QPointF(size->width(), size->height()));
        gradient.setColorAt(0, frameColor(SnipFramePresets::gradientStartColor(), 1, space));
        gradient.setColorAt(1, frameColor(SnipFramePresets::gradientEndColor(), 1, space));
        gradient.setSpread(QGradient::PadSpread);
    }

    // The picture is painted in bands of rows, one per processor, each
    // through its own painter on its own rows: every step is per pixel or
    // rasterised in whole-pixel positions, so the bands join seamlessly.
    uchar *const bits = output.bits();
    const qsizetype stride = output.bytesPerLine();
    const int height = size->height();
    const int bands = std::clamp(int(std::thread::hardware_concurrency()), 1, std::max(1, height / 64));
    std::atomic<bool> failed{false};
    inParallel(bands, 1, [&](int firstBand, int lastBand) {
        const int top = int(qint64(height) * firstBand / bands);
        const int bottom = int(qint64(height) * lastBand / bands);
        if (bottom <= top)
            return;
        QImage band(bits + stride * top, size->width(), bottom - top, stride, QImage::Format_ARGB32_Premultiplied);
        band.fill(*flat);
        QPainter painter;
        if (!painter.begin(&band)) {
            failed = true;
            return;
        }
        painter.translate(0, -top);
        if (s.preset == SnipFramePreset::mutedGradient)
            painter.fillRect(QRect(QPoint(0, 0), *size), gradient);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        const QRect rows(0, top, size->width(), bottom - top);
        if (!shadow.empty()) {
            painter.save();
            painter.setOpacity(s.shadowOpacity);
            for (const ShadowPiece &piece : shadow) {
                const QRect part = QRect(piece.origin, piece.mask.size()).intersected(rows);
                if (!part.isEmpty())
                    painter.drawImage(part.topLeft(), piece.mask, part.translated(-piece.origin));
            }
            painter.restore();
        }
        if (radius > 0)
            fillRoundedImage(painter, source, QPointF(p, p), radius, true);
        else
            painter.drawImage(QPoint(p, p), source);
        if (!painter.end())
            failed = true;
    });
    if (failed)
        return unexpected(SnipFrameRenderingError::outputImageUnavailable);
    output.setDevicePixelRatio(1);
    return output;
}

Expected<QImage, SnipFrameRenderingError> renderFramedImage(const QList<QImage> &representations,
                                                            const SnipFrameStyle &style)
{
    const std::optional<QImage> best = ImageExportService::bestBitmapRepresentation(representations);
    if (!best)
        return unexpected(SnipFrameRenderingError::sourceImageUnavailable);
    return renderFramedImage(*best, style);
}

} // namespace SnipFrameRenderer

} // namespace tessaline
