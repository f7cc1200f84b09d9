#include "../support/FullDisk.h"
#include "model/ModelChangeScope.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"

#include <QFile>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace tessaline;

namespace {

QDateTime at(qint64 ms) { return QDateTime::fromMSecsSinceEpoch(1'800'000'000'000 + ms, Qt::UTC); }

std::unique_ptr<ModelContainer> openIn(const QString &directory)
{
    ModelContainer::Configuration configuration;
    configuration.directory = directory;
    auto container = ModelContainer::open(configuration);
    if (!container)
        qWarning() << container.error().message;
    return container ? std::move(*container) : nullptr;
}

// Empty for a file that is not there, as for one that is empty.
QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs one statement on the file directly, outside the store.
QVariant rawQuery(const QString &path, const QString &statement)
{
    QVariant result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "raw");
        db.setDatabaseName(path);
        db.open();
        QSqlQuery query(db);
        query.exec(statement);
        if (query.next())
            result = query.value(0);
    }
    QSqlDatabase::removeDatabase("raw");
    return result;
}

CanvasCard *makeSnip(const QUuid &boardID, const QByteArray &png)
{
    CanvasCard::Init init;
    init.boardID = boardID;
    init.kind = CardKind::snip;
    init.originalImageData = png;
    init.annotationDocumentData = QByteArray("{}");
    init.sourceApplicationName = QStringLiteral("Files");
    init.captureModeRawValue = QStringLiteral("region");
    init.createdAt = at(1);
    init.capturedAt = at(1);
    return new CanvasCard(init);
}

} // namespace

class ModelContextTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void valuesSurviveReopening();
    void editsOfSavedEntitiesSurviveReopening();
    void identityAndOrder();
    void rollbackRestoresLastSave();
    void changeScopeUndoesOnlyItsOwnChanges_data();
    void changeScopeUndoesOnlyItsOwnChanges();
    void changeScopesNestAndEndAtASave();
    void failedSaveWritesNothing();
    void cardLookupByIDAgreesWithAWalk_data();
    void cardLookupByIDAgreesWithAWalk();
    void cardBytesLoadLazilyAndGoWithTheCard();
    void storedCardTextsHoldThroughEveryRoad_data();
    void storedCardTextsHoldThroughEveryRoad();
    void changesWhileTheLibraryIsReadAheadAreKept_data();
    void changesWhileTheLibraryIsReadAheadAreKept();
    void presentButEmptyBytesAreStored();
    void stagedBytesEndWithTheirCard_data();
    void stagedBytesEndWithTheirCard();
    void recoveryRecordsAreKept();
    void savesAreSyncedToDisk();
    void recognitionMarksClearWithoutWaitingForTheWriteLock();
    void recognitionMarkThatCannotBeClearedIsTriedAgain();
    void refusesWhatIsNotItsLibrary_data();
    void refusesWhatIsNotItsLibrary();
    void refusesCloudMirroring();
};

void ModelContextTest::valuesSurviveReopening()
{
    QTemporaryDir dir;
    QUuid boardID, cardID, connectionID;
    Board::Values boardValues;
    CanvasCard::Values cardValues;
    {
        auto container = openIn(dir.path());
        QVERIFY(container);
        ModelContext *context = container->mainContext();
        auto *board = new Board;
        board->setTitle(QStringLiteral("Ünïcode — “title”"));
        board->setFocusQuestion(QStringLiteral(""));
        board->setSortIndex(-1.5);
        board->setCreatedAt(at(123));
        board->setArchivedAt(at(456));
        board->setFolderNameValue(std::nullopt);
        context->insert(board);
        auto *card = makeSnip(board->id(), QByteArray(1000, 'p'));
        card->setGroupID(QUuid::createUuid());
        card->setCanvasX(12.25);
        // The card's record keeps absent and empty texts, and absent dates,
        // in little space: each stays what it was.
        card->setTitle(QStringLiteral(""));
        card->setSourceWindowTitle(std::nullopt);
        card->setSourceURLString(QStringLiteral("https://example.com/ü"));
        card->setContextText(QStringLiteral("context"));
        card->setCapturedAt(at(789));
        card->setLastResurfacedAt(std::nullopt);
        context->insert(card);
        auto *connection = new Connection;
        connection->setBoardID(board->id());
        context->insert(connection);
        QSignalSpy saved(context, &ModelContext::didSave);
        QVERIFY(context->save());
        QCOMPARE(saved.count(), 1);
        QVERIFY(!context->hasChanges());
        boardID = board->id();
        cardID = card->id();
        connectionID = connection->id();
        boardValues = board->values();
        cardValues = card->values();
    }
    auto container = openIn(dir.path());
    QVERIFY(container);
    ModelContext *context = container->mainContext();
    const auto boards = context->fetchBoards();
    QVERIFY(boards && boards->size() == 1);
    QCOMPARE(boards->first()->values(), boardValues);
    QCOMPARE(boards->first()->focusQuestion(), std::optional<QString>(QString())); // empty, not absent
    const auto cards = context->fetchCards();
    QVERIFY(cards && cards->size() == 1);
    QCOMPARE(cards->first()->id(), cardID);
    QCOMPARE(cards->first()->values(), cardValues);
    QCOMPARE(cards->first()->title(), std::optional<QString>(QString())); // empty, not absent
    QCOMPARE(cards->first()->sourceWindowTitle(), std::nullopt);
    QCOMPARE(cards->first()->capturedAt(), std::optional<QDateTime>(at(789)));
    QVERIFY(!cards->first()->lastResurfacedAt());
    QCOMPARE(cards->first()->canvasX(), 12.25);
    QVERIFY(cards->first()->groupID());
    QVERIFY(!cards->first()->hasThumbnailImageData());
    const auto connections = context->fetchConnections();
    QVERIFY(connections && connections->size() == 1);
    QCOMPARE(connections->first()->id(), connectionID);
    QVERIFY(!connections->first()->label());
}

