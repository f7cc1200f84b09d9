// What keeps the library whole when something around it goes wrong: numbers
// damaged in the file, a row the store refuses, a second process on the same
// library, a library that can only be read, one taken away from its path
// while open, a write-ahead log that would otherwise keep its largest size;
// and what keeps it private: a folder nobody else may read, nothing left
// behind by a deletion. All on real SQLite files.
#include "model/Connection.h"
#include "model/ModelChangeScope.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "platform/UuidText.h"
#include "../support/FullDisk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <cmath>
#include <sys/stat.h>
#include <unistd.h>

using namespace tessaline;

namespace {

std::unique_ptr<ModelContainer> openIn(const QString &directory, bool readOnly = false)
{
    ModelContainer::Configuration configuration;
    configuration.directory = directory;
    configuration.readOnly = readOnly;
    auto container = ModelContainer::open(configuration);
    if (!container)
        qWarning() << container.error().message;
    return container ? std::move(*container) : nullptr;
}

// Runs statements on the file directly, outside the store; the answer to
// the last one's first value.
QVariant raw(const QString &path, const QStringList &statements)
{
    QVariant result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "raw");
        db.setDatabaseName(path);
        if (!db.open())
            qWarning() << "raw connection did not open";
        QSqlQuery query(db);
        for (const QString &statement : statements) {
            if (!query.exec(statement))
                qWarning() << statement << query.lastError().text();
        }
        if (query.isSelect() && query.next())
            result = query.value(0);
    }
    QSqlDatabase::removeDatabase("raw");
    return result;
}

QVariant raw(const QString &path, const QString &statement)
{
    return raw(path, QStringList{statement});
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Board *findBoard(ModelContext &context, const QUuid &id)
{
    for (Board *board : *context.fetchBoards()) {
        if (board->id() == id)
            return board;
    }
    return nullptr;
}

CanvasCard *findCard(ModelContext &context, const QUuid &id)
{
    for (CanvasCard *card : *context.fetchCards()) {
        if (card->id() == id)
            return card;
    }
    return nullptr;
}

} // namespace

class StoreSafetyTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void damagedNumbersReadAsDamaged_data();
    void damagedNumbersReadAsDamaged();
    void damagedIDsKeepEveryItemApart_data();
    void damagedIDsKeepEveryItemApart();
    void folderNameThatIsNotUtf8StaysUntilSet();
    void aRefusedRowHoldsBackNoOtherSave();
    void noteSavedWithItsWritingAsStoredLeavesTheText_data();
    void noteSavedWithItsWritingAsStoredLeavesTheText();
    void libraryIsHeldByOneOpeningAtATime();
    void libraryLockedByAnotherProgramIsNamed_data();
    void libraryLockedByAnotherProgramIsNamed();
    void aFullDiskIsNamedAndTheEditWaitsForRoom_data();
    void aFullDiskIsNamedAndTheEditWaitsForRoom();
    void readOnlyLibraryIsReadAndNeverWritten();
    void readOnlyLibraryWhoseLogCannotBeReadIsNamed();
    void writabilityIsWhatThisProcessMayDo_data();
    void writabilityIsWhatThisProcessMayDo();
    void logIsEmptiedOnceSavesQuietDown();
    void libraryMadeBeforeTheCardIndexReadsTheSame_data();
    void libraryMadeBeforeTheCardIndexReadsTheSame();
    void damageFoundWhileReadingCardsFailsTheFetch_data();
    void damageFoundWhileReadingCardsFailsTheFetch();
    void libraryFolderIsItsOwnersAlone_data();
    void libraryFolderIsItsOwnersAlone();
    void snipDeletedForGoodLeavesNothingReadable_data();
    void snipDeletedForGoodLeavesNothingReadable();
    void noteDeletedForGoodLeavesNoWritingKeptAside();
    void writingKeptAsideOfNotesGoneLeavesAtOpening();
    void libraryTakenAwayIsNotWrittenBehindItsPath_data();
    void libraryTakenAwayIsNotWrittenBehindItsPath();
};

void StoreSafetyTest::damagedNumbersReadAsDamaged_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("column");
    QTest::addColumn<int>("property");
    QTest::addColumn<QString>("stored"); // an SQL literal
    QTest::addColumn<double>("standIn");

    const QString note = QStringLiteral("Board");
    const QString card = QStringLiteral("CanvasCard");
    QTest::newRow("sort index NaN") << note << "sortIndex" << int(Board::SortIndexProperty) << "'NaN'" << 0.0;
    QTest::newRow("sort index -1e308") << note << "sortIndex" << int(Board::SortIndexProperty) << "-1e308" << 0.0;
    QTest::newRow("y NaN") << card << "canvasY" << int(CanvasCard::CanvasYProperty) << "'NaN'" << 80.0;
    QTest::newRow("x 1e308") << card << "canvasX" << int(CanvasCard::CanvasXProperty) << "1e308" << 80.0;
    QTest::newRow("x minus infinity") << card << "canvasX" << int(CanvasCard::CanvasXProperty) << "-9e999" << 80.0;
    QTest::newRow("negative width") << card << "canvasWidth" << int(CanvasCard::CanvasWidthProperty) << "-40" << 320.0;
    QTest::newRow("height as text") << card << "canvasHeight" << int(CanvasCard::CanvasHeightProperty) << "'tall'"
                                    << 220.0;
}

