#include "../support/FullDisk.h"
#include "../support/MainWindowRig.h"

#include "model/Board.h"
#include "model/BoardWritingDocument.h"
#include "model/CanvasCard.h"
#include "model/ModelChangeScope.h"
#include "model/ModelContainer.h"
#include "model/StoreUndoCommand.h"
#include "model/StoreUndoStack.h"
#include "notes/NoteList.h"
#include "notes/NotesWorkspaceModel.h"
#include "platform/UuidText.h"
#include "runtime/KeptChanges.h"
#include "runtime/LibraryQuery.h"
#include "runtime/NavigationState.h"

#include <QSignalSpy>
#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

// Trades a card's note with the one it holds, as moving a card undoably does.
class CardNoteCommand : public StoreUndoCommand
{
public:
    CardNoteCommand(ModelContext &context, CanvasCard &card)
        : StoreUndoCommand(context, QStringLiteral("Move"))
        , m_cardID(card.id())
        , m_noteID(card.boardID())
    {
    }

protected:
    Expected<void, StoreError> exchange(ModelContext &context) override
    {
        const auto cards = context.fetchCards();
        if (!cards)
            return unexpected(cards.error());
        for (CanvasCard *card : *cards) {
            if (card->id() == m_cardID) {
                const QUuid present = card->boardID();
                card->setBoardID(m_noteID);
                m_noteID = present;
            }
        }
        return {};
    }

private:
    QUuid m_cardID;
    QUuid m_noteID;
};

QUuid uuid(const char *text) { return *parseUuid(QString::fromLatin1(text)); }

// A library the list is made from, and a notes screen over it.
struct Fixture
{
    Fixture() { library = std::make_unique<LibraryQuery>(rig.context()); }

    Board *note(const QString &title, qint64 updated, const QUuid &id = QUuid::createUuid())
    {
        Board *board = rig.addNote(title);
        board->setId(id);
        board->setUpdatedAt(at(updated));
        return board;
    }

    void save()
    {
        if (!rig.context().save())
            qFatal("fixture save failed");
    }

    std::unique_ptr<NotesWorkspaceModel> screen(const NoteListFilter &filter)
    {
        auto made = std::make_unique<NotesWorkspaceModel>(*library, rig.navigation(), filter);
        made->setClock([] { return at(1000); });
        made->setErrorReporter([this](const QString &message) { reported.append(message); });
        return made;
    }

    static QStringList titles(const NotesWorkspaceModel &screen)
    {
        QStringList titles;
        for (const NoteListRow &row : screen.rows())
            titles.append(row.title);
        return titles;
    }

    int liveNoteCount() const
    {
        int count = 0;
        for (const Board *board : library->boards())
            count += board->isLive() ? 1 : 0;
        return count;
    }

    MainWindowRig rig;
    std::unique_ptr<LibraryQuery> library;
    QStringList reported;
};

BoardWritingDocument paragraphs(const QStringList &texts)
{
    BoardWritingDocument document;
    for (const QString &text : texts)
        document.blocks.append(text == QLatin1String("#ref") ? BoardWritingBlock::cardReference(QUuid::createUuid())
                                                             : BoardWritingBlock::paragraph(text));
    return document;
}

} // namespace

class NotesWorkspaceModelTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void listOrderAndTies();
    void filters_data();
    void filters();
    void excerpts_data();
    void excerpts();
    void snipCounts();
    void folderNames();
    void ensureActiveNote_data();
    void ensureActiveNote();
    void createNewNote_data();
    void createNewNote();
    void failedCreationKeepsOtherEdits();
    void failedFilingOnAFullDiskTakesBackOnlyTheFiling();
    void selectingMarksOpenedAndMovesUp();
    void trashingTheOpenNoteOpensTheNext();
    void listChangesThatCannotBeSavedAreReportedAndKept_data();
    void listChangesThatCannotBeSavedAreReportedAndKept();
    void newFolderSheet();
    void rowsFollowUnsavedEdits();
    void cardCountsFollowSavesAsCountedAfresh_data();
    void cardCountsFollowSavesAsCountedAfresh();
    void rowsFollowEveryChangeAsListedAfresh_data();
    void rowsFollowEveryChangeAsListedAfresh();
};

void NotesWorkspaceModelTest::listOrderAndTies()
{
    // Inserted in an order unlike the list's, so the fetch order cannot
    // make the test pass.
    for (bool reversed : {false, true}) {
        Fixture f;
        const QList<std::tuple<QString, qint64, QUuid>> notes{
            {QStringLiteral("Tie B"), 50, uuid("BBBBBBBB-0000-0000-0000-000000000001")},
            {QStringLiteral("Older"), 10, uuid("00000000-0000-0000-0000-000000000001")},
            {QStringLiteral("Tie A"), 50, uuid("AAAAAAAA-0000-0000-0000-000000000001")},
            {QStringLiteral("Newest"), 90, uuid("FFFFFFFF-0000-0000-0000-000000000001")},
            {QStringLiteral("tie lower-case id"), 50, uuid("aaaaaaab-0000-0000-0000-000000000001")},
        };
        for (qsizetype i = 0; i < notes.size(); ++i) {
            const auto &[title, updated, id] = notes.at(reversed ? notes.size() - 1 - i : i);
            f.note(title, updated, id);
        }
        f.save();
        auto screen = f.screen(NoteListFilter::all());
        QCOMPARE(Fixture::titles(*screen), (QStringList{QStringLiteral("Newest"), QStringLiteral("Tie A"),
                                                        QStringLiteral("tie lower-case id"), QStringLiteral("Tie B"),
                                                        QStringLiteral("Older")}));
    }
}

