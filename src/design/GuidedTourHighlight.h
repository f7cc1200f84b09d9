#pragma once

#include "design/DesignTokens.h"

#include <QRectF>

class QPainter;
class QPalette;

namespace tessaline {

// The ring the guided tour puts round the control a step talks about: a
// 2-point line in the primary colour standing 4 points outside the control,
// with the control's own corner radius. It is static while shown and fades in
// and out with `motion()`; the control below keeps taking the clicks.
namespace GuidedTourHighlight {

inline constexpr qreal outset = 4;
inline constexpr qreal lineWidth = 2;

// Ease-out over 0.18 s.
const TessalineAnimation &motion();

// The area the ring covers round a control's rectangle.
QRectF ringRect(const QRectF &control);

// Draws the ring at `opacity` (0: nothing).
void paint(QPainter *painter, const QRectF &control, qreal cornerRadius, qreal opacity, const QPalette &palette,
           bool increasedContrast);

} // namespace GuidedTourHighlight

} // namespace tessaline
