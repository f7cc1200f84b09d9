#include "../support/MainWindowRig.h"

#include "runtime/LibraryQuery.h"
#include "model/ModelChangeScope.h"
#include "model/StoreError.h"
#include "runtime/TrashActions.h"
#include "library/TrashModel.h"

#include <QSignalSpy>
#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

using Section = TrashItemModel::Section;

struct Fixture
{
    Fixture()
        : library(rig.context())
    {
    }

    bool save() { return rig.context().save().hasValue(); }

    // Calls the model would make, as "kind:id" (open: "open:board:card").
    TrashModel::Actions recordingActions(bool withDelete = true)
    {
        TrashModel::Actions actions;
        actions.openBoard = [this](const QUuid &id) { calls << QStringLiteral("openBoard:") + id.toString(); };
        actions.openCard = [this](const QUuid &board, const QUuid &card) {
            calls << QStringLiteral("openCard:") + board.toString() + QLatin1Char(':') + card.toString();
        };
        actions.restoreBoard = [this](const QUuid &id) { calls << QStringLiteral("restoreBoard:") + id.toString(); };
        actions.restoreCard = [this](const QUuid &id) { calls << QStringLiteral("restoreCard:") + id.toString(); };
        if (withDelete) {
            actions.deleteBoardPermanently = [this](const QUuid &id) {
                calls << QStringLiteral("deleteBoard:") + id.toString();
            };
            actions.deleteCardPermanently = [this](const QUuid &id) {
                calls << QStringLiteral("deleteCard:") + id.toString();
            };
        }
        return actions;
    }

    static QStringList titles(const TrashItemModel *model)
    {
        QStringList result;
        for (int row = 0; row < model->rowCount(); ++row)
            result << model->index(row).data(TrashItemModel::TitleRole).toString();
        return result;
    }

    MainWindowRig rig;
    LibraryQuery library;
    QStringList calls;
};

CanvasCard *titledCard(Fixture &f, const Board *note, CardKind kind, const QString &title)
{
    CanvasCard *card = f.rig.addCard(note, kind);
    card->setTitle(title);
    return card;
}

} // namespace

class TrashModelTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rows_data();
    void rows();
    void equalDatesOrderByIdentifierText();
    void noteTileCountsAndStatus();
    void cardsAddedAfterwards_data();
    void cardsAddedAfterwards();
    void aNewScreenShowsTheTrashAsItIsNow_data();
    void aNewScreenShowsTheTrashAsItIsNow();
    void anOpenScreenFollowsCardsOneByOne_data();
    void anOpenScreenFollowsCardsOneByOne();
    void cardTileTexts_data();
    void cardTileTexts();
    void confirmationGuardsDeletion();
    void withoutDeleteActionsNothingIsDeleted();
    void actionsReachTheWindow();
};

// Each scenario: which notes and cards are trashed (by title, with the
// seconds of their deletion), and what the screen lists.
void TrashModelTest::rows_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QStringList>("boards");
    QTest::addColumn<QStringList>("cards");
    QTest::addColumn<QString>("subtitle");

    QTest::newRow("nothing deleted") << "none" << QStringList() << QStringList()
                                     << "Deleted items can be restored";
    QTest::newRow("one card") << "oneCard" << QStringList() << QStringList{"Loose"} << "1 recoverable item";
    QTest::newRow("newest first, both kinds")
        << "mixed" << QStringList{"Newer note", "Older note"} << QStringList{"Late card", "Early card"}
        << "4 recoverable items";
    QTest::newRow("cards of a deleted note come back with it")
        << "withNote" << QStringList{"Gone note"} << QStringList() << "1 recoverable item";
    QTest::newRow("a card whose note is missing is listed")
        << "orphan" << QStringList() << QStringList{"Orphan", "Loose"} << "2 recoverable items";
}

