#include "capture/RegionSelectionOverlay.h"

#include "platform/PixelCopy.h"
#include "platform/WindowSystem.h"

#include <QBackingStore>
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

#include <algorithm>
#include <cmath>
#include <utility>

namespace tessaline {

namespace {

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

// A pooled window has no parent to take it down: the pool is emptied as
// the application goes, while windows can still be taken down.
void emptyWindowPool()
{
    const QHash<QString, QPointer<CaptureOverlayWindow>> pooled = std::exchange(windowPool(), {});
    for (const QPointer<CaptureOverlayWindow> &window : pooled)
        delete window.data();
}

QPointer<CaptureOverlayWindow> &windowPoolSlot(const QString &key)
{
    qRemovePostRoutine(emptyWindowPool);
    qAddPostRoutine(emptyWindowPool);
    return windowPool()[key];
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
    QPointer<CaptureOverlayWindow> &slot = windowPoolSlot(key);
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
    // The window, not its view, has the pointer (see setPointerView).
    setCursor(Qt::CrossCursor);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::black);
    // Where the active and inactive colours differ, Qt repaints the whole
    // window when it becomes active, which it does right after the first
    // frame: a second screenful of pixels for nothing.
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
        const auto colourRole = QPalette::ColorRole(role);
        colours.setBrush(QPalette::Inactive, colourRole, colours.brush(QPalette::Active, colourRole));
    }
    setPalette(colours);
    // Placed before it is shown, so it never appears anywhere else first.
    setGeometry(screen->geometry());
    winId();
    if (QWindow *window = windowHandle())
        window->setScreen(screen);
}

void CaptureOverlayWindow::prepareBackingStore()
{
    QBackingStore *store = backingStore();
    if (!store)
        return;
    store->resize(size());
    writeBackingStoreBand(0);
}

void CaptureOverlayWindow::writeBackingStoreBand(int top)
{
    // About 4 MB a band: a few milliseconds each.
    constexpr qsizetype bandBytes = 4 << 20;
    QBackingStore *store = backingStore();
    // Shown, the window paints all of it itself; resized, the store is new.
    if (!store || isVisible() || store->size() != size() || top >= height())
        return;
    const int rows = int(std::max<qsizetype>(1, bandBytes / (qsizetype(std::max(1, width())) * 4)));
    const QRect band(0, top, width(), std::min(rows, height() - top));
    store->beginPaint(QRegion(band));
    if (QPaintDevice *device = store->paintDevice()) {
        QPainter painter(device);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(band, Qt::black);
    }
    store->endPaint();
    QTimer::singleShot(0, this, [this, next = band.bottom() + 1] { writeBackingStoreBand(next); });
}

void CaptureOverlayWindow::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    if (m_delegate)
        m_delegate->windowWillClose();
}

void CaptureOverlayWindow::setPointerView(RegionSelectionView *view)
{
    if (view) {
        view->setAttribute(Qt::WA_TransparentForMouseEvents);
        // The view follows the pointer with its guides before any press.
        setMouseTracking(view->hasMouseTracking());
    }
    m_pointerView = view;
}

void CaptureOverlayWindow::mousePressEvent(QMouseEvent *event)
{
    if (m_pointerView)
        m_pointerView->mousePressEvent(event);
}

void CaptureOverlayWindow::mouseMoveEvent(QMouseEvent *event)
{
    if (m_pointerView)
        m_pointerView->mouseMoveEvent(event);
}

void CaptureOverlayWindow::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_pointerView)
        m_pointerView->mouseReleaseEvent(event);
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
            if (!from.isEmpty()) {
                const PixelArea pixels{m_image.constScanLine(from.y()) + from.x() * 4, m_image.bytesPerLine(),
                                       target->scanLine(to.y()) + to.x() * 4, target->bytesPerLine(), from.width(),
                                       from.height()};
                PixelCopy::copy(pixels, dimmed ? PixelCopy::Tone::dimmed : PixelCopy::Tone::unchanged);
            }
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

QRegion RegionSelectionView::selectionMarks(const QRectF &selection, const QRectF &label)
{
    // The edge with a margin on either side for rounding, and the label.
    if (selection.isEmpty())
        return QRegion();
    const QRect area = selection.toAlignedRect();
    QRegion marks = QRegion(area.adjusted(-2, -2, 2, 2)).subtracted(QRegion(area.adjusted(2, 2, -2, -2)));
    return marks.united(label.adjusted(-2, -2, 2, 2).toAlignedRect());
}

void RegionSelectionView::updateChangedArea()
{
    // Only what changes is drawn again: the guides and the selection's edge
    // and label as they were and as they are, and the part of the screen
    // that went into or out of the selection. The inside that stays the
    // same is not: at 5K a selection drawn whole on every move is a
    // screenful copied here and again by the X server, and the release
    // that ends the drag waits behind it.
    QRegion region = m_lastGuides;
    if (const auto pointer = m_model.pointerLocation(); pointer && m_model.selection().isEmpty()) {
        region += QRect(0, int(pointer->y()) - 2, width(), 5);
        region += QRect(int(pointer->x()) - 2, 0, 5, height());
    }
    const QRectF selection = m_model.selection();
    const QRectF label = selection.isEmpty() ? QRectF() : labelRect();
    region += QRegion(m_lastSelection.toAlignedRect()).xored(QRegion(selection.toAlignedRect()));
    region += selectionMarks(m_lastSelection, m_lastLabel);
    region += selectionMarks(selection, label);
    m_lastSelection = selection;
    m_lastLabel = label;
    update(region);
}

