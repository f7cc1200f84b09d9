#pragma once

#include "model/AnnotationDocument.h"

#include <QImage>
#include <QList>

#include <optional>

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
std::optional<QImage> renderImage(const QImage &image, const QList<AnnotationItem> &items);

// Draws one stroked or text item into a painter whose device is `width` ×
// `height` pixels, origin top-left. Pixelate and select items draw nothing
// here (pixelation needs the source pixels, see renderImage). The painter's
// state is left as it was.
void drawItem(const AnnotationItem &item, QPainter &painter, int width, int height);

} // namespace AnnotationRenderer
} // namespace tessaline
