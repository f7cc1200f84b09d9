#include "StoreFixture.h"

#include "model/TessalineStore.h"
#include "model/ThinkingSessionService.h"

#include <QSignalSpy>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

GhostSuggestion suggestion(const QString &text, QList<QUuid> sources = {})
{
    return GhostSuggestion{QUuid::createUuid(), text, ThinkingPrompt::connections, sources,
                           IntelligenceProvider::deterministic, IntelligenceUnavailableReason::deterministicOnly, at(0)};
}

Board *inboxOf(ModelContext &context)
{
    return *TessalineStore::quickCapturesNote(context, at(0));
}

} // namespace

class ThinkingSessionServiceTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void keepSuggestion();
    void keepSuggestionForAGoneNoteLandsInTheInbox();
    void refusalsChangeNothing_data();
    void refusalsChangeNothing();
    void trashingACardTakesItsConnections();
    void captions();
    void connections();
    void createNote();
    void quickThoughts();
    void addSnipMovesFromTheInbox();
    void addSnipLinksFromAnOrdinaryNote();
    void addSnipFromADeletedOwnerMoves();
    void failedSaveRollsBackAndRetryMakesOne();
    void failedOperationKeepsOtherUnsavedEdits_data();
    void failedOperationKeepsOtherUnsavedEdits();
};

void ThinkingSessionServiceTest::keepSuggestion()
{
    auto store = memoryStore();
    ModelContext &context = *store->mainContext();
    Board *note = addNote(context, "n", at(0));
    QVERIFY(context.save());
    const QString writing = note->writingDocumentStorage();
    const QUuid a = QUuid::createUuid(), b = QUuid::createUuid();
    ThinkingSessionService service(context);

    const auto unplaced = service.keepSuggestion(suggestion("  An idea \n", {a, b, a}), note->id(), std::nullopt, at(5));
    QVERIFY(unplaced);
    CanvasCard *card = *unplaced;
    QCOMPARE(card->markdownText(), QStringLiteral("An idea"));
    QCOMPARE(card->boardID(), note->id());
    QCOMPARE(card->kindRawValue(), QStringLiteral("thought"));
    QVERIFY(card->isAIGenerated() && !card->isPlaced());
    QCOMPARE(card->canvasX(), 0.0);
    QCOMPARE(card->canvasWidth(), 320.0);
    QCOMPARE(card->canvasHeight(), 220.0);
    QCOMPARE(card->sourceCardIDs(), (QList<QUuid>{a, b}));
    QCOMPARE(note->updatedAt(), at(5));
    QCOMPARE(note->writingDocumentStorage(), writing);

    const auto placed = service.keepSuggestion(suggestion("x"), note->id(), QPointF(90, 90), at(6));
    QVERIFY((*placed)->isPlaced());
    QCOMPARE((*placed)->canvasY(), 90.0);
    QVERIFY(!context.hasChanges());
}

void ThinkingSessionServiceTest::keepSuggestionForAGoneNoteLandsInTheInbox()
{
    auto store = memoryStore();
    ModelContext &context = *store->mainContext();
    Board *gone = addNote(context, "gone", at(0));
    gone->moveToTrash(at(1));
    QVERIFY(context.save());
    ThinkingSessionService service(context);
    const auto card = service.keepSuggestion(suggestion("kept"), gone->id(), std::nullopt, at(7));
    QVERIFY(card);
    Board *inbox = inboxOf(context);
    QCOMPARE((*card)->boardID(), inbox->id());
    QCOMPARE(inbox->updatedAt(), at(7));
}

void ThinkingSessionServiceTest::refusalsChangeNothing_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("refusal");
    QTest::newRow("blank suggestion") << "keep-blank" << int(ThinkingSessionError::emptyThought);
    QTest::newRow("blank quick thought") << "quick-blank" << int(ThinkingSessionError::emptyThought);
    QTest::newRow("caption of a thought") << "caption-thought" << int(ThinkingSessionError::cardNotFound);
    QTest::newRow("caption of a trashed snip") << "caption-trashed" << int(ThinkingSessionError::cardNotFound);
    QTest::newRow("caption of nothing") << "caption-missing" << int(ThinkingSessionError::cardNotFound);
    QTest::newRow("connect to itself") << "connect-self" << int(ThinkingSessionError::invalidConnection);
    QTest::newRow("connect across notes") << "connect-notes" << int(ThinkingSessionError::invalidConnection);
    QTest::newRow("connect a trashed card") << "connect-trashed" << int(ThinkingSessionError::invalidConnection);
    QTest::newRow("add a thought") << "add-thought" << int(ThinkingSessionError::cardNotFound);
    QTest::newRow("add to a trashed note") << "add-trashed-note" << int(ThinkingSessionError::noteNotFound);
    QTest::newRow("quick thought that cannot be stored")
        << "quick-unstorable" << int(ThinkingSessionError::writingNotStorable);
}

