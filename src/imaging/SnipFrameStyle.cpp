#include "imaging/SnipFrameStyle.h"

#include "runtime/ImageExportService.h"

#include <QColorSpace>
#include <QColorTransform>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
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
// processor, and waits for all of them. The blur's parts never touch the
// same bytes, so the result does not depend on how the range is cut.
void inParallel(int count, const std::function<void(int, int)> &work)
{
    const int threads = std::clamp(int(std::thread::hardware_concurrency()), 1, std::max(1, count));
    if (threads == 1) {
        work(0, count);
        return;
    }
    std::vector<std::thread> pool;
    pool.reserve(size_t(threads - 1));
    const auto bounds = [&](int part) { return int(qint64(count) * part / threads); };
    for (int part = 1; part < threads; ++part)
        pool.emplace_back(work, bounds(part), bounds(part + 1));
    work(0, bounds(1));
    for (std::thread &thread : pool)
        thread.join();
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

void drawShadow(QPainter &painter, const QImage &image, QPoint imageOrigin, double cornerRadius,
                const SnipFrameStyle &style, const QSize &outputSize)
{
    const int r = boxRadius(style.shadowRadius);
    const int margin = 3 * r + 1;
    const double offset = style.shadowOffsetY;
    const int wholeOffset = int(std::floor(offset));
    // Only the area the blur can reach is worked on; the rest of the output
    // gets no shadow.
    const QRect region(imageOrigin.x() - margin, imageOrigin.y() + wholeOffset - margin, image.width() + 2 * margin,
                       image.height() + 2 * margin + 1);
    if (!region.intersects(QRect(QPoint(0, 0), outputSize)))
        return;
    QImage mask(region.size(), QImage::Format_Alpha8);
    if (mask.isNull())
        return;
    mask.fill(0);
    {
        QPainter shape(&mask);
        shape.setRenderHint(QPainter::Antialiasing, true);
        fillRoundedImage(shape, image, QPointF(margin, margin + (offset - wholeOffset)), cornerRadius,
                         image.hasAlphaChannel());
    }
    blurAlphaMask(mask, style.shadowRadius);
    painter.save();
    painter.setOpacity(style.shadowOpacity);
    painter.drawImage(region.topLeft(), mask);
    painter.restore();
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
    inParallel(bytes.height, [&bytes, r](int first, int last) { boxRows(bytes, r, 3, first, last); });
    inParallel(bytes.width, [&bytes, r](int first, int last) {
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
    QImage source = image;
    const QImage::Format wanted = image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                          : QImage::Format_RGB32;
    if (source.format() != wanted)
        source = source.convertToFormat(wanted);
    if (source.isNull())
        return unexpected(SnipFrameRenderingError::sourceImageUnavailable);
    source.setDevicePixelRatio(1);

    QImage output(*size, QImage::Format_ARGB32_Premultiplied);
    if (output.isNull())
        return unexpected(SnipFrameRenderingError::contextCreationFailed);
    output.setColorSpace(space);

    switch (s.preset) {
    case SnipFramePreset::transparent:
        output.fill(Qt::transparent);
        break;
    case SnipFramePreset::cleanPaper:
    case SnipFramePreset::graphite:
    case SnipFramePreset::warmSand:
        output.fill(frameColor(*SnipFramePresets::flatColor(s.preset), 1, space));
        break;
    case SnipFramePreset::mutedGradient:
        output.fill(Qt::transparent);
        break;
    }

    QPainter painter;
    if (!painter.begin(&output))
        return unexpected(SnipFrameRenderingError::contextCreationFailed);
    if (s.preset == SnipFramePreset::mutedGradient) {
        // Corner to corner of the whole picture, padded beyond both ends.
        QLinearGradient gradient(QPointF(0, 0), QPointF(size->width(), size->height()));
        gradient.setColorAt(0, frameColor(SnipFramePresets::gradientStartColor(), 1, space));
        gradient.setColorAt(1, frameColor(SnipFramePresets::gradientEndColor(), 1, space));
        gradient.setSpread(QGradient::PadSpread);
        painter.fillRect(QRect(QPoint(0, 0), *size), gradient);
    }

    const double radius = effectiveCornerRadius(s, source.size());
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    if (s.shadowIsEnabled && s.shadowOpacity > 0 && s.shadowRadius > 0)
        drawShadow(painter, source, QPoint(p, p), radius, s, *size);
    if (radius > 0)
        fillRoundedImage(painter, source, QPointF(p, p), radius, true);
    else
        painter.drawImage(QPoint(p, p), source);
    if (!painter.end())
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
