#pragma once

#include "platform/FloatingWindows.h"
#include "platform/X11Connection.h"

#include <memory>

namespace tessaline {

// Asks the window manager (EWMH) to keep a window on all desktops, sticky
// and above others.
class X11FloatingWindows final : public FloatingWindows
{
public:
    // None when the application does not run on X11.
    static std::unique_ptr<X11FloatingWindows> create();

    void keepOnAllWorkspaces(QWindow &window) override;
    void keepAspectRatio(QWindow &window, const QSizeF &ratio) override;

private:
    explicit X11FloatingWindows(const X11Connection &x11) : m_x11(x11) {}

    X11Connection m_x11;
};

} // namespace tessaline