void ThinkingSessionServiceTest::refusalsChangeNothing()
{
    QFETCH(QString, operation);
    QFETCH(int, refusal);
    auto store = memoryStore();
    ModelContext &context = *store->mainContext();
    Board *note = addNote(context, "n", at(0));
    Board *other = addNote(context, "other", at(0));
    Board *trashedNote = addNote(context, "t", at(0));
    trashedNote->moveToTrash(at(1));
    CanvasCard *snip = addCard(context, note, CardKind::snip, at(0));
    CanvasCard *thought = addCard(context, note, CardKind::thought, at(0));
    CanvasCard *elsewhere = addCard(context, other, CardKind::snip, at(0));
    CanvasCard *trashed = addCard(context, note, CardKind::snip, at(0));
    trashed->moveToTrash(at(1));
    QVERIFY(context.save());
    QSignalSpy saved(&context, &ModelContext::didSave);
    const int boardCount = int(context.fetchBoards()->size());
    ThinkingSessionService service(context);

    std::optional<SessionFailure> failure;
    auto capture = [&](const auto &result) {
        if (!result)
            failure = result.error();
    };
    if (operation == u"keep-blank")
        capture(service.keepSuggestion(suggestion(" \n\t"), QUuid::createUuid(), std::nullopt, at(2)));
    else if (operation == u"quick-blank")
        capture(service.appendQuickThought("  \n", std::nullopt, at(2)));
    else if (operation == u"caption-thought")
        capture(service.updateCaption("c", thought->id(), at(2)));
    else if (operation == u"caption-trashed")
        capture(service.updateCaption("c", trashed->id(), at(2)));
    else if (operation == u"caption-missing")
        capture(service.updateCaption("c", QUuid::createUuid(), at(2)));
    else if (operation == u"connect-self")
        capture(service.connect(snip, snip, std::nullopt, at(2)));
    else if (operation == u"connect-notes")
        capture(service.connect(snip, elsewhere, std::nullopt, at(2)));
    else if (operation == u"connect-trashed")
        capture(service.connect(snip, trashed, std::nullopt, at(2)));
    else if (operation == u"add-thought")
        capture(service.addSnipToNote(thought->id(), other->id(), std::nullopt, at(2)));
    else if (operation == u"add-trashed-note")
        capture(service.addSnipToNote(snip->id(), trashedNote->id(), std::nullopt, at(2)));
    else if (operation == u"quick-unstorable")
        capture(service.appendQuickThought(u"half a pair "_qs + QChar(0xD83D), note->id(), at(2)));

    QVERIFY(failure);
    QCOMPARE(failure->refusal, std::optional(ThinkingSessionError(refusal)));
    QCOMPARE(failure->message, message(ThinkingSessionError(refusal)));
    QCOMPARE(saved.count(), 0);
    QVERIFY(!context.hasChanges());
    QCOMPARE(int(context.fetchBoards()->size()), boardCount); // no inbox made on the way
}

void ThinkingSessionServiceTest::trashingACardTakesItsConnections()
{
    auto store = memoryStore();
    ModelContext &context = *store->mainContext();
    Board *note = addNote(context, "n", at(0));
    CanvasCard *a = addCard(context, note, CardKind::snip, at(0));
    CanvasCard *b = addCard(context, note, CardKind::snip, at(0));
    CanvasCard *c = addCard(context, note, CardKind::thought, at(0));
    QVERIFY(context.save());
    ThinkingSessionService service(context);
    Connection *ab = *service.connect(a, b, std::nullopt, at(1));
    Connection *ca = *service.connect(c, a, QStringLiteral("  "), at(1));
    Connection *old = *service.connect(a, c, std::nullopt, at(1));
    Connection *bc = *service.connect(b, c, std::nullopt, at(1));
    old->setDeletedAt(at(2));
    old->setUpdatedAt(at(2));
    QVERIFY(context.save());

    QVERIFY(service.moveCardToTrash(a, at(9)));
    QCOMPARE(a->deletedAt(), std::optional(at(9)));
    for (Connection *connection : {ab, ca}) {
        QCOMPARE(connection->deletedAt(), std::optional(at(9)));
        QCOMPARE(connection->updatedAt(), at(9));
    }
    QCOMPARE(old->deletedAt(), std::optional(at(2)));
    QVERIFY(bc->isLive());
    QCOMPARE(ca->label(), std::optional<QString>("  "));
    QVERIFY(!context.hasChanges());
}

