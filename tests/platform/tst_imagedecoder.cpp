#include "platform/ImageDecoder.h"
#include "platform/PngEncoder.h"
#include "platform/TextRecognizer.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>
#include <QtEndian>

#include <functional>

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


constexpr char pngSignature[] = "\x89PNG\r\n\x1a\n";

quint32 adler32(const QByteArray &bytes)
{
    quint32 a = 1, b = 0;
    for (const char c : bytes) {
        a = (a + uchar(c)) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

// The PNG's compressed stream, its data chunks joined.
QByteArray idatStream(const QByteArray &png)
{
    QByteArray stream;
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const auto length = qsizetype(qFromBigEndian<quint32>(png.constData() + at));
        if (png.mid(at + 4, 4) == "IDAT")
            stream += png.mid(at + 8, length);
        at += length + 12;
    }
    return stream;
}

// The PNG's header chunk.
QByteArray ihdrChunk(const QByteArray &png)
{
    return png.mid(8, 25);
}

// A PNG of the header chunk and the stream cut into data chunks at `cuts`
// (offsets into the stream; repeated offsets make empty chunks).
QByteArray pngWithStream(const QByteArray &ihdr, const QByteArray &stream, QList<qsizetype> cuts = {})
{
    QByteArray png = QByteArray(pngSignature, 8) + ihdr;
    qsizetype from = 0;
    cuts << stream.size();
    for (const qsizetype cut : cuts) {
        png += chunk("IDAT", stream.mid(from, cut - from));
        from = cut;
    }
    return png + chunk("IEND", {});
}

QList<qsizetype> everyByte(qsizetype size)
{
    QList<qsizetype> cuts;
    for (qsizetype i = 1; i < size; ++i)
        cuts << i;
    return cuts;
}

// The opaque picture's rows as 8-bit RGB, each written with the filter
// `filterOfRow` picks (0 none, 1 sub, 2 up, 3 average, 4 Paeth; anything
// else is written as it is), in a stream of stored blocks, so every byte of
// it lies where the test put it; `rows` overrides how many rows are written.
QByteArray filteredStream(const QImage &image, const std::function<int(int)> &filterOfRow, int rows = -1)
{
    const int width = image.width();
    const qsizetype length = qsizetype(width) * 3;
    QByteArray raw, previous(length, '\0');
    for (int y = 0; y < (rows < 0 ? image.height() : rows); ++y) {
        QByteArray row(length, '\0');
        const auto *pixels = reinterpret_cast<const QRgb *>(image.constScanLine(y % image.height()));
        for (int x = 0; x < width; ++x) {
            row[3 * x] = char(qRed(pixels[x]));
            row[3 * x + 1] = char(qGreen(pixels[x]));
            row[3 * x + 2] = char(qBlue(pixels[x]));
        }
        const int filter = filterOfRow(y);
        raw += char(filter);
        for (qsizetype i = 0; i < length; ++i) {
            const int a = i >= 3 ? uchar(row[i - 3]) : 0;
            const int b = uchar(previous[i]);
            const int c = i >= 3 ? uchar(previous[i - 3]) : 0;
            const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
            const int predicted = filter == 1   ? a
                                  : filter == 2 ? b
                                  : filter == 3 ? (a + b) / 2
                                  : filter == 4 ? (pa <= pb && pa <= pc ? a : pb <= pc ? b : c)
                                                : 0;
            raw += char(uchar(row[i]) - predicted);
        }
        previous = row;
    }
    QByteArray stream("\x78\x01", 2);
    for (qsizetype at = 0; at < raw.size() || at == 0; at += 65535) {
        const auto blockLength = quint16(std::min<qsizetype>(65535, raw.size() - at));
        stream += char(at + blockLength >= raw.size() ? 1 : 0);
        stream += char(blockLength & 0xFF);
        stream += char(blockLength >> 8);
        stream += char(~blockLength & 0xFF);
        stream += char((~blockLength >> 8) & 0xFF);
        stream += raw.mid(at, blockLength);
    }
    QByteArray trailer(4, '\0');
    qToBigEndian<quint32>(adler32(raw), trailer.data());
    return stream + trailer;
}

QByteArray rgbHeader(quint32 width, quint32 height)
{
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(width, header.data());
    qToBigEndian<quint32>(height, header.data() + 4);
    header[8] = 8;
    header[9] = 2;
    return chunk("IHDR", header);
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
    void greyDecodeEqualsFullDecodeMadeGrey_data();
    void greyDecodeEqualsFullDecodeMadeGrey();
    void streamedDecodesFailAsFullDecodeDoes_data();
    void streamedDecodesFailAsFullDecodeDoes();
    void fittedDecodeAveragesWhatEachPixelCovers_data();
    void fittedDecodeAveragesWhatEachPixelCovers();
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

void ImageDecoderTest::greyDecodeEqualsFullDecodeMadeGrey_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("streamed"); // an opaque 8-bit PNG, read row by row
    const QImage opaque = picture(97, 61, QImage::Format_RGB32);
    const QByteArray ihdr = rgbHeader(97, 61);
    const char *filterNames[] = {"none", "sub", "up", "average", "Paeth"};
    for (int filter = 0; filter < 5; ++filter) {
        QTest::addRow("every row %s", filterNames[filter])
            << pngWithStream(ihdr, filteredStream(opaque, [&](int) { return filter; })) << true;
    }
    const QByteArray mixed = filteredStream(opaque, [](int y) { return y % 5; });
    QTest::newRow("filters in turn") << pngWithStream(ihdr, mixed) << true;
    // Stored blocks put row y at 2 + 5 + y × 292 in the stream.
    const qsizetype rowThree = 2 + 5 + 3 * (97 * 3 + 1);
    QTest::newRow("cut mid-row and just after a filter byte")
        << pngWithStream(ihdr, mixed, {rowThree + 150, rowThree + 292 + 1}) << true;
    QTest::newRow("cut in the stream's header and checksum, empty chunks")
        << pngWithStream(ihdr, mixed, {0, 1, 1, 2, mixed.size() - 2, mixed.size() - 1, mixed.size()}) << true;
    QTest::newRow("one-byte chunks, stored") << pngWithStream(ihdr, mixed, everyByte(mixed.size())) << true;

    // Compressed: the app's own encoder (strips joined into one stream) and
    // libpng through Qt.
    PngEncoderOptions options;
    options.stripBytes = 4096;
    const QByteArray own = *encodePng(opaque, options);
    QTest::newRow("own encoder") << own << true;
    QTest::newRow("own encoder, one-byte chunks")
        << pngWithStream(ihdrChunk(own), idatStream(own), everyByte(idatStream(own).size())) << true;
    const QByteArray viaQt = saved(picture(700, 500, QImage::Format_RGB32), "PNG", 0);
    QTest::newRow("libpng, many chunks") << viaQt << true;
    const QByteArray viaQtStream = idatStream(viaQt);
    QTest::newRow("libpng, odd cuts")
        << pngWithStream(ihdrChunk(viaQt), viaQtStream, {7, 8, 1000, 1001, viaQtStream.size() - 3}) << true;
    QTest::newRow("one pixel") << *encodePng(picture(1, 1, QImage::Format_RGB32)) << true;
    QTest::newRow("one column") << *encodePng(picture(1, 40, QImage::Format_RGB32)) << true;

    // Everything else is decoded in full and made grey.
    QTest::newRow("with alpha") << *encodePng(picture(40, 30, QImage::Format_ARGB32)) << false;
    QTest::newRow("grey") << saved(picture(40, 30, QImage::Format_Grayscale8), "PNG") << false;
    QTest::newRow("16-bit") << saved(picture(40, 30, QImage::Format_RGBA64), "PNG") << false;
    const QImage paletted = picture(40, 30, QImage::Format_RGB32).convertToFormat(QImage::Format_Indexed8);
    QTest::newRow("palette") << saved(paletted, "PNG") << false;
    QTest::newRow("JPEG") << saved(picture(40, 30, QImage::Format_RGB32), "JPG") << false;
}

// Whichever way the stream was cut and its rows filtered, the grey picture
// is the one the full decode gives, made grey; checked against Qt's own
// reader too, so both decoders cannot be wrong alike.
void ImageDecoderTest::greyDecodeEqualsFullDecodeMadeGrey()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, streamed);
    const auto full = ImageDecoder::decode(bytes);
    QVERIFY(full);
    const QImage expected = recognitionGreyImage(*full);
    const QImage byQt = QImage::fromData(bytes);
    QVERIFY(!byQt.isNull());
    QCOMPARE(recognitionGreyImage(byQt.convertToFormat(full->format())), expected);

    const auto grey = ImageDecoder::decodeGrey(bytes);
    QVERIFY(grey);
    QCOMPARE(grey->format(), QImage::Format_Grayscale8);
    QCOMPARE(*grey, expected);
    if (streamed)
        QCOMPARE(full->format(), QImage::Format_RGB32);
}