// A save writes every saved note, card and connection that changed since
// the last one, whichever of a large library they are, and nothing removed.
void ModelContextTest::editsOfSavedEntitiesSurviveReopening()
{
    QTemporaryDir dir;
    QList<QUuid> cardIDs;
    QUuid boardID, connectionID, removedID;
    {
        auto container = openIn(dir.path());
        QVERIFY(container);
        ModelContext *context = container->mainContext();
        auto *board = new Board;
        context->insert(board);
        QList<CanvasCard *> cards;
        for (int i = 0; i < 40; ++i) {
            auto *card = makeSnip(board->id(), QByteArray(10, 'p'));
            context->insert(card);
            cards << card;
        }
        auto *connection = new Connection;
        connection->setBoardID(board->id());
        context->insert(connection);
        QVERIFY(context->save());

        // Edits here and there, the last saved card first; one card edited
        // and then removed; a new card edited before its first save.
        cards.at(39)->setTitle(QStringLiteral("last"));
        cards.at(3)->setTitle(QStringLiteral("third"));
        cards.at(20)->setCanvasX(7.5);
        cards.at(20)->setContextText(QStringLiteral("twentieth"));
        cards.at(30)->setOriginalImageData(QByteArray(20, 'z'));
        board->setTitle(QStringLiteral("renamed"));
        connection->setLabel(QStringLiteral("leads to"));
        cards.at(10)->setTitle(QStringLiteral("gone"));
        context->remove(cards.at(10));
        auto *fresh = makeSnip(board->id(), QByteArray(10, 'q'));
        context->insert(fresh);
        fresh->setTitle(QStringLiteral("fresh"));
        QVERIFY(context->save());
        QVERIFY(!context->hasChanges());
        for (const CanvasCard *card : std::as_const(cards))
            cardIDs << card->id();
        cardIDs << fresh->id();
        boardID = board->id();
        connectionID = connection->id();
        removedID = cards.at(10)->id();
    }
    auto container = openIn(dir.path());
    QVERIFY(container);
    ModelContext *context = container->mainContext();
    QCOMPARE((*context->fetchBoards()).first()->title(), QStringLiteral("renamed"));
    QCOMPARE((*context->fetchConnections()).first()->label(), std::optional<QString>(QStringLiteral("leads to")));
    QHash<QUuid, CanvasCard *> byID;
    for (CanvasCard *card : *context->fetchCards())
        byID.insert(card->id(), card);
    QCOMPARE(byID.size(), 40);
    QVERIFY(!byID.contains(removedID));
    QCOMPARE(byID.value(cardIDs.at(39))->title(), std::optional<QString>(QStringLiteral("last")));
    QCOMPARE(byID.value(cardIDs.at(3))->title(), std::optional<QString>(QStringLiteral("third")));
    QCOMPARE(byID.value(cardIDs.at(20))->canvasX(), 7.5);
    QCOMPARE(byID.value(cardIDs.at(20))->contextText(), QStringLiteral("twentieth"));
    QCOMPARE(byID.value(cardIDs.last())->title(), std::optional<QString>(QStringLiteral("fresh")));
    QCOMPARE(byID.value(cardIDs.at(30))->originalImageData(), std::optional<QByteArray>(QByteArray(20, 'z')));
    QCOMPARE(byID.value(cardIDs.at(31))->originalImageData(), std::optional<QByteArray>(QByteArray(10, 'p')));
    QCOMPARE(byID.value(cardIDs.at(4))->title(), std::nullopt);
}

void ModelContextTest::identityAndOrder()
{
    auto container = ModelContainer::open({QStringLiteral("Tessaline"), true, std::nullopt, QString()});
    QVERIFY(container);
    ModelContext *context = (*container)->mainContext();
    QList<Board *> made;
    for (int i = 0; i < 5; ++i) {
        made.append(new Board);
        context->insert(made.last());
    }
    QVERIFY(context->save());
    auto *pending = new Board;
    context->insert(pending);
    context->remove(made[1]);

    const auto boards = context->fetchBoards();
    QVERIFY(boards);
    QCOMPARE(*boards, (QList<Board *>{made[0], made[2], made[3], made[4], pending}));
    // Two boards with equal fields are still two boards.
    pending->setId(made[0]->id());
    QVERIFY(pending != made[0]);
}

void ModelContextTest::rollbackRestoresLastSave()
{
    QTemporaryDir dir;
    auto container = openIn(dir.path());
    ModelContext *context = container->mainContext();
    auto *kept = new Board;
    kept->setTitle(QStringLiteral("saved"));
    auto *doomed = new Board;
    context->insert(kept);
    context->insert(doomed);
    QVERIFY(context->save());

    kept->setTitle(QStringLiteral("unsaved"));
    context->remove(doomed);
    auto *added = new Board;
    context->insert(added);
    QSignalSpy changed(kept, &PersistentEntity::changed);

    context->rollback();
    QCOMPARE(kept->title(), QStringLiteral("saved"));
    QVERIFY(changed.count() > 0); // screens hear about the restored values
    QVERIFY(!context->hasChanges());
    QCOMPARE(*context->fetchBoards(), (QList<Board *>{kept, doomed}));
    QVERIFY(!added->modelContext());
    QVERIFY(context->save()); // nothing left to write
}

void ModelContextTest::changeScopeUndoesOnlyItsOwnChanges_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("field of a saved note") << "write";
    QTest::newRow("field edited before the scope") << "write again";
    QTest::newRow("card bytes") << "bytes";
    QTest::newRow("writing kept aside") << "recovery";
    QTest::newRow("insert") << "insert";
    QTest::newRow("insert taken out again") << "insert and remove";
    QTest::newRow("saved note deleted") << "remove saved";
    QTest::newRow("pending insert taken out") << "remove pending";
    QTest::newRow("everything at once") << "all";
}

