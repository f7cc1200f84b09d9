#pragma once

#include <QObject>
#include <QPointer>

class QMenu;
class QSystemTrayIcon;
class QTimer;

namespace tessaline {

class AppRuntime;
class UpdateService;

// The tray menu: capture actions, the two capture behaviours, the note that
// receives captures, and the ways into the main window, settings, updates
// and quitting. Rebuilt from the runtime's state as that changes and each
// time it opens, so it always shows the current shortcuts, toggles and
// notes.
class MenuBarView : public QObject
{
    Q_OBJECT
public:
    MenuBarView(AppRuntime &runtime, UpdateService &updates, QObject *parent = nullptr);
    ~MenuBarView() override;

    // Fills the menu with the current entries (replacing what it held).
    void populate(QMenu *menu);

    // Shows the tray icon when the desktop has a tray; false when it has none
    // yet (everything stays reachable from the main window then). A tray
    // that comes later, as a panel started after Tessaline, gets the icon
    // then, where the desktop says so (X11).
    bool installTrayIcon();
    // Changes within this long of each other rebuild the menu once.
    static constexpr int refreshDelayMs = 100;
    QSystemTrayIcon *trayIcon() const { return m_tray; }
    QMenu *menu() const { return m_menu; }

Q_SIGNALS:
    void settingsRequested();
    void quitRequested();

private:
    AppRuntime &m_runtime;
    UpdateService &m_updates;
    QMenu *m_menu = nullptr;
    QSystemTrayIcon *m_tray = nullptr;
    bool m_watchingTrays = false;
    QTimer *m_refresh = nullptr;
    bool m_notesWritten = false;
    qsizetype m_boardsShown = -1;
};

} // namespace tessaline