void ImageDecoderTest::streamedDecodesFailAsFullDecodeDoes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<ImageDecodeError>("error");
    const qint64 plenty = ImageDecoder::defaultAllocationLimit;
    const QImage opaque = picture(50, 20, QImage::Format_RGB32);
    const QByteArray ihdr = rgbHeader(50, 20);
    const QByteArray stream = filteredStream(opaque, [](int y) { return y % 5; });
    const QByteArray good = pngWithStream(ihdr, stream, {100, 101});
    QVERIFY(ImageDecoder::decodeGrey(good));

    QTest::newRow("cut short") << good.left(good.size() - 40) << plenty << ImageDecodeError::unreadable;
    QTest::newRow("no end chunk") << good.left(good.size() - 12) << plenty << ImageDecodeError::unreadable;
    QByteArray badCrc = good;
    badCrc[8 + 25 + 8 + 50] = char(badCrc.at(8 + 25 + 8 + 50) ^ 0x01); // in the first data chunk
    QTest::newRow("a chunk's checksum wrong") << badCrc << plenty << ImageDecodeError::unreadable;
    QByteArray badAdler = stream;
    badAdler[badAdler.size() - 1] = char(badAdler.at(badAdler.size() - 1) ^ 0x01);
    QTest::newRow("the stream's checksum wrong") << pngWithStream(ihdr, badAdler, {3}) << plenty
                                                 << ImageDecodeError::unreadable;
    QTest::newRow("unknown row filter")
        << pngWithStream(ihdr, filteredStream(opaque, [](int y) { return y == 7 ? 5 : 0; })) << plenty
        << ImageDecodeError::unreadable;
    QTest::newRow("rows missing")
        << pngWithStream(ihdr, filteredStream(opaque, [](int) { return 1; }, 19)) << plenty
        << ImageDecodeError::unreadable;
    QTest::newRow("rows beyond the picture")
        << pngWithStream(ihdr, filteredStream(opaque, [](int) { return 1; }, 21)) << plenty
        << ImageDecodeError::unreadable;
    QByteArray badBlock = stream;
    badBlock[2] = char(0x07); // a final block of the reserved type
    QTest::newRow("damaged compressed data") << pngWithStream(ihdr, badBlock) << plenty << ImageDecodeError::unreadable;
    const QByteArray compressed = idatStream(*encodePng(opaque));
    QByteArray garbled = compressed;
    for (qsizetype i = 10; i < garbled.size() - 10; i += 7)
        garbled[i] = char(~garbled.at(i));
    QTest::newRow("garbled compressed data") << pngWithStream(ihdr, garbled, {5}) << plenty
                                             << ImageDecodeError::unreadable;
    QTest::newRow("no data") << QByteArray(pngSignature, 8) + ihdr + chunk("IEND", {}) << plenty
                             << ImageDecodeError::unreadable;
    QTest::newRow("header claims a huge picture")
        << pngWithStream(rgbHeader(60000, 60000), stream) << plenty << ImageDecodeError::tooLarge;
    QTest::newRow("over a small limit") << good << qint64(50 * 20 * 4 - 1) << ImageDecodeError::tooLarge;
}

