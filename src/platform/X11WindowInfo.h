#pragma once

#include "platform/X11Connection.h"

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

#include <optional>

namespace tessaline {

// An application as far as a desktop file (or, without one, WM_CLASS) names it.
struct DesktopApplication
{
    std::optional<QString> name;
    std::optional<QString> identifier;
};

// What X11 and the window manager's EWMH hints say about top-level windows:
// which is active, their titles, owners, geometry and stacking.
class X11WindowInfo
{
public:
    explicit X11WindowInfo(const X11Connection &connection);

    // _NET_ACTIVE_WINDOW when the window manager sets one, else the client
    // window that holds the input focus; none when neither names a window.
    std::optional<xcb_window_t> activeWindow() const;
    std::optional<QString> title(xcb_window_t window) const;
    // WM_CLASS as (instance, class).
    std::optional<std::pair<QString, QString>> windowClass(xcb_window_t window) const;
    // _NET_WM_PID, else the X-Resource extension's idea of the client's PID.
    std::optional<qint64> processID(xcb_window_t window) const;
    // The client area in root-window pixels; none when the window is gone.
    std::optional<QRect> frame(xcb_window_t window) const;
    bool isViewable(xcb_window_t window) const;
    // 0 for ordinary windows and dialogs; higher for keep-above windows,
    // panels and docks.
    int layer(xcb_window_t window) const;
    // Managed client windows, front to back: the window manager's stacking
    // list when there is one, else the root's mapped children that carry
    // WM_CLASS.
    QList<xcb_window_t> clientWindows() const;
    // The direct child of the root that holds this window (its frame when a
    // window manager reparents).
    xcb_window_t topLevelAncestor(xcb_window_t window) const;
    // Whether a compositing manager owns _NET_WM_CM_S<n>.
    bool compositorRunning() const;

    // Name and identifier from the desktop file whose id or StartupWMClass
    // matches WM_CLASS, else WM_CLASS itself (class as the name, instance as
    // the identifier). dataDirectories default to the XDG data directories.
    static DesktopApplication applicationForClass(const QString &instance, const QString &windowClass,
                                                  const QStringList &dataDirectories = {});
    std::optional<DesktopApplication> application(xcb_window_t window) const;
    // Reads the desktop files the lookups above search, ahead of the first
    // capture; any thread.
    static void prepareApplicationLookup();

private:
    static DesktopApplication lookUpApplication(const QString &instance, const QString &windowClass,
                                                const QStringList &directories);
    std::optional<xcb_window_t> clientWindowFor(xcb_window_t window) const;

    X11Connection m_x11;
};

} // namespace tessaline