void ThinkingSessionServiceTest::captions()
{
    auto store = memoryStore();
    ModelContext &context = *store->mainContext();
    Board *note = addNote(context, "n", at(0));
    CanvasCard *snip = addCard(context, note, CardKind::snip, at(0));
    QVERIFY(context.save());
    ThinkingSessionService service(context);
    QVERIFY(service.updateCaption("  a caption \n", snip->id(), at(3)));
    QCOMPARE(snip->contextText(), QStringLiteral("a caption"));
    QVERIFY(service.updateCaption("   ", snip->id(), at(4)));
    QCOMPARE(snip->contextText(), QString());
    QCOMPARE(snip->updatedAt(), at(4));
}

void ThinkingSessionServiceTest::connections()
{
    auto store = memoryStore();
    ModelContext &context = *store->mainContext();
    Board *note = addNote(context, "n", at(0));
    CanvasCard *a = addCard(context, note, CardKind::snip, at(0));
    CanvasCard *b = addCard(context, note, CardKind::snip, at(0));
    QVERIFY(context.save());
    ThinkingSessionService service(context);
    Connection *first = *service.connect(a, b, std::nullopt, at(1));
    Connection *second = *service.connect(a, b, QStringLiteral("again"), at(2));
    QVERIFY(first != second && first->id() != second->id());
    QVERIFY(!first->label());
    QCOMPARE(second->boardID(), note->id());
    QCOMPARE(second->createdAt(), second->updatedAt());
    QCOMPARE(context.fetchConnections()->size(), 2);
}

void ThinkingSessionServiceTest::createNote()
{
    auto store = memoryStore();
    ModelContext &context = *store->mainContext();
    ThinkingSessionService service(context);
    const auto note = service.createNote(" \n ", QStringLiteral(""), at(1));
    QVERIFY(note);
    QCOMPARE((*note)->title(), QStringLiteral("Untitled Note"));
    QCOMPARE((*note)->focusQuestion(), std::optional<QString>(QString()));
    QCOMPARE((*note)->workspaceModeRawValue(), QStringLiteral("write"));
    QVERIFY((*note)->hasCompletedNoteMigration());
    QCOMPARE((*note)->writingDocument().blocks.size(), 1);
    QCOMPARE((*service.createNote(" Plans ", std::nullopt, at(2)))->title(), QStringLiteral("Plans"));
}

void ThinkingSessionServiceTest::quickThoughts()
{
    auto store = memoryStore();
    ModelContext &context = *store->mainContext();
    Board *empty = addNote(context, "empty", at(0));
    empty->setWritingDocumentStorage(QString());
    Board *withText = addNote(context, "text", at(0));
    withText->updateWritingDocument(BoardWritingDocument{{BoardWritingBlock::paragraph("existing")}}, at(0));
    QVERIFY(context.save());
    ThinkingSessionService service(context);

    const auto intoEmpty = service.appendQuickThought("  first \n", empty->id(), at(3));
    QVERIFY(intoEmpty);
    const auto blocks = empty->writingDocument().blocks;
    QCOMPARE(blocks.size(), 1);
    QCOMPARE(blocks[0].text, QStringLiteral("first"));
    QCOMPARE(intoEmpty->paragraphID, blocks[0].id);
    QCOMPARE(empty->updatedAt(), at(3));

    const auto appended = service.appendQuickThought("second", withText->id(), at(4));
    const auto textBlocks = withText->writingDocument().blocks;
    QCOMPARE(textBlocks.size(), 2);
    QCOMPARE(textBlocks[1].text, QStringLiteral("second"));
    QCOMPARE(appended->paragraphID, textBlocks[1].id);

    const auto toInbox = service.appendQuickThought("loose", std::nullopt, at(5));
    QVERIFY(toInbox && toInbox->note->isInbox());
}

