#pragma once

#include <QSize>
#include <QString>

#include <optional>

// sway's own IPC socket ($SWAYSOCK), which any client of the session may
// use: the compositor's answers to what Wayland keeps from clients (the
// output the user works on), and its command for what Wayland lets only an
// activation token do (focusing a window), since sway's launchers hand out
// no token.
namespace tessaline::SwayIpc {

// The session's sway socket; empty outside sway.
QString socketPath();

// The output sway has focused: where the user works, whichever app has the
// focus; none outside sway or when it does not answer in time.
std::optional<QString> focusedOutput();

// One of our windows as sway may know it: by title, whether it floats (a
// window with a parent does), and a floating one by its size, since pins
// and sheets may share the main window's title.
struct WindowKey
{
    qint64 processID = 0;
    QString title;
    bool floating = false;
    QSize size;
};

// Focuses the window, switching to its workspace; false when sway shows no
// such window or does not answer.
bool focusWindow(const WindowKey &window);
// Runs a command of sway's on the window ("sticky enable"); false when sway
// shows no such window, does not answer or refuses.
bool runOnWindow(const WindowKey &window, const QString &command);

} // namespace tessaline::SwayIpc
