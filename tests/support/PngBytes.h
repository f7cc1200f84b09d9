#pragma once

#include <QBuffer>
#include <QColor>
#include <QImage>

namespace tessaline::testing {

// PNG bytes of an opaque picture in one colour.
inline QByteArray pngOf(const QColor &color, QSize size = QSize(64, 40))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace tessaline::testing
