#pragma once

#include <QtGlobal>

namespace tessaline {

// Asks the window manager to show a top-level window on every workspace,
// keep it above others and leave it out of the taskbar and pager. Call after the window is shown; does nothing off X11.
void showOnAllWorkspaces(quintptr windowID);

// The same for a window not mapped yet: the window manager reads these
// properties when it maps it, and Qt keeps state atoms it does not manage
// itself. Does nothing off X11.
void markForAllWorkspaces(quintptr windowID);

// True when a compositing manager runs, so see-through window areas really
// show what is behind them (without one they come out black); always under
// Wayland.
bool hasCompositingManager();

} // namespace tessaline
