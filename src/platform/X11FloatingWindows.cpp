#include "platform/X11FloatingWindows.h"

#include "platform/WindowHints.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>
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
    , m_wmStateAtom(x11.atom("WM_STATE"))
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

void X11FloatingWindows::keepAspectRatio(QWindow &window, const QSizeF &ratio, const QSize &minimum)
{
    // WM_NORMAL_HINTS: flags, then seventeen values; the smallest size is
    // the 6th and 7th, the aspect bounds the 12th to 15th. Qt's own hints
    // (its smallest size, the position) are kept.
    constexpr int fields = 18;
    constexpr quint32 minimumFlag = 1 << 4;
    constexpr quint32 aspectFlag = 1 << 7;
    const auto id = xcb_window_t(window.winId());
    quint32 hints[fields] = {};
    if (const auto bytes = m_x11.property(id, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, fields))
        std::memcpy(hints, bytes->constData(), std::min<size_t>(bytes->size(), sizeof(hints)));
    quint32 wanted[fields];
    std::memcpy(wanted, hints, sizeof(hints));
    if (ratio.isEmpty()) {
        wanted[0] &= ~aspectFlag;
    } else {
        // Whole numbers of the same proportions, fine enough for any picture.
        constexpr qreal scale = 10000;
        const qreal longer = std::max(ratio.width(), ratio.height());
        wanted[0] |= aspectFlag;
        wanted[11] = wanted[13] = std::max<quint32>(quint32(qRound(ratio.width() / longer * scale)), 1);
        wanted[12] = wanted[14] = std::max<quint32>(quint32(qRound(ratio.height() / longer * scale)), 1);
        // A manager applies the proportions after the smallest size, so
        // that must have them too.
        if (minimum.isValid()) {
            wanted[0] |= minimumFlag;
            wanted[5] = std::max(wanted[5], quint32(minimum.width()));
            wanted[6] = std::max(wanted[6], quint32(minimum.height()));
        }
    }
    if (std::memcmp(wanted, hints, sizeof(hints)) == 0)
        return;
    xcb_change_property(m_x11.connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS,
                        32, fields, wanted);
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
        } else if (change->atom == m_wmStateAtom && isWithdrawing(change->window)) {
            if (change->state == XCB_PROPERTY_DELETE || !isManaged(change->window))
                mapOverFullScreen(change->window);
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
        if (over && window.isVisible() && !isWithdrawing(xcb_window_t(window.winId())))
            raise(window);
        return;
    }
    // Qt sets override-redirect at once; the manager reads it only when the
    // window is mapped.
    window.setFlag(Qt::X11BypassWindowManagerHint, over);
    if (!window.isVisible())
        return;
    if (over) {
        withdraw(window);
        return;
    }
    m_withdrawing.removeAll(&window);
    window.setVisible(false);
    window.setVisible(true);
    showOnAllWorkspaces(window.winId());
}

bool X11FloatingWindows::isManaged(xcb_window_t id) const
{
    // WM_STATE: the state, then the icon window; 0 is withdrawn.
    const auto state = m_x11.property(id, m_wmStateAtom, m_wmStateAtom, 2);
    return state && state->size() >= 4 && *reinterpret_cast<const quint32 *>(state->constData()) != 0;
}

bool X11FloatingWindows::isWithdrawing(xcb_window_t id) const
{
    return std::any_of(m_withdrawing.cbegin(), m_withdrawing.cend(), [id](const QPointer<QWindow> &window) {
        return window && window->handle() && xcb_window_t(window->winId()) == id;
    });
}

void X11FloatingWindows::withdraw(QWindow &window)
{
    // The manager lets go of a window when it hears the window was
    // unmapped, and unmaps it once more as it does: a window mapped again
    // before that stays unmapped. It says it has let go by taking the
    // window's WM_STATE away (ICCCM 4.1.4), and only then is the window
    // mapped again, out of its care. Qt is not told: to Qt the window
    // stays shown throughout.
    const auto id = xcb_window_t(window.winId());
    const bool managed = isManaged(id);
    xcb_unmap_window(m_x11.connection, id);
    xcb_unmap_notify_event_t unmapped{};
    unmapped.response_type = XCB_UNMAP_NOTIFY;
    unmapped.event = m_x11.root;
    unmapped.window = id;
    xcb_send_event(m_x11.connection, false, m_x11.root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char *>(&unmapped));
    xcb_flush(m_x11.connection);
    m_withdrawing.removeAll(nullptr);
    if (!m_withdrawing.contains(&window))
        m_withdrawing.append(&window);
    if (!managed) {
        mapOverFullScreen(id);
        return;
    }
    // A manager that never says so is not waited for long.
    constexpr int longestWithdrawal = 1000;
    QTimer::singleShot(longestWithdrawal, &window, [this, id] {
        if (isWithdrawing(id))
            mapOverFullScreen(id);
    });
}

void X11FloatingWindows::mapOverFullScreen(xcb_window_t id)
{
    for (const QPointer<QWindow> &window : std::as_const(m_withdrawing)) {
        if (!window || !window->handle() || xcb_window_t(window->winId()) != id)
            continue;
        const QPointer<QWindow> target = window;
        m_withdrawing.removeAll(target);
        // Closed meanwhile, or back in the manager's care.
        if (target->isVisible() && target->flags().testFlag(Qt::X11BypassWindowManagerHint)) {
            xcb_map_window(m_x11.connection, id);
            raise(*target);
        }
        return;
    }
}

void X11FloatingWindows::raise(QWindow &window)
{
    const quint32 above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(m_x11.connection, xcb_window_t(window.winId()), XCB_CONFIG_WINDOW_STACK_MODE, &above);
    xcb_flush(m_x11.connection);
}

} // namespace tessaline