// A damaged number keeps its item reachable at a sane value, is never
// written back by saves of anything else (the item's own other edits
// included), and stops no save; setting the value stores it.
void StoreSafetyTest::damagedNumbersReadAsDamaged()
{
    QFETCH(QString, table);
    QFETCH(QString, column);
    QFETCH(int, property);
    QFETCH(QString, stored);
    QFETCH(double, standIn);
    const bool isNote = table == u"Board";

    QTemporaryDir dir;
    const QString path = dir.filePath("Tessaline.sqlite");
    QUuid damagedNoteID, otherNoteID, cardID;
    {
        auto container = openIn(dir.path());
        ModelContext &context = *container->mainContext();
        auto *damaged = new Board;
        auto *other = new Board;
        context.insert(damaged);
        context.insert(other);
        auto *card = new CanvasCard;
        card->setBoardID(damaged->id());
        card->setIsPlaced(true);
        card->setCanvasX(500);
        card->setCanvasY(600);
        context.insert(card);
        QVERIFY(context.save());
        damagedNoteID = damaged->id();
        otherNoteID = other->id();
        cardID = card->id();
    }
    const QString where =
        QStringLiteral("WHERE id = '%1'").arg(uuidText(isNote ? damagedNoteID : cardID));
    const QString damagedRow = QStringLiteral("FROM %1 %2").arg(table, where);
    raw(path, QStringLiteral("UPDATE %1 SET %2 = %3 %4").arg(table, column, stored, where));
    const QString storedNow = QStringLiteral("SELECT quote(%1) %2").arg(column, damagedRow);
    const QVariant damagedValue = raw(path, storedNow);
    QVERIFY(damagedValue.isValid());

    auto container = openIn(dir.path());
    QVERIFY(container);
    ModelContext &context = *container->mainContext();
    Board *note = findBoard(context, damagedNoteID);
    CanvasCard *card = findCard(context, cardID);
    QVERIFY(note && card);
    const double shown = isNote ? note->sortIndex()
                                : QList<double>{card->canvasX(), card->canvasY(), card->canvasWidth(),
                                                card->canvasHeight()}
                                      .at(property - CanvasCard::CanvasXProperty);
    QCOMPARE(shown, standIn);
    QVERIFY(isNote ? note->isDamaged(Board::Property(property)) : card->isDamaged(CanvasCard::Property(property)));
    // The rest of the card stays where it was.
    if (!isNote && property != CanvasCard::CanvasXProperty)
        QCOMPARE(card->canvasX(), 500.0);

    // A favourite elsewhere, an edit of the damaged item itself, a new
    // capture in its note: all stored, the damaged number left as it is.
    Board *other = findBoard(context, otherNoteID);
    other->setIsFavorite(true);
    QVERIFY(context.save());
    if (isNote)
        note->setTitle(QStringLiteral("Renamed"));
    else
        card->setMarkdownText(QStringLiteral("Edited"));
    note->setLastOpenedAt(QDateTime::currentDateTimeUtc());
    {
        ModelChangeScope scope(context);
        auto *capture = new CanvasCard;
        capture->setBoardID(note->id());
        capture->setKindRawValue(QStringLiteral("snip"));
        capture->setOriginalImageData(QByteArray(1000, 'p'));
        context.insert(capture);
        const auto saved = scope.saveOrUndo();
        QVERIFY2(saved, qPrintable(saved ? QString() : saved.error().message));
    }
    QVERIFY(!context.hasChanges());
    QCOMPARE(raw(path, QStringLiteral("SELECT isFavorite FROM Board WHERE id = '%1'")
                           .arg(uuidText(otherNoteID)))
                 .toInt(),
             1);
    QCOMPARE(raw(path, QStringLiteral("SELECT COUNT(*) FROM CanvasCard")).toInt(), 2);
    QCOMPARE(raw(path, QStringLiteral("SELECT %1 %2").arg(isNote ? "title" : "markdownText", damagedRow)).toString(),
             isNote ? QStringLiteral("Renamed") : QStringLiteral("Edited"));
    QCOMPARE(raw(path, storedNow), damagedValue);

    // Moving the card (or the note in the list) stores the new value.
    if (isNote)
        note->setSortIndex(3);
    else if (property == CanvasCard::CanvasXProperty)
        card->setCanvasX(3);
    else if (property == CanvasCard::CanvasYProperty)
        card->setCanvasY(3);
    else if (property == CanvasCard::CanvasWidthProperty)
        card->setCanvasWidth(3);
    else
        card->setCanvasHeight(3);
    QVERIFY(context.save());
    QCOMPARE(raw(path, storedNow).toString(), QStringLiteral("3.0"));
    QVERIFY(!(isNote ? note->isDamaged(Board::Property(property)) : card->isDamaged(CanvasCard::Property(property))));
}

void StoreSafetyTest::damagedIDsKeepEveryItemApart_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("storedIDs"); // the first row's, then the second's; "%1": the first's own
    QTest::newRow("two notes with an id that is no id") << "Board" << "not-a-uuid,not-a-uuid";
    QTest::newRow("two notes sharing an id") << "Board" << "%1,%1";
    QTest::newRow("two cards with an id that is no id") << "CanvasCard" << "not-a-uuid,not-a-uuid";
    QTest::newRow("two cards sharing an id") << "CanvasCard" << "%1,%1";
    QTest::newRow("two connections sharing an id") << "Connection" << "%1,%1";
}

// Rows whose ids are no ids, or one id for two rows, are each kept, shown
// and reached on their own: an edit of the second goes into the second, and
// nothing the user did not change is written, the stored ids least of all.
void StoreSafetyTest::damagedIDsKeepEveryItemApart()
{
    QFETCH(QString, table);
    QFETCH(QString, storedIDs);
    QTemporaryDir dir;
    const QString path = dir.filePath("Tessaline.sqlite");
    {
        auto container = openIn(dir.path());
        ModelContext &context = *container->mainContext();
        auto *note = new Board;
        context.insert(note);
        auto *other = new Board;
        context.insert(other);
        for (int i = 0; i < 2; ++i) {
            auto *card = new CanvasCard;
            card->setBoardID(note->id());
            context.insert(card);
        }
        QVERIFY(context.save());
        const QList<CanvasCard *> cards = *context.fetchCards();
        for (int i = 0; i < 2; ++i) {
            Connection::Values values;
            values.boardID = note->id();
            values.sourceCardID = cards.at(0)->id();
            values.destinationCardID = cards.at(1)->id();
            context.insert(new Connection(values));
        }
        QVERIFY(context.save());
    }
    const QString firstID = raw(path, QStringLiteral("SELECT id FROM %1 ORDER BY row LIMIT 1").arg(table)).toString();
    const QStringList ids = storedIDs.arg(firstID).split(u',');
    raw(path, {QStringLiteral("UPDATE %1 SET id = '%2' WHERE row = (SELECT MIN(row) FROM %1)").arg(table, ids.at(0)),
               QStringLiteral("UPDATE %1 SET id = '%2' WHERE row = (SELECT MAX(row) FROM %1)").arg(table, ids.at(1))});
    const auto storedRows = [&] {
        return raw(path, QStringLiteral("SELECT group_concat(id || ':' || updatedAt, ' ') FROM (SELECT * FROM %1 ORDER BY row)")
                             .arg(table))
            .toString();
    };
    const QString before = storedRows();

    QList<QUuid> seen;
    for (int opening = 0; opening < 2; ++opening) {
        auto container = openIn(dir.path());
        QVERIFY(container);
        ModelContext &context = *container->mainContext();
        QList<PersistentEntity *> rows;
        QList<QUuid> shownIDs;
        if (table == u"Board") {
            for (Board *board : *context.fetchBoards()) {
                rows << board;
                shownIDs << board->id();
            }
        } else if (table == u"CanvasCard") {
            for (CanvasCard *card : *context.fetchCards()) {
                rows << card;
                shownIDs << card->id();
            }
        } else {
            for (Connection *connection : *context.fetchConnections()) {
                rows << connection;
                shownIDs << connection->id();
            }
        }
        QCOMPARE(rows.size(), 2);
        QVERIFY(!shownIDs.at(0).isNull() && !shownIDs.at(1).isNull());
        QVERIFY(shownIDs.at(0) != shownIDs.at(1));
        // Each id leads to its own row, the same at every opening.
        if (table == u"Board") {
            QCOMPARE(*context.fetchBoards(shownIDs.at(1)), QList<Board *>{static_cast<Board *>(rows.at(1))});
        } else if (table == u"CanvasCard") {
            QCOMPARE(*context.fetchCards(shownIDs.at(1)), QList<CanvasCard *>{static_cast<CanvasCard *>(rows.at(1))});
        }
        if (opening == 0)
            seen = shownIDs;
        QCOMPARE(shownIDs, seen);
    }
    QCOMPARE(storedRows(), before);

    // An edit of the second row goes into the second row alone; its stored
    // id, and the first row, stay as they were.
    {
        auto container = openIn(dir.path());
        ModelContext &context = *container->mainContext();
        const QDateTime edited = QDateTime::fromMSecsSinceEpoch(1'900'000'000'000, QTimeZone::utc());
        if (table == u"Board")
            context.fetchBoards()->at(1)->setUpdatedAt(edited);
        else if (table == u"CanvasCard")
            context.fetchCards()->at(1)->setUpdatedAt(edited);
        else
            context.fetchConnections()->at(1)->setUpdatedAt(edited);
        QVERIFY(context.save());
    }
    const QStringList after = storedRows().split(u' ');
    QCOMPARE(after.at(0), before.split(u' ').at(0));
    QCOMPARE(after.at(1), ids.at(1) + QStringLiteral(":1900000000000"));
}