void ThinkingSessionServiceTest::addSnipMovesFromTheInbox()
{
    auto store = memoryStore();
    ModelContext &context = *store->mainContext();
    Board *inbox = inboxOf(context);
    Board *target = addNote(context, "target", at(0));
    CanvasCard *snip = addCard(context, inbox, CardKind::snip, at(1));
    snip->setIsPlaced(true);
    snip->setGroupID(QUuid::createUuid());
    snip->setCanvasX(70);
    QVERIFY(context.save());
    QVERIFY(TessalineStore::migrateNotes(context, at(1))); // inbox now references it
    QCOMPARE(references(inbox), QList<QUuid>{snip->id()});

    ThinkingSessionService service(context);
    const auto outcome = service.addSnipToNote(snip->id(), target->id(), std::nullopt, at(8));
    QCOMPARE(*outcome, AddSnipOutcome::moved);
    QVERIFY(references(inbox).isEmpty());
    QCOMPARE(inbox->updatedAt(), at(8));
    QCOMPARE(references(target), QList<QUuid>{snip->id()});
    QCOMPARE(snip->boardID(), target->id());
    QVERIFY(!snip->isPlaced() && !snip->groupID());
    QCOMPARE(snip->canvasX(), 70.0);
}

void ThinkingSessionServiceTest::addSnipLinksFromAnOrdinaryNote()
{
    auto store = memoryStore();
    ModelContext &context = *store->mainContext();
    Board *owner = addNote(context, "owner", at(0));
    Board *target = addNote(context, "target", at(0));
    CanvasCard *snip = addCard(context, owner, CardKind::snip, at(1));
    QVERIFY(context.save());
    ThinkingSessionService service(context);

    QCOMPARE(*service.addSnipToNote(snip->id(), target->id(), std::nullopt, at(2)), AddSnipOutcome::linked);
    QCOMPARE(snip->boardID(), owner->id());
    QCOMPARE(references(target), QList<QUuid>{snip->id()});
    QSignalSpy saved(&context, &ModelContext::didSave);
    QCOMPARE(*service.addSnipToNote(snip->id(), target->id(), std::nullopt, at(3)), AddSnipOutcome::alreadyLinked);
    QCOMPARE(saved.count(), 0);

    // Its own note is never a move.
    QCOMPARE(*service.addSnipToNote(snip->id(), owner->id(), std::nullopt, at(4)), AddSnipOutcome::linked);
    QCOMPARE(*service.addSnipToNote(snip->id(), owner->id(), std::nullopt, at(5)), AddSnipOutcome::alreadyLinked);
}

void ThinkingSessionServiceTest::addSnipFromADeletedOwnerMoves()
{
    auto store = memoryStore();
    ModelContext &context = *store->mainContext();
    Board *owner = addNote(context, "owner", at(0));
    Board *target = addNote(context, "target", at(0));
    CanvasCard *snip = addCard(context, owner, CardKind::snip, at(1));
    BoardWritingDocument ownerDocument = owner->writingDocument();
    ownerDocument.insertCardReference(snip->id());
    owner->updateWritingDocument(ownerDocument, at(1));
    BoardWritingDocument targetDocument = target->writingDocument();
    targetDocument.insertCardReference(snip->id());
    target->updateWritingDocument(targetDocument, at(1));
    owner->moveToTrash(at(2));
    QVERIFY(context.save());

    ThinkingSessionService service(context);
    QCOMPARE(*service.addSnipToNote(snip->id(), target->id(), std::nullopt, at(3)), AddSnipOutcome::moved);
    QVERIFY(references(owner).isEmpty());
    QCOMPARE(references(target), QList<QUuid>{snip->id()}); // no second reference
    QCOMPARE(snip->boardID(), target->id());
}

void ThinkingSessionServiceTest::failedSaveRollsBackAndRetryMakesOne()
{
    auto store = memoryStore();
    ModelContext &context = *store->mainContext();
    Board *note = addNote(context, "n", at(0));
    QVERIFY(context.save());
    ThinkingSessionService service(context);

    context.failNextSave(StoreError{QStringLiteral("read-only")});
    const auto failed = service.keepSuggestion(suggestion("idea"), note->id(), std::nullopt, at(1));
    QVERIFY(!failed);
    QVERIFY(!failed.error().refusal);
    QCOMPARE(failed.error().message, QStringLiteral("read-only"));
    QVERIFY(context.fetchCards()->isEmpty());
    QCOMPARE(note->updatedAt(), at(0));

    QVERIFY(service.keepSuggestion(suggestion("idea"), note->id(), std::nullopt, at(2)));
    QCOMPARE(context.fetchCards()->size(), 1);

    // A fetch failure mid-way leaves the card as it was.
    CanvasCard *card = context.fetchCards()->first();
    context.failNextFetch(StoreError{QStringLiteral("busy")});
    QVERIFY(!service.moveCardToTrash(card, at(3)));
    QVERIFY(card->isLive());
    QVERIFY(!context.hasChanges());
}

