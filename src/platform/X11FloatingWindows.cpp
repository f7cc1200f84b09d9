#include "platform/X11FloatingWindows.h"

#include "platform/WindowHints.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWindow>

#include <algorithm>
#include <cstring>

namespace tessaline {

std::unique_ptr<X11FloatingWindows> X11FloatingWindows::create()
{
    const std::optional<X11Connection> x11 = X11Connection::application();
    if (!x11)
        return nullptr;
    return std::unique_ptr<X11FloatingWindows>(new X11FloatingWindows(*x11));
}

X11FloatingWindows::X11FloatingWindows(const X11Connection &x11)
    : m_x11(x11)
    , m_activeWindowAtom(x11.atom("_NET_ACTIVE_WINDOW"))
    , m_stateAtom(x11.atom("_NET_WM_STATE"))
    , m_stackingAtom(x11.atom("_NET_CLIENT_LIST_STACKING"))
    , m_fullScreenAtom(x11.atom("_NET_WM_STATE_FULLSCREEN"))
{
}

X11FloatingWindows::~X11FloatingWindows()
{
    if (m_filterInstalled && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

void X11FloatingWindows::keepOnAllWorkspaces(QWindow &window)
{
    const auto id = xcb_window_t(window.winId());
    if (window.isVisible()) {
        showOnAllWorkspaces(id);
        return;
    }
    markForAllWorkspaces(id);
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

void X11FloatingWindows::showOverFullScreen(QWindow &window)
{
    m_overFullScreen.removeAll(nullptr);
    if (!m_overFullScreen.contains(&window))
        m_overFullScreen.append(&window);
    if (!m_filterInstalled && QCoreApplication::instance()) {
        // Qt already asks for the root window's property changes.
        QCoreApplication::instance()->installNativeEventFilter(this);
        m_filterInstalled = true;
    }
    // Changes are not followed while no window needs them.
    followActiveWindow();
}

bool X11FloatingWindows::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t" || !message || m_overFullScreen.isEmpty())
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    switch (event->response_type & 0x7f) {
    case XCB_PROPERTY_NOTIFY: {
        const auto *change = reinterpret_cast<const xcb_property_notify_event_t *>(event);
        if (change->window == m_x11.root && change->atom == m_activeWindowAtom) {
            followActiveWindow();
        } else if (change->window == m_active && change->atom == m_stateAtom) {
            updateCover();
        } else if (m_fullScreenInFront && change->window == m_x11.root
                   && change->atom == m_stackingAtom) {
            // The manager restacked its windows: ours go back on top.
            for (const QPointer<QWindow> &window : std::as_const(m_overFullScreen)) {
                if (window && window->isVisible())
                    raise(*window);
            }
        }
        break;
    }
    case XCB_REPARENT_NOTIFY: {
        // A window the manager let go of lands on the root window, and only
        // then can it go on top of the manager's.
        const auto *reparent = reinterpret_cast<const xcb_reparent_notify_event_t *>(event);
        if (reparent->parent != m_x11.root)
            break;
        for (const QPointer<QWindow> &window : std::as_const(m_overFullScreen)) {
            if (window && window->handle() && xcb_window_t(window->winId()) == reparent->window
                && window->flags().testFlag(Qt::X11BypassWindowManagerHint))
                raise(*window);
        }
        break;
    }
    default:
        break;
    }
    return false;
}

bool X11FloatingWindows::isOwnWindow(xcb_window_t id) const
{
    const QWindowList windows = QGuiApplication::allWindows();
    return std::any_of(windows.cbegin(), windows.cend(),
                       [id](const QWindow *window) { return window->handle() && xcb_window_t(window->winId()) == id; });
}

void X11FloatingWindows::followActiveWindow()
{
    const xcb_window_t active = m_x11.windowProperty(m_x11.root, "_NET_ACTIVE_WINDOW").value_or(XCB_NONE);
    if (active != m_active) {
        if (m_watchingActive) {
            const quint32 none = XCB_EVENT_MASK_NO_EVENT;
            xcb_change_window_attributes(m_x11.connection, m_active, XCB_CW_EVENT_MASK, &none);
        }
        m_active = active;
        // Another client's window tells us when it goes full screen only if
        // we ask; Qt already hears of its own.
        m_watchingActive = active != XCB_NONE && !isOwnWindow(active);
        if (m_watchingActive) {
            const quint32 mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
            xcb_change_window_attributes(m_x11.connection, active, XCB_CW_EVENT_MASK, &mask);
        }
        xcb_flush(m_x11.connection);
    }
    updateCover();
}

void X11FloatingWindows::updateCover()
{
    m_fullScreenInFront = m_active != XCB_NONE
        && m_x11.atomListProperty(m_active, "_NET_WM_STATE").contains(m_fullScreenAtom);
    m_overFullScreen.removeAll(nullptr);
    for (const QPointer<QWindow> &window : std::as_const(m_overFullScreen))
        setOverFullScreen(*window, m_fullScreenInFront);
}

void X11FloatingWindows::setOverFullScreen(QWindow &window, bool over)
{
    if (window.flags().testFlag(Qt::X11BypassWindowManagerHint) == over) {
        if (over && window.isVisible())
            raise(window);
        return;
    }
    const bool visible = window.isVisible();
    // The manager reads override-redirect only when a window is mapped.
    window.setFlag(Qt::X11BypassWindowManagerHint, over);
    if (!visible)
        return;
    window.setVisible(false);
    window.setVisible(true);
    if (over)
        raise(window);
    else
        showOnAllWorkspaces(window.winId());
}

void X11FloatingWindows::raise(QWindow &window)
{
    const quint32 above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(m_x11.connection, xcb_window_t(window.winId()), XCB_CONFIG_WINDOW_STACK_MODE, &above);
    xcb_flush(m_x11.connection);
}

} // namespace tessaline
