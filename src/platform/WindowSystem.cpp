#include "platform/WindowSystem.h"

#include "platform/QtScreenCaptureSystem.h"
#include "platform/X11CaptureSystem.h"

#include <QGuiApplication>
#include <QScreen>

namespace tessaline::WindowSystem {

bool clientsPlaceWindows()
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

bool clientsGrabInput()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
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
