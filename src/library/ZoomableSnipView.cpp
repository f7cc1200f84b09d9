#include "library/ZoomableSnipView.h"

#include "design/DesignEnvironment.h"
#include "design/SemanticColors.h"
#include "platform/SymbolIcon.h"

#include <QKeyEvent>
#include <QNativeGestureEvent>
#include <QResizeEvent>
#include <QPainter>
#include <QScrollBar>
#include <QVariantAnimation>
#include <QWheelEvent>

#include <cmath>

namespace tessaline {

namespace {

constexpr int zoomDurationMs = 160;
// The picture's shadow: black at 14 %, 12 points soft, 4 points down.
constexpr qreal shadowOpacity = 0.14;
constexpr qreal shadowRadius = 12;
constexpr qreal shadowOffset = 4;

QColor underPageColor(const QPalette &palette)
{
    return mixColors(semanticColor(SemanticColor::windowBackground, palette),
                     semanticColor(SemanticColor::label, palette), 0.06);
}

} // namespace

ZoomableSnipView::ZoomableSnipView(QWidget *parent)
    : QAbstractScrollArea(parent), m_animation(new QVariantAnimation(this))
{
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::NoFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAttribute(Qt::WA_AcceptTouchEvents);
    viewport()->setAccessibleName(tr("Captured image"));
    m_animation->setDuration(zoomDurationMs);
    m_animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_animation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &value) { showScaleAround(value.toDouble(), m_anchorPixel, m_anchor); });
}

ZoomableSnipView::~ZoomableSnipView() = default;

void ZoomableSnipView::setPicture(SharedSnipPicture picture, const QSize &pixelSize, bool restart)
{
    const QSize size = picture ? picture->size() : pixelSize;
    const bool sameSize = size == m_pixelSize;
    m_picture = std::move(picture);
    m_pixelSize = size;
    if (restart || !sameSize) {
        m_animation->stop();
        reportFitScale();
        m_shownScale = targetScale();
        updateScrollBars();
    }
    viewport()->update();
}

void ZoomableSnipView::setZoomMode(const SnipZoomMode &mode)
{
    if (mode == m_mode)
        return;
    m_mode = mode;
    // A zoom of the wheel, the pinch or the double-click keeps the point
    // under the pointer; any other keeps the centre.
    m_anchor = m_pendingAnchor.value_or(viewportCentre());
    m_pendingAnchor.reset();
    // Every frame places this very point, so rounding never adds up.
    m_anchorPixel = pixelUnder(shownLayout(), m_anchor);
    const double target = targetScale();
    m_animation->stop();
    if (DesignEnvironment::current().reduceMotion || !isVisible() || target == m_shownScale) {
        showScaleAround(target, m_anchorPixel, m_anchor);
        return;
    }
    m_animation->setStartValue(m_shownScale);
    m_animation->setEndValue(target);
    m_animation->start();
}

double ZoomableSnipView::targetScale() const
{
    return ZoomableSnipLayout(m_pixelSize, viewport()->size(), m_mode).effectiveScale;
}

bool ZoomableSnipView::isAnimating() const
{
    return m_animation->state() == QAbstractAnimation::Running;
}

ZoomableSnipLayout ZoomableSnipView::shownLayout() const
{
    return ZoomableSnipLayout(m_pixelSize, viewport()->size(), SnipZoomMode::custom(m_shownScale));
}

QPointF ZoomableSnipView::viewportCentre() const
{
    return QPointF(viewport()->width() / 2.0, viewport()->height() / 2.0);
}

void ZoomableSnipView::zoomBy(double factor, std::optional<QPointF> anchor)
{
    const double base = ZoomableSnipLayout(m_pixelSize, viewport()->size(), m_mode).effectiveScale;
    editZoomMode(SnipZoomMode::custom(SnipZoom::bounded(base * factor)), anchor);
}

void ZoomableSnipView::editZoomMode(const SnipZoomMode &mode, std::optional<QPointF> anchor)
{
    m_pendingAnchor = anchor;
    Q_EMIT zoomModeEdited(mode);
    m_pendingAnchor.reset();
}

QPointF ZoomableSnipView::pixelUnder(const ZoomableSnipLayout &layout, const QPointF &anchor) const
{
    const QPointF scroll(horizontalScrollBar()->value(), verticalScrollBar()->value());
    return (scroll + anchor - layout.imageRect.topLeft()) / std::max(layout.effectiveScale, 1e-9);
}

