#include "runtime/PinnedImageView.h"

#include "runtime/ImageExportService.h"
#include "design/FunctionalSurface.h"
#include "design/SemanticColors.h"
#include "design/StudioIconButton.h"
#include "runtime/PinGeometry.h"
#include "platform/SymbolIcon.h"
#include "platform/WindowHints.h"
#include "platform/WindowSystem.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QSlider>
#include <QWindow>

namespace tessaline {

namespace {

constexpr int controlsInset = 8;
constexpr int controlsPadding = 7;
constexpr int sliderWidth = 70;
constexpr int controlsHeight = 42;

} // namespace

PinnedImageView::PinnedImageView(const QSize &pixelSize, Pasteboard &pasteboard, std::function<void()> close)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus)
    , m_imageSize(pixelSize)
    , m_pasteboard(pasteboard)
    , m_close(std::move(close))
{
    setObjectName(QStringLiteral("PinnedImage"));
    setWindowTitle(QStringLiteral("Tessaline"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    // Rounded corners need a compositor to show what is behind them.
    m_translucent = hasCompositingManager();
    if (m_translucent)
        setAttribute(Qt::WA_TranslucentBackground);
    setMinimumSize(PinGeometry::minimumSize);

    // A capsule on the design system's contextual surface.
    auto *capsule = new FunctionalSurface(FunctionalSurfaceRole::contextualPalette, controlsHeight / 2.0, this);
    m_controls = capsule;
    auto *content = new QWidget;
    auto *row = new QHBoxLayout(content);
    row->setContentsMargins(controlsPadding, controlsPadding, controlsPadding, controlsPadding);
    row->setSpacing(6);
    m_slider = new QSlider(Qt::Horizontal);
    m_slider->setRange(int(minimumOpacity * 100), 100);
    m_slider->setValue(100);
    m_slider->setFixedWidth(sliderWidth);
    m_slider->setFocusPolicy(Qt::NoFocus);
    m_slider->setToolTip(tr("Opacity"));
    m_slider->setAccessibleName(tr("Opacity"));
    row->addWidget(m_slider, 0, Qt::AlignVCenter);
    m_closeButton = new StudioIconButton(tr("Close pin"), QStringLiteral("xmark"), false,
                                         StudioControlProminence::standard, [this] { m_close(); });
    m_closeButton->setFocusPolicy(Qt::NoFocus);
    row->addWidget(m_closeButton, 0, Qt::AlignVCenter);
    capsule->setContent(content);
    capsule->setFixedHeight(controlsHeight);
    m_controls->hide();
    connect(m_slider, &QSlider::valueChanged, this, [this](int value) { setOpacity(value / 100.0); });
}

PinnedImageView::~PinnedImageView() = default;

void PinnedImageView::setPicture(SharedSnipPicture picture)
{
    m_picture = std::move(picture);
    if (m_picture)
        m_imageSize = m_picture->size();
    placeControls();
    update();
}

void PinnedImageView::setOpacity(double opacity)
{
    const double bounded = std::clamp(opacity, minimumOpacity, 1.0);
    if (bounded == m_opacity)
        return;
    m_opacity = bounded;
    const int value = int(std::lround(bounded * 100));
    if (m_slider->value() != value)
        m_slider->setValue(value);
    update();
}

QRectF PinnedImageView::fittedImageRect() const
{
    const QSizeF area = size();
    if (m_imageSize.isEmpty())
        return QRectF(QPointF(), area);
    const QSizeF fitted = m_imageSize.scaled(area, Qt::KeepAspectRatio);
    return QRectF(QPointF((area.width() - fitted.width()) / 2, (area.height() - fitted.height()) / 2), fitted);
}

QRect PinnedImageView::gripRect() const
{
    return QRect(width() - gripSize, height() - gripSize, gripSize, gripSize);
}

void PinnedImageView::setWindowSize(const QSize &size)
{
    // A tiling compositor floats a window of one fixed size; the grip is
    // then the one way to resize it.
    if (WindowSystem::clientsPlaceWindows()) {
        resize(size);
        return;
    }
    setFixedSize(size);
}

void PinnedImageView::setHovering(bool hovering)
{
    if (hovering == m_hovering)
        return;
    m_hovering = hovering;
    m_controls->setVisible(hovering);
    update();
}

void PinnedImageView::placeControls()
{
    m_controls->adjustSize();
    const QRectF image = fittedImageRect();
    // A picture narrower or flatter than the controls (a thin strip): they
    // stay inside the window rather than hang out of it.
    const int x = std::max(controlsInset, int(image.right()) - controlsInset - m_controls->width());
    const int y = std::min(int(image.top()) + controlsInset, height() - controlsInset - m_controls->height());
    m_controls->move(x, std::max(0, y));
}

void PinnedImageView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeControls();
}

void PinnedImageView::enterEvent(QEnterEvent *event)
{
    QWidget::enterEvent(event);
    setHovering(true);
}

void PinnedImageView::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    setHovering(false);
}

