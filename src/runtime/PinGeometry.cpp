#include "runtime/PinGeometry.h"

#include <algorithm>
#include <cmath>

namespace tessaline::PinGeometry {

namespace {

QSize rounded(qreal width, qreal height)
{
    return QSize(int(std::lround(width)), int(std::lround(height)));
}

// The size the drag asks for, whatever room is left.
QSize draggedSize(const QSize &start, const QPoint &drag, const QSizeF &imageSize)
{
    if (imageSize.isEmpty()) {
        return QSize(std::max(start.width() + drag.x(), minimumSize.width()),
                     std::max(start.height() + drag.y(), minimumSize.height()));
    }
    const qreal ratio = imageSize.width() / imageSize.height();
    // The drag resizes the picture as shown, which a window raised to its
    // smallest size on one side only (a long thin snip) is wider or taller
    // than: measured from the window, a first drag of one point would give
    // a thin picture's other side a hundred times that.
    const QSizeF shown = imageSize.scaled(QSizeF(start), Qt::KeepAspectRatio);
    // Whichever way the pointer went further, in width terms, sets the size.
    const qreal alongY = drag.y() * ratio;
    const qreal dragged = shown.width() + (std::abs(drag.x()) >= std::abs(alongY) ? qreal(drag.x()) : alongY);
    qreal width = std::max(dragged, qreal(minimumSize.width()));
    if (width / ratio < minimumSize.height())
        width = minimumSize.height() * ratio;
    // Keeping the proportions at the smallest size would make the other
    // side of a long thin picture thousands of points long: the short side
    // alone is raised then, the picture shown inside it, and the picture
    // follows the side the pointer moved further along in points (in width
    // terms, a short drag down a thin picture would count for nothing).
    if (width > std::max(qreal(start.width()), dragged)
        || width / ratio > std::max(qreal(start.height()), dragged / ratio)) {
        const qreal shownWidth =
            std::abs(drag.y()) > std::abs(drag.x()) ? (shown.height() + drag.y()) * ratio : dragged;
        const qreal shownSide = std::max(shownWidth, 1.0);
        return rounded(std::max(shownSide, qreal(minimumSize.width())),
                       std::max(shownSide / ratio, qreal(minimumSize.height())));
    }
    return rounded(width, width / ratio);
}

} // namespace

QSize initialSize(const QSizeF &imageSize)
{
    const qreal width = imageSize.width();
    const qreal scale = width <= 1 ? 1.0 : std::min(widestInitialWidth / width, 1.0);
    return rounded(std::max(width * scale, qreal(smallestInitialSize.width())),
                   std::max(imageSize.height() * scale, qreal(smallestInitialSize.height())));
}

QSize resizedSize(const QSize &start, const QPoint &drag, const QSizeF &imageSize, const QSize &room)
{
    const QSize wanted = draggedSize(start, drag, imageSize);
    if (!room.isValid() || (wanted.width() <= room.width() && wanted.height() <= room.height()))
        return wanted;
    const qreal scale = std::min(qreal(room.width()) / wanted.width(), qreal(room.height()) / wanted.height());
    const QSize kept = rounded(wanted.width() * scale, wanted.height() * scale);
    if (kept.width() >= minimumSize.width() && kept.height() >= minimumSize.height())
        return kept;
    // A wide thin picture near the screen's right edge: its proportions at
    // the room's width would take the window under its smallest height, so
    // each side stops at the room on its own, the picture fitted inside.
    return QSize(std::clamp(wanted.width(), minimumSize.width(), std::max(room.width(), minimumSize.width())),
                 std::clamp(wanted.height(), minimumSize.height(), std::max(room.height(), minimumSize.height())));
}

QSize room(const QRect &available, const QPoint &topLeft)
{
    return QSize(available.x() + available.width() - topLeft.x(), available.y() + available.height() - topLeft.y());
}

std::optional<ManagedResize> managedResize(const QSize &window, const QSizeF &imageSize)
{
    if (imageSize.isEmpty() || window.isEmpty())
        return std::nullopt;
    const qreal ratio = imageSize.width() / imageSize.height();
    // Sizes are whole points: either side may be rounded from the other.
    if (std::abs(window.width() - window.height() * ratio) > std::max(ratio, 1.0))
        return std::nullopt;
    const int width = std::max(minimumSize.width(), int(std::ceil(minimumSize.height() * ratio)));
    const int height = std::max(minimumSize.height(), int(std::ceil(minimumSize.width() / ratio)));
    return ManagedResize{imageSize, QSize(width, height)};
}

} // namespace tessaline::PinGeometry