void NotesWorkspaceModelTest::filters_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("all") << int(NoteListFilter::Kind::all) << QString()
                         << QStringList{QStringLiteral("Plain"), QStringLiteral("Favourite"), QStringLiteral("Work"),
                                        QStringLiteral("Lower work")};
    QTest::newRow("favourites") << int(NoteListFilter::Kind::favorites) << QString()
                                << QStringList{QStringLiteral("Favourite")};
    QTest::newRow("quick captures") << int(NoteListFilter::Kind::quickCaptures) << QString()
                                    << QStringList{QStringLiteral("Quick Captures")};
    QTest::newRow("folder") << int(NoteListFilter::Kind::folder) << QStringLiteral("Work")
                            << QStringList{QStringLiteral("Work")};
    QTest::newRow("folder names differ in case") << int(NoteListFilter::Kind::folder) << QStringLiteral("work")
                                                 << QStringList{QStringLiteral("Lower work")};
    QTest::newRow("folder name is not trimmed") << int(NoteListFilter::Kind::folder) << QStringLiteral(" Work")
                                                << QStringList{};
}

void NotesWorkspaceModelTest::filters()
{
    QFETCH(int, kind);
    QFETCH(QString, folder);
    QFETCH(QStringList, listed);
    Fixture f;
    f.note(QStringLiteral("Plain"), 60);
    f.note(QStringLiteral("Favourite"), 50)->setIsFavorite(true);
    f.note(QStringLiteral("Work"), 40)->setFolderNameValue(QStringLiteral("Work"));
    f.note(QStringLiteral("Lower work"), 30)->setFolderNameValue(QStringLiteral("work"));
    Board *deleted = f.note(QStringLiteral("Deleted"), 20);
    deleted->setIsFavorite(true);
    deleted->setFolderNameValue(QStringLiteral("Work"));
    deleted->moveToTrash(at(21));
    // The inbox is a favourite in a folder, and still only Quick Captures
    // lists it.
    Board *inbox = f.rig.addNote(QStringLiteral("Quick Captures"), 0, true);
    inbox->setIsFavorite(true);
    inbox->setFolderNameValue(QStringLiteral("Work"));
    f.save();

    const NoteListFilter filter = kind == int(NoteListFilter::Kind::folder) ? NoteListFilter::folder(folder)
                                : kind == int(NoteListFilter::Kind::favorites) ? NoteListFilter::favorites()
                                : kind == int(NoteListFilter::Kind::quickCaptures) ? NoteListFilter::quickCaptures()
                                                                                   : NoteListFilter::all();
    QCOMPARE(Fixture::titles(*f.screen(filter)), listed);
}

void NotesWorkspaceModelTest::excerpts_data()
{
    QTest::addColumn<QStringList>("writing");
    // Cards of the note as "kind:updated", "deleted" marking a card in
    // Recently Deleted; a card's title is its position in the list.
    QTest::addColumn<QStringList>("cards");
    QTest::addColumn<QString>("excerpt");
    QTest::newRow("first paragraph with text, line breaks made spaces")
        << QStringList{QStringLiteral("  "), QStringLiteral("#ref"), QStringLiteral("One\nTwo\nthree "),
                       QStringLiteral("Later")}
        << QStringList{QStringLiteral("snip:10")} << QStringLiteral("One Two three ");
    QTest::newRow("only references: the latest changed card of any kind")
        << QStringList{QStringLiteral("#ref"), QString()}
        << QStringList{QStringLiteral("snip:10"), QStringLiteral("thought:30"), QStringLiteral("snip:20")}
        << QStringLiteral("Card 1");
    QTest::newRow("a card in Recently Deleted is passed over")
        << QStringList{QString()}
        << QStringList{QStringLiteral("snip:10"), QStringLiteral("deleted:90")} << QStringLiteral("Card 0");
    QTest::newRow("equal dates: the first in the library's order")
        << QStringList{QString()}
        << QStringList{QStringLiteral("thought:40"), QStringLiteral("snip:40")} << QStringLiteral("Card 0");
    QTest::newRow("nothing written, no card") << QStringList{QStringLiteral(" \n ")} << QStringList{}
                                              << QStringLiteral("Start writing…");
}

void NotesWorkspaceModelTest::excerpts()
{
    QFETCH(QStringList, writing);
    QFETCH(QStringList, cards);
    QFETCH(QString, excerpt);
    Fixture f;
    Board *note = f.note(QStringLiteral("Note"), 10);
    // Stored as written, not normalised: the excerpt reads the blocks in
    // their stored order.
    note->setWritingDocumentStorage(*BoardWritingDocument::encode(paragraphs(writing).blocks));
    for (qsizetype i = 0; i < cards.size(); ++i) {
        const QStringList parts = cards.at(i).split(QLatin1Char(':'));
        const bool deleted = parts.first() == QLatin1String("deleted");
        CanvasCard *card = f.rig.addCard(note, parts.first() == QLatin1String("thought") ? CardKind::thought : CardKind::snip);
        card->setTitle(QStringLiteral("Card %1").arg(i));
        card->setUpdatedAt(at(parts.last().toInt()));
        if (deleted)
            card->setDeletedAt(at(parts.last().toInt()));
    }
    f.save();
    auto screen = f.screen(NoteListFilter::all());
    QCOMPARE(screen->rows().size(), 1);
    QCOMPARE(screen->rows().constFirst().excerpt, excerpt);
}

