#include "library/SnipZoomMode.h"

#include <cmath>

namespace tessaline {

double SnipZoomMode::effectiveScale(double fitScale) const
{
    switch (m_kind) {
    case Kind::fit:
        return fitScale;
    case Kind::actualSize:
        return 1.0;
    case Kind::custom:
        break;
    }
    return m_scale;
}

SnipZoomMode SnipZoomMode::zoomedBy(double factor, double fitScale) const
{
    return custom(SnipZoom::bounded(effectiveScale(fitScale) * factor));
}

SnipZoomMode SnipZoomMode::toggledActualSize() const
{
    return m_kind == Kind::actualSize ? fit() : actualSize();
}

namespace SnipZoom {

double bounded(double scale, double minimum, double maximum)
{
    // NaN fails both tests below; it must not leak into a layout.
    if (!(scale > minimum))
        return minimum;
    return scale > maximum ? maximum : scale;
}

QString percentageText(double scale)
{
    // std::round rounds halves away from zero.
    return QString::number(qint64(std::round(scale * 100.0))) + QLatin1Char('%');
}

} // namespace SnipZoom

} // namespace tessaline