void TrashModelTest::rows()
{
    QFETCH(QString, scenario);
    Fixture f;
    Board *live = f.rig.addNote(QStringLiteral("Live"));
    titledCard(f, live, CardKind::snip, QStringLiteral("Kept"));
    if (scenario == u"oneCard" || scenario == u"orphan")
        titledCard(f, live, CardKind::thought, QStringLiteral("Loose"))->moveToTrash(at(10));
    if (scenario == u"orphan") {
        CanvasCard *orphan = titledCard(f, live, CardKind::snip, QStringLiteral("Orphan"));
        orphan->setBoardID(QUuid::createUuid());
        orphan->moveToTrash(at(20));
    }
    if (scenario == u"mixed") {
        f.rig.addNote(QStringLiteral("Older note"))->moveToTrash(at(1));
        f.rig.addNote(QStringLiteral("Newer note"))->moveToTrash(at(5));
        titledCard(f, live, CardKind::thought, QStringLiteral("Early card"))->moveToTrash(at(2));
        titledCard(f, live, CardKind::ghost, QStringLiteral("Late card"))->moveToTrash(at(4));
    }
    if (scenario == u"withNote") {
        Board *gone = f.rig.addNote(QStringLiteral("Gone note"));
        titledCard(f, gone, CardKind::snip, QStringLiteral("Inside"))->moveToTrash(at(1));
        gone->moveToTrash(at(2));
    }
    QVERIFY(f.save());

    TrashModel model(f.library, f.recordingActions());
    QTEST(Fixture::titles(model.boards()), "boards");
    QTEST(Fixture::titles(model.cards()), "cards");
    QTEST(model.contents().subtitle(), "subtitle");
}

void TrashModelTest::equalDatesOrderByIdentifierText()
{
    Fixture f;
    Board *b = f.rig.addNote(QStringLiteral("B"));
    b->setId(QUuid(QStringLiteral("{B0000000-0000-0000-0000-000000000000}")));
    Board *a = f.rig.addNote(QStringLiteral("A"));
    a->setId(QUuid(QStringLiteral("{A0000000-0000-0000-0000-000000000000}")));
    b->moveToTrash(at(3));
    a->moveToTrash(at(3));
    QVERIFY(f.save());

    TrashModel model(f.library, f.recordingActions());
    QCOMPARE(Fixture::titles(model.boards()), (QStringList{"A", "B"}));
}

void TrashModelTest::noteTileCountsAndStatus()
{
    Fixture f;
    Board *note = f.rig.addNote(QStringLiteral("Parked plan"));
    f.rig.addCard(note, CardKind::snip)->moveToTrash(at(1));
    f.rig.addCard(note, CardKind::snip);
    f.rig.addCard(note, CardKind::thought);
    f.rig.addCard(note, CardKind::ghost);
    f.rig.addCard(note, CardKind::thought)->setKindRawValue(QStringLiteral("sketch"));
    note->setStatus(BoardStatus::parked, at(2));
    note->moveToTrash(at(3));
    QVERIFY(f.save());

    TrashModel model(f.library, f.recordingActions());
    const QModelIndex row = model.boards()->index(0);
    QCOMPARE(row.data(TrashItemModel::SnipCountRole).toInt(), 2);
    QCOMPARE(row.data(TrashItemModel::ThoughtCountRole).toInt(), 2);
    QCOMPARE(row.data(TrashItemModel::KindLabelRole).toString(), QStringLiteral("Parked"));
    QVERIFY(row.data(TrashItemModel::ShowsTagRole).toBool());
    QCOMPARE(row.data(TrashItemModel::DetailRole).toString(), QStringLiteral("No focus question yet"));
    QCOMPARE(row.data(Qt::AccessibleTextRole).toString(), QStringLiteral("Parked plan, Parked, 2 snips, 2 thoughts"));
}

