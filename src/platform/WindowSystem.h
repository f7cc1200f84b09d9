#pragma once

class QScreen;
class QWindow;

#include <QtGlobal>

#include <functional>

class QObject;

// What the window system the application runs on lets a client do. Under
// X11 a client places its own windows and may grab the keyboard and pointer;
// under Wayland the compositor does both, so a window that must cover a
// screen asks to be full-screen on it, and the focused window gets the keys.
namespace tessaline::WindowSystem {

bool clientsPlaceWindows();
bool clientsGrabInput();
// Calls `then` on the context's thread once the X server has carried out
// every request the application sent it so far, never waiting for it: a grab
// asked for then is answered at once, not after a screenful of pixels still
// on its way to the server (up to 230 ms of the main thread at 5K under
// load). At once where the application does not run on X11; skipped when
// the context goes first.
void afterServerCaughtUp(QObject *context, std::function<void()> then);

// Whether the app's windows are on a Wayland desktop, also when it talks
// X11 to the desktop's XWayland server: there the X server holds only X
// clients' windows, so its screen pictures and its idea of the frontmost
// window are not the desktop's.
bool isWaylandSession();
// Whether the session says which window is in front: X11 does, and of the
// Wayland desktops sway alone.
bool knowsFrontmostWindow();

// The window of ours that a window the compositor should keep above our
// others (a pin, the capture toast) belongs to: the one with the keyboard,
// else the first ordinary window on screen; none when none is shown. Under
// Wayland a window with such a parent floats on tiling compositors and stays
// above that parent elsewhere.
QWindow *stackingParent(const QWindow *besides = nullptr);

// The screen the user works on, as the desktop says, whichever app has the
// focus: sway's focused output, or KWin's active output (the one under the
// pointer, unless the user made it follow the active window). Null where the
// desktop does not say (GNOME keeps it to its own components) or it names
// no screen of ours.
QScreen *activeScreen();

// Brings one of our windows forward through the compositor itself, where a
// client may ask it without an activation token: sway (its IPC), whose
// launchers hand out none, and KWin (a script of ours), which refuses a
// window that asks while another app's has the focus; either way it comes
// above a full-screen window of another app. A second start could not
// raise the first otherwise. False elsewhere, and for a hidden window.
bool bringForwardThroughCompositor(const QWindow &window);

// Gives one of our windows that is up the keyboard, as far as the desktop
// lets an app: through the compositor where it can
// (bringForwardThroughCompositor), else by asking, with a token when one is
// held (prepareActivation). On sway a request alone only marks the window
// urgent, and KWin turns one down while another app has the focus.
void bringForward(QWindow &window);

// Keeps a token that lets one of our windows come forward under Wayland,
// handed over by whatever the user used to ask for Tessaline: a launcher
// (taken from this process's environment by holdLaunchToken), a second
// start, a click on a notification, the desktop's shortcut. A compositor
// honours one only for a short while, so an old one is let go unused.
void holdActivationToken(const QString &token);
// Moves the launcher's token out of the environment, where Qt would spend it
// on whichever window next asked for the keyboard, however much later (GNOME
// then shows a banner), and where every program we start would find it.
void holdLaunchToken();

// Whether to ask the compositor now to give one of our windows the keyboard
// (QWidget::activateWindow, QWindow::requestActivate), readying the request:
// a token held is handed to Qt for it. Without a token GNOME turns every
// such request into an "is ready" banner and nothing else (Qt's own token,
// made from our last input, passes only when that input went to the window
// GNOME gives the keyboard), so there no request is made; the compositor
// gives a window of the app in use the keyboard as it appears anyway.
// Elsewhere a request turned down costs no more than a highlighted task bar
// entry, and sway and KWin let Qt's own token through.
bool prepareActivation();

// Stops Qt asking the compositor for the keyboard by itself, where that
// only marks our windows: Qt 6.4's Wayland client asks again each time the
// keyboard focus moves to another widget, with a token of its own made from
// the last input. GNOME turns down every one whose input went to another
// window (a click on the capture toast, a pin) with an "is ready" banner;
// sway marks a window that asks while another has the keyboard urgent (a
// red title bar). Called once the application object is made; our own
// requests go through prepareActivation.
void keepActivationToOurRequests();

// Hands the keyboard on to the dialog that blocks a window of ours (a
// sheet, the gallery) when that window gets it: sway and KWin give it to
// whichever window is clicked, and the keys would go to a window that takes
// none until the dialog itself was clicked. GNOME keeps it with the dialog
// itself. Called once the application object is made.
void keepKeyboardWithBlockingDialogs();

// Calls `changed` on context's thread each time a tray may have come to the
// desktop or gone, for as long as context lives; false where nobody says.
// Under X11 a tray that starts announces itself to every client, and Qt
// passes that on. Elsewhere Qt asks the session bus once per process
// whether there is a tray, so a later one is never seen and asking again
// would only cost wake-ups.
bool watchTrays(QObject *context, std::function<void()> changed);

// The Qt screen that shows a display of the session's capture system; none
// once the display is unplugged.
QScreen *screenForDisplay(quint32 displayID);

} // namespace tessaline::WindowSystem