// A folder name stored in bytes that are not UTF-8 shows with replacement
// characters; it is written only once the user puts the note elsewhere.
void StoreSafetyTest::folderNameThatIsNotUtf8StaysUntilSet()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Tessaline.sqlite");
    {
        auto container = openIn(dir.path());
        container->mainContext()->insert(new Board);
        QVERIFY(container->mainContext()->save());
    }
    raw(path, QStringLiteral("UPDATE Board SET folderName = CAST(X'50726f6aE974' AS TEXT)"));
    const QString stored = QStringLiteral("SELECT hex(folderName) FROM Board");
    auto container = openIn(dir.path());
    ModelContext &context = *container->mainContext();
    Board *note = context.fetchBoards()->constFirst();
    QCOMPARE(note->folderName(), std::optional<QString>(QStringLiteral("Proj\uFFFDt")));

    note->setLastOpenedAt(QDateTime::currentDateTimeUtc());
    note->setTitle(QStringLiteral("Opened and renamed"));
    QVERIFY(context.save());
    QCOMPARE(raw(path, stored).toString(), QStringLiteral("50726F6AE974"));

    note->setFolderName(std::nullopt, QDateTime::currentDateTimeUtc());
    QVERIFY(context.save());
    QVERIFY(raw(path, QStringLiteral("SELECT folderName FROM Board")).isNull());
    note->setFolderName(QStringLiteral("Work"), QDateTime::currentDateTimeUtc());
    QVERIFY(context.save());
    QCOMPARE(raw(path, QStringLiteral("SELECT folderName FROM Board")).toString(), QStringLiteral("Work"));
}

// A row the store refuses (here a card whose place is not a number) is kept
// pending and reported; every other change of the same save, and of later
// saves, is stored all the same.
void StoreSafetyTest::aRefusedRowHoldsBackNoOtherSave()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Tessaline.sqlite");
    auto container = openIn(dir.path());
    ModelContext &context = *container->mainContext();
    auto *note = new Board;
    context.insert(note);
    QVERIFY(context.save());

    auto *broken = new CanvasCard;
    broken->setBoardID(note->id());
    broken->setCanvasX(std::nan(""));
    context.insert(broken);
    note->setIsFavorite(true);
    const auto first = context.save();
    QVERIFY(!first);
    QVERIFY2(first.error().message.contains(QStringLiteral("Everything else was saved")), qPrintable(first.error().message));
    QCOMPARE(raw(path, QStringLiteral("SELECT isFavorite FROM Board")).toInt(), 1);
    QVERIFY(!note->hasChanges());
    QVERIFY(broken->hasChanges());
    QVERIFY(!broken->isPersisted());

    // An operation of its own is stored and succeeds, the refused card
    // still waiting beside it.
    {
        ModelChangeScope scope(context);
        note->setTitle(QStringLiteral("Kept"));
        QVERIFY(scope.saveOrUndo());
    }
    QCOMPARE(raw(path, QStringLiteral("SELECT title FROM Board")).toString(), QStringLiteral("Kept"));
    QCOMPARE(note->title(), QStringLiteral("Kept"));
    // An operation on the refused card fails and takes back only its own change.
    {
        ModelChangeScope scope(context);
        broken->setMarkdownText(QStringLiteral("More"));
        note->setFolderNameValue(QStringLiteral("Folder"));
        QVERIFY(!scope.saveOrUndo());
        QCOMPARE(broken->markdownText(), QString());
        QCOMPARE(raw(path, QStringLiteral("SELECT folderName FROM Board")).toString(), QStringLiteral("Folder"));
    }
    QVERIFY(context.fetchCards()->contains(broken));

    broken->setCanvasX(10);
    QVERIFY(context.save());
    QVERIFY(broken->isPersisted());
    QCOMPARE(raw(path, QStringLiteral("SELECT canvasX FROM CanvasCard")).toDouble(), 10.0);
}

void StoreSafetyTest::noteSavedWithItsWritingAsStoredLeavesTheText_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<bool>("writesText");
    QTest::newRow("opened") << "opened" << false << false;
    QTest::newRow("favourite") << "favourite" << false << false;
    QTest::newRow("opened, the row refused") << "opened" << true << false;
    QTest::newRow("writing edited") << "written" << false << true;
}

