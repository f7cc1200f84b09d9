#include "platform/SqliteRows.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

using namespace tessaline;

Q_DECLARE_METATYPE(tessaline::SqliteRows::Access)

namespace {

// Direct reading is there only where the driver uses this process's SQLite;
// elsewhere the rows go through the driver, which the other rows test.
void skipUnlessReachable(const QSqlDatabase &db, SqliteRows::Access access)
{
    if (access == SqliteRows::Access::direct && !SqliteRows(db, QStringLiteral("SELECT 1")).isDirect())
        QSKIP("Qt's SQLite driver carries an SQLite of its own here");
}

} // namespace

class SqliteRowsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void readsEachValueAsStored_data();
    void readsEachValueAsStored();
    void failuresAreNamed_data();
    void failuresAreNamed();
    void repeatedTextsShareOneBuffer_data();
    void repeatedTextsShareOneBuffer();
    void aBlobIsInsertedInPlace_data();
    void aBlobIsInsertedInPlace();

private:
    QSqlDatabase m_db;
};

void SqliteRowsTest::init()
{
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("rows"));
    m_db.setDatabaseName(QStringLiteral(":memory:"));
    QVERIFY(m_db.open());
}

void SqliteRowsTest::cleanup()
{
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("rows"));
}

void SqliteRowsTest::readsEachValueAsStored_data()
{
    QTest::addColumn<SqliteRows::Access>("access");
    QTest::newRow("direct") << SqliteRows::Access::direct;
    QTest::newRow("through the driver") << SqliteRows::Access::throughDriver;
}

void SqliteRowsTest::readsEachValueAsStored()
{
    QFETCH(SqliteRows::Access, access);
    skipUnlessReachable(m_db, access);
    const QString wide = QStringLiteral("Café — 😀");
    SqliteRows rows(m_db,
                    QStringLiteral("SELECT NULL, 42, 2.5, 'plain', '%1', '', '12', x'414243' "
                                   "UNION ALL SELECT 1, -7, 1e308, 'second', '', 'x', '', NULL")
                        .arg(wide),
                    access);
    QVERIFY(rows.next());
    QVERIFY(rows.isNull(0));
    QCOMPARE(rows.number(0), std::nullopt);
    QCOMPARE(rows.integer(0), 0);
    QVERIFY(rows.text(0).isNull());
    QVERIFY(!rows.isNull(1));
    QCOMPARE(rows.number(1), 42.0);
    QCOMPARE(rows.integer(1), 42);
    QCOMPARE(rows.text(1), QStringLiteral("42"));
    QCOMPARE(rows.number(2), 2.5);
    QCOMPARE(rows.number(3), std::nullopt);
    QCOMPARE(rows.text(3), QStringLiteral("plain"));
    QCOMPARE(rows.utf8(3), QByteArrayView("plain"));
    QCOMPARE(rows.text(4), wide);
    QCOMPARE(rows.utf8(4).toByteArray(), wide.toUtf8());
    // A stored empty text is a text, not a missing one.
    QVERIFY(!rows.isNull(5));
    QVERIFY(!rows.text(5).isNull());
    QVERIFY(rows.text(5).isEmpty());
    // Text is never taken for a number, though it reads as one when asked.
    QCOMPARE(rows.number(6), std::nullopt);
    QCOMPARE(rows.integer(6), 12);
    QCOMPARE(rows.text(7), QStringLiteral("ABC"));

    QVERIFY(rows.next());
    QCOMPARE(rows.integer(1), -7);
    QCOMPARE(rows.number(2), 1e308);
    QCOMPARE(rows.text(3), QStringLiteral("second"));
    QVERIFY(rows.isNull(7));
    QVERIFY(!rows.next());
    QVERIFY(rows.errorText().isEmpty());
    QVERIFY(!rows.next());
}

void SqliteRowsTest::failuresAreNamed_data()
{
    QTest::addColumn<SqliteRows::Access>("access");
    QTest::addColumn<QString>("statement");
    QTest::addColumn<int>("rowsBeforeFailure");
    QTest::addColumn<QString>("named");

    const QString unprepared = QStringLiteral("SELECT * FROM NoSuchTable");
    // The second row overflows a 64-bit integer: SQLite fails that step.
    const QString failsOnTheWay = QStringLiteral("SELECT 1 UNION ALL SELECT abs(-9223372036854775807 - 1)");
    for (const auto access : {SqliteRows::Access::direct, SqliteRows::Access::throughDriver}) {
        const char *how = access == SqliteRows::Access::direct ? "direct" : "through the driver";
        QTest::addRow("not prepared, %s", how) << access << unprepared << 0 << QStringLiteral("no such table");
        QTest::addRow("fails on the way, %s", how) << access << failsOnTheWay << 1 << QStringLiteral("integer overflow");
    }
}

void SqliteRowsTest::failuresAreNamed()
{
    QFETCH(SqliteRows::Access, access);
    QFETCH(QString, statement);
    QFETCH(int, rowsBeforeFailure);
    QFETCH(QString, named);
    skipUnlessReachable(m_db, access);

    SqliteRows rows(m_db, statement, access);
    int read = 0;
    while (rows.next())
        ++read;
    QCOMPARE(read, rowsBeforeFailure);
    QVERIFY2(rows.errorText().contains(named), qPrintable(rows.errorText()));
    // Stays failed: no step is taken after a failure.
    QVERIFY(!rows.next());
    QVERIFY(rows.errorText().contains(named));
}

void SqliteRowsTest::repeatedTextsShareOneBuffer_data()
{
    readsEachValueAsStored_data();
}

