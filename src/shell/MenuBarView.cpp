#include "shell/MenuBarView.h"

#include "runtime/AppRuntime.h"
#include "runtime/NavigationState.h"
#include "shell/MainWindowCommands.h"
#include "model/Board.h"
#include "model/ModelContext.h"
#include "runtime/UpdateService.h"
#include "platform/SymbolIcon.h"
#include "platform/TextUtilities.h"
#include "platform/WindowSystem.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace tessaline {
MenuBarView::MenuBarView(AppRuntime &runtime, UpdateService &updates, QObject *parent)
    : QObject(parent)
    , m_runtime(runtime)
    , m_updates(updates)
{
    // A tray that shows its menu over D-Bus (KDE's; GNOME's through its
    // extension) draws what it last read of the menu, and only then lets
    // the app know it opens: rebuilt when opened, it would show the old
    // entries first. So the menu is rebuilt as what it shows changes, a
    // burst of changes at a time.
    m_refresh = new QTimer(this);
    m_refresh->setSingleShot(true);
    m_refresh->setInterval(refreshDelayMs);
    connect(m_refresh, &QTimer::timeout, this, [this] {
        if (m_menu && !m_menu->isVisible())
            populate(m_menu);
    });
    const auto refresh = [this] {
        if (m_menu)
            m_refresh->start();
    };
    connect(&m_runtime, &AppRuntime::shortcutConfigurationChanged, this, refresh);
    connect(&m_runtime, &AppRuntime::captureBehaviorPreferencesChanged, this, refresh);
    connect(&m_runtime.navigation(), &NavigationState::activeBoardIDChanged, this, refresh);
    connect(&m_updates, &UpdateService::canCheckForUpdatesChanged, this, refresh);
    ModelContext &context = m_runtime.modelContext();
    connect(&context, &ModelContext::entityWritten, this, [this](PersistentEntity *entity, int property) {
        // The note entries show titles, in the order notes were opened,
        // without those in the trash; the notes' writing is not shown.
        if (qobject_cast<Board *>(entity)
            && (property == Board::TitleProperty || property == Board::LastOpenedAtProperty
                || property == Board::DeletedAtProperty || property == Board::IdProperty))
            m_notesWritten = true;
    });
    connect(&context, &ModelContext::writesTakenBack, this, refresh);
    connect(&context, &ModelContext::didSave, this, [this, refresh] {
        if (!m_menu)
            return;
        // Notes added or purged announce no write: their count tells.
        const auto boards = m_runtime.modelContext().fetchBoards();
        const qsizetype count = boards ? boards->size() : -1;
        if (std::exchange(m_notesWritten, false) || count != m_boardsShown)
            refresh();
    });
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
    m_notesWritten = false;
    m_boardsShown = fetched ? fetched->size() : -1;
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
        // Panels often start after the programs of a login.
        if (!m_watchingTrays)
            m_watchingTrays = WindowSystem::watchTrays(this, [this] {
                if (!m_tray && QSystemTrayIcon::isSystemTrayAvailable())
                    installTrayIcon();
            });
        return false;
    }
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
