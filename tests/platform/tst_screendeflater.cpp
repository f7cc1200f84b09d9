#include "platform/ScreenDeflater.h"

#include <libdeflate.h>

#include <QByteArray>
#include <QRandomGenerator>
#include <QTest>

#include <vector>

using namespace tessaline;

namespace {

// Bytes whose values follow a steep geometric law, in no repeating order:
// the rarest ones would need Huffman codes longer than DEFLATE allows.
QByteArray skewedBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(3);
    for (char &byte : bytes) {
        int value = 0;
        while (value < 255 && random.bounded(2) == 0)
            ++value;
        byte = char(value * 7);
    }
    return bytes;
}

QByteArray noise(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(5);
    for (char &byte : bytes)
        byte = char(random.generate());
    return bytes;
}

// Rows of a screen: flat runs, a few edges, the same row many times.
QByteArray screenRows(int rows, int stride)
{
    QByteArray bytes;
    for (int y = 0; y < rows; ++y) {
        QByteArray row(stride, char(y / 40));
        for (int x = (y * 13) % 50; x < stride; x += 50)
            row[x] = char(x + y % 3);
        bytes += row;
    }
    return bytes;
}

} // namespace

class ScreenDeflaterTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void piecesInflateToTheWhole_data();
    void piecesInflateToTheWhole();
};

void ScreenDeflaterTest::piecesInflateToTheWhole_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("stride");
    QTest::addColumn<int>("pieces");
    QTest::newRow("flat, long matches") << QByteArray(600000, 'x') << 1921 << 1;
    QTest::newRow("screen rows in three pieces") << screenRows(300, 1201) << 1201 << 3;
    QTest::newRow("noise, stored blocks over 64 KiB") << noise(180000) << 901 << 2;
    QTest::newRow("skewed bytes, long codes cut") << skewedBytes(360000) << 1200 << 1;
    QTest::newRow("one byte") << QByteArray("a") << 1 << 1;
    QTest::newRow("nothing") << QByteArray() << 1 << 1;
}

// Pieces compressed one after another by one deflater, all but the last
// open, read as one stream by an ordinary inflater.
void ScreenDeflaterTest::piecesInflateToTheWhole()
{
    QFETCH(QByteArray, data);
    QFETCH(int, stride);
    QFETCH(int, pieces);
    ScreenDeflater deflater;
    std::vector<uint8_t> stream;
    const qsizetype step = (data.size() + pieces - 1) / pieces;
    for (int i = 0; i < pieces; ++i) {
        QByteArray piece = data.mid(i * step, step);
        const qsizetype size = piece.size();
        piece.append(8, '\0');
        ScreenDeflater::Piece out;
        QVERIFY(deflater.compress(reinterpret_cast<const uint8_t *>(piece.constData()), size_t(size), size_t(stride),
                                  i + 1 == pieces, out));
        stream.insert(stream.end(), out.bytes.get(), out.bytes.get() + out.size);
    }
    QByteArray back(data.size() + 1, Qt::Uninitialized);
    size_t actual = 0;
    libdeflate_decompressor *decompressor = libdeflate_alloc_decompressor();
    const libdeflate_result result = libdeflate_deflate_decompress(decompressor, stream.data(), stream.size(),
                                                                   back.data(), size_t(back.size()), &actual);
    libdeflate_free_decompressor(decompressor);
    QCOMPARE(result, LIBDEFLATE_SUCCESS);
    QCOMPARE(back.left(qsizetype(actual)), data);
}

QTEST_MAIN(ScreenDeflaterTest)
#include "tst_screendeflater.moc"
