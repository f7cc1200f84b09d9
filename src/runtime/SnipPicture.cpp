#include "runtime/SnipPicture.h"

namespace tessaline {

SnipPicture::SnipPicture(QImage image)
    : m_image(std::move(image))
{
    // Averaging straight alpha would darken soft edges.
    QImage level = m_image.format() == QImage::Format_RGB32 ? m_image
                                                            : m_image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    while (std::max(level.width(), level.height()) > smallestLevelSide && level.width() > 1 && level.height() > 1) {
        level = level.scaled(std::max(1, level.width() / 2), std::max(1, level.height() / 2), Qt::IgnoreAspectRatio,
                             Qt::SmoothTransformation);
        m_levels.append(level);
    }
}

const QImage &SnipPicture::imageForScale(qreal scale) const
{
    const QImage *best = &m_image;
    for (const QImage &level : m_levels) {
        if (level.width() < m_image.width() * scale || level.height() < m_image.height() * scale)
            break;
        best = &level;
    }
    return *best;
}

} // namespace tessaline
