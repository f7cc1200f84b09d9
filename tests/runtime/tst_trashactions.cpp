#include "../support/MainWindowRig.h"

#include "runtime/AppRuntime.h"
#include "runtime/CapturePipeline.h"
#include "runtime/DesktopSearchIndexService.h"
#include "runtime/LibraryQuery.h"
#include "runtime/TrashActions.h"
#include "platform/SearchIndex.h"
#include "platform/UuidText.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

struct Fixture
{
    Fixture()
        : library(rig.context())
        , actions(library, rig.navigation(), rig.runtime->desktopSearchIndex())
    {
        actions.setClock([] { return at(500); });
    }

    bool save() { return rig.context().save().hasValue(); }
    bool hasCard(const QUuid &id) { return library.firstCard(id) != nullptr; }
    bool hasConnection(const QUuid &id)
    {
        for (const Connection *connection : library.connections()) {
            if (connection->id() == id)
                return true;
        }
        return false;
    }
    // Waits until the index has been told about every card given.
    bool waitForIndexRemovals(int count)
    {
        QSignalSpy removed(&actions, &TrashActions::indexEntryRemoved);
        while (removed.count() < count) {
            if (!removed.wait(5000))
                return false;
        }
        return true;
    }

    MainWindowRig rig;
    LibraryQuery library;
    TrashActions actions;
};

} // namespace

class TrashActionsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void restoreBoardBringsItBackActiveAndLeavesItsCards();
    void restoreCardLeavesItsConnectionsDeleted();
    void openDeleted_data();
    void openDeleted();
    void deleteBoardPermanently();
    void deletedNoteLeavesNoNameInTheIndex();
    void restoredSnipWithoutAnEntryIsIndexed_data();
    void restoredSnipWithoutAnEntryIsIndexed();
    void quickCapturesNoteIsNeverPurged();
    void deleteCardPermanently();
    void failedSaveLeavesEverythingAndTheIndex();
    void openSearchResult_data();
    void openSearchResult();
    void missingItemsChangeNothing();
};

void TrashActionsTest::restoreBoardBringsItBackActiveAndLeavesItsCards()
{
    Fixture f;
    Board *note = f.rig.addNote(QStringLiteral("Parked"));
    CanvasCard *trashedCard = f.rig.addCard(note, CardKind::snip);
    trashedCard->moveToTrash(at(1));
    note->setStatus(BoardStatus::parked, at(2));
    note->moveToTrash(at(3));
    QVERIFY(f.save());

    f.actions.restoreBoard(note->id());
    QVERIFY(note->isLive());
    QCOMPARE(note->status(), BoardStatus::active);
    QCOMPARE(note->archivedAt(), std::nullopt);
    QCOMPARE(note->updatedAt(), at(500));
    QVERIFY(!trashedCard->isLive());
    QVERIFY(!f.rig.context().hasChanges());
}

void TrashActionsTest::restoreCardLeavesItsConnectionsDeleted()
{
    Fixture f;
    Board *note = f.rig.addNote(QStringLiteral("Note"));
    CanvasCard *card = f.rig.addCard(note, CardKind::thought);
    CanvasCard *other = f.rig.addCard(note, CardKind::thought);
    Connection *out = f.rig.connect(card, other);
    Connection *in = f.rig.connect(other, card);
    out->setDeletedAt(at(1));
    in->setDeletedAt(at(1));
    card->moveToTrash(at(1));
    // The card's own note is deleted too: the card comes back regardless.
    note->moveToTrash(at(2));
    QVERIFY(f.save());

    f.actions.restoreCard(card->id());
    QVERIFY(card->isLive());
    QCOMPARE(card->updatedAt(), at(500));
    QVERIFY(!out->isLive() && !in->isLive());
    QVERIFY(!note->isLive());
    QVERIFY(!f.rig.context().hasChanges());
}

void TrashActionsTest::openDeleted_data()
{
    QTest::addColumn<QString>("item");
    QTest::newRow("note") << "note";
    QTest::newRow("snip") << "snip";
    // "Notes" leaves the Quick Captures note out: the window would show no note.
    QTest::newRow("snip of Quick Captures") << "inbox snip";
    QTest::newRow("thought") << "thought";
    QTest::newRow("purged card") << "purged";
}