void NotesWorkspaceModelTest::snipCounts()
{
    Fixture f;
    Board *counted = f.note(QStringLiteral("Counted"), 20);
    Board *other = f.note(QStringLiteral("Other"), 10);
    for (int i = 0; i < 3; ++i)
        f.rig.addCard(counted, CardKind::snip);
    f.rig.addCard(counted, CardKind::thought);
    f.rig.addCard(counted, CardKind::ghost);
    f.rig.addCard(counted, CardKind::snip)->setDeletedAt(at(5));
    // A snip of another note referenced in this one's writing stays the
    // other note's.
    CanvasCard *elsewhere = f.rig.addCard(other, CardKind::snip);
    BoardWritingDocument writing;
    writing.insertCardReference(elsewhere->id());
    counted->updateWritingDocument(writing, at(20));
    f.save();
    auto screen = f.screen(NoteListFilter::all());
    QCOMPARE(screen->rows().at(0).snipCount, 3);
    QCOMPARE(screen->rows().at(1).snipCount, 1);

    // Moving a snip to Recently Deleted counts once saved.
    f.library->cards().constFirst()->setDeletedAt(at(30));
    f.save();
    QCOMPARE(screen->rows().at(0).snipCount, 2);

    const auto count = [&screen](const Board *note) {
        for (const NoteListRow &row : screen->rows()) {
            if (row.note == note)
                return row.snipCount;
        }
        return -1;
    };
    // A snip moved to the other note whose save failed, its edit waiting:
    // counted where it went once a later save, of something else, lands.
    CanvasCard *moved = f.library->cards().at(1);
    moved->setBoardID(other->id());
    f.rig.context().failNextSave(StoreError{QStringLiteral("The disk is full.")});
    QVERIFY(!f.rig.context().save());
    QCOMPARE(count(counted), 2);
    other->setTitle(QStringLiteral("Other, renamed"));
    f.save();
    QCOMPARE(count(counted), 1);
    QCOMPARE(count(other), 2);

    // A new snip, and a save that touched no card.
    f.rig.addCard(counted, CardKind::snip);
    f.save();
    QCOMPARE(count(counted), 2);
    counted->setFolderNameValue(QStringLiteral("Filed"));
    f.save();
    QCOMPARE(count(counted), 2);
    QCOMPARE(count(other), 2);
}

void NotesWorkspaceModelTest::folderNames()
{
    Fixture f;
    f.note(QStringLiteral("a"), 1)->setFolderNameValue(QStringLiteral("beta"));
    f.note(QStringLiteral("b"), 2)->setFolderNameValue(QStringLiteral("Alpha"));
    f.note(QStringLiteral("c"), 3)->setFolderNameValue(QStringLiteral("beta"));
    f.note(QStringLiteral("d"), 4)->setFolderNameValue(QStringLiteral("Gamma"));
    Board *deleted = f.note(QStringLiteral("e"), 5);
    deleted->setFolderNameValue(QStringLiteral("Deleted folder"));
    deleted->moveToTrash(at(6));
    f.rig.addNote(QStringLiteral("Quick Captures"), 0, true)->setFolderNameValue(QStringLiteral("Inbox folder"));
    f.save();
    QCOMPARE(f.screen(NoteListFilter::all())->folderNames(),
             (QStringList{QStringLiteral("Alpha"), QStringLiteral("beta"), QStringLiteral("Gamma"),
                          QStringLiteral("Inbox folder")}));
}

void NotesWorkspaceModelTest::ensureActiveNote_data()
{
    QTest::addColumn<QString>("active");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("anchorKept");
    QTest::newRow("none") << QString() << QStringLiteral("Newest") << false;
    QTest::newRow("listed") << QStringLiteral("Older") << QStringLiteral("Older") << true;
    QTest::newRow("not listed by the filter") << QStringLiteral("Quick Captures") << QStringLiteral("Newest") << false;
    QTest::newRow("in Recently Deleted") << QStringLiteral("Deleted") << QStringLiteral("Newest") << false;
    QTest::newRow("no longer in the store") << QStringLiteral("gone") << QStringLiteral("Newest") << false;
}

void NotesWorkspaceModelTest::ensureActiveNote()
{
    QFETCH(QString, active);
    QFETCH(QString, expected);
    QFETCH(bool, anchorKept);
    Fixture f;
    QHash<QString, QUuid> ids;
    ids[QStringLiteral("Newest")] = f.note(QStringLiteral("Newest"), 20)->id();
    ids[QStringLiteral("Older")] = f.note(QStringLiteral("Older"), 10)->id();
    ids[QStringLiteral("Quick Captures")] = f.rig.addNote(QStringLiteral("Quick Captures"), 0, true)->id();
    Board *deleted = f.note(QStringLiteral("Deleted"), 30);
    deleted->moveToTrash(at(31));
    ids[QStringLiteral("Deleted")] = deleted->id();
    ids[QStringLiteral("gone")] = QUuid::createUuid();
    f.save();

    NavigationState &navigation = f.rig.navigation();
    navigation.setActiveBoardID(active.isEmpty() ? std::nullopt : std::optional<QUuid>(ids.value(active)));
    const QUuid anchor = QUuid::createUuid();
    navigation.setActiveWritingAnchorID(anchor);
    auto screen = f.screen(NoteListFilter::all());
    screen->appear();
    QCOMPARE(navigation.activeBoardID(), std::optional<QUuid>(ids.value(expected)));
    QCOMPARE(screen->activeNote()->title(), expected);
    QCOMPARE(navigation.activeWritingAnchorID(), anchorKept ? std::optional<QUuid>(anchor) : std::nullopt);

    // A list that empties forgets the active note.
    for (Board *board : f.library->boards())
        board->moveToTrash(at(40));
    f.save();
    QCOMPARE(navigation.activeBoardID(), std::nullopt);
    QVERIFY(!screen->activeNote());
}

