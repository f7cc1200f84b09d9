#pragma once

#include "runtime/ScreenRegistry.h"

namespace tessaline {

// The screens of every screen folder, as the main window is given them. The
// shell is the only place that names them all.
ScreenRegistry everyScreen();

} // namespace tessaline
