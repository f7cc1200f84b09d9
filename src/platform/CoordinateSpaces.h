#pragma once

#include <QPointF>
#include <QRectF>

namespace tessaline {

// Capture works in three coordinate spaces, and every conversion between
// them goes through here:
// - window-system coordinates: what X11 and Qt report, global, origin at the
//   top-left corner of the whole desktop, y down;
// - capture-system coordinates: the same orientation, but with the origin at
//   the top-left corner of the primary display;
// - screen coordinates: origin at the bottom-left corner of the primary
//   display, y up.
// Display coordinates (relative to one display's top-left corner, y down)
// are what the region overlay and image rows use.
class CoordinateSpaces
{
public:
    // primaryDisplay: the primary display's frame in window-system coordinates.
    explicit CoordinateSpaces(const QRectF &primaryDisplay);

    QRectF primaryDisplay() const { return m_primary; }

    QPointF captureSystemFromWindowSystem(const QPointF &point) const;
    QRectF captureSystemFromWindowSystem(const QRectF &rect) const;

    QPointF screenFromWindowSystem(const QPointF &point) const;
    QRectF screenFromWindowSystem(const QRectF &rect) const;
    QRectF windowSystemFromScreen(const QRectF &rect) const;

    QRectF screenFromCaptureSystem(const QRectF &rect) const;

    // A rectangle given relative to a display's top-left corner (y down),
    // placed on screen: (frame.minX + r.minX, frame.maxY - r.maxY, w, h),
    // with the display's frame in screen coordinates.
    static QRectF screenFromDisplay(const QRectF &displayScreenFrame, const QRectF &rectInDisplay);

    // Qt's QRectF treats right()/bottom() as x + width / y + height, which is
    // what the arithmetic above needs; these name it.
    static qreal maxX(const QRectF &r) { return r.x() + r.width(); }
    static qreal maxY(const QRectF &r) { return r.y() + r.height(); }

private:
    QRectF m_primary;
};

} // namespace tessaline
