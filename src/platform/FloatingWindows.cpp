#include "platform/FloatingWindows.h"

#include "platform/X11Connection.h"
#include "platform/X11WindowHints.h"

#include <QWindow>

#include <memory>

namespace tessaline {

namespace {

class X11FloatingWindows final : public FloatingWindows
{
public:
    explicit X11FloatingWindows(const X11Connection &x11) : m_x11(x11) {}

    void keepOnAllWorkspaces(QWindow &window) override
    {
        const auto id = xcb_window_t(window.winId());
        if (window.isVisible()) {
            showOnAllWorkspaces(id);
            return;
        }
        // A window manager reads these when the window is mapped. Qt keeps
        // state atoms it does not manage itself when it maps the window.
        constexpr quint32 allDesktops = 0xFFFFFFFF;
        xcb_change_property(m_x11.connection, XCB_PROP_MODE_REPLACE, id, m_x11.atom("_NET_WM_DESKTOP"),
                            XCB_ATOM_CARDINAL, 32, 1, &allDesktops);
        const xcb_atom_t states[] = {m_x11.atom("_NET_WM_STATE_STICKY"), m_x11.atom("_NET_WM_STATE_ABOVE")};
        xcb_change_property(m_x11.connection, XCB_PROP_MODE_APPEND, id, m_x11.atom("_NET_WM_STATE"), XCB_ATOM_ATOM, 32,
                            2, states);
        xcb_flush(m_x11.connection);
    }

private:
    X11Connection m_x11;
};

class NullFloatingWindows final : public FloatingWindows
{
public:
    void keepOnAllWorkspaces(QWindow &) override {}
};

} // namespace

FloatingWindows &FloatingWindows::forSession()
{
    static const std::unique_ptr<FloatingWindows> backend = []() -> std::unique_ptr<FloatingWindows> {
        if (const std::optional<X11Connection> x11 = X11Connection::application())
            return std::make_unique<X11FloatingWindows>(*x11);
        return std::make_unique<NullFloatingWindows>();
    }();
    return *backend;
}

} // namespace tessaline
