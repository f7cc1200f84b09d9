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
#include <cmath>
#include <optional>
#include <utility>

#include <QPalette>

namespace tessaline {

namespace {

constexpr qreal lineWidth = 1.5;
// A tenth of a point off the true curve: a fifth of a pixel at most, on
// screens of up to twice the density.
constexpr qreal flatness = 0.1;
// Device pixels. The raster engine hands the blending of a line longer
// than about 30 pixels to its thread pool; waking those threads costs
// several times the drawing, so a long straight run goes as short lines.
constexpr qreal longestDrawnPiece = 24;

// Where the line from `from` to `to` runs inside `area`, as the span of
// its parameter (Liang-Barsky), or nothing.
std::optional<std::pair<qreal, qreal>> insideSpan(const QPointF &from, const QPointF &to, const QRectF &area)
{
    const QPointF delta = to - from;
    qreal enter = 0;
    qreal leave = 1;
    // Each edge as (p, q): the piece stays inside while p·t <= q.
    const std::pair<qreal, qreal> edges[] = {{-delta.x(), from.x() - area.left()},
                                             {delta.x(), area.right() - from.x()},
                                             {-delta.y(), from.y() - area.top()},
                                             {delta.y(), area.bottom() - from.y()}};
    for (const auto &[p, q] : edges) {
        if (p == 0) {
            if (q < 0)
                return std::nullopt;
            continue;
        }
        const qreal t = q / p;
        if (p < 0)
            enter = std::max(enter, t);
        else
            leave = std::min(leave, t);
        if (enter > leave)
            return std::nullopt;
    }
    return std::pair{enter, leave};
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
    m_points = m_curve.flattened(flatness);
    m_bounds = m_points.boundingRect().adjusted(-lineWidth, -lineWidth, lineWidth, lineWidth);
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
    const qreal longest = longestDrawnPiece / std::max<qreal>(1, std::abs(painter->deviceTransform().m11()));
    QVarLengthArray<QLineF, 256> pieces;
    for (qsizetype i = 0; i + 1 < m_points.size(); ++i) {
        const QLineF piece(m_points.at(i), m_points.at(i + 1));
        const auto span = insideSpan(piece.p1(), piece.p2(), exposed);
        if (!span)
            continue;
        // Cut where the whole piece is cut, whatever is exposed, so a
        // strip scrolled in draws exactly what a full repaint would.
        const int parts = std::max(1, int(std::ceil(piece.length() / longest)));
        const int first = std::clamp(int(std::floor(span->first * parts)), 0, parts - 1);
        const int last = std::clamp(int(std::ceil(span->second * parts)), first + 1, parts);
        for (int part = first; part < last; ++part)
            pieces.append(QLineF(piece.pointAt(qreal(part) / parts), piece.pointAt(qreal(part + 1) / parts)));
    }
    painter->drawLines(pieces.constData(), int(pieces.size()));
    if (!m_labelRect.isNull() && m_labelRect.intersects(option->exposedRect)) {
        painter->setFont(labelFont());
        painter->setPen(secondary);
        painter->drawStaticText(m_labelRect.topLeft(), m_labelText);
    }
}

} // namespace tessaline