void TrashModelTest::cardsAddedAfterwards_data()
{
    QTest::addColumn<QString>("added");
    QTest::addColumn<bool>("reset");
    QTest::newRow("a capture into a live note") << "live" << false;
    QTest::newRow("a card stored deleted") << "deleted" << true;
    QTest::newRow("a card of a deleted note") << "in deleted note" << true;
}

// A save that only adds live cards to live notes leaves the screen as it
// is; any other shows what a screen made afresh shows.
void TrashModelTest::cardsAddedAfterwards()
{
    QFETCH(QString, added);
    QFETCH(bool, reset);
    Fixture f;
    Board *live = f.rig.addNote(QStringLiteral("Live"));
    Board *gone = f.rig.addNote(QStringLiteral("Gone"));
    titledCard(f, gone, CardKind::snip, QStringLiteral("Inside"));
    gone->moveToTrash(at(2));
    titledCard(f, live, CardKind::thought, QStringLiteral("Loose"))->moveToTrash(at(3));
    QVERIFY(f.save());
    TrashModel model(f.library, f.recordingActions());
    QSignalSpy boardsReset(model.boards(), &QAbstractItemModel::modelReset);
    QSignalSpy cardsReset(model.cards(), &QAbstractItemModel::modelReset);
    // A tile whose counts changed is said to have changed, not listed again.
    QSignalSpy boardsChanged(model.boards(), &QAbstractItemModel::dataChanged);

    std::unique_ptr<CanvasCard> card =
        makeCard(added == u"live" ? live->id() : gone->id(), CardFields{.title = QStringLiteral("New")});
    if (added == u"deleted")
        card->moveToTrash(at(4));
    f.rig.context().insert(card.release());
    QVERIFY(f.save());

    QCOMPARE(boardsReset.size() + cardsReset.size() + boardsChanged.size() > 0, reset);
    TrashModel fresh(f.library, f.recordingActions());
    QCOMPARE(Fixture::titles(model.boards()), Fixture::titles(fresh.boards()));
    QCOMPARE(Fixture::titles(model.cards()), Fixture::titles(fresh.cards()));
    QCOMPARE(model.boards()->index(0).data(TrashItemModel::SnipCountRole),
             fresh.boards()->index(0).data(TrashItemModel::SnipCountRole));
    QCOMPARE(model.contents().subtitle(), fresh.contents().subtitle());
}

void TrashModelTest::aNewScreenShowsTheTrashAsItIsNow_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("boards");
    QTest::addColumn<QStringList>("cards");
    QTest::newRow("a note stamped opened and saved") << "opened" << QStringList{"Gone"} << QStringList{"Loose"};
    QTest::newRow("a card moved to Recently Deleted, unsaved")
        << "card deleted" << QStringList{"Gone"} << QStringList{"Kept", "Loose"};
    QTest::newRow("a card restored, unsaved") << "card restored" << QStringList{"Gone"} << QStringList();
    QTest::newRow("another note deleted, saved") << "note deleted" << QStringList{"Live", "Gone"} << QStringList();
    QTest::newRow("a card moved into the deleted note, unsaved")
        << "card moved" << QStringList{"Gone"} << QStringList{"Loose"};
    QTest::newRow("a deletion taken back") << "taken back" << QStringList{"Gone"} << QStringList{"Loose"};
    QTest::newRow("the deleted note deleted for good") << "note purged" << QStringList() << QStringList{"Loose"};
    QTest::newRow("the deleted note deleted for good, its card left")
        << "note purged alone" << QStringList() << QStringList{"Loose"};
    QTest::newRow("a deleted card deleted for good") << "card purged" << QStringList{"Gone"} << QStringList();
}

