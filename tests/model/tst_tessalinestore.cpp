#include "StoreFixture.h"

#include "model/TessalineStore.h"

#include <QSignalSpy>
#include <QTemporaryDir>

using namespace tessaline;
using namespace tessaline::testing;

class TessalineStoreTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void seedsAnEmptyLibrary();
    void seedsOnlyWhenEmpty();
    void seedingWhileAnotherProcessSeeds_data();
    void seedingWhileAnotherProcessSeeds();
    void inboxIsTheOldestLiveOne();
    void deletedInboxIsReplaced();
    void retitlesOnlyTheExactOldTitle_data();
    void retitlesOnlyTheExactOldTitle();
    void migrationAppendsMissingCards();
    void migrationLeavesCompleteNotesAlone();
    void migrationSetsFlagOnly();
    void migrationKeepsWordsItCannotCarry_data();
    void migrationKeepsWordsItCannotCarry();
    void failuresLeaveTheLastSavedState();
    void aPassThatFoundNothingStillSeesLaterChanges_data();
    void aPassThatFoundNothingStillSeesLaterChanges();
};

void TessalineStoreTest::seedsAnEmptyLibrary()
{
    auto store = memoryStore();
    ModelContext &context = *store->mainContext();
    const auto welcome = TessalineStore::seedWelcomeNoteIfNeeded(context, at(0));
    QVERIFY(welcome && *welcome);
    const auto boards = *context.fetchBoards();
    QCOMPARE(boards.size(), 2);
    Board *inbox = boards[0];
    QCOMPARE(inbox->title(), QStringLiteral("Quick Captures"));
    QCOMPARE(inbox->focusQuestion(), std::optional<QString>("What caught your attention?"));
    QVERIFY(inbox->isInbox());
    QCOMPARE(inbox->sortIndex(), -1.0);
    QCOMPARE(boards[1], *welcome);
    QCOMPARE((*welcome)->sortIndex(), 0.0);
    QVERIFY(!(*welcome)->focusQuestion());
    for (Board *board : boards) {
        QCOMPARE(board->createdAt(), at(0));
        QCOMPARE(board->updatedAt(), at(0));
        QCOMPARE(board->lastOpenedAt(), at(0));
        QCOMPARE(board->workspaceModeRawValue(), QStringLiteral("write"));
        QVERIFY(board->hasCompletedNoteMigration());
    }
    const auto blocks = (*welcome)->writingDocument().blocks;
    QCOMPARE(blocks.size(), 3);
    QCOMPARE(blocks[0].text, QStringLiteral("Tessaline is a notes app built around screenshots."));
    QCOMPARE(blocks[1].text, QStringLiteral("Capture anything on your computer and it appears right here\u2014copied to "
                                            "your clipboard and kept beside the words that give it meaning."));
    QCOMPARE(blocks[2].text, QStringLiteral("Start writing, or press Ctrl+Super+4 to add your first snip."));
    QCOMPARE(inbox->writingDocument().blocks.size(), 1);
    QVERIFY(context.fetchCards()->isEmpty());
    QVERIFY(!context.hasChanges());
}

void TessalineStoreTest::seedsOnlyWhenEmpty()
{
    auto store = memoryStore();
    ModelContext &context = *store->mainContext();
    Board owner;
    CanvasCard *card = addCard(context, &owner, CardKind::snip, at(0));
    card->moveToTrash(at(1));
    QVERIFY(context.save());
    const auto result = TessalineStore::seedWelcomeNoteIfNeeded(context, at(2));
    QVERIFY(result);
    QCOMPARE(*result, nullptr);
    QVERIFY(context.fetchBoards()->isEmpty());
}

void TessalineStoreTest::seedingWhileAnotherProcessSeeds_data()
{
    QTest::addColumn<bool>("cardsReadFirst");
    QTest::newRow("after reading the notes and cards") << true;
    QTest::newRow("after reading the notes only") << false;
}

