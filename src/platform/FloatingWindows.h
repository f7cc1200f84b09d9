#pragma once

class QWindow;

namespace tessaline {

// What floating windows (pins) need of the window system beyond Qt's own
// flags: staying on every workspace and above ordinary windows. Chosen
// once for the session: the X11 backend asks the window manager; elsewhere
// nothing is added and Qt's stay-on-top flag is all there is.
class FloatingWindows
{
public:
    virtual ~FloatingWindows() = default;

    // Call once the native window exists, before it is first shown; a
    // window already on screen gets the same states by request.
    virtual void keepOnAllWorkspaces(QWindow &window) = 0;

    static FloatingWindows &forSession();
};

} // namespace tessaline
