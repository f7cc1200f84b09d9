#include "capture/RegionSelectionOverlay.h"

#include "platform/X11CaptureSystem.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <thread>
#include <vector>

namespace tessaline {

namespace {

// Black at 34 % over the picture leaves 66 % of every channel; doing that
// once up front turns each repaint of the dimmed area into a plain copy,
// which matters at 5K where a blend per repaint costs whole frames.
void dimRows(const QImage &source, QImage &target, int firstRow, int endRow)
{
    constexpr quint32 keep = 169; // 169 / 256 ≈ 0.66
    const int width = source.width();
    for (int y = firstRow; y < endRow; ++y) {
        const auto *in = reinterpret_cast<const quint32 *>(source.constScanLine(y));
        auto *out = reinterpret_cast<quint32 *>(target.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const quint32 p = in[x];
            const quint32 redBlue = (((p & 0x00ff00ffu) * keep) >> 8) & 0x00ff00ffu;
            const quint32 green = (((p & 0x0000ff00u) * keep) >> 8) & 0x0000ff00u;
            out[x] = 0xff000000u | redBlue | green;
        }
    }
}

QImage dimmedImage(const QImage &image)
{
    const QImage source = image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
    QImage target(source.size(), QImage::Format_RGB32);
    if (target.isNull())
        return target;
    const int rows = source.height();
    // Large pictures are split over a few threads; each writes its own rows.
    const int threads = rows * qint64(source.width()) > 2'000'000
        ? int(std::min(4u, std::max(1u, std::thread::hardware_concurrency())))
        : 1;
    if (threads == 1) {
        dimRows(source, target, 0, rows);
        return target;
    }
    std::vector<std::thread> workers;
    const int step = (rows + threads - 1) / threads;
    for (int first = step; first < rows; first += step)
        workers.emplace_back(dimRows, std::cref(source), std::ref(target), first, std::min(rows, first + step));
    dimRows(source, target, 0, std::min(rows, step));
    for (std::thread &worker : workers)
        worker.join();
    return target;
}

QFont labelFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(11);
    font.setWeight(QFont::Medium);
    return font;
}

} // namespace

// ---------------------------------------------------------------------------

CaptureOverlayWindow::CaptureOverlayWindow(QScreen *screen)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::BypassWindowManagerHint)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    QPalette background = palette();
    background.setColor(QPalette::Window, Qt::black);
    setPalette(background);
    // Placed before it is shown, so it never appears anywhere else first.
    setGeometry(screen->geometry());
    winId();
    if (QWindow *window = windowHandle())
        window->setScreen(screen);
}

void CaptureOverlayWindow::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    if (m_delegate)
        m_delegate->windowWillClose();
}

void CaptureOverlayWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    for (QWidget *child : findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        child->setGeometry(rect());
}

// ---------------------------------------------------------------------------

RegionSelectionView::RegionSelectionView(const QImage &image, QWidget *parent)
    : QWidget(parent)
    , m_image(image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32_Premultiplied
                  ? image
                  : image.convertToFormat(QImage::Format_RGB32))
    , m_dimmed(dimmedImage(m_image))
    , m_model(QSizeF(0, 0))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::CrossCursor);
}

void RegionSelectionView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The window's sizing gives the view the display's size; the model's
    // bounds follow it.
    m_model = RegionSelectionModel(QSizeF(size()));
}

void RegionSelectionView::drawFrozen(QPainter &painter, const QRect &area, bool dimmed)
{
    const QImage &image = dimmed ? m_dimmed : m_image;
    if (image.isNull() || width() <= 0 || height() <= 0)
        return;
    const qreal sx = qreal(image.width()) / width();
    const qreal sy = qreal(image.height()) / height();
    const QRectF source(area.x() * sx, area.y() * sy, area.width() * sx, area.height() * sy);
    painter.drawImage(QRectF(area), image, source);
}

