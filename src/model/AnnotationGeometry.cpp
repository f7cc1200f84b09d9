// Measuring, moving and hit-testing annotation items, and the edits the
// annotation editor makes to a document.

#include "model/AnnotationDocument.h"

#include "platform/TextUtilities.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace tessaline {

namespace {

constexpr double highlightAlphaCap = 0.38;
constexpr double minimumLineWidth = 1;
constexpr double maximumLineWidth = 20;

double textFontSize(double lineWidth)
{
    return std::max(4 * lineWidth, 14.0);
}

// Lines as the user sees them: split at every line feed, keeping empty
// pieces. A CR LF pair is a single character and so is no line feed.
QList<QStringView> textLines(QStringView text)
{
    QList<QStringView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'\n' && !(i > 0 && text.at(i - 1) == u'\r')) {
            lines.append(text.mid(start, i - start));
            start = i + 1;
        }
    }
    lines.append(text.mid(start));
    return lines;
}

// Growing by a negative amount can turn the rectangle inside out; such a
// rectangle holds nothing.
QRectF grown(const QRectF &rect, double by)
{
    return QRectF(rect.x() - by, rect.y() - by, rect.width() + 2 * by, rect.height() + 2 * by);
}

// Minimum edges inside, maximum edges outside. QRectF::contains counts the
// far edges in, which would make two abutting boxes share a line.
bool containsHalfOpen(const QRectF &rect, QPointF point)
{
    return point.x() >= rect.left() && point.x() < rect.left() + rect.width()
        && point.y() >= rect.top() && point.y() < rect.top() + rect.height();
}

QRectF spannedRect(QPointF a, QPointF b)
{
    return QRectF(std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::abs(b.x() - a.x()), std::abs(b.y() - a.y()));
}

double distance(QPointF a, QPointF b)
{
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

QPointF nearestOnSegment(QPointF q, QPointF a, QPointF b)
{
    const QPointF d = b - a;
    const double lengthSquared = QPointF::dotProduct(d, d);
    if (!(lengthSquared > 0))
        return a;
    const double s = std::clamp(QPointF::dotProduct(q - a, d) / lengthSquared, 0.0, 1.0);
    return a + s * d;
}

} // namespace

AnnotationItem AnnotationItem::translated(double dx, double dy) const
{
    AnnotationItem moved = *this;
    if (points.isEmpty())
        return moved;

    double minX = points.first().x, maxX = minX;
    double minY = points.first().y, maxY = minY;
    for (const NormalizedPoint &point : points) {
        minX = std::min(minX, point.x);
        maxX = std::max(maxX, point.x);
        minY = std::min(minY, point.y);
        maxY = std::max(maxY, point.y);
    }
    // Lower bound first, then upper: an item wider than the image ends up
    // flush with the right or bottom edge.
    const double clampedDx = std::min(std::max(dx, -minX), 1 - maxX);
    const double clampedDy = std::min(std::max(dy, -minY), 1 - maxY);
    for (NormalizedPoint &point : moved.points) {
        point.x = std::min(std::max(point.x + clampedDx, 0.0), 1.0);
        point.y = std::min(std::max(point.y + clampedDy, 0.0), 1.0);
    }
    return moved;
}

std::optional<QRectF> AnnotationItem::frame(QSizeF size) const
{
    if (points.isEmpty())
        return std::nullopt;

    if (tool == AnnotationTool::text) {
        const double fontSize = textFontSize(lineWidth);
        const QString content = text.value_or(QString());
        const QList<QStringView> lines = textLines(content);
        qsizetype longest = 0;
        for (QStringView line : lines)
            longest = std::max(longest, graphemeCount(line.toString()));
        const auto lineCount = std::max<qsizetype>(lines.size(), 1);
        const QPointF origin(points.first().x * size.width(), points.first().y * size.height());
        const double width = std::max(1.5 * fontSize, 0.62 * fontSize * double(longest));
        const double height = std::max(1.25 * fontSize, 1.25 * fontSize * double(lineCount));
        return QRectF(origin, QSizeF(width, height));
    }

    double minX = points.first().x * size.width(), maxX = minX;
    double minY = points.first().y * size.height(), maxY = minY;
    for (const NormalizedPoint &point : points) {
        const double x = point.x * size.width();
        const double y = point.y * size.height();
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
    }
    double width = maxX - minX;
    double height = maxY - minY;
    if (width <= 1)
        width = 1;
    if (height <= 1)
        height = 1;
    return QRectF(minX, minY, width, height);
}

