#include "shell/CaptureToastWindowController.h"

#include "shell/CaptureCompletionToastView.h"
#include "platform/PlatformFactory.h"
#include "platform/WindowHints.h"
#include "platform/WindowSystem.h"

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
    if (QLayout *layout = toast.layout())
        layout->activate();
    const int width = std::max(toastSize.width(), toast.minimumSizeHint().width());
    const int height = toast.hasHeightForWidth() ? toast.heightForWidth(width) : toast.sizeHint().height();
    return QSize(width, std::max(toastSize.height(), height));
}

void CaptureToastWindowController::show(const QUuid &cardID, AppRuntime &runtime)
{
    close();
    auto *view = new CaptureCompletionToastView(cardID, runtime);
    view->setObjectName(QStringLiteral("CaptureToast"));
    // A compositor places every window of its own and hands each new one
    // the keyboard; a popup of one of our windows goes where we put it and
    // never takes the keyboard, so under Wayland the toast is one, on the
    // window in use (or the main window), above our other windows.
    QWindow *parent = WindowSystem::clientsPlaceWindows() ? nullptr : WindowSystem::stackingParent();
    view->setWindowFlags(parent ? Qt::ToolTip | Qt::FramelessWindowHint
                                : Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    view->setAttribute(Qt::WA_ShowWithoutActivating);
    // Rounded corners need a compositor to show the desktop behind them.
    if (hasCompositingManager())
        view->setAttribute(Qt::WA_TranslucentBackground);
    view->setAttribute(Qt::WA_DeleteOnClose);
    view->setWindowTitle(QStringLiteral("Tessaline"));
    const QSize size = fittedSize(*view);
    view->setFixedSize(size);
    const QPointer<CaptureToastWindowController> self(this);
    connect(view, &CaptureCompletionToastView::closeRequested, this, [self] {
        if (self)
            self->close();
    });

    if (parent) {
        // Only the window's own size is known here, not where it is; its
        // top right corner is the place nearest the screen's.
        view->winId();
        view->windowHandle()->setTransientParent(parent);
        const QRect frame = parent->geometry();
        view->move(frame.topLeft() + QPoint(std::max(0, frame.width() - size.width() - cornerInset), cornerInset));
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
        if (const auto position = toastPosition(QCursor::pos(), geometries, available, primary, size)) {
            view->move(*position);
        } else if (QScreen *screen = QGuiApplication::primaryScreen()) {
            view->move(screen->geometry().center() - QPoint(size.width() / 2, size.height() / 2));
        }
        view->winId();
        if (view->windowHandle())
            PlatformFactory::floatingWindows().keepOnAllWorkspaces(*view->windowHandle());
    }
    m_panel = view;
    view->show();
}

void CaptureToastWindowController::close()
{
    if (!m_panel)
        return;
    QWidget *panel = m_panel;
    m_panel = nullptr;
    panel->hide();
    panel->close();
}

} // namespace tessaline
