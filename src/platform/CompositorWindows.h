#pragma once

#include <QList>
#include <QRect>
#include <QString>

namespace tessaline {

// One window of the session as a compositor that tells clients about its
// windows (sway over its socket, KWin through a script) shows it.
struct CompositorWindow
{
    qint64 id = 0;
    // 0 when the compositor does not know the process.
    qint64 processID = 0;
    QString title;
    // A Wayland client's app_id (or the desktop file it names); empty for
    // an X client, which has its WM_CLASS instead.
    QString appID;
    QString windowClass;
    QString instance;
    // What the client draws, without the compositor's title bar and
    // borders, in layout coordinates (the outputs' logical pixels, as placed).
    QRect content;
    // The window the user works in: the one with the focus.
    bool focused = false;
    // Shown now: on an output's current workspace, not minimised, not
    // behind a full-screen window or another tab.
    bool visible = false;
    // Kept above the others: sway's sticky floating windows, KWin's
    // keep-above ones.
    bool keptAbove = false;
};

struct CompositorOutput
{
    QString name;
    // In layout coordinates.
    QRect rect;
    double scale = 1;
};

// What the compositor shows: its windows front to back, and its active outputs.
struct CompositorTree
{
    QList<CompositorWindow> windows;
    QList<CompositorOutput> outputs;

    const CompositorWindow *focusedWindow() const;
    const CompositorWindow *window(qint64 id) const;
    // The output that shows the largest part of the rectangle; none when
    // none shows any.
    const CompositorOutput *outputShowing(const QRect &rect) const;
    // The box around every output, which a picture of the whole desktop shows.
    QRect desktop() const;
};

} // namespace tessaline
