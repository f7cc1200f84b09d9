#include "platform/X11Connection.h"

#include <QGuiApplication>
#include <QList>

#include <X11/Xlib.h>

#include <cstdlib>
#include <cstring>

namespace tessaline {

std::optional<X11Connection> X11Connection::application()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return std::nullopt;
    X11Connection result;
    result.connection = x11->connection();
    const int screenNumber = x11->display() ? DefaultScreen(x11->display()) : 0;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(result.connection));
    for (int i = 0; it.rem; ++i, xcb_screen_next(&it)) {
        if (i == screenNumber) {
            result.screen = it.data;
            break;
        }
    }
    if (!result.screen)
        return std::nullopt;
    result.root = result.screen->root;
    return result;
}

xcb_atom_t X11Connection::atom(const char *name, bool onlyIfExists) const
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, onlyIfExists, uint16_t(std::strlen(name)), name), nullptr);
    if (!reply)
        return XCB_ATOM_NONE;
    const xcb_atom_t result = reply->atom;
    std::free(reply);
    return result;
}

std::optional<QByteArray> X11Connection::property(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                                                  quint32 maxLength) const
{
    if (property == XCB_ATOM_NONE)
        return std::nullopt;
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, property, type, 0, maxLength), nullptr);
    if (!reply)
        return std::nullopt;
    std::optional<QByteArray> result;
    if (reply->type != XCB_ATOM_NONE && (type == XCB_ATOM_ANY || reply->type == type)) {
        const int length = xcb_get_property_value_length(reply);
        result = QByteArray(static_cast<const char *>(xcb_get_property_value(reply)), length);
    }
    std::free(reply);
    return result;
}

std::optional<quint32> X11Connection::cardinalProperty(xcb_window_t window, const char *name) const
{
    const auto bytes = property(window, atom(name, true), XCB_ATOM_CARDINAL, 1);
    if (!bytes || bytes->size() < 4)
        return std::nullopt;
    quint32 value = 0;
    std::memcpy(&value, bytes->constData(), 4);
    return value;
}

std::optional<xcb_window_t> X11Connection::windowProperty(xcb_window_t window, const char *name) const
{
    const auto bytes = property(window, atom(name, true), XCB_ATOM_WINDOW, 1);
    if (!bytes || bytes->size() < 4)
        return std::nullopt;
    xcb_window_t value = 0;
    std::memcpy(&value, bytes->constData(), 4);
    return value;
}

QList<xcb_atom_t> X11Connection::atomListProperty(xcb_window_t window, const char *name) const
{
    QList<xcb_atom_t> result;
    const auto bytes = property(window, atom(name, true), XCB_ATOM_ATOM);
    if (!bytes)
        return result;
    for (qsizetype i = 0; i + 4 <= bytes->size(); i += 4) {
        xcb_atom_t value = 0;
        std::memcpy(&value, bytes->constData() + i, 4);
        result.append(value);
    }
    return result;
}

std::optional<QString> X11Connection::windowTitle(xcb_window_t window) const
{
    if (const auto name = property(window, atom("_NET_WM_NAME", true), atom("UTF8_STRING", true)))
        return QString::fromUtf8(*name);
    if (const auto name = property(window, XCB_ATOM_WM_NAME, XCB_ATOM_ANY))
        return QString::fromLatin1(*name);
    return std::nullopt;
}

void X11Connection::sync() const
{
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

} // namespace tessaline
