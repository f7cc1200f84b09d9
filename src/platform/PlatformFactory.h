#pragma once

#include "platform/CaptureSystem.h"
#include "platform/FloatingWindows.h"
#include "platform/HotKeySystem.h"

#include <memory>

class QObject;

namespace tessaline {

enum class WindowSession { x11, wayland, none };

// The backends of one session, chosen once at start.
struct PlatformBackends
{
    WindowSession session = WindowSession::none;
    std::unique_ptr<CaptureSystem> captureSystem;
    std::unique_ptr<HotKeySystem> hotKeySystem;
};

// The one place that asks which session the application runs in and picks
// the backends for it: X11 → the X11 backends; Wayland → the desktop's
// portals (global shortcuts only where the desktop offers them); anything
// else → backends that report capture and hot keys unavailable.
class PlatformFactory
{
public:
    // Qt's platform plugin decides, since Qt's windows are what we show;
    // Wayland also needs a compositor to talk to.
    static WindowSession detectSession(const QString &qtPlatformName, bool hasWaylandDisplay);

    static PlatformBackends create();
    // For a session that is neither X11 nor Wayland, and for tests.
    static PlatformBackends createNull();
    // The Wayland backends, as create() makes them in a Wayland session.
    static PlatformBackends createPortal();

    // The session's floating-window backend for pins, picked on first use
    // and kept for the life of the process: X11's where the application
    // runs on X11, sway's or KWin's under those, nothing more elsewhere.
    static FloatingWindows &floatingWindows();

    // What the application installs on itself so the compositor places its
    // dialogs over the window they belong to, where the compositor needs
    // telling (GNOME's); none elsewhere.
    static std::unique_ptr<QObject> dialogPlacement();
};

} // namespace tessaline