void TessalineStoreTest::seedingWhileAnotherProcessSeeds()
{
    // Two copies of the app on one library file (two sessions of the same
    // user): the second read the empty library before the first seeded it.
    QFETCH(bool, cardsReadFirst);
    QTemporaryDir dir;
    ModelContainer::Configuration configuration;
    configuration.directory = dir.path();
    auto first = ModelContainer::open(configuration);
    auto second = ModelContainer::open(configuration);
    QVERIFY(first && second);
    ModelContext &late = *(*second)->mainContext();
    QVERIFY(late.fetchBoards()->isEmpty());
    if (cardsReadFirst)
        QVERIFY(late.fetchCards()->isEmpty());

    const auto early = TessalineStore::seedLibrary(*(*first)->mainContext(), at(0));
    QVERIFY(early && early->welcome && early->inbox);
    const auto seeded = TessalineStore::seedLibrary(late, at(1));
    QVERIFY2(seeded, seeded ? "" : qPrintable(seeded.error().message));
    QVERIFY(!seeded->welcome);
    QCOMPARE(seeded->inbox->id(), early->inbox->id());
    QVERIFY(!late.hasChanges());

    // The file holds one of each, and either copy sees just those.
    auto reader = ModelContainer::open(configuration);
    QVERIFY(reader);
    const auto boards = *(*reader)->mainContext()->fetchBoards();
    QCOMPARE(boards.size(), 2);
    QCOMPARE(std::count_if(boards.begin(), boards.end(), [](const Board *b) { return b->isInbox(); }), 1);
    QCOMPARE(late.fetchBoards()->size(), 2);
    // An ordinary save afterwards checks nothing and writes as always.
    addNote(late, QStringLiteral("Later"), at(2));
    QVERIFY(late.save());
}

void TessalineStoreTest::inboxIsTheOldestLiveOne()
{
    auto store = memoryStore();
    ModelContext &context = *store->mainContext();
    Board *later = addNote(context, "later", at(5), true);
    Board *b = addNote(context, "b", at(1), true);
    Board *a = addNote(context, "a", at(1), true);
    b->setId(*parseUuid(u"B0000000-0000-0000-0000-000000000000"));
    a->setId(*parseUuid(u"A0000000-0000-0000-0000-000000000000"));
    QVERIFY(context.save());
    const auto inbox = TessalineStore::quickCapturesNote(context, at(10));
    QVERIFY(inbox);
    QCOMPARE(*inbox, a);
    QCOMPARE(b->title(), QStringLiteral("b"));
    QVERIFY(b->isInbox() && later->isInbox());
    QCOMPARE(context.fetchBoards()->size(), 3);
}

void TessalineStoreTest::deletedInboxIsReplaced()
{
    auto store = memoryStore();
    ModelContext &context = *store->mainContext();
    Board *old = addNote(context, "Quick Captures", at(0), true);
    old->moveToTrash(at(1));
    QVERIFY(context.save());
    const auto inbox = TessalineStore::quickCapturesNote(context, at(2));
    QVERIFY(inbox && *inbox != old);
    QVERIFY((*inbox)->isInbox() && (*inbox)->isLive());
    QCOMPARE((*inbox)->createdAt(), at(2));
    QVERIFY(old->isInbox() && !old->isLive());
    // Found again, not made again.
    QCOMPARE(*TessalineStore::quickCapturesNote(context, at(3)), *inbox);
    QCOMPARE(context.fetchBoards()->size(), 2);
}

void TessalineStoreTest::retitlesOnlyTheExactOldTitle_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("inbox");
    QTest::addColumn<QString>("expected");
    QTest::newRow("old inbox title") << "Inbox" << true << "Quick Captures";
    QTest::newRow("lower case") << "inbox" << true << "inbox";
    QTest::newRow("not the inbox") << "Inbox" << false << "Inbox";
}

void TessalineStoreTest::retitlesOnlyTheExactOldTitle()
{
    QFETCH(QString, title);
    QFETCH(bool, inbox);
    QFETCH(QString, expected);
    auto store = memoryStore();
    ModelContext &context = *store->mainContext();
    Board *note = addNote(context, title, at(0), inbox);
    QVERIFY(context.save());
    const auto summary = TessalineStore::migrateNotes(context, at(9));
    QVERIFY(summary);
    QCOMPARE(note->title(), expected);
    const bool retitled = expected != title;
    QCOMPARE(summary->retitledInboxCount, retitled ? 1 : 0);
    QCOMPARE(note->updatedAt(), retitled ? at(9) : at(0));
}

