#pragma once

namespace tessaline {
class ScreenRegistry;
}

namespace tessaline::onboarding {

// Hands the main window the screens this folder provides.
void registerScreens(ScreenRegistry &registry);

} // namespace tessaline::onboarding
