#pragma once

#include <QCache>
#include <QPixmap>
#include <QSize>
#include <QString>

#include <functional>

class QPainter;

namespace tessaline {

// The parts of a grid's tiles that are the same for every tile of one size
// and look (the rounded face, its border), drawn once and blitted: drawing
// the rounded shapes anew for each tile was most of what painting a
// screenful of tiles cost. A few sizes and looks are kept. Main thread.
class TileFaces
{
public:
    explicit TileFaces(int kept = 16);

    // The face of `size` at `ratio` in `look` (whatever else tells two faces
    // of a size apart: their colours, the tile's state), drawn by `draw`
    // with antialiasing on a transparent picture of that size when it is not
    // kept.
    QPixmap face(const QString &look, const QSize &size, qreal ratio,
                 const std::function<void(QPainter &)> &draw) const;

private:
    mutable QCache<QString, QPixmap> m_faces;
};

} // namespace tessaline