void ModelContextTest::changeScopeUndoesOnlyItsOwnChanges()
{
    QFETCH(QString, change);
    QTemporaryDir dir;
    const QString path = dir.filePath("Tessaline.sqlite");
    auto container = openIn(dir.path());
    ModelContext *context = container->mainContext();
    auto *edited = new Board;
    edited->setTitle(QStringLiteral("edited"));
    auto *other = new Board;
    other->setTitle(QStringLiteral("other"));
    other->setWritingDocumentStorage(QStringLiteral("not json"));
    CanvasCard *card = makeSnip(other->id(), QByteArray("png"));
    context->insert(edited);
    context->insert(other);
    context->insert(card);
    QVERIFY(context->save());

    // Unsaved edits waiting by design, made before the operation began.
    edited->setTitle(QStringLiteral("typed, not yet saved"));
    auto *pending = new Board;
    pending->setTitle(QStringLiteral("pending"));
    context->insert(pending);
    const Board::Values editedBefore = edited->values();
    const Board::Values otherBefore = other->values();
    const CanvasCard::Values cardBefore = card->values();
    const QList<Board *> boardsBefore = *context->fetchBoards();

    ModelChangeScope scope(*context);
    QVERIFY(!scope.hasChanges());
    // Owned by the test until the context adopts it: most rows never insert it.
    auto *added = new Board(container.get());
    const bool all = change == u"all";
    if (all || change == u"write")
        other->setTitle(QStringLiteral("operation"));
    if (all || change == u"write again")
        edited->setTitle(QStringLiteral("operation"));
    if (all || change == u"bytes")
        card->setAnnotationDocumentData(QByteArray("operation"));
    if (all || change == u"recovery")
        QVERIFY(other->updateWritingDocument(BoardWritingDocument::empty(), at(9)));
    if (all || change.startsWith(u"insert"))
        context->insert(added);
    if (all || change == u"insert and remove")
        context->remove(added);
    if (all || change == u"remove saved")
        context->remove(other);
    if (all || change == u"remove pending")
        context->remove(pending);
    QVERIFY(scope.hasChanges());
    QSignalSpy heard(other, &PersistentEntity::changed);

    scope.undo();
    QVERIFY(!scope.hasChanges());
    QCOMPARE(edited->values(), editedBefore);
    QCOMPARE(other->values(), otherBefore);
    QCOMPARE(card->values(), cardBefore);
    QCOMPARE(*context->fetchBoards(), boardsBefore);
    QVERIFY(!added->modelContext());
    QCOMPARE(pending->modelContext(), context);
    QVERIFY(edited->hasChanges());
    QVERIFY(!other->hasChanges());
    QVERIFY(!card->hasChanges());
    if (all || change == u"write" || change == u"recovery")
        QVERIFY(heard.count() > 0); // screens hear about the values put back
    QVERIFY(context->writingRecoveries(other->id())->isEmpty());

    // What is saved now is the earlier edits and nothing of the operation.
    QVERIFY(context->save());
    QCOMPARE(rawQuery(path, "SELECT COUNT(*) FROM Board").toInt(), 3);
    QCOMPARE(rawQuery(path, "SELECT title FROM Board WHERE row = 1").toString(), u"typed, not yet saved"_qs);
    QCOMPARE(rawQuery(path, "SELECT title FROM Board WHERE row = 2").toString(), u"other"_qs);
    QCOMPARE(rawQuery(path, "SELECT COUNT(*) FROM WritingRecovery").toInt(), 0);
    QCOMPARE(card->annotationDocumentData(), std::optional<QByteArray>("{}"));
}

void ModelContextTest::changeScopesNestAndEndAtASave()
{
    QTemporaryDir dir;
    auto container = openIn(dir.path());
    ModelContext *context = container->mainContext();
    auto *first = new Board;
    auto *second = new Board;
    context->insert(first);
    context->insert(second);
    QVERIFY(context->save());

    {
        ModelChangeScope outer(*context);
        first->setTitle(QStringLiteral("outer"));
        {
            ModelChangeScope inner(*context);
            second->setTitle(QStringLiteral("inner"));
            first->setTitle(QStringLiteral("inner"));
            auto *added = new Board;
            context->insert(added);
            inner.undo();
            QVERIFY(!added->modelContext());
        }
        QCOMPARE(first->title(), QStringLiteral("outer"));
        QCOMPARE(second->title(), QStringLiteral("Untitled Board"));
        QVERIFY(outer.hasChanges());
        outer.undo();
        QCOMPARE(first->title(), QStringLiteral("Untitled Board"));
        QVERIFY(!context->hasChanges());
    }

    // A save stores what the scope recorded: nothing is left to undo.
    ModelChangeScope scope(*context);
    first->setTitle(QStringLiteral("stored"));
    QVERIFY(scope.saveOrUndo());
    QVERIFY(!scope.hasChanges());
    scope.undo();
    QCOMPARE(first->title(), QStringLiteral("stored"));

    // A failed save undoes the scope's changes only.
    first->setTitle(QStringLiteral("typed earlier"));
    ModelChangeScope failing(*context);
    second->setTitle(QStringLiteral("operation"));
    context->failNextSave(StoreError{QStringLiteral("disk full")});
    const auto saved = failing.saveOrUndo();
    QVERIFY(!saved);
    QCOMPARE(saved.error().message, QStringLiteral("disk full"));
    QCOMPARE(second->title(), QStringLiteral("Untitled Board"));
    QCOMPARE(first->title(), QStringLiteral("typed earlier"));

    // A rollback leaves the scope nothing to put back.
    second->setTitle(QStringLiteral("again"));
    context->rollback();
    QVERIFY(!failing.hasChanges());

    // A scope outliving its library does nothing.
    auto closing = ModelContainer::open({QStringLiteral("Tessaline"), true, std::nullopt, QString()});
    QVERIFY(closing);
    ModelChangeScope orphan(*(*closing)->mainContext());
    (*closing)->mainContext()->insert(new Board);
    closing->reset();
    orphan.undo();
    QVERIFY(!orphan.saveOrUndo());
}

void ModelContextTest::failedSaveWritesNothing()
{
    QTemporaryDir dir;
    {
        auto container = openIn(dir.path());
        ModelContext *context = container->mainContext();
        auto *board = new Board;
        board->setTitle(QStringLiteral("first"));
        context->insert(board);
        QVERIFY(context->save());

        board->setTitle(QStringLiteral("second"));
        context->insert(new Board);
        context->failNextSave(StoreError{QStringLiteral("disk full")});
        const auto result = context->save();
        QVERIFY(!result);
        QCOMPARE(result.error().message, QStringLiteral("disk full"));
        QVERIFY(context->hasChanges()); // still there to save or roll back

        context->failNextFetch(StoreError{QStringLiteral("gone")});
        QVERIFY(!context->fetchBoards());
        QCOMPARE(context->fetchBoards()->size(), 2); // only the next fetch fails
    }
    auto container = openIn(dir.path());
    const auto boards = container->mainContext()->fetchBoards();
    QCOMPARE(boards->size(), 1);
    QCOMPARE(boards->first()->title(), QStringLiteral("first"));
}

void ModelContextTest::cardLookupByIDAgreesWithAWalk_data()
{
    // Steps: "+a" inserts a card of id a (again: a second card of it), "-a"
    // and "-a2" remove the first or second card fetchCards() lists of a,
    // "a>b" writes b into the first card of a; capitals do the same with
    // notes. "( )" open and undo a change
    // scope, "save", "fail" (a save that fails), "rollback", "read" (the
    // store read again) and "reopen" (a new context on the file).
    QTest::addColumn<QStringList>("steps");
    const auto steps = [](const char *text) { return QString::fromLatin1(text).split(u' '); };
    QTest::newRow("deleted, saved and added again") << steps("+a +b save -a +a save -b save +b reopen -a save");
    QTest::newRow("one id held thrice") << steps("+a +a save +a -a save -a2 save reopen +a -a2 -a save");
    QTest::newRow("ids written") << steps("+a +b save b>a a>c save read c>d -a -d save reopen");
    QTest::newRow("scope undone") << steps("+a +b save ( +c -a b>a +a -a2 ) save");
    QTest::newRow("pending inserts taken out and undone") << steps("+a +b +a ( -b -a -a +b ) save");
    QTest::newRow("undone within a saved scope") << steps("+a save ( +b save -a b>a ) ( -b ) save");
    QTest::newRow("rolled back") << steps("+a +b save +c -a b>c c>d rollback +c save");
    QTest::newRow("failed save kept pending") << steps("+a +b fail -a +a save b>a fail rollback");
    QTest::newRow("notes") << steps("+A +B +A save -A +A ( -A2 B>A ) A>C save B>A -A2 rollback read B>A -A save reopen");
}

