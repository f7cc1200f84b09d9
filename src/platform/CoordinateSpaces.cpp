#include "platform/CoordinateSpaces.h"

namespace tessaline {

CoordinateSpaces::CoordinateSpaces(const QRectF &primaryDisplay)
    : m_primary(primaryDisplay)
{
}

QPointF CoordinateSpaces::captureSystemFromWindowSystem(const QPointF &point) const
{
    return point - m_primary.topLeft();
}

QRectF CoordinateSpaces::captureSystemFromWindowSystem(const QRectF &rect) const
{
    return QRectF(captureSystemFromWindowSystem(rect.topLeft()), rect.size());
}

QPointF CoordinateSpaces::screenFromWindowSystem(const QPointF &point) const
{
    return QPointF(point.x() - m_primary.x(), maxY(m_primary) - point.y());
}

QRectF CoordinateSpaces::screenFromWindowSystem(const QRectF &rect) const
{
    return QRectF(rect.x() - m_primary.x(), maxY(m_primary) - maxY(rect), rect.width(), rect.height());
}

QRectF CoordinateSpaces::windowSystemFromScreen(const QRectF &rect) const
{
    return QRectF(rect.x() + m_primary.x(), maxY(m_primary) - maxY(rect), rect.width(), rect.height());
}

QRectF CoordinateSpaces::screenFromCaptureSystem(const QRectF &rect) const
{
    // Capture-system y runs down from the primary's top edge; screen y runs
    // up from its bottom edge.
    return QRectF(rect.x(), m_primary.height() - maxY(rect), rect.width(), rect.height());
}

QRectF CoordinateSpaces::screenFromDisplay(const QRectF &displayScreenFrame, const QRectF &rectInDisplay)
{
    return QRectF(displayScreenFrame.x() + rectInDisplay.x(),
                  maxY(displayScreenFrame) - maxY(rectInDisplay),
                  rectInDisplay.width(), rectInDisplay.height());
}

} // namespace tessaline