// A note's save writes its writing only when that changed: the stored text
// (here with a byte that is not UTF-8, which reading turns into a
// replacement character) stays byte for byte when the note is opened or
// made a favourite, and a refused save is reported and taken back.
void StoreSafetyTest::noteSavedWithItsWritingAsStoredLeavesTheText()
{
    QFETCH(QString, change);
    QFETCH(bool, refused);
    QFETCH(bool, writesText);

    QTemporaryDir dir;
    const QString path = dir.filePath("Tessaline.sqlite");
    QUuid noteID;
    {
        auto container = openIn(dir.path());
        ModelContext &context = *container->mainContext();
        auto *note = new Board;
        BoardWritingDocument document;
        document.blocks = {BoardWritingBlock::paragraph(QStringLiteral("Words kept"))};
        QVERIFY(note->updateWritingDocument(document, QDateTime::currentDateTimeUtc()));
        context.insert(note);
        QVERIFY(context.save());
        noteID = note->id();
    }
    const QString selectText = QStringLiteral("SELECT hex(writingDocumentStorage) FROM Board");
    QByteArray stored = QByteArray::fromHex(raw(path, selectText).toByteArray());
    QVERIFY(stored.contains("Words"));
    stored.replace("Words", "Wor\xff" "ds");
    raw(path, QStringLiteral("UPDATE Board SET writingDocumentStorage = CAST(X'%1' AS TEXT)")
                  .arg(QString::fromLatin1(stored.toHex())));
    const QVariant damaged = raw(path, selectText);
    QCOMPARE(QByteArray::fromHex(damaged.toByteArray()), stored);
    if (refused)
        raw(path, QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON Board BEGIN SELECT RAISE(ABORT, 'refused'); END"));

    auto container = openIn(dir.path());
    ModelContext &context = *container->mainContext();
    Board *note = findBoard(context, noteID);
    QVERIFY(note);
    QVERIFY(note->writingDocument().blocks.constFirst().text.startsWith(QStringLiteral("Wor\uFFFDds")));
    const QDateTime before = note->lastOpenedAt();
    const QDateTime now = before.addSecs(60);
    {
        ModelChangeScope scope(context);
        if (change == u"opened") {
            note->markOpened(now);
        } else if (change == u"favourite") {
            note->setFavorite(true, now);
        } else {
            BoardWritingDocument document = note->writingDocument();
            document.blocks.first().text = QStringLiteral("Rewritten");
            QVERIFY(note->updateWritingDocument(document, now));
        }
        const auto saved = scope.saveOrUndo();
        QCOMPARE(bool(saved), !refused);
        if (!saved)
            QVERIFY2(saved.error().message.contains(QStringLiteral("refused")), qPrintable(saved.error().message));
    }
    const qint64 storedOpening = raw(path, QStringLiteral("SELECT lastOpenedAt FROM Board")).toLongLong();
    const qint64 storedDate = raw(path, QStringLiteral("SELECT updatedAt FROM Board")).toLongLong();
    if (refused) {
        QCOMPARE(note->lastOpenedAt(), before);
        QVERIFY(!context.hasChanges());
        QCOMPARE(storedOpening, before.toMSecsSinceEpoch());
    } else {
        QCOMPARE(storedOpening, (change == u"opened" ? now : before).toMSecsSinceEpoch());
        QCOMPARE(storedDate, now.toMSecsSinceEpoch());
    }
    const QVariant text = raw(path, selectText);
    QCOMPARE(raw(path, QStringLiteral("SELECT typeof(writingDocumentStorage) FROM Board")).toString(), QStringLiteral("text"));
    if (writesText)
        QVERIFY(QByteArray::fromHex(text.toByteArray()).contains("Rewritten"));
    else
        QCOMPARE(text, damaged);
}

void StoreSafetyTest::libraryIsHeldByOneOpeningAtATime()
{
    QTemporaryDir dir;
    ModelContainer::Configuration configuration;
    configuration.directory = dir.path();
    configuration.holdsLibrary = true;
    const QString path = dir.filePath("Tessaline.sqlite");
    {
        auto holder = ModelContainer::open(configuration);
        QVERIFY(holder);
        auto second = ModelContainer::open(configuration);
        QVERIFY(!second);
        QCOMPARE(second.error(), ModelContainer::libraryInUse(path));
        QVERIFY(second.error().message.contains(QStringLiteral("another session")));
        QVERIFY(QFileInfo::exists(path + QStringLiteral(".lock")));
    }
    // The holder is gone, and with it the lock; its file stays behind.
    QVERIFY(QFileInfo::exists(path + QStringLiteral(".lock")));
    auto next = ModelContainer::open(configuration);
    QVERIFY2(next, qPrintable(next ? QString() : next.error().message));
    QVERIFY(!(*next)->isReadOnly());
}

void StoreSafetyTest::libraryLockedByAnotherProgramIsNamed_data()
{
    QTest::addColumn<QStringList>("holding");
    QTest::addColumn<bool>("openedBefore");
    const QString change = QStringLiteral("UPDATE Metadata SET value = value WHERE key = 'schemaVersion'");
    QTest::newRow("at the opening, a change under way") << QStringList{"BEGIN IMMEDIATE", change} << false;
    QTest::newRow("at the opening, the file held whole")
        << QStringList{"PRAGMA locking_mode = EXCLUSIVE", "BEGIN EXCLUSIVE", change} << false;
    QTest::newRow("during the session, a change under way") << QStringList{"BEGIN IMMEDIATE", change} << true;
}

// Another program (an SQLite shell left in a transaction) holds the
// library's lock: the opening says so and writes nothing, a save says why it
// failed, and once the program lets go the library opens and saves again.
void StoreSafetyTest::libraryLockedByAnotherProgramIsNamed()
{
    QFETCH(QStringList, holding);
    QFETCH(bool, openedBefore);
    QTemporaryDir dir;
    const QString path = dir.filePath("Tessaline.sqlite");
    ModelContainer::Configuration configuration;
    configuration.directory = dir.path();
    configuration.holdsLibrary = true;
    QUuid noteID;
    {
        auto container = openIn(dir.path());
        auto *note = new Board;
        note->setTitle(QStringLiteral("Kept"));
        container->mainContext()->insert(note);
        QVERIFY(container->mainContext()->save());
        noteID = note->id();
    }
    std::unique_ptr<ModelContainer> session;
    if (openedBefore) {
        auto opened = ModelContainer::open(configuration);
        QVERIFY(opened);
        session = std::move(*opened);
        QVERIFY(session->mainContext()->fetchBoards());
    }

    {
        QSqlDatabase holder = QSqlDatabase::addDatabase("QSQLITE", "holder");
        holder.setDatabaseName(path);
        QVERIFY(holder.open());
        QSqlQuery query(holder);
        for (const QString &statement : std::as_const(holding))
            QVERIFY2(query.exec(statement), qPrintable(query.lastError().text()));
        const QByteArray before = fileBytes(path);

        if (openedBefore) {
            findBoard(*session->mainContext(), noteID)->setTitle(QStringLiteral("Changed"));
            const auto saved = session->mainContext()->save();
            QVERIFY(!saved);
            QVERIFY2(saved.error().message.contains(QStringLiteral("another program is changing it")),
                     qPrintable(saved.error().message));
        } else {
            const auto opened = ModelContainer::open(configuration);
            QVERIFY(!opened);
            QVERIFY2(opened.error().message.contains(QStringLiteral("is being changed by another program")),
                     qPrintable(opened.error().message));
            QVERIFY(opened.error().message.contains(path));
        }
        QCOMPARE(fileBytes(path), before);
        query.exec(QStringLiteral("ROLLBACK"));
        query.finish();
        holder.close();
    }
    QSqlDatabase::removeDatabase("holder");

    if (!openedBefore) {
        auto opened = ModelContainer::open(configuration);
        QVERIFY2(opened, qPrintable(opened ? QString() : opened.error().message));
        session = std::move(*opened);
        findBoard(*session->mainContext(), noteID)->setTitle(QStringLiteral("Changed"));
    }
    QVERIFY(session->mainContext()->save());
    session.reset();
    QCOMPARE(raw(path, QStringLiteral("SELECT title FROM Board")).toString(), QStringLiteral("Changed"));
}

// Opened for reading (what a file or folder that cannot be written leads
// to), the library shows everything and refuses every change itself, before
// SQLite is asked: the file stays byte for byte as it was. SQLite's own
// read-only mode refuses writes whoever runs the test, root included.
void StoreSafetyTest::aFullDiskIsNamedAndTheEditWaitsForRoom_data()
{
    QTest::addColumn<bool>("atTheCommit");
    // The library's file may grow no further: SQLite finds out as it makes
    // room for the edit's pages.
    QTest::newRow("the file may grow no further") << false;
    // The disk takes no more writes: found out as the log is written.
    QTest::newRow("the disk takes no more writes") << true;
}

// The disk fills up: the save says so in words the user can act on, writes
// nothing, and the edit is written by the first save once there is room
// again.
void StoreSafetyTest::aFullDiskIsNamedAndTheEditWaitsForRoom()
{
    QFETCH(bool, atTheCommit);
    testing::FullDisk &disk = testing::FullDisk::shared();
    QVERIFY(disk.isRegistered());
    QTemporaryDir dir;
    auto container = openIn(dir.path());
    auto *note = new Board;
    note->setTitle(QStringLiteral("Kept"));
    container->mainContext()->insert(note);
    QVERIFY(container->mainContext()->save());

    // The main context's connection may grow the file no further than it is.
    const auto limitGrowth = [](bool full) {
        int limited = 0;
        for (const QString &name : QSqlDatabase::connectionNames()) {
            if (!name.startsWith(QStringLiteral("tessaline-store-")))
                continue;
            QSqlQuery query(QSqlDatabase::database(name, false));
            if (!query.exec(QStringLiteral("PRAGMA page_count")) || !query.next())
                return false;
            const qint64 pages = full ? query.value(0).toLongLong() : 1073741823;
            if (!query.exec(QStringLiteral("PRAGMA max_page_count = %1").arg(pages)))
                return false;
            ++limited;
        }
        return limited == 1;
    };
    const QString longTitle(atTheCommit ? 300 : 300000, QLatin1Char('w'));
    note->setTitle(longTitle);
    if (atTheCommit)
        disk.setFull(true);
    else
        QVERIFY(limitGrowth(true));
    const auto saved = container->mainContext()->save();
    disk.setFull(false);
    QVERIFY(!saved);
    QVERIFY2(saved.error().message.contains(QStringLiteral("the disk is full. Free some space, then try again.")),
             qPrintable(saved.error().message));

    QVERIFY(limitGrowth(false));
    QVERIFY(container->mainContext()->save());
    container.reset();
    auto reopened = openIn(dir.path());
    const auto boards = reopened->mainContext()->fetchBoards();
    QVERIFY(boards && boards->size() == 1);
    QCOMPARE(boards->first()->title(), longTitle);
}

void StoreSafetyTest::readOnlyLibraryIsReadAndNeverWritten()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Tessaline.sqlite");
    {
        auto container = openIn(dir.path());
        auto *note = new Board;
        note->setTitle(QStringLiteral("Kept"));
        container->mainContext()->insert(note);
        QVERIFY(container->mainContext()->save());
    }
    const QByteArray before = fileBytes(path);

    auto container = openIn(dir.path(), true);
    QVERIFY(container);
    QVERIFY(container->isReadOnly());
    ModelContext &context = *container->mainContext();
    QVERIFY(context.isReadOnly());
    const auto boards = context.fetchBoards();
    QVERIFY(boards && boards->size() == 1);
    QCOMPARE(boards->first()->title(), QStringLiteral("Kept"));

    boards->first()->setTitle(QStringLiteral("Changed"));
    const auto saved = context.save();
    QVERIFY(!saved);
    QCOMPARE(saved.error(), container->readOnlyError());
    QVERIFY(saved.error().message.contains(QStringLiteral("can only be read")));

    QObject receiver;
    bool stagingFailed = false;
    context.stageCardData(&receiver, CanvasCard::OriginalImageBlob, QByteArray(10, 'p'))
        .then(&receiver, [&](const Expected<StagedCardData, StoreError> &staged) { stagingFailed = !staged; });
    QTRY_VERIFY(stagingFailed);

    container.reset();
    QCOMPARE(fileBytes(path), before);
    QCOMPARE(raw(path, QStringLiteral("SELECT title FROM Board")).toString(), QStringLiteral("Kept"));
}

