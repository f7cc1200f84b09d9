#include "imaging/ImagingScreens.h"

#include "imaging/CaptureReviewView.h"
#include "imaging/SnipFrameComposerView.h"
#include "runtime/ScreenRegistry.h"

namespace tessaline::imaging {

void registerScreens(ScreenRegistry &registry)
{
    registry.registerSheet(SheetKind::captureReview,
                           [](ScreenContext &window, const SheetRequest &request, QWidget *parent) -> QDialog * {
                               if (!request.cardID)
                                   return nullptr;
                               return new CaptureReviewView(*request.cardID, window.runtime(), parent);
                           });
    registry.registerSheet(SheetKind::frameComposer,
                           [](ScreenContext &window, const SheetRequest &request, QWidget *parent) -> QDialog * {
                               if (!request.cardID)
                                   return nullptr;
                               return new SnipFrameComposerView(*request.cardID, window.runtime(), parent);
                           });
}

} // namespace tessaline::imaging
