#include "platform/PixelCopy.h"

#include <QImage>
#include <QRandomGenerator>
#include <QTest>

using namespace tessaline;

namespace {

// The result every pixel must have, written out per channel.
quint32 expectedPixel(quint32 p, PixelCopy::Tone tone)
{
    if (tone == PixelCopy::Tone::unchanged)
        return p | 0xff000000u;
    const auto keep = [](quint32 channel) { return (channel * PixelCopy::dimmedKeepOf256) >> 8; };
    return 0xff000000u | keep((p >> 16) & 0xff) << 16 | keep((p >> 8) & 0xff) << 8 | keep(p & 0xff);
}

} // namespace

class PixelCopyTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyPixelLandsOpaqueWhereItBelongs_data();
    void everyPixelLandsOpaqueWhereItBelongs();
    void aSampledPictureTakesEachPixelsNearest_data();
    void aSampledPictureTakesEachPixelsNearest();
};

void PixelCopyTest::everyPixelLandsOpaqueWhereItBelongs_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("from");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<bool>("dimmed");
    // Odd widths and offsets put rows off the 16-byte boundary, so the
    // unaligned head and tail around the vector loop are exercised; the
    // large one is split over threads and written past the cache.
    QTest::newRow("one pixel") << QSize(1, 1) << QRect(0, 0, 1, 1) << QPoint(0, 0) << true;
    QTest::newRow("narrow, shifted") << QSize(37, 9) << QRect(3, 2, 29, 5) << QPoint(5, 1) << true;
    QTest::newRow("narrow, as it is") << QSize(37, 9) << QRect(1, 0, 35, 9) << QPoint(0, 0) << false;
    QTest::newRow("screen-sized, dimmed") << QSize(2563, 1700) << QRect(1, 3, 2561, 1695) << QPoint(2, 1) << true;
    QTest::newRow("screen-sized, as it is") << QSize(2563, 1700) << QRect(0, 0, 2563, 1700) << QPoint(0, 0) << false;
}

void PixelCopyTest::everyPixelLandsOpaqueWhereItBelongs()
{
    QFETCH(QSize, size);
    QFETCH(QRect, from);
    QFETCH(QPoint, to);
    QFETCH(bool, dimmed);
    const auto tone = dimmed ? PixelCopy::Tone::dimmed : PixelCopy::Tone::unchanged;
    // Grabs leave any value in the pad byte; random pixels cover every
    // channel value and carry.
    QImage source(size, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < size.height(); ++y)
        random.fillRange(reinterpret_cast<quint32 *>(source.scanLine(y)), size.width());
    const quint32 untouched = 0x12345678u;
    QImage target(size, QImage::Format_ARGB32_Premultiplied);
    target.fill(untouched);

    PixelCopy::copy(PixelArea{source.constScanLine(from.y()) + from.x() * 4, source.bytesPerLine(),
                              target.scanLine(to.y()) + to.x() * 4, target.bytesPerLine(), from.width(), from.height()},
                    tone);

    const QRect written(to, from.size());
    for (int y = 0; y < size.height(); ++y) {
        const auto *out = reinterpret_cast<const quint32 *>(target.constScanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const QPoint p(x, y);
            const quint32 wanted = written.contains(p)
                ? expectedPixel(reinterpret_cast<const quint32 *>(source.constScanLine(y - to.y() + from.y()))[x - to.x() + from.x()], tone)
                : untouched;
            if (out[x] != wanted)
                QFAIL(qPrintable(QStringLiteral("pixel %1,%2 is %3, not %4")
                                     .arg(x).arg(y).arg(out[x], 8, 16, QLatin1Char('0')).arg(wanted, 8, 16, QLatin1Char('0'))));
        }
    }
}

void PixelCopyTest::aSampledPictureTakesEachPixelsNearest_data()
{
    QTest::addColumn<QSize>("from");
    QTest::addColumn<QSize>("to");
    QTest::addColumn<QImage::Format>("format");
    QTest::newRow("a 5K display to a preview's four times") << QSize(5120, 2880) << QSize(1280, 720)
                                                            << QImage::Format_RGB32;
    QTest::newRow("by an uneven ratio, with alpha") << QSize(1001, 333) << QSize(997, 61)
                                                    << QImage::Format_ARGB32_Premultiplied;
    QTest::newRow("one row") << QSize(640, 1) << QSize(7, 1) << QImage::Format_ARGB32;
    QTest::newRow("another format, left to Qt") << QSize(300, 200) << QSize(75, 50) << QImage::Format_RGB888;
}

// Each pixel of the result is one of the picture's under it, whatever the
// ratio: every pixel's colour here names its place.
void PixelCopyTest::aSampledPictureTakesEachPixelsNearest()
{
    QFETCH(QSize, from);
    QFETCH(QSize, to);
    QFETCH(QImage::Format, format);
    QImage picture(from, QImage::Format_ARGB32);
    for (int y = 0; y < from.height(); ++y) {
        auto *line = reinterpret_cast<quint32 *>(picture.scanLine(y));
        for (int x = 0; x < from.width(); ++x)
            line[x] = 0xff000000u | quint32(x * from.height() + y);
    }
    picture = picture.convertToFormat(format);
    const QImage sampled = PixelCopy::sampled(picture, to);
    QCOMPARE(sampled.size(), to);
    QCOMPARE(sampled.format(), format);
    const QImage named = sampled.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < to.height(); ++y) {
        const auto *line = reinterpret_cast<const quint32 *>(named.constScanLine(y));
        for (int x = 0; x < to.width(); ++x) {
            const qint64 place = line[x] & 0xffffff;
            const qint64 column = place / from.height();
            const qint64 row = place % from.height();
            // Under the pixel: reaching past its left edge, starting before
            // its right one.
            if ((column + 1) * to.width() <= qint64(x) * from.width()
                || column * to.width() >= qint64(x + 1) * from.width()
                || (row + 1) * to.height() <= qint64(y) * from.height()
                || row * to.height() >= qint64(y + 1) * from.height())
                QFAIL(qPrintable(QStringLiteral("(%1, %2) took (%3, %4)").arg(x).arg(y).arg(column).arg(row)));
        }
    }
}

QTEST_APPLESS_MAIN(PixelCopyTest)
#include "tst_pixelcopy.moc"
