#include "shell/EveryScreen.h"

#include "assistant/AssistantScreens.h"
#include "canvas/CanvasScreens.h"
#include "imaging/ImagingScreens.h"
#include "library/LibraryScreens.h"
#include "notes/NotesScreens.h"
#include "onboarding/OnboardingScreens.h"

namespace tessaline {

ScreenRegistry everyScreen()
{
    ScreenRegistry registry;
    assistant::registerScreens(registry);
    canvas::registerScreens(registry);
    imaging::registerScreens(registry);
    library::registerScreens(registry);
    notes::registerScreens(registry);
    onboarding::registerScreens(registry);
    return registry;
}

} // namespace tessaline