void ZoomableSnipView::showScaleAround(double scale, const QPointF &pixel, const QPointF &anchor)
{
    m_shownScale = scale;
    const ZoomableSnipLayout after = shownLayout();
    updateScrollBars();
    const QPointF target = after.imageRect.topLeft() + pixel * after.effectiveScale - anchor;
    horizontalScrollBar()->setValue(int(std::lround(target.x())));
    verticalScrollBar()->setValue(int(std::lround(target.y())));
    viewport()->update();
}

void ZoomableSnipView::updateScrollBars()
{
    const ZoomableSnipLayout layout = shownLayout();
    const QSize view = viewport()->size();
    horizontalScrollBar()->setPageStep(view.width());
    verticalScrollBar()->setPageStep(view.height());
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setSingleStep(20);
    horizontalScrollBar()->setRange(0, std::max(0, int(std::ceil(layout.contentSize.width())) - view.width()));
    verticalScrollBar()->setRange(0, std::max(0, int(std::ceil(layout.contentSize.height())) - view.height()));
}

void ZoomableSnipView::reportFitScale()
{
    const double fit = ZoomableSnipLayout::fitScaleFor(m_pixelSize, viewport()->size());
    if (fit == m_fitScale)
        return;
    m_fitScale = fit;
    Q_EMIT fitScaleChanged(fit);
}

void ZoomableSnipView::resizeEvent(QResizeEvent *event)
{
    // The viewport's own size: scroll bars coming and going change it too.
    QAbstractScrollArea::resizeEvent(event);
    reportFitScale();
    if (!event->oldSize().isValid()) {
        m_shownScale = targetScale();
        updateScrollBars();
        return;
    }
    // What was in the middle stays in the middle. A new viewport changes
    // what fitting means: that applies at once, while an easing under way
    // to another scale goes on around its own point, moved with the size.
    const QSizeF oldSize = event->oldSize();
    const QSizeF newSize = viewport()->size();
    if (isAnimating()) {
        m_anchor = QPointF(m_anchor.x() * newSize.width() / std::max<qreal>(1, oldSize.width()),
                           m_anchor.y() * newSize.height() / std::max<qreal>(1, oldSize.height()));
        showScaleAround(m_shownScale, m_anchorPixel, m_anchor);
        return;
    }
    const ZoomableSnipLayout before(m_pixelSize, oldSize, SnipZoomMode::custom(m_shownScale));
    const QPointF pixel = pixelUnder(before, QPointF(oldSize.width() / 2, oldSize.height() / 2));
    showScaleAround(targetScale(), pixel, viewportCentre());
}

void ZoomableSnipView::showEvent(QShowEvent *event)
{
    QAbstractScrollArea::showEvent(event);
    reportFitScale();
    m_shownScale = targetScale();
    updateScrollBars();
}

void ZoomableSnipView::wheelEvent(QWheelEvent *event)
{
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    // One notch is one zoom step; touchpads send fractions of a notch.
    const qreal notches = event->angleDelta().y() / 120.0;
    if (notches != 0)
        zoomBy(std::pow(SnipZoom::zoomInFactor, notches), event->position());
    event->accept();
}

void ZoomableSnipView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseDoubleClickEvent(event);
        return;
    }
    editZoomMode(m_mode.toggledActualSize(), event->position());
    event->accept();
}

bool ZoomableSnipView::viewportEvent(QEvent *event)
{
    if (event->type() != QEvent::NativeGesture)
        return QAbstractScrollArea::viewportEvent(event);
    auto *gesture = static_cast<QNativeGestureEvent *>(event);
    switch (gesture->gestureType()) {
    case Qt::BeginNativeGesture:
        m_gestureStartScale.reset();
        m_gestureMagnification = 1.0;
        break;
    case Qt::ZoomNativeGesture: {
        if (!m_gestureStartScale)
            m_gestureStartScale = ZoomableSnipLayout(m_pixelSize, viewport()->size(), m_mode).effectiveScale;
        // Each event carries the change since the previous one.
        m_gestureMagnification *= 1.0 + gesture->value();
        editZoomMode(SnipZoomMode::custom(SnipZoom::bounded(*m_gestureStartScale * m_gestureMagnification)),
                     gesture->position());
        break;
    }
    case Qt::EndNativeGesture:
        m_gestureStartScale.reset();
        break;
    default:
        break;
    }
    event->accept();
    return true;
}

