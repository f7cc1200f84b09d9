#include "platform/MemoryRelease.h"

#include <QFile>
#include <QTest>

#include <cstdlib>
#include <cstring>

using namespace tessaline;

namespace {

// What the kernel reports backed by huge pages in this process, in KiB.
qint64 hugePagesKiB()
{
    QFile rollup(QStringLiteral("/proc/self/smaps_rollup"));
    if (!rollup.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : rollup.readAll().split('\n')) {
        if (line.startsWith("AnonHugePages:"))
            return line.mid(14).trimmed().split(' ').constFirst().toLongLong();
    }
    return -1;
}

} // namespace

class TestMemoryRelease : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every whole huge page inside a range, however the range is placed:
    // a picture's buffer starts wherever its allocator put it.
    void hugePagesWhereWholeOnesFit()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the sanitizer's allocator places blocks its own way");
#endif
        QFile setting(QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled"));
        if (!setting.open(QIODevice::ReadOnly) || setting.readAll().contains("[never]"))
            QSKIP("this kernel gives no transparent huge pages");
        // As the app has it: a block this large comes straight from the system.
        returnLargeBlocksToSystem();
        const qint64 before = hugePagesKiB();
        QVERIFY(before >= 0);
        constexpr size_t bytes = size_t(24) << 20;
        // Off a page boundary, as a QByteArray's data is.
        char *block = static_cast<char *>(std::malloc(bytes + 16)) + 16;
        adviseHugePages(block, bytes);
        std::memset(block, 1, bytes);
        const qint64 after = hugePagesKiB();
        std::free(block - 16);
        // 24 MiB off the boundary holds at least eleven whole 2 MiB pages.
        QVERIFY2(after - before >= 11 * 2048, qPrintable(QString::number(after - before)));
    }

    void anArrayForHugePagesIsInThemWhole_data()
    {
        QTest::addColumn<qsizetype>("size");
        QTest::newRow("a 5K picture's PNG") << qsizetype(17 * 1024 * 1024 + 321);
        QTest::newRow("whole huge pages") << qsizetype(4 * 1024 * 1024);
        QTest::newRow("just over one") << qsizetype(2 * 1024 * 1024 + 1);
    }

    // To its last byte: a block placed anywhere leaves each end's part
    // short of a whole huge page in small ones.
    void anArrayForHugePagesIsInThemWhole()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the sanitizer's allocator places blocks its own way");
#endif
        QFETCH(qsizetype, size);
        QFile setting(QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled"));
        if (!setting.open(QIODevice::ReadOnly) || setting.readAll().contains("[never]"))
            QSKIP("this kernel gives no transparent huge pages");
        returnLargeBlocksToSystem();
        const qint64 before = hugePagesKiB();
        QByteArray bytes = bytesInHugePages(size);
        QCOMPARE(bytes.size(), size);
        std::memset(bytes.data(), 1, size_t(size));
        const qint64 grown = hugePagesKiB() - before;
        QVERIFY2(grown * 1024 >= size, qPrintable(QString::number(grown)));
        QCOMPARE(bytesInHugePages(0).size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestMemoryRelease)
#include "tst_memoryrelease.moc"
