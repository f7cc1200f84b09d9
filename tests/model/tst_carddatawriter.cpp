#include "model/CardDataWriter.h"
#include "model/ModelContainer.h"
#include "model/StoreSchema.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace tessaline;

namespace {

// A capture's picture stand-in: bytes that do not repeat within a page.
QByteArray picture(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = 2463534242u;
    for (qsizetype i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes[i] = char(state);
    }
    return bytes;
}

// The picture under `row` as another connection to `path` reads it.
QByteArray storedBytes(const QString &path, qint64 row)
{
    QByteArray bytes;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("SELECT bytes FROM CanvasCardData WHERE cardRow = %1").arg(row)) && query.next())
                bytes = query.value(0).toByteArray();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("reader"));
    return bytes;
}

// A library file with its tables, made as the app makes it and closed.
QString makeLibrary(const QTemporaryDir &dir)
{
    ModelContainer::Configuration configuration;
    configuration.directory = dir.path();
    auto container = ModelContainer::open(configuration);
    return container ? dir.filePath(QStringLiteral("Tessaline.sqlite")) : QString();
}

// The writer's answer to writing `bytes`, once it has come.
std::optional<Expected<StagedCardData, StoreError>> written(CardDataWriter &writer, const QByteArray &bytes)
{
    QObject receiver;
    std::optional<Expected<StagedCardData, StoreError>> staged;
    writer.write(&receiver, CanvasCard::OriginalImageBlob, bytes)
        .then(&receiver, [&](const Expected<StagedCardData, StoreError> &answer) { staged = answer; });
    (void)QTest::qWaitFor([&] { return staged.has_value(); }, 30000);
    return staged;
}

} // namespace

class CardDataWriterTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void aPictureIsStoredAsGiven_data();
    void aPictureIsStoredAsGiven();
    void theLogKeepsRoomForThePictureOnceQuiet();
};

void CardDataWriterTest::aPictureIsStoredAsGiven_data()
{
    QTest::addColumn<qsizetype>("size");
    // Larger than the connection's usual page cache, which grows for it.
    QTest::newRow("a 5K capture's size") << qsizetype(17 * 1024 * 1024 + 321);
    QTest::newRow("a small picture") << qsizetype(70'000);
    QTest::newRow("no bytes") << qsizetype(0);
}

// What the writer reports stored is there, byte for byte, for the writer
// itself and for any other connection, under a row no card can take.
void CardDataWriterTest::aPictureIsStoredAsGiven()
{
    QFETCH(qsizetype, size);
    QTemporaryDir dir;
    const QString path = makeLibrary(dir);
    QVERIFY(!path.isEmpty());
    const QByteArray bytes = picture(size);

    CardDataWriter writer(path);
    const auto staged = written(writer, bytes);
    QVERIFY(staged);
    QVERIFY2(*staged, *staged ? "" : qPrintable(staged->error().message));
    const qint64 row = (*staged)->cardRow;
    QVERIFY(row > 0);

    QObject receiver;
    std::optional<std::optional<QByteArray>> read;
    writer.read(&receiver, row, CanvasCard::OriginalImageBlob)
        .then(&receiver, [&](const std::optional<QByteArray> &answer) { read = answer; });
    QTRY_VERIFY_WITH_TIMEOUT(read, 30000);
    QVERIFY(*read);
    QCOMPARE(**read, bytes);
    QCOMPARE(storedBytes(path, row), bytes);
}

// Once the library goes quiet the log is copied into the file, but its own
// file keeps room for the next picture rather than being emptied: a
// picture written over blocks the file already has is synced faster.
void CardDataWriterTest::theLogKeepsRoomForThePictureOnceQuiet()
{
    QTemporaryDir dir;
    const QString path = makeLibrary(dir);
    QVERIFY(!path.isEmpty());
    const QByteArray bytes = picture(6 * 1024 * 1024);

    CardDataWriter writer(path);
    const auto staged = written(writer, bytes);
    QVERIFY(staged && *staged);
    writer.checkpointAndTruncate();
    // The worker does one thing at a time: once this read is answered, the
    // checkpoint before it is done.
    QObject receiver;
    bool answered = false;
    writer.read(&receiver, (*staged)->cardRow, CanvasCard::OriginalImageBlob)
        .then(&receiver, [&](const std::optional<QByteArray> &) { answered = true; });
    QTRY_VERIFY_WITH_TIMEOUT(answered, 30000);

    const qint64 logSize = QFileInfo(path + QStringLiteral("-wal")).size();
    QVERIFY2(logSize >= bytes.size(), qPrintable(QString::number(logSize)));
    QVERIFY(logSize <= storeschema::journalSizeLimit);
    // The file alone holds the picture now: a copy of it without its log
    // reads it.
    const QString copy = dir.filePath(QStringLiteral("copy.sqlite"));
    QVERIFY(QFile::copy(path, copy));
    QCOMPARE(storedBytes(copy, (*staged)->cardRow), bytes);
}

QTEST_GUILESS_MAIN(CardDataWriterTest)
#include "tst_carddatawriter.moc"