void ZoomableSnipView::keyPressEvent(QKeyEvent *event)
{
    // Paging and closing are the gallery's keys, never scrolling.
    event->ignore();
}

void ZoomableSnipView::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    const QRect exposed = event->rect();
    painter.fillRect(exposed, underPageColor(palette()));
    if (m_pixelSize.isEmpty())
        return;

    const ZoomableSnipLayout layout = shownLayout();
    const QRectF image = layout.imageRect.translated(-horizontalScrollBar()->value(), -verticalScrollBar()->value());
    paintShadow(painter, image, exposed);
    const QRectF visible = image.intersected(QRectF(exposed));
    if (visible.isEmpty())
        return;

    if (!m_picture) {
        // Still decoding: a quiet tile of the picture's size.
        painter.fillRect(visible, mixColors(underPageColor(palette()), semanticColor(SemanticColor::label, palette()), 0.05));
        const QSizeF symbol(28, 28);
        const QRectF place(image.center() - QPointF(symbol.width() / 2, symbol.height() / 2), symbol);
        if (place.intersects(visible)) {
            painter.drawPixmap(place.topLeft(), SymbolIcon::tintedPixmap(QStringLiteral("photo"), symbol.toSize(),
                                                                         devicePixelRatioF(),
                                                                         semanticColor(SemanticColor::tertiary, palette())));
        }
        return;
    }

    const qreal deviceScale = layout.effectiveScale * devicePixelRatioF();
    const QImage &source = layout.smoothScaling ? m_picture->imageForScale(deviceScale) : m_picture->image();
    // Only the exposed part is sampled, whatever the zoom.
    const qreal sx = source.width() / image.width();
    const qreal sy = source.height() / image.height();
    const QRectF sourceRect((visible.left() - image.left()) * sx, (visible.top() - image.top()) * sy,
                            visible.width() * sx, visible.height() * sy);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, layout.smoothScaling);
    painter.drawImage(visible, source, sourceRect);
}

void ZoomableSnipView::paintShadow(QPainter &painter, const QRectF &image, const QRect &exposed) const
{
    // Soft edges drawn as gradients around the picture: cheap at any size,
    // unlike a blur of the whole picture.
    const QRectF casting = image.translated(0, shadowOffset);
    const QRectF around = casting.adjusted(-shadowRadius, -shadowRadius, shadowRadius, shadowRadius);
    if (!around.intersects(QRectF(exposed)))
        return;
    painter.save();
    painter.setClipRect(exposed);
    painter.setPen(Qt::NoPen);
    const QColor dark(0, 0, 0, int(255 * shadowOpacity));
    const QColor clear(0, 0, 0, 0);
    auto edge = [&](const QRectF &rect, const QPointF &from, const QPointF &to) {
        QLinearGradient gradient(from, to);
        gradient.setColorAt(0, dark);
        gradient.setColorAt(1, clear);
        painter.fillRect(rect, gradient);
    };
    const qreal r = shadowRadius;
    // Under the picture too, so the offset strip below it is shaded.
    painter.fillRect(casting, dark);
    edge(QRectF(casting.left(), casting.top() - r, casting.width(), r), QPointF(0, casting.top()), QPointF(0, casting.top() - r));
    edge(QRectF(casting.left(), casting.bottom(), casting.width(), r), QPointF(0, casting.bottom()),
         QPointF(0, casting.bottom() + r));
    edge(QRectF(casting.left() - r, casting.top(), r, casting.height()), QPointF(casting.left(), 0),
         QPointF(casting.left() - r, 0));
    edge(QRectF(casting.right(), casting.top(), r, casting.height()), QPointF(casting.right(), 0),
         QPointF(casting.right() + r, 0));
    auto corner = [&](const QPointF &centre, const QRectF &rect) {
        QRadialGradient gradient(centre, r);
        gradient.setColorAt(0, dark);
        gradient.setColorAt(1, clear);
        painter.fillRect(rect, gradient);
    };
    corner(casting.topLeft(), QRectF(casting.left() - r, casting.top() - r, r, r));
    corner(casting.topRight(), QRectF(casting.right(), casting.top() - r, r, r));
    corner(casting.bottomLeft(), QRectF(casting.left() - r, casting.bottom(), r, r));
    corner(casting.bottomRight(), QRectF(casting.right(), casting.bottom(), r, r));
    painter.restore();
}

} // namespace tessaline
