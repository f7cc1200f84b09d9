#include "model/CardDataWriter.h"
#include "model/ModelContainer.h"
#include "model/StoreSchema.h"
#include "../support/FullDisk.h"

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
    void aPictureOnAFullDiskIsNamedAndNotStored();
    void theLogKeepsRoomForThePictureOnceQuiet();
    void theLogIsSyncedWhenAsked_data();
    void theLogIsSyncedWhenAsked();
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

// The disk fills up as a capture's picture is written: the answer says so in
// words the user can act on, and nothing of the picture stays.
void CardDataWriterTest::aPictureOnAFullDiskIsNamedAndNotStored()
{
    testing::FullDisk &disk = testing::FullDisk::shared();
    QVERIFY(disk.isRegistered());
    QTemporaryDir dir;
    const QString path = makeLibrary(dir);
    QVERIFY(!path.isEmpty());

    CardDataWriter writer(path);
    disk.setFull(true);
    const auto staged = written(writer, picture(70'000));
    disk.setFull(false);
    QVERIFY(staged);
    QVERIFY(!*staged);
    QVERIFY2(staged->error().message.contains(QStringLiteral("the disk is full. Free some space, then try again.")),
             qPrintable(staged->error().message));
    QVERIFY(storedBytes(path, 1).isEmpty());
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

void CardDataWriterTest::theLogIsSyncedWhenAsked_data()
{
    QTest::addColumn<QString>("library");
    QTest::addColumn<bool>("synced");
    QTest::newRow("a picture in the log") << QStringLiteral("written") << true;
    // The last connection to close folded the log into the file and synced it.
    QTest::newRow("no log") << QStringLiteral("closed") << true;
    QTest::newRow("a log that cannot be reached") << QStringLiteral("unreachable") << false;
}

// What a deferred save left unsynced is synced when asked, and a failure
// to is an answer rather than a success.
void CardDataWriterTest::theLogIsSyncedWhenAsked()
{
    QFETCH(QString, library);
    QFETCH(bool, synced);
    QTemporaryDir dir;
    QString path = makeLibrary(dir);
    QVERIFY(!path.isEmpty());
    if (library == u"unreachable") {
        // A folder of that name is a file: nothing under it opens.
        QFile blocker(dir.filePath(QStringLiteral("plain")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        path = blocker.fileName() + QStringLiteral("/Tessaline.sqlite");
    }
    CardDataWriter writer(path);
    if (library == u"written") {
        const auto staged = written(writer, picture(1024 * 1024));
        QVERIFY(staged && *staged);
        QVERIFY(QFileInfo::exists(path + QStringLiteral("-wal")));
    }

    QObject receiver;
    std::optional<Expected<void, StoreError>> answer;
    writer.syncLog(&receiver).then(&receiver, [&](const Expected<void, StoreError> &outcome) { answer = outcome; });
    QTRY_VERIFY_WITH_TIMEOUT(answer, 30000);
    QCOMPARE(bool(*answer), synced);
    if (!synced)
        QVERIFY2(answer->error().message.startsWith(QStringLiteral("The library could not be written")),
                 qPrintable(answer->error().message));
}

QTEST_GUILESS_MAIN(CardDataWriterTest)
#include "tst_carddatawriter.moc"
