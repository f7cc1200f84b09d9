#include "model/AnnotationRenderer.h"

#include "platform/TextUtilities.h"

#include <QColor>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QStringList>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <numbers>
#include <vector>

namespace tessaline::AnnotationRenderer {

namespace {

// Coordinates are worked out in long double: a stored point may be any
// finite double, and scaling it to pixels or subtracting two of them must
// neither overflow nor lose the part of a stroke that crosses the image.
using Real = long double;

struct RealPoint
{
    Real x = 0;
    Real y = 0;

    friend bool operator==(const RealPoint &, const RealPoint &) = default;
};

// The editor never goes beyond 20; the cap keeps a hand-made document from
// asking for strokes and glyphs of unbounded size.
constexpr double maximumLineWidth = 100;

constexpr double highlightWidthFactor = 4;
constexpr double minimumArrowHeadLength = 12;
constexpr double minimumFontSize = 14;
// Text inside a pixelation box can be as tall as the box's smaller side;
// glyphs at most this many cells tall are blocks nobody (and no text
// recognition) reads. It also keeps the cells well above a fourteenth of
// that side, the usual scale.
constexpr double cellsAcrossSmallerSide = 3;
constexpr double minimumPixelationCell = 8;
// Qt's antialiased fill takes time that grows with the square of an edge's
// length: a 260,000-pixel arrow on a tall damaged picture took 17 s. Lines
// longer than any screen are drawn as pieces no longer than this, which
// leaves every real picture's lines as they were.
constexpr Real longestDrawnEdge = 16384;

double boundedLineWidth(double lineWidth)
{
    return std::clamp(lineWidth, 0.0, maximumLineWidth);
}

double fontSize(double lineWidth)
{
    return std::max(4 * boundedLineWidth(lineWidth), minimumFontSize);
}

double unitInterval(double value)
{
    return std::clamp(value, 0.0, 1.0);
}

QColor itemColor(const AnnotationColor &color)
{
    return QColor::fromRgbF(float(unitInterval(color.red)), float(unitInterval(color.green)),
                            float(unitInterval(color.blue)), float(unitInterval(color.alpha)));
}

// Scaled in double like every other consumer of the document, so that an
// edge the editor placed on a whole pixel stays on it; long double only
// takes over where the double product would overflow.
Real scaled(double fraction, int extent)
{
    const double product = fraction * extent;
    return std::isfinite(product) ? Real(product) : Real(fraction) * extent;
}

RealPoint toPixels(const NormalizedPoint &point, int width, int height)
{
    return {scaled(point.x, width), scaled(point.y, height)};
}

bool isFinite(const AnnotationItem &item)
{
    const AnnotationColor &c = item.color;
    if (!std::isfinite(item.lineWidth) || !std::isfinite(c.red) || !std::isfinite(c.green)
        || !std::isfinite(c.blue) || !std::isfinite(c.alpha))
        return false;
    return std::all_of(item.points.begin(), item.points.end(), [](const NormalizedPoint &point) {
        return std::isfinite(point.x) && std::isfinite(point.y);
    });
}

// The area in which strokes are kept: the image grown by more than any half
// stroke width, so a segment cut at its border shows no cap inside the image
// while the rasteriser only ever sees moderate coordinates.
struct Bounds
{
    Real left, top, right, bottom;
};

Bounds strokeBounds(int width, int height, double penWidth)
{
    const Real margin = Real(penWidth) + 16;
    return {-margin, -margin, width + margin, height + margin};
}

bool inside(const RealPoint &point, const Bounds &bounds)
{
    return point.x >= bounds.left && point.x <= bounds.right && point.y >= bounds.top && point.y <= bounds.bottom;
}

// Cuts the segment at one boundary line. The crossing is computed from the
// endpoint that lies inside, so the visible part keeps its exact direction
// however far away the other endpoint is.
bool clipToLine(RealPoint &a, RealPoint &b, bool alongX, Real limit, bool keepAbove)
{
    auto coordinate = [alongX](const RealPoint &p) { return alongX ? p.x : p.y; };
    auto keeps = [&](const RealPoint &p) { return keepAbove ? coordinate(p) >= limit : coordinate(p) <= limit; };
    const bool aIn = keeps(a);
    const bool bIn = keeps(b);
    if (aIn && bIn)
        return true;
    if (!aIn && !bIn)
        return false;
    const RealPoint &in = aIn ? a : b;
    RealPoint &out = aIn ? b : a;
    const Real s = (limit - coordinate(in)) / (coordinate(out) - coordinate(in));
    RealPoint crossing{in.x + s * (out.x - in.x), in.y + s * (out.y - in.y)};
    (alongX ? crossing.x : crossing.y) = limit;
    out = crossing;
    return true;
}

bool clipSegment(RealPoint &a, RealPoint &b, const Bounds &bounds)
{
    return clipToLine(a, b, true, bounds.left, true) && clipToLine(a, b, true, bounds.right, false)
        && clipToLine(a, b, false, bounds.top, true) && clipToLine(a, b, false, bounds.bottom, false);
}

QPointF toQt(const RealPoint &point)
{
    return QPointF(double(point.x), double(point.y));
}

// Adds the polyline to the path, cut to the bounds. Pieces that leave and
// re-enter become separate subpaths of the same path, which is stroked once,
// so a translucent stroke never darkens where the pieces meet.
void addPolyline(QPainterPath &path, const std::vector<RealPoint> &points, const Bounds &bounds)
{
    bool continuing = false;
    for (size_t i = 0; i + 1 < points.size(); ++i) {
        RealPoint a = points[i];
        RealPoint b = points[i + 1];
        if (!clipSegment(a, b, bounds)) {
            continuing = false;
            continue;
        }
        if (!continuing || !(a == points[i]))
            path.moveTo(toQt(a));
        const Real length = std::hypot(b.x - a.x, b.y - a.y);
        if (length > longestDrawnEdge) {
            // Pieces of one subpath each: a round cap at each cut lies
            // inside the line, and the stroke is filled as one shape.
            const int pieces = int(std::ceil(length / (longestDrawnEdge / 4)));
            for (int piece = 1; piece < pieces; ++piece) {
                const RealPoint cut{a.x + (b.x - a.x) * piece / pieces, a.y + (b.y - a.y) * piece / pieces};
                path.lineTo(toQt(cut));
                path.moveTo(toQt(cut));
            }
        }
        path.lineTo(toQt(b));
        continuing = b == points[i + 1];
    }
}

QPen strokePen(const AnnotationItem &item, double width)
{
    QPen pen(itemColor(item.color));
    pen.setWidthF(width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

void drawPolyline(QPainter &painter, const AnnotationItem &item, const std::vector<RealPoint> &points,
                  double penWidth, int width, int height)
{
    QPainterPath path;
    addPolyline(path, points, strokeBounds(width, height, penWidth));
    if (!path.isEmpty())
        painter.strokePath(path, strokePen(item, penWidth));
}

void drawArrow(QPainter &painter, const AnnotationItem &item, const std::vector<RealPoint> &points, int width,
               int height)
{
    if (item.points.first() == item.points.last())
        return;
    const double penWidth = boundedLineWidth(item.lineWidth);
    const RealPoint tail = points.front();
    const RealPoint tip = points.back();
    const Bounds bounds = strokeBounds(width, height, penWidth);
    const QPen pen = strokePen(item, penWidth);

    QPainterPath shaft;
    addPolyline(shaft, {tail, tip}, bounds);
    if (!shaft.isEmpty())
        painter.strokePath(shaft, pen);

    const Real length = std::max(4 * penWidth, minimumArrowHeadLength);
    const Real angle = std::atan2(tip.y - tail.y, tip.x - tail.x);
    constexpr Real barbAngle = std::numbers::pi_v<Real> / 7;
    const RealPoint barb1{tip.x - length * std::cos(angle - barbAngle), tip.y - length * std::sin(angle - barbAngle)};
    const RealPoint barb2{tip.x - length * std::cos(angle + barbAngle), tip.y - length * std::sin(angle + barbAngle)};
    QPainterPath head;
    addPolyline(head, {tip, barb1}, bounds);
    addPolyline(head, {tip, barb2}, bounds);
    if (!head.isEmpty())
        painter.strokePath(head, pen);
}

void drawRectangle(QPainter &painter, const AnnotationItem &item, const std::vector<RealPoint> &points, int width,
                   int height)
{
    const double penWidth = boundedLineWidth(item.lineWidth);
    const Bounds bounds = strokeBounds(width, height, penWidth);
    const RealPoint a = points.front();
    const RealPoint b = points.back();
    const Real left = std::min(a.x, b.x), right = std::max(a.x, b.x);
    const Real top = std::min(a.y, b.y), bottom = std::max(a.y, b.y);
    QPainterPath path;
    if (inside({left, top}, bounds) && inside({right, bottom}, bounds)) {
        path.addRect(QRectF(QPointF(double(left), double(top)), QPointF(double(right), double(bottom))));
    } else {
        // Round caps meeting at the first corner cover it exactly as a round
        // join would, so the open outline looks like the closed one.
        addPolyline(path, {{left, top}, {right, top}, {right, bottom}, {left, bottom}, {left, top}}, bounds);
    }
    if (!path.isEmpty())
        painter.strokePath(path, strokePen(item, penWidth));
}

// Line breaks as a text view shows them: a carriage return, alone or before
// a line feed, and the line and paragraph separators start a new line too.
QStringList textLines(const QString &text)
{
    QString normalised;
    normalised.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r') {
            normalised += u'\n';
            if (i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
        } else if (c == QChar::LineSeparator || c == QChar::ParagraphSeparator) {
            normalised += u'\n';
        } else {
            normalised += c;
        }
    }
    return normalised.split(u'\n');
}

void drawText(QPainter &painter, const AnnotationItem &item, const RealPoint &anchor, int width, int height)
{
    if (!item.text)
        return;
    const QString text = trimmedWhitespace(*item.text);
    if (text.isEmpty())
        return;

    const double size = fontSize(item.lineWidth);
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setWeight(QFont::DemiBold);
    // A point size that comes out as exactly `size` pixels on this device,
    // whatever resolution the image claims.
    const int dpi = painter.device() ? painter.device()->logicalDpiY() : 72;
    font.setPointSizeF(size * 72.0 / (dpi > 0 ? dpi : 72));
    const TextLabelLayout label = layOutTextLabel(text, font, painter.device());

    // The layout box's lower-left corner lies one font size below the anchor;
    // further lines grow the box upward.
    const Real left = anchor.x;
    const Real bottom = anchor.y + Real(size);
    const Real top = bottom - Real(label.size.height());
    if (left > width || left + Real(label.size.width()) < 0 || bottom < 0 || top > height)
        return;

    painter.save();
    painter.setPen(itemColor(item.color));
    drawTextLabel(painter, label, QPointF(double(left), double(top)));
    painter.restore();
}

// One axis of the pixelation grid: cell edges sit at phase + k × scale and a
// pixel belongs to the cell whose span holds the pixel's centre. Returns the first pixel of
// every cell that meets [begin, end), followed by `end`.
std::vector<int> cellEdges(int begin, int end, Real phase, Real scale)
{
    std::vector<int> edges{begin};
    int position = begin;
    while (position < end) {
        const Real cell = std::floor((position + 0.5L - phase) / scale);
        const Real next = std::ceil(phase + (cell + 1) * scale - 0.5L);
        const int nextPosition = next >= end ? end : next <= position ? position + 1 : int(next);
        edges.push_back(nextPosition);
        position = nextPosition;
    }
    return edges;
}

struct PixelSource
{
    const uchar *bits = nullptr;
    qsizetype bytesPerLine = 0;
    bool opaque = false; // RGB32: the alpha byte is undefined and reads as 255
};

// Replaces every cell of the rectangle by the average of the source pixels
// inside it (premultiplied, so translucent pixels weigh by their alpha).
// Rows are summed straight from the raw lines: one pass to add, one to fill.
void pixelateRect(uchar *target, qsizetype targetBytesPerLine, const PixelSource &source, const QRect &area,
                  Real phaseX, Real phaseY, Real scale)
{
    const std::vector<int> columns = cellEdges(area.left(), area.left() + area.width(), phaseX, scale);
    const std::vector<int> rows = cellEdges(area.top(), area.top() + area.height(), phaseY, scale);
    const size_t columnCount = columns.size() - 1;
    std::vector<quint64> sums(columnCount * 4);
    std::vector<quint32> averages(columnCount);

    for (size_t band = 0; band + 1 < rows.size(); ++band) {
        const int rowBegin = rows[band];
        const int rowEnd = rows[band + 1];
        std::fill(sums.begin(), sums.end(), 0);
        for (int y = rowBegin; y < rowEnd; ++y) {
            const auto *line = reinterpret_cast<const quint32 *>(source.bits + y * source.bytesPerLine);
            for (size_t c = 0; c < columnCount; ++c) {
                quint64 *cell = &sums[c * 4];
                // Two channels per 32-bit sum, 16 bits each: 256 pixels of
                // 255 still fit a lane, so the lanes are emptied that often.
                // The plain loop vectorises well.
                for (int x = columns[c]; x < columns[c + 1];) {
                    const int chunkEnd = std::min(columns[c + 1], x + 256);
                    quint32 alphaGreen = 0;
                    quint32 redBlue = 0;
                    for (; x < chunkEnd; ++x) {
                        const quint32 pixel = line[x];
                        alphaGreen += (pixel >> 8) & 0x00ff00ffu;
                        redBlue += pixel & 0x00ff00ffu;
                    }
                    cell[0] += alphaGreen >> 16;
                    cell[1] += redBlue >> 16;
                    cell[2] += alphaGreen & 0xffffu;
                    cell[3] += redBlue & 0xffffu;
                }
            }
        }
        for (size_t c = 0; c < columnCount; ++c) {
            const quint64 count = quint64(rowEnd - rowBegin) * quint64(columns[c + 1] - columns[c]);
            const quint64 *cell = &sums[c * 4];
            auto average = [count](quint64 sum) { return quint32((sum + count / 2) / count); };
            const quint32 alpha = source.opaque ? 255u : average(cell[0]);
            averages[c] = alpha << 24 | average(cell[1]) << 16 | average(cell[2]) << 8 | average(cell[3]);
        }
        for (int y = rowBegin; y < rowEnd; ++y) {
            auto *line = reinterpret_cast<quint32 *>(target + y * targetBytesPerLine);
            for (size_t c = 0; c < columnCount; ++c)
                std::fill(line + columns[c], line + columns[c + 1], averages[c]);
        }
    }
}

// Pixelates one box from the source pixels. A box of a pixel or less in
// either direction is skipped, as is the part of a box beyond the image.
void pixelateItem(const AnnotationItem &item, uchar *target, qsizetype targetBytesPerLine, const PixelSource &source,
                  int width, int height)
{
    const RealPoint a = toPixels(item.points.first(), width, height);
    const RealPoint b = toPixels(item.points.last(), width, height);
    const Real boxWidth = std::abs(b.x - a.x);
    const Real boxHeight = std::abs(b.y - a.y);
    if (boxWidth <= 1 || boxHeight <= 1)
        return;

    // The whole-pixel rectangle around the box.
    const Real left = std::floor(std::min(a.x, b.x));
    const Real top = std::floor(std::min(a.y, b.y));
    const Real right = std::ceil(std::max(a.x, b.x));
    const Real bottom = std::ceil(std::max(a.y, b.y));
    const Real clippedLeft = std::max(left, Real(0));
    const Real clippedTop = std::max(top, Real(0));
    const Real clippedRight = std::min(right, Real(width));
    const Real clippedBottom = std::min(bottom, Real(height));
    if (clippedLeft >= clippedRight || clippedTop >= clippedBottom)
        return;
    const QRect area(int(clippedLeft), int(clippedTop), int(clippedRight - clippedLeft),
                     int(clippedBottom - clippedTop));

    // The cell size is worked out on the unrounded box, in single precision.
    // One cell is centred on the centre of the whole-pixel rectangle, so the
    // grid lies symmetrically over the box and a box smaller than a cell
    // becomes one flat cell rather than being cut into untouched pieces.
    const Real wanted = std::max(std::min(boxWidth, boxHeight) / Real(cellsAcrossSmallerSide), Real(minimumPixelationCell));
    const Real scale = wanted >= Real(FLT_MAX) ? Real(FLT_MAX) : Real(float(wanted));
    const Real phaseX = std::fmod((left + right) / 2 - scale / 2, scale);
    const Real phaseY = std::fmod((top + bottom) / 2 - scale / 2, scale);
    pixelateRect(target, targetBytesPerLine, source, area, phaseX < 0 ? phaseX + scale : phaseX,
                 phaseY < 0 ? phaseY + scale : phaseY, scale);
}

} // namespace

void drawItem(const AnnotationItem &item, QPainter &painter, int width, int height)
{
    if (item.points.isEmpty())
        return;
    std::vector<RealPoint> points;
    points.reserve(size_t(item.points.size()));
    for (const NormalizedPoint &point : item.points)
        points.push_back(toPixels(point, width, height));

    switch (item.tool) {
    case AnnotationTool::freehand:
        drawPolyline(painter, item, points, boundedLineWidth(item.lineWidth), width, height);
        break;
    case AnnotationTool::highlight:
        // The translucency comes from the stored alpha alone.
        drawPolyline(painter, item, points, highlightWidthFactor * boundedLineWidth(item.lineWidth), width, height);
        break;
    case AnnotationTool::arrow:
        drawArrow(painter, item, points, width, height);
        break;
    case AnnotationTool::rectangle:
        drawRectangle(painter, item, points, width, height);
        break;
    case AnnotationTool::text:
        drawText(painter, item, points.front(), width, height);
        break;
    case AnnotationTool::select:
    case AnnotationTool::pixelate:
        break;
    }
}

TextLabelLayout layOutTextLabel(const QString &text, const QFont &font, const QPaintDevice *device)
{
    TextLabelLayout label;
    label.font = font;
    label.lines = textLines(text);
    const QFontMetricsF metrics(font, device);
    const QRectF block = metrics.boundingRect(QRectF(0, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextExpandTabs,
                                              label.lines.join(u'\n'));
    label.size = block.size();
    label.lineHeight = block.height() / qreal(label.lines.size());
    return label;
}

void drawTextLabel(QPainter &painter, const TextLabelLayout &label, QPointF topLeft)
{
    painter.save();
    painter.setFont(label.font);
    // Laid out as one paragraph, a Latin line after a Hebrew one took the
    // Hebrew direction and "Hi!" came out as "!Hi".
    for (qsizetype i = 0; i < label.lines.size(); ++i) {
        const QString &line = label.lines.at(i);
        if (line.isEmpty())
            continue;
        const bool rightToLeft = line.isRightToLeft();
        painter.setLayoutDirection(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
        const QRectF lineBox(topLeft.x(), topLeft.y() + label.lineHeight * qreal(i), label.size.width(),
                             label.lineHeight);
        painter.drawText(lineBox,
                         Qt::AlignTop | Qt::AlignAbsolute | (rightToLeft ? Qt::AlignRight : Qt::AlignLeft)
                             | Qt::TextExpandTabs | Qt::TextSingleLine | Qt::TextDontClip,
                         line);
    }
    painter.restore();
}

std::optional<QImage> renderImage(QImage image, const QList<AnnotationItem> &items)
{
    if (items.isEmpty())
        return image;
    if (image.isNull())
        return std::nullopt;
    // Nothing the reader produces trips this; a document built in code with a
    // NaN or an infinity cannot be drawn as its author meant.
    if (!std::all_of(items.begin(), items.end(), isFinite))
        return std::nullopt;

    // Glyphs need the font database, which only a GUI application has;
    // without one a label could not be drawn.
    const bool hasLabels = std::any_of(items.begin(), items.end(), [](const AnnotationItem &item) {
        return item.tool == AnnotationTool::text && !item.points.isEmpty() && item.text && !isBlank(*item.text);
    });
    if (hasLabels && !qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return std::nullopt;

    const int width = image.width();
    const int height = image.height();
    const bool pixelates = std::any_of(items.begin(), items.end(), [](const AnnotationItem &item) {
        return item.tool == AnnotationTool::pixelate && !item.points.isEmpty();
    });

    // Pixelation reads the source as it was, never what earlier items drew.
    QImage sourcePixels;
    PixelSource source;
    if (pixelates) {
        if (image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32_Premultiplied) {
            sourcePixels = image;
        } else {
            sourcePixels = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
            if (sourcePixels.isNull())
                return std::nullopt;
        }
        source.bits = sourcePixels.constBits();
        source.bytesPerLine = sourcePixels.bytesPerLine();
        source.opaque = sourcePixels.format() == QImage::Format_RGB32;
    }

    // Premultiplied ARGB is what the raster engine draws into fastest. An
    // opaque capture stays opaque whatever is drawn over it, so it keeps its
    // format and is copied as it is rather than converted pixel by pixel.
    // A picture handed over that nothing else holds is drawn into itself
    // (80 MB at 5K not copied), unless pixelation reads it as it was.
    QImage bitmap;
    const bool drawable = image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32
                          || image.format() == QImage::Format_ARGB32_Premultiplied;
    if (!pixelates && drawable && image.isDetached()) {
        bitmap = std::move(image);
        if (bitmap.format() == QImage::Format_ARGB32)
            bitmap.convertTo(QImage::Format_ARGB32_Premultiplied);
    } else {
        bitmap = image.format() == QImage::Format_RGB32 ? image.copy()
                                                        : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (!bitmap.isNull() && bitmap.constBits() == image.constBits())
            bitmap = image.copy();
    }
    if (bitmap.isNull() || bitmap.width() != width || bitmap.height() != height)
        return std::nullopt;
    // One point per pixel: a high-density capture is drawn and returned at
    // its full pixel size.
    bitmap.setDevicePixelRatio(1);
    uchar *targetBits = bitmap.bits();
    const qsizetype targetBytesPerLine = bitmap.bytesPerLine();

    QPainter painter;
    if (!painter.begin(&bitmap))
        return std::nullopt;
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setBrush(Qt::NoBrush);

    for (const AnnotationItem &item : items) {
        if (item.tool == AnnotationTool::pixelate) {
            if (!item.points.isEmpty())
                pixelateItem(item, targetBits, targetBytesPerLine, source, width, height);
        } else {
            drawItem(item, painter, width, height);
        }
    }
    painter.end();
    return bitmap;
}

} // namespace tessaline::AnnotationRenderer