void ModelContextTest::cardLookupByIDAgreesWithAWalk()
{
    QFETCH(QStringList, steps);
    QTemporaryDir dir;
    auto container = openIn(dir.path());
    QVERIFY(container);
    auto *note = new Board;
    container->mainContext()->insert(note);
    QVERIFY(container->mainContext()->save());
    const QUuid noteID = note->id();
    // The same text names the same id throughout; "z" is never held.
    const auto idOf = [](QStringView name) { return QUuid::createUuidV5(QUuid(), name.toString()); };
    std::optional<ModelChangeScope> scope;
    // The count and list of the last check; none after a reopen.
    quint64 revision = 0;
    bool revisionKnown = false;
    QList<CanvasCard *> listedAtRevision;

    for (const QString &step : std::as_const(steps)) {
        ModelContext *context = container->mainContext();
        const auto nthOf = [&](QStringView name, qsizetype nth) -> PersistentEntity * {
            if (name.front().isUpper())
                return context->fetchBoards(idOf(name)).value_or(QList<Board *>()).value(nth);
            return context->fetchCards(idOf(name)).value_or(QList<CanvasCard *>()).value(nth);
        };
        if (step == u"+A" || step == u"+B") {
            auto *added = new Board;
            added->setId(idOf(step.mid(1)));
            context->insert(added);
        } else if (step.startsWith(u'+')) {
            CanvasCard::Init init;
            init.id = idOf(step.mid(1));
            init.boardID = noteID;
            init.kind = CardKind::thought;
            context->insert(new CanvasCard(init));
        } else if (step.startsWith(u'-')) {
            PersistentEntity *entity = nthOf(step.mid(1, 1), step.size() > 2 ? 1 : 0);
            QVERIFY2(entity, qPrintable(step));
            context->remove(entity);
        } else if (step.contains(u'>')) {
            PersistentEntity *entity = nthOf(step.left(1), 0);
            QVERIFY2(entity, qPrintable(step));
            if (auto *board = qobject_cast<Board *>(entity))
                board->setId(idOf(step.mid(2)));
            else
                qobject_cast<CanvasCard *>(entity)->setId(idOf(step.mid(2)));
        } else if (step == u"(") {
            scope.emplace(*context);
        } else if (step == u")") {
            scope->undo();
            scope.reset();
        } else if (step == u"save") {
            QVERIFY(context->save());
        } else if (step == u"fail") {
            context->failNextSave(StoreError{QStringLiteral("disk full")});
            QVERIFY(!context->save());
        } else if (step == u"rollback") {
            context->rollback();
        } else if (step == u"read") {
            QVERIFY(context->readStoreAgain());
        } else if (step == u"reopen") {
            container.reset();
            container = openIn(dir.path());
            QVERIFY(container);
            revisionKnown = false;
        } else {
            QFAIL(qPrintable(step));
        }
        context = container->mainContext();

        // Asked before the whole list, so a new context's first question
        // reads it.
        QHash<QString, QList<CanvasCard *>> found;
        for (const QString &name : {u"a"_qs, u"b"_qs, u"c"_qs, u"d"_qs, u"z"_qs})
            found.insert(name, *context->fetchCards(idOf(name)));
        QHash<QString, QList<Board *>> notesFound;
        for (const QString &name : {u"A"_qs, u"B"_qs, u"C"_qs, u"Z"_qs})
            notesFound.insert(name, *context->fetchBoards(idOf(name)));
        const QList<CanvasCard *> listed = *context->fetchCards();
        const auto agree = [&](const auto &answers, const auto &all) {
            for (auto it = answers.cbegin(); it != answers.cend(); ++it) {
                auto walked = all;
                walked.removeIf([&](const auto *entity) { return entity->id() != idOf(it.key()); });
                if (!std::ranges::equal(*it, walked))
                    return it.key();
            }
            return QString();
        };
        const QString differs = agree(found, listed) + agree(notesFound, *context->fetchBoards());
        QVERIFY2(differs.isEmpty(), qPrintable(QStringLiteral("%1 after %2").arg(differs, step)));
        for (auto it = found.cbegin(); it != found.cend(); ++it)
            QVERIFY(std::ranges::equal(context->cardsWithID(idOf(it.key())), *it));
        // A reader holding a list of an unchanged count holds what is listed.
        if (revisionKnown && revision == context->cardListRevision())
            QVERIFY2(std::ranges::equal(listed, listedAtRevision), qPrintable(step));
        revision = context->cardListRevision();
        revisionKnown = true;
        listedAtRevision = listed;
    }
}

void ModelContextTest::cardBytesLoadLazilyAndGoWithTheCard()
{
    QTemporaryDir dir;
    const QByteArray image(2 * 1024 * 1024, 'i');
    {
        auto container = openIn(dir.path());
        ModelContext *context = container->mainContext();
        context->insert(makeSnip(QUuid::createUuid(), image));
        QVERIFY(context->save());
    }
    const QString path = dir.filePath("Tessaline.sqlite");
    auto container = openIn(dir.path());
    ModelContext *context = container->mainContext();
    CanvasCard *card = context->fetchCards()->first();
    // Listing the card read no image bytes.
    QVERIFY(card->hasOriginalImageData());
    QVERIFY(!card->values().blobs.pendingBytes(CanvasCard::OriginalImageBlob));
    QCOMPARE(card->originalImageData(), std::optional<QByteArray>(image));
    QCOMPARE(card->annotationDocumentData(), std::optional<QByteArray>("{}"));

    // Clearing the annotation removes its bytes; deleting the card removes the rest.
    card->setAnnotationDocumentData(std::nullopt);
    QVERIFY(context->save());
    QVERIFY(!card->annotationDocumentData());
    QCOMPARE(rawQuery(path, "SELECT COUNT(*) FROM CanvasCardData").toInt(), 1);
    context->remove(card);
    QVERIFY(context->save());
    QVERIFY(context->fetchCards()->isEmpty());
    QCOMPARE(rawQuery(path, "SELECT COUNT(*) FROM CanvasCardData").toInt(), 0);
    QCOMPARE(rawQuery(path, "SELECT COUNT(*) FROM CanvasCard").toInt(), 0);
}