// Every Recently Deleted screen of the window shares one pass over the
// cards, which must follow what was written since, saved or not: a screen
// made now shows what the lists made afresh show.
void TrashModelTest::aNewScreenShowsTheTrashAsItIsNow()
{
    QFETCH(QString, change);
    Fixture f;
    Board *live = f.rig.addNote(QStringLiteral("Live"));
    Board *gone = f.rig.addNote(QStringLiteral("Gone"));
    CanvasCard *kept = titledCard(f, live, CardKind::snip, QStringLiteral("Kept"));
    CanvasCard *inside = titledCard(f, gone, CardKind::snip, QStringLiteral("Inside"));
    gone->moveToTrash(at(2));
    CanvasCard *loose = titledCard(f, live, CardKind::thought, QStringLiteral("Loose"));
    loose->moveToTrash(at(3));
    QVERIFY(f.save());
    TrashModel first(f.library, f.recordingActions());
    QCOMPARE(Fixture::titles(first.cards()), QStringList{"Loose"});

    if (change == u"opened") {
        live->markOpened(at(9));
        QVERIFY(f.save());
    } else if (change == u"card deleted") {
        kept->moveToTrash(at(5));
    } else if (change == u"card restored") {
        loose->setDeletedAt(std::nullopt);
    } else if (change == u"note deleted") {
        live->moveToTrash(at(6));
        QVERIFY(f.save());
    } else if (change == u"card moved") {
        kept->setBoardID(gone->id());
    } else if (change == u"taken back") {
        kept->moveToTrash(at(5));
        f.rig.context().rollback();
    } else if (change.startsWith(u"note purged")) {
        if (change == u"note purged")
            f.rig.context().remove(inside);
        f.rig.context().remove(gone);
        QVERIFY(f.save());
    } else if (change == u"card purged") {
        f.rig.context().remove(loose);
        QVERIFY(f.save());
    }

    // The screen that was open lost the purged item's row alone.
    if (change.contains(u"purged")) {
        QTEST(Fixture::titles(first.boards()), "boards");
        QTEST(Fixture::titles(first.cards()), "cards");
    }
    TrashModel again(f.library, f.recordingActions());
    QTEST(Fixture::titles(again.boards()), "boards");
    QTEST(Fixture::titles(again.cards()), "cards");
    const TrashContents afresh = TrashContents::from(f.library.boards(), f.library.cards());
    QCOMPARE(again.contents().deletedCards, afresh.deletedCards);
    const QList<QUuid> countedAgain = again.contents().deletedBoardCards.keys();
    const QList<QUuid> countedAfresh = afresh.deletedBoardCards.keys();
    QCOMPARE(QSet<QUuid>(countedAgain.cbegin(), countedAgain.cend()),
             QSet<QUuid>(countedAfresh.cbegin(), countedAfresh.cend()));
    for (auto counts = afresh.deletedBoardCards.cbegin(); counts != afresh.deletedBoardCards.cend(); ++counts) {
        QCOMPARE(again.contents().deletedBoardCards.value(counts.key()).snips, counts->snips);
        QCOMPARE(again.contents().deletedBoardCards.value(counts.key()).thoughts, counts->thoughts);
    }
    if (change == u"card moved")
        QCOMPARE(again.contents().deletedBoardCards.value(gone->id()).snips, 2);
}

void TrashModelTest::anOpenScreenFollowsCardsOneByOne_data()
{
    // Steps, each saved: "trash X", "restore X", "purge X" (deleted for
    // good), "failed X" (trashed, its save failing and undone), "move X"
    // (into the deleted note), "kind X" (made a thought), "add" (a card
    // stored deleted), "unsaved X" (trashed, saved by the next step),
    // "pending" (a card added deleted, saved by the next step).
    // A and B are live cards of a live note, C one of its deleted cards,
    // D and E the cards of a deleted note.
    // Whether the cards grid only ever moved rows, never listing all again.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("rowsMoved");
    QTest::newRow("trashed and restored")
        << QStringList{"trash A", "restore A", "trash A", "trash B", "restore A"} << true;
    QTest::newRow("restored, then deleted for good")
        << QStringList{"restore C", "trash C", "trash A", "purge C", "restore A", "purge A"} << true;
    QTest::newRow("a save that failed is undone")
        << QStringList{"failed A", "trash B", "failed C", "restore B"} << false;
    QTest::newRow("in and out of the deleted note")
        << QStringList{"move A", "trash A", "move C", "restore C", "kind D", "trash E", "restore E"} << true;
    QTest::newRow("cards added and written together")
        << QStringList{"add", "unsaved A", "add", "restore A", "unsaved B", "pending", "trash A", "purge B"} << true;
}

