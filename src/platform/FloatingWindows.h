#pragma once

#include <QSize>
#include <QSizeF>

class QWindow;

namespace tessaline {

// What floating windows (pins) need of the window system beyond Qt's own
// flags: staying on every workspace and above ordinary windows, with no
// taskbar entry of its own. The
// platform factory picks the session's backend once.
class FloatingWindows
{
public:
    virtual ~FloatingWindows() = default;

    // Call once the native window exists, before it is first shown; a
    // window already on screen gets the same states by request.
    virtual void keepOnAllWorkspaces(QWindow &window) = 0;
    // Asks the window manager to keep these proportions, and a size of at
    // least `minimum`, when it resizes the window; an empty ratio lets it
    // resize the window freely. Call again after each change of the
    // window's geometry: Qt writes the size hints afresh then.
    virtual void keepAspectRatio(QWindow &window, const QSizeF &ratio, const QSize &minimum)
    {
        Q_UNUSED(window);
        Q_UNUSED(ratio);
        Q_UNUSED(minimum);
    }
    // Keeps the window in sight over a full-screen window that has the
    // focus, which a window manager may stack above every other. Call once
    // the native window exists; the window must not take the focus.
    virtual void showOverFullScreen(QWindow &window) { Q_UNUSED(window); }
    // Whether openUnfocusedInCorner can be asked: a compositor that places
    // every window itself, and opens windows with the keyboard, but takes
    // requests otherwise.
    virtual bool opensUnfocusedInCorner() const { return false; }
    // Call before the window is shown, at `size`: the compositor opens it
    // without taking the keyboard from the app in use, `inset` pixels in
    // from the top right corner of the output the user works on, and keeps
    // it on every workspace.
    virtual void openUnfocusedInCorner(QWindow &window, const QSize &size, int inset)
    {
        Q_UNUSED(window);
        Q_UNUSED(size);
        Q_UNUSED(inset);
    }
};

// Where the window system offers nothing more: Qt's stay-on-top flag is all
// there is.
class NullFloatingWindows final : public FloatingWindows
{
public:
    void keepOnAllWorkspaces(QWindow &) override {}
};

} // namespace tessaline
