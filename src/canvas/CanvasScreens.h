#pragma once

namespace tessaline {

class ScreenRegistry;

namespace canvas {

// The card inspector of the main window's inspector column, and the map
// mode of a note's workspace for the notes workspace to host.
void registerScreens(ScreenRegistry &registry);

} // namespace canvas

} // namespace tessaline