// The open screen brings its lists along card by card; after every step
// it shows what the lists made afresh show, in order, with the same counts.
void TrashModelTest::anOpenScreenFollowsCardsOneByOne()
{
    QFETCH(QStringList, steps);
    Fixture f;
    Board *live = f.rig.addNote(QStringLiteral("Live"));
    Board *gone = f.rig.addNote(QStringLiteral("Gone"));
    QHash<QString, CanvasCard *> cards{
        {QStringLiteral("A"), titledCard(f, live, CardKind::snip, QStringLiteral("A"))},
        {QStringLiteral("B"), titledCard(f, live, CardKind::thought, QStringLiteral("B"))},
        {QStringLiteral("C"), titledCard(f, live, CardKind::snip, QStringLiteral("C"))},
        {QStringLiteral("D"), titledCard(f, gone, CardKind::snip, QStringLiteral("D"))},
        {QStringLiteral("E"), titledCard(f, gone, CardKind::thought, QStringLiteral("E"))},
    };
    cards[QStringLiteral("C")]->moveToTrash(at(1));
    gone->moveToTrash(at(2));
    QVERIFY(f.save());
    TrashModel open(f.library, f.recordingActions());
    QSignalSpy cardsReset(open.cards(), &QAbstractItemModel::modelReset);

    int second = 10;
    for (const QString &step : std::as_const(steps)) {
        const QString verb = step.section(u' ', 0, 0);
        CanvasCard *card = cards.value(step.section(u' ', 1, 1));
        ++second;
        if (verb == u"trash" || verb == u"unsaved") {
            card->moveToTrash(at(second));
        } else if (verb == u"restore") {
            card->restoreFromTrash(at(second));
        } else if (verb == u"purge") {
            f.rig.context().remove(card);
        } else if (verb == u"failed") {
            ModelChangeScope scope(f.rig.context());
            card->moveToTrash(at(second));
            f.rig.context().failNextSave(StoreError{QStringLiteral("disk full")});
            QVERIFY(!scope.saveOrUndo());
            QVERIFY(card->isLive() == (card != cards.value(QStringLiteral("C"))));
        } else if (verb == u"move") {
            card->setBoardID(gone->id());
        } else if (verb == u"kind") {
            card->setKindRawValue(QStringLiteral("thought"));
        } else if (verb == u"add" || verb == u"pending") {
            CanvasCard *added = titledCard(f, live, CardKind::snip, QStringLiteral("Added %1").arg(second));
            added->moveToTrash(at(second));
        }
        const bool saved = verb != u"unsaved" && verb != u"pending" && verb != u"failed";
        if (saved)
            QVERIFY(f.save());

        // A screen made before the save shows the lists as they were read,
        // with what was written since.
        const TrashContents afresh = TrashContents::from(f.library.boards(), f.library.cards());
        TrashModel fresh(f.library, f.recordingActions());
        QCOMPARE(fresh.contents().deletedCards, afresh.deletedCards);
        if (!saved && verb != u"failed")
            continue;
        QCOMPARE(open.contents().deletedCards, afresh.deletedCards);
        QCOMPARE(Fixture::titles(open.cards()), Fixture::titles(fresh.cards()));
        QCOMPARE(Fixture::titles(open.boards()), Fixture::titles(fresh.boards()));
        QCOMPARE(open.boards()->index(0).data(TrashItemModel::SnipCountRole).toInt(),
                 afresh.deletedBoardCards.value(gone->id()).snips);
        QCOMPARE(open.boards()->index(0).data(TrashItemModel::ThoughtCountRole).toInt(),
                 afresh.deletedBoardCards.value(gone->id()).thoughts);
        QCOMPARE(open.contents().subtitle(), afresh.subtitle());
        for (int row = 0; row < open.cards()->rowCount(); ++row) {
            const QModelIndex index = open.cards()->index(row);
            QCOMPARE(index.data(TrashItemModel::SourceRole), fresh.cards()->index(row).data(TrashItemModel::SourceRole));
        }
    }
    // One card at a time moves its own row alone.
    QTEST(cardsReset.isEmpty(), "rowsMoved");
}