bool AnnotationItem::hitTest(QPointF point, QSizeF size, double tolerance) const
{
    if (points.isEmpty())
        return false;
    auto scaled = [&](const NormalizedPoint &p) { return QPointF(p.x * size.width(), p.y * size.height()); };

    switch (tool) {
    case AnnotationTool::arrow:
    case AnnotationTool::freehand:
    case AnnotationTool::highlight: {
        if (points.size() == 1)
            return distance(point, scaled(points.first())) <= tolerance;
        const double threshold = std::max(lineWidth / 2, tolerance);
        for (qsizetype i = 0; i + 1 < points.size(); ++i) {
            const QPointF nearest = nearestOnSegment(point, scaled(points.at(i)), scaled(points.at(i + 1)));
            if (distance(point, nearest) <= threshold)
                return true;
        }
        return false;
    }
    case AnnotationTool::rectangle:
    case AnnotationTool::pixelate:
        return containsHalfOpen(grown(spannedRect(scaled(points.first()), scaled(points.last())), tolerance), point);
    case AnnotationTool::text: {
        const auto box = frame(size);
        return box && containsHalfOpen(grown(*box, tolerance), point);
    }
    case AnnotationTool::select:
        return false;
    }
    return false;
}

std::optional<AnnotationItem> AnnotationDocument::item(const std::optional<QUuid> &id) const
{
    if (!id)
        return std::nullopt;
    for (const AnnotationItem &candidate : items) {
        if (candidate.id == *id)
            return candidate;
    }
    return std::nullopt;
}

bool AnnotationDocument::updateText(const QString &text, const QUuid &id)
{
    const QString trimmed = trimmedWhitespace(text);
    if (trimmed.isEmpty())
        return false;
    for (AnnotationItem &candidate : items) {
        if (candidate.id == id && candidate.tool == AnnotationTool::text) {
            candidate.text = trimmed;
            return true;
        }
    }
    return false;
}

bool AnnotationDocument::updateStyle(const std::optional<AnnotationColor> &color, std::optional<double> lineWidth,
                                     const QUuid &id)
{
    const auto found = std::find_if(items.begin(), items.end(), [&](const AnnotationItem &candidate) {
        return candidate.id == id;
    });
    if (found == items.end())
        return false;
    AnnotationItem &target = *found;
    if (target.tool == AnnotationTool::select || target.tool == AnnotationTool::pixelate)
        return false;

    if (color) {
        AnnotationColor stored = *color;
        if (target.tool == AnnotationTool::highlight)
            stored.alpha = std::max(std::min(stored.alpha, highlightAlphaCap), 0.0);
        target.color = stored;
    }
    if (lineWidth) {
        // Written so that a NaN from a broken control lands on the minimum
        // instead of making the document unwritable.
        const double width = *lineWidth;
        target.lineWidth = !(width >= minimumLineWidth) ? minimumLineWidth : std::min(width, maximumLineWidth);
    }
    return true;
}

bool AnnotationDocument::replaceItem(const AnnotationItem &replacement)
{
    for (AnnotationItem &candidate : items) {
        if (candidate.id == replacement.id) {
            candidate = replacement;
            return true;
        }
    }
    return false;
}

std::optional<AnnotationItem> AnnotationDocument::removeItem(const QUuid &id)
{
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (items.at(i).id == id)
            return items.takeAt(i);
    }
    return std::nullopt;
}

} // namespace tessaline