void ModelContextTest::storedCardTextsHoldThroughEveryRoad_data()
{
    QTest::addColumn<QString>("road");
    // Cards read from the store have their long texts read when first asked
    // for; whatever happens to a card first, it shows its own texts after.
    QTest::newRow("read") << "read";
    QTest::newRow("values copied whole") << "values";
    QTest::newRow("one text written, the others kept") << "write";
    QTest::newRow("an edit undone after the texts were read") << "undo";
    QTest::newRow("unsaved edits dropped") << "rollback";
    QTest::newRow("deleted for good") << "delete";
    QTest::newRow("every card read, past the single reads") << "all";
    QTest::newRow("many cards read here and there, no others with them") << "scattered";
    QTest::newRow("a note's cards read, newest first, the rest of the note with them") << "note";
    QTest::newRow("a note's cards read in store order, no other note's with them") << "note in order";
}

void ModelContextTest::storedCardTextsHoldThroughEveryRoad()
{
    QFETCH(QString, road);
    QTemporaryDir dir;
    constexpr int count = 300;
    auto texts = [](int i) {
        return QStringList{QStringLiteral("thought %1").arg(i), QStringLiteral("context %1").arg(i),
                           QStringLiteral("recognised %1 ").arg(i).repeated(20)};
    };
    {
        auto container = openIn(dir.path());
        ModelContext *context = container->mainContext();
        // Every other card is of one note, among cards of notes of their own.
        const QUuid note = QUuid::createUuid();
        for (int i = 0; i < count; ++i) {
            CanvasCard *card = makeSnip(i % 2 == 1 ? note : QUuid::createUuid(), QByteArray("png"));
            card->setMarkdownText(texts(i).at(0));
            card->setContextText(texts(i).at(1));
            card->setOcrText(texts(i).at(2));
            context->insert(card);
        }
        QVERIFY(context->save());
    }
    auto container = openIn(dir.path());
    ModelContext *context = container->mainContext();
    const QList<CanvasCard *> cards = *context->fetchCards();
    QCOMPARE(cards.size(), count);
    CanvasCard *card = cards.at(7);
    auto shown = [](const CanvasCard *c) { return QStringList{c->markdownText(), c->contextText(), c->ocrText()}; };

    QStringList expected = texts(7);
    if (road == u"values") {
        const CanvasCard::Values values = card->values();
        QCOMPARE((QStringList{values.texts->markdownText, values.texts->contextText, values.texts->ocrText}), expected);
    } else if (road == u"write") {
        card->setContextText(QStringLiteral("typed"));
        expected[1] = QStringLiteral("typed");
        QVERIFY(context->save());
        auto reopened = openIn(dir.path());
        QCOMPARE(shown(reopened->mainContext()->fetchCards()->at(7)), expected);
    } else if (road == u"undo") {
        ModelChangeScope scope(*context);
        card->setTitle(QStringLiteral("renamed"));
        QCOMPARE(card->ocrText(), expected.at(2));
        scope.undo();
        QCOMPARE(card->title(), std::nullopt);
    } else if (road == u"rollback") {
        card->setTitle(QStringLiteral("renamed"));
        context->rollback();
        QVERIFY(!context->hasChanges());
    } else if (road == u"delete") {
        context->remove(card);
        QVERIFY(context->save());
        QCOMPARE(context->fetchCards()->size(), count - 1);
    } else if (road == u"all") {
        for (int i = 0; i < count; ++i)
            QCOMPARE(shown(cards.at(i)), texts(i));
    } else if (road.startsWith(u"note")) {
        // A screenful of the note's cards asked for one by one (one of
        // them edited first) reads those alone; as the note's map asks for
        // them all, the rest of the note is read with them, and nothing of
        // the other notes.
        const int last = count - 1;
        cards.at(last)->setContextText(QStringLiteral("typed"));
        const auto askFor = [&](int from, int to) {
            for (int i = from; i >= to; i -= 2) {
                QStringList wanted = texts(i);
                if (i == last)
                    wanted[1] = QStringLiteral("typed");
                QCOMPARE(shown(cards.at(i)), wanted);
            }
        };
        if (road == u"note") {
            askFor(last, last - 2 * 20);
            QVERIFY(cards.at(last - 2 * 21)->unreadTextsRow() > 0);
            askFor(last - 2 * 21, last - 2 * 70);
        } else {
            for (int i = 1; i < 2 * 70; i += 2)
                QCOMPARE(shown(cards.at(i)), texts(i));
        }
        for (int i = 0; i < count; ++i) {
            QCOMPARE(cards.at(i)->unreadTextsRow() == 0, i % 2 == 1);
            if (i % 2 == 1 && i != last)
                QCOMPARE(shown(cards.at(i)), texts(i));
        }
        context->rollback();
    } else if (road == u"scattered") {
        // The cards a screen shows, newest first: many, yet the ones it
        // never shows stay unread.
        for (int i = count - 1; i >= 20; --i)
            QCOMPARE(shown(cards.at(i)), texts(i));
        for (int i = 0; i < 20; ++i)
            QVERIFY(cards.at(i)->unreadTextsRow() > 0);
    }
    QCOMPARE(shown(card), expected);
    // Reading texts is no change of the card's.
    QCOMPARE(context->hasChanges(), false);
}

void ModelContextTest::changesWhileTheLibraryIsReadAheadAreKept_data()
{
    QTest::addColumn<QString>("change");
    // Whether the fetches come once the workers are done, or at once, as
    // at the app's start, when this thread reads parts no worker has begun.
    QTest::addColumn<bool>("afterWorkers");
    QTest::newRow("nothing changed: the rows read ahead are the stored ones") << "none" << true;
    QTest::newRow("nothing changed, fetched while the workers read") << "none" << false;
    QTest::newRow("a snip captured and saved before the cards are fetched") << "capture" << true;
    QTest::newRow("a note renamed and a snip captured with it, notes fetched first") << "rename" << true;
    QTest::newRow("a snip captured, not saved yet") << "pending" << true;
    QTest::newRow("a save that failed") << "failed save" << true;
}

