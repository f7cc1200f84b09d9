#pragma once

#include <QtGlobal>

namespace tessaline {

// Asks the window manager to show a top-level window on every workspace,
// keep it above others and leave it out of the taskbar and pager. Call after the window is shown; does nothing off X11.
void showOnAllWorkspaces(quintptr windowID);

// True when a compositing manager runs, so see-through window areas really
// show what is behind them (without one they come out black).
bool hasCompositingManager();

} // namespace tessaline
