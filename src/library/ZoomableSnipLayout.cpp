#include "library/ZoomableSnipLayout.h"

#include <algorithm>

namespace tessaline {

ZoomableSnipLayout::ZoomableSnipLayout(const QSize &pixelSize, const QSizeF &viewport, const SnipZoomMode &mode,
                                       double minimumScale, double maximumScale)
    : fitScale(fitScaleFor(pixelSize, viewport, minimumScale, maximumScale))
    , effectiveScale(SnipZoom::bounded(mode.effectiveScale(fitScale), minimumScale, maximumScale))
    , displaySize(displaySizeFor(pixelSize, effectiveScale))
    , contentSize(std::max(displaySize.width() + contentMargin, viewport.width()),
                  std::max(displaySize.height() + contentMargin, viewport.height()))
    , imageRect(QPointF((contentSize.width() - displaySize.width()) / 2, (contentSize.height() - displaySize.height()) / 2),
                displaySize)
    , smoothScaling(effectiveScale < 1.0)
{
}

double ZoomableSnipLayout::fitScaleFor(const QSize &pixelSize, const QSizeF &viewport, double minimumScale,
                                       double maximumScale)
{
    if (pixelSize.width() <= 0 || pixelSize.height() <= 0)
        return 1.0;
    const auto available = [](qreal side) {
        const qreal left = side - fitMargin;
        return left <= 1 ? qreal(1) : left;
    };
    const double fit = std::min(available(viewport.height()) / pixelSize.height(),
                                available(viewport.width()) / pixelSize.width());
    return SnipZoom::bounded(fit, minimumScale, maximumScale);
}

QSizeF ZoomableSnipLayout::displaySizeFor(const QSize &pixelSize, double scale)
{
    const auto atLeastOne = [](qreal side) { return side <= 1 ? qreal(1) : side; };
    return QSizeF(atLeastOne(pixelSize.width() * scale), atLeastOne(pixelSize.height() * scale));
}

} // namespace tessaline
