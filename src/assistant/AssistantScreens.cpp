#include "assistant/AssistantScreens.h"

#include "assistant/AskSuggestionView.h"
#include "assistant/SystemIntelligenceService.h"
#include "runtime/LibraryQuery.h"
#include "runtime/ScreenRegistry.h"

namespace tessaline::assistant {

void registerScreens(ScreenRegistry &registry)
{
    registry.registerSheet(SheetKind::askSuggestion,
                           [](ScreenContext &window, const SheetRequest &request, QWidget *parent) -> QDialog * {
                               if (!request.ask)
                                   return nullptr;
                               // Each sheet asks through a service of its own.
                               return new AskSuggestionView(window.library().context(), request.ask->boardID,
                                                            request.ask->sourceCardIDs,
                                                            std::make_unique<SystemIntelligenceService>(), parent);
                           });
}

} // namespace tessaline::assistant
