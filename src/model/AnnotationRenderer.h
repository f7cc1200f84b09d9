#pragma once

#include "model/AnnotationDocument.h"

#include <QFont>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QSizeF>
#include <QStringList>

#include <optional>

class QPaintDevice;
class QPainter;

namespace tessaline {

// Flattens annotations onto a snip's image. This is the only place where
// annotations become pixels; the stored image itself is never changed.
namespace AnnotationRenderer {

// A new image of the source's full pixel size (one point per pixel) with
// every item drawn over it in list order: an opaque RGB32 capture stays
// RGB32, anything else becomes premultiplied ARGB32. Without items the very same image
// comes back. No value when there are items and any of them cannot be drawn
// faithfully: a redaction must never be dropped silently, so a caller that
// exports the result has to report an error instead of the original pixels.
// A source handed over (moved in) that nothing else holds may be drawn into
// rather than copied; one the caller keeps is never changed.
std::optional<QImage> renderImage(QImage image, const QList<AnnotationItem> &items);

// Draws one stroked or text item into a painter whose device is `width` ×
// `height` pixels, origin top-left. Pixelate and select items draw nothing
// here (pixelation needs the source pixels, see renderImage). The painter's
// state is left as it was.
void drawItem(const AnnotationItem &item, QPainter &painter, int width, int height);

// A label's text laid out as a text view lays out plain text: a line feed,
// a carriage return (alone or before a line feed) and the line and
// paragraph separators each start a line of its own. The flattened image
// and the editor's canvas both draw labels so, each placing the box by its
// own rule, and so show every line the same way.
struct TextLabelLayout
{
    QFont font;
    QStringList lines;
    // The box: as wide as the widest line, one line height for every line.
    QSizeF size;
    qreal lineHeight = 0;
};

// `text` in `font`, measured for the device it is to be drawn on.
TextLabelLayout layOutTextLabel(const QString &text, const QFont &font, const QPaintDevice *device);

// Draws the label in the painter's pen with the box's top-left corner at
// `topLeft`. Every line is a paragraph of its own: its direction comes from
// its own first strong character and it starts at its own leading edge of
// the box, so a Latin line under a Hebrew one still reads left to right from
// the box's left edge. The painter's state is left as it was.
void drawTextLabel(QPainter &painter, const TextLabelLayout &label, QPointF topLeft);

} // namespace AnnotationRenderer
} // namespace tessaline
