#include "canvas/ConnectionItem.h"

#include "design/DesignEnvironment.h"
#include "design/DesignTokens.h"
#include "design/SemanticColors.h"
#include "model/Connection.h"

#include <QApplication>
#include <QWidget>
#include <QPainter>
#include <QStyleOptionGraphicsItem>
#include <QVarLengthArray>

#include <algorithm>
#include <QPalette>

namespace tessaline {

namespace {

constexpr qreal lineWidth = 1.5;
// Pieces of about this length keep the curve smooth at any zoom the map has.
constexpr qreal pieceLength = 6;
// Pieces are tested against the exposed area in runs of this many.
constexpr qsizetype piecesPerChunk = 16;

QPolygonF flattened(const ConnectionCurve &curve)
{
    const qreal reach = QLineF(curve.start, curve.firstControl).length() +
        QLineF(curve.firstControl, curve.secondControl).length() + QLineF(curve.secondControl, curve.end).length();
    const int pieces = std::clamp(int(reach / pieceLength), 8, 2048);
    QPolygonF points;
    points.reserve(pieces + 1);
    for (int i = 0; i <= pieces; ++i) {
        const qreal t = qreal(i) / pieces;
        const qreal u = 1 - t;
        points.append(u * u * u * curve.start + 3 * u * u * t * curve.firstControl + 3 * u * t * t * curve.secondControl +
                      t * t * t * curve.end);
    }
    return points;
}

} // namespace

ConnectionItem::ConnectionItem(const Connection &connection, const QRectF &sourceFrame, const QRectF &destinationFrame)
    : m_connectionID(connection.id())
    , m_sourceCardID(connection.sourceCardID())
    , m_destinationCardID(connection.destinationCardID())
    , m_label(connection.label())
    , m_sourceFrame(sourceFrame)
    , m_destinationFrame(destinationFrame)
{
    setAcceptedMouseButtons(Qt::NoButton);
    setFlag(ItemUsesExtendedStyleOption);
    setAcceptHoverEvents(false);
    m_labelText.setTextFormat(Qt::PlainText);
    m_labelText.setPerformanceHint(QStaticText::AggressiveCaching);
    if (ConnectionTexts::drawsLabel(m_label))
        m_labelText.setText(*m_label);
    layout();
}

QFont ConnectionItem::labelFont()
{
    return TessalineTypography::systemFont(10, QFont::Normal);
}

void ConnectionItem::setEnds(const QRectF &sourceFrame, const QRectF &destinationFrame)
{
    if (sourceFrame == m_sourceFrame && destinationFrame == m_destinationFrame)
        return;
    m_sourceFrame = sourceFrame;
    m_destinationFrame = destinationFrame;
    layout();
}

void ConnectionItem::setLabel(const std::optional<QString> &label)
{
    if (label == m_label)
        return;
    m_label = label;
    m_labelText.setText(ConnectionTexts::drawsLabel(label) ? *label : QString());
    layout();
}

void ConnectionItem::layout()
{
    prepareGeometryChange();
    m_curve = ConnectionCurve::between(m_sourceFrame, m_destinationFrame);
    m_points = flattened(m_curve);
    m_bounds = m_points.boundingRect().adjusted(-lineWidth, -lineWidth, lineWidth, lineWidth);
    m_chunkBounds.clear();
    for (qsizetype first = 0; first + 1 < m_points.size(); first += piecesPerChunk) {
        const qsizetype count = std::min(piecesPerChunk + 1, m_points.size() - first);
        m_chunkBounds.append(QPolygonF(m_points.mid(first, count)).boundingRect().adjusted(-0.5, -0.5, 0.5, 0.5));
    }
    m_labelRect = QRectF();
    if (!m_labelText.text().isEmpty()) {
        m_labelText.prepare(QTransform(), labelFont());
        const QSizeF size = m_labelText.size();
        m_labelRect = QRectF(m_curve.midpoint() - QPointF(size.width() / 2, size.height() / 2), size);
        m_bounds |= m_labelRect;
    }
}

void ConnectionItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget)
{
    const QPalette palette = widget ? widget->palette() : QApplication::palette();
    const bool contrast = DesignEnvironment::current().increasedContrast;
    const QColor secondary = semanticColor(SemanticColor::secondary, palette, contrast);
    painter->setRenderHint(QPainter::Antialiasing);
    QPen pen(withOpacity(secondary, 0.45), lineWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    // Only the pieces in the exposed area, drawn as separate lines: the
    // raster engine draws those directly, where a stroked path would first
    // be outlined and filled. With flat caps neighbouring pieces
    // neither overlap nor part (at these bends the difference is far below a
    // pixel), so the translucent line stays even.
    const QRectF exposed = option->exposedRect.adjusted(-lineWidth, -lineWidth, lineWidth, lineWidth);
    QVarLengthArray<QLineF, 256> pieces;
    for (qsizetype chunk = 0; chunk < m_chunkBounds.size(); ++chunk) {
        if (!m_chunkBounds.at(chunk).intersects(exposed))
            continue;
        const qsizetype first = chunk * piecesPerChunk;
        const qsizetype last = std::min(first + piecesPerChunk, m_points.size() - 1);
        for (qsizetype i = first; i < last; ++i)
            pieces.append(QLineF(m_points.at(i), m_points.at(i + 1)));
    }
    painter->drawLines(pieces.constData(), int(pieces.size()));
    if (!m_labelRect.isNull() && m_labelRect.intersects(option->exposedRect)) {
        painter->setFont(labelFont());
        painter->setPen(secondary);
        painter->drawStaticText(m_labelRect.topLeft(), m_labelText);
    }
}

} // namespace tessaline