void SqliteRowsTest::repeatedTextsShareOneBuffer()
{
    QFETCH(SqliteRows::Access, access);
    skipUnlessReachable(m_db, access);
    SqliteRows rows(m_db, QStringLiteral("SELECT 'Terminal', 'Mail', NULL, '' UNION ALL SELECT 'Terminal', 'Chat', '', NULL"),
                    access);
    QVERIFY(rows.next());
    const QString terminal = rows.sharedText(0);
    const QString mail = rows.sharedText(1);
    QVERIFY(rows.sharedText(2).isNull());
    QVERIFY(!rows.sharedText(3).isNull() && rows.sharedText(3).isEmpty());
    QVERIFY(rows.next());
    const QString again = rows.sharedText(0);
    QCOMPARE(again, QStringLiteral("Terminal"));
    QVERIFY(again.isSharedWith(terminal));
    QCOMPARE(rows.sharedText(1), QStringLiteral("Chat"));
    QVERIFY(!rows.sharedText(1).isSharedWith(mail));
    // Null and empty are not taken for each other through the pool.
    QVERIFY(!rows.sharedText(2).isNull() && rows.sharedText(2).isEmpty());
    QVERIFY(rows.sharedText(3).isNull());

    // Pooled for the process: one text for equal texts of every row and of
    // every reader, with NULL kept apart from the empty text.
    const QString statement =
        QStringLiteral("SELECT 'Terminal', 'Mail', NULL, '' UNION ALL SELECT 'Terminal', 'Chat', '', NULL");
    SqliteRows first(m_db, statement, access);
    SqliteRows second(m_db, statement, access);
    QVERIFY(first.next() && second.next());
    const QString *pooledTerminal = first.pooledText(0);
    QVERIFY(pooledTerminal);
    QCOMPARE(*pooledTerminal, QStringLiteral("Terminal"));
    QCOMPARE(second.pooledText(0), pooledTerminal);
    QVERIFY(!first.pooledText(2));
    QVERIFY(first.pooledText(3) && !first.pooledText(3)->isNull() && first.pooledText(3)->isEmpty());
    const QString *pooledMail = first.pooledText(1);
    QVERIFY(first.next());
    QCOMPARE(first.pooledText(0), pooledTerminal);
    QCOMPARE(*first.pooledText(1), QStringLiteral("Chat"));
    QVERIFY(first.pooledText(1) != pooledMail);
    QCOMPARE(first.pooledText(2), second.pooledText(3));
    QVERIFY(!first.pooledText(3));
}

void SqliteRowsTest::aBlobIsInsertedInPlace_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("stored");
    QByteArray picture(3 * 1024 * 1024 + 17, Qt::Uninitialized);
    for (qsizetype i = 0; i < picture.size(); ++i)
        picture[i] = char((i * 7919) >> 5);
    QTest::newRow("a picture over many pages") << picture << QStringLiteral("image") << true;
    QTest::newRow("a few bytes") << QByteArray("png") << QStringLiteral("image") << true;
    // Empty is a value, not NULL (the column takes no NULL).
    QTest::newRow("nothing") << QByteArray() << QStringLiteral("image") << true;
    // The row's key is taken: the insert fails, nothing of it is left.
    QTest::newRow("a key that is taken") << QByteArray(5000, 'x') << QStringLiteral("taken") << false;
}

void SqliteRowsTest::aBlobIsInsertedInPlace()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, field);
    QFETCH(bool, stored);
    QSqlQuery query(m_db);
    QVERIFY(query.exec(QStringLiteral("CREATE TABLE Data (cardRow INTEGER NOT NULL, field TEXT NOT NULL, "
                                      "bytes BLOB NOT NULL, PRIMARY KEY (cardRow, field))")));
    QVERIFY(query.exec(QStringLiteral("INSERT INTO Data VALUES (7, 'taken', x'01')")));
    QVERIFY(m_db.transaction());
    const auto inserted = insertBlobInPlace(m_db, QStringLiteral("INSERT INTO Data VALUES (?, ?, zeroblob(?))"),
                                            {qint64(7), field}, QStringLiteral("Data"), QStringLiteral("bytes"), bytes);
    if (!inserted)
        QSKIP("Qt's SQLite driver carries an SQLite of its own here");
    QCOMPARE(bool(*inserted), stored);
    if (!stored) {
        QVERIFY(inserted->error().contains(QStringLiteral("UNIQUE")));
        QVERIFY(m_db.rollback());
        QVERIFY(query.exec(QStringLiteral("SELECT count(*), hex(bytes) FROM Data")) && query.next());
        QCOMPARE(query.value(0).toInt(), 1);
        QCOMPARE(query.value(1).toString(), QStringLiteral("01"));
        return;
    }
    QVERIFY(m_db.commit());
    QVERIFY(query.exec(QStringLiteral("SELECT bytes, typeof(bytes), rowid FROM Data WHERE field = '%1'").arg(field)));
    QVERIFY(query.next());
    QCOMPARE(query.value(1).toString(), QStringLiteral("blob"));
    QCOMPARE(query.value(0).toByteArray(), bytes.isNull() ? QByteArray("") : bytes);
    // Read back the same way, in one piece.
    const qint64 rowid = query.value(2).toLongLong();
    query.finish();
    const auto read = readBlobInPlace(m_db, QStringLiteral("Data"), QStringLiteral("bytes"), rowid);
    QVERIFY(read && *read);
    QCOMPARE(**read, bytes.isNull() ? QByteArray("") : bytes);
    QVERIFY(!*readBlobInPlace(m_db, QStringLiteral("Data"), QStringLiteral("bytes"), rowid + 100));
}

QTEST_GUILESS_MAIN(SqliteRowsTest)
#include "tst_sqliterows.moc"
