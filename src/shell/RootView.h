#pragma once

#include "shell/RootViewController.h"
#include "runtime/ScreenRegistry.h"

#include <QDialog>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>

class QAction;
class QMenu;
class QSplitter;
class QStackedLayout;
class QToolButton;

namespace tessaline {

class AppRuntime;
class MainWindowCommands;
class SidebarView;
class TessalinePrimaryButton;
class UpdateService;

// The main window: the sidebar of destinations beside the detail pane (and
// the card inspector while it is asked for), the capture controls in the
// toolbar, the menu commands, the guided tour's coachmark, the six sheets
// and the "Tessaline needs attention" alert. All of its decisions live in
// RootViewController; this class draws them and forwards input.
//
// Showing the window starts the runtime (until one start has succeeded).
class RootView : public QMainWindow
{
    Q_OBJECT
public:
    RootView(AppRuntime &runtime, UpdateService &updates, ScreenRegistry screens = {}, QWidget *parent = nullptr);
    ~RootView() override;

    RootViewController &controller() const { return *m_controller; }

    // Raises the window, restores it when minimised and activates it.
    void bringToFront();
    // True while a window-modal dialog (a sheet or the alert) is open on it.
    bool hasAttachedSheet() const;
    // Raises the open sheets over the window, the last opened highest, and
    // gives the top one (or the window) the focus; answers which it gave it.
    QWidget *activateTopSheet();

    // For tests and the shell: what is on screen now.
    QWidget *detailWidget() const { return m_detail; }
    QDialog *sheetDialog() const { return m_sheetDialog; }
    QMessageBox *alertBox() const { return m_alertBox; }
    SidebarView *sidebarView() const { return m_sidebarView; }
    QMenu *captureMenu() const { return m_captureMenu; }

Q_SIGNALS:
    // The user asked for the settings window from the window's menu.
    void settingsRequested();

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildToolbar();
    void buildMenus();
    void syncColumns();
    void syncDetail();
    void syncInspector();
    // Shown as the window system sees it: the native window follows the
    // widget's show event, and a sheet shown before it has no parent there.
    // A minimised window counts as not shown: a sheet mapped while it is
    // can keep it minimised (the quick note from the tray).
    bool isShownNatively() const;
    // Brings the sheets, alert and coachmark in step once the window is on
    // screen, on a turn of the event loop of their own.
    void syncPresentationSoon();
    void syncSheet();
    void syncAlert();
    void syncCoachmark();
    void syncToolbar();
    void rebuildCaptureMenu();
    void placeCoachmark();
    // Never narrower than its columns at their narrowest, nor than the
    // window's own least size, unless the screen is smaller still.
    void fitMinimumSizeToColumns();

    RootViewController *m_controller;
    MainWindowCommands *m_commands;
    ScreenRegistry m_screens;

    QSplitter *m_splitter = nullptr;
    SidebarView *m_sidebarView = nullptr;
    QWidget *m_detailHost = nullptr;
    QStackedLayout *m_detailLayout = nullptr;
    QWidget *m_detail = nullptr;
    std::optional<DetailScreen> m_shownDetail;
    QWidget *m_inspectorHost = nullptr;
    QWidget *m_inspector = nullptr;
    QPointer<QWidget> m_coachmark;
    std::optional<GuidedTourStep> m_coachmarkStep;
    bool m_coachmarkHasTarget = false;

    QAction *m_sidebarToggle = nullptr;
    QAction *m_inspectorAction = nullptr;
    TessalinePrimaryButton *m_captureButton = nullptr;
    QToolButton *m_captureMenuButton = nullptr;
    QWidget *m_captureControl = nullptr;
    QMenu *m_captureMenu = nullptr;
    QAction *m_quickNoteCommand = nullptr;
    QAction *m_captureRegionCommand = nullptr;
    QAction *m_checkForUpdatesCommand = nullptr;

    QPointer<QDialog> m_sheetDialog;
    std::optional<SheetRequest> m_shownSheet;
    QPointer<QMessageBox> m_alertBox;
    bool m_syncingAlert = false;
};

} // namespace tessaline