void TessalineStoreTest::migrationAppendsMissingCards()
{
    auto store = memoryStore();
    ModelContext &context = *store->mainContext();
    Board *note = addNote(context, "n", at(0));
    note->setHasCompletedNoteMigration(false);
    BoardWritingDocument document{{BoardWritingBlock::paragraph("My words")}};
    note->updateWritingDocument(document, at(0));
    Board *other = addNote(context, "other", at(0));
    CanvasCard *third = addCard(context, note, CardKind::snip, at(1), at(30));
    CanvasCard *first = addCard(context, note, CardKind::thought, at(10));
    CanvasCard *second = addCard(context, note, CardKind::snip, at(2), at(20));
    CanvasCard *trashed = addCard(context, note, CardKind::snip, at(3));
    trashed->moveToTrash(at(4));
    // Referenced from another note only: still missing from its own.
    BoardWritingDocument otherDocument = other->writingDocument();
    otherDocument.insertCardReference(first->id());
    other->updateWritingDocument(otherDocument, at(0));
    QVERIFY(context.save());

    const auto summary = TessalineStore::migrateNotes(context, at(99));
    QVERIFY(summary);
    QCOMPARE(*summary, (NoteMigrationSummary{1, 3, 0, {}}));
    const auto blocks = note->writingDocument().blocks;
    QCOMPARE(blocks.size(), 5);
    QCOMPARE(blocks[0].text, QStringLiteral("My words"));
    QCOMPARE(references(note), (QList<QUuid>{first->id(), second->id(), third->id()}));
    QVERIFY(blocks[4].isParagraph() && blocks[4].text.isEmpty());
    QVERIFY(note->hasCompletedNoteMigration());
    QCOMPARE(note->updatedAt(), at(0));
    QVERIFY(!context.hasChanges());

    // Idempotent: the second run changes nothing and saves nothing.
    QSignalSpy saved(&context, &ModelContext::didSave);
    QCOMPARE(*TessalineStore::migrateNotes(context, at(100)), NoteMigrationSummary{});
    QCOMPARE(saved.count(), 0);

    // A reference removed from the writing comes back at the end; a restored
    // card joins too.
    BoardWritingDocument edited = note->writingDocument();
    edited.blocks.removeAt(1);
    note->updateWritingDocument(edited, at(101));
    trashed->restoreFromTrash(at(102));
    QVERIFY(context.save());
    QCOMPARE(TessalineStore::migrateNotes(context, at(103))->insertedReferenceCount, 2);
    QCOMPARE(references(note), (QList<QUuid>{second->id(), third->id(), trashed->id(), first->id()}));
}

void TessalineStoreTest::migrationLeavesCompleteNotesAlone()
{
    auto store = memoryStore();
    ModelContext &context = *store->mainContext();
    Board *note = addNote(context, "n", at(0));
    CanvasCard *card = addCard(context, note, CardKind::snip, at(1));
    BoardWritingDocument document = note->writingDocument();
    document.insertCardReference(card->id());
    note->updateWritingDocument(document, at(2));
    QVERIFY(context.save());
    QSignalSpy changed(note, &PersistentEntity::changed);
    QSignalSpy saved(&context, &ModelContext::didSave);
    QCOMPARE(*TessalineStore::migrateNotes(context, at(3)), NoteMigrationSummary{});
    QCOMPARE(changed.count(), 0);
    QCOMPARE(saved.count(), 0);
}

void TessalineStoreTest::migrationSetsFlagOnly()
{
    auto store = memoryStore();
    ModelContext &context = *store->mainContext();
    Board *note = addNote(context, "n", at(0));
    note->setHasCompletedNoteMigration(false);
    QVERIFY(context.save());
    const QString before = note->writingDocumentStorage();
    QSignalSpy saved(&context, &ModelContext::didSave);
    QCOMPARE(*TessalineStore::migrateNotes(context, at(5)), (NoteMigrationSummary{1, 0, 0, {}}));
    QCOMPARE(note->writingDocumentStorage(), before);
    QVERIFY(note->hasCompletedNoteMigration());
    QCOMPARE(saved.count(), 1);
}

