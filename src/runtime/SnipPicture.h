#pragma once

#include <QImage>
#include <QList>
#include <QSize>

#include <memory>

namespace tessaline {

// A snip's rendered picture (annotations drawn in) ready for drawing at any
// scale: the full image, which copying, saving and actual size use, and
// successive halvings of it, so a view drawn small samples a level at most
// twice its size instead of skipping most of the pixels. Immutable once made,
// so views and pins share one.
class SnipPicture
{
public:
    // Halves until the longer side is at most this many pixels.
    static constexpr int smallestLevelSide = 512;

    // Makes the levels; call off the main thread for large images.
    explicit SnipPicture(QImage image);

    const QImage &image() const { return m_image; }
    QSize size() const { return m_image.size(); }
    const QList<QImage> &levels() const { return m_levels; }

    // The smallest image (the full one or a level) that is at least `scale`
    // times the full size, so drawing it scales down by at most half.
    const QImage &imageForScale(qreal scale) const;

private:
    QImage m_image;
    QList<QImage> m_levels;
};

using SharedSnipPicture = std::shared_ptr<const SnipPicture>;

} // namespace tessaline
