#include "capture/RegionSelectionOverlay.h"

#include "platform/WindowSystem.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEngine>
#include <QPainterPath>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <thread>
#include <vector>

namespace tessaline {

namespace {

// Black at 34 % over the picture leaves 66 % of every channel. The overlay
// writes that straight into its backing store while it copies the picture,
// so dimming costs no pass of its own: at 5K a separate pass (or a blend
// after the copy) is tens of milliseconds before the overlay can show.
constexpr quint32 keepOf256 = 169; // 169 / 256 ≈ 0.66

struct Pixels
{
    const uchar *sourceBits;
    qsizetype sourceStride;
    uchar *targetBits;
    qsizetype targetStride;
};

void blitRows(Pixels pixels, QRect from, QPoint to, bool dim, int firstRow, int endRow)
{
    const int width = from.width();
    for (int row = firstRow; row < endRow; ++row) {
        const auto *in = reinterpret_cast<const quint32 *>(pixels.sourceBits + (from.y() + row) * pixels.sourceStride)
            + from.x();
        auto *out = reinterpret_cast<quint32 *>(pixels.targetBits + (to.y() + row) * pixels.targetStride) + to.x();
        if (dim) {
            for (int x = 0; x < width; ++x) {
                const quint32 p = in[x];
                const quint32 redBlue = (((p & 0x00ff00ffu) * keepOf256) >> 8) & 0x00ff00ffu;
                const quint32 green = (((p & 0x0000ff00u) * keepOf256) >> 8) & 0x0000ff00u;
                out[x] = 0xff000000u | redBlue | green;
            }
        } else {
            for (int x = 0; x < width; ++x)
                out[x] = in[x] | 0xff000000u;
        }
    }
}

// Large areas are split over a few threads, each writing its own rows. The
// pixel pointers are taken here, once: QImage::bits() is not for threads.
void blit(const QImage &source, const QRect &from, QImage &target, const QPoint &to, bool dim)
{
    const Pixels pixels{source.constBits(), source.bytesPerLine(), target.bits(), target.bytesPerLine()};
    const int rows = from.height();
    const int threads = qint64(rows) * from.width() > 1'000'000
        ? int(std::min(4u, std::max(1u, std::thread::hardware_concurrency())))
        : 1;
    const int step = (rows + threads - 1) / threads;
    std::vector<std::thread> workers;
    for (int first = step; first < rows; first += step)
        workers.emplace_back(blitRows, pixels, from, to, dim, first, std::min(rows, first + step));
    blitRows(pixels, from, to, dim, 0, std::min(rows, step));
    for (std::thread &worker : workers)
        worker.join();
}

QFont labelFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(11);
    font.setWeight(QFont::Medium);
    return font;
}

// One overlay window per screen is kept, hidden, between selections: a
// new top-level means a new native window and a new backing store, whose
// first use at 5K costs tens of milliseconds of page faults on both sides
// of the X connection.
QHash<QString, QPointer<CaptureOverlayWindow>> &windowPool()
{
    static QHash<QString, QPointer<CaptureOverlayWindow>> pool;
    return pool;
}

CaptureOverlayWindow *takeWindow(QScreen *screen)
{
    QPointer<CaptureOverlayWindow> pooled = windowPool().take(screen->name());
    if (pooled && pooled->screen() == screen) {
        pooled->setGeometry(screen->geometry());
        return pooled;
    }
    delete pooled.data();
    return new CaptureOverlayWindow(screen);
}

void returnWindow(CaptureOverlayWindow *window)
{
    QScreen *screen = window->screen();
    if (!screen) {
        window->deleteLater();
        return;
    }
    const QString key = screen->name();
    QPointer<CaptureOverlayWindow> &slot = windowPool()[key];
    if (slot && slot != window)
        slot->deleteLater();
    slot = window;
    // Its backing store is a whole screen of pixels: kept while captures
    // keep coming, given back after a minute without one.
    const int visit = ++window->poolVisits;
    QPointer<CaptureOverlayWindow> pooled(window);
    QTimer::singleShot(60'000, window, [pooled, key, visit] {
        if (!pooled || pooled->poolVisits != visit || pooled->isVisible() || windowPool().value(key) != pooled)
            return;
        windowPool().remove(key);
        pooled->deleteLater();
    });
}

} // namespace

