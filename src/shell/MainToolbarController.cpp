#include "shell/MainToolbarController.h"

#include "runtime/AppRuntime.h"
#include "runtime/LibraryQuery.h"
#include "model/ModelContext.h"
#include "model/ThinkingSessionService.h"
#include "runtime/OnboardingCoordinator.h"

namespace tessaline {

MainToolbarController::MainToolbarController(AppRuntime &runtime, LibraryQuery &library, QObject *parent)
    : QObject(parent)
    , m_runtime(runtime)
    , m_library(library)
    , m_clock([] { return QDateTime::currentDateTimeUtc(); })
{
    NavigationState &navigation = m_runtime.navigation();
    connect(&m_library, &LibraryQuery::changed, this, &MainToolbarController::changed);
    connect(&navigation, &NavigationState::activeBoardIDChanged, this, &MainToolbarController::changed);
    connect(&navigation, &NavigationState::selectedCardIDsChanged, this, &MainToolbarController::changed);
    connect(&m_runtime, &AppRuntime::shortcutConfigurationChanged, this, &MainToolbarController::changed);
    connect(&m_runtime, &AppRuntime::captureBehaviorPreferencesChanged, this, &MainToolbarController::changed);
    if (OnboardingCoordinator *onboarding = m_runtime.onboarding())
        connect(onboarding, &OnboardingCoordinator::tourStepChanged, this, &MainToolbarController::changed);
}

Board *MainToolbarController::activeNote() const
{
    const std::optional<QUuid> active = m_runtime.navigation().activeBoardID();
    if (!active)
        return nullptr;
    for (Board *board : m_library.boards()) {
        if (board->id() == *active && board->isLive())
            return board;
    }
    return nullptr;
}

QString MainToolbarController::captureHelpText() const
{
    QString text = QStringLiteral("Capture Region into ");
    const Board *note = activeNote();
    text += note ? note->title() : QStringLiteral("Quick Captures");
    const std::optional<GlobalShortcut> shortcut = m_runtime.shortcutConfiguration().capture;
    if (shortcut)
        text += QStringLiteral(" (") + shortcut->displayText() + QLatin1Char(')');
    else
        text += QStringLiteral(" (shortcut disabled)");
    return text;
}

QList<CaptureDestinationItem> MainToolbarController::captureDestinationItems() const
{
    const std::optional<QUuid> active = m_runtime.navigation().activeBoardID();
    QList<CaptureDestinationItem> items;
    if (const Board *inbox = m_library.quickCapturesNote()) {
        const bool checked = active == inbox->id();
        items.append({CaptureDestinationItem::Type::note, QStringLiteral("Quick Captures"),
                      checked ? QStringLiteral("checkmark") : QStringLiteral("tray"), inbox->id(), checked});
    }
    bool dividerAdded = false;
    for (const Board *board : m_library.boards()) {
        if (board->isInbox() || !board->isLive())
            continue;
        if (!dividerAdded) {
            items.append({CaptureDestinationItem::Type::divider, {}, {}, {}, false});
            dividerAdded = true;
        }
        const bool checked = active == board->id();
        items.append({CaptureDestinationItem::Type::note, board->title(),
                      checked ? QStringLiteral("checkmark") : QStringLiteral("rectangle"), board->id(), checked});
    }
    return items;
}

bool MainToolbarController::opensRegionCapturesForAnnotation() const
{
    return m_runtime.captureBehaviorPreferences().automaticallyOpensRegionCaptureReview;
}

bool MainToolbarController::showsInspectorButton() const
{
    return !m_runtime.navigation().selectedCardIDs().isEmpty();
}

bool MainToolbarController::isCaptureHighlighted() const
{
    const OnboardingCoordinator *onboarding = m_runtime.onboarding();
    return onboarding && onboarding->tourStep() == GuidedTourStep::capture;
}

void MainToolbarController::newNote()
{
    const auto note = ThinkingSessionService(m_library.context())
                          .createNote(QStringLiteral("Untitled Note"), std::nullopt, m_clock());
    if (!note) {
        m_runtime.setErrorMessage(note.error().message);
        return;
    }
    NavigationState &navigation = m_runtime.navigation();
    const QUuid noteID = (*note)->id();
    const QList<BoardWritingBlock> blocks = (*note)->writingDocument().blocks;
    navigation.setDestination(SidebarDestination::notes());
    navigation.setActiveBoardID(noteID);
    navigation.setActiveWritingAnchorID(blocks.isEmpty() ? std::nullopt : std::optional<QUuid>(blocks.first().id));
}

void MainToolbarController::captureRegion() { m_runtime.captureRegion(); }
void MainToolbarController::captureWindow() { m_runtime.captureWindow(); }
void MainToolbarController::captureDisplay() { m_runtime.captureDisplay(); }

void MainToolbarController::setOpensRegionCapturesForAnnotation(bool opens)
{
    m_runtime.setAutomaticallyOpensRegionCaptureReview(opens);
}

void MainToolbarController::chooseCaptureDestination(const QUuid &boardID)
{
    m_runtime.navigation().setActiveBoardID(boardID);
}

void MainToolbarController::showSearch()
{
    m_runtime.navigation().setDestination(SidebarDestination::search());
}

void MainToolbarController::toggleInspector()
{
    NavigationState &navigation = m_runtime.navigation();
    navigation.setInspectorPresented(!navigation.isInspectorPresented());
}

} // namespace tessaline
