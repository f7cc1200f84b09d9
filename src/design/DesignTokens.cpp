#include "design/DesignTokens.h"

#include <QGuiApplication>

#include <cmath>

namespace tessaline {

namespace TessalineMotion {

// Function-local statics: the first reader creates the value, concurrent first
// readers wait for it, everyone after shares it.
const TessalineAnimation &snappy()
{
    static const TessalineAnimation animation{QEasingCurve(QEasingCurve::OutCubic), 110};
    return animation;
}

const TessalineAnimation &smooth()
{
    static const TessalineAnimation animation{QEasingCurve(QEasingCurve::InOutCubic), 190};
    return animation;
}

const TessalineAnimation &gentle()
{
    static const TessalineAnimation animation{QEasingCurve(QEasingCurve::OutCubic), 220};
    return animation;
}

} // namespace TessalineMotion

namespace TessalineTypography {

QFont systemFont(qreal pixelSize, QFont::Weight weight)
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(std::max(1, int(std::lround(pixelSize))));
    font.setWeight(weight);
    return font;
}

QFont caption()
{
    return systemFont(11, QFont::Medium);
}

QFont body()
{
    return systemFont(13, QFont::Normal);
}

QFont title()
{
    return systemFont(14, QFont::DemiBold);
}

QFont largeTitle()
{
    return systemFont(19, QFont::DemiBold);
}

QFont headline()
{
    return systemFont(13, QFont::DemiBold);
}

} // namespace TessalineTypography

} // namespace tessaline
