#include "platform/ImageDecoder.h"
#include "platform/PngEncoder.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>
#include <QtEndian>

using namespace tessaline;

Q_DECLARE_METATYPE(tessaline::ImageDecodeError)

namespace {

// Panels, text, a gradient and noise (with varying alpha when the format
// has it), so every row filter finds work.
QImage picture(int width, int height, QImage::Format format)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(QColor(236, 236, 240));
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, width, 0);
    gradient.setColorAt(0, Qt::blue);
    gradient.setColorAt(1, Qt::yellow);
    painter.fillRect(QRect(0, 0, width, height / 4), gradient);
    painter.drawText(QPoint(4, height / 2), QStringLiteral("Quarterly revenue 42"));
    painter.end();
    QRandomGenerator random(3);
    for (int y = height / 2; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgba(random.bounded(256), random.bounded(256), random.bounded(256),
                            format == QImage::Format_RGB32 ? 255 : random.bounded(256));
    }
    return image.convertToFormat(format);
}

QByteArray saved(const QImage &image, const char *format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= uchar(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray chunk(const char *type, const QByteArray &data)
{
    QByteArray out(4, '\0');
    qToBigEndian<quint32>(quint32(data.size()), out.data());
    const QByteArray typeAndData = QByteArray(type, 4) + data;
    out += typeAndData;
    QByteArray crc(4, '\0');
    qToBigEndian<quint32>(crc32(typeAndData), crc.data());
    return out + crc;
}

// A PNG whose header alone claims the size; no pixel data follows.
QByteArray headerOnlyPng(quint32 width, quint32 height)
{
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(width, header.data());
    qToBigEndian<quint32>(height, header.data() + 4);
    header[8] = 8;
    header[9] = 2;
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IEND", {});
}

} // namespace

class ImageDecoderTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void decodesLikeQt_data();
    void decodesLikeQt();
    void refusesDamagedOrOversizedPictures_data();
    void refusesDamagedOrOversizedPictures();
};

void ImageDecoderTest::decodesLikeQt_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QImage::Format>("format");
    const QImage opaque = picture(97, 61, QImage::Format_RGB32);
    const QImage translucent = picture(97, 61, QImage::Format_ARGB32);
    for (const auto &[name, filter] : {std::pair{"none", PngRowFilter::None}, std::pair{"sub", PngRowFilter::Sub},
                                       std::pair{"up", PngRowFilter::Up}, std::pair{"paeth", PngRowFilter::Paeth},
                                       std::pair{"adaptive", PngRowFilter::Adaptive}}) {
        PngEncoderOptions options;
        options.filter = filter;
        options.stripBytes = 4096; // several strips joined into one stream
        QTest::addRow("own RGB, %s", name) << *encodePng(opaque, options) << QImage::Format_RGB32;
        QTest::addRow("own RGBA, %s", name) << *encodePng(translucent, options) << QImage::Format_ARGB32;
    }
    // libpng's writer uses the average filter too, and many small data chunks.
    const QImage large = picture(700, 500, QImage::Format_ARGB32);
    QTest::newRow("Qt's RGBA, split data") << saved(large, "PNG", 0) << QImage::Format_ARGB32;
    QTest::newRow("16-bit PNG through Qt")
        << saved(picture(40, 30, QImage::Format_RGBA64), "PNG") << QImage::Format_RGBA64;
    QTest::newRow("grey PNG through Qt") << saved(picture(40, 30, QImage::Format_Grayscale8), "PNG")
                                         << QImage::Format_Grayscale8;
    QTest::newRow("JPEG through Qt") << saved(picture(40, 30, QImage::Format_RGB32), "JPG") << QImage::Format_RGB32;
}

void ImageDecoderTest::decodesLikeQt()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QImage::Format, format);
    const QImage expected = QImage::fromData(bytes).convertToFormat(format);
    QVERIFY(!expected.isNull());
    const auto decoded = ImageDecoder::decode(bytes);
    QVERIFY(decoded);
    QCOMPARE(ImageDecoder::imageSize(bytes), expected.size());
    QCOMPARE(decoded->convertToFormat(format), expected);
}

void ImageDecoderTest::refusesDamagedOrOversizedPictures_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<ImageDecodeError>("error");
    const QByteArray png = *encodePng(picture(64, 48, QImage::Format_RGB32));
    const qint64 plenty = ImageDecoder::defaultAllocationLimit;

    QTest::newRow("not a picture") << QByteArray("plain text, not pixels") << plenty << ImageDecodeError::unreadable;
    QTest::newRow("empty") << QByteArray() << plenty << ImageDecodeError::unreadable;
    QTest::newRow("cut short") << png.left(png.size() / 2) << plenty << ImageDecodeError::unreadable;
    QByteArray flipped = png;
    flipped[flipped.size() / 2] = char(flipped.at(flipped.size() / 2) ^ 0x10);
    QTest::newRow("damaged data") << flipped << plenty << ImageDecodeError::unreadable;
    QTest::newRow("header without pixels") << headerOnlyPng(64, 48) << plenty << ImageDecodeError::unreadable;
    // 60000 × 60000 would need 13 GiB: refused before anything is allocated.
    QTest::newRow("header claims a huge picture") << headerOnlyPng(60000, 60000) << plenty << ImageDecodeError::tooLarge;
    QTest::newRow("over a small limit") << png << qint64(64 * 48 * 4 - 1) << ImageDecodeError::tooLarge;
    QTest::newRow("JPEG over a small limit") << saved(picture(64, 48, QImage::Format_RGB32), "JPG")
                                             << qint64(64 * 48 * 4 - 1) << ImageDecodeError::tooLarge;
}

void ImageDecoderTest::refusesDamagedOrOversizedPictures()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, limit);
    QFETCH(ImageDecodeError, error);
    const auto decoded = ImageDecoder::decode(bytes, limit);
    QVERIFY(!decoded);
    QCOMPARE(decoded.error(), error);
}

QTEST_MAIN(ImageDecoderTest)
#include "tst_imagedecoder.moc"
