#include "platform/X11FloatingWindows.h"

#include "platform/WindowHints.h"

#include <QWindow>

#include <algorithm>
#include <cstring>
#include <iterator>

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
    // A floating window belongs to the app's main window, so it gets no
    // taskbar or pager entry of its own.
    const xcb_atom_t states[] = {m_x11.atom("_NET_WM_STATE_STICKY"), m_x11.atom("_NET_WM_STATE_ABOVE"),
                                 m_x11.atom("_NET_WM_STATE_SKIP_TASKBAR"), m_x11.atom("_NET_WM_STATE_SKIP_PAGER")};
    xcb_change_property(m_x11.connection, XCB_PROP_MODE_APPEND, id, m_x11.atom("_NET_WM_STATE"), XCB_ATOM_ATOM, 32,
                        std::size(states), states);
    xcb_flush(m_x11.connection);
}

void X11FloatingWindows::keepAspectRatio(QWindow &window, const QSizeF &ratio)
{
    if (ratio.isEmpty())
        return;
    // WM_NORMAL_HINTS: flags, then seventeen values; the aspect bounds are
    // the 12th to 15th. Qt's own hints (minimum size, position) are kept.
    constexpr int fields = 18;
    constexpr quint32 aspectFlag = 1 << 7;
    const auto id = xcb_window_t(window.winId());
    quint32 hints[fields] = {};
    if (const auto bytes = m_x11.property(id, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, fields))
        std::memcpy(hints, bytes->constData(), std::min<size_t>(bytes->size(), sizeof(hints)));
    // Whole numbers of the same proportions, fine enough for any picture.
    constexpr qreal scale = 10000;
    const auto numerator = quint32(qRound(ratio.width() / std::max(ratio.width(), ratio.height()) * scale));
    const auto denominator = quint32(qRound(ratio.height() / std::max(ratio.width(), ratio.height()) * scale));
    if ((hints[0] & aspectFlag) && hints[11] == numerator && hints[12] == denominator && hints[13] == numerator
        && hints[14] == denominator)
        return;
    hints[0] |= aspectFlag;
    hints[11] = hints[13] = std::max<quint32>(numerator, 1);
    hints[12] = hints[14] = std::max<quint32>(denominator, 1);
    xcb_change_property(m_x11.connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS,
                        32, fields, hints);
    xcb_flush(m_x11.connection);
}

} // namespace tessaline
