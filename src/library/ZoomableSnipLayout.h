#pragma once

#include "library/SnipZoomMode.h"

#include <QRectF>
#include <QSize>
#include <QSizeF>

namespace tessaline {

// Where the zoomable view puts its picture for a viewport and a zoom mode:
// the scale that fits the picture with 36 points free on each side of the
// limiting dimension, the scale actually shown (always within the bounds),
// and a scrollable content at least as large as the viewport that keeps 28
// points around the picture.
struct ZoomableSnipLayout
{
    static constexpr qreal fitMargin = 72;
    static constexpr qreal contentMargin = 56;

    ZoomableSnipLayout(const QSize &pixelSize, const QSizeF &viewport, const SnipZoomMode &mode,
                       double minimumScale = SnipZoom::minimumScale, double maximumScale = SnipZoom::maximumScale);

    // 1.0 (unbounded) for a picture with an empty side.
    static double fitScaleFor(const QSize &pixelSize, const QSizeF &viewport, double minimumScale = SnipZoom::minimumScale,
                              double maximumScale = SnipZoom::maximumScale);
    // The picture's size at a scale, each side at least 1 point.
    static QSizeF displaySizeFor(const QSize &pixelSize, double scale);

    double fitScale;
    double effectiveScale;
    QSizeF displaySize;
    QSizeF contentSize;
    // The picture inside the content, centred.
    QRectF imageRect;
    // Smooth sampling below actual size, crisp pixels at and above it.
    bool smoothScaling;
};

} // namespace tessaline
