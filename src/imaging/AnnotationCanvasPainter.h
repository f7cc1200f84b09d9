#pragma once

#include "model/AnnotationDocument.h"

#include <QColor>
#include <QFont>
#include <QSizeF>

class QPainter;
class QPalette;

namespace tessaline {

class AnnotationEditorModel;

// How the editor shows annotations over the displayed snip. These are the
// on-screen rules, in view points at the displayed size; flattening for
// export is AnnotationRenderer's and differs on purpose (pixelate boxes show
// here as a placeholder, the real pixelation needs the source pixels).
namespace AnnotationCanvasPainter {

// The palette colours the canvas paints with, read once per paint.
struct Colors
{
    QColor primary;
    QColor secondary;
    QColor windowBackground;

    static Colors from(const QPalette &palette);
};

// The system font, semibold, at max(4 × lineWidth, 14) points.
QFont textFont(double lineWidth);

void drawItem(QPainter &painter, const AnnotationItem &item, QSizeF size, const Colors &colors);
// The dashed outline around an item's frame, 6 points out.
void drawSelectionOutline(QPainter &painter, const AnnotationItem &item, QSizeF size, const Colors &colors);
// Every item in order (but the one whose text is being retyped), then the
// stroke being dragged, then the selection outline.
void render(QPainter &painter, const AnnotationEditorModel &model, QSizeF size, const Colors &colors);

} // namespace AnnotationCanvasPainter
} // namespace tessaline
