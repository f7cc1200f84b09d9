#pragma once

#include "canvas/ConnectionGeometry.h"

#include <QGraphicsItem>
#include <QPolygonF>
#include <QStaticText>
#include <QUuid>

#include <optional>

namespace tessaline {

class Connection;

// One connection on the map: its curve and label, kept ready to paint and
// worked out again only when one of its cards moves or its label changes.
// It takes no pointer input: its shape is empty.
class ConnectionItem : public QGraphicsItem
{
public:
    ConnectionItem(const Connection &connection, const QRectF &sourceFrame, const QRectF &destinationFrame);

    QUuid connectionID() const { return m_connectionID; }
    QUuid sourceCardID() const { return m_sourceCardID; }
    QUuid destinationCardID() const { return m_destinationCardID; }
    const ConnectionCurve &curve() const { return m_curve; }
    std::optional<QString> label() const { return m_label; }

    void setEnds(const QRectF &sourceFrame, const QRectF &destinationFrame);
    void setLabel(const std::optional<QString> &label);

    QRectF boundingRect() const override { return m_bounds; }
    QPainterPath shape() const override { return {}; }
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

    static QFont labelFont();

private:
    void layout();

    QUuid m_connectionID;
    QUuid m_sourceCardID;
    QUuid m_destinationCardID;
    std::optional<QString> m_label;
    QRectF m_sourceFrame;
    QRectF m_destinationFrame;
    ConnectionCurve m_curve;
    // The curve as straight pieces: painting strokes only the pieces in the
    // exposed area, however far the curve runs.
    QPolygonF m_points;
    QStaticText m_labelText;
    QRectF m_labelRect;
    QRectF m_bounds;
};

} // namespace tessaline