void TessalineStoreTest::migrationKeepsWordsItCannotCarry_data()
{
    QTest::addColumn<QString>("storage");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<bool>("recovered");
    QTest::addColumn<QString>("firstText");
    const QString block = QStringLiteral(R"({"id":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D",%1})");

    QTest::newRow("not JSON") << "{broken" << false << false << "";
    QTest::newRow("a block of an unknown kind")
        << u"{\"blocks\":[%1]}"_qs.arg(block.arg(R"("kind":"table","text":"My words")")) << false << false << "";
    // Normalising drops the block and its words: they are kept aside first.
    QTest::newRow("a paragraph carrying a card id")
        << u"{\"blocks\":[%1]}"_qs.arg(block.arg(
               R"("cardID":"FEDCBA98-7654-4321-8FED-CBA987654321","kind":"paragraph","text":"My words")"))
        << true << true << "";
    // Read as U+FFFD, the text can be written again.
    QTest::newRow("an escaped lone surrogate")
        << u"{\"blocks\":[%1]}"_qs.arg(block.arg(R"("kind":"paragraph","text":"My words\ud800")")) << true << false
        << u"My words\uFFFD"_qs;
}

void TessalineStoreTest::migrationKeepsWordsItCannotCarry()
{
    QFETCH(QString, storage);
    QFETCH(bool, readable);
    QFETCH(bool, recovered);
    QFETCH(QString, firstText);
    auto store = memoryStore();
    ModelContext &context = *store->mainContext();
    Board *note = addNote(context, "n", at(0));
    note->setWritingDocumentStorage(storage);
    note->setHasCompletedNoteMigration(false);
    CanvasCard *card = addCard(context, note, CardKind::snip, at(1));
    QVERIFY(context.save());
    QCOMPARE(note->hasUnreadableWriting(), !readable);
    QSignalSpy saved(&context, &ModelContext::didSave);

    const auto summary = TessalineStore::migrateNotes(context, at(2));
    QVERIFY(summary);
    if (!readable) {
        // Left exactly as stored, and nothing written at start-up.
        QCOMPARE(note->writingDocumentStorage(), storage);
        QVERIFY(!note->hasCompletedNoteMigration());
        QCOMPARE(summary->unrepairedNoteIDs, QList<QUuid>{note->id()});
        QCOMPARE(saved.count(), 0);
        QVERIFY(note->hasUnreadableWriting());
    } else {
        QCOMPARE(references(note), QList<QUuid>{card->id()});
        QCOMPARE(note->writingDocument().blocks.first().text, firstText);
        QVERIFY(summary->unrepairedNoteIDs.isEmpty());
        QVERIFY(note->hasCompletedNoteMigration());
    }
    const auto records = context.writingRecoveries(note->id());
    QVERIFY(records);
    QCOMPARE(records->size(), recovered ? 1 : 0);
    if (recovered)
        QCOMPARE(records->first().text, storage);
    QVERIFY(!context.hasChanges());
}

void TessalineStoreTest::failuresLeaveTheLastSavedState()
{
    auto store = memoryStore();
    ModelContext &context = *store->mainContext();
    Board *note = addNote(context, "Inbox", at(0), true);
    note->setHasCompletedNoteMigration(false);
    QVERIFY(context.save());

    context.failNextSave(StoreError{QStringLiteral("no space")});
    const auto failed = TessalineStore::migrateNotes(context, at(1));
    QVERIFY(!failed);
    QCOMPARE(failed.error().message, QStringLiteral("no space"));
    QCOMPARE(note->title(), QStringLiteral("Inbox"));
    QVERIFY(!note->hasCompletedNoteMigration());
    QVERIFY(!context.hasChanges());

    // Seeding that fails at the first step creates nothing; a retry seeds once.
    auto empty = memoryStore();
    ModelContext &fresh = *empty->mainContext();
    fresh.failNextSave(StoreError{QStringLiteral("no space")});
    QVERIFY(!TessalineStore::seedWelcomeNoteIfNeeded(fresh, at(0)));
    QVERIFY(fresh.fetchBoards()->isEmpty());
    QVERIFY(TessalineStore::seedWelcomeNoteIfNeeded(fresh, at(0)));
    QCOMPARE(fresh.fetchBoards()->size(), 2);
}

