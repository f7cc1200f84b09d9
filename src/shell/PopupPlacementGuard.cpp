#include "shell/PopupPlacementGuard.h"

#include "platform/WindowSystem.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace tessaline {

PopupPlacementGuard::PopupPlacementGuard(QObject *parent)
    : QObject(parent)
{
}

QRect PopupPlacementGuard::placement(const QRect &popup, const QRect &window, const QRect &screen)
{
    // Qt ends a pop-up it slid at the screen's last column, or at the one
    // before it, by which of its paths slid it.
    const bool slidAgainstScreen = popup.right() >= screen.right() - 1;
    if (!slidAgainstScreen || popup.right() <= window.right())
        return popup;
    const int left = std::max(window.left(), window.right() + 1 - popup.width());
    return left < popup.left() ? popup.translated(left - popup.left(), 0) : popup;
}

bool PopupPlacementGuard::eventFilter(QObject *watched, QEvent *event)
{
    // The show event comes before the window is handed to the window
    // system, which reads where the pop-up opens from its geometry then.
    if (event->type() != QEvent::Show || !watched->isWidgetType())
        return false;
    auto *popup = static_cast<QWidget *>(watched);
    if (!popup->isWindow() || popup->windowType() != Qt::Popup || WindowSystem::clientsPlaceWindows())
        return false;
    QWindow *handle = popup->windowHandle();
    // The window the compositor places the pop-up against, as Qt's Wayland
    // client chooses it; a menu's submenu opens beside its menu by Qt's own
    // rule, which already keeps it within the screen.
    QWindow *window = handle ? handle->transientParent() : nullptr;
    if (!window)
        window = QGuiApplication::focusWindow();
    if (!window || window == handle || window->type() == Qt::Popup || !popup->screen())
        return false;
    const QRect placed = placement(popup->geometry(), window->geometry(), popup->screen()->availableGeometry());
    if (placed != popup->geometry())
        popup->move(placed.topLeft());
    return false;
}

} // namespace tessaline
