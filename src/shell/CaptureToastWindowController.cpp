#include "shell/CaptureToastWindowController.h"

#include "shell/CaptureCompletionToastView.h"
#include "shell/CaptureToastModel.h"
#include "runtime/AppRuntime.h"
#include "platform/PlatformFactory.h"
#include "platform/WindowHints.h"
#include "platform/WindowSystem.h"

#include <QApplication>
#include <QCursor>
#include <QLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

namespace tessaline {

CaptureToastWindowController &CaptureToastWindowController::shared()
{
    static CaptureToastWindowController controller;
    return controller;
}

std::optional<QPoint> CaptureToastWindowController::toastPosition(const QPoint &pointer,
                                                                  const QList<QRect> &screenGeometries,
                                                                  const QList<QRect> &availableGeometries,
                                                                  int primaryIndex, const QSize &size)
{
    if (screenGeometries.isEmpty())
        return std::nullopt;
    int chosen = -1;
    for (int i = 0; i < screenGeometries.size(); ++i) {
        const QRect &frame = screenGeometries.at(i);
        const bool inX = pointer.x() >= frame.left() && pointer.x() < frame.left() + frame.width();
        const bool inY = pointer.y() > frame.top() && pointer.y() <= frame.top() + frame.height();
        if (inX && inY) {
            chosen = i;
            break;
        }
    }
    if (chosen < 0)
        chosen = primaryIndex >= 0 && primaryIndex < screenGeometries.size() ? primaryIndex : 0;
    const QRect area = availableGeometries.value(chosen, screenGeometries.at(chosen));
    return QPoint(area.left() + area.width() - size.width() - cornerInset, area.top() + cornerInset);
}

QSize CaptureToastWindowController::fittedSize(QWidget &toast)
{
    // Inner layouts first: new texts in a window shown before have only
    // marked them out of date, and each outer one reads the hints of those
    // inside it.
    const QList<QWidget *> inner = toast.findChildren<QWidget *>();
    for (auto each = inner.crbegin(); each != inner.crend(); ++each) {
        if (QLayout *layout = (*each)->layout())
            layout->activate();
    }
    if (QLayout *layout = toast.layout())
        layout->activate();
    const int width = std::max(toastSize.width(), toast.minimumSizeHint().width());
    const int height = toast.hasHeightForWidth() ? toast.heightForWidth(width) : toast.sizeHint().height();
    return QSize(width, std::max(toastSize.height(), height));
}

CaptureToastWindowController::~CaptureToastWindowController()
{
    // The shared controller outlives the application object; a window is
    // only deleted while there is one.
    if (qApp)
        discard();
}

void CaptureToastWindowController::build(AppRuntime &runtime, bool popup)
{
    auto *view = new CaptureCompletionToastView(QUuid(), runtime);
    view->setObjectName(QStringLiteral("CaptureToast"));
    view->setWindowFlags(popup ? Qt::ToolTip | Qt::FramelessWindowHint
                               : Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    view->setAttribute(Qt::WA_ShowWithoutActivating);
    // Rounded corners need a compositor to show the desktop behind them.
    if (hasCompositingManager())
        view->setAttribute(Qt::WA_TranslucentBackground);
    // A title of its own: sway is told how to open it by its title.
    view->setWindowTitle(QStringLiteral("Tessaline Capture"));
    const QPointer<CaptureToastWindowController> self(this);
    connect(view, &CaptureCompletionToastView::closeRequested, this, [self] {
        if (self)
            self->close();
    });
    // Polished and given its native window now, so showing it later only
    // lays out the new texts and paints.
    view->ensurePolished();
    view->winId();
    m_view = view;
    m_runtime = &runtime;
    m_isPopup = popup;
    m_isShown = false;
    // The model reads the runtime's library: the window goes with it.
    m_runtimeGone = connect(&runtime, &QObject::destroyed, this, [this] { discard(); });
}

void CaptureToastWindowController::discard()
{
    disconnect(m_runtimeGone);
    m_runtime = nullptr;
    m_isShown = false;
    if (!m_view)
        return;
    // Later, not now: this may be called from one of its own signals.
    m_view->hide();
    m_view->deleteLater();
    m_view = nullptr;
}

void CaptureToastWindowController::prepare(AppRuntime &runtime)
{
    if (m_view && m_runtime == &runtime)
        return;
    QWindow *parent = WindowSystem::clientsPlaceWindows() ? nullptr : WindowSystem::stackingParent();
    discard();
    build(runtime, isPopupOf(parent));
}

QWidget *CaptureToastWindowController::panel() const
{
    return m_isShown ? m_view.data() : nullptr;
}

void CaptureToastWindowController::show(const QUuid &cardID, AppRuntime &runtime)
{
    close();
    // A compositor places every window of its own and hands each new one
    // the keyboard; a popup of one of our windows goes where we put it and
    // never takes the keyboard, so under Wayland the toast is one, on the
    // window in use (or the main window), above our other windows.
    QWindow *parent = WindowSystem::clientsPlaceWindows() ? nullptr : WindowSystem::stackingParent();
    // sway draws a popup only while the window it stands on has the
    // keyboard, and opens a window in the middle of the output with the
    // keyboard: with none of ours in use, the toast is a window it is asked
    // to open in the corner without the keyboard. So it always is for an
    // X11 client of sway's, which has no popups of that kind.
    FloatingWindows &floating = PlatformFactory::floatingWindows();
    const bool inCorner = floating.opensUnfocusedInCorner()
        && (WindowSystem::clientsPlaceWindows() || !QGuiApplication::focusWindow());
    if (inCorner)
        parent = nullptr;
    // A save still asking where to go belongs to the card it was started
    // for; that toast goes, and the new card gets a window of its own.
    if (m_view
        && (m_runtime != &runtime || m_isPopup != isPopupOf(parent) || m_view->model().isExporting()
            || m_view->testAttribute(Qt::WA_TranslucentBackground) != hasCompositingManager()))
        discard();
    if (!m_view)
        build(runtime, isPopupOf(parent));
    CaptureCompletionToastView *view = m_view;
    // Its native window, should the platform have let it go since.
    view->winId();
    view->showCard(cardID);
    // The fixed size of the previous card would bound the new texts.
    view->setMinimumSize(0, 0);
    view->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const QSize size = fittedSize(*view);
    view->setFixedSize(size);

    if (parent) {
        // Only the window's own size is known here, not where it is; its
        // top right corner is the place nearest the screen's.
        view->windowHandle()->setTransientParent(parent);
        const QRect frame = parent->geometry();
        view->move(frame.topLeft() + QPoint(std::max(0, frame.width() - size.width() - cornerInset), cornerInset));
    } else if (inCorner) {
        floating.openUnfocusedInCorner(*view->windowHandle(), size, cornerInset);
    } else {
        QList<QRect> geometries;
        QList<QRect> available;
        int primary = 0;
        const QList<QScreen *> screens = QGuiApplication::screens();
        for (int i = 0; i < screens.size(); ++i) {
            geometries.append(screens.at(i)->geometry());
            available.append(screens.at(i)->availableGeometry());
            if (screens.at(i) == QGuiApplication::primaryScreen())
                primary = i;
        }
        // The pointer says which screen only where there is a choice: asking
        // for it is a round trip to the X server, made while the capture it
        // reports on is still being painted.
        const QPoint pointer = screens.size() > 1 ? QCursor::pos() : QPoint();
        if (const auto position = toastPosition(pointer, geometries, available, primary, size)) {
            view->move(*position);
        } else if (QScreen *screen = QGuiApplication::primaryScreen()) {
            view->move(screen->geometry().center() - QPoint(size.width() / 2, size.height() / 2));
        }
        if (view->windowHandle())
            floating.keepOnAllWorkspaces(*view->windowHandle());
    }
    m_isShown = true;
    view->show();
}

void CaptureToastWindowController::close()
{
    if (!m_view || !m_isShown)
        return;
    m_isShown = false;
    // A save still asking where to go ends with its toast, as it always
    // has; otherwise the window waits, hidden, for the next capture.
    if (m_view->model().isExporting()) {
        discard();
        return;
    }
    m_view->hide();
}

} // namespace tessaline
