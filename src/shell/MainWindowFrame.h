#pragma once

#include <QRect>

class QScreen;
class QWidget;

namespace tessaline {

class UserDefaults;

// A window's size made to fit the screen's free area (never below its
// minimum) and centred on it.
QRect fittedWindowFrame(const QSize &preferred, const QSize &minimum, const QRect &available);

// The most a window may take of the screen's free area and still show
// whole: room is left for the title bar and borders a window manager adds
// round it, which a window as high as the screen would push off its bottom.
QSize roomForWindow(const QScreen &screen);

// Where a window of the app's own (the settings window) opens: at its
// size, centred on the main window's screen and wholly on it. Under
// Wayland, where the compositor places windows, it is made the shown main
// window's, which the compositor opens it over.
void placeOverMainWindow(QWidget &window, const QWidget &mainWindow);

// Where the main window opens: the frame it had when the app last quit, as
// long as that still shows on a screen (cut to fit a screen that has less
// room for it now); otherwise its default size fitted.

void restoreMainWindowFrame(QWidget &window, UserDefaults &defaults);
void rememberMainWindowFrame(const QWidget &window, UserDefaults &defaults);

} // namespace tessaline
