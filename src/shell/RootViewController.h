#pragma once

#include "runtime/DetailScreen.h"
#include "runtime/ScreenContext.h"
#include "runtime/SheetRequest.h"
#include "runtime/OnboardingState.h"

#include <QDateTime>
#include <QObject>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

namespace tessaline {

class AppRuntime;
class Board;
class CanvasCard;
class ErrorAlertController;
class GuidedTourTarget;
class LibraryQuery;
class MainToolbarController;
class NoteListVisibility;
class SidebarModel;
class StoreUndoStack;
class TrashActions;

// Everything the main window decides, apart from drawing: which screen the
// detail pane shows, whether the sidebar and the notes screen's note list
// are out, which sheet is up, where the guided tour points and when its
// coachmark shows. Any part of the app opens a sheet by setting one
// navigation property; this object follows those properties.
//
// It owns the window's live queries and the controllers of its parts.
class RootViewController : public QObject
{
    Q_OBJECT
public:
    explicit RootViewController(AppRuntime &runtime, QObject *parent = nullptr);
    ~RootViewController() override;

    AppRuntime &runtime() const { return m_runtime; }
    LibraryQuery &library() const { return *m_library; }
    SidebarModel &sidebar() const { return *m_sidebar; }
    MainToolbarController &toolbar() const { return *m_toolbar; }
    ErrorAlertController &alert() const { return *m_alert; }
    TrashActions &trashActions() const { return *m_trash; }
    // What the window hands to the screens it makes.
    ScreenContext &screens() { return m_screens; }
    // The window's history of undoable library edits, behind Edit › Undo.
    StoreUndoStack &undoStack() const { return *m_undoStack; }

    // The window starts with the sidebar hidden (the detail column alone).
    bool isSidebarVisible() const { return m_sidebarVisible; }
    void setSidebarVisible(bool visible);
    bool showsNoteList() const { return m_showsNoteList; }
    // What the notes screen reads: its list counts as shown only while the
    // sidebar is hidden. Turning the list on hides the sidebar.
    bool isNoteListVisible() const { return m_showsNoteList && !m_sidebarVisible; }
    void setNoteListVisible(bool visible);

    DetailScreen detailScreen() const { return m_detailScreen; }

    // The sheet that should be on screen now. A sheet that is up stays up
    // while it is still asked for; otherwise the first one asked for, in the
    // order quick note, focus editor, gallery, capture review, frame
    // composer, thinking assistant; the first-run setup only when none of
    // them is.
    std::optional<SheetRequest> presentedSheet() const { return m_sheet; }
    // The sheet went away: its property is set back. The first-run setup
    // ignores this and stays while its conditions hold.
    void sheetDismissed(SheetKind kind);
    // The window's own flag for the new note sheet (a note from a name and a
    // focus question); nothing in the app raises it yet.
    bool isShowingNewBoard() const { return m_showingNewBoard; }
    void setShowingNewBoard(bool showing);

    bool isCoachmarkVisible() const;
    std::optional<GuidedTourStep> tourStep() const;
    std::optional<QUuid> tourPreviewCardID() const;

    void setClock(std::function<QDateTime()> clock);

Q_SIGNALS:
    void sidebarVisibleChanged();
    void noteListVisibleChanged();
    void detailScreenChanged();
    void presentedSheetChanged();
    // Anything the coachmark layer depends on may have changed.
    void coachmarkChanged();
    // A start of the Quick Captures note ran (successfully or not).
    void quickCapturesPreparationFinished(bool succeeded);

private:
    bool isNavigationSheetUp() const;
    std::optional<SheetRequest> wantedSheet(SheetKind kind) const;
    void updateSheet();
    void updateDetailScreen();
    void destinationDidChange();
    void tourStepDidChange();
    void runTourStep(std::optional<GuidedTourStep> step);
    void prepareQuickCaptures();
    void setColumns(bool sidebarVisible);

    AppRuntime &m_runtime;
    std::unique_ptr<LibraryQuery> m_library;
    std::unique_ptr<SidebarModel> m_sidebar;
    std::unique_ptr<MainToolbarController> m_toolbar;
    std::unique_ptr<ErrorAlertController> m_alert;
    std::unique_ptr<TrashActions> m_trash;
    std::unique_ptr<StoreUndoStack> m_undoStack;
    std::unique_ptr<GuidedTourTarget> m_tourTarget;
    ScreenContext m_screens;

    NoteListVisibility *m_noteListVisibility = nullptr;
    bool m_showingNewBoard = false;
    bool m_sidebarVisible = false;
    bool m_showsNoteList = true;
    DetailScreen m_detailScreen = DetailScreen::notesWorkspace(NoteListFilter::all());
    std::optional<SheetRequest> m_sheet;
    std::optional<GuidedTourStep> m_lastTourStep;
    int m_preparationGeneration = 0;
    std::function<QDateTime()> m_clock;
};

} // namespace tessaline
