#include "capture/RegionSelectionModel.h"

#include <algorithm>
#include <cmath>

namespace tessaline {

RegionSelectionModel::RegionSelectionModel(const QSizeF &boundsSize)
    : m_bounds(QPointF(0, 0), boundsSize)
{
}

QPointF RegionSelectionModel::clamped(const QPointF &point) const
{
    return QPointF(std::min(std::max(point.x(), m_bounds.left()), m_bounds.x() + m_bounds.width()),
                   std::min(std::max(point.y(), m_bounds.top()), m_bounds.y() + m_bounds.height()));
}

QRectF RegionSelectionModel::dragRect(const QPointF &origin, const QPointF &point) const
{
    const QRectF rect(std::min(point.x(), origin.x()), std::min(point.y(), origin.y()),
                      std::abs(point.x() - origin.x()), std::abs(point.y() - origin.y()));
    return rect.intersected(m_bounds);
}

QRectF RegionSelectionModel::integral(const QRectF &rect)
{
    if (rect.isNull())
        return QRectF();
    const double left = std::floor(rect.x());
    const double top = std::floor(rect.y());
    const double right = std::ceil(rect.x() + rect.width());
    const double bottom = std::ceil(rect.y() + rect.height());
    return QRectF(left, top, right - left, bottom - top);
}

RegionSelectionModel::Response RegionSelectionModel::mouseDown(const QPointF &point)
{
    const QPointF p = clamped(point);
    m_dragOrigin = p;
    m_pointerLocation = p;
    m_selection = QRectF();
    return Response::redraw;
}

RegionSelectionModel::Response RegionSelectionModel::mouseDragged(const QPointF &point)
{
    if (!m_dragOrigin)
        return Response::ignored;
    const QPointF p = clamped(point);
    m_selection = dragRect(*m_dragOrigin, p);
    m_pointerLocation = p;
    return Response::redraw;
}

RegionSelectionModel::Response RegionSelectionModel::mouseUp(const QPointF &point)
{
    if (!m_dragOrigin)
        return Response::ignored;
    const QPointF p = clamped(point);
    const QRectF r = integral(dragRect(*m_dragOrigin, p));
    m_dragOrigin.reset();
    if (r.width() >= 3 && r.height() >= 3) {
        m_selectedRect = r;
        return Response::select;
    }
    m_selection = QRectF();
    m_pointerLocation = p;
    return Response::redraw;
}

RegionSelectionModel::Response RegionSelectionModel::mouseMoved(const QPointF &point)
{
    m_pointerLocation = clamped(point);
    return m_selection.isEmpty() ? Response::redraw : Response::ignored;
}

QString RegionSelectionModel::sizeLabelText(const QRectF &selection)
{
    return QString::number(qint64(std::trunc(selection.width()))) + QStringLiteral(" \u00D7 ")
        + QString::number(qint64(std::trunc(selection.height())));
}

QRectF RegionSelectionModel::sizeLabelRect(const QRectF &selection, const QSizeF &textSize, const QRectF &bounds)
{
    const double h = textSize.height() + 10;
    const double w = textSize.width() + 16;
    const double boundsMaxY = bounds.y() + bounds.height();
    const double boundsMaxX = bounds.x() + bounds.width();
    double y = selection.y() + selection.height() + 8;
    if (y + h > boundsMaxY)
        y = std::max(selection.y() - h - 8, 8.0);
    const double x = std::min(boundsMaxX - w - 8, std::max(selection.x(), 8.0));
    return QRectF(x, y, w, h);
}

} // namespace tessaline
