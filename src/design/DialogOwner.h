#pragma once

class QWidget;

namespace tessaline {

// Under Wayland a popup (a menu, the capture toast) cannot own a window:
// Qt's Wayland client ends the process as it shows a dialog whose parent
// window is one. A dialog asked for from a popup becomes a window of the
// window the popup stands on instead, and still closes when the popup goes.
// Call before the dialog is shown; it does nothing for a dialog of an
// ordinary window.
void keepDialogOffPopups(QWidget &dialog);

} // namespace tessaline
