#pragma once

#include <QBuffer>
#include <QColor>
#include <QImage>

namespace tessaline::testing {

// An opaque picture of noise: it does not compress, so it takes a while to
// encode, and any part of it put in the wrong place shows.
inline QImage noisePicture(QSize size, quint32 seed = 1)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            line[x] = 0xFF000000u | (seed >> 8);
        }
    }
    return image;
}

// PNG bytes of a picture, as a snip stores them.
inline QByteArray pngOf(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// PNG bytes of an opaque picture in one colour.
inline QByteArray pngOf(const QColor &color, QSize size = QSize(64, 40))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return pngOf(image);
}

} // namespace tessaline::testing