void NotesWorkspaceModelTest::createNewNote_data()
{
    QTest::addColumn<int>("kind");
    // 0: nothing fails; 1: the note's own save; 2: the save that files it.
    QTest::addColumn<int>("failingSave");
    QTest::addColumn<int>("notesAfter");
    QTest::addColumn<bool>("listed");
    QTest::addColumn<bool>("madeActive");
    QTest::newRow("all") << int(NoteListFilter::Kind::all) << 0 << 2 << true << true;
    QTest::newRow("folder") << int(NoteListFilter::Kind::folder) << 0 << 2 << true << true;
    // Not a favourite, so not listed; active all the same.
    QTest::newRow("favourites") << int(NoteListFilter::Kind::favorites) << 0 << 2 << false << true;
    QTest::newRow("note not saved") << int(NoteListFilter::Kind::all) << 1 << 1 << false << false;
    QTest::newRow("folder not saved") << int(NoteListFilter::Kind::folder) << 2 << 2 << false << false;
}

void NotesWorkspaceModelTest::createNewNote()
{
    QFETCH(int, kind);
    QFETCH(int, failingSave);
    QFETCH(int, notesAfter);
    QFETCH(bool, listed);
    QFETCH(bool, madeActive);
    Fixture f;
    Board *existing = f.note(QStringLiteral("Existing"), 10);
    existing->setFolderNameValue(QStringLiteral("Work"));
    existing->setIsFavorite(true);
    f.save();
    const NoteListFilter filter = kind == int(NoteListFilter::Kind::folder) ? NoteListFilter::folder(QStringLiteral("Work"))
                                : kind == int(NoteListFilter::Kind::favorites) ? NoteListFilter::favorites()
                                                                               : NoteListFilter::all();
    auto screen = f.screen(filter);
    screen->appear();
    QCOMPARE(f.rig.navigation().activeBoardID(), std::optional(existing->id()));

    // Counted by a connection that lives as long as the screen.
    int saves = 0;
    if (failingSave > 0) {
        // The first save in the operation is the note's, the second files it.
        QObject::connect(&f.rig.context(), &ModelContext::didSave, screen.get(), [&] {
            if (++saves == failingSave - 1)
                f.rig.context().failNextSave(StoreError{QStringLiteral("The disk is full.")});
        });
        if (failingSave == 1)
            f.rig.context().failNextSave(StoreError{QStringLiteral("The disk is full.")});
    }
    screen->createNewNote();

    QCOMPARE(f.liveNoteCount(), notesAfter);
    QCOMPARE(f.reported, failingSave ? QStringList{QStringLiteral("The disk is full.")} : QStringList{});
    QCOMPARE(f.rig.context().hasChanges(), false);
    Board *created = nullptr;
    for (Board *board : f.library->boards()) {
        if (board != existing)
            created = board;
    }
    if (madeActive) {
        QVERIFY(created);
        QCOMPARE(f.rig.navigation().activeBoardID(), std::optional(created->id()));
        QCOMPARE(created->title(), QStringLiteral("Untitled Note"));
        QCOMPARE(f.rig.navigation().activeWritingAnchorID(), std::optional(created->writingDocument().blocks.first().id));
        QCOMPARE(created->folderName(), filter.kind() == NoteListFilter::Kind::folder ? std::optional(QStringLiteral("Work"))
                                                                                      : std::nullopt);
    } else {
        QCOMPARE(f.rig.navigation().activeBoardID(), std::optional(existing->id()));
    }
    QCOMPARE(screen->activeNote() == created && created, listed);

    // Trying again after a failure makes exactly one more note.
    if (failingSave) {
        f.reported.clear();
        screen->createNewNote();
        QCOMPARE(f.reported, QStringList{});
        QCOMPARE(f.liveNoteCount(), notesAfter + 1);
    }
}

void NotesWorkspaceModelTest::failedCreationKeepsOtherEdits()
{
    Fixture f;
    Board *note = f.note(QStringLiteral("Draft"), 10);
    f.save();
    auto screen = f.screen(NoteListFilter::all());
    screen->appear();
    // A title typed but not yet saved, then a creation whose save fails.
    note->setTitle(QStringLiteral("Draft, renamed"));
    f.rig.context().failNextSave(StoreError{QStringLiteral("The disk is full.")});
    screen->createNewNote();
    QCOMPARE(f.reported.size(), 1);
    QCOMPARE(note->title(), QStringLiteral("Draft, renamed"));
    QCOMPARE(f.liveNoteCount(), 1);
    // The next try saves both.
    screen->createNewNote();
    QCOMPARE(f.liveNoteCount(), 2);
    QVERIFY(!f.rig.context().hasChanges());
    QCOMPARE(note->title(), QStringLiteral("Draft, renamed"));
}

