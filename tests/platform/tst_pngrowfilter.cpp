#include "platform/PngRowFilter.h"

#include <QRandomGenerator>
#include <QTest>

#include <cstdlib>
#include <vector>

using namespace tessaline;

Q_DECLARE_METATYPE(tessaline::PngRowFilter)

namespace {

// Rows of random colour with runs and repeats, so every filter sees equal
// and differing neighbours.
QImage rows(int width, QImage::Format format)
{
    QImage image(width, 4, QImage::Format_ARGB32);
    QRandomGenerator random{quint32(width)};
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = x % 3 == 0 && x > 0 ? line[x - 1] : random.generate();
    }
    return image.convertToFormat(format);
}

// The decoder's side, written from the PNG format's definition.
std::vector<uint8_t> unfilter(const uint8_t *filtered, const std::vector<uint8_t> &previous, int bpp)
{
    const size_t length = previous.size();
    std::vector<uint8_t> row(length);
    for (size_t i = 0; i < length; ++i) {
        const int a = i >= size_t(bpp) ? row[i - bpp] : 0;
        const int b = previous[i];
        const int c = i >= size_t(bpp) ? previous[i - bpp] : 0;
        int predicted = 0;
        switch (filtered[0]) {
        case 1: predicted = a; break;
        case 2: predicted = b; break;
        case 4: {
            const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
            predicted = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            break;
        }
        default: break;
        }
        row[i] = uint8_t(filtered[1 + i] + predicted);
    }
    return row;
}

} // namespace

class PngRowFilterTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void filteredRowsComeBack_data();
    void filteredRowsComeBack();
};

void PngRowFilterTest::filteredRowsComeBack_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<PngRowFilter>("filter");
    const std::pair<const char *, QImage::Format> formats[] = {{"rgb32", QImage::Format_RGB32},
                                                                {"argb32", QImage::Format_ARGB32},
                                                                {"rgb888", QImage::Format_RGB888},
                                                                {"rgba8888", QImage::Format_RGBA8888}};
    const std::pair<const char *, PngRowFilter> filters[] = {{"none", PngRowFilter::None},
                                                              {"sub", PngRowFilter::Sub},
                                                              {"up", PngRowFilter::Up},
                                                              {"paeth", PngRowFilter::Paeth}};
    for (const auto &[formatName, format] : formats) {
        for (const auto &[filterName, filter] : filters)
            QTest::addRow("%s %s", formatName, filterName) << format << filter;
    }
}

// Whichever way a row is filtered (straight from the picture's words, four
// pixels at a time, or from its bytes), the decoder's inverse gives back
// the row's straight R, G, B (A) bytes; widths cover the vector path's
// groups of four and the tails after them.
void PngRowFilterTest::filteredRowsComeBack()
{
    QFETCH(QImage::Format, format);
    QFETCH(PngRowFilter, filter);
    for (const int width : {1, 4, 7, 37}) {
        const QImage image = rows(width, format);
        const auto source = PngPixelRows::make(image);
        QVERIFY(source);
        const int bpp = source->channels;
        QCOMPARE(bpp, image.hasAlphaChannel() ? 4 : 3);
        const size_t length = size_t(width) * size_t(bpp);
        std::vector<uint8_t> previous(length, 0), current(length), read(length);
        std::vector<uint8_t> fast(length + 1 + 4), reference(length + 1);
        for (int y = 0; y < image.height(); ++y) {
            source->readRow(y, read.data());
            const QColor pixel = image.pixelColor(width - 1, y);
            QCOMPARE(read[length - bpp], uint8_t(pixel.red()));
            QCOMPARE(read[length - bpp + 2], uint8_t(pixel.blue()));
            if (bpp == 4)
                QCOMPARE(read[length - 1], uint8_t(pixel.alpha()));

            readAndFilterPngRow(*source, y, filter, previous.data(), current.data(), fast.data());
            filterPngRow(filter, read.data(), previous.data(), length, bpp, reference.data());
            QCOMPARE(std::vector<uint8_t>(fast.begin(), fast.begin() + qsizetype(length) + 1), reference);
            QCOMPARE(unfilter(fast.data(), previous, bpp), read);
            previous = read;
        }
    }
}

QTEST_MAIN(PngRowFilterTest)
#include "tst_pngrowfilter.moc"