void PinnedImageView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    if (!m_translucent)
        painter.fillRect(rect(), semanticColor(SemanticColor::windowBackground, palette()));
    painter.setClipPath(clip);

    const QRectF image = fittedImageRect();
    painter.fillRect(image, QColor(0, 0, 0, int(255 * 0.04)));
    if (m_picture) {
        painter.setOpacity(m_opacity);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const qreal scale = image.width() * devicePixelRatioF() / std::max(1, m_picture->size().width());
        const QImage &source = m_picture->imageForScale(scale);
        painter.drawImage(image, source, QRectF(source.rect()));
        painter.setOpacity(1.0);
    } else {
        const QSize symbol(24, 24);
        painter.drawPixmap(image.center() - QPointF(symbol.width() / 2.0, symbol.height() / 2.0),
                           SymbolIcon::tintedPixmap(QStringLiteral("photo"), symbol, devicePixelRatioF(),
                                                    semanticColor(SemanticColor::tertiary, palette())));
    }

    if (m_hovering) {
        // The grip: three short diagonals in the corner.
        painter.setClipping(false);
        painter.setPen(QPen(withOpacity(semanticColor(SemanticColor::label, palette()), 0.55), 1.2));
        const QRectF grip = QRectF(gripRect()).adjusted(3, 3, -3, -3);
        for (int i = 0; i < 3; ++i) {
            const qreal inset = i * 4;
            painter.drawLine(QPointF(grip.left() + inset, grip.bottom()), QPointF(grip.right(), grip.top() + inset));
        }
    }
}

void PinnedImageView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    if (gripRect().contains(event->position().toPoint())) {
        m_resizeOrigin = event->globalPosition().toPoint();
        m_resizeStartSize = size();
        event->accept();
        return;
    }
    // The window manager moves the window; where it cannot, or the window
    // is out of its care for now, we do.
    const QWindow *handle = windowHandle();
    if (!handle || handle->flags().testFlag(Qt::X11BypassWindowManagerHint) || !windowHandle()->startSystemMove())
        m_manualMoveOffset = event->globalPosition().toPoint() - pos();
    event->accept();
}

void PinnedImageView::mouseMoveEvent(QMouseEvent *event)
{
    if (m_resizeOrigin) {
        const QPoint drag = event->globalPosition().toPoint() - *m_resizeOrigin;
        const QSize room = WindowSystem::clientsPlaceWindows() && screen()
            ? PinGeometry::room(screen()->availableGeometry(), pos())
            : QSize();
        setWindowSize(PinGeometry::resizedSize(m_resizeStartSize, drag, m_imageSize, room));
        event->accept();
        return;
    }
    if (m_manualMoveOffset) {
        move(event->globalPosition().toPoint() - *m_manualMoveOffset);
        event->accept();
        return;
    }
    setCursor(gripRect().contains(event->position().toPoint()) ? Qt::SizeFDiagCursor : Qt::ArrowCursor);
    QWidget::mouseMoveEvent(event);
}

void PinnedImageView::mouseReleaseEvent(QMouseEvent *event)
{
    m_resizeOrigin.reset();
    m_manualMoveOffset.reset();
    QWidget::mouseReleaseEvent(event);
}

bool PinnedImageView::copyPicture()
{
    const bool copied = m_picture && ImageExportService::copyToPasteboard(m_picture->image(), m_pasteboard);
    if (!copied) {
        auto *alert = new QMessageBox(QMessageBox::Warning, tr("Couldn’t finish that action"),
                                      tr("Couldn’t finish that action"), QMessageBox::Ok, this);
        alert->setInformativeText(imageExportErrorMessage(ImageExportError::encodingFailed));
        alert->setTextFormat(Qt::PlainText);
        alert->setAttribute(Qt::WA_DeleteOnClose);
        alert->open();
    }
    return copied;
}

void PinnedImageView::contextMenuEvent(QContextMenuEvent *event)
{
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(SymbolIcon::icon(QStringLiteral("doc.on.doc")), tr("Copy"), this, [this] { copyPicture(); });
    menu->addAction(SymbolIcon::icon(QStringLiteral("xmark")), tr("Close"), this, [this] { m_close(); });
    menu->popup(event->globalPos());
}

void PinnedImageView::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    Q_EMIT closed();
}

} // namespace tessaline