void ThinkingSessionServiceTest::failedOperationKeepsOtherUnsavedEdits_data()
{
    QTest::addColumn<QString>("operation");
    for (const char *operation : {"keep suggestion", "trash a card", "caption", "connect", "create note",
                                  "quick thought", "quick thought to the inbox", "add snip to a note",
                                  "add snip from the inbox"})
        QTest::newRow(operation) << QString::fromLatin1(operation);
}

void ThinkingSessionServiceTest::failedOperationKeepsOtherUnsavedEdits()
{
    QFETCH(QString, operation);
    auto store = memoryStore();
    ModelContext &context = *store->mainContext();
    Board *inbox = inboxOf(context);
    Board *note = addNote(context, "n", at(0));
    Board *other = addNote(context, "other", at(0));
    CanvasCard *snip = addCard(context, note, CardKind::snip, at(0));
    CanvasCard *second = addCard(context, note, CardKind::snip, at(0));
    CanvasCard *loose = addCard(context, inbox, CardKind::snip, at(0));
    CanvasCard *edited = addCard(context, other, CardKind::snip, at(0));
    QVERIFY(context.save());
    QVERIFY(TessalineStore::migrateNotes(context, at(0)));

    // Waiting to be saved by design, as an editor closed without saving
    // leaves them: nothing the operation does may take them away.
    edited->setContextText(QStringLiteral("typed, not yet saved"));
    other->setTitle(QStringLiteral("renamed, not yet saved"));
    CanvasCard *pending = addCard(context, other, CardKind::thought, at(0));

    const QList<Board *> boards = *context.fetchBoards();
    const QList<CanvasCard *> cards = *context.fetchCards();
    QList<Board::Values> boardValues;
    for (const Board *board : boards)
        boardValues.append(board->values());
    QList<CanvasCard::Values> cardValues;
    for (const CanvasCard *card : cards)
        cardValues.append(card->values());

    ThinkingSessionService service(context);
    context.failNextSave(StoreError{QStringLiteral("disk full")});
    std::optional<SessionFailure> failure;
    auto capture = [&](const auto &result) {
        if (!result)
            failure = result.error();
    };
    if (operation == u"keep suggestion")
        capture(service.keepSuggestion(suggestion("idea"), note->id(), QPointF(4, 4), at(5)));
    else if (operation == u"trash a card")
        capture(service.moveCardToTrash(snip, at(5)));
    else if (operation == u"caption")
        capture(service.updateCaption("caption", snip->id(), at(5)));
    else if (operation == u"connect")
        capture(service.connect(snip, second, std::nullopt, at(5)));
    else if (operation == u"create note")
        capture(service.createNote("new", std::nullopt, at(5)));
    else if (operation == u"quick thought")
        capture(service.appendQuickThought("thought", note->id(), at(5)));
    else if (operation == u"quick thought to the inbox")
        capture(service.appendQuickThought("thought", std::nullopt, at(5)));
    else if (operation == u"add snip to a note")
        capture(service.addSnipToNote(snip->id(), other->id(), std::nullopt, at(5)));
    else if (operation == u"add snip from the inbox")
        capture(service.addSnipToNote(loose->id(), note->id(), std::nullopt, at(5)));

    QVERIFY(failure);
    QCOMPARE(failure->message, QStringLiteral("disk full"));
    QCOMPARE(*context.fetchBoards(), boards);
    QCOMPARE(*context.fetchCards(), cards);
    QVERIFY(context.fetchConnections()->isEmpty());
    for (qsizetype i = 0; i < boards.size(); ++i)
        QCOMPARE(boards[i]->values(), boardValues[i]);
    for (qsizetype i = 0; i < cards.size(); ++i)
        QVERIFY2(cards[i]->values() == cardValues[i], qPrintable(cards[i]->displayTitle()));

    // The earlier edits are still there to be saved.
    QVERIFY(edited->hasChanges() && other->hasChanges());
    QCOMPARE(pending->modelContext(), &context);
    QVERIFY(context.save());
    QCOMPARE(edited->contextText(), QStringLiteral("typed, not yet saved"));
    QVERIFY(pending->isPersisted());
}

QTEST_GUILESS_MAIN(ThinkingSessionServiceTest)
#include "tst_thinkingsessionservice.moc"
