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
// as X11 window managers and KWin place them. Installed on the application.
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

private:
    explicit WaylandModalDialogs(wl_proxy *shell);

    void mark(QWindow &window);
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
    };
    QHash<QWindow *, Marked> m_marked;
};

} // namespace tessaline