QTEST_GUILESS_MAIN(TessalineStoreTest)
void TessalineStoreTest::aPassThatFoundNothingStillSeesLaterChanges_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("changedNotes");
    QTest::addColumn<int>("insertedReferences");
    QTest::addColumn<int>("retitledInboxes");
    QTest::newRow("nothing") << "" << 0 << 0 << 0;
    QTest::newRow("a card added without a reference") << "card" << 1 << 1 << 0;
    QTest::newRow("a trashed card restored") << "restore" << 1 << 1 << 0;
    QTest::newRow("the reference taken out of the writing") << "writing" << 1 << 1 << 0;
    QTest::newRow("the inbox given its old title") << "title" << 1 << 0 << 1;
}

// Each start and each capture to the inbox runs the note migration; a pass
// that found nothing to do is remembered in the library, and a change made
// since, by this process or another, is still repaired.
void TessalineStoreTest::aPassThatFoundNothingStillSeesLaterChanges()
{
    QFETCH(QString, change);
    QFETCH(int, changedNotes);
    QFETCH(int, insertedReferences);
    QFETCH(int, retitledInboxes);
    const NoteMigrationSummary expected{changedNotes, insertedReferences, retitledInboxes, {}};
    QTemporaryDir dir;
    ModelContainer::Configuration configuration;
    configuration.directory = dir.path();
    QUuid inboxID;
    QUuid noteID;
    QUuid trashedID;
    {
        auto store = std::move(*ModelContainer::open(configuration));
        ModelContext &context = *store->mainContext();
        Board *inbox = *TessalineStore::quickCapturesNote(context, at(0));
        Board *note = addNote(context, "n", at(0));
        CanvasCard *card = addCard(context, note, CardKind::snip, at(1));
        CanvasCard *trashed = addCard(context, note, CardKind::snip, at(2));
        trashed->moveToTrash(at(3));
        QVERIFY(context.save());
        QCOMPARE(TessalineStore::migrateNotes(context, at(4))->insertedReferenceCount, 1);
        QCOMPARE(references(note), QList<QUuid>{card->id()});
        QCOMPARE(*TessalineStore::migrateNotes(context, at(5)), NoteMigrationSummary{});
        inboxID = inbox->id();
        noteID = note->id();
        trashedID = trashed->id();
    }
    {
        // Another process, which runs no migration itself.
        auto store = std::move(*ModelContainer::open(configuration));
        ModelContext &context = *store->mainContext();
        const QList<Board *> boards = *context.fetchBoards();
        const QList<CanvasCard *> cards = *context.fetchCards();
        auto noteWith = [&](const QUuid &id) {
            return *std::find_if(boards.cbegin(), boards.cend(), [&](const Board *b) { return b->id() == id; });
        };
        if (change == u"card") {
            addCard(context, noteWith(noteID), CardKind::thought, at(6));
        } else if (change == u"restore") {
            for (CanvasCard *card : cards) {
                if (card->id() == trashedID)
                    card->restoreFromTrash(at(6));
            }
        } else if (change == u"writing") {
            noteWith(noteID)->updateWritingDocument(BoardWritingDocument{}, at(6));
        } else if (change == u"title") {
            noteWith(inboxID)->setTitle(QStringLiteral("Inbox"));
        }
        QVERIFY(context.save());
    }
    auto store = std::move(*ModelContainer::open(configuration));
    ModelContext &context = *store->mainContext();
    QSignalSpy saved(&context, &ModelContext::didSave);
    QCOMPARE(*TessalineStore::migrateNotes(context, at(7)), expected);
    QCOMPARE(saved.count(), expected == NoteMigrationSummary{} ? 0 : 1);
    // Whatever was repaired, every live card is referenced now.
    const QList<CanvasCard *> cards = *context.fetchCards();
    for (const Board *board : *context.fetchBoards()) {
        for (const CanvasCard *card : cards) {
            if (card->isLive() && card->boardID() == board->id())
                QVERIFY(references(board).contains(card->id()));
        }
    }
}

#include "tst_tessalinestore.moc"
