#include "imaging/AnnotationCanvasView.h"

#include "design/SemanticColors.h"
#include "imaging/AnnotationCanvasPainter.h"
#include "imaging/AnnotationEditorModel.h"
#include "imaging/AnnotationTextEntryPanel.h"
#include "platform/BackgroundPool.h"
#include "platform/FutureDelivery.h"

#include <QMouseEvent>
#include <qdrawutil.h>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tessaline {

namespace {

// The snip's shadow: black at 0.12, about 18 points soft, 8 points down.
constexpr int shadowRadius = 18;
constexpr int shadowOffset = 8;
constexpr double shadowOpacity = 0.12;
// Strokes and text may reach past the snip's edge; the kept mark pixmaps
// extend this far beyond it.
constexpr int layerMargin = 48;

// Stacked rectangles growing outward; each adds a little darkness, so the
// middle is darkest and the edge fades out. Drawn once around a small body
// and stretched to the snip's size: the shadow is the same along each edge
// and flat inside, and nineteen soft fills of a whole snip's area held the
// review's first frame for milliseconds.
QPixmap shadowPixmap(QSizeF size, qreal ratio)
{
    constexpr int edge = 2 * shadowRadius;
    const QSize logical(int(std::ceil(size.width())) + 2 * shadowRadius,
                        int(std::ceil(size.height())) + 2 * shadowRadius);
    const QSize tileLogical(2 * shadowRadius + 2 * edge, 2 * shadowRadius + 2 * edge);
    QPixmap tile(tileLogical * ratio);
    tile.setDevicePixelRatio(ratio);
    tile.fill(Qt::transparent);
    {
        QPainter painter(&tile);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        const QRectF body(shadowRadius, shadowRadius, 2 * edge, 2 * edge);
        constexpr int steps = shadowRadius;
        for (int i = steps; i >= 0; --i) {
            QColor shade(0, 0, 0);
            shade.setAlphaF(float(shadowOpacity / steps * 1.6));
            painter.setBrush(shade);
            const qreal spread = i;
            painter.drawRoundedRect(body.adjusted(-spread, -spread, spread, spread), spread, spread);
        }
    }
    QPixmap pixmap(logical * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    // The corners' curves lie outside the body; inside it all is flat.
    constexpr int border = shadowRadius + 2;
    const QMargins margins(border, border, border, border);
    qDrawBorderPixmap(&painter, QRect(QPoint(0, 0), logical), margins, tile);
    return pixmap;
}

} // namespace

AnnotationCanvasView::AnnotationCanvasView(const QImage &image, AnnotationEditorModel &model, QWidget *parent)
    : QWidget(parent), m_image(image), m_model(model), m_panel(new AnnotationTextEntryPanel(model, this))
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
    connect(&m_model, &AnnotationEditorModel::stateChanged, this, &AnnotationCanvasView::refreshFromModel);
}

QSize AnnotationCanvasView::minimumSizeHint() const
{
    return QSize(120, 120);
}

QSizeF AnnotationCanvasView::fittedSize(QSizeF imageSize, QSizeF available)
{
    if (imageSize.width() <= 0 || imageSize.height() <= 0)
        return available;
    const double scale = std::min(available.width() / imageSize.width(), available.height() / imageSize.height());
    return imageSize * scale;
}

QRectF AnnotationCanvasView::fittedRect() const
{
    const QSizeF area = size();
    const QSizeF fitted = fittedSize(m_image.deviceIndependentSize(), area);
    // Centred on a whole device pixel, so the kept pixmaps line up exactly
    // with what is drawn directly.
    const qreal ratio = devicePixelRatioF();
    const auto aligned = [ratio](qreal value) { return std::round(value * ratio) / ratio; };
    return QRectF(QPointF(aligned((area.width() - fitted.width()) / 2), aligned((area.height() - fitted.height()) / 2)),
                  fitted);
}

QPointF AnnotationCanvasView::canvasPoint(const QPointF &widgetPoint) const
{
    return widgetPoint - fittedRect().topLeft();
}

void AnnotationCanvasView::refreshPixmaps()
{
    const QRectF fitted = fittedRect();
    const qreal ratio = devicePixelRatioF();
    if (fitted == m_pixmapRect && !m_scaledImage.isNull() && m_scaledImage.devicePixelRatio() == ratio)
        return;
    m_pixmapRect = fitted;
    const QSize pixels = (fitted.size() * ratio).toSize();
    const quint64 scaling = ++m_scalings;
    if (m_image.isNull() || pixels.isEmpty()) {
        m_scaledImage = QPixmap();
    } else if (m_image.width() * qint64(m_image.height()) <= 4 * pixels.width() * qint64(pixels.height())) {
        m_scaledImage = QPixmap::fromImage(m_image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        m_scaledImage.setDevicePixelRatio(ratio);
    } else {
        // A smooth scale reads every pixel of the picture: for a 5K capture
        // that held the review's first frame for tens of milliseconds. The
        // frame shows a sampled scale, and the smooth one replaces it from a
        // worker unless the size changed meanwhile.
        m_scaledImage = QPixmap::fromImage(m_image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::FastTransformation));
        m_scaledImage.setDevicePixelRatio(ratio);
        deliveredTo(this, QtConcurrent::run(&backgroundPool(), [image = m_image, pixels] {
                        return image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                    }))
            .then(this, [this, scaling, ratio](const QImage &scaled) {
                if (scaling != m_scalings)
                    return;
                m_scaledImage = QPixmap::fromImage(scaled);
                m_scaledImage.setDevicePixelRatio(ratio);
                update();
            });
    }
    m_shadow = fitted.isEmpty() ? QPixmap() : shadowPixmap(fitted.size(), ratio);
}

