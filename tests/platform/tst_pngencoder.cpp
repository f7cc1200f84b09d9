#include "platform/ArrivingPngEncoding.h"
#include "platform/PngEncoder.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QTest>
#include <QtEndian>

#include <cstring>
#include <thread>
#include <QGuiApplication>

using namespace tessaline;

Q_DECLARE_METATYPE(tessaline::PngRowFilter)

namespace {

// Flat panels, anti-aliased text, a gradient and a noisy block: the kinds of
// content that exercise every filter and both stored and compressed blocks.
QImage screenshotLike(int width, int height, QImage::Format format)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(QColor(236, 236, 240));
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, width / 4, height), QColor(40, 44, 52));
    QLinearGradient gradient(0, 0, width, 0);
    gradient.setColorAt(0, Qt::blue);
    gradient.setColorAt(1, Qt::yellow);
    painter.fillRect(QRect(width / 4, 0, width, height / 6), gradient);
    painter.setPen(Qt::black);
    for (int y = height / 5; y < height; y += 18)
        painter.drawText(QPoint(width / 4 + 6, y), QStringLiteral("The quick brown fox jumps over the lazy dog 0123"));
    painter.end();
    QRandomGenerator random(42);
    for (int y = height / 2; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = width / 2; x < width; ++x)
            line[x] = qRgba(random.bounded(256), random.bounded(256), random.bounded(256),
                            format == QImage::Format_RGB32 ? 255 : random.bounded(256));
    }
    return image.convertToFormat(format);
}

QImage decoded(const QByteArray &png)
{
    QImage image;
    image.loadFromData(png, "PNG");
    return image;
}

// The IDAT chunks' payload inflated by zlib, which also checks the stream's
// Adler-32: image readers may ignore a wrong checksum, other tools do not.
QByteArray inflatedImageData(const QByteArray &png, qsizetype expectedSize)
{
    QByteArray stream;
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const quint32 length = qFromBigEndian<quint32>(png.constData() + at);
        if (png.mid(at + 4, 4) == "IDAT") {
            if (length > 1 << 20)
                return {};
            stream.append(png.mid(at + 8, length));
        }
        at += 12 + qsizetype(length);
    }
    QByteArray framed(4, 0);
    qToBigEndian(quint32(expectedSize), framed.data());
    return qUncompress(framed + stream);
}

} // namespace

class PngEncoderTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void roundTrip_data();
    void roundTrip();
    void nullImageGivesNothing();
    void encodingWhileRowsArrive_data();
    void encodingWhileRowsArrive();
};