// The disk fills up as a new note is filed into the folder shown: only the
// filing is taken back. A title typed elsewhere in the meantime stays, and
// is saved by the first save once there is room, with the new note outside
// the folder, as it was saved.
void NotesWorkspaceModelTest::failedFilingOnAFullDiskTakesBackOnlyTheFiling()
{
    FullDisk &disk = FullDisk::shared();
    QVERIFY(disk.isRegistered());
    QTemporaryDir libraryDirectory;
    QUuid existingID;
    {
        MainWindowRig rig(libraryDirectory.path());
        LibraryQuery library(rig.context());
        Board *existing = rig.addNote(QStringLiteral("Existing"));
        existing->setFolderNameValue(QStringLiteral("Work"));
        QVERIFY(rig.context().save());
        existingID = existing->id();
        NotesWorkspaceModel screen(library, rig.navigation(), NoteListFilter::folder(QStringLiteral("Work")));
        QStringList reported;
        screen.setErrorReporter([&reported](const QString &message) { reported.append(message); });
        screen.appear();

        // Between the note's own save and its filing.
        QObject::connect(
            &rig.context(), &ModelContext::didSave, &screen,
            [&] {
                existing->setTitle(QStringLiteral("Existing, renamed"));
                disk.setFull(true);
            },
            Qt::SingleShotConnection);
        screen.createNewNote();
        disk.setFull(false);

        QCOMPARE(reported.size(), 1);
        QCOMPARE(existing->title(), QStringLiteral("Existing, renamed"));
        QCOMPARE(rig.navigation().activeBoardID(), std::optional(existingID));
        QVERIFY(rig.context().hasChanges());
        QVERIFY(rig.context().save());
    }

    ModelContainer::Configuration configuration;
    configuration.directory = libraryDirectory.path();
    auto reopened = ModelContainer::open(configuration);
    QVERIFY(reopened);
    QMap<QString, std::optional<QString>> folders;
    for (const Board *board : *(*reopened)->mainContext()->fetchBoards())
        folders.insert(board->title(), board->folderName());
    const QMap<QString, std::optional<QString>> expected{
        {QStringLiteral("Existing, renamed"), QStringLiteral("Work")},
        {QStringLiteral("Untitled Note"), std::nullopt},
    };
    QCOMPARE(folders, expected);
}

void NotesWorkspaceModelTest::selectingMarksOpenedAndMovesUp()
{
    Fixture f;
    f.note(QStringLiteral("Top"), 50);
    Board *lower = f.note(QStringLiteral("Lower"), 10);
    f.save();
    auto screen = f.screen(NoteListFilter::all());
    screen->appear();
    f.rig.navigation().setActiveWritingAnchorID(QUuid::createUuid());
    screen->selectNote(lower->id());
    QCOMPARE(f.rig.navigation().activeBoardID(), std::optional(lower->id()));
    QCOMPARE(f.rig.navigation().activeWritingAnchorID(), std::nullopt);
    QCOMPARE(lower->lastOpenedAt(), at(1000));
    QVERIFY(!f.rig.context().hasChanges());
    QCOMPARE(Fixture::titles(*screen), (QStringList{QStringLiteral("Lower"), QStringLiteral("Top")}));
}

void NotesWorkspaceModelTest::trashingTheOpenNoteOpensTheNext()
{
    Fixture f;
    Board *open = f.note(QStringLiteral("Open"), 50);
    f.note(QStringLiteral("Next"), 40);
    f.save();
    auto screen = f.screen(NoteListFilter::all());
    screen->appear();
    QCOMPARE(screen->activeNote(), open);
    // Even when the save fails the note leaves the list at once.
    f.rig.context().failNextSave(StoreError{QStringLiteral("The disk is full.")});
    screen->moveNoteToRecentlyDeleted(open->id());
    QVERIFY(open->deletedAt());
    QCOMPARE(Fixture::titles(*screen), QStringList{QStringLiteral("Next")});
    QCOMPARE(screen->activeNote()->title(), QStringLiteral("Next"));
}

void NotesWorkspaceModelTest::listChangesThatCannotBeSavedAreReportedAndKept_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("favourite") << QStringLiteral("favourite");
    QTest::newRow("moved to a folder") << QStringLiteral("folder");
    QTest::newRow("taken out of its folder") << QStringLiteral("no folder");
    QTest::newRow("filed in a new folder") << QStringLiteral("new folder");
    QTest::newRow("moved to Recently Deleted") << QStringLiteral("trash");
}

void NotesWorkspaceModelTest::listChangesThatCannotBeSavedAreReportedAndKept()
{
    QFETCH(QString, change);
    Fixture f;
    Board *note = f.note(QStringLiteral("Note"), 10);
    note->setFolderNameValue(QStringLiteral("Old"));
    f.save();
    auto screen = f.screen(NoteListFilter::all());
    screen->appear();
    auto changed = [&] {
        if (change == u"favourite")
            return note->isFavorite();
        if (change == u"folder")
            return note->folderName() == std::optional(QStringLiteral("Work"));
        if (change == u"no folder")
            return !note->folderName();
        if (change == u"new folder")
            return note->folderName() == std::optional(QStringLiteral("Projects"));
        return note->deletedAt().has_value();
    };

    f.rig.context().failNextSave(StoreError{QStringLiteral("The disk is full.")});
    if (change == u"favourite") {
        screen->toggleFavorite(note->id());
    } else if (change == u"folder") {
        screen->moveNote(note->id(), QStringLiteral("Work"));
    } else if (change == u"no folder") {
        screen->removeNoteFromFolder(note->id());
    } else if (change == u"new folder") {
        screen->beginNewFolder(note->id());
        screen->setFolderDraft(QStringLiteral("Projects"));
        screen->submitNewFolder();
    } else {
        screen->moveNoteToRecentlyDeleted(note->id());
    }
    // Said at once, and not taken back: the next save that can writes it.
    QCOMPARE(f.reported, QStringList{keptChangesMessage(QStringLiteral("The disk is full."))});
    QVERIFY(changed());
    QVERIFY(f.rig.context().hasChanges());
    QVERIFY(f.rig.context().save());
    QVERIFY(!f.rig.context().hasChanges());
}

