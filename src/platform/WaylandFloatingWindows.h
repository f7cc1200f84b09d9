#pragma once

#include "platform/FloatingWindows.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <memory>

namespace tessaline {

// Where a Wayland compositor lets a client ask for more than Qt can:
// KWin keeps a pin above other windows and on every desktop through a
// script of ours it runs (its scripting D-Bus interface), which knows the
// pin by an app id we give it; sway keeps it on
// every workspace (sticky, through its IPC socket), floating above tiled
// windows as every floating window does, and has no layer above that.
// GNOME offers neither, and gets Qt's flags alone. The compositor only
// knows a window once it is shown, so the request waits for that.
class WaylandFloatingWindows final : public QObject, public FloatingWindows
{
public:
    // None where the desktop offers none of this.
    static std::unique_ptr<WaylandFloatingWindows> create();
    ~WaylandFloatingWindows() override;

    void keepOnAllWorkspaces(QWindow &window) override;
    bool opensUnfocusedInCorner() const override { return m_desktop == Desktop::sway; }
    void openUnfocusedInCorner(QWindow &window, const QSize &size, int inset) override;

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Desktop { sway, kwin };
    explicit WaylandFloatingWindows(Desktop desktop);

    void askCompositor(QWindow &window);
    void runKWinScript(QWindow &window);
    // The app id KWin knows our floating windows by.
    static QString floatingApplicationID();
    // Gives a shown window an app id of its own; false where Qt's
    // Wayland client holds no toplevel for it.
    static bool setApplicationID(QWindow &window, const QString &id);
    // Runs the command on the window once sway knows it.
    void runOnSwayWindow(const QWindow &window, bool floating, const QSize &size, const QString &command);

    Desktop m_desktop;
    // The titles sway was told to open our windows of without the keyboard.
    QSet<QString> m_unfocusedTitles;
};

} // namespace tessaline
