#pragma once

#include <QHoverEvent>

namespace tessaline {

// A grid lights the tile under the pointer and follows it tile by tile, but
// a widget that asks for hover events is painted whole as the pointer comes
// onto it or leaves it, as a confirmation or a menu opens over the grid and
// closes. Such an edge is handed on as a move onto the tile under the
// pointer, or off every tile, which repaints only the tiles concerned.
// Whether the event was such an edge.
template <typename Deliver>
bool deliverHoverEdgeAsMove(QEvent *event, Deliver deliver)
{
    if (event->type() != QEvent::HoverEnter && event->type() != QEvent::HoverLeave)
        return false;
    const auto *hover = static_cast<QHoverEvent *>(event);
    const QPointF at = event->type() == QEvent::HoverEnter ? hover->position() : QPointF(-1, -1);
    QHoverEvent moved(QEvent::HoverMove, at, hover->globalPosition(), hover->oldPosF(), hover->modifiers());
    deliver(&moved);
    return true;
}

} // namespace tessaline
