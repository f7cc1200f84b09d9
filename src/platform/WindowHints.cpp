#include "platform/WindowHints.h"

#include "platform/X11Connection.h"

#include <cstdlib>

namespace tessaline {

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
    send(x11->atom("_NET_WM_DESKTOP"), allDesktops, 0, 0);
    send(x11->atom("_NET_WM_STATE"), add, x11->atom("_NET_WM_STATE_STICKY"), x11->atom("_NET_WM_STATE_ABOVE"));
    send(x11->atom("_NET_WM_STATE"), add, x11->atom("_NET_WM_STATE_SKIP_TASKBAR"), x11->atom("_NET_WM_STATE_SKIP_PAGER"));
    xcb_change_property(x11->connection, XCB_PROP_MODE_REPLACE, window, x11->atom("_NET_WM_DESKTOP"),
                        XCB_ATOM_CARDINAL, 32, 1, &allDesktops);
    xcb_flush(x11->connection);
}

bool hasCompositingManager()
{
    const auto x11 = X11Connection::application();
    if (!x11)
        return false;
    int screenNumber = 0;
    for (xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(x11->connection)); it.rem;
         xcb_screen_next(&it), ++screenNumber) {
        if (it.data->root == x11->root)
            break;
    }
    const QByteArray name = QByteArrayLiteral("_NET_WM_CM_S") + QByteArray::number(screenNumber);
    const xcb_atom_t selection = x11->atom(name.constData());
    xcb_get_selection_owner_reply_t *reply =
        xcb_get_selection_owner_reply(x11->connection, xcb_get_selection_owner(x11->connection, selection), nullptr);
    const bool owned = reply && reply->owner != XCB_NONE;
    free(reply);
    return owned;
}

} // namespace tessaline
