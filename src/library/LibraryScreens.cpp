#include "library/LibraryScreens.h"

#include "library/SearchCorpus.h"
#include "library/SearchView.h"
#include "library/SnipGalleryView.h"
#include "library/SnipsLibraryView.h"
#include "library/TrashView.h"
#include "platform/AccessibilitySettings.h"
#include "platform/BackgroundPool.h"
#include "platform/MemoryRelease.h"
#include "platform/Pasteboard.h"
#include "runtime/AppRuntime.h"
#include "runtime/PinWindowController.h"
#include "runtime/ScreenRegistry.h"
#include "runtime/TrashActions.h"

#include <QThreadPool>

namespace tessaline::library {

void registerScreens(ScreenRegistry &registry)
{
    registry.registerDetail(DetailScreen::Kind::snipsLibrary,
                            [](ScreenContext &window, const DetailScreen &, QWidget *parent) -> QWidget * {
                                AppRuntime &runtime = window.runtime();
                                SnipsLibraryServices services;
                                services.captureRegion = [&runtime] { runtime.captureRegion(); };
                                services.pasteboard = &ClipboardPasteboard::general();
                                services.saveImage = &ImageExportService::savePNG;
                                services.pinCard = [](const CanvasCard &card) { PinWindowController::shared().pinCard(card); };
                                return new SnipsLibraryView(window.library(), runtime.navigation(), std::move(services),
                                                            parent);
                            });
    registry.registerSheet(SheetKind::gallery,
                           [](ScreenContext &window, const SheetRequest &request, QWidget *parent) -> QDialog * {
                               if (!request.cardID)
                                   return nullptr;
                               SnipGalleryServices services;
                               services.pasteboard = &ClipboardPasteboard::general();
                               services.reducesMotion = [] { return AccessibilitySettings::shared().reducesMotion(); };
                               return new SnipGalleryView(window.library(), window.runtime().navigation(),
                                                          *request.cardID, services, parent);
                           });
    registry.registerDetail(DetailScreen::Kind::search,
                            [](ScreenContext &window, const DetailScreen &, QWidget *parent) -> QWidget * {
                                TrashActions &actions = window.trashActions();
                                auto *search = new SearchView(window.library(), window.runtime().navigation(),
                                                              [&actions](const QUuid &boardID, const QUuid &cardID) {
                                                                  actions.openSearchResult(boardID, cardID);
                                                              },
                                                              parent);
                                search->setGuidedTour(window.guidedTour());
                                return search;
                            });
    // The window's search corpus folds the library in the background from
    // the start, so that neither opening Search nor its first key waits.
    registry.registerPreparation([](ScreenContext &window) {
        SearchCorpus &corpus = SearchCorpus::of(window.library());
        // Folding a whole library leaves the heap full of the texts it
        // joined and decomposed on the way; they go back to the system once.
        QObject::connect(&corpus, &SearchCorpus::prepared, &corpus,
                         [] { backgroundPool().start(&releaseFreedMemory); },
                         Qt::SingleShotConnection);
    });
    registry.registerDetail(DetailScreen::Kind::trash,
                            [](ScreenContext &window, const DetailScreen &, QWidget *parent) -> QWidget * {
                                auto *trash = new TrashView(window.library(),
                                                            TrashModel::windowActions(window.trashActions()), parent);
                                trash->setGuidedTour(window.guidedTour());
                                return trash;
                            });
}

} // namespace tessaline::library
