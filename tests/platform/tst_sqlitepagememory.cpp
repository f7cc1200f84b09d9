#include "platform/SqlitePageMemory.h"

#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

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
            for (int round = 0; round < 3; ++round) {
                picture[round] = char(round + 1);
                QVERIFY(run(writer, QStringLiteral("INSERT INTO picture (id, bytes) VALUES (?, ?)"), {round, picture}));
                // Written into the pages the last picture's read-back left.
                if (round > 0)
                    QVERIFY2(keptSqlitePageBytes() < pictureBytes / 4, qPrintable(QString::number(keptSqlitePageBytes())));
                QVERIFY(emptyWritersCache());
                // All but the first pages, which the cache holds in one block.
                QVERIFY2(keptSqlitePageBytes() >= pictureBytes / 2, qPrintable(QString::number(keptSqlitePageBytes())));

                // Read back through the cache, as the picture is still in the
                // log: into kept pages too.
                QSqlQuery read(writer);
                QVERIFY(read.exec(QStringLiteral("SELECT bytes FROM picture WHERE id = %1").arg(round)) && read.next());
                QCOMPARE(read.value(0).toByteArray(), picture);
                read.finish();
                QVERIFY2(keptSqlitePageBytes() < pictureBytes / 4, qPrintable(QString::number(keptSqlitePageBytes())));
                QVERIFY(emptyWritersCache());
            }

            releaseKeptSqlitePages();
            QCOMPARE(keptSqlitePageBytes(), 0);
            // A thread that did not ask keeps nothing.
            keepSqlitePagesOnThisThread(false);
            QVERIFY(run(writer, QStringLiteral("SELECT length(bytes) FROM picture")));
            QVERIFY(emptyWritersCache());
            QCOMPARE(keptSqlitePageBytes(), 0);
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
