#pragma once

#include <QtGlobal>

namespace tessaline {

// Asks the window manager to show a top-level window on every workspace and
// keep it above others. Call after the window is shown; does nothing off X11.
void showOnAllWorkspaces(quintptr windowID);

// True when a compositing manager runs, so see-through window areas really
// show what is behind them (without one they come out black).
bool hasCompositingManager();

} // namespace tessaline
