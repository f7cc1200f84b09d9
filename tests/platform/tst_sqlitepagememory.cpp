#include "platform/SqlitePageMemory.h"

#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <cstring>

using namespace tessaline;

namespace {

constexpr qsizetype pictureBytes = qsizetype(6) << 20;

QSqlDatabase openLibrary(const QString &name, const QString &path)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(path);
    if (!db.open())
        return {};
    QSqlQuery pragma(db);
    pragma.exec(QStringLiteral("PRAGMA page_size = 65536"));
    pragma.exec(QStringLiteral("PRAGMA journal_mode = WAL"));
    // Room for a whole picture, as the library writer makes.
    pragma.exec(QStringLiteral("PRAGMA cache_size = -20000"));
    return db;
}

bool run(const QSqlDatabase &db, const QString &statement, const QVariantList &values = {})
{
    QSqlQuery query(db);
    query.prepare(statement);
    for (const QVariant &value : values)
        query.addBindValue(value);
    return query.exec();
}

} // namespace

class TestSqlitePageMemory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(installSqlitePageMemory());
    }

    // Blocks cut from a slab answer SQLite's questions of size, keep their
    // bytes when grown or moved to the heap, and a slab goes back only once
    // SQLite holds none of its blocks.
    void slabBlocksBehaveAsTheHeapsDo()
    {
        keepSqlitePagesOnThisThread(true);
        const auto filled = [](void *block, int bytes, char seed) {
            for (int i = 0; i < bytes; ++i)
                static_cast<char *>(block)[i] = char(seed + i * 7);
        };
        const auto holds = [](const void *block, int bytes, char seed) {
            for (int i = 0; i < bytes; ++i) {
                if (static_cast<const char *>(block)[i] != char(seed + i * 7))
                    return false;
            }
            return true;
        };

        void *grown = sqlite3_malloc(5000);
        QVERIFY(grown);
        QCOMPARE(sqlite3_msize(grown), sqlite3_uint64(5000));
        QVERIFY(sqlitePageSlabBytes() > 0);
        filled(grown, 5000, 1);
        grown = sqlite3_realloc(grown, 9000);
        QVERIFY(grown);
        QCOMPARE(sqlite3_msize(grown), sqlite3_uint64(9000));
        QVERIFY(holds(grown, 5000, 1));
        // Past a page's size: the heap's, with the bytes.
        filled(grown, 9000, 2);
        void *large = sqlite3_realloc(grown, 200'000);
        QVERIFY(large);
        QVERIFY(sqlite3_msize(large) >= 200'000);
        QVERIFY(holds(large, 9000, 2));
        sqlite3_free(large);

        void *held = sqlite3_malloc(6000);
        void *freed = sqlite3_malloc(6000);
        QVERIFY(held && freed);
        filled(held, 6000, 3);
        const qint64 keptBefore = keptSqlitePageBytes();
        sqlite3_free(freed);
        QCOMPARE(keptSqlitePageBytes(), keptBefore + 6000);
        // SQLite still holds a block: its slab stays, and the blocks freed
        // in it stay kept for the next to ask.
        releaseKeptSqlitePages();
        QVERIFY(sqlitePageSlabBytes() > 0);
        QVERIFY(keptSqlitePageBytes() >= 6000);
        QVERIFY(holds(held, 6000, 3));
        void *again = sqlite3_malloc(6000);
        QCOMPARE(again, freed);
        sqlite3_free(again);
        sqlite3_free(held);
        releaseKeptSqlitePages();
        QCOMPARE(sqlitePageSlabBytes(), 0);
        QCOMPARE(keptSqlitePageBytes(), 0);

        // A thread that did not ask cuts no slab, and a slab block it frees
        // is kept all the same: it has nowhere else to go.
        void *cut = sqlite3_malloc(7000);
        const qint64 slabs = sqlitePageSlabBytes();
        keepSqlitePagesOnThisThread(false);
        void *heap = sqlite3_malloc(7000);
        QVERIFY(cut && heap);
        QCOMPARE(sqlitePageSlabBytes(), slabs);
        sqlite3_free(heap);
        sqlite3_free(cut);
        QCOMPARE(keptSqlitePageBytes(), 7000);
        releaseKeptSqlitePages();
        QCOMPARE(sqlitePageSlabBytes(), 0);
        QCOMPARE(keptSqlitePageBytes(), 0);

        // A block of just a page's size, the pager's scratch page that
        // lives with the connection, is the heap's: it holds no slab.
        keepSqlitePagesOnThisThread(true);
        void *scratch = sqlite3_malloc(8192);
        QVERIFY(scratch);
        QCOMPARE(sqlitePageSlabBytes(), 0);
        sqlite3_free(scratch);
        releaseKeptSqlitePages();
        keepSqlitePagesOnThisThread(false);
        QCOMPARE(keptSqlitePageBytes(), 0);
    }

    // The writer's cache, emptied by another connection's write, is filled
    // again from the pages it kept, not from fresh memory, and what it
    // stores and reads back is unchanged by that.
    void aCacheEmptiedByAnotherWriteRefillsFromKeptPages()
    {
        QTemporaryDir directory;
        QVERIFY(directory.isValid());
        const QString path = directory.filePath(QStringLiteral("library.sqlite"));
        {
            QSqlDatabase writer = openLibrary(QStringLiteral("writer"), path);
            QSqlDatabase other = openLibrary(QStringLiteral("other"), path);
            QVERIFY(writer.isOpen() && other.isOpen());
            QVERIFY(run(writer, QStringLiteral("CREATE TABLE picture (id INTEGER PRIMARY KEY, bytes BLOB)")));
            QVERIFY(run(writer, QStringLiteral("CREATE TABLE card (id INTEGER PRIMARY KEY)")));

            QByteArray picture(pictureBytes, Qt::Uninitialized);
            QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(picture.data()), picture.size() / 4);
            const auto emptyWritersCache = [&] {
                // The card's row, as the main connection writes it after
                // each picture; the writer's next transaction sees it.
                return run(other, QStringLiteral("INSERT INTO card DEFAULT VALUES"))
                       && run(writer, QStringLiteral("SELECT count(*) FROM card"));
            };

            keepSqlitePagesOnThisThread(true);
            qint64 firstSlabs = 0;
            for (int round = 0; round < 3; ++round) {
                picture[round] = char(round + 1);
                QVERIFY(run(writer, QStringLiteral("INSERT INTO picture (id, bytes) VALUES (?, ?)"), {round, picture}));
                // Written into the pages the last picture's read-back left.
                if (round > 0)
                    QVERIFY2(keptSqlitePageBytes() < pictureBytes / 4, qPrintable(QString::number(keptSqlitePageBytes())));
                QVERIFY(emptyWritersCache());
                // All but the first pages, which the cache holds in one block.
                QVERIFY2(keptSqlitePageBytes() >= pictureBytes / 2, qPrintable(QString::number(keptSqlitePageBytes())));
                // Cut from slabs the first time, which the later pictures
                // reuse rather than grow.
                if (round == 0)
                    firstSlabs = sqlitePageSlabBytes();
                QVERIFY2(firstSlabs >= pictureBytes / 2, qPrintable(QString::number(firstSlabs)));
                QVERIFY2(sqlitePageSlabBytes() <= firstSlabs + (qint64(4) << 20),
                         qPrintable(QString::number(sqlitePageSlabBytes())));

                // Read back through the cache, as the picture is still in the
                // log: into kept pages too.
                QSqlQuery read(writer);
                QVERIFY(read.exec(QStringLiteral("SELECT bytes FROM picture WHERE id = %1").arg(round)) && read.next());
                QCOMPARE(read.value(0).toByteArray(), picture);
                read.finish();
                QVERIFY2(keptSqlitePageBytes() < pictureBytes / 4, qPrintable(QString::number(keptSqlitePageBytes())));
                QVERIFY(emptyWritersCache());
            }

            // As the writer lets its large cache go; the other connection,
            // on this thread here, has its pages cut from the slabs too.
            QVERIFY(run(writer, QStringLiteral("PRAGMA shrink_memory")));
            QVERIFY(run(other, QStringLiteral("PRAGMA shrink_memory")));
            releaseKeptSqlitePages();
            QCOMPARE(keptSqlitePageBytes(), 0);
            QCOMPARE(sqlitePageSlabBytes(), 0);
            // A thread that did not ask keeps nothing.
            keepSqlitePagesOnThisThread(false);
            QVERIFY(run(writer, QStringLiteral("SELECT length(bytes) FROM picture")));
            QVERIFY(emptyWritersCache());
            QCOMPARE(keptSqlitePageBytes(), 0);
            QCOMPARE(sqlitePageSlabBytes(), 0);
            writer.close();
            other.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("writer"));
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
        // Too late once SQLite runs: its own memory stays.
        QVERIFY(!installSqlitePageMemory());
    }
};

QTEST_GUILESS_MAIN(TestSqlitePageMemory)
#include "tst_sqlitepagememory.moc"
