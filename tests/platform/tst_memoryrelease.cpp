#include "platform/MemoryRelease.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
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
        if (!hugePagesPay())
            QSKIP("huge pages do not pay on this machine, and none are asked for");
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
        QCOMPARE(bytesInHugePages(0).size(), 0);
        std::memset(bytes.data(), 1, size_t(size));
        if (!hugePagesPay())
            QSKIP("huge pages do not pay on this machine: the array is a plain one");
        const qint64 grown = hugePagesKiB() - before;
        QVERIFY2(grown * 1024 >= size, qPrintable(QString::number(grown)));
    }

    void hugePagesPayUnlessABalloonReportsFreeMemory_data()
    {
        QTest::addColumn<QStringList>("devices"); // kind, then features, per device
        QTest::addColumn<bool>("pay");
        const QString balloon = QStringLiteral("0x0005");
        QTest::newRow("no devices") << QStringList() << true;
        QTest::newRow("a balloon that reports free pages")
            << QStringList{QStringLiteral("0x0002"), QStringLiteral("0010011"), balloon, QStringLiteral("0110010100")}
            << false;
        QTest::newRow("a balloon that does not") << QStringList{balloon, QStringLiteral("0110000100")} << true;
        QTest::newRow("the same bit of another device") << QStringList{QStringLiteral("0x0001"), QStringLiteral("0000011")}
                                                        << true;
        QTest::newRow("a balloon whose features cannot be read") << QStringList{balloon, QString()} << true;
    }

    void hugePagesPayUnlessABalloonReportsFreeMemory()
    {
        QFETCH(QStringList, devices);
        QFETCH(bool, pay);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        for (qsizetype i = 0; i + 1 < devices.size(); i += 2) {
            const QString device = root.filePath(QStringLiteral("virtio%1").arg(i / 2));
            QVERIFY(QDir().mkpath(device));
            QFile kind(device + QStringLiteral("/device"));
            QVERIFY(kind.open(QIODevice::WriteOnly));
            kind.write(devices.at(i).toLatin1() + '\n');
            if (devices.at(i + 1).isEmpty())
                continue;
            QFile features(device + QStringLiteral("/features"));
            QVERIFY(features.open(QIODevice::WriteOnly));
            features.write(devices.at(i + 1).toLatin1() + '\n');
        }
        QCOMPARE(hugePagesPayWith(root.path()), pay);
        QVERIFY(hugePagesPayWith(root.filePath(QStringLiteral("absent"))));
    }
};

QTEST_GUILESS_MAIN(TestMemoryRelease)
#include "tst_memoryrelease.moc"
