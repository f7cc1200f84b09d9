#include "design/GuidedTourHighlight.h"

#include "design/SemanticColors.h"
#include "design/ShapePainting.h"

#include <QPainter>

namespace tessaline::GuidedTourHighlight {

const TessalineAnimation &motion()
{
    static const TessalineAnimation animation{QEasingCurve(QEasingCurve::OutCubic), 180};
    return animation;
}

QRectF ringRect(const QRectF &control)
{
    return control.adjusted(-outset, -outset, outset, outset);
}

void paint(QPainter *painter, const QRectF &control, qreal cornerRadius, qreal opacity, const QPalette &palette,
           bool increasedContrast)
{
    if (opacity <= 0)
        return;
    painter->save();
    painter->setOpacity(painter->opacity() * std::min<qreal>(opacity, 1));
    painter->setRenderHint(QPainter::Antialiasing);
    // The ring keeps the control's radius rather than growing it by the
    // outset.
    strokeInside(painter, ringRect(control), cornerRadius,
                 InsideStroke{semanticColor(SemanticColor::primary, palette, increasedContrast), lineWidth, Qt::FlatCap,
                              Qt::MiterJoin, {}});
    painter->restore();
}

} // namespace tessaline::GuidedTourHighlight
