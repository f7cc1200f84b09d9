#pragma once

#include "platform/CompositorWindows.h"

#include <QList>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

class QJsonDocument;

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

// Runs a command of sway's that names no window of ours (criteria of its
// own, say); false when sway does not answer or refuses.
bool run(const QString &command);
// Focuses the window, switching to its workspace; false when sway shows no
// such window or does not answer.
bool focusWindow(const WindowKey &window);
// Runs a command of sway's on the window ("sticky enable"); false when sway
// shows no such window, does not answer or refuses.
bool runOnWindow(const WindowKey &window, const QString &command);

// sway's tree: its windows front to back (the ones shown first, each
// output's full-screen window, then its floating windows top down, then the
// tiled ones, most recently focused first), and its active outputs.
using Window = CompositorWindow;
using Output = CompositorOutput;
using Tree = CompositorTree;

// The tree of a get_tree answer.
Tree treeIn(const QJsonDocument &answer);
// sway's tree now; none outside sway or when it does not answer in time.
std::optional<Tree> tree();

} // namespace tessaline::SwayIpc
