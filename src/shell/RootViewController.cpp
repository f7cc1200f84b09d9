#include "shell/RootViewController.h"

#include "runtime/AppRuntime.h"
#include "shell/ErrorAlertController.h"
#include "runtime/GuidedTourTarget.h"
#include "runtime/LibraryQuery.h"
#include "runtime/NoteListVisibility.h"
#include "shell/MainToolbarController.h"
#include "shell/SidebarModel.h"
#include "runtime/TrashActions.h"
#include "model/ModelContext.h"
#include "model/StoreUndoStack.h"
#include "model/TessalineStore.h"
#include "runtime/OnboardingCoordinator.h"

#include <QPointer>
#include <QTimer>

namespace tessaline {

RootViewController::RootViewController(AppRuntime &runtime, QObject *parent)
    : QObject(parent)
    , m_runtime(runtime)
    , m_library(std::make_unique<LibraryQuery>(runtime.modelContext()))
    , m_sidebar(std::make_unique<SidebarModel>(*m_library, runtime.onboarding()))
    , m_toolbar(std::make_unique<MainToolbarController>(runtime, *m_library))
    , m_alert(std::make_unique<ErrorAlertController>(runtime))
    , m_trash(std::make_unique<TrashActions>(*m_library, runtime.navigation(), runtime.desktopSearchIndex()))
    , m_undoStack(std::make_unique<StoreUndoStack>())
    , m_tourTarget(std::make_unique<GuidedTourTarget>(runtime.onboarding(), *m_library))
    , m_screens(runtime, *m_library, *m_trash)
    , m_clock([] { return QDateTime::currentDateTimeUtc(); })
{
    m_noteListVisibility = new NoteListVisibility([this] { return isNoteListVisible(); },
                                                  [this](bool visible) { setNoteListVisible(visible); }, this);
    connect(this, &RootViewController::noteListVisibleChanged, m_noteListVisibility,
            &NoteListVisibility::visibleChanged);
    m_screens.setNoteListVisibility(m_noteListVisibility);

    NavigationState &navigation = m_runtime.navigation();
    OnboardingCoordinator *onboarding = m_runtime.onboarding();
    m_lastTourStep = onboarding ? onboarding->tourStep() : std::nullopt;

    m_screens.setUndoStack(m_undoStack.get());
    m_screens.setGuidedTour(m_tourTarget.get());
    // An undo or redo that could not be stored was taken back; the window's
    // alert says why.
    connect(m_undoStack.get(), &StoreUndoStack::failed, this,
            [this](const QString &message) { m_runtime.setErrorMessage(message); });
    connect(m_trash.get(), &TrashActions::failed, this,
            [this](const QString &message) { m_runtime.setErrorMessage(message); });

    connect(&navigation, &NavigationState::destinationChanged, this, &RootViewController::destinationDidChange);
    connect(m_library.get(), &LibraryQuery::changed, this, [this] {
        updateDetailScreen();
        Q_EMIT coachmarkChanged();
    });

    // Everything a sheet or the coachmark waits on.
    const auto sheetInputChanged = [this] {
        updateSheet();
        Q_EMIT coachmarkChanged();
    };
    connect(&navigation, &NavigationState::quickThoughtPresentedChanged, this, sheetInputChanged);
    connect(&navigation, &NavigationState::focusedCardIDChanged, this, sheetInputChanged);
    connect(&navigation, &NavigationState::galleryCardIDChanged, this, sheetInputChanged);
    connect(&navigation, &NavigationState::captureReviewCardIDChanged, this, sheetInputChanged);
    connect(&navigation, &NavigationState::frameComposerCardIDChanged, this, sheetInputChanged);
    connect(&navigation, &NavigationState::askSuggestionChanged, this, sheetInputChanged);
    connect(&m_runtime, &AppRuntime::uiReadyChanged, this, sheetInputChanged);
    connect(&m_runtime, &AppRuntime::errorMessageChanged, this, sheetInputChanged);
    if (onboarding) {
        connect(onboarding, &OnboardingCoordinator::isOnboardingPresentedChanged, this, sheetInputChanged);
        connect(onboarding, &OnboardingCoordinator::tourStepChanged, this, &RootViewController::tourStepDidChange);
    }

    m_detailScreen = DetailScreen::forDestination(navigation.destination(), m_library->boards());
    m_sheet = [this]() -> std::optional<SheetRequest> {
        for (SheetKind kind : {SheetKind::quickThought, SheetKind::focusEditor, SheetKind::gallery,
                               SheetKind::captureReview, SheetKind::frameComposer, SheetKind::askSuggestion,
                               SheetKind::newBoard, SheetKind::onboarding}) {
            if (auto request = wantedSheet(kind))
                return request;
        }
        return std::nullopt;
    }();
    if (m_detailScreen.kind() == DetailScreen::Kind::preparingQuickCaptures)
        prepareQuickCaptures();
}

RootViewController::~RootViewController() = default;

void RootViewController::setClock(std::function<QDateTime()> clock)
{
    m_clock = clock;
    m_toolbar->setClock(clock);
    m_trash->setClock(clock);
}

void RootViewController::setColumns(bool sidebarVisible)
{
    if (m_sidebarVisible == sidebarVisible)
        return;
    const bool noteListWasVisible = isNoteListVisible();
    m_sidebarVisible = sidebarVisible;
    Q_EMIT sidebarVisibleChanged();
    if (noteListWasVisible != isNoteListVisible())
        Q_EMIT noteListVisibleChanged();
}

void RootViewController::setSidebarVisible(bool visible)
{
    setColumns(visible);
}

void RootViewController::setNoteListVisible(bool visible)
{
    const bool wasVisible = isNoteListVisible();
    m_showsNoteList = visible;
    if (visible)
        setColumns(false);
    if (wasVisible != isNoteListVisible())
        Q_EMIT noteListVisibleChanged();
}

void RootViewController::destinationDidChange()
{
    m_runtime.navigation().clearSelection();
    updateDetailScreen();
}

void RootViewController::updateDetailScreen()
{
    const DetailScreen screen = DetailScreen::forDestination(m_runtime.navigation().destination(), m_library->boards());
    if (screen == m_detailScreen)
        return;
    m_detailScreen = screen;
    if (screen.kind() == DetailScreen::Kind::preparingQuickCaptures)
        prepareQuickCaptures();
    Q_EMIT detailScreenChanged();
}

void RootViewController::prepareQuickCaptures()
{
    // One attempt each time the waiting pane comes up; an attempt whose pane
    // has gone again before it runs is dropped.
    const int generation = ++m_preparationGeneration;
    QTimer::singleShot(0, this, [this, generation] {
        if (generation != m_preparationGeneration
            || m_detailScreen.kind() != DetailScreen::Kind::preparingQuickCaptures)
            return;
        const auto note = TessalineStore::quickCapturesNote(m_library->context(), m_clock());
        Q_EMIT quickCapturesPreparationFinished(note.hasValue());
    });
}

bool RootViewController::isNavigationSheetUp() const
{
    const NavigationState &navigation = m_runtime.navigation();
    return navigation.isQuickThoughtPresented() || navigation.focusedCardID() || navigation.galleryCardID()
        || navigation.captureReviewCardID() || navigation.frameComposerCardID() || navigation.askSuggestion()
        || m_showingNewBoard;
}

std::optional<SheetRequest> RootViewController::wantedSheet(SheetKind kind) const
{
    const NavigationState &navigation = m_runtime.navigation();
    auto forCard = [kind](const std::optional<QUuid> &id) -> std::optional<SheetRequest> {
        if (!id)
            return std::nullopt;
        return SheetRequest{kind, id, std::nullopt, std::nullopt};
    };
    switch (kind) {
    case SheetKind::onboarding: {
        const OnboardingCoordinator *onboarding = m_runtime.onboarding();
        if (onboarding && onboarding->isOnboardingPresented() && m_runtime.isUIReady() && !m_runtime.errorMessage()
            && !isNavigationSheetUp())
            return SheetRequest{kind, std::nullopt, std::nullopt, std::nullopt};
        return std::nullopt;
    }
    case SheetKind::quickThought:
        if (navigation.isQuickThoughtPresented())
            return SheetRequest{kind, std::nullopt, navigation.activeBoardID(), std::nullopt};
        return std::nullopt;
    case SheetKind::focusEditor:
        return forCard(navigation.focusedCardID());
    case SheetKind::gallery:
        return forCard(navigation.galleryCardID());
    case SheetKind::captureReview:
        return forCard(navigation.captureReviewCardID());
    case SheetKind::frameComposer:
        return forCard(navigation.frameComposerCardID());
    case SheetKind::askSuggestion:
        if (const auto ask = navigation.askSuggestion())
            return SheetRequest{kind, std::nullopt, std::nullopt, ask};
        return std::nullopt;
    case SheetKind::newBoard:
        if (m_showingNewBoard)
            return SheetRequest{kind, std::nullopt, std::nullopt, std::nullopt};
        return std::nullopt;
    }
    return std::nullopt;
}

void RootViewController::updateSheet()
{
    std::optional<SheetRequest> next;
    if (m_sheet) {
        const auto current = wantedSheet(m_sheet->kind);
        if (current && current->isSameSheet(*m_sheet))
            return;
    }
    for (SheetKind kind : {SheetKind::quickThought, SheetKind::focusEditor, SheetKind::gallery,
                           SheetKind::captureReview, SheetKind::frameComposer, SheetKind::askSuggestion,
                           SheetKind::newBoard, SheetKind::onboarding}) {
        if ((next = wantedSheet(kind)))
            break;
    }
    if (!next && !m_sheet)
        return;
    m_sheet = next;
    Q_EMIT presentedSheetChanged();
}

void RootViewController::sheetDismissed(SheetKind kind)
{
    NavigationState &navigation = m_runtime.navigation();
    switch (kind) {
    case SheetKind::onboarding:
        break;
    case SheetKind::quickThought:
        navigation.setQuickThoughtPresented(false);
        break;
    case SheetKind::focusEditor:
        navigation.setFocusedCardID(std::nullopt);
        break;
    case SheetKind::gallery:
        navigation.setGalleryCardID(std::nullopt);
        break;
    case SheetKind::captureReview:
        navigation.setCaptureReviewCardID(std::nullopt);
        break;
    case SheetKind::frameComposer:
        navigation.setFrameComposerCardID(std::nullopt);
        break;
    case SheetKind::askSuggestion:
        navigation.setAskSuggestion(std::nullopt);
        break;
    case SheetKind::newBoard:
        setShowingNewBoard(false);
        break;
    }
}

void RootViewController::setShowingNewBoard(bool showing)
{
    if (m_showingNewBoard == showing)
        return;
    m_showingNewBoard = showing;
    updateSheet();
    Q_EMIT coachmarkChanged();
}

std::optional<GuidedTourStep> RootViewController::tourStep() const
{
    const OnboardingCoordinator *onboarding = m_runtime.onboarding();
    return onboarding ? onboarding->tourStep() : std::nullopt;
}

bool RootViewController::isCoachmarkVisible() const
{
    const OnboardingCoordinator *onboarding = m_runtime.onboarding();
    return onboarding && onboarding->tourStep() && !onboarding->isOnboardingPresented() && m_runtime.isUIReady()
        && !m_runtime.errorMessage() && !isNavigationSheetUp();
}

std::optional<QUuid> RootViewController::tourPreviewCardID() const
{
    return GuidedTourTarget::previewCardID(m_library->cards(), m_library->boards());
}

void RootViewController::tourStepDidChange()
{
    // The coordinator announces every assignment; the window reacts to
    // real changes only.
    const std::optional<GuidedTourStep> step = tourStep();
    Q_EMIT coachmarkChanged();
    if (step == m_lastTourStep)
        return;
    m_lastTourStep = step;
    runTourStep(step);
}

void RootViewController::runTourStep(std::optional<GuidedTourStep> step)
{
    NavigationState &navigation = m_runtime.navigation();
    if (!step) {
        setColumns(false);
        return;
    }
    switch (*step) {
    case GuidedTourStep::capture:
        setColumns(false);
        break;
    case GuidedTourStep::today:
        navigation.setDestination(SidebarDestination::notes());
        setColumns(true);
        break;
    case GuidedTourStep::boards:
        navigation.setDestination(SidebarDestination::inbox());
        setColumns(true);
        break;
    case GuidedTourStep::snipPreview: {
        setColumns(false);
        const std::optional<QUuid> target = tourPreviewCardID();
        if (!target)
            break;
        const CanvasCard *card = m_library->firstCard(*target);
        if (!card)
            break;
        const QUuid boardID = card->boardID();
        // The destination is written first, so the selection it clears is
        // the old one and the step's own selection stands.
        // The newest snip is often in Quick Captures, which "Notes" does
        // not list: the step would point at a snip on an empty page.
        navigation.setDestination(SidebarDestination::listing(m_library->firstBoard(boardID)));
        navigation.setActiveBoardID(boardID);
        navigation.setSelectedCardIDs({*target});
        break;
    }
    }
}

} // namespace tessaline
