#pragma once

class QScreen;

#include <QtGlobal>

// What the window system the application runs on lets a client do. Under
// X11 a client places its own windows and may grab the keyboard and pointer;
// under Wayland the compositor does both, so a window that must cover a
// screen asks to be full-screen on it, and the focused window gets the keys.
namespace tessaline::WindowSystem {

bool clientsPlaceWindows();
bool clientsGrabInput();

// The Qt screen that shows a display of the session's capture system; none
// once the display is unplugged.
QScreen *screenForDisplay(quint32 displayID);

} // namespace tessaline::WindowSystem