// A library left with changes in its log (the app ended before folding
// them in) in a folder that cannot be written, and without the log's
// shared-memory file, which SQLite must make beside it to read the log (a
// copy that left that file out): the opening says what stands in the way.
// A link to nowhere stands in for the file that cannot be made, as a folder
// that cannot be written does not stop a process run by root.
void StoreSafetyTest::readOnlyLibraryWhoseLogCannotBeReadIsNamed()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Tessaline.sqlite");
    QByteArray log;
    {
        auto container = openIn(dir.path());
        auto *note = new Board;
        note->setTitle(QStringLiteral("Only in the log"));
        container->mainContext()->insert(note);
        QVERIFY(container->mainContext()->save());
        log = fileBytes(path + QStringLiteral("-wal"));
    }
    QVERIFY(!log.isEmpty());
    QFile wal(path + QStringLiteral("-wal"));
    QVERIFY(wal.open(QIODevice::WriteOnly));
    wal.write(log);
    wal.close();
    QFile::remove(path + QStringLiteral("-shm"));
    QVERIFY(QFile::link(dir.filePath("nowhere/Tessaline.sqlite-shm"), path + QStringLiteral("-shm")));
    const QByteArray before = fileBytes(path);

    ModelContainer::Configuration configuration;
    configuration.directory = dir.path();
    configuration.readOnly = true;
    const auto opened = ModelContainer::open(configuration);
    QVERIFY(!opened);
    QVERIFY2(opened.error().message.contains(QStringLiteral("its latest changes are in its log")),
             qPrintable(opened.error().message));
    QVERIFY(opened.error().message.contains(path));
    QCOMPARE(fileBytes(path), before);
    QCOMPARE(fileBytes(path + QStringLiteral("-wal")), log);
}

