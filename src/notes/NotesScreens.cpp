#include "notes/NotesScreens.h"

#include "notes/BoardCanvasView.h"
#include "notes/FocusEditorView.h"
#include "notes/NewBoardView.h"
#include "notes/NotesWorkspaceModel.h"
#include "notes/NotesWorkspaceView.h"
#include "notes/QuickThoughtView.h"
#include "runtime/AppRuntime.h"
#include "runtime/LibraryQuery.h"
#include "runtime/ScreenRegistry.h"

namespace tessaline::notes {

namespace {

// What a note's workspace gets from the window: the map the canvas screen
// provides and the thinking assistant, when the window has them.
BoardCanvasServices canvasServices(ScreenContext &window)
{
    BoardCanvasServices services;
    services.makeMap = [context = &window](const QUuid &boardID, QWidget *parent) -> BoardMap * {
        const ScreenRegistry *registry = context->registry();
        return registry ? registry->makeBoardMap(*context, boardID, parent) : nullptr;
    };
    services.assistantAvailable = window.registry() && window.registry()->hasSheet(SheetKind::askSuggestion);
    services.guidedTour = window.guidedTour();
    return services;
}

} // namespace

void registerScreens(ScreenRegistry &registry)
{
    registry.registerDetail(DetailScreen::Kind::notesWorkspace,
                            [](ScreenContext &window, const DetailScreen &screen, QWidget *parent) -> QWidget * {
                                AppRuntime &runtime = window.runtime();
                                auto *view = new NotesWorkspaceView(window.library(), runtime.navigation(),
                                                                    screen.filter(), window.noteListVisibility(),
                                                                    canvasServices(window), parent);
                                view->model().setErrorReporter(
                                    [&runtime](const QString &message) { runtime.setErrorMessage(message); });
                                return view;
                            });
    registry.registerDetail(DetailScreen::Kind::boardCanvas,
                            [](ScreenContext &window, const DetailScreen &screen, QWidget *parent) -> QWidget * {
                                return new BoardCanvasView(window.library(), window.runtime().navigation(),
                                                           screen.boardID(), nullptr, canvasServices(window), parent);
                            });
    registry.registerSheet(SheetKind::quickThought,
                           [](ScreenContext &window, const SheetRequest &request, QWidget *parent) -> QDialog * {
                               return new QuickThoughtView(window.library(), window.runtime().navigation(),
                                                           request.preselectedBoardID, parent);
                           });
    registry.registerSheet(SheetKind::focusEditor,
                           [](ScreenContext &window, const SheetRequest &request, QWidget *parent) -> QDialog * {
                               if (!request.cardID)
                                   return nullptr;
                               return new FocusEditorView(window.library(), window.runtime().navigation(),
                                                          *request.cardID, parent);
                           });
    registry.registerSheet(SheetKind::newBoard,
                           [](ScreenContext &window, const SheetRequest &, QWidget *parent) -> QDialog * {
                               return new NewBoardView(window.library().context(), window.runtime().navigation(),
                                                       parent);
                           });
}

} // namespace tessaline::notes