void TrashActionsTest::openDeleted()
{
    QFETCH(QString, item);
    Fixture f;
    const bool inInbox = item == u"inbox snip";
    Board *note = f.rig.addNote(QStringLiteral("Note"), 0, inInbox);
    CanvasCard *card = f.rig.addCard(note, item == u"thought" ? CardKind::thought : CardKind::snip);
    card->moveToTrash(at(1));
    if (item == u"note")
        note->moveToTrash(at(1));
    QVERIFY(f.save());
    f.rig.navigation().setDestination(SidebarDestination::trash());

    if (item == u"note") {
        f.actions.openDeletedBoard(note->id());
        QVERIFY(note->isLive());
        QVERIFY(!card->isLive());
    } else {
        const QUuid cardID = item == u"purged" ? QUuid::createUuid() : card->id();
        f.actions.openDeletedCard(note->id(), cardID);
        if (item == u"purged") {
            QCOMPARE(f.rig.navigation().focusedCardID(), std::optional(cardID));
        } else {
            QVERIFY(card->isLive());
        }
    }
    QCOMPARE(f.rig.navigation().destination(), inInbox ? SidebarDestination::inbox() : SidebarDestination::notes());
    QCOMPARE(f.rig.navigation().activeBoardID(), std::optional(note->id()));
    QCOMPARE(f.rig.navigation().galleryCardID().has_value(), item == u"snip" || inInbox);
    QCOMPARE(f.rig.navigation().focusedCardID().has_value(), item == u"thought" || item == u"purged");
}

void TrashActionsTest::deleteBoardPermanently()
{
    Fixture f;
    Board *note = f.rig.addNote(QStringLiteral("Doomed"));
    Board *other = f.rig.addNote(QStringLiteral("Other"));
    CanvasCard *live = f.rig.addCard(note, CardKind::snip);
    CanvasCard *trashed = f.rig.addCard(note, CardKind::thought);
    trashed->moveToTrash(at(1));
    CanvasCard *elsewhere = f.rig.addCard(other, CardKind::snip);
    Connection *liveLink = f.rig.connect(live, trashed);
    Connection *deletedLink = f.rig.connect(trashed, live);
    deletedLink->setDeletedAt(at(1));
    Connection *otherLink = f.rig.connect(elsewhere, elsewhere);
    // A reference from another note's writing to a purged card stays.
    BoardWritingDocument writing = other->writingDocument();
    writing.insertCardReference(live->id(), std::nullopt);
    other->updateWritingDocument(writing, at(2));
    QVERIFY(f.save());
    const QUuid liveID = live->id(), trashedID = trashed->id();
    const QUuid liveLinkID = liveLink->id(), deletedLinkID = deletedLink->id();
    f.rig.navigation().setActiveBoardID(note->id());
    const auto cardsOf = [&f](const Board *board) {
        QList<CanvasCard *> cards;
        for (qint32 at : f.library.cardPositionsOfNote(board->id()))
            cards << f.library.cards().at(at);
        return cards;
    };
    QCOMPARE(cardsOf(other), QList<CanvasCard *>{elsewhere});
    const quint64 countedWhole = f.library.noteCardGroups().wholeRevision();

    // Not in Recently Deleted: the action does not look.
    f.actions.deleteBoardPermanently(note->id());
    QCOMPARE(f.library.firstBoard(note->id()), nullptr);
    // The window's count of each note's cards lets the purged ones go
    // without counting every card of the library again.
    QCOMPARE(cardsOf(other), QList<CanvasCard *>{elsewhere});
    QVERIFY(cardsOf(note).isEmpty());
    QCOMPARE(f.library.noteCardGroups().wholeRevision(), countedWhole);
    QVERIFY(!f.hasCard(liveID) && !f.hasCard(trashedID));
    QVERIFY(!f.hasConnection(liveLinkID) && !f.hasConnection(deletedLinkID));
    QVERIFY(f.hasCard(elsewhere->id()) && f.hasConnection(otherLink->id()));
    QVERIFY(other->writingDocument().referencedCardIDs().contains(liveID));
    QCOMPARE(f.rig.navigation().activeBoardID(), std::optional(note->id()));
    // The window's connections by note let the purged ones go, and take a
    // connection added since, without grouping every connection again.
    QVERIFY(f.library.connectionsOfNote(note->id()).isEmpty());
    QCOMPARE(f.library.connectionsOfNote(other->id()), QList<Connection *>{otherLink});
    Connection *laterLink = f.rig.connect(elsewhere, elsewhere);
    QVERIFY(f.save());
    QCOMPARE(f.library.connectionsOfNote(other->id()), (QList<Connection *>{otherLink, laterLink}));

    QVERIFY(f.waitForIndexRemovals(2));
    QStringList removed = f.rig.deletedFromIndex;
    removed.sort();
    QStringList expected{uuidText(liveID), uuidText(trashedID)};
    expected.sort();
    QCOMPARE(removed, expected);
}