void NotesWorkspaceModelTest::newFolderSheet()
{
    Fixture f;
    Board *note = f.note(QStringLiteral("Note"), 10);
    note->setFolderNameValue(QStringLiteral("Old"));
    f.save();
    auto screen = f.screen(NoteListFilter::all());
    screen->beginNewFolder(note->id());
    QCOMPARE(screen->folderTargetID(), std::optional(note->id()));

    // Return with a blank name does nothing: the sheet stays and the note
    // keeps its folder.
    screen->setFolderDraft(QStringLiteral("   "));
    QVERIFY(!screen->canCommitNewFolder());
    screen->submitNewFolder();
    QCOMPARE(screen->folderTargetID(), std::optional(note->id()));
    QCOMPARE(note->folderName(), std::optional(QStringLiteral("Old")));

    // Cancel closes it and keeps what was typed; opening it again starts empty.
    screen->setFolderDraft(QStringLiteral("Half"));
    screen->cancelNewFolder();
    QVERIFY(!screen->folderTargetID());
    QCOMPARE(screen->folderDraft(), QStringLiteral("Half"));
    screen->beginNewFolder(note->id());
    QCOMPARE(screen->folderDraft(), QString());

    screen->setFolderDraft(QStringLiteral("  Projects \n"));
    screen->submitNewFolder();
    QVERIFY(!screen->folderTargetID());
    QCOMPARE(note->folderName(), std::optional(QStringLiteral("Projects")));
    QVERIFY(!f.rig.context().hasChanges());
    QCOMPARE(screen->folderNames(), QStringList{QStringLiteral("Projects")});
}

void NotesWorkspaceModelTest::rowsFollowUnsavedEdits()
{
    Fixture f;
    f.note(QStringLiteral("First"), 50);
    Board *second = f.note(QStringLiteral("Second"), 10);
    f.save();
    auto screen = f.screen(NoteListFilter::all());
    QSignalSpy changed(screen.get(), &NotesWorkspaceModel::rowsChanged);
    // Typing a title and writing change the row before anything is saved;
    // a burst of edits is one update.
    second->setTitle(QStringLiteral("  "));
    second->setUpdatedAt(at(60));
    BoardWritingDocument writing;
    writing.blocks = {BoardWritingBlock::paragraph(QStringLiteral("Fresh words"))};
    second->updateWritingDocument(writing, at(61));
    QTRY_COMPARE(changed.size(), 1);
    QCOMPARE(Fixture::titles(*screen), (QStringList{QStringLiteral("Untitled Note"), QStringLiteral("First")}));
    QCOMPARE(screen->rows().constFirst().excerpt, QStringLiteral("Fresh words"));

    // A note that came after the screen, saved once, is followed the same
    // way.
    Board *third = f.note(QStringLiteral("Third"), 70);
    f.save();
    QCOMPARE(Fixture::titles(*screen).constFirst(), QStringLiteral("Third"));
    changed.clear();
    third->setTitle(QStringLiteral("Third, renamed"));
    QTRY_COMPARE(changed.size(), 1);
    QCOMPARE(Fixture::titles(*screen).constFirst(), QStringLiteral("Third, renamed"));
}

void NotesWorkspaceModelTest::cardCountsFollowSavesAsCountedAfresh_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::newRow("captures") << QStringList{"add to A", "add to A", "add to B", "add to A"};
    QTest::newRow("moved between notes") << QStringList{"add to A", "add to B", "move", "move", "newer"};
    QTest::newRow("trashed, restored, the latest made older")
        << QStringList{"add to A", "trash", "restore", "older", "add to B"};
    QTest::newRow("deleted for good between captures") << QStringList{"add to A", "add to B", "purge", "add to A"};
    QTest::newRow("writes taken back") << QStringList{"add to A", "fail", "add to B", "write and roll back", "add to A"};
    QTest::newRow("made a thought") << QStringList{"add to B", "thought", "add to B", "move"};
    QTest::newRow("a move undone and redone") << QStringList{"add to A", "move undoably", "undo", "redo", "undo", "add to B"};
}

