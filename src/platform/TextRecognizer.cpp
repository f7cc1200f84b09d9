#include "platform/TextRecognizer.h"

namespace tessaline {

QImage recognitionGreyImage(const QImage &image)
{
    if (image.isNull() || image.format() == QImage::Format_Grayscale8)
        return image;
    if (image.format() != QImage::Format_RGB32)
        return image.convertToFormat(QImage::Format_Grayscale8);
    QImage grey(image.size(), QImage::Format_Grayscale8);
    if (grey.isNull())
        return grey;
    const int width = image.width();
    for (int y = 0; y < image.height(); ++y) {
        const auto *source = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        uchar *target = grey.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const QRgb pixel = source[x];
            target[x] = recognitionGreyLevel(qRed(pixel), qGreen(pixel), qBlue(pixel));
        }
    }
    return grey;
}

} // namespace tessaline
