#include "library/TileFaces.h"

#include <QPainter>

namespace tessaline {

TileFaces::TileFaces(int kept)
    : m_faces(kept)
{
}

QPixmap TileFaces::face(const QString &look, const QSize &size, qreal ratio,
                        const std::function<void(QPainter &)> &draw) const
{
    const QString key = QStringLiteral("%1x%2@%3/").arg(size.width()).arg(size.height()).arg(ratio) + look;
    if (const QPixmap *kept = m_faces.object(key))
        return *kept;
    QPixmap pixmap((QSizeF(size) * ratio).toSize());
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    painter.end();
    m_faces.insert(key, new QPixmap(pixmap));
    return pixmap;
}

} // namespace tessaline