void PngEncoderTest::roundTrip_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<PngRowFilter>("filter");
    QTest::addColumn<int>("level");
    QTest::addColumn<qsizetype>("stripBytes");

    const QImage rgb = screenshotLike(301, 203, QImage::Format_RGB32);
    const QImage argb = screenshotLike(257, 129, QImage::Format_ARGB32);
    QTest::newRow("rgb none") << rgb << PngRowFilter::None << 5 << qsizetype(512 * 1024);
    QTest::newRow("rgb sub, many strips") << rgb << PngRowFilter::Sub << 5 << qsizetype(4000);
    QTest::newRow("rgb up, strip per row") << rgb << PngRowFilter::Up << 1 << qsizetype(1);
    QTest::newRow("rgb paeth, level 12") << rgb << PngRowFilter::Paeth << 12 << qsizetype(20000);
    QTest::newRow("rgb adaptive") << rgb << PngRowFilter::Adaptive << 6 << qsizetype(9000);
    QTest::newRow("argb up, many strips") << argb << PngRowFilter::Up << 5 << qsizetype(3000);
    QTest::newRow("argb adaptive") << argb << PngRowFilter::Adaptive << 3 << qsizetype(10000);
    QTest::newRow("premultiplied") << screenshotLike(64, 80, QImage::Format_ARGB32_Premultiplied)
                                   << PngRowFilter::Up << 5 << qsizetype(2000);
    QTest::newRow("rgb888") << screenshotLike(99, 51, QImage::Format_RGB888) << PngRowFilter::Paeth << 5
                            << qsizetype(1000);
    QTest::newRow("rgba8888") << screenshotLike(77, 40, QImage::Format_RGBA8888) << PngRowFilter::Sub << 5
                              << qsizetype(1000);
    QTest::newRow("grey") << screenshotLike(50, 50, QImage::Format_Grayscale8) << PngRowFilter::Up << 5
                          << qsizetype(1000);
    QTest::newRow("one pixel") << screenshotLike(1, 1, QImage::Format_RGB32) << PngRowFilter::Adaptive << 5
                               << qsizetype(1);
    QImage flat(640, 480, QImage::Format_RGB32);
    flat.fill(Qt::white);
    QTest::newRow("flat, long matches across strips") << flat << PngRowFilter::Up << 9 << qsizetype(50000);

    // Level 0, our own compressor, and the word-at-a-time filters it is
    // paired with by default.
    const QImage premultiplied = screenshotLike(131, 97, QImage::Format_ARGB32_Premultiplied);
    QTest::newRow("fast rgb sub, odd width") << rgb << PngRowFilter::Sub << 0 << qsizetype(4000);
    QTest::newRow("fast rgb up, one strip") << rgb << PngRowFilter::Up << 0 << qsizetype(1 << 20);
    QTest::newRow("fast argb sub") << argb << PngRowFilter::Sub << 0 << qsizetype(3000);
    QTest::newRow("fast argb up, strip per row") << argb << PngRowFilter::Up << 0 << qsizetype(1);
    QTest::newRow("fast premultiplied sub") << premultiplied << PngRowFilter::Sub << 0 << qsizetype(2500);
    QTest::newRow("fast premultiplied up") << premultiplied << PngRowFilter::Up << 0 << qsizetype(2500);
    QTest::newRow("fast premultiplied paeth") << premultiplied << PngRowFilter::Paeth << 0 << qsizetype(2500);
    QTest::newRow("fast grey") << screenshotLike(77, 33, QImage::Format_Grayscale8) << PngRowFilter::Sub << 0
                               << qsizetype(500);
    QTest::newRow("fast rgb888 adaptive") << screenshotLike(99, 51, QImage::Format_RGB888) << PngRowFilter::Adaptive
                                          << 0 << qsizetype(1000);
    QTest::newRow("fast one column") << screenshotLike(1, 37, QImage::Format_ARGB32) << PngRowFilter::Sub << 0
                                     << qsizetype(1);
    QTest::newRow("fast one pixel") << screenshotLike(1, 1, QImage::Format_RGB32) << PngRowFilter::Sub << 0
                                    << qsizetype(1);
    // Strips whose pieces (stored, noise does not compress) pass the
    // chunk limit, so a strip's chunk is cut, the first and last too.
    QImage noise(800, 1000, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < noise.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(noise.scanLine(y));
        for (int x = 0; x < noise.width(); ++x)
            line[x] = 0xFF000000u | random.bounded(0x1000000u);
    }
    QTest::newRow("noise, one strip over the chunk limit") << noise << PngRowFilter::None << 0 << (qsizetype(1) << 30);
    QTest::newRow("noise, strips over the chunk limit") << noise << PngRowFilter::Sub << 0 << qsizetype(1100 * 1024);
}

void PngEncoderTest::roundTrip()
{
    QFETCH(QImage, image);
    QFETCH(PngRowFilter, filter);
    QFETCH(int, level);
    QFETCH(qsizetype, stripBytes);

    PngEncoderOptions options;
    options.filter = filter;
    options.compressionLevel = level;
    options.stripBytes = stripBytes;
    const std::optional<QByteArray> png = encodePng(image, options);
    QVERIFY(png.has_value());
    // The file depends on the strips alone, never on the threads.
    options.maxThreads = 1;
    QCOMPARE(encodePng(image, options), png);
    options.maxThreads = 3;
    QCOMPARE(encodePng(image, options), png);

    const QImage back = decoded(*png);
    QVERIFY2(!back.isNull(), "the PNG did not decode");
    QCOMPARE(back.size(), image.size());
    QCOMPARE(back.hasAlphaChannel(), image.hasAlphaChannel());
    // Straight (not premultiplied) 8-bit values must come back unchanged.
    const QImage::Format common = image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    QCOMPARE(back.convertToFormat(common), image.convertToFormat(common));

    const int channels = image.hasAlphaChannel() ? 4 : 3;
    const qsizetype filteredSize = qsizetype(image.height()) * (qsizetype(image.width()) * channels + 1);
    QCOMPARE(inflatedImageData(*png, filteredSize).size(), filteredSize);
}