QRectF RegionSelectionView::labelRect() const
{
    const QRectF selection = m_model.selection();
    const QSizeF textSize = QFontMetricsF(labelFont()).size(Qt::TextSingleLine, RegionSelectionModel::sizeLabelText(selection));
    return RegionSelectionModel::sizeLabelRect(selection, textSize, QRectF(rect()));
}

QRectF RegionSelectionView::paintedArea() const
{
    // Bounding boxes are enough for the selection and its label; the guides
    // are two thin strips and are handled separately.
    const QRectF selection = m_model.selection();
    if (selection.isEmpty())
        return QRectF();
    return selection.adjusted(-2, -2, 2, 2).united(labelRect().adjusted(-2, -2, 2, 2));
}

void RegionSelectionView::updateChangedArea()
{
    // What was drawn over the dimmed picture last time has to go, and what
    // is drawn now has to come; the rest of the screen stays as it is.
    QRegion region = m_lastGuides;
    region += m_lastPainted.toAlignedRect();
    if (const auto pointer = m_model.pointerLocation(); pointer && m_model.selection().isEmpty()) {
        region += QRect(0, int(pointer->y()) - 2, width(), 5);
        region += QRect(int(pointer->x()) - 2, 0, 5, height());
    }
    const QRectF now = paintedArea();
    region += now.toAlignedRect();
    m_lastPainted = now;
    update(region);
}

void RegionSelectionView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (const QRect &area : event->region())
        drawFrozen(painter, area, true);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);

    const QRectF selection = m_model.selection();
    m_lastGuides = QRegion();
    if (selection.isEmpty()) {
        if (const auto pointer = m_model.pointerLocation()) {
            painter.setRenderHint(QPainter::Antialiasing, true);
            QPainterPath guides;
            guides.moveTo(0, pointer->y());
            guides.lineTo(width(), pointer->y());
            guides.moveTo(pointer->x(), 0);
            guides.lineTo(pointer->x(), height());
            painter.setPen(QPen(QColor(255, 255, 255, qRound(0.7 * 255)), 0.5));
            painter.drawPath(guides);
            m_lastGuides += QRect(0, int(pointer->y()) - 2, width(), 5);
            m_lastGuides += QRect(int(pointer->x()) - 2, 0, 5, height());
        }
    } else {
        painter.save();
        painter.setClipRect(selection);
        drawFrozen(painter, selection.toAlignedRect().intersected(rect()), false);
        painter.restore();
        painter.setPen(QPen(Qt::white, 1.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(selection.adjusted(0.5, 0.5, -0.5, -0.5));

        const QFont font = labelFont();
        const QString text = RegionSelectionModel::sizeLabelText(selection);
        const QRectF label = labelRect();
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, qRound(0.74 * 255)));
        painter.drawRoundedRect(label, 6, 6);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRectF(label.x() + 8, label.y() + 5, label.width() - 16, label.height() - 10),
                         Qt::AlignLeft | Qt::AlignTop, text);
    }

    if (!m_painted) {
        m_painted = true;
        if (onFirstPaint)
            QTimer::singleShot(0, this, [this] {
                if (onFirstPaint)
                    onFirstPaint();
            });
    }
}

void RegionSelectionView::respond(RegionSelectionModel::Response response)
{
    switch (response) {
    case RegionSelectionModel::Response::ignored:
        break;
    case RegionSelectionModel::Response::redraw:
        updateChangedArea();
        break;
    case RegionSelectionModel::Response::select:
        if (onSelection)
            onSelection(m_model.selectedRect());
        break;
    }
}

void RegionSelectionView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        if (onCancel)
            onCancel();
        return;
    }
    if (event->button() == Qt::LeftButton)
        respond(m_model.mouseDown(event->position()));
}

void RegionSelectionView::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton)
        respond(m_model.mouseDragged(event->position()));
    else
        respond(m_model.mouseMoved(event->position()));
}

void RegionSelectionView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        respond(m_model.mouseUp(event->position()));
}

void RegionSelectionView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape || event->matches(QKeySequence::Cancel)) {
        if (onCancel)
            onCancel();
        return;
    }
    QWidget::keyPressEvent(event);
}