// Damaged pictures fail cleanly, with the error the full decode gives,
// whether read into grey or shrunk.
void ImageDecoderTest::streamedDecodesFailAsFullDecodeDoes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, limit);
    QFETCH(ImageDecodeError, error);
    const auto full = ImageDecoder::decode(bytes, limit);
    QVERIFY(!full);
    QCOMPARE(full.error(), error);
    const auto grey = ImageDecoder::decodeGrey(bytes, limit);
    QVERIFY(!grey);
    QCOMPARE(grey.error(), error);
    const auto fitted = ImageDecoder::decodeFitted(bytes, QSize(16, 16), limit);
    QVERIFY(!fitted);
    QCOMPARE(fitted.error(), error);
}

namespace {

// Cells of `cell` pixels, each of one colour of its own.
QImage cells(int columns, int rows, int cell)
{
    QImage image(columns * cell, rows * cell, QImage::Format_RGB32);
    QPainter painter(&image);
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column)
            painter.fillRect(column * cell, row * cell, cell, cell, QColor(column * 40, row * 60, 255 - column * 20));
    }
    painter.end();
    return image;
}

// Black and white pixels in turn: every 2×2 square averages to mid grey.
QImage checkerboard(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    }
    return image;
}

} // namespace

void ImageDecoderTest::fittedDecodeAveragesWhatEachPixelCovers_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("bound");
    QTest::addColumn<QImage>("expected"); // null: as Qt scales the full decode
    QTest::newRow("fits: as it is") << *encodePng(picture(97, 61, QImage::Format_RGB32)) << QSize(97, 61)
                                    << picture(97, 61, QImage::Format_RGB32);
    QTest::newRow("cells of 3 to one pixel each") << *encodePng(cells(5, 4, 3)) << QSize(5, 100) << cells(5, 4, 1);
    QTest::newRow("cells, the height deciding")
        << pngWithStream(rgbHeader(15, 12), filteredStream(cells(5, 4, 3), [](int y) { return y % 5; }), {9, 40})
        << QSize(100, 4) << cells(5, 4, 1);
    QImage grey(3, 2, QImage::Format_RGB32);
    grey.fill(QColor(128, 128, 128));
    QTest::newRow("checkerboard to mid grey") << *encodePng(checkerboard(6, 4)) << QSize(3, 3) << grey;
    // Everything else is decoded in full and scaled.
    QTest::newRow("with alpha") << *encodePng(picture(80, 30, QImage::Format_ARGB32)) << QSize(40, 40) << QImage();
    QTest::newRow("JPEG") << saved(picture(80, 30, QImage::Format_RGB32), "JPG") << QSize(40, 40) << QImage();
}

// A capture shrunk as it is read: each pixel the rounded mean of the cell
// it covers, at the size Qt's scaling gives; what is not streamed is Qt's
// smooth scaling of the full decode.
void ImageDecoderTest::fittedDecodeAveragesWhatEachPixelCovers()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, bound);
    QFETCH(QImage, expected);
    const auto full = ImageDecoder::decode(bytes);
    QVERIFY(full);
    const QSize size = full->size().width() <= bound.width() && full->size().height() <= bound.height()
        ? full->size()
        : full->size().scaled(bound, Qt::KeepAspectRatio);
    if (expected.isNull())
        expected = full->scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const auto fitted = ImageDecoder::decodeFitted(bytes, bound);
    QVERIFY(fitted);
    QCOMPARE(fitted->size(), size);
    QCOMPARE(fitted->convertToFormat(expected.format()), expected);
}

QTEST_MAIN(ImageDecoderTest)
#include "tst_imagedecoder.moc"
