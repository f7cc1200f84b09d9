#pragma once

namespace tessaline {
class ScreenRegistry;
}

namespace tessaline::library {

// Hands the main window the screens this folder provides.
void registerScreens(ScreenRegistry &registry);

} // namespace tessaline::library
