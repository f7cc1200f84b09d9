#include "runtime/TextRedaction.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace tessaline::TextRedaction {

QList<QRectF> hiddenAreas(const QList<AnnotationItem> &items, const QSize &imageSize)
{
    QList<QRectF> areas;
    for (const AnnotationItem &item : items) {
        if (item.tool != AnnotationTool::pixelate || item.points.isEmpty())
            continue;
        const NormalizedPoint a = item.points.first();
        const NormalizedPoint b = item.points.last();
        const QRectF area(QPointF(std::min(a.x, b.x), std::min(a.y, b.y)), QPointF(std::max(a.x, b.x), std::max(a.y, b.y)));
        // The renderer leaves a box of a pixel or less as it is.
        const bool drawn = imageSize.isEmpty()
            || (area.width() * imageSize.width() > 1 && area.height() * imageSize.height() > 1);
        if (!drawn)
            continue;
        areas << area;
    }
    return areas;
}

QString visibleText(const RecognizedText &recognized, const QList<AnnotationItem> &items)
{
    const QSize size = recognized.imageSize;
    const QList<QRectF> hidden = hiddenAreas(items, size);
    if (hidden.isEmpty())
        return recognized.text;
    if (size.isEmpty())
        return QString();
    auto isHidden = [&](const QRect &box) {
        const QRectF word(double(box.x()) / size.width(), double(box.y()) / size.height(),
                          double(box.width()) / size.width(), double(box.height()) / size.height());
        return std::any_of(hidden.cbegin(), hidden.cend(), [&](const QRectF &area) { return area.intersects(word); });
    };
    QStringList lines;
    for (const TextObservation &line : recognized.lines) {
        QStringList words;
        for (const RecognizedWord &word : line.words) {
            if (!isHidden(word.box))
                words << word.text;
        }
        if (!words.isEmpty())
            lines << words.join(QLatin1Char(' '));
    }
    return lines.join(QLatin1Char('\n'));
}

QString visibleText(const RecognizedText &recognized, const std::optional<QByteArray> &annotationData)
{
    const auto annotations = AnnotationDocument::decode(annotationData);
    return annotations ? visibleText(recognized, annotations->items) : QString();
}

bool mayHidePicture(const std::optional<QByteArray> &annotationData)
{
    const auto annotations = AnnotationDocument::decode(annotationData);
    return !annotations || !hiddenAreas(annotations->items, QSize()).isEmpty();
}

bool hidesOtherAreas(const std::optional<QByteArray> &previousData, const std::optional<QByteArray> &annotationData,
                     const QSize &imageSize)
{
    const auto before = AnnotationDocument::decode(previousData);
    const auto after = AnnotationDocument::decode(annotationData);
    if (!before || !after)
        return true;
    return hiddenAreas(before->items, imageSize) != hiddenAreas(after->items, imageSize);
}

} // namespace tessaline::TextRedaction