void PngEncoderTest::nullImageGivesNothing()
{
    QVERIFY(!encodePng(QImage()).has_value());
}

void PngEncoderTest::encodingWhileRowsArrive_data()
{
    QTest::addColumn<int>("rowsAtOnce");
    QTest::addColumn<int>("ending");
    // 0: complete; 1: the grab failed; 2: the grab began again into
    // another picture; 3: given up before it ended.
    QTest::newRow("row by row") << 1 << 0;
    QTest::newRow("in bands") << 97 << 0;
    QTest::newRow("grab failed") << 97 << 1;
    QTest::newRow("another picture") << 97 << 2;
    QTest::newRow("given up") << 97 << 3;
}

void PngEncoderTest::encodingWhileRowsArrive()
{
    QFETCH(int, rowsAtOnce);
    QFETCH(int, ending);
    // Rows arrive into memory the picture does not own, as a grab's do,
    // written only just before they are told of: an encoder that read a row
    // early would read the noise left there.
    const QImage final = screenshotLike(1203, 911, QImage::Format_RGB32);
    std::vector<uchar> memory(size_t(final.sizeInBytes()));
    QRandomGenerator noise(7);
    for (uchar &byte : memory)
        byte = uchar(noise.bounded(256));
    const QImage picture(memory.data(), final.width(), final.height(), final.bytesPerLine(), QImage::Format_RGB32);
    const std::optional<QByteArray> fresh = encodePng(final);
    QVERIFY(fresh);

    std::optional<QFuture<std::optional<QByteArray>>> encoding;
    std::optional<EarlyPng> early;
    {
        ArrivingPngEncoding arriving;
        const int arriveUntil = ending == 0 ? final.height() : final.height() / 2;
        std::thread grab([&] {
            for (int row = 0; row < arriveUntil; row += rowsAtOnce) {
                const int rows = std::min(rowsAtOnce, arriveUntil - row);
                std::memcpy(memory.data() + qsizetype(row) * final.bytesPerLine(), final.constScanLine(row),
                            size_t(rows) * size_t(final.bytesPerLine()));
                arriving.rowsArrived(picture, row + rows);
            }
        });
        grab.join();
        encoding = arriving.encoding();
        QVERIFY(encoding);
        const QImage other = final.copy();
        if (ending == 0)
            early = arriving.finish(&picture);
        else if (ending == 1)
            early = arriving.finish(nullptr);
        else if (ending == 2)
            early = arriving.finish(&other);
    }
    encoding->waitForFinished();
    if (ending != 0) {
        // Nothing made, and nothing goes along with the picture.
        QVERIFY(!encoding->result());
        QVERIFY(!early);
        return;
    }
    // The same file as encoding the complete picture, and the one that goes
    // along with it: rows written into the memory afterwards are not read
    // again.
    QVERIFY(early);
    std::memset(memory.data(), 0, memory.size());
    QCOMPARE(early->result(), fresh);
    // It stands for that very picture alone: a copy until written to, never
    // the picture cropped, scaled or changed.
    const QImage shared = picture;
    QVERIFY(early->encodes(shared));
    QVERIFY(!early->encodes(picture.copy()));
    QVERIFY(!early->encodes(picture.copy(0, 0, picture.width(), picture.height() - 1)));
    QVERIFY(!early->encodes(picture.scaled(picture.size() / 2)));
    QImage changed = picture;
    changed.setPixel(0, 0, qRgb(1, 2, 3));
    QVERIFY(!early->encodes(changed));
    QVERIFY(!early->encodes(QImage()));
}

QTEST_MAIN(PngEncoderTest)
#include "tst_pngencoder.moc"