void ModelContextTest::changesWhileTheLibraryIsReadAheadAreKept()
{
    QFETCH(QString, change);
    QFETCH(bool, afterWorkers);
    QTemporaryDir dir;
    // Enough for the cards to be read in more than one part.
    constexpr int count = 1200;
    QUuid noteID;
    {
        auto container = openIn(dir.path());
        ModelContext *context = container->mainContext();
        auto *note = new Board;
        note->setTitle(QStringLiteral("Research"));
        context->insert(note);
        noteID = note->id();
        CanvasCard *previous = nullptr;
        for (int i = 0; i < count; ++i) {
            CanvasCard *card = makeSnip(noteID, QByteArray("png"));
            card->setTitle(QStringLiteral("snip %1").arg(i));
            card->setOcrText(QStringLiteral("recognised %1").arg(i));
            card->setCanvasX(i);
            context->insert(card);
            if (previous && i % 5 == 0) {
                auto *connection = new Connection;
                connection->setBoardID(noteID);
                connection->setSourceCardID(previous->id());
                connection->setDestinationCardID(card->id());
                context->insert(connection);
            }
            previous = card;
        }
        // A deleted card leaves a gap in the rows.
        QVERIFY(context->save());
        context->remove(context->fetchCards()->at(count / 3));
        QVERIFY(context->save());
    }

    auto container = openIn(dir.path());
    ModelContext *context = container->mainContext();
    context->readAhead();
    // Every row read ahead before the change is made, as on a start whose
    // window takes long to build.
    if (afterWorkers)
        QTRY_VERIFY(!context->isReadingAhead());

    QList<QUuid> added;
    auto capture = [&](const QString &title) {
        CanvasCard *card = makeSnip(noteID, QByteArray("new png"));
        card->setTitle(title);
        context->insert(card);
        added.append(card->id());
    };
    if (change == u"capture") {
        capture(QStringLiteral("captured"));
        QVERIFY(context->save());
    } else if (change == u"rename") {
        Board *note = context->fetchBoards()->constFirst();
        note->setTitle(QStringLiteral("Renamed"));
        capture(QStringLiteral("captured"));
        QVERIFY(context->save());
    } else if (change == u"pending") {
        capture(QStringLiteral("waiting"));
    } else if (change == u"failed save") {
        capture(QStringLiteral("waiting"));
        context->failNextSave(StoreError{QStringLiteral("disk full")});
        QVERIFY(!context->save());
    }

    const auto cards = context->fetchCards();
    const auto boards = context->fetchBoards();
    const auto connections = context->fetchConnections();
    QVERIFY(cards && boards && connections);
    QCOMPARE(cards->size(), count - 1 + added.size());
    QCOMPARE(boards->size(), 1);
    QCOMPARE(boards->first()->title(), change == u"rename" ? QStringLiteral("Renamed") : QStringLiteral("Research"));

    // What this context shows is what a context reading the file itself
    // finds, with the unsaved snip after the stored ones.
    QVERIFY(context->save());
    auto plain = openIn(dir.path());
    const auto stored = plain->mainContext()->fetchCards();
    QVERIFY(stored);
    QCOMPARE(stored->size(), cards->size());
    for (qsizetype i = 0; i < cards->size(); ++i) {
        QCOMPARE(cards->at(i)->values(), stored->at(i)->values());
        QCOMPARE(cards->at(i)->hasChanges(), false);
    }
    QSet<QUuid> ids;
    for (const CanvasCard *card : *cards) {
        ids.insert(card->id());
        // Made on a worker or not, an entity lives on its context's thread:
        // screens hear its changes at once, not through a queue.
        QCOMPARE(card->thread(), context->thread());
    }
    for (const Connection *connection : *connections)
        QCOMPARE(connection->thread(), context->thread());
    QCOMPARE(boards->first()->thread(), context->thread());
    QCOMPARE(ids.size(), cards->size());
    for (const QUuid &id : std::as_const(added))
        QVERIFY(ids.contains(id));
    QCOMPARE(connections->size(), plain->mainContext()->fetchConnections()->size());
    QCOMPARE(connections->size(), (count - 1) / 5);
    QCOMPARE(plain->mainContext()->fetchBoards()->first()->values(), boards->first()->values());
}

void ModelContextTest::stagedBytesEndWithTheirCard_data()
{
    QTest::addColumn<QString>("ending");
    QTest::addColumn<bool>("cardStored");
    // Rows beyond which an opening found every byte value claimed.
    QTest::addColumn<int>("sweptThrough");
    QTest::newRow("saved with its card") << "saved" << true << 0;
    QTest::newRow("insert undone") << "undone" << false << 0;
    QTest::newRow("bytes gone before the save") << "gone" << false << 0;
    QTest::newRow("app ended before the insert") << "ended" << false << 0;
    QTest::newRow("app ended, in a library swept before") << "ended" << false << 5000;
}

// A picture written ahead of its card ends up held by that card, or nowhere:
// never a card without its picture, nor a picture without its card.
void ModelContextTest::stagedBytesEndWithTheirCard()
{
    QFETCH(QString, ending);
    QFETCH(bool, cardStored);
    QFETCH(int, sweptThrough);
    QTemporaryDir dir;
    const QString path = dir.filePath("Tessaline.sqlite");
    const QByteArray image(3 * 1024 * 1024, 'p');
    const QUuid boardID = QUuid::createUuid();
    QUuid snipID;
    if (sweptThrough > 0) {
        // As many rows taken as a long-used library has: an opening marks
        // them swept.
        openIn(dir.path()).reset();
        rawQuery(path, QStringLiteral("INSERT INTO sqlite_sequence (name, seq) VALUES ('CanvasCard', %1)")
                           .arg(sweptThrough));
        openIn(dir.path()).reset();
        QCOMPARE(rawQuery(path, "SELECT value FROM Metadata WHERE key = 'cardDataSweptThrough'").toInt(),
                 sweptThrough);
    }
    {
        auto container = openIn(dir.path());
        ModelContext *context = container->mainContext();
        auto addThought = [&] {
            auto *thought = new CanvasCard;
            thought->setBoardID(boardID);
            context->insert(thought);
            return context->save();
        };
        QVERIFY(addThought());
        QObject receiver;
        std::optional<Expected<StagedCardData, StoreError>> staged;
        context->stageCardData(&receiver, CanvasCard::OriginalImageBlob, image)
            .then(&receiver, [&](const Expected<StagedCardData, StoreError> &answer) { staged = answer; });
        QTRY_VERIFY(staged);
        QVERIFY(*staged && (*staged)->cardRow > 0);
        QCOMPARE(rawQuery(path, "SELECT COUNT(*) FROM CanvasCardData").toInt(), 1);

        // A card saved meanwhile does not take the row the bytes wait under.
        QVERIFY(addThought());

        if (ending != u"ended") {
            auto *snip = makeSnip(boardID, image);
            snipID = snip->id();
            if (ending == u"gone")
                rawQuery(path, "DELETE FROM CanvasCardData");
            ModelChangeScope scope(*context);
            context->insert(snip, **staged);
            if (ending == u"undone") {
                scope.undo();
            } else {
                const auto saved = scope.saveOrUndo();
                QCOMPARE(bool(saved), cardStored);
                if (!saved)
                    QVERIFY(saved.error().message.contains(QStringLiteral("picture of a new snip is missing")));
            }
            QVERIFY(!context->hasChanges());
            // What the card did not take is removed, off this thread.
            QTRY_COMPARE(rawQuery(path, "SELECT COUNT(*) FROM CanvasCardData").toInt(), cardStored ? 2 : 0);
        }
    }

    auto container = openIn(dir.path());
    const auto cards = *container->mainContext()->fetchCards();
    QCOMPARE(cards.size(), cardStored ? 3 : 2);
    if (cardStored) {
        const auto snip = std::find_if(cards.cbegin(), cards.cend(), [&](CanvasCard *card) { return card->id() == snipID; });
        QVERIFY(snip != cards.cend());
        QCOMPARE((*snip)->originalImageData(), std::optional<QByteArray>(image));
        QCOMPARE((*snip)->annotationDocumentData(), std::optional<QByteArray>("{}"));
        // The same, read on the store's worker; none for a value never set.
        QObject receiver;
        for (const auto &[blob, expected] : {std::pair{CanvasCard::OriginalImageBlob, std::optional<QByteArray>(image)},
                                             std::pair{CanvasCard::ThumbnailImageBlob, std::optional<QByteArray>()}}) {
            std::optional<std::optional<QByteArray>> read;
            container->mainContext()->readCardData(&receiver, **snip, blob).then(&receiver, [&](const std::optional<QByteArray> &bytes) {
                read = bytes;
            });
            QTRY_VERIFY(read);
            QCOMPARE(*read, expected);
        }
    }
    // Each stored byte value belongs to a stored card, and the picture is
    // there once.
    QCOMPARE(rawQuery(path, "SELECT COUNT(*) FROM CanvasCardData WHERE cardRow NOT IN (SELECT row FROM CanvasCard)")
                 .toInt(),
             0);
    QCOMPARE(rawQuery(path, "SELECT COUNT(*) FROM CanvasCardData").toInt(), cardStored ? 2 : 0);
}

