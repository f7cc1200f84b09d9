#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>

namespace tessaline {

// The chosen rectangle of a region selection (display points, origin at the
// display's top-left, y down), or a cancellation.
struct RegionSelectionOutcome
{
    bool isCancelled = true;
    QRectF rect;

    static RegionSelectionOutcome selected(const QRectF &rect) { return {false, rect}; }
    static RegionSelectionOutcome cancelled() { return {true, {}}; }
};

// What the overlay's view does with the pointer, apart from drawing: the
// drag, the clamping to the display, the integral rounding and the 3 x 3
// minimum, and where the size label goes.
class RegionSelectionModel
{
public:
    enum class Response { ignored, redraw, select };

    explicit RegionSelectionModel(const QSizeF &boundsSize);

    QRectF bounds() const { return m_bounds; }
    std::optional<QPointF> dragOrigin() const { return m_dragOrigin; }
    QRectF selection() const { return m_selection; }
    std::optional<QPointF> pointerLocation() const { return m_pointerLocation; }
    // After a select response: the rectangle to deliver.
    QRectF selectedRect() const { return m_selectedRect; }

    // Points are in view coordinates and are clamped to the bounds here.
    Response mouseDown(const QPointF &point);
    Response mouseDragged(const QPointF &point);
    Response mouseUp(const QPointF &point);
    Response mouseMoved(const QPointF &point);

    QPointF clamped(const QPointF &point) const;
    QRectF dragRect(const QPointF &origin, const QPointF &point) const;
    // Origin rounded down, far edges rounded up.
    static QRectF integral(const QRectF &rect);

    // "W × H", each side truncated toward zero.
    static QString sizeLabelText(const QRectF &selection);
    // Where the label of the given text size goes: below the selection, else
    // above it, never nearer than 8 points to the top or the right edge.
    static QRectF sizeLabelRect(const QRectF &selection, const QSizeF &textSize, const QRectF &bounds);

private:
    QRectF m_bounds;
    std::optional<QPointF> m_dragOrigin;
    QRectF m_selection;
    std::optional<QPointF> m_pointerLocation;
    QRectF m_selectedRect;
};

} // namespace tessaline