void TrashModelTest::cardTileTexts_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("noteExists");
    QTest::addColumn<QString>("kindLabel");
    QTest::addColumn<QString>("excerpt");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("summary");

    QTest::newRow("thought in a live note")
        << int(CardKind::thought) << "  first\n\n\tsecond  line " << true << "Thought" << "first second line"
        << "Home" << "Thought, Title, Board: Home";
    QTest::newRow("snip whose note is gone falls back to its app")
        << int(CardKind::snip) << "   " << false << "Snip" << "" << "Editor" << "Snip, Title";
    QTest::newRow("text equal to the title is no excerpt")
        << int(CardKind::thought) << "Title" << true << "Thought" << "" << "Home" << "Thought, Title, Board: Home";
    QTest::newRow("long text is cut to 220 characters")
        << int(CardKind::thought) << QString(300, QLatin1Char('x')) << true << "Thought" << QString(220, QLatin1Char('x'))
        << "Home" << "Thought, Title, Board: Home";
}

void TrashModelTest::cardTileTexts()
{
    QFETCH(int, kind);
    QFETCH(QString, text);
    QFETCH(bool, noteExists);
    Fixture f;
    Board *home = f.rig.addNote(QStringLiteral("Home"));
    CanvasCard *card = titledCard(f, home, CardKind(kind), QStringLiteral("Title"));
    card->setSourceApplicationName(QStringLiteral("Editor"));
    if (CardKind(kind) == CardKind::snip) {
        // Only spaces as its caption: the recognised text is not used either.
        card->setContextText(text);
        card->setOcrText(QStringLiteral("recognised"));
    } else {
        card->setMarkdownText(text);
    }
    if (!noteExists)
        card->setBoardID(QUuid::createUuid());
    card->moveToTrash(at(1));
    QVERIFY(f.save());

    TrashModel model(f.library, f.recordingActions());
    const QModelIndex row = model.cards()->index(0);
    QTEST(row.data(TrashItemModel::KindLabelRole).toString(), "kindLabel");
    QTEST(row.data(TrashItemModel::DetailRole).toString(), "excerpt");
    QTEST(row.data(TrashItemModel::SourceRole).toString(), "source");
    QTEST(row.data(Qt::AccessibleTextRole).toString(), "summary");
}

void TrashModelTest::confirmationGuardsDeletion()
{
    Fixture f;
    Board *note = f.rig.addNote(QStringLiteral("Note"));
    note->moveToTrash(at(1));
    Board *live = f.rig.addNote(QStringLiteral("Live"));
    CanvasCard *card = f.rig.addCard(live, CardKind::thought);
    card->moveToTrash(at(2));
    QVERIFY(f.save());
    TrashModel model(f.library, f.recordingActions());

    // Asking only waits for the answer; Cancel drops it.
    model.requestDeletion(Section::boards, 0);
    QCOMPARE(model.pendingDeletion(), (TrashModel::PendingDeletion{Section::boards, note->id()}));
    QVERIFY(f.calls.isEmpty());
    model.cancelDeletion();
    QVERIFY(!model.pendingDeletion());
    model.confirmDeletion();
    QVERIFY(f.calls.isEmpty());

    model.requestDeletion(Section::cards, 0);
    model.confirmDeletion();
    QCOMPARE(f.calls, QStringList{QStringLiteral("deleteCard:") + card->id().toString()});
    QVERIFY(!model.pendingDeletion());

    f.calls.clear();
    model.open(Section::cards, 0);
    model.restore(Section::boards, 0);
    model.requestDeletion(Section::boards, 5);
    QCOMPARE(f.calls, (QStringList{QStringLiteral("openCard:") + live->id().toString() + ':' + card->id().toString(),
                                   QStringLiteral("restoreBoard:") + note->id().toString()}));
    QVERIFY(!model.pendingDeletion());
}

