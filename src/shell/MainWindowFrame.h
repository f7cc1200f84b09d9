#pragma once

#include <QRect>

class QWidget;

namespace tessaline {

class UserDefaults;

// Where the main window opens: the frame it had when the app last quit, as
// long as that still shows on a screen; otherwise its default size, made to
// fit the screen and centred on it.
QRect fittedMainWindowFrame(const QSize &preferred, const QSize &minimum, const QRect &available);

void restoreMainWindowFrame(QWidget &window, UserDefaults &defaults);
void rememberMainWindowFrame(const QWidget &window, UserDefaults &defaults);

} // namespace tessaline