void StoreSafetyTest::writabilityIsWhatThisProcessMayDo_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<bool>("writable");
    QTest::newRow("a new library in a writable folder") << "new" << true;
    QTest::newRow("a library in a writable folder") << "existing" << true;
    QTest::newRow("a folder that is not there") << "missing" << false;
    // chmod stops anyone but root.
    QTest::newRow("a file without write permission") << "readOnlyFile" << (::geteuid() == 0);
    QTest::newRow("a folder without write permission") << "readOnlyFolder" << (::geteuid() == 0);
}

void StoreSafetyTest::writabilityIsWhatThisProcessMayDo()
{
    QFETCH(QString, setup);
    QFETCH(bool, writable);
    QTemporaryDir dir;
    QString path = dir.filePath("Tessaline.sqlite");
    if (setup != u"new") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    if (setup == u"missing")
        path = dir.filePath("gone/Tessaline.sqlite");
    if (setup == u"readOnlyFile")
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
    if (setup == u"readOnlyFolder")
        QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    QCOMPARE(ModelContainer::isWritable(path), writable);
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// Saves come in a burst; once they stop, the log is folded into the file and
// emptied instead of keeping the size of the burst.
void StoreSafetyTest::logIsEmptiedOnceSavesQuietDown()
{
    QTemporaryDir dir;
    const QString wal = dir.filePath("Tessaline.sqlite-wal");
    auto container = openIn(dir.path());
    ModelContext &context = *container->mainContext();
    context.setIdleCheckpointDelay(50);
    auto *note = new Board;
    context.insert(note);
    for (int i = 0; i < 20; ++i) {
        note->setTitle(QString(100'000, QChar(u'a' + i)));
        QVERIFY(context.save());
    }
    QVERIFY(QFileInfo(wal).size() > 1'000'000);
    QTRY_COMPARE(QFileInfo(wal).size(), 0);
    QCOMPARE(raw(dir.filePath("Tessaline.sqlite"), QStringLiteral("SELECT length(title) FROM Board")).toInt(), 100'000);
}

void StoreSafetyTest::libraryMadeBeforeTheCardIndexReadsTheSame_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("indexMade");
    QTest::newRow("opened for writing: the index is made") << false << true;
    QTest::newRow("opened for reading: read from the table") << true << false;
}

// Cards are read at start-up from an index that leaves out their long texts.
// A library made before that index gets it when next opened for writing,
// and reads every value the same with it or without it.
void StoreSafetyTest::libraryMadeBeforeTheCardIndexReadsTheSame()
{
    QFETCH(bool, readOnly);
    QFETCH(bool, indexMade);
    QTemporaryDir dir;
    const QString path = dir.filePath("Tessaline.sqlite");
    CanvasCard::Values stored;
    {
        auto container = openIn(dir.path());
        ModelContext &context = *container->mainContext();
        auto *note = new Board;
        context.insert(note);
        CanvasCard::Init init;
        init.boardID = note->id();
        init.kind = CardKind::snip;
        init.title = QStringLiteral("Caption — ünïcode");
        init.markdownText = QStringLiteral("markdown");
        init.contextText = QStringLiteral("context");
        init.ocrText = QString(20'000, u'o');
        init.sourceApplicationName = QStringLiteral("Terminal");
        init.sourceWindowTitle = QString();
        init.sourceURLString = QStringLiteral("https://example.org/a");
        init.thumbnailImageData = QByteArray("thumb");
        init.canvasX = -12.5;
        init.canvasY = 1e7;
        init.isPlaced = true;
        init.groupID = QUuid::createUuid();
        init.sourceCardIDs = {QUuid::createUuid()};
        init.createdAt = QDateTime::fromMSecsSinceEpoch(1'700'000'000'123, Qt::UTC);
        init.capturedAt = init.createdAt.addSecs(-5);
        init.deletedAt = init.createdAt.addDays(3);
        auto *card = new CanvasCard(init);
        context.insert(card);
        auto *plain = new CanvasCard;
        plain->setBoardID(note->id());
        context.insert(plain);
        QVERIFY(context.save());
        stored = card->values();
    }
    const QString indexExists =
        QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'index' AND name = 'CanvasCardOutline'");
    QCOMPARE(raw(path, indexExists).toInt(), 1);
    raw(path, QStringLiteral("DROP INDEX CanvasCardOutline"));

    {
        auto container = openIn(dir.path(), readOnly);
        QVERIFY(container);
        const auto cards = container->mainContext()->fetchCards();
        QVERIFY(cards);
        QCOMPARE(cards->size(), 2);
        QCOMPARE(cards->first()->values(), stored);
    }
    QCOMPARE(raw(path, indexExists).toInt(), indexMade ? 1 : 0);
}

// A card table that cannot be read to its end fails the fetch, rather than
// showing the cards before the damage as if they were all: every step that
// follows a fetch (the launch's repair pass, the checks before a save)
// would take the part for the whole.
void StoreSafetyTest::damageFoundWhileReadingCardsFailsTheFetch_data()
{
    QTest::addColumn<bool>("readAhead");
    QTest::newRow("read by the fetch") << false;
    // The parts before the damaged one are read, and made into cards,
    // before the damage is found.
    QTest::newRow("read ahead on workers, in parts") << true;
}

void StoreSafetyTest::damageFoundWhileReadingCardsFailsTheFetch()
{
    QFETCH(bool, readAhead);
    QTemporaryDir dir;
    const QString path = dir.filePath("Tessaline.sqlite");
    QUuid noteID;
    {
        auto container = openIn(dir.path());
        ModelContext &context = *container->mainContext();
        auto *note = new Board;
        context.insert(note);
        noteID = note->id();
        for (int i = 0; i < 2500; ++i) {
            auto *card = new CanvasCard;
            card->setBoardID(note->id());
            card->setTitle(QString(200, QChar(u'a' + i % 26)));
            context.insert(card);
        }
        QVERIFY(context.save());
    }
    // Opened since the cards were saved, as a library is before it is
    // damaged: the opening's upkeep has nothing left to write.
    QVERIFY(openIn(dir.path()));
    // A leaf page of the cards' index well along, among the last rows, as
    // SQLite's own page statistics place it.
    const QVariant page =
        raw(path, QStringLiteral("SELECT pageno FROM dbstat WHERE name = 'CanvasCardOutline' AND pagetype = 'leaf' "
                                 "ORDER BY pageno DESC LIMIT 1 OFFSET 3"));
    if (!page.isValid())
        QSKIP("this SQLite has no page statistics to find the page with");
    const int pageSize = raw(path, QStringLiteral("PRAGMA page_size")).toInt();
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.seek(qint64(page.toInt() - 1) * pageSize));
        QVERIFY(file.write(QByteArray(pageSize, '\xee')) == pageSize);
    }
    const QByteArray damaged = fileBytes(path);

    auto container = openIn(dir.path());
    QVERIFY(container);
    ModelContext &context = *container->mainContext();
    if (readAhead)
        context.readAhead();
    const auto cards = context.fetchCards();
    QVERIFY(!cards);
    QVERIFY2(cards.error().message.contains(QStringLiteral("could not be read")), qPrintable(cards.error().message));
    // Nothing of the part read stays behind to be taken for the library.
    QVERIFY(context.findChildren<CanvasCard *>().isEmpty());
    QVERIFY(!context.fetchCards());
    const auto boards = context.fetchBoards();
    QVERIFY(boards && boards->size() == 1 && boards->first()->id() == noteID);

    // Written to, the library could lose more than the damaged part: it
    // takes no change from now on, and says why.
    QVERIFY(context.isReadOnly());
    boards->first()->setTitle(QStringLiteral("Changed"));
    const auto saved = context.save();
    QVERIFY(!saved);
    QVERIFY2(saved.error().message.contains(QStringLiteral("is damaged")), qPrintable(saved.error().message));
    container.reset();
    QVERIFY(fileBytes(path) == damaged);
}

void StoreSafetyTest::libraryFolderIsItsOwnersAlone_data()
{
    QTest::addColumn<bool>("madeEarlier");
    QTest::newRow("a library made now") << false;
    QTest::newRow("a library whose folder everyone could read") << true;
}

// The library, its log and its lock hold what was on the user's screen: the
// folder that keeps them lets nobody else in, whatever the umask, and a
// folder left open by an earlier version is closed when the library opens,
// its library read as before.
void StoreSafetyTest::libraryFolderIsItsOwnersAlone()
{
    QFETCH(bool, madeEarlier);
    QTemporaryDir dir;
    const QString folder = dir.filePath("share/Tessaline");
    const auto everyone = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
        | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
    const mode_t umaskBefore = ::umask(022);
    if (madeEarlier) {
        QVERIFY(QDir().mkpath(folder));
        {
            auto earlier = openIn(folder);
            QVERIFY(earlier);
            auto *note = new Board;
            note->setTitle(QStringLiteral("Kept"));
            earlier->mainContext()->insert(note);
            QVERIFY(earlier->mainContext()->save());
        }
        QVERIFY(QFile::setPermissions(folder, everyone));
    }
    ModelContainer::Configuration configuration;
    configuration.directory = folder;
    configuration.holdsLibrary = true;
    auto container = ModelContainer::open(configuration);
    ::umask(umaskBefore);
    QVERIFY2(container, qPrintable(container ? QString() : container.error().message));
    ModelContext &context = *(*container)->mainContext();
    context.insert(new Board);
    QVERIFY(context.save());

    const QString path = QDir(folder).filePath("Tessaline.sqlite");
    QVERIFY(QFileInfo::exists(path + QStringLiteral("-wal")));
    QVERIFY(QFileInfo::exists(path + QStringLiteral(".lock")));
    QCOMPARE(QFileInfo(folder).permissions() & everyone,
             QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(context.fetchBoards()->size(), madeEarlier ? 2 : 1);
}

// A snip deleted for good (a screen that showed a password, say) leaves
// nothing of its text or its picture in the library's file for anyone who
// reads the file's free space: a backup, a copy of the folder.
void StoreSafetyTest::snipDeletedForGoodLeavesNothingReadable_data()
{
    QTest::addColumn<bool>("stillOpen");
    QTest::newRow("library closed") << false;
    QTest::newRow("library still open, saves quiet") << true;
}

void StoreSafetyTest::snipDeletedForGoodLeavesNothingReadable()
{
    QFETCH(bool, stillOpen);
    QTemporaryDir dir;
    const QString path = dir.filePath("Tessaline.sqlite");
    const QByteArray secret = "secret-" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    {
        auto container = openIn(dir.path());
        ModelContext &context = *container->mainContext();
        auto *note = new Board;
        context.insert(note);
        QVERIFY(context.save());

        QObject receiver;
        std::optional<Expected<StagedCardData, StoreError>> staged;
        // A picture of many pages, the secret on each.
        context.stageCardData(&receiver, CanvasCard::OriginalImageBlob, secret.repeated(5000))
            .then(&receiver, [&](const Expected<StagedCardData, StoreError> &answer) { staged = answer; });
        QTRY_VERIFY(staged.has_value());
        QVERIFY(*staged);
        CanvasCard::Init init;
        init.boardID = note->id();
        init.kind = CardKind::snip;
        init.ocrText = QString::fromLatin1(secret);
        init.contextText = QString::fromLatin1(secret);
        auto *card = new CanvasCard(init);
        context.insert(card, **staged);
        QVERIFY(context.save());
        QVERIFY(fileBytes(path).contains(secret) || fileBytes(path + QStringLiteral("-wal")).contains(secret));

        context.setIdleCheckpointDelay(50);
        context.remove(card);
        QVERIFY(context.save());
        // Once saves quiet down, the log holds none of the pages the
        // snip was on before: a copy of the folder taken while the app
        // runs, or the log an ended app left behind, has nothing of it.
        if (stillOpen) {
            QTRY_VERIFY(!fileBytes(path + QStringLiteral("-wal")).contains(secret));
            QVERIFY(!fileBytes(path).contains(secret));
        }
    }
    QVERIFY(!QFileInfo::exists(path + QStringLiteral("-wal")) || !fileBytes(path + QStringLiteral("-wal")).contains(secret));
    QVERIFY(!fileBytes(path).contains(secret));
}

void StoreSafetyTest::noteDeletedForGoodLeavesNoWritingKeptAside()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Tessaline.sqlite");
    const QByteArray secret = "secret-" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    {
        auto container = openIn(dir.path());
        ModelContext &context = *container->mainContext();
        // Writing that cannot be read is kept aside when its note is
        // written again: the deleted note's, and another's that stays.
        auto *deleted = new Board;
        deleted->setWritingDocumentStorage(QStringLiteral("{broken ") + QString::fromLatin1(secret.repeated(50)));
        auto *kept = new Board;
        kept->setWritingDocumentStorage(QStringLiteral("{broken and kept"));
        context.insert(deleted);
        context.insert(kept);
        QVERIFY(context.save());
        const QDateTime now = QDateTime::currentDateTimeUtc();
        QVERIFY(deleted->updateWritingDocument(BoardWritingDocument::empty(), now));
        QVERIFY(kept->updateWritingDocument(BoardWritingDocument::empty(), now));
        QVERIFY(context.save());
        const QUuid deletedID = deleted->id();
        QCOMPARE(context.writingRecoveries(deletedID)->size(), 1);

        context.remove(deleted);
        QVERIFY(context.save());
        QVERIFY(context.writingRecoveries(deletedID)->isEmpty());
        QCOMPARE(context.writingRecoveries(kept->id())->size(), 1);
    }
    QVERIFY(!QFileInfo::exists(path + QStringLiteral("-wal")) || !fileBytes(path + QStringLiteral("-wal")).contains(secret));
    QVERIFY(!fileBytes(path).contains(secret));
    QCOMPARE(raw(path, QStringLiteral("SELECT text FROM WritingRecovery")).toString(), QStringLiteral("{broken and kept"));
}

void StoreSafetyTest::writingKeptAsideOfNotesGoneLeavesAtOpening()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Tessaline.sqlite");
    const QByteArray secret = "secret-" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    QUuid keptID;
    {
        auto container = openIn(dir.path());
        auto *kept = new Board;
        container->mainContext()->insert(kept);
        QVERIFY(container->mainContext()->save());
        keptID = kept->id();
    }
    // As a build that did not take it away with its note left it.
    raw(path, {QStringLiteral("INSERT INTO WritingRecovery (boardID, savedAt, text) VALUES ('%1', 1, '{broken %2')")
                   .arg(uuidText(QUuid::createUuid()), QString::fromLatin1(secret.repeated(50))),
               QStringLiteral("INSERT INTO WritingRecovery (boardID, savedAt, text) VALUES ('%1', 2, '{broken and kept')")
                   .arg(uuidText(keptID))});
    QVERIFY(fileBytes(path).contains(secret));
    {
        auto container = openIn(dir.path());
        QCOMPARE(container->mainContext()->writingRecoveries(keptID)->size(), 1);
    }
    QVERIFY(!QFileInfo::exists(path + QStringLiteral("-wal")) || !fileBytes(path + QStringLiteral("-wal")).contains(secret));
    QVERIFY(!fileBytes(path).contains(secret));
    QCOMPARE(raw(path, QStringLiteral("SELECT COUNT(*) FROM WritingRecovery")).toInt(), 1);
}

void StoreSafetyTest::libraryTakenAwayIsNotWrittenBehindItsPath_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("folder deleted") << "deleted";
    QTest::newRow("folder moved away") << "moved";
    QTest::newRow("another library put in its place") << "replaced";
}

