#pragma once

#include <QHash>
#include <QObject>

#include <memory>

class QWindow;
struct wl_proxy;

namespace tessaline {

// Tells a compositor that reads GTK's shell protocol (GNOME's mutter) which
// of our windows are modal dialogs of the window they belong to. Mutter
// centres a new window over its parent only when it knows it as a dialog,
// and Qt 6.4 says so through no protocol mutter reads: our sheets opened at
// the output's top left, away from the window they block. Marked before
// their first picture reaches the compositor, they open over their window,
// as X11 window managers and KWin place them. A window that belongs to
// another without blocking it (the settings window, a pin) is placed the
// same way, then let go once it shows: mutter cascades such a window from
// the output's top left, and as a dialog for good it would stay fastened to
// its parent and dim it. Installed on the application.
class WaylandModalDialogs final : public QObject
{
public:
    // None where Qt does not run on Wayland or the compositor offers no
    // such protocol (sway, KWin: they place dialogs over their parent
    // already).
    static std::unique_ptr<WaylandModalDialogs> create();
    ~WaylandModalDialogs() override;

    bool eventFilter(QObject *watched, QEvent *event) override;

    // Whether the compositor should know a window as a modal dialog: one
    // that blocks its own parent window or the whole application.
    static bool isModalDialog(const QWindow &window);
    // Whether a window belongs to another and should open over it, without
    // blocking it: a window of its own or a tool window (not a menu or a
    // tool tip) with a parent, neither modal nor covering the screen.
    static bool opensOverParent(const QWindow &window);

private:
    explicit WaylandModalDialogs(wl_proxy *shell);

    // How long the compositor knows a window as a dialog: while it is
    // shown, or until its first picture has been shown (it is placed then).
    enum class Marking { whileShown, untilPlaced, placed };

    void mark(QWindow &window, Marking marking);
    void letGo(QWindow &window);
    void forget(QWindow *window);

    wl_proxy *m_shell = nullptr;
    // The compositor's object for each dialog's current surface. Qt makes a
    // new surface each time a window is shown, and the compositor takes
    // one such object per surface, so it is made as the window is shown and
    // dropped as it hides (the surface goes with it, and nothing may be
    // asked of the object after that).
    struct Marked
    {
        wl_proxy *gtkSurface = nullptr;
        QMetaObject::Connection gone;
        Marking marking = Marking::whileShown;
    };
    QHash<QWindow *, Marked> m_marked;
};

} // namespace tessaline
