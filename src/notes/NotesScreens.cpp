#include "notes/NotesScreens.h"

#include "notes/FocusEditorView.h"
#include "notes/QuickThoughtView.h"
#include "runtime/AppRuntime.h"
#include "runtime/ScreenRegistry.h"

namespace tessaline::notes {

void registerScreens(ScreenRegistry &registry)
{
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
}

} // namespace tessaline::notes