void StoreSafetyTest::libraryTakenAwayIsNotWrittenBehindItsPath()
{
    QFETCH(QString, how);
    QTemporaryDir dir;
    const QString folder = dir.filePath("Tessaline");
    const QString elsewhere = dir.filePath("Elsewhere");
    const QString path = QDir(folder).filePath("Tessaline.sqlite");
    ModelContainer::Configuration configuration;
    configuration.directory = folder;
    configuration.holdsLibrary = true;
    auto container = ModelContainer::open(configuration);
    QVERIFY2(container, qPrintable(container ? QString() : container.error().message));
    ModelContext &context = *(*container)->mainContext();
    auto *note = new Board;
    note->setTitle(QStringLiteral("Kept"));
    context.insert(note);
    QVERIFY(context.save());

    if (how == u"deleted") {
        QVERIFY(QDir(folder).removeRecursively());
    } else {
        QVERIFY(QDir().rename(folder, elsewhere));
        if (how == u"replaced") {
            QVERIFY(QDir().mkpath(folder));
            raw(path, QStringLiteral("CREATE TABLE Other (value TEXT)"));
        }
    }

    // A change that would land in a file nobody finds again is refused,
    // as is a capture's picture, and the user is told where the library was.
    note->setTitle(QStringLiteral("Changed"));
    const auto saved = context.save();
    QVERIFY(!saved);
    QVERIFY2(saved.error().message.contains(path), qPrintable(saved.error().message));
    QObject receiver;
    std::optional<Expected<StagedCardData, StoreError>> staged;
    context.stageCardData(&receiver, CanvasCard::OriginalImageBlob, QByteArray(10, 'p'))
        .then(&receiver, [&](const Expected<StagedCardData, StoreError> &answer) { staged = answer; });
    QTRY_VERIFY(staged.has_value());
    QVERIFY(!*staged);
    QCOMPARE(staged->error(), saved.error());
    if (how == u"deleted") {
        QVERIFY(!QFileInfo::exists(path));
        return;
    }
    if (how == u"replaced") {
        QVERIFY(!raw(path, QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE name = 'Board'")).toBool());
        QVERIFY(QDir(folder).removeRecursively());
    }
    QVERIFY(QDir().rename(elsewhere, folder));

    // Put back where it was, the library takes the change that waited.
    QVERIFY(context.save());
    container->reset();
    QCOMPARE(raw(path, QStringLiteral("SELECT title FROM Board")).toString(), QStringLiteral("Changed"));
}

QTEST_GUILESS_MAIN(StoreSafetyTest)
#include "tst_storesafety.moc"
