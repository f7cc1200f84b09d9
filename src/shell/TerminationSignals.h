#pragma once

namespace tessaline {

// Ends the event loop, as a quit from the menu does, when the process is
// asked to end (SIGTERM, SIGHUP, SIGINT): a Wayland desktop ending the
// session, like systemd, sends SIGTERM without asking first, and what still
// waits for its save is written on the way out instead of being lost.
// Called once, after the application object exists.
void quitOnTerminationSignals();

// A write past the file-size limit (`ulimit -f`) ends the process with
// SIGXFSZ by default, before the store can say anything or keep anything.
// From this call on, such a write fails with EFBIG instead, and the save
// that made it reports the failure like a full disk. Programs the app
// starts get the default back (a handler does not outlive exec, unlike an
// ignored signal). Called first thing in main, before anything writes.
void failWritesPastFileSizeLimit();

} // namespace tessaline
