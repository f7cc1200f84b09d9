#pragma once

#include "capture/GlobalShortcutConfiguration.h"

#include <QKeySequence>
#include <QObject>
#include <QString>

#include <optional>

class QAction;

namespace tessaline {

class AppRuntime;
class UpdateService;

// The main window's menu commands: "Check for Updates…" beside the
// application's information, and Quick Note and the three captures after the
// new-item commands. The global shortcuts the user configured are the only
// key sequences these commands show.
class MainWindowCommands : public QObject
{
    Q_OBJECT
public:
    MainWindowCommands(AppRuntime &runtime, UpdateService &updates, QObject *parent = nullptr);

    bool canCheckForUpdates() const;
    QKeySequence quickNoteShortcut() const;
    QKeySequence captureRegionShortcut() const;
    // The two commands' menu texts, each with its shortcut written the way
    // every other place shows it ("Ctrl+Super+4").
    QString quickNoteText() const;
    QString captureRegionText() const;

    // A menu item's text with the shortcut shown in the menu's shortcut
    // column (after a tab, which the menu shows instead of the item's key
    // sequence); the title alone when the shortcut is off or its key has no
    // menu character (see menuKeySequence).
    static QString menuText(const QString &title, const std::optional<GlobalShortcut> &shortcut);

    // "Capture Frontmost Window" as the session allows it: where it cannot
    // tell which window is in front, off, with a tooltip saying why (its
    // menu then shows tooltips).
    static void setFrontmostWindowAvailability(QAction &action);

    // The key sequence of a global shortcut as a menu shows it: its
    // modifiers with the key's menu character. Empty when the shortcut is
    // off or its key has no menu character.
    static QKeySequence menuKeySequence(const std::optional<GlobalShortcut> &shortcut);

    void checkForUpdates();
    void quickNote();
    void captureRegion();
    void captureWindow();
    void captureDisplay();

Q_SIGNALS:
    void changed();

private:
    AppRuntime &m_runtime;
    UpdateService &m_updates;
};

} // namespace tessaline
