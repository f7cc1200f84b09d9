#pragma once

class QWindow;

namespace tessaline {

// What floating windows (pins) need of the window system beyond Qt's own
// flags: staying on every workspace and above ordinary windows. The
// platform factory picks the session's backend once.
class FloatingWindows
{
public:
    virtual ~FloatingWindows() = default;

    // Call once the native window exists, before it is first shown; a
    // window already on screen gets the same states by request.
    virtual void keepOnAllWorkspaces(QWindow &window) = 0;
};

// Where the window system offers nothing more: Qt's stay-on-top flag is all
// there is.
class NullFloatingWindows final : public FloatingWindows
{
public:
    void keepOnAllWorkspaces(QWindow &) override {}
};

} // namespace tessaline