void ModelContextTest::presentButEmptyBytesAreStored()
{
    QTemporaryDir dir;
    QUuid id;
    {
        auto container = openIn(dir.path());
        ModelContext *context = container->mainContext();
        CanvasCard *card = makeSnip(QUuid::createUuid(), QByteArray());
        card->setAnnotationDocumentData(QByteArray(""));
        card->setThumbnailImageData(QByteArray("thumbnail"));
        context->insert(card);
        QVERIFY(context->save());
        id = card->id();
        // An update to empty bytes is stored as well.
        card->setThumbnailImageData(QByteArray());
        QVERIFY(context->save());
    }
    auto container = openIn(dir.path());
    const CanvasCard *card = container->mainContext()->fetchCards()->first();
    QCOMPARE(card->id(), id);
    for (const std::optional<QByteArray> &bytes :
         {card->originalImageData(), card->annotationDocumentData(), card->thumbnailImageData()}) {
        QVERIFY(bytes);
        QVERIFY(bytes->isEmpty());
    }
}

void ModelContextTest::recoveryRecordsAreKept()
{
    QTemporaryDir dir;
    auto container = openIn(dir.path());
    ModelContext *context = container->mainContext();
    auto *board = new Board;
    board->setWritingDocumentStorage(QStringLiteral("not json at all"));
    context->insert(board);
    QVERIFY(context->save());

    board->updateWritingDocument(BoardWritingDocument::empty(), at(5));
    context->rollback(); // a rolled-back write keeps no record
    QVERIFY(context->writingRecoveries(board->id())->isEmpty());

    QVERIFY(board->updateWritingDocument(BoardWritingDocument::empty(), at(5)));
    // Asked before the save, the record is there already.
    QCOMPARE(context->writingRecoveries(board->id())->size(), 1);
    QVERIFY(context->save());
    const auto records = context->writingRecoveries(board->id());
    QVERIFY(records);
    QCOMPARE(records->size(), 1);
    QCOMPARE(records->first().text, QStringLiteral("not json at all"));
    QCOMPARE(records->first().savedAt, at(5));
}

void ModelContextTest::refusesWhatIsNotItsLibrary_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("messagePart");
    QTest::newRow("text file") << "text" << "is not a Tessaline library";
    QTest::newRow("other database") << "foreign" << "is not a Tessaline library";
    QTest::newRow("newer schema") << "newer" << "newer version of Tessaline (schema 2.0.0)";
    const QString damaged = QStringLiteral("is damaged and cannot be opened. The file has been left untouched.");
    QTest::newRow("library cut short") << "truncated" << damaged;
    QTest::newRow("last page cut short") << "tail" << damaged;
    QTest::newRow("header cut short") << "stub" << damaged;
    QTest::newRow("catalogue overwritten") << "garbled" << damaged;
    const QString logLeft = QStringLiteral("is missing or empty, but its log");
    QTest::newRow("file emptied, its log left") << "emptied" << logLeft;
    QTest::newRow("file deleted, its log left") << "deleted" << logLeft;
}

void ModelContextTest::refusesWhatIsNotItsLibrary()
{
    QFETCH(QString, kind);
    QFETCH(QString, messagePart);
    QTemporaryDir dir;
    const QString path = dir.filePath("Tessaline.sqlite");
    if (kind == u"text") {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write("my shopping list\n");
    } else if (kind == u"foreign") {
        rawQuery(path, "CREATE TABLE recipes (name TEXT)");
    } else if (kind == u"stub") {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write("SQLite for");
    } else if (kind == u"truncated" || kind == u"garbled" || kind == u"tail") {
        {
            auto container = openIn(dir.path());
            QVERIFY(container);
            for (int i = 0; i < 200; ++i)
                container->mainContext()->insert(makeSnip(QUuid::createUuid(), QByteArray(2000, 'p')));
            QVERIFY(container->mainContext()->save());
        }
        rawQuery(path, "PRAGMA wal_checkpoint(TRUNCATE)");
        QFile::remove(path + "-wal");
        QFile::remove(path + "-shm");
        QFile file(path);
        if (kind == u"truncated") {
            QVERIFY(file.resize(file.size() / 2));
        } else if (kind == u"tail") {
            // SQLite reads the pages before it as they are, and finds the
            // cut only where a read reaches it: after writes into the file.
            QVERIFY(file.resize(file.size() - 100));
        } else {
            // The first page after the file header holds the table catalogue.
            file.open(QIODevice::ReadWrite);
            file.seek(100);
            file.write(QByteArray(400, '\xA5'));
        }
    } else if (kind == u"emptied" || kind == u"deleted") {
        QByteArray log;
        {
            // Saved, not yet copied into the file: the log holds it.
            auto container = openIn(dir.path());
            QVERIFY(container);
            container->mainContext()->insert(makeSnip(QUuid::createUuid(), QByteArray(2000, 'p')));
            QVERIFY(container->mainContext()->save());
            log = fileBytes(path + "-wal");
        }
        QVERIFY(!log.isEmpty());
        QFile wal(path + "-wal");
        QVERIFY(wal.open(QIODevice::WriteOnly));
        wal.write(log);
        wal.close();
        QFile::remove(path + "-shm");
        if (kind == u"emptied")
            QVERIFY(QFile::resize(path, 0));
        else
            QVERIFY(QFile::remove(path));
    } else {
        QVERIFY(openIn(dir.path()));
        rawQuery(path, "UPDATE Metadata SET value = '2.0.0' WHERE key = 'schemaVersion'");
        rawQuery(path, "PRAGMA wal_checkpoint(TRUNCATE)");
    }
    const QByteArray before = fileBytes(path);
    const QByteArray logBefore = fileBytes(path + "-wal");

    ModelContainer::Configuration configuration;
    configuration.directory = dir.path();
    const auto container = ModelContainer::open(configuration);
    QVERIFY(!container);
    QVERIFY2(container.error().message.contains(messagePart), qPrintable(container.error().message));
    QVERIFY(container.error().message.contains(path));
    QCOMPARE(fileBytes(path), before);
    QCOMPARE(QFile::exists(path), kind != u"deleted");
    // No log is made, and one left behind stays as it was.
    QCOMPARE(fileBytes(path + "-wal"), logBefore);
    QCOMPARE(QFile::exists(path + "-wal"), !logBefore.isEmpty());
}