void RegionSelectionView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    const QRectF selection = m_model.selection();
    // Pixels wholly inside the selection are drawn once, undimmed, not
    // dimmed first and then again: growing a selection across a 5K screen
    // otherwise copies the part it takes in twice on every move.
    const QRect inside = selection.isEmpty()
        ? QRect()
        : QRect(QPoint(int(std::ceil(selection.left())), int(std::ceil(selection.top()))),
                QPoint(int(std::floor(selection.right())) - 1, int(std::floor(selection.bottom())) - 1));
    for (const QRect &area : event->region()) {
        for (const QRect &outside : QRegion(area).subtracted(inside))
            drawFrozen(painter, outside, true);
    }

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
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (onFirstPaint)
                    onFirstPaint();
                Q_EMIT firstFramePainted();
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

void RegionSelectionOverlayController::prepareWindow(quint32 displayID)
{
    QScreen *screen = screenForDisplay(displayID);
    if (!screen)
        return;
    QPointer<CaptureOverlayWindow> &slot = windowPoolSlot(screen->name());
    if (slot && slot->screen() == screen)
        return;
    delete slot.data();
    auto *window = new CaptureOverlayWindow(screen);
    window->prepareBackingStore();
    if (WindowSystem::clientsPlaceWindows()) {
        // Qt's first showing of a window costs about ten milliseconds at any
        // size. Paid here, where nothing can see it: wholly outside every
        // screen, never activated, taken down at once.
        const QRect desktop = screen->virtualGeometry();
        window->move(desktop.right() + 1 + window->width(), desktop.bottom() + 1 + window->height());
        window->setAttribute(Qt::WA_ShowWithoutActivating);
        window->show();
        window->hide();
        window->setAttribute(Qt::WA_ShowWithoutActivating, false);
        window->setGeometry(screen->geometry());
    }
    // No minute's grace: it waits for the first selection, whenever that
    // comes, and from then on is kept like any returned window.
    slot = window;
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
    window->setPointerView(view);
    m_overlayWindow = window;
    m_view = view;
    // A display unplugged while its overlay is up leaves the overlay over
    // nothing, or over another display's pixels, still holding the input:
    // the selection ends as it does when the display went before it began.
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, [this, shownOn = screen](QScreen *removed) {
        if (removed == shownOn)
            finish(RegionSelectionOutcome::cancelled());
    });
    // Where the compositor places windows, only a full-screen window is
    // sure to cover the screen, above everything else.
    if (WindowSystem::clientsPlaceWindows())
        window->show();
    else
        window->showFullScreen();
    // Showing posts updates for the whole window and view; the expose that
    // follows the mapping paints all of it anyway, so they would only paint
    // the screen a second time once it is up.
    QCoreApplication::removePostedEvents(window, QEvent::UpdateLater);
    QCoreApplication::removePostedEvents(view, QEvent::UpdateLater);
    window->raise();
    if (WindowSystem::prepareActivation())
        window->activateWindow();
    view->setFocus(Qt::OtherFocusReason);
    QGuiApplication::setOverrideCursor(Qt::CrossCursor);
    m_hasPushedCursor = true;
    // Not yet: the grabs need the window viewable, which it is not until the
    // server has mapped it, and their round trips would only hold up the
    // first frame. Nor while that frame is still on its way to the server:
    // their answers would come after it. Until they are in place the focused
    // window that covers the screen gets the input anyway.
    connect(view, &RegionSelectionView::firstFramePainted, this,
            [this] { WindowSystem::afterServerCaughtUp(this, [this] { grabInput(100); }); });
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
    if (!outcome.isCancelled && onSelected)
        onSelected(outcome.rect);
    if (m_hasPushedCursor) {
        QGuiApplication::restoreOverrideCursor();
        m_hasPushedCursor = false;
    }
    if (CaptureOverlayWindow *window = m_overlayWindow) {
        // Cut the delegate first so closing does not come back as a cancel.
        window->setDelegate(nullptr);
        if (QWindow *handle = window->windowHandle(); handle && WindowSystem::clientsGrabInput()) {
            handle->setKeyboardGrabEnabled(false);
            // The server lets the pointer go as the window is hidden below.
            // Qt's own release waits for the server's answer, which at the
            // end of a drag held back the capture; all Qt still needs it for
            // is to stop accepting touches, so it is made once things are
            // quiet, unless the window is back grabbing for a new selection.
            QTimer::singleShot(pointerReleaseDelayMs, window, [window] {
                if (QWindow *handle = window->windowHandle(); handle && !window->isVisible())
                    handle->setMouseGrabEnabled(false);
            });
        }
        m_hasInputGrab = false;
        // Hidden, not closed: closing takes down the native window and its
        // backing store, which the pool keeps so the next selection's first
        // frame does not pay for a screenful of new pages.
        window->hide();
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
