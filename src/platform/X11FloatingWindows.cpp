#include "platform/X11FloatingWindows.h"

#include "platform/WindowHints.h"

#include <QWindow>

namespace tessaline {

std::unique_ptr<X11FloatingWindows> X11FloatingWindows::create()
{
    const std::optional<X11Connection> x11 = X11Connection::application();
    if (!x11)
        return nullptr;
    return std::unique_ptr<X11FloatingWindows>(new X11FloatingWindows(*x11));
}

void X11FloatingWindows::keepOnAllWorkspaces(QWindow &window)
{
    const auto id = xcb_window_t(window.winId());
    if (window.isVisible()) {
        showOnAllWorkspaces(id);
        return;
    }
    // A window manager reads these when the window is mapped. Qt keeps state
    // atoms it does not manage itself when it maps the window.
    constexpr quint32 allDesktops = 0xFFFFFFFF;
    xcb_change_property(m_x11.connection, XCB_PROP_MODE_REPLACE, id, m_x11.atom("_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL,
                        32, 1, &allDesktops);
    const xcb_atom_t states[] = {m_x11.atom("_NET_WM_STATE_STICKY"), m_x11.atom("_NET_WM_STATE_ABOVE")};
    xcb_change_property(m_x11.connection, XCB_PROP_MODE_APPEND, id, m_x11.atom("_NET_WM_STATE"), XCB_ATOM_ATOM, 32, 2,
                        states);
    xcb_flush(m_x11.connection);
}

} // namespace tessaline
