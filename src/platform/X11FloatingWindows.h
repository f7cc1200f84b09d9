#pragma once

#include "platform/FloatingWindows.h"
#include "platform/X11Connection.h"

#include <QAbstractNativeEventFilter>
#include <QList>
#include <QPointer>
#include <QWindow>

#include <memory>

namespace tessaline {

// Asks the window manager (EWMH) to keep a window on all desktops, sticky
// and above others.
//
// Window managers stack a focused full-screen window above the "above"
// layer (openbox does), so a window that must show over it leaves the
// manager's care while such a window has the focus: it is then mapped
// override-redirect and raised by us, and handed back to the manager, with
// its states, once the focus moves on or the window leaves full screen.
// It is mapped out of the manager's care only once the manager has let go
// of it: mapped before, the manager's own unmap would hide it.
class X11FloatingWindows final : public FloatingWindows, public QAbstractNativeEventFilter
{
public:
    // None when the application does not run on X11.
    static std::unique_ptr<X11FloatingWindows> create();
    ~X11FloatingWindows() override;

    void keepOnAllWorkspaces(QWindow &window) override;
    void keepAspectRatio(QWindow &window, const QSizeF &ratio, const QSize &minimum) override;
    void showOverFullScreen(QWindow &window) override;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    explicit X11FloatingWindows(const X11Connection &x11);

    void followActiveWindow();
    void updateCover();
    void setOverFullScreen(QWindow &window, bool over);
    bool isManaged(xcb_window_t id) const;
    bool isWithdrawing(xcb_window_t id) const;
    // Takes a window the manager keeps out of its care, and maps it once
    // the manager has let go of it.
    void withdraw(QWindow &window);
    void mapOverFullScreen(xcb_window_t id);
    void raise(QWindow &window);
    bool isOwnWindow(xcb_window_t id) const;

    X11Connection m_x11;
    // Every property change of the connection passes the filter: the atoms
    // it compares are asked of the server once.
    xcb_atom_t m_activeWindowAtom;
    xcb_atom_t m_stateAtom;
    xcb_atom_t m_stackingAtom;
    xcb_atom_t m_fullScreenAtom;
    xcb_atom_t m_wmStateAtom;
    bool m_filterInstalled = false;
    // Pins and the like that must stay in sight.
    QList<QPointer<QWindow>> m_overFullScreen;
    // Those unmapped for the manager to let go of, not mapped again yet.
    QList<QPointer<QWindow>> m_withdrawing;
    // The window with the focus, and whether we asked for its property
    // changes (never for a window of our own: Qt owns that event mask).
    xcb_window_t m_active = XCB_NONE;
    bool m_watchingActive = false;
    bool m_fullScreenInFront = false;
};

} // namespace tessaline
