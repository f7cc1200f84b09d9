#include "platform/WindowHints.h"

#include "platform/WindowSystem.h"
#include "platform/X11Connection.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QScreen>
#include <qpa/qplatformnativeinterface.h>

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>

namespace tessaline {

namespace {

// The atoms a floating window uses. Each name asked of the server is a
// round trip, several per capture toast, and an atom never changes while
// the server runs: they are asked once per connection, all requests sent
// before the first answer is read.
struct WorkspaceAtoms
{
    xcb_atom_t desktop = XCB_ATOM_NONE;
    xcb_atom_t state = XCB_ATOM_NONE;
    xcb_atom_t sticky = XCB_ATOM_NONE;
    xcb_atom_t above = XCB_ATOM_NONE;
    xcb_atom_t skipTaskbar = XCB_ATOM_NONE;
    xcb_atom_t skipPager = XCB_ATOM_NONE;
};

WorkspaceAtoms workspaceAtoms(const X11Connection &x11)
{
    static std::mutex lock;
    static xcb_connection_t *internedFor = nullptr;
    static WorkspaceAtoms cached;
    const std::lock_guard guard(lock);
    if (internedFor == x11.connection)
        return cached;

    const char *names[] = {"_NET_WM_DESKTOP",    "_NET_WM_STATE",           "_NET_WM_STATE_STICKY",
                           "_NET_WM_STATE_ABOVE", "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"};
    xcb_intern_atom_cookie_t cookies[std::size(names)];
    for (size_t i = 0; i < std::size(names); ++i)
        cookies[i] = xcb_intern_atom(x11.connection, false, uint16_t(std::strlen(names[i])), names[i]);
    xcb_atom_t atoms[std::size(names)] = {};
    bool complete = true;
    for (size_t i = 0; i < std::size(names); ++i) {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(x11.connection, cookies[i], nullptr);
        atoms[i] = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        complete = complete && atoms[i] != XCB_ATOM_NONE;
        std::free(reply);
    }
    const WorkspaceAtoms result{atoms[0], atoms[1], atoms[2], atoms[3], atoms[4], atoms[5]};
    // A failed request is asked again next time rather than kept.
    if (complete) {
        cached = result;
        internedFor = x11.connection;
    }
    return result;
}

} // namespace

void showOnAllWorkspaces(quintptr windowID)
{
    const auto x11 = X11Connection::application();
    if (!x11 || !windowID)
        return;
    const auto window = xcb_window_t(windowID);
    // A mapped window changes state through client messages to the root
    // window; the property alone is only read when the window is mapped.
    auto send = [&](xcb_atom_t type, quint32 d0, quint32 d1, quint32 d2) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = type;
        event.data.data32[0] = d0;
        event.data.data32[1] = d1;
        event.data.data32[2] = d2;
        event.data.data32[3] = 1; // from an application
        xcb_send_event(x11->connection, false, x11->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&event));
    };
    constexpr quint32 allDesktops = 0xFFFFFFFF;
    constexpr quint32 add = 1;
    const WorkspaceAtoms atoms = workspaceAtoms(*x11);
    send(atoms.desktop, allDesktops, 0, 0);
    send(atoms.state, add, atoms.sticky, atoms.above);
    send(atoms.state, add, atoms.skipTaskbar, atoms.skipPager);
    xcb_change_property(x11->connection, XCB_PROP_MODE_REPLACE, window, atoms.desktop, XCB_ATOM_CARDINAL, 32, 1,
                        &allDesktops);
    xcb_flush(x11->connection);
}

bool hasCompositingManager()
{
    // A Wayland compositor blends every window it shows.
    if (!WindowSystem::clientsPlaceWindows())
        return true;
    // Qt follows the compositing manager's selection as it changes hands, so
    // asking Qt costs no round trip to the server, where asking the server
    // cost one per capture toast, while the capture was being painted.
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    QScreen *screen = QGuiApplication::primaryScreen();
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !native || !screen)
        return false;
    return native->nativeResourceForScreen(QByteArrayLiteral("compositingenabled"), screen) != nullptr;
}

void markForAllWorkspaces(quintptr windowID)
{
    const auto x11 = X11Connection::application();
    if (!x11 || !windowID)
        return;
    const auto window = xcb_window_t(windowID);
    const WorkspaceAtoms atoms = workspaceAtoms(*x11);
    constexpr quint32 allDesktops = 0xFFFFFFFF;
    xcb_change_property(x11->connection, XCB_PROP_MODE_REPLACE, window, atoms.desktop, XCB_ATOM_CARDINAL, 32, 1,
                        &allDesktops);
    // A floating window belongs to the app's main window, so it gets no
    // taskbar or pager entry of its own.
    const xcb_atom_t states[] = {atoms.sticky, atoms.above, atoms.skipTaskbar, atoms.skipPager};
    xcb_change_property(x11->connection, XCB_PROP_MODE_APPEND, window, atoms.state, XCB_ATOM_ATOM, 32,
                        std::size(states), states);
    xcb_flush(x11->connection);
}

} // namespace tessaline
