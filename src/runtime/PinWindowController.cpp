#include "runtime/PinWindowController.h"

#include "model/CanvasCard.h"
#include "runtime/PinGeometry.h"
#include "runtime/PinnedImageView.h"
#include "runtime/SnipPictureLoader.h"
#include "platform/FutureDelivery.h"
#include "platform/PlatformFactory.h"
#include "platform/Pasteboard.h"
#include "platform/WindowSystem.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWindow>

namespace tessaline {

PinWindowController &PinWindowController::shared()
{
    static PinWindowController controller(PlatformFactory::floatingWindows(), ClipboardPasteboard::general());
    return controller;
}

PinWindowController::PinWindowController(FloatingWindows &floating, Pasteboard &pasteboard, QObject *parent)
    : QObject(parent), m_floating(floating), m_pasteboard(pasteboard), m_pictures(new SnipPictureLoader(this))
{
}

PinWindowController::~PinWindowController()
{
    for (const QPointer<PinnedImageView> &window : std::as_const(m_windows))
        delete window.data();
}

PinnedImageView *PinWindowController::window(const QUuid &id) const
{
    return m_windows.value(id).data();
}

void PinWindowController::pin(const QImage &image, const QUuid &id)
{
    if (PinnedImageView *existing = window(id)) {
        existing->raise();
        return;
    }
    PinnedImageView *view = open(id, image.size());
    // The levels of a large picture are made off the main thread.
    runInBackground(view, [image] { return std::make_shared<const SnipPicture>(image); })
        .then(view, [view](std::shared_ptr<const SnipPicture> picture) { view->setPicture(std::move(picture)); });
}

void PinWindowController::pinCard(const CanvasCard &card)
{
    if (PinnedImageView *existing = window(card.id())) {
        existing->raise();
        return;
    }
    const QFuture<SharedSnipPicture> picture = m_pictures->load(card);
    QFuture<QSize> size = m_pictures->storedSizeFuture(card);
    // The loader keeps nothing: the pin holds its picture.
    m_pictures->keepOnly({});
    // The window opens at its size once the bytes are read on the store's
    // worker, a moment before the picture is decoded; not for a card that
    // went to the trash or was deleted meanwhile.
    const QPointer<const CanvasCard> asked(&card);
    size.then(this, [this, asked, id = card.id(), picture](const QSize &pixelSize) {
        if (pixelSize.isValid() && asked && asked->isLive())
            pin(id, pixelSize, picture);
    });
}

void PinWindowController::pin(const QUuid &id, const QSize &pixelSize, const QFuture<SharedSnipPicture> &picture)
{
    if (PinnedImageView *existing = window(id)) {
        existing->raise();
        return;
    }
    PinnedImageView *view = open(id, pixelSize);
    deliveredTo(view, picture).then(view, [this, id, view](SharedSnipPicture delivered) {
        if (!delivered) {
            // No picture, or none without its annotations: no pin.
            if (window(id) == view)
                close(id);
            return;
        }
        view->setPicture(std::move(delivered));
    });
}

PinnedImageView *PinWindowController::open(const QUuid &id, const QSize &pixelSize)
{
    const QPointer<PinWindowController> self(this);
    auto *view = new PinnedImageView(pixelSize, m_pasteboard, [self, id] {
        if (self)
            self->close(id);
    });
    view->setWindowSize(PinGeometry::initialSize(QSizeF(pixelSize)));
    QScreen *screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame(QPoint(), view->size());
        frame.moveCenter(screen->availableGeometry().center());
        view->move(frame.topLeft());
    }
    // A window manager's close ends the pin like its own close button.
    connect(view, &PinnedImageView::closed, this, [this, id, view] { forget(id, view); });
    m_windows.insert(id, view);
    view->winId();
    if (QWindow *handle = view->windowHandle()) {
        // Qt writes the size hints afresh as the window is shown and each
        // time it moves or resizes it; the aspect goes back in after that.
        handle->installEventFilter(this);
        // Where the compositor stacks and places windows, a pin belongs to
        // the window in use, so it floats and stays above that window.
        if (!WindowSystem::clientsPlaceWindows())
            handle->setTransientParent(WindowSystem::stackingParent(handle));
        m_floating.keepOnAllWorkspaces(*handle);
        m_floating.showOverFullScreen(*handle);
    }
    view->show();
    Q_EMIT pinsChanged();
    return view;
}

bool PinWindowController::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Expose:
    case QEvent::Move:
    case QEvent::Resize:
        for (const QPointer<PinnedImageView> &view : std::as_const(m_windows)) {
            if (!view || view->windowHandle() != watched)
                continue;
            const auto managed = PinGeometry::managedResize(view->size(), view->imageSize());
            m_floating.keepAspectRatio(*view->windowHandle(), managed ? managed->aspect : QSizeF(),
                                       managed ? managed->minimum : QSize());
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void PinWindowController::close(const QUuid &id)
{
    const QPointer<PinnedImageView> view = m_windows.take(id);
    if (!view)
        return;
    Q_EMIT pinsChanged();
    view->hide();
    view->close();
    view->deleteLater();
}

void PinWindowController::forget(const QUuid &id, PinnedImageView *window)
{
    // Only the entry of this very window: a later pin of the card is another.
    const auto found = m_windows.constFind(id);
    if (found == m_windows.cend() || found->data() != window)
        return;
    m_windows.remove(id);
    window->deleteLater();
    Q_EMIT pinsChanged();
}

} // namespace tessaline
