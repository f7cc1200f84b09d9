#include "platform/ZlibStripStream.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QTest>
#include <QtEndian>

using namespace tessaline;

namespace {

// Strip `index`: rows of a screen-like pattern with some noise, so matches
// reach across rows and some bytes stay literals.
QByteArray strip(size_t index, int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(quint32(index) + 1);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(i % 97 < 60 ? (i / 301) % 7 : random.bounded(256));
    return bytes;
}

struct Made
{
    QByteArray stream;
    QByteArray whole;
};

std::optional<Made> compressed(int strips, int stripSize, int level, int threads, int failing = -1)
{
    Made made;
    for (int i = 0; i < strips; ++i)
        made.whole += strip(size_t(i), stripSize);
    ZlibStripStream::Options options;
    options.level = level;
    options.maxThreads = threads;
    options.rowStride = 301;
    auto stream = ZlibStripStream::compress(
        size_t(strips),
        [&](size_t index, ZlibStripStream::StripBytes &bytes) {
            if (int(index) == failing)
                return false;
            const QByteArray piece = strip(index, stripSize);
            bytes.assign(piece.begin(), piece.end());
            return true;
        },
        options);
    if (!stream)
        return std::nullopt;
    const size_t size = stream->size();
    for (size_t i = 0; i < stream->pieceCount(); ++i) {
        const std::span<const uint8_t> piece = stream->piece(i);
        made.stream.append(reinterpret_cast<const char *>(piece.data()), qsizetype(piece.size()));
        stream->releasePiece(i);
    }
    if (made.stream.size() != qsizetype(size))
        return std::nullopt;
    return made;
}

QByteArray inflated(const QByteArray &zlib, qsizetype size)
{
    QByteArray framed(4, 0);
    qToBigEndian(quint32(size), framed.data());
    return qUncompress(framed + zlib);
}

} // namespace

class ZlibStripStreamTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void oneStreamWhateverTheThreads_data();
    void oneStreamWhateverTheThreads();
    void aStripThatCannotBeMadeGivesNothing();
};

void ZlibStripStreamTest::oneStreamWhateverTheThreads_data()
{
    QTest::addColumn<int>("strips");
    QTest::addColumn<int>("stripSize");
    QTest::addColumn<int>("level");
    QTest::newRow("ours, many strips") << 23 << 9000 << 0;
    QTest::newRow("ours, one strip") << 1 << 70000 << 0;
    QTest::newRow("libdeflate fastest") << 11 << 20000 << 1;
    QTest::newRow("libdeflate smallest, tiny strips") << 9 << 3 << 12;
}

// The same bytes from one thread and from seven, and zlib (which checks the
// combined Adler-32) reads them as the strips one after the other.
void ZlibStripStreamTest::oneStreamWhateverTheThreads()
{
    QFETCH(int, strips);
    QFETCH(int, stripSize);
    QFETCH(int, level);
    const auto single = compressed(strips, stripSize, level, 1);
    const auto parallel = compressed(strips, stripSize, level, 7);
    QVERIFY(single && parallel);
    QCOMPARE(parallel->stream, single->stream);
    QCOMPARE(inflated(single->stream, single->whole.size()), single->whole);
}

void ZlibStripStreamTest::aStripThatCannotBeMadeGivesNothing()
{
    QVERIFY(!compressed(12, 5000, 0, 4, 7));
    QVERIFY(!compressed(12, 5000, 1, 4, 0));
}

QTEST_MAIN(ZlibStripStreamTest)
#include "tst_zlibstripstream.moc"
