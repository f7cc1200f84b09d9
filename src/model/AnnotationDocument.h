#pragma once

#include "model/AnnotationTool.h"
#include "platform/Expected.h"

#include <QByteArray>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QUuid>

#include <optional>

namespace tessaline {

// A point as fractions of the image's width and height; origin top-left,
// y downward. The editor keeps points inside 0...1; stored documents may
// hold anything finite.
struct NormalizedPoint
{
    double x = 0;
    double y = 0;

    friend bool operator==(const NormalizedPoint &, const NormalizedPoint &) = default;
};

struct AnnotationColor
{
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    friend bool operator==(const AnnotationColor &, const AnnotationColor &) = default;
};

struct AnnotationItem
{
    QUuid id;
    AnnotationTool tool = AnnotationTool::select;
    QList<NormalizedPoint> points;
    AnnotationColor color;
    // Stroke width in image pixels; a highlight is four times as wide and a
    // text label's font size is max(4 × lineWidth, 14).
    double lineWidth = 1;
    // Only text items use it. Absent and empty are different values.
    std::optional<QString> text;

    // The item moved rigidly by (dx, dy), normalised, stopping at the image's
    // border instead of being squeezed. Id and every other field stay.
    AnnotationItem translated(double dx, double dy) const;

    // The item's box in view coordinates for a view area of `size`; none for
    // an item without points.
    std::optional<QRectF> frame(QSizeF size) const;

    // Whether the view point `point` touches the item, with `tolerance` view
    // units of slack.
    bool hitTest(QPointF point, QSizeF size, double tolerance) const;

    friend bool operator==(const AnnotationItem &, const AnnotationItem &) = default;
};

enum class AnnotationDocumentError { unreadable };
QString message(AnnotationDocumentError error);

struct AnnotationDocument
{
    static constexpr qint64 currentVersion = 2;

    qint64 version = currentVersion;
    // Drawing order: later items are drawn over earlier ones.
    QList<AnnotationItem> items;

    static AnnotationDocument empty() { return AnnotationDocument{}; }

    // Reads the stored form; versions 1 and below are migrated. Absent data
    // and zero bytes are the empty document. Bytes the reader does not
    // understand in full (malformed JSON, a missing field, a tool it does not
    // know) are an error, never "no annotations": the unread part may be a
    // redaction, and dropping it would show what it hides.
    static Expected<AnnotationDocument, AnnotationDocumentError> decode(const std::optional<QByteArray> &data);

    // The stored form. No value when the document holds something JSON
    // cannot carry (a non-finite number or a text that is not valid Unicode).
    std::optional<QByteArray> encode() const;

    // The operations below act on the first item with the given id.

    // A copy of the item, or none (also for an absent id).
    std::optional<AnnotationItem> item(const std::optional<QUuid> &id) const;

    // Stores the trimmed text in a text item; false (nothing changes) for a
    // blank text, an unknown id or an item of another tool.
    bool updateText(const QString &text, const QUuid &id);

    // Restyles an item: the colour (a highlight's alpha capped to 0.38) and
    // the line width (clamped to 1...20). False for an unknown id and for
    // select and pixelate items.
    bool updateStyle(const std::optional<AnnotationColor> &color, std::optional<double> lineWidth, const QUuid &id);

    // Overwrites the item that has the given item's id, in place.
    bool replaceItem(const AnnotationItem &item);

    // Removes and returns the item; none and no change when it is not there.
    std::optional<AnnotationItem> removeItem(const QUuid &id);

    friend bool operator==(const AnnotationDocument &, const AnnotationDocument &) = default;
};

size_t qHash(const NormalizedPoint &point, size_t seed = 0);
size_t qHash(const AnnotationColor &color, size_t seed = 0);
size_t qHash(const AnnotationItem &item, size_t seed = 0);
size_t qHash(const AnnotationDocument &document, size_t seed = 0);

} // namespace tessaline
