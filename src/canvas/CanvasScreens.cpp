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
#include "runtime/SnipPictureReading.h"

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
        services.annotatedImage = [&library](const QUuid &cardID, QObject *receiver, SnipPictureUse use) {
            if (const CanvasCard *card = library.firstCard(cardID))
                exportSnipPicture(receiver, *card, std::move(use));
        };
        services.copyImage = [&library](const QUuid &cardID, QObject *receiver) {
            if (const CanvasCard *card = library.firstCard(cardID))
                copySnipPicture(receiver, *card, ClipboardPasteboard::general());
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
