#pragma once

#include <QEasingCurve>
#include <QFont>

namespace tessaline {

// Lengths the screens draw with, in logical pixels, fixed at build time.
namespace TessalineMetrics {
inline constexpr qreal hairline = 1;
inline constexpr qreal controlCornerRadius = 7;
inline constexpr qreal cardCornerRadius = 12;
inline constexpr qreal paletteCornerRadius = 14;
inline constexpr qreal sectionSpacing = 28;
inline constexpr qreal contentPadding = 14;
inline constexpr qreal pagePadding = 32;
// The search and Recently Deleted screens keep their content column to this.
inline constexpr qreal maximumContentWidth = 1080;
inline constexpr qreal groupSpacing = 18;
inline constexpr qreal controlHeight = 28;
inline constexpr qreal panelPadding = 24;
} // namespace TessalineMetrics

// A curve with its duration; made once and shared by every screen.
struct TessalineAnimation {
    QEasingCurve curve;
    int durationMs = 0;
};

namespace TessalineMotion {
// Ease-out over 0.11 s: press and hover changes of controls and cards.
const TessalineAnimation &snappy();
// Ease-in-out over 0.19 s: showing and hiding the note list.
const TessalineAnimation &smooth();
// Ease-out over 0.22 s.
const TessalineAnimation &gentle();
} // namespace TessalineMotion

namespace TessalineTypography {
// The desktop's UI font at `pixelSize` logical pixels and the given weight.
// Built anew on every call so a change of the desktop font shows at once.
QFont systemFont(qreal pixelSize, QFont::Weight weight);

QFont caption();    // 11, medium
QFont body();       // 13, regular
QFont title();      // 14, semibold
QFont largeTitle(); // 19, semibold
QFont headline();   // 13, semibold
} // namespace TessalineTypography

} // namespace tessaline
