#include "onboarding/OnboardingScreens.h"

#include "onboarding/GuidedTourCoachmark.h"
#include "onboarding/OnboardingExperienceView.h"
#include "onboarding/SettingsView.h"
#include "runtime/AppRuntime.h"
#include "runtime/ScreenRegistry.h"

namespace tessaline::onboarding {

void registerScreens(ScreenRegistry &registry)
{
    registry.registerSheet(SheetKind::onboarding,
                           [](ScreenContext &window, const SheetRequest &, QWidget *parent) -> QDialog * {
                               AppRuntime &runtime = window.runtime();
                               if (!runtime.onboarding())
                                   return nullptr;
                               return new OnboardingExperienceView(runtime, *runtime.onboarding(), window.library(),
                                                                   parent);
                           });
    registry.registerCoachmark([](ScreenContext &window, GuidedTourStep step, bool hasSnipPreviewTarget,
                                  QWidget *parent) -> QWidget * {
        OnboardingCoordinator *onboarding = window.runtime().onboarding();
        if (!onboarding)
            return nullptr;
        return new GuidedTourCoachmark(*onboarding, step, hasSnipPreviewTarget, parent);
    });
    registry.registerSettings([](AppRuntime &runtime, UpdateService &updates) -> QWidget * {
        return new SettingsView(runtime, runtime.onboarding(), updates);
    });
}

} // namespace tessaline::onboarding
