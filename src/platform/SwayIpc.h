#pragma once

#include <QString>

#include <optional>

// sway's own IPC socket ($SWAYSOCK), which any client of the session may
// use: the compositor's answers to what Wayland keeps from clients (the
// output the user works on).
namespace tessaline::SwayIpc {

// The session's sway socket; empty outside sway.
QString socketPath();

// The output sway has focused: where the user works, whichever app has the
// focus; none outside sway or when it does not answer in time.
std::optional<QString> focusedOutput();

} // namespace tessaline::SwayIpc
