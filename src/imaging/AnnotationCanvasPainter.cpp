#include "imaging/AnnotationCanvasPainter.h"

#include "design/DesignTokens.h"
#include "design/SemanticColors.h"
#include "imaging/AnnotationEditorModel.h"
#include "model/AnnotationRenderer.h"

#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPen>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tessaline::AnnotationCanvasPainter {

namespace {

constexpr double miterLimit = 10;
constexpr double selectionInset = 6;
constexpr double selectionCornerRadius = 5;
constexpr double selectionPenWidth = 1.25;
constexpr double dashOn = 4;
constexpr double dashOff = 3;

QColor itemColor(const AnnotationColor &color)
{
    const auto unit = [](double value) { return float(std::clamp(value, 0.0, 1.0)); };
    return QColor::fromRgbF(unit(color.red), unit(color.green), unit(color.blue), unit(color.alpha));
}

QPen strokePen(const QColor &color, double width, Qt::PenCapStyle cap, Qt::PenJoinStyle join)
{
    QPen pen(color);
    pen.setWidthF(width);
    pen.setCapStyle(cap);
    pen.setJoinStyle(join);
    pen.setMiterLimit(miterLimit);
    return pen;
}

// Qt measures a dash pattern in pen widths; the pattern is meant in points.
QPen dashedPen(const QColor &color, double width)
{
    QPen pen = strokePen(color, width, Qt::FlatCap, Qt::MiterJoin);
    pen.setDashPattern({dashOn / width, dashOff / width});
    return pen;
}

QPolygonF polyline(const AnnotationItem &item, QSizeF size)
{
    QPolygonF polygon;
    polygon.reserve(item.points.size());
    for (const NormalizedPoint &point : item.points)
        polygon.append(AnnotationEditorModel::toCanvas(point, size));
    return polygon;
}

QRectF spannedBox(const AnnotationItem &item, QSizeF size)
{
    const QPointF a = AnnotationEditorModel::toCanvas(item.points.first(), size);
    const QPointF b = AnnotationEditorModel::toCanvas(item.points.last(), size);
    return QRectF(std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::abs(b.x() - a.x()), std::abs(b.y() - a.y()));
}

void drawArrow(QPainter &painter, const AnnotationItem &item, QSizeF size)
{
    if (item.points.first() == item.points.last())
        return;
    const QPointF first = AnnotationEditorModel::toCanvas(item.points.first(), size);
    const QPointF last = AnnotationEditorModel::toCanvas(item.points.last(), size);
    const double angle = std::atan2(last.y() - first.y(), last.x() - first.x());
    const double length = std::max(3 * item.lineWidth, 12.0);
    constexpr double barb = std::numbers::pi / 7;
    QPainterPath path(first);
    path.lineTo(last);
    for (const double side : {angle - barb, angle + barb}) {
        path.moveTo(last);
        path.lineTo(last - QPointF(length * std::cos(side), length * std::sin(side)));
    }
    painter.strokePath(path, strokePen(itemColor(item.color), item.lineWidth, Qt::RoundCap, Qt::RoundJoin));
}

void drawText(QPainter &painter, const AnnotationItem &item, QSizeF size)
{
    if (!item.text || item.text->isEmpty())
        return;
    const QPointF anchor = AnnotationEditorModel::toCanvas(item.points.first(), size);
    painter.setPen(itemColor(item.color));
    // Its lines laid out as in the kept picture, each in its own direction;
    // only the box stands elsewhere, its top-left corner at the anchor.
    AnnotationRenderer::drawTextLabel(
        painter, AnnotationRenderer::layOutTextLabel(*item.text, textFont(item.lineWidth), painter.device()), anchor);
}

} // namespace

Colors Colors::from(const QPalette &palette)
{
    return {semanticColor(SemanticColor::primary, palette), semanticColor(SemanticColor::secondary, palette),
            semanticColor(SemanticColor::windowBackground, palette)};
}

QFont textFont(double lineWidth)
{
    return TessalineTypography::systemFont(std::max(4 * lineWidth, 14.0), QFont::DemiBold);
}

void drawItem(QPainter &painter, const AnnotationItem &item, QSizeF size, const Colors &colors)
{
    if (item.points.isEmpty())
        return;
    painter.save();
    switch (item.tool) {
    case AnnotationTool::select:
        break;
    case AnnotationTool::arrow:
        drawArrow(painter, item, size);
        break;
    case AnnotationTool::rectangle:
        painter.setPen(strokePen(itemColor(item.color), item.lineWidth, Qt::FlatCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(spannedBox(item, size), 2, 2);
        break;
    case AnnotationTool::freehand:
    case AnnotationTool::highlight: {
        const double width = item.tool == AnnotationTool::highlight ? 4 * item.lineWidth : item.lineWidth;
        painter.setPen(strokePen(itemColor(item.color), width, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        // One path is stroked as one outline, so a translucent highlight
        // never darkens where it crosses itself.
        if (item.points.size() >= 2) {
            QPainterPath path;
            path.addPolygon(polyline(item, size));
            painter.strokePath(path, painter.pen());
        }
        break;
    }
    case AnnotationTool::text:
        drawText(painter, item, size);
        break;
    case AnnotationTool::pixelate: {
        const QRectF box = spannedBox(item, size);
        painter.fillRect(box, withOpacity(colors.secondary, 0.18));
        painter.setPen(dashedPen(withOpacity(colors.secondary, 0.65), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(box);
        break;
    }
    }
    painter.restore();
}

void drawSelectionOutline(QPainter &painter, const AnnotationItem &item, QSizeF size, const Colors &colors)
{
    const std::optional<QRectF> frame = item.frame(size);
    if (!frame)
        return;
    const QRectF outline = frame->adjusted(-selectionInset, -selectionInset, selectionInset, selectionInset);
    painter.save();
    painter.setBrush(withOpacity(colors.windowBackground, 0.08));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(outline, selectionCornerRadius, selectionCornerRadius);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(dashedPen(withOpacity(colors.primary, 0.88), selectionPenWidth));
    painter.drawRoundedRect(outline, selectionCornerRadius, selectionCornerRadius);
    painter.restore();
}

void render(QPainter &painter, const AnnotationEditorModel &model, QSizeF size, const Colors &colors)
{
    const std::optional<QUuid> hidden = model.hiddenItemID();
    for (const AnnotationItem &item : model.document().items) {
        if (hidden && item.id == *hidden)
            continue;
        drawItem(painter, item, size, colors);
    }
    if (const std::optional<AnnotationItem> preview = model.previewItem())
        drawItem(painter, *preview, size, colors);
    const std::optional<QUuid> selected = model.selectedItemID();
    if (selected && selected != hidden) {
        if (const std::optional<AnnotationItem> item = model.document().item(selected))
            drawSelectionOutline(painter, *item, size, colors);
    }
}

} // namespace tessaline::AnnotationCanvasPainter