// A save that adds cards counts those alone, and one that writes cards
// counts their notes again: after every step the rows are those of a list
// counted afresh. Cards are made at one moment, so the library's order
// decides which one a note's excerpt shows.
void NotesWorkspaceModelTest::cardCountsFollowSavesAsCountedAfresh()
{
    QFETCH(QStringList, steps);
    Fixture f;
    Board *a = f.note(QStringLiteral("A"), 20);
    Board *b = f.note(QStringLiteral("B"), 10);
    int made = 0;
    const auto add = [&](const Board *note) {
        return addCard(f.rig.context(), note->id(),
                       CardFields{.title = QStringLiteral("Card %1").arg(made++), .created = at(5)});
    };
    add(a);
    add(b);
    add(a);
    f.save();
    auto screen = f.screen(NoteListFilter::all());
    CanvasCard *last = f.library->cards().constLast();
    StoreUndoStack history;
    for (const QString &step : steps) {
        if (step == QLatin1String("add to A") || step == QLatin1String("add to B")) {
            last = add(step.endsWith(u'A') ? a : b);
            f.save();
        } else if (step == QLatin1String("move")) {
            last->setBoardID(last->boardID() == a->id() ? b->id() : a->id());
            f.save();
        } else if (step == QLatin1String("move undoably")) {
            const QUuid to = last->boardID() == a->id() ? b->id() : a->id();
            QVERIFY(StoreUndoStack::perform(&history, std::make_unique<CardNoteCommand>(f.rig.context(), *last),
                                            [&] { last->setBoardID(to); }));
        } else if (step == QLatin1String("undo")) {
            history.undo();
        } else if (step == QLatin1String("redo")) {
            history.redo();
        } else if (step == QLatin1String("newer")) {
            last->setUpdatedAt(at(40));
            f.save();
        } else if (step == QLatin1String("older")) {
            f.library->cards().constFirst()->setUpdatedAt(at(1));
            f.save();
        } else if (step == QLatin1String("trash")) {
            last->setDeletedAt(at(30));
            f.save();
        } else if (step == QLatin1String("restore")) {
            last->setDeletedAt(std::nullopt);
            f.save();
        } else if (step == QLatin1String("thought")) {
            last->setKindRawValue(QStringLiteral("thought"));
            f.save();
        } else if (step == QLatin1String("purge")) {
            f.rig.context().remove(last);
            f.save();
            last = f.library->cards().constLast();
        } else if (step == QLatin1String("fail")) {
            ModelChangeScope scope(f.rig.context());
            last->setBoardID(b->id());
            last->setUpdatedAt(at(50));
            f.rig.context().failNextSave(StoreError{QStringLiteral("The disk is full.")});
            QVERIFY(!scope.saveOrUndo());
        } else if (step == QLatin1String("write and roll back")) {
            last->setDeletedAt(at(60));
            f.library->cards().constFirst()->setBoardID(b->id());
            f.rig.context().rollback();
        }
        NoteList fresh;
        const QList<NoteListRow> afresh = fresh.rows(f.library->boards(), f.library->cards(), NoteListFilter::all());
        QCOMPARE(screen->rows(), afresh);
        // A screen opened now takes the counts the window keeps for every
        // screen, which followed the same steps.
        QCOMPARE(f.screen(NoteListFilter::all())->rows(), afresh);
    }
}

void NotesWorkspaceModelTest::rowsFollowEveryChangeAsListedAfresh_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("unseen");
    const QList<std::pair<QString, QStringList>> scenarios{
        {QStringLiteral("a note's own writes"),
         {"title", "newer", "older", "favorite", "folder", "writing", "blank writing", "favorite", "unfile",
          "same date", "title"}},
        {QStringLiteral("notes added, trashed, restored and deleted"),
         {"add notes", "trash", "newer", "trash", "restore", "add notes", "delete", "folder", "delete", "add notes"}},
        {QStringLiteral("cards added, retitled and moved"),
         {"add cards", "card title", "add cards", "move card", "blank writing", "card title", "trash card",
          "add cards"}},
        {QStringLiteral("notes sorted anew"), {"sort index", "add notes", "sort index", "newer", "sort index"}},
        {QStringLiteral("notes given another's identifier"),
         {"same id", "other first", "typed id", "rollback", "same id", "delete", "add notes"}},
        {QStringLiteral("writes that fail or are taken back"),
         {"fail", "title", "rollback", "typed", "fail", "add cards", "typed", "rollback", "newer"}},
    };
    for (const bool unseen : {false, true}) {
        for (const auto &[name, steps] : scenarios)
            QTest::newRow(qPrintable(unseen ? QStringLiteral("unseen: ") + name : name)) << steps << unseen;
    }
}

