#include "canvas/ConnectionItem.h"

#include "design/DesignEnvironment.h"
#include "design/DesignTokens.h"
#include "design/SemanticColors.h"
#include "model/Connection.h"

#include <QApplication>
#include <QWidget>
#include <QPainter>
#include <QPalette>

namespace tessaline {

namespace {

constexpr qreal lineWidth = 1.5;

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
    m_path = m_curve.path();
    m_bounds = m_path.controlPointRect().adjusted(-lineWidth, -lineWidth, lineWidth, lineWidth);
    m_labelRect = QRectF();
    if (!m_labelText.text().isEmpty()) {
        m_labelText.prepare(QTransform(), labelFont());
        const QSizeF size = m_labelText.size();
        m_labelRect = QRectF(m_curve.midpoint() - QPointF(size.width() / 2, size.height() / 2), size);
        m_bounds |= m_labelRect;
    }
}

void ConnectionItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *widget)
{
    const QPalette palette = widget ? widget->palette() : QApplication::palette();
    const bool contrast = DesignEnvironment::current().increasedContrast;
    const QColor secondary = semanticColor(SemanticColor::secondary, palette, contrast);
    painter->setRenderHint(QPainter::Antialiasing);
    QPen pen(withOpacity(secondary, 0.45), lineWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawPath(m_path);
    if (!m_labelRect.isNull()) {
        painter->setFont(labelFont());
        painter->setPen(secondary);
        painter->drawStaticText(m_labelRect.topLeft(), m_labelText);
    }
}

} // namespace tessaline