void TrashActionsTest::deletedNoteLeavesNoNameInTheIndex()
{
    // An index file as the app has beside its library.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("SearchIndex.sqlite"));
    DesktopSearchIndexService index([path] { return std::make_unique<SearchIndex>(path); },
                                    QStringLiteral("test.domain"), std::chrono::milliseconds(0));
    Fixture f;
    TrashActions actions(f.library, f.rig.navigation(), &index);
    Board *doomed = f.rig.addNote(QStringLiteral("Quixotrimble plans"));
    Board *garden = f.rig.addNote(QStringLiteral("Garden"));
    Board *namesake = f.rig.addNote(QStringLiteral("Quixotrimble plans"));
    CanvasCard *filed = f.rig.addCard(doomed, CardKind::snip);
    CanvasCard *purged = f.rig.addCard(doomed, CardKind::snip);
    CanvasCard *ofNamesake = f.rig.addCard(namesake, CardKind::snip);
    CanvasCard *ofGarden = f.rig.addCard(garden, CardKind::snip);
    QVERIFY(f.save());
    const QList<Board *> boards = f.library.boards();
    for (const CanvasCard *card : {filed, purged, ofNamesake, ofGarden}) {
        auto indexed = index.index(CapturePipeline::desktopSearchRecord(card, boards, false), &actions);
        QTRY_VERIFY(indexed.isFinished());
        QVERIFY(indexed.result());
    }
    const QString filedID = uuidText(filed->id()), ofNamesakeID = uuidText(ofNamesake->id());
    const QString ofGardenID = uuidText(ofGarden->id()), purgedID = uuidText(purged->id());
    const QString filedTitle = CapturePipeline::desktopSearchRecord(filed, boards, false).title;
    // The note goes to Recently Deleted, one of its snips is filed into
    // another note, then the note is deleted for good.
    doomed->moveToTrash(at(3));
    filed->setBoardID(garden->id());
    QVERIFY(f.save());
    actions.deleteBoardPermanently(doomed->id());

    SearchIndex reader(path, SearchIndex::Creation::existingOnly);
    const auto noteOf = [&reader](const QString &identifier) {
        const std::optional<SearchableItem> item = reader.item(identifier);
        return item ? item->keywords.value(0) : QString();
    };
    QTRY_COMPARE(noteOf(filedID), QStringLiteral("Garden"));
    // The desktop's search no longer finds the snip by the deleted note's
    // name; a live note of the same name keeps its own.
    QCOMPARE(reader.search(QStringLiteral("quixotrimble")), QStringList{ofNamesakeID});
    QCOMPARE(noteOf(ofNamesakeID), QStringLiteral("Quixotrimble plans"));
    QCOMPARE(noteOf(ofGardenID), QStringLiteral("Garden"));
    QVERIFY(!reader.item(purgedID));
    QCOMPARE(reader.item(filedID)->title, filedTitle);
}

void TrashActionsTest::restoredSnipWithoutAnEntryIsIndexed_data()
{
    QTest::addColumn<bool>("withItsNote");
    QTest::newRow("snip restored") << false;
    QTest::newRow("note restored with it") << true;
}

