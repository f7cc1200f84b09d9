#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QSizeF>

#include <optional>

// The sizes of a pin's window: where it opens, how its corner grip resizes
// it, and what the window manager may do to it. Pure rules, in points.
namespace tessaline::PinGeometry {

inline constexpr int widestInitialWidth = 560;
inline constexpr QSize smallestInitialSize{180, 120};
inline constexpr QSize minimumSize{140, 90};

// The window's first size: pictures wider than 560 points are scaled to
// that width, then each side is at least 180 × 120 on its own.
QSize initialSize(const QSizeF &imageSize);

// The size while the corner grip is dragged by `drag` from `start`: the
// picture's width as shown follows the drag, the height keeps its
// proportions, never below 140 × 90 (for a picture too thin to keep them at
// that size, the short side alone is raised). A valid `room` (what is left
// of the screen right of and below the window's top left) caps it,
// proportions kept where the smallest size allows, each side on its own
// where it does not: the window manager never has to push the window back
// onto the screen from under the pointer.
QSize resizedSize(const QSize &start, const QPoint &drag, const QSizeF &imageSize, const QSize &room = QSize());

// What is left of `available` right of and below `topLeft`.
QSize room(const QRect &available, const QPoint &topLeft);

// What the window manager is asked to keep when it resizes the window
// itself: the picture's proportions, and the smallest size that has them.
struct ManagedResize
{
    QSizeF aspect;
    QSize minimum;
};
// None while the window does not have the picture's proportions (a first
// size raised on one side, a thin picture's raised short side): a window
// manager that kept them would shrink the window below its smallest size.
std::optional<ManagedResize> managedResize(const QSize &window, const QSizeF &imageSize);

} // namespace tessaline::PinGeometry