// ---------------------------------------------------------------------------

RegionSelectionOverlayController::RegionSelectionOverlayController(const FrozenDisplayCapture &capture,
                                                                   Completion completion, QObject *parent)
    : RegionSelectionSession(parent)
    , m_capture(capture)
    , m_completion(std::move(completion))
{
}

RegionSelectionOverlayController::~RegionSelectionOverlayController()
{
    if (m_hasPushedCursor)
        QGuiApplication::restoreOverrideCursor();
    if (m_overlayWindow) {
        m_overlayWindow->setDelegate(nullptr);
        delete m_overlayWindow;
    }
}

QScreen *RegionSelectionOverlayController::screenForDisplay(quint32 displayID)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    const QList<X11Display> displays = X11CaptureSystem::displaysFor(X11Connection::application());
    for (const X11Display &display : displays) {
        if (display.displayID != displayID)
            continue;
        for (QScreen *screen : screens) {
            if (screen->name() == display.name)
                return screen;
        }
    }
    return nullptr;
}

void RegionSelectionOverlayController::begin()
{
    if (m_overlayWindow || m_hasCompleted)
        return;
    QScreen *screen = screenForDisplay(m_capture.target.displayID);
    if (!screen) {
        finish(RegionSelectionOutcome::cancelled());
        return;
    }
    auto *window = new CaptureOverlayWindow(screen);
    auto *view = new RegionSelectionView(m_capture.image, window);
    view->setGeometry(window->rect());
    QPointer<RegionSelectionOverlayController> self(this);
    view->onSelection = [self](const QRectF &rect) {
        if (self)
            self->finish(RegionSelectionOutcome::selected(rect));
    };
    view->onCancel = [self] {
        if (self)
            self->finish(RegionSelectionOutcome::cancelled());
    };
    window->setDelegate(this);
    m_overlayWindow = window;
    m_view = view;
    window->show();
    window->raise();
    window->activateWindow();
    view->setFocus(Qt::OtherFocusReason);
    QGuiApplication::setOverrideCursor(Qt::CrossCursor);
    m_hasPushedCursor = true;
    grabInput(100);
}

void RegionSelectionOverlayController::grabInput(int attemptsLeft)
{
    if (m_hasCompleted || !m_overlayWindow)
        return;
    QWindow *window = m_overlayWindow->windowHandle();
    // The grabs only succeed once the window is viewable, which happens a
    // moment after show(); until then, try again shortly.
    const bool keyboard = window && window->setKeyboardGrabEnabled(true);
    const bool mouse = window && window->setMouseGrabEnabled(true);
    m_hasInputGrab = keyboard && mouse;
    if ((!keyboard || !mouse) && attemptsLeft > 0) {
        QPointer<RegionSelectionOverlayController> self(this);
        QTimer::singleShot(10, this, [self, attemptsLeft] {
            if (self)
                self->grabInput(attemptsLeft - 1);
        });
    }
}

void RegionSelectionOverlayController::windowWillClose()
{
    if (!m_hasCompleted)
        finish(RegionSelectionOutcome::cancelled());
}

void RegionSelectionOverlayController::finish(const RegionSelectionOutcome &outcome)
{
    if (m_hasCompleted)
        return;
    m_hasCompleted = true;
    if (m_hasPushedCursor) {
        QGuiApplication::restoreOverrideCursor();
        m_hasPushedCursor = false;
    }
    if (CaptureOverlayWindow *window = m_overlayWindow) {
        // Cut the delegate first so closing does not come back as a cancel.
        window->setDelegate(nullptr);
        if (QWindow *handle = window->windowHandle()) {
            handle->setKeyboardGrabEnabled(false);
            handle->setMouseGrabEnabled(false);
        }
        m_hasInputGrab = false;
        window->hide();
        window->close();
        window->deleteLater();
        m_overlayWindow = nullptr;
        m_view = nullptr;
    }
    Completion completion = std::move(m_completion);
    m_completion = nullptr;
    if (completion)
        completion(outcome);
}

} // namespace tessaline