// Each screen takes in only what a save or an edit touched, yet after
// every step its rows are those of a list made afresh, for each filter. The
// lists are kept for the window while no screen shows them (unseen): a
// screen made after several steps lists as one made afresh.
void NotesWorkspaceModelTest::rowsFollowEveryChangeAsListedAfresh()
{
    QFETCH(QStringList, steps);
    QFETCH(bool, unseen);
    Fixture f;
    const QString folder = QStringLiteral("Work");
    for (int i = 0; i < 6; ++i) {
        Board *note = f.note(QStringLiteral("Note %1").arg(i), 10 + 5 * (i % 3));
        note->setSortIndex(6 - i);
        if (i % 2)
            note->setFolderName(folder, at(10 + 5 * (i % 3)));
        if (i % 3 == 0)
            note->updateWritingDocument(paragraphs({QStringLiteral("Written %1").arg(i)}), note->updatedAt());
        addCard(f.rig.context(), note->id(), CardFields{.title = QStringLiteral("Card of %1").arg(i), .created = at(5)});
    }
    Board *inbox = f.rig.addNote(QStringLiteral("Inbox"), -1, true);
    inbox->setUpdatedAt(at(1));
    f.save();
    const QList<NoteListFilter> filters{NoteListFilter::all(), NoteListFilter::favorites(), NoteListFilter::folder(folder),
                                        NoteListFilter::quickCaptures()};
    std::vector<std::unique_ptr<NotesWorkspaceModel>> screens;
    for (const NoteListFilter &filter : filters)
        screens.push_back(f.screen(filter));
    if (unseen)
        screens.clear();

    int step = 0;
    // A different live note at each step, the inbox aside.
    const auto target = [&] {
        QList<Board *> notes;
        for (Board *board : f.library->boards()) {
            if (board->isLive() && !board->isInbox())
                notes.append(board);
        }
        return notes.at((step * 3) % notes.size());
    };
    const auto trashed = [&]() -> Board * {
        for (Board *board : f.library->boards()) {
            if (!board->isLive())
                return board;
        }
        return nullptr;
    };
    const auto moment = [&] { return at(100 + step); };
    for (const QString &name : steps) {
        ++step;
        Board *note = target();
        bool saves = true;
        if (name == QLatin1String("title")) {
            note->setTitle(step % 2 ? QStringLiteral("Renamed %1").arg(step) : QStringLiteral(" "));
            note->setUpdatedAt(moment());
        } else if (name == QLatin1String("newer")) {
            note->setUpdatedAt(moment());
        } else if (name == QLatin1String("older")) {
            note->setUpdatedAt(at(2));
        } else if (name == QLatin1String("same date")) {
            // Equal dates fall back on the identifiers.
            note->setUpdatedAt(f.screen(NoteListFilter::all())->rows().constLast().updatedAt);
        } else if (name == QLatin1String("favorite")) {
            note->setFavorite(!note->isFavorite(), moment());
        } else if (name == QLatin1String("folder")) {
            note->setFolderName(folder, moment());
        } else if (name == QLatin1String("unfile")) {
            note->setFolderName(std::nullopt, moment());
        } else if (name == QLatin1String("writing")) {
            note->updateWritingDocument(paragraphs({QString(), QStringLiteral("Words %1").arg(step)}), moment());
        } else if (name == QLatin1String("blank writing")) {
            note->updateWritingDocument(paragraphs({QStringLiteral(" ")}), moment());
        } else if (name == QLatin1String("add notes")) {
            f.note(QStringLiteral("Added %1").arg(step), 100 + step);
            f.note(QStringLiteral("Added later %1").arg(step), 3)->setFolderName(folder, at(3));
        } else if (name == QLatin1String("trash")) {
            note->moveToTrash(moment());
        } else if (name == QLatin1String("restore")) {
            trashed()->restoreFromTrash(moment());
        } else if (name == QLatin1String("delete")) {
            f.rig.context().remove(trashed() ? trashed() : note);
        } else if (name == QLatin1String("add cards")) {
            addCard(f.rig.context(), note->id(), CardFields{.title = QStringLiteral("Added %1").arg(step), .created = at(5)});
            addCard(f.rig.context(), inbox->id(), CardFields{.title = QStringLiteral("Captured %1").arg(step), .created = at(6)});
        } else if (name == QLatin1String("card title")) {
            // The latest card of a note without writing gives its excerpt.
            f.library->cards().constLast()->setTitle(QStringLiteral("Retitled %1").arg(step));
            f.library->cards().constFirst()->setTitle(std::nullopt);
        } else if (name == QLatin1String("move card")) {
            f.library->cards().constLast()->setBoardID(note->id());
        } else if (name == QLatin1String("trash card")) {
            f.library->cards().constLast()->setDeletedAt(moment());
        } else if (name == QLatin1String("sort index")) {
            note->setSortIndex(-step);
        } else if (name == QLatin1String("same id")) {
            // As a library copied together from two may hold.
            note->setId(inbox->id());
        } else if (name == QLatin1String("other first")) {
            // The inbox's namesake is sorted before it.
            for (Board *board : f.library->boards()) {
                if (board != inbox && board->id() == inbox->id())
                    board->setSortIndex(inbox->sortIndex() - 1);
            }
        } else if (name == QLatin1String("typed id")) {
            note->setId(QUuid::createUuid());
            saves = false;
        } else if (name == QLatin1String("fail")) {
            ModelChangeScope scope(f.rig.context());
            note->setTitle(QStringLiteral("Never saved"));
            note->setUpdatedAt(at(900));
            f.library->cards().constLast()->setBoardID(note->id());
            f.rig.context().failNextSave(StoreError{QStringLiteral("The disk is full.")});
            QVERIFY(!scope.saveOrUndo());
            saves = false;
        } else if (name == QLatin1String("rollback")) {
            note->setFavorite(!note->isFavorite(), at(901));
            target()->moveToTrash(at(902));
            f.rig.context().rollback();
            saves = false;
        } else if (name == QLatin1String("typed")) {
            note->setTitle(QStringLiteral("Typed %1").arg(step));
            note->setUpdatedAt(moment());
            saves = false;
        } else {
            QFAIL(qPrintable(QStringLiteral("unknown step %1").arg(name)));
        }
        if (saves)
            f.save();
        if (unseen && step % 3 != 0 && step != steps.size())
            continue;
        for (qsizetype i = 0; i < filters.size(); ++i) {
            NoteList fresh;
            const auto afresh = [&] { return fresh.rows(f.library->boards(), f.library->cards(), filters.at(i)); };
            // A save is taken in before it returns; an edit on the next turn.
            if (!unseen && saves)
                QCOMPARE(screens.at(i)->rows(), afresh());
            else if (!unseen)
                QTRY_COMPARE(screens.at(i)->rows(), afresh());
            QCOMPARE(f.screen(filters.at(i))->rows(), afresh());
        }
        // The notes the screens list from are in sort-index order as a
        // reading made afresh has them, and each id finds its first note
        // among them.
        QCOMPARE(f.library->boards(), LibraryQuery(f.rig.context()).boards());
        for (const Board *board : f.library->boards()) {
            const Board *first = *std::find_if(f.library->boards().cbegin(), f.library->boards().cend(),
                                               [&](const Board *other) { return other->id() == board->id(); });
            QCOMPARE(f.library->firstBoard(board->id()), first);
        }
        QCOMPARE(f.library->firstBoard(QUuid::createUuid()), nullptr);
    }
}

QTEST_MAIN(NotesWorkspaceModelTest)
#include "tst_notesworkspacemodel.moc"
