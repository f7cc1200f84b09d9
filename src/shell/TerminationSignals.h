#pragma once

namespace tessaline {

// Ends the event loop, as a quit from the menu does, when the process is
// asked to end (SIGTERM, SIGHUP, SIGINT): a Wayland desktop ending the
// session, like systemd, sends SIGTERM without asking first, and what still
// waits for its save is written on the way out instead of being lost.
// Called once, after the application object exists.
void quitOnTerminationSignals();

} // namespace tessaline
