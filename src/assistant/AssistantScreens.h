#pragma once

namespace tessaline {
class ScreenRegistry;
}

namespace tessaline::assistant {

// Hands the main window the screens this folder provides.
void registerScreens(ScreenRegistry &registry);

} // namespace tessaline::assistant
