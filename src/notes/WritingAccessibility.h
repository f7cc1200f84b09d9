#pragma once

namespace tessaline {

// Gives the writing page's reference cards their accessible actions ("Open
// original", "Remove reference") and the unavailable placeholder its value.
// Installed once, by the first reference view made.
void installWritingAccessibility();

} // namespace tessaline