void AnnotationCanvasView::paintEvent(QPaintEvent *)
{
    refreshPixmaps();
    QPainter painter(this);
    painter.fillRect(rect(), semanticColor(SemanticColor::windowBackground, palette()));
    const QRectF fitted = fittedRect();
    if (!m_shadow.isNull())
        painter.drawPixmap(fitted.topLeft() + QPointF(-shadowRadius, shadowOffset - shadowRadius), m_shadow);
    if (!m_scaledImage.isNull())
        painter.drawPixmap(fitted.topLeft(), m_scaledImage);

    // The marks in drawing order, split around the selected one, which is
    // the one that moves or changes style.
    const std::optional<QUuid> hidden = m_model.hiddenItemID();
    const std::optional<QUuid> selected = m_model.selectedItemID();
    QList<AnnotationItem> below;
    QList<AnnotationItem> above;
    std::optional<AnnotationItem> live;
    below.reserve(m_model.document().items.size());
    for (const AnnotationItem &item : m_model.document().items) {
        if (hidden && item.id == *hidden)
            continue;
        if (!live && selected && item.id == *selected)
            live = item;
        else
            (live ? above : below).append(item);
    }
    const qreal ratio = devicePixelRatioF();
    updateLayer(m_below, below, fitted.size(), ratio);
    updateLayer(m_above, above, fitted.size(), ratio);

    const auto colors = AnnotationCanvasPainter::Colors::from(palette());
    painter.translate(fitted.topLeft());
    painter.drawPixmap(QPointF(-layerMargin, -layerMargin), m_below.pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (live)
        AnnotationCanvasPainter::drawItem(painter, *live, fitted.size(), colors);
    painter.drawPixmap(QPointF(-layerMargin, -layerMargin), m_above.pixmap);
    if (const std::optional<AnnotationItem> preview = m_model.previewItem())
        AnnotationCanvasPainter::drawItem(painter, *preview, fitted.size(), colors);
    if (live)
        AnnotationCanvasPainter::drawSelectionOutline(painter, *live, fitted.size(), colors);
}

void AnnotationCanvasView::updateLayer(Layer &layer, const QList<AnnotationItem> &items, QSizeF size, qreal ratio)
{
    if (layer.size == size && layer.ratio == ratio && layer.items == items)
        return;
    const bool sameCanvas = layer.size == size && layer.ratio == ratio && !layer.pixmap.isNull();
    // Marks added on top of the kept ones are drawn over the kept pixmap.
    const bool onlyAdded = sameCanvas && layer.items.size() < items.size()
        && std::equal(layer.items.cbegin(), layer.items.cend(), items.cbegin());
    if (!onlyAdded) {
        const QSize pixels = ((size + QSizeF(2 * layerMargin, 2 * layerMargin)) * ratio).toSize();
        layer.pixmap = QPixmap(pixels.expandedTo(QSize(1, 1)));
        layer.pixmap.setDevicePixelRatio(ratio);
        layer.pixmap.fill(Qt::transparent);
    }
    const qsizetype first = onlyAdded ? layer.items.size() : 0;
    layer.items = items;
    layer.size = size;
    layer.ratio = ratio;
    if (first == items.size())
        return;
    QPainter painter(&layer.pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.translate(layerMargin, layerMargin);
    const auto colors = AnnotationCanvasPainter::Colors::from(palette());
    for (qsizetype i = first; i < items.size(); ++i)
        AnnotationCanvasPainter::drawItem(painter, items[i], size, colors);
}

void AnnotationCanvasView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placePanel();
}

void AnnotationCanvasView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        // Pixelate boxes are drawn in palette colours.
        m_below = Layer();
        m_above = Layer();
        update();
    }
}

void AnnotationCanvasView::refreshFromModel()
{
    const bool editing = m_model.isTextEditing();
    if (editing) {
        m_panel->refresh();
        placePanel();
    }
    m_panel->setOpen(editing);
    if (!editing && m_panel->field()->hasFocus())
        setFocus(Qt::OtherFocusReason);
    update();
}

void AnnotationCanvasView::placePanel()
{
    const std::optional<TextEditingContext> context = m_model.textEditingContext();
    if (!context)
        return;
    const QRectF fitted = fittedRect();
    const double width = AnnotationEditorModel::textPanelWidth(fitted.width());
    const QPointF center = AnnotationEditorModel::textPanelCenter(context->point, fitted.size(), width);
    m_panel->place(fitted.topLeft() + center, width);
}

void AnnotationCanvasView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    setFocus(Qt::MouseFocusReason);
    // Only the snip itself takes the pointer.
    if (!fittedRect().contains(event->position()))
        return;
    m_pointerDown = true;
    m_model.pointerPressed(canvasPoint(event->position()), fittedRect().size());
}

void AnnotationCanvasView::mouseMoveEvent(QMouseEvent *event)
{
    if (m_pointerDown)
        m_model.pointerMoved(canvasPoint(event->position()), fittedRect().size());
}

void AnnotationCanvasView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_pointerDown)
        return QWidget::mouseReleaseEvent(event);
    m_pointerDown = false;
    m_model.pointerReleased(canvasPoint(event->position()), fittedRect().size());
}

void AnnotationCanvasView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !fittedRect().contains(event->position()))
        return;
    m_pointerDown = true;
    m_model.doubleClicked(canvasPoint(event->position()), fittedRect().size());
}

} // namespace tessaline
