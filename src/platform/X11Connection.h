#pragma once

#include <QByteArray>
#include <QString>

#include <xcb/xcb.h>

#include <optional>

namespace tessaline {

// The X connection Qt opened for this application, with the root window of
// its default screen. None when the application does not run on X11.
struct X11Connection
{
    xcb_connection_t *connection = nullptr;
    xcb_window_t root = XCB_NONE;
    xcb_screen_t *screen = nullptr;

    static std::optional<X11Connection> application();

    xcb_atom_t atom(const char *name, bool onlyIfExists = false) const;
    // The property as raw bytes; none when absent or on error.
    std::optional<QByteArray> property(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                                       quint32 maxLength = 1 << 16) const;
    std::optional<quint32> cardinalProperty(xcb_window_t window, const char *name) const;
    std::optional<xcb_window_t> windowProperty(xcb_window_t window, const char *name) const;
    QList<xcb_atom_t> atomListProperty(xcb_window_t window, const char *name) const;
    // _NET_WM_NAME (UTF-8), else WM_NAME (Latin-1); none when neither is set.
    std::optional<QString> windowTitle(xcb_window_t window) const;
    void sync() const;
};

} // namespace tessaline
