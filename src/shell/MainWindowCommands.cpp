#include "shell/MainWindowCommands.h"

#include "runtime/AppRuntime.h"
#include "capture/GlobalShortcutKeyCatalog.h"
#include "runtime/UpdateService.h"
#include "platform/PlatformTexts.h"
#include "platform/WindowSystem.h"

#include <QAction>
#include <QMenu>

namespace tessaline {

MainWindowCommands::MainWindowCommands(AppRuntime &runtime, UpdateService &updates, QObject *parent)
    : QObject(parent)
    , m_runtime(runtime)
    , m_updates(updates)
{
    connect(&m_runtime, &AppRuntime::shortcutConfigurationChanged, this, &MainWindowCommands::changed);
    connect(&m_updates, &UpdateService::canCheckForUpdatesChanged, this, &MainWindowCommands::changed);
}

bool MainWindowCommands::canCheckForUpdates() const
{
    return m_updates.canCheckForUpdates();
}

QKeySequence MainWindowCommands::quickNoteShortcut() const
{
    return menuKeySequence(m_runtime.shortcutConfiguration().quickThought);
}

QKeySequence MainWindowCommands::captureRegionShortcut() const
{
    return menuKeySequence(m_runtime.shortcutConfiguration().capture);
}

QString MainWindowCommands::quickNoteText() const
{
    return menuText(tr("Quick Note"), m_runtime.shortcutConfiguration().quickThought);
}

QString MainWindowCommands::captureRegionText() const
{
    return menuText(tr("Capture Region"), m_runtime.shortcutConfiguration().capture);
}

QString MainWindowCommands::menuText(const QString &title, const std::optional<GlobalShortcut> &shortcut)
{
    // Shown only where the key has a menu character, as the item's key
    // sequence would be: a shortcut on a function key, an arrow or the
    // keypad shows none.
    if (menuKeySequence(shortcut).isEmpty())
        return title;
    return title + u'\t' + shortcut->displayText();
}

QKeySequence MainWindowCommands::menuKeySequence(const std::optional<GlobalShortcut> &shortcut)
{
    if (!shortcut)
        return {};
    const auto descriptor = GlobalShortcutKeyCatalog::descriptor(shortcut->keyCode);
    if (!descriptor || !descriptor->keyEquivalent || descriptor->keyEquivalent->isEmpty())
        return {};
    const QString equivalent = *descriptor->keyEquivalent;
    int key = 0;
    if (equivalent == u"\r")
        key = Qt::Key_Return;
    else if (equivalent == u"\t")
        key = Qt::Key_Tab;
    else if (equivalent == u" ")
        key = Qt::Key_Space;
    else if (equivalent.size() == 1)
        key = equivalent.toUpper().at(0).unicode(); // Qt's key codes of printable keys are their characters
    else
        return {};
    const GlobalShortcutModifiers modifiers = shortcut->modifiers;
    int mask = 0;
    if (modifiers.contains(GlobalShortcutModifiers::command()))
        mask |= Qt::ControlModifier;
    if (modifiers.contains(GlobalShortcutModifiers::option()))
        mask |= Qt::AltModifier;
    if (modifiers.contains(GlobalShortcutModifiers::control()))
        mask |= Qt::MetaModifier;
    if (modifiers.contains(GlobalShortcutModifiers::shift()))
        mask |= Qt::ShiftModifier;
    return QKeySequence(key | mask);
}

void MainWindowCommands::checkForUpdates()
{
    m_updates.checkForUpdates();
}

void MainWindowCommands::quickNote()
{
    m_runtime.requestQuickThought();
}

void MainWindowCommands::captureRegion() { m_runtime.captureRegion(); }
void MainWindowCommands::captureWindow() { m_runtime.captureWindow(); }
void MainWindowCommands::captureDisplay() { m_runtime.captureDisplay(); }

void MainWindowCommands::setFrontmostWindowAvailability(QAction &action)
{
    if (WindowSystem::knowsFrontmostWindow())
        return;
    action.setEnabled(false);
    action.setToolTip(PlatformTexts::frontmostWindowUnavailable());
    if (auto *menu = qobject_cast<QMenu *>(action.parent()))
        menu->setToolTipsVisible(true);
}

} // namespace tessaline
