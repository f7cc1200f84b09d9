#include "canvas/CanvasScreens.h"

#include "canvas/BoardMapView.h"
#include "canvas/CardInspectorModel.h"
#include "canvas/CardInspectorView.h"
#include "platform/Pasteboard.h"
#include "runtime/AppRuntime.h"
#include "runtime/ImageExportService.h"
#include "runtime/LibraryQuery.h"
#include "runtime/PinWindowController.h"
#include "runtime/ScreenRegistry.h"

namespace tessaline::canvas {

void registerScreens(ScreenRegistry &registry)
{
    registry.registerInspector([](ScreenContext &window, QWidget *parent) -> QWidget * {
        AppRuntime &runtime = window.runtime();
        auto *inspector = new CardInspectorView(window.library(), runtime.navigation(), parent);
        inspector->model().setErrorReporter([&runtime](const QString &message) { runtime.setErrorMessage(message); });
        return inspector;
    });
    registry.registerBoardMap([](ScreenContext &window, const QUuid &boardID, QWidget *parent) -> BoardMap * {
        AppRuntime &runtime = window.runtime();
        LibraryQuery &library = window.library();
        BoardMapServices services;
        services.captureRegion = [&runtime] { runtime.captureRegion(); };
        services.annotatedImage = [&runtime, &library](const QUuid &cardID) {
            return runtime.annotatedImage(library.firstCard(cardID));
        };
        services.copyImage = [](const QImage &image) {
            ImageExportService::copyToPasteboard(image, ClipboardPasteboard::general());
        };
        services.saveImage = &ImageExportService::savePNG;
        services.pinImage = [](const QImage &image, const QUuid &cardID) {
            PinWindowController::shared().pin(image, cardID);
        };
        auto *map = new BoardMapView(library.context(), runtime.navigation(), boardID, window.undoStack(),
                                     std::move(services), parent);
        map->setAssistantAvailable(window.registry() && window.registry()->hasSheet(SheetKind::askSuggestion));
        map->setGuidedTour(window.guidedTour());
        return map;
    });
}

} // namespace tessaline::canvas
