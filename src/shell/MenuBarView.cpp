#include "shell/MenuBarView.h"

#include "runtime/AppRuntime.h"
#include "shell/MainWindowCommands.h"
#include "model/ModelContext.h"
#include "runtime/UpdateService.h"
#include "platform/SymbolIcon.h"
#include "platform/TextUtilities.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include <algorithm>

namespace tessaline {
MenuBarView::MenuBarView(AppRuntime &runtime, UpdateService &updates, QObject *parent)
    : QObject(parent)
    , m_runtime(runtime)
    , m_updates(updates)
{
}

MenuBarView::~MenuBarView()
{
    delete m_menu;
}

void MenuBarView::populate(QMenu *menu)
{
    // clear() takes a submenu's entry but not the submenu itself: made anew
    // at every opening, each old "Capture into Note" would stay, with an
    // entry per note, for as long as the tray does.
    const QList<QMenu *> submenus = menu->findChildren<QMenu *>(Qt::FindDirectChildrenOnly);
    menu->clear();
    qDeleteAll(submenus);
    const GlobalShortcutConfiguration shortcuts = m_runtime.shortcutConfiguration();
    const CaptureBehaviorPreferences preferences = m_runtime.captureBehaviorPreferences();

    auto add = [&](const QString &title, const QString &symbol, auto action) {
        QAction *entry = menu->addAction(title);
        if (!symbol.isEmpty())
            entry->setIcon(SymbolIcon::icon(symbol));
        connect(entry, &QAction::triggered, this, action);
        return entry;
    };
    add(MainWindowCommands::menuText(tr("Capture Region"), shortcuts.capture), QStringLiteral("viewfinder"),
        [this] { m_runtime.captureRegion(); });
    MainWindowCommands::setFrontmostWindowAvailability(
        *add(tr("Capture Frontmost Window"), QStringLiteral("macwindow"), [this] { m_runtime.captureWindow(); }));
    add(tr("Capture Display Under Pointer"), QStringLiteral("display"), [this] { m_runtime.captureDisplay(); });

    QAction *review = menu->addAction(tr("Open Region Captures for Annotation"));
    review->setCheckable(true);
    review->setChecked(preferences.automaticallyOpensRegionCaptureReview);
    connect(review, &QAction::toggled, this, [this](bool on) { m_runtime.setAutomaticallyOpensRegionCaptureReview(on); });
    QAction *copy = menu->addAction(tr("Copy Captures to Clipboard"));
    copy->setCheckable(true);
    copy->setChecked(preferences.automaticallyCopiesCaptures);
    connect(copy, &QAction::toggled, this, [this](bool on) { m_runtime.setAutomaticallyCopiesCaptures(on); });

    add(MainWindowCommands::menuText(tr("Quick Note"), shortcuts.quickThought), QStringLiteral("square.and.pencil"),
        [this] { m_runtime.requestQuickThought(); });
    menu->addSeparator();

    QMenu *notes = menu->addMenu(tr("Capture into Note"));
    const auto fetched = m_runtime.modelContext().fetchBoards();
    if (fetched) {
        QList<Board *> boards = *fetched;
        std::stable_sort(boards.begin(), boards.end(),
                         [](const Board *a, const Board *b) { return a->lastOpenedAt() > b->lastOpenedAt(); });
        const std::optional<QUuid> active = m_runtime.navigation().activeBoardID();
        for (const Board *board : std::as_const(boards)) {
            if (!board->isLive())
                continue;
            QAction *entry = notes->addAction(menuEscapedText(board->title()));
            if (active == board->id())
                entry->setIcon(SymbolIcon::icon(QStringLiteral("checkmark")));
            const QUuid id = board->id();
            connect(entry, &QAction::triggered, this, [this, id] { m_runtime.navigation().setActiveBoardID(id); });
        }
    }

    add(tr("Open Tessaline"), QString(), [this] { m_runtime.bringMainWindowToFront(); });
    add(tr("Settings & Shortcuts\u2026").replace(u'&', QStringLiteral("&&")), QStringLiteral("gearshape"),
        [this] { Q_EMIT settingsRequested(); });
    menu->addSeparator();
    QAction *updates = add(tr("Check for Updates\u2026"), QStringLiteral("arrow.triangle.2.circlepath"),
                           [this] { m_updates.checkForUpdates(); });
    updates->setEnabled(m_updates.canCheckForUpdates());
    menu->addSeparator();
    QAction *quit = add(tr("Quit Tessaline"), QString(), [this] { Q_EMIT quitRequested(); });
    quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
}

bool MenuBarView::installTrayIcon()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        // Panels often start after the programs of a login; waiting for one
        // costs a question to the desktop every few seconds until it comes.
        if (!m_trayCheck) {
            m_trayCheck = new QTimer(this);
            m_trayCheck->setInterval(trayCheckInterval);
            connect(m_trayCheck, &QTimer::timeout, this, [this] {
                if (QSystemTrayIcon::isSystemTrayAvailable())
                    installTrayIcon();
            });
        }
        m_trayCheck->start();
        return false;
    }
    if (m_trayCheck)
        m_trayCheck->stop();
    if (!m_menu) {
        m_menu = new QMenu;
        connect(m_menu, &QMenu::aboutToShow, this, [this] { populate(m_menu); });
        populate(m_menu);
    }
    if (!m_tray) {
        m_tray = new QSystemTrayIcon(SymbolIcon::icon(QStringLiteral("rectangle.on.rectangle.angled")), this);
        m_tray->setToolTip(QStringLiteral("Tessaline"));
        m_tray->setContextMenu(m_menu);
        connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger)
                m_runtime.bringMainWindowToFront();
        });
    }
    m_tray->show();
    return true;
}

} // namespace tessaline
