#pragma once

#include "design/SemanticColors.h"

#include <QFont>
#include <QRectF>
#include <QString>

#include <limits>

class QPainter;

namespace tessaline {

// The look of a StudioTag in one state.
struct StudioTagLook {
    ColorSpec foreground;
    ColorSpec fill;
    ColorSpec border;
    qreal borderWidth = 0;
};

StudioTagLook studioTagLook(bool isSelected, bool increasedContrast);

// A tag's measurements, shared by the widget and the paint function.
namespace StudioTagMetrics {
inline constexpr qreal spacing = 4;
inline constexpr qreal horizontalPadding = 6;
inline constexpr qreal verticalPadding = 3;
inline constexpr qreal cornerRadius = 5;
QFont font();
int symbolSize();
} // namespace StudioTagMetrics

// The size a tag takes for its title and optional symbol, on one line.
QSizeF studioTagSize(const QString &title, const QString &systemImage);

// Paints a tag with its top-left corner at `origin`, the title on one line
// and cut short with an ellipsis only when `maximumWidth` is smaller than
// the tag. Returns the rectangle painted. Delegates and canvas items use it
// to show exactly what StudioTag shows.
QRectF paintStudioTag(QPainter *painter, const QPointF &origin, const QString &title, const QString &systemImage,
                      bool isSelected, const QPalette &palette, bool increasedContrast,
                      qreal maximumWidth = std::numeric_limits<qreal>::max());

} // namespace tessaline
