#include "platform/DeflateStreamShape.h"

#include <libdeflate.h>

#include <QByteArray>
#include <QRandomGenerator>
#include <QTest>

#include <memory>
#include <vector>

using namespace tessaline;

namespace {

QByteArray randomBytes(int size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    for (char &byte : bytes)
        byte = char(random.generate());
    return bytes;
}

QByteArray text(int size)
{
    QByteArray bytes;
    QRandomGenerator random(9);
    while (bytes.size() < size)
        bytes += QByteArray("row ") + QByteArray::number(random.bounded(1000)) + " of the capture; ";
    return bytes.left(size);
}

// A complete stream from libdeflate, with the slack the walker reads into.
std::vector<uint8_t> deflated(const QByteArray &input, int level)
{
    libdeflate_compressor *compressor = libdeflate_alloc_compressor(level);
    const size_t bound = libdeflate_deflate_compress_bound(compressor, size_t(input.size()));
    std::vector<uint8_t> out(bound + 16, 0);
    out.resize(libdeflate_deflate_compress(compressor, input.constData(), size_t(input.size()), out.data(), bound));
    libdeflate_free_compressor(compressor);
    return out;
}

QByteArray inflated(const std::vector<uint8_t> &stream, size_t size)
{
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    libdeflate_decompressor *decompressor = libdeflate_alloc_decompressor();
    const libdeflate_result result =
        libdeflate_deflate_decompress(decompressor, stream.data(), stream.size(), out.data(), size, nullptr);
    libdeflate_free_decompressor(decompressor);
    return result == LIBDEFLATE_SUCCESS ? out : QByteArray("failed");
}

} // namespace

class DeflateStreamShapeTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void joinedPiecesInflateToTheWhole_data();
    void joinedPiecesInflateToTheWhole();
    void damagedStreamsGiveNothing_data();
    void damagedStreamsGiveNothing();
};

void DeflateStreamShapeTest::joinedPiecesInflateToTheWhole_data()
{
    QTest::addColumn<QByteArray>("piece");
    QTest::addColumn<int>("level");
    QTest::newRow("stored blocks") << randomBytes(100000, 1) << 0;
    QTest::newRow("fixed codes") << QByteArray("ab") << 1;
    QTest::newRow("dynamic codes, fast") << text(70000) << 1;
    QTest::newRow("dynamic codes, several blocks") << text(400000) << 9;
    QTest::newRow("incompressible at a compressing level") << randomBytes(5000, 2) << 6;
    QTest::newRow("empty") << QByteArray() << 6;
}

// Three pieces compressed apart, the first two made joinable, read as one
// stream by an ordinary inflater.
void DeflateStreamShapeTest::joinedPiecesInflateToTheWhole()
{
    QFETCH(QByteArray, piece);
    QFETCH(int, level);
    std::vector<uint8_t> joined;
    for (int i = 0; i < 3; ++i) {
        std::vector<uint8_t> stream = deflated(piece, level);
        const size_t size = stream.size();
        const auto shape = DeflateStreamShape::of(stream.data(), size);
        QVERIFY(shape);
        QVERIFY(shape->endBit <= size * 8 && shape->endBit + 8 > size * 8);
        QVERIFY(shape->finalBlockStart < shape->endBit);
        if (i < 2) {
            stream.resize(size + 16, 0);
            const auto joinable = makeDeflateStreamJoinable(stream.data(), size);
            QVERIFY(joinable);
            QVERIFY(*joinable <= size + 5);
            stream.resize(*joinable);
        }
        joined.insert(joined.end(), stream.begin(), stream.end());
    }
    QCOMPARE(inflated(joined, size_t(piece.size()) * 3), piece + piece + piece);
}

void DeflateStreamShapeTest::damagedStreamsGiveNothing_data()
{
    QTest::addColumn<QByteArray>("stream");
    const std::vector<uint8_t> good = deflated(text(20000), 6);
    QTest::newRow("reserved block type") << QByteArray("\x07", 1);
    QTest::newRow("stored length without its complement") << QByteArray("\x01\x05\x00\x05\x00", 5);
    QTest::newRow("cut short") << QByteArray(reinterpret_cast<const char *>(good.data()), qsizetype(good.size() / 2));
    // A dynamic header whose code-length code has no code for what follows.
    QTest::newRow("undecodable code lengths") << QByteArray("\x05\xE0\xFF\xFF\xFF\xFF", 6);
    QTest::newRow("no final block") << QByteArray("\x00\x00\x00\xFF\xFF", 5);
}

void DeflateStreamShapeTest::damagedStreamsGiveNothing()
{
    QFETCH(QByteArray, stream);
    std::vector<uint8_t> bytes(stream.begin(), stream.end());
    const size_t size = bytes.size();
    bytes.resize(size + 16, 0);
    QVERIFY(!DeflateStreamShape::of(bytes.data(), size));
    QVERIFY(!makeDeflateStreamJoinable(bytes.data(), size));
}

QTEST_MAIN(DeflateStreamShapeTest)
#include "tst_deflatestreamshape.moc"