// A snip that went to Recently Deleted before the desktop's index had its
// entry (its text still being read, the index not writable then) is found
// by the desktop's search once it is back, not only after the next start.
void TrashActionsTest::restoredSnipWithoutAnEntryIsIndexed()
{
    QFETCH(bool, withItsNote);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("SearchIndex.sqlite"));
    DesktopSearchIndexService index([path] { return std::make_unique<SearchIndex>(path); },
                                    QStringLiteral("test.domain"), std::chrono::milliseconds(0));
    Fixture f;
    TrashActions actions(f.library, f.rig.navigation(), &index);
    Board *note = f.rig.addNote(QStringLiteral("Harbour"));
    CanvasCard *away = f.rig.addCard(note, CardKind::snip);
    away->setOcrText(QStringLiteral("Quixotrimble ledger"));
    CanvasCard *indexed = f.rig.addCard(note, CardKind::snip);
    QVERIFY(f.save());
    auto written = index.index(CapturePipeline::desktopSearchRecord(indexed, f.library.boards(), false), &actions);
    QTRY_VERIFY(written.isFinished());
    QVERIFY(written.result());
    if (withItsNote)
        note->moveToTrash(at(3));
    else
        away->moveToTrash(at(3));
    QVERIFY(f.save());

    QVERIFY(withItsNote ? actions.restoreBoard(note->id()) : actions.restoreCard(away->id()));
    SearchIndex reader(path, SearchIndex::Creation::existingOnly);
    QTRY_COMPARE(reader.search(QStringLiteral("quixotrimble")), QStringList{uuidText(away->id())});
    QCOMPARE(reader.item(uuidText(away->id()))->keywords.value(0), QStringLiteral("Harbour"));
    QCOMPARE(reader.count(), 2);
}

void TrashActionsTest::quickCapturesNoteIsNeverPurged()
{
    Fixture f;
    Board *inbox = f.rig.addNote(QStringLiteral("Quick Captures"), 0, true);
    inbox->moveToTrash(at(1));
    CanvasCard *card = f.rig.addCard(inbox, CardKind::snip);
    Connection *link = f.rig.connect(card, card);
    QVERIFY(f.save());

    f.actions.deleteBoardPermanently(inbox->id());
    QCOMPARE(f.library.firstBoard(inbox->id()), inbox);
    QVERIFY(f.hasCard(card->id()) && f.hasConnection(link->id()));
    QVERIFY(!f.rig.context().hasChanges());
}

void TrashActionsTest::deleteCardPermanently()
{
    Fixture f;
    Board *note = f.rig.addNote(QStringLiteral("Note"));
    Board *other = f.rig.addNote(QStringLiteral("Other"));
    CanvasCard *card = f.rig.addCard(note, CardKind::snip);
    CanvasCard *neighbour = f.rig.addCard(note, CardKind::thought);
    CanvasCard *far = f.rig.addCard(other, CardKind::thought);
    Connection *toIt = f.rig.connect(neighbour, card);
    toIt->setDeletedAt(at(1));
    Connection *fromIt = f.rig.connect(card, neighbour);
    // A connection filed under another note still touches the card.
    Connection *stray = f.rig.connect(far, card);
    Connection *unrelated = f.rig.connect(neighbour, far);
    BoardWritingDocument writing = note->writingDocument();
    writing.insertCardReference(card->id(), std::nullopt);
    note->updateWritingDocument(writing, at(2));
    card->moveToTrash(at(3));
    QVERIFY(f.save());
    const QUuid cardID = card->id();
    const QList<QUuid> gone{toIt->id(), fromIt->id(), stray->id()};

    f.actions.deleteCardPermanently(cardID);
    QVERIFY(!f.hasCard(cardID));
    for (const QUuid &id : gone)
        QVERIFY(!f.hasConnection(id));
    QVERIFY(f.hasConnection(unrelated->id()));
    QVERIFY(note->writingDocument().referencedCardIDs().contains(cardID));
    QVERIFY(f.waitForIndexRemovals(1));
    QCOMPARE(f.rig.deletedFromIndex, QStringList{uuidText(cardID)});

    // What was purged stays out after the library is read afresh.
    auto cards = f.rig.context().fetchCards();
    QVERIFY(cards);
    QVERIFY(std::none_of(cards->cbegin(), cards->cend(), [&](const CanvasCard *c) { return c->id() == cardID; }));
}

