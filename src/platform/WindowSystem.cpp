#include "platform/WindowSystem.h"

#include "platform/QtScreenCaptureSystem.h"
#include "platform/X11CaptureSystem.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

namespace tessaline::WindowSystem {

bool clientsPlaceWindows()
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

bool clientsGrabInput()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

bool isWaylandSession()
{
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith(QLatin1String("wayland")))
        return true;
    // XWayland names its outputs so. The environment would say it too, but
    // it also says so to a test's own X server started from a Wayland desktop.
    if (platform == QLatin1String("xcb")) {
        const QList<QScreen *> screens = QGuiApplication::screens();
        for (const QScreen *screen : screens) {
            if (screen->name().startsWith(QLatin1String("XWAYLAND")))
                return true;
        }
    }
    return false;
}

bool knowsFrontmostWindow()
{
    return QGuiApplication::platformName() == QLatin1String("xcb") && !isWaylandSession();
}

QWindow *stackingParent(const QWindow *besides)
{
    const auto ordinary = [besides](QWindow *window) {
        // A capture overlay is gone a moment later, and what belongs to it with it.
        if (!window || window == besides || !window->isVisible()
            || window->flags().testFlag(Qt::BypassWindowManagerHint))
            return false;
        const Qt::WindowType type = window->type();
        return type == Qt::Window || type == Qt::Dialog;
    };
    if (QWindow *focused = QGuiApplication::focusWindow()) {
        // A menu or popup with the keyboard stands for the window it opened from.
        while (focused && !ordinary(focused) && focused->transientParent())
            focused = focused->transientParent();
        if (ordinary(focused))
            return focused;
    }
    const QWindowList windows = QGuiApplication::topLevelWindows();
    for (QWindow *window : windows) {
        if (ordinary(window) && !window->transientParent())
            return window;
    }
    return nullptr;
}

QScreen *screenForDisplay(quint32 displayID)
{
    const auto x11 = X11Connection::application();
    if (!x11)
        return QtScreenCaptureSystem::screenForDisplay(displayID);
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (const X11Display &display : X11CaptureSystem::displaysFor(x11)) {
        if (display.displayID != displayID)
            continue;
        for (QScreen *screen : screens) {
            if (screen->name() == display.name)
                return screen;
        }
    }
    return nullptr;
}

} // namespace tessaline::WindowSystem