void TrashModelTest::withoutDeleteActionsNothingIsDeleted()
{
    Fixture f;
    f.rig.addNote(QStringLiteral("Note"))->moveToTrash(at(1));
    QVERIFY(f.save());
    TrashModel model(f.library, f.recordingActions(false));
    QVERIFY(!model.canDelete(Section::boards));
    QVERIFY(!model.canDelete(Section::cards));
    model.requestDeletion(Section::boards, 0);
    QVERIFY(!model.pendingDeletion());
    model.confirmDeletion();
    QVERIFY(f.calls.isEmpty());
}

// Through the window's own actions: the lists follow the store.
void TrashModelTest::actionsReachTheWindow()
{
    Fixture f;
    TrashActions window(f.library, f.rig.navigation(), f.rig.runtime->desktopSearchIndex());
    Board *inbox = f.rig.addNote(QStringLiteral("Quick Captures"), 0, true);
    inbox->moveToTrash(at(1));
    Board *note = f.rig.addNote(QStringLiteral("Done note"));
    CanvasCard *loose = titledCard(f, note, CardKind::thought, QStringLiteral("Loose"));
    loose->moveToTrash(at(2));
    note->setStatus(BoardStatus::done, at(3));
    note->moveToTrash(at(4));
    Board *live = f.rig.addNote(QStringLiteral("Live"));
    CanvasCard *other = titledCard(f, live, CardKind::snip, QStringLiteral("Other"));
    other->moveToTrash(at(5));
    QVERIFY(f.save());

    TrashModel model(f.library, TrashModel::windowActions(window));
    QCOMPARE(Fixture::titles(model.boards()), (QStringList{"Done note", "Quick Captures"}));
    QCOMPARE(Fixture::titles(model.cards()), QStringList{"Other"});

    // Restoring the note makes it active; its loose card now shows alone.
    model.restore(Section::boards, 0);
    QCOMPARE(note->status(), BoardStatus::active);
    QCOMPARE(Fixture::titles(model.boards()), QStringList{"Quick Captures"});
    QCOMPARE(Fixture::titles(model.cards()), (QStringList{"Other", "Loose"}));

    // The Quick Captures note is never purged and stays listed.
    model.requestDeletion(Section::boards, 0);
    model.confirmDeletion();
    QCOMPARE(Fixture::titles(model.boards()), QStringList{"Quick Captures"});

    model.requestDeletion(Section::cards, 1);
    model.confirmDeletion();
    QVERIFY(!f.library.firstCard(loose->id()));
    QCOMPARE(Fixture::titles(model.cards()), QStringList{"Other"});

    // Opening a deleted snip restores it and shows it in the gallery.
    const QUuid otherID = other->id();
    model.open(Section::cards, 0);
    QVERIFY(f.library.firstCard(otherID)->isLive());
    QCOMPARE(f.rig.navigation().activeBoardID(), std::optional<QUuid>(live->id()));
    QCOMPARE(f.rig.navigation().galleryCardID(), std::optional<QUuid>(otherID));
    QVERIFY(model.cards()->rowCount() == 0);
}

QTEST_MAIN(TrashModelTest)
#include "tst_trashmodel.moc"
