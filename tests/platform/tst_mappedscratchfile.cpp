#include "platform/MappedScratchFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent/QtConcurrentMap>

#include <vector>

using namespace tessaline;

namespace {

// Bytes that tell one range, and one place in it, from another.
QByteArray pattern(int range, qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char((i * 31 + range * 7) % 251);
    return bytes;
}

} // namespace

class TestMappedScratchFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Ranges of any size, kept from several threads at once, read back as
    // written, also once their pages were dropped and after the file's own
    // handle went; the directory never shows the file.
    void rangesReadBackAsWritten_data()
    {
        QTest::addColumn<qsizetype>("size");
        QTest::newRow("one byte") << qsizetype(1);
        QTest::newRow("just under a page") << qsizetype(4095);
        QTest::newRow("a page") << qsizetype(4096);
        QTest::newRow("many pages and a bit") << qsizetype(300 * 1024 + 17);
    }
    void rangesReadBackAsWritten()
    {
        QFETCH(qsizetype, size);
        QTemporaryDir directory;
        const QString folder = directory.filePath(QStringLiteral("made/on/demand"));
        std::shared_ptr<MappedScratchFile> file = MappedScratchFile::create(folder);
        if (!file)
            QSKIP("this file system cannot hold a file without a name");
        std::vector<int> indices(24);
        for (int i = 0; i < int(indices.size()); ++i)
            indices[size_t(i)] = i;
        std::vector<std::unique_ptr<MappedScratchFile::Range>> ranges(indices.size());
        QtConcurrent::blockingMap(indices, [&](int i) { ranges[size_t(i)] = file->keep(pattern(i, size)); });
        file.reset();
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
        for (int i = 0; i < int(ranges.size()); ++i) {
            QVERIFY(ranges[size_t(i)]);
            QCOMPARE(ranges[size_t(i)]->size(), size);
            QCOMPARE(QByteArrayView(ranges[size_t(i)]->data(), size), pattern(i, size));
            ranges[size_t(i)]->dropPages();
            QCOMPARE(QByteArrayView(ranges[size_t(i)]->data(), size), pattern(i, size));
        }
        // Ranges going leave the others as they were.
        for (size_t i = 0; i < ranges.size(); i += 2)
            ranges[i].reset();
        for (size_t i = 1; i < ranges.size(); i += 2)
            QCOMPARE(QByteArrayView(ranges[i]->data(), size), pattern(int(i), size));
    }

    void nothingWhereNoFileCanBe()
    {
        QTemporaryDir directory;
        const QString plainFile = directory.filePath(QStringLiteral("plain"));
        QFile occupied(plainFile);
        QVERIFY(occupied.open(QIODevice::WriteOnly));
        occupied.close();
        QVERIFY(!MappedScratchFile::create(plainFile));
        QVERIFY(!MappedScratchFile::create(plainFile + QStringLiteral("/below")));
        QVERIFY(!MappedScratchFile::create(QString()));
        // Nothing to keep is no range.
        if (auto file = MappedScratchFile::create(directory.path()))
            QVERIFY(!file->keep(QByteArrayView()));
    }
};

QTEST_GUILESS_MAIN(TestMappedScratchFile)
#include "tst_mappedscratchfile.moc"