void TrashActionsTest::failedSaveLeavesEverythingAndTheIndex()
{
    Fixture f;
    Board *note = f.rig.addNote(QStringLiteral("Note"));
    CanvasCard *card = f.rig.addCard(note, CardKind::snip);
    Connection *link = f.rig.connect(card, card);
    card->moveToTrash(at(1));
    QVERIFY(f.save());

    QSignalSpy failures(&f.actions, &TrashActions::failed);
    f.rig.context().failNextSave(StoreError{QStringLiteral("disk full")});
    f.actions.deleteCardPermanently(card->id());
    QCOMPARE(failures.count(), 1);
    QCOMPARE(failures.last().first().toString(), QStringLiteral("disk full"));
    QVERIFY(f.hasCard(card->id()) && f.hasConnection(link->id()));
    QVERIFY(!f.rig.context().hasChanges());
    // A later, unrelated save must not carry the purge out after all.
    note->setTitle(QStringLiteral("Renamed"));
    QVERIFY(f.save());
    QVERIFY(f.hasCard(card->id()) && f.hasConnection(link->id()));

    f.rig.context().failNextSave(StoreError{QStringLiteral("disk full")});
    QVERIFY(!f.actions.restoreCard(card->id()));
    QCOMPARE(failures.count(), 2);
    QVERIFY(!card->isLive());
    QVERIFY(!f.rig.context().hasChanges());

    // Only the failed action's own change is taken back: an edit waiting
    // elsewhere stays.
    note->setFocusQuestion(QStringLiteral("still typing"));
    f.rig.context().failNextSave(StoreError{QStringLiteral("disk full")});
    QVERIFY(!f.actions.restoreCard(card->id()));
    QVERIFY(!card->isLive());
    QCOMPARE(note->focusQuestion(), std::optional<QString>(QStringLiteral("still typing")));

    // Index calls are answered in order: once a purge that succeeds has
    // reached the index, anything the failed ones sent would have too.
    CanvasCard *marker = f.rig.addCard(note, CardKind::snip);
    marker->moveToTrash(at(2));
    QVERIFY(f.save());
    f.actions.deleteCardPermanently(marker->id());
    QVERIFY(f.waitForIndexRemovals(1));
    QCOMPARE(f.rig.deletedFromIndex, QStringList{uuidText(marker->id())});
}

void TrashActionsTest::openSearchResult_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<bool>("inInbox");
    QTest::newRow("snip") << int(CardKind::snip) << true << false;
    QTest::newRow("thought") << int(CardKind::thought) << true << false;
    QTest::newRow("missing card") << int(CardKind::snip) << false << false;
    QTest::newRow("thought of Quick Captures") << int(CardKind::thought) << true << true;
}

void TrashActionsTest::openSearchResult()
{
    QFETCH(int, kind);
    QFETCH(bool, exists);
    QFETCH(bool, inInbox);
    Fixture f;
    Board *note = f.rig.addNote(QStringLiteral("Note"), 0, inInbox);
    CanvasCard *card = f.rig.addCard(note, CardKind(kind));
    QVERIFY(f.save());
    const QUuid cardID = exists ? card->id() : QUuid::createUuid();
    NavigationState &navigation = f.rig.navigation();
    navigation.setDestination(SidebarDestination::search());

    f.actions.openSearchResult(note->id(), cardID);
    if (exists && CardKind(kind) == CardKind::snip) {
        QCOMPARE(navigation.galleryCardID(), std::optional(cardID));
        QCOMPARE(navigation.destination(), SidebarDestination::search());
        QVERIFY(!navigation.focusedCardID());
    } else {
        QCOMPARE(navigation.destination(), inInbox ? SidebarDestination::inbox() : SidebarDestination::notes());
        QCOMPARE(navigation.activeBoardID(), std::optional(note->id()));
        QCOMPARE(navigation.selectedCardIDs(), QSet<QUuid>{cardID});
        QCOMPARE(navigation.focusedCardID(), std::optional(cardID));
        QVERIFY(!navigation.galleryCardID());
    }
}

void TrashActionsTest::missingItemsChangeNothing()
{
    Fixture f;
    Board *note = f.rig.addNote(QStringLiteral("Note"));
    QVERIFY(f.save());
    QSignalSpy saved(&f.rig.context(), &ModelContext::didSave);
    const QUuid nobody = QUuid::createUuid();
    f.actions.restoreBoard(nobody);
    f.actions.restoreCard(nobody);
    f.actions.deleteBoardPermanently(nobody);
    f.actions.deleteCardPermanently(nobody);
    QCOMPARE(saved.count(), 0);
    QCOMPARE(f.library.boards().size(), 1);
    QCOMPARE(f.library.boards().first(), note);

    // Opening a note that is gone still switches to it.
    f.actions.openDeletedBoard(nobody);
    QCOMPARE(f.rig.navigation().destination(), SidebarDestination::notes());
    QCOMPARE(f.rig.navigation().activeBoardID(), std::optional(nobody));
}

QTEST_GUILESS_MAIN(TrashActionsTest)
#include "tst_trashactions.moc"
