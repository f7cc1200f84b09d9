#pragma once

#include "platform/CompositorWindows.h"

#include <QList>

#include <optional>

class QJsonDocument;

// KWin's windows, as a script of ours that KWin runs reads them: which one
// the user works in, where each is and which app it belongs to, which
// Wayland keeps from clients.
namespace tessaline::KWinWindows {

// KWin's windows now, with the session's outputs; none outside KDE or when
// KWin does not answer in time.
std::optional<CompositorTree> tree();

// The tree of the script's answer: the apps' windows front to back, the
// shown ones first. The focused one is the window the user works in: the
// active one, or where that is one of this process's (the capture was asked
// from a window of ours) or no app's (a panel, the tray's menu or the
// desktop has the focus) the frontmost shown window of another process,
// which had the focus before.
CompositorTree treeIn(const QJsonDocument &answer, qint64 ownProcess, const QList<CompositorOutput> &outputs);

} // namespace tessaline::KWinWindows