// Another connection writing (a capture's picture) holds the write lock:
// clearing a mark does not wait for it, and the mark goes once the lock is
// free, unless its card was marked again in between.
void ModelContextTest::recognitionMarksClearWithoutWaitingForTheWriteLock()
{
    QTemporaryDir dir;
    auto container = openIn(dir.path());
    QVERIFY(container);
    ModelContext *context = container->mainContext();
    auto *board = new Board;
    context->insert(board);
    auto *read = makeSnip(board->id(), QByteArray(10, 'p'));
    auto *edited = makeSnip(board->id(), QByteArray(10, 'q'));
    context->insert(read);
    context->insert(edited);
    context->setTextRecognitionPending(*read, true);
    context->setTextRecognitionPending(*edited, true);
    QVERIFY(context->save());

    {
        QSqlDatabase writer = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("writer"));
        writer.setDatabaseName(container->filePath());
        QVERIFY(writer.open());
        QSqlQuery lock(writer);
        QVERIFY(lock.exec(QStringLiteral("BEGIN IMMEDIATE")));
        QVERIFY(context->clearTextRecognitionPending(*read));
        QVERIFY(context->clearTextRecognitionPending(*edited));
        QVERIFY(lock.exec(QStringLiteral("SELECT COUNT(*) FROM TextRecognitionPending")) && lock.next());
        QCOMPARE(lock.value(0).toInt(), 2);
        context->setTextRecognitionPending(*edited, true);
        QVERIFY(lock.exec(QStringLiteral("COMMIT")));
        lock.finish();
        writer.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("writer"));
    QTRY_COMPARE(*context->textRecognitionsPending(), QList<QUuid>{edited->id()});
}

// The disk is full as a card's mark is cleared: the failure is returned,
// and the mark goes with the next one cleared once there is room, rather
// than having the picture read again at every start.
void ModelContextTest::recognitionMarkThatCannotBeClearedIsTriedAgain()
{
    testing::FullDisk &disk = testing::FullDisk::shared();
    QVERIFY(disk.isRegistered());
    QTemporaryDir dir;
    auto container = openIn(dir.path());
    QVERIFY(container);
    ModelContext *context = container->mainContext();
    auto *board = new Board;
    context->insert(board);
    auto *first = makeSnip(board->id(), QByteArray(10, 'p'));
    auto *second = makeSnip(board->id(), QByteArray(10, 'q'));
    context->insert(first);
    context->insert(second);
    context->setTextRecognitionPending(*first, true);
    context->setTextRecognitionPending(*second, true);
    QVERIFY(context->save());

    disk.setFull(true);
    const auto failed = context->clearTextRecognitionPending(*first);
    disk.setFull(false);
    QVERIFY(!failed);
    QCOMPARE(context->textRecognitionsPending()->size(), 2);
    QVERIFY(context->clearTextRecognitionPending(*second));
    QCOMPARE(*context->textRecognitionsPending(), QList<QUuid>{});
}

void ModelContextTest::savesAreSyncedToDisk()
{
    QTemporaryDir dir;
    auto container = openIn(dir.path());
    QVERIFY(container);
    // The store's own connection: 2 is FULL, every commit synced before save
    // returns; NORMAL (1) may lose the last commits on a power loss.
    QStringList stores = QSqlDatabase::connectionNames().filter(QStringLiteral("tessaline-store-"));
    QCOMPARE(stores.size(), 1);
    QSqlQuery query(QSqlDatabase::database(stores.first(), false));
    QVERIFY(query.exec(QStringLiteral("PRAGMA synchronous")) && query.next());
    QCOMPARE(query.value(0).toInt(), 2);
    QVERIFY(query.exec(QStringLiteral("PRAGMA journal_mode")) && query.next());
    QCOMPARE(query.value(0).toString(), QStringLiteral("wal"));

    // A save whose sync is left for later is written, and every save after
    // it is synced again, whether it was stored or refused.
    ModelContext *context = container->mainContext();
    auto *board = new Board;
    board->setTitle(QStringLiteral("Deferred"));
    context->insert(board);
    query.finish();
    QVERIFY(context->save(SaveDurability::deferred));
    QCOMPARE(rawQuery(dir.filePath(QStringLiteral("Tessaline.sqlite")),
                      QStringLiteral("SELECT COUNT(*) FROM Board WHERE title = 'Deferred'")),
             QVariant(1));
    QVERIFY(query.exec(QStringLiteral("PRAGMA synchronous")) && query.next());
    QCOMPARE(query.value(0).toInt(), 2);
    QVERIFY(query.exec(QStringLiteral("CREATE TEMP TRIGGER refuse BEFORE UPDATE ON Board "
                                      "BEGIN SELECT RAISE(ABORT, 'refused'); END")));
    board->setTitle(QStringLiteral("Refused"));
    query.finish();
    QVERIFY(!context->save(SaveDurability::deferred));
    QVERIFY(query.exec(QStringLiteral("PRAGMA synchronous")) && query.next());
    QCOMPARE(query.value(0).toInt(), 2);
}

void ModelContextTest::refusesCloudMirroring()
{
    ModelContainer::Configuration configuration;
    configuration.isStoredInMemoryOnly = true;
    configuration.cloudSyncContainerIdentifier = QStringLiteral("sync.example");
    const auto container = ModelContainer::open(configuration);
    QVERIFY(!container);
    QCOMPARE(container.error().message, QStringLiteral("Cloud sync is not available on this system."));
}

QTEST_GUILESS_MAIN(ModelContextTest)
#include "tst_modelcontext.moc"