// ---------------------------------------------------------------------------

CaptureOverlayWindow::CaptureOverlayWindow(QScreen *screen)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::BypassWindowManagerHint)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    // Tessaline keeps running from its menu with no window open; closing the
    // overlay must not count as closing the app's last window.
    setAttribute(Qt::WA_QuitOnClose, false);
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
    , m_image(image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32))
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
    if (m_image.isNull() || width() <= 0 || height() <= 0 || area.isEmpty())
        return;
    // The fast road: the painter draws into an image we can write into
    // directly, one picture pixel per device pixel.
    QPaintEngine *engine = painter.paintEngine();
    QPaintDevice *device = engine ? engine->paintDevice() : nullptr;
    const QTransform transform = painter.deviceTransform();
    if (device && device->devType() == QInternal::Image && transform.type() <= QTransform::TxTranslate
        && m_image.size() == size()) {
        auto *target = static_cast<QImage *>(device);
        const bool writable = target->isDetached() && target->devicePixelRatio() == 1
            && (target->format() == QImage::Format_RGB32 || target->format() == QImage::Format_ARGB32_Premultiplied);
        if (writable) {
            const QPoint offset(qRound(transform.dx()), qRound(transform.dy()));
            QRect from = area.intersected(m_image.rect());
            QRect to = from.translated(offset).intersected(target->rect());
            from = to.translated(-offset);
            if (!from.isEmpty())
                blit(m_image, from, *target, to.topLeft(), dimmed);
            return;
        }
    }
    const qreal sx = qreal(m_image.width()) / width();
    const qreal sy = qreal(m_image.height()) / height();
    const QRectF source(area.x() * sx, area.y() * sy, area.width() * sx, area.height() * sy);
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QRectF(area), m_image, source);
    if (dimmed) {
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.fillRect(area, QColor(0, 0, 0, qRound(0.34 * 255)));
    }
    painter.restore();
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
    for (const QRect &area : event->region())
        drawFrozen(painter, area, true);

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
        for (const QRect &area : event->region())
            drawFrozen(painter, area.intersected(selection.toAlignedRect()), false);
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
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (onFirstPaint)
                        onFirstPaint();
                },
                Qt::QueuedConnection);
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
        m_overlayWindow->hide();
        delete m_view.data();
        returnWindow(m_overlayWindow);
    }
}

QScreen *RegionSelectionOverlayController::screenForDisplay(quint32 displayID)
{
    return WindowSystem::screenForDisplay(displayID);
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
    CaptureOverlayWindow *window = takeWindow(screen);
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
    // Where the compositor places windows, only a full-screen window is
    // sure to cover the screen, above everything else.
    if (WindowSystem::clientsPlaceWindows())
        window->show();
    else
        window->showFullScreen();
    window->raise();
    window->activateWindow();
    view->setFocus(Qt::OtherFocusReason);
    QGuiApplication::setOverrideCursor(Qt::CrossCursor);
    m_hasPushedCursor = true;
    grabInput(100);
}

void RegionSelectionOverlayController::grabInput(int attemptsLeft)
{
    // Without grabs the focused full-screen window gets every event anyway.
    if (m_hasCompleted || !m_overlayWindow || !WindowSystem::clientsGrabInput())
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
        if (QWindow *handle = window->windowHandle(); handle && WindowSystem::clientsGrabInput()) {
            handle->setKeyboardGrabEnabled(false);
            handle->setMouseGrabEnabled(false);
        }
        m_hasInputGrab = false;
        window->hide();
        window->close();
        // The picture goes with the view; the window waits for the next
        // selection.
        if (RegionSelectionView *view = m_view) {
            view->hide();
            view->deleteLater();
        }
        returnWindow(window);
        m_overlayWindow = nullptr;
        m_view = nullptr;
    }
    Completion completion = std::move(m_completion);
    m_completion = nullptr;
    if (completion)
        completion(outcome);
}

} // namespace tessaline
