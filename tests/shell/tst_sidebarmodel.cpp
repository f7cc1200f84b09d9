#include "../support/MainWindowRig.h"

#include "runtime/LibraryQuery.h"
#include "model/ModelChangeScope.h"
#include "model/StoreError.h"
#include "shell/SidebarModel.h"

#include <QSignalSpy>
#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

QStringList titles(const SidebarModel &model)
{
    QStringList result;
    for (const SidebarRow &row : model.rows())
        result << (row.type == SidebarRow::Type::section ? QStringLiteral("[%1]").arg(row.title) : row.title);
    return result;
}

} // namespace

class SidebarModelTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void folderNames_data();
    void folderNames();
    void rowsWithoutAndWithFolders();
    void counts_data();
    void counts();
    void followsSaves();
    void countsFollowEveryKindOfChange_data();
    void countsFollowEveryKindOfChange();
    void tourHighlight_data();
    void tourHighlight();
    void destinationsWithoutRow();
};

void SidebarModelTest::folderNames_data()
{
    // Each note: "folder" for a live note, "folder!" for a deleted one,
    // "folder@" for an inbox note; "-" for a note in no folder.
    QTest::addColumn<QStringList>("notes");
    QTest::addColumn<QStringList>("expected");
    // Names the collation finds equal have no defined order between them.
    QTest::addColumn<bool>("ordered");
    QTest::newRow("no folders") << QStringList{"-", "-"} << QStringList{} << true;
    QTest::newRow("only inbox and deleted notes filed") << QStringList{"Inbox@", "Old!"} << QStringList{} << true;
    QTest::newRow("same name once") << QStringList{"Work", "Work"} << QStringList{"Work"} << true;
    QTest::newRow("names differing in case stay apart") << QStringList{"work", "Work"} << QStringList{"work", "Work"} << false;
    QTest::newRow("folder of deleted notes only is gone") << QStringList{"Trip!", "Home"} << QStringList{"Home"} << true;
    QTest::newRow("case-insensitive order") << QStringList{"gamma", "Beta", "alpha"} << QStringList{"alpha", "Beta", "gamma"} << true;
    QTest::newRow("names as stored, empty included") << QStringList{" Spaced", ""} << QStringList{"", " Spaced"} << true;
}

void SidebarModelTest::folderNames()
{
    QFETCH(QStringList, notes);
    QFETCH(QStringList, expected);
    QFETCH(bool, ordered);
    MainWindowRig rig;
    for (QString folder : notes) {
        const bool deleted = folder.endsWith(u'!');
        const bool inbox = folder.endsWith(u'@');
        if (deleted || inbox)
            folder.chop(1);
        Board *board = rig.addNote(QStringLiteral("Note"), 0, inbox);
        if (folder != u"-")
            board->setFolderNameValue(folder);
        if (deleted)
            board->moveToTrash(at(5));
    }
    QVERIFY(rig.context().save());
    LibraryQuery library(rig.context());
    QStringList names = SidebarModel::folderNames(library.boards());
    if (!ordered) {
        names.sort(Qt::CaseSensitive);
        expected.sort(Qt::CaseSensitive);
    }
    QCOMPARE(names, expected);
}

void SidebarModelTest::rowsWithoutAndWithFolders()
{
    MainWindowRig rig;
    rig.addNote(QStringLiteral("Plain"));
    QVERIFY(rig.context().save());
    LibraryQuery library(rig.context());
    SidebarModel model(library, rig.onboarding.get());
    QCOMPARE(titles(model), (QStringList{"Notes", "Quick Captures", "Snips", "Favorites", "[]", "Recently Deleted"}));
    QCOMPARE(model.rows().at(1).destination, SidebarDestination::inbox());
    QCOMPARE(model.rows().at(2).destination, SidebarDestination::captures());
    QCOMPARE(model.rows().at(5).destination, SidebarDestination::trash());
    // Only Quick Captures and Recently Deleted carry a badge.
    QCOMPARE(model.rows().at(0).count, std::nullopt);
    QCOMPARE(model.rows().at(1).count, std::optional(0));
    QCOMPARE(model.rows().at(5).count, std::optional(0));
    QCOMPARE(model.flags(model.index(4)), Qt::NoItemFlags);

    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    Board *filed = rig.addNote(QStringLiteral("Filed"));
    filed->setFolderNameValue(QStringLiteral("Projects"));
    QVERIFY(rig.context().save());
    QCOMPARE(reset.count(), 1);
    QCOMPARE(titles(model), (QStringList{"Notes", "Quick Captures", "Snips", "Favorites", "[Folders]", "Projects", "[]",
                                         "Recently Deleted"}));
    QCOMPARE(model.rowForDestination(SidebarDestination::folder(QStringLiteral("Projects"))), 5);
}

void SidebarModelTest::counts_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<int>("quickCaptures");
    QTest::addColumn<int>("recentlyDeleted");
    QTest::newRow("no quick captures note yet") << "no inbox" << 0 << 0;
    QTest::newRow("live cards of the inbox, snips and thoughts alike") << "inbox cards" << 2 << 1;
    QTest::newRow("deleted inbox note does not count as the inbox") << "deleted inbox" << 0 << 1;
    QTest::newRow("deleted note counts once with its cards") << "deleted note" << 0 << 1;
    QTest::newRow("deleted card of a live note") << "deleted card" << 0 << 1;
    QTest::newRow("deleted card whose note is gone") << "orphan" << 0 << 1;
}

void SidebarModelTest::counts()
{
    QFETCH(QString, scenario);
    QFETCH(int, quickCaptures);
    QFETCH(int, recentlyDeleted);
    MainWindowRig rig;
    Board *note = rig.addNote(QStringLiteral("Note"), 1);
    if (scenario == u"inbox cards" || scenario == u"deleted inbox") {
        Board *inbox = rig.addNote(QStringLiteral("Quick Captures"), 0, true);
        rig.addCard(inbox, CardKind::snip);
        rig.addCard(inbox, CardKind::thought);
        rig.addCard(inbox, CardKind::snip)->moveToTrash(at(3));
        rig.addCard(note, CardKind::snip);
        if (scenario == u"deleted inbox")
            inbox->moveToTrash(at(4));
    } else if (scenario == u"deleted note") {
        for (int i = 0; i < 3; ++i)
            rig.addCard(note, CardKind::snip);
        rig.addCard(note, CardKind::thought)->moveToTrash(at(2));
        note->moveToTrash(at(3));
    } else if (scenario == u"deleted card") {
        rig.addCard(note, CardKind::thought)->moveToTrash(at(2));
    } else if (scenario == u"orphan") {
        auto *gone = new Board;
        rig.addCard(gone, CardKind::snip)->moveToTrash(at(2));
        delete gone;
    }
    QVERIFY(rig.context().save());
    LibraryQuery library(rig.context());
    QCOMPARE(SidebarModel::quickCapturesCount(library.boards(), library.cards()), quickCaptures);
    QCOMPARE(SidebarModel::recentlyDeletedCount(library.boards(), library.cards()), recentlyDeleted);
}

void SidebarModelTest::followsSaves()
{
    MainWindowRig rig;
    Board *note = rig.addNote(QStringLiteral("Note"));
    CanvasCard *card = rig.addCard(note, CardKind::thought);
    card->moveToTrash(at(1));
    QVERIFY(rig.context().save());
    LibraryQuery library(rig.context());
    SidebarModel model(library, rig.onboarding.get());
    const int trashRow = model.rowForDestination(SidebarDestination::trash());
    QCOMPARE(model.data(model.index(trashRow), SidebarModel::CountRole).toInt(), 1);

    // A count change updates the row in place; the row set stays.
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    card->restoreFromTrash(at(2));
    QVERIFY(rig.context().save());
    QCOMPARE(model.data(model.index(trashRow), SidebarModel::CountRole).toInt(), 0);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(reset.count(), 0);
}

void SidebarModelTest::countsFollowEveryKindOfChange_data()
{
    QTest::addColumn<QString>("change");
    // Quick Captures, Recently Deleted, the folder rows.
    QTest::addColumn<int>("quickCaptures");
    QTest::addColumn<int>("deleted");
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<bool>("rowsChanged");
    const QStringList work{"Work"};
    QTest::newRow("a card's text typed") << "text" << 1 << 0 << work << false;
    QTest::newRow("a note's writing typed") << "writing" << 1 << 0 << work << false;
    QTest::newRow("a capture into Quick Captures") << "capture" << 2 << 0 << work << true;
    QTest::newRow("a capture stored in Recently Deleted") << "capture trashed" << 1 << 1 << work << true;
    QTest::newRow("a captured card moved to a note") << "move" << 0 << 0 << work << true;
    QTest::newRow("a card trashed") << "trash card" << 0 << 1 << work << true;
    QTest::newRow("a trashed card restored") << "restore card" << 1 << 0 << work << true;
    QTest::newRow("a card trashed by a save that failed") << "trash failed" << 1 << 0 << work << false;
    QTest::newRow("a note trashed") << "trash note" << 1 << 1 << QStringList{} << true;
    QTest::newRow("a note filed elsewhere") << "refile" << 1 << 0 << QStringList{"Home"} << true;
    QTest::newRow("a card purged") << "purge" << 0 << 0 << work << true;
    QTest::newRow("a deleted note purged with its cards") << "purge note" << 1 << 0 << QStringList{} << true;
    QTest::newRow("a deleted note purged, a deleted card of it left")
        << "purge note alone" << 1 << 1 << QStringList{} << true;
    QTest::newRow("the Quick Captures note purged") << "purge inbox" << 0 << 0 << work << true;
}

// The counts are worked out again only after a save that changed what they
// count, and then always.
void SidebarModelTest::countsFollowEveryKindOfChange()
{
    QFETCH(QString, change);
    QFETCH(int, quickCaptures);
    QFETCH(int, deleted);
    QFETCH(QStringList, folders);
    QFETCH(bool, rowsChanged);
    MainWindowRig rig;
    Board *inbox = rig.addNote(QStringLiteral("Quick Captures"), -1, true);
    Board *note = rig.addNote(QStringLiteral("Note"));
    note->setFolderName(QStringLiteral("Work"), at(0));
    CanvasCard *captured = rig.addCard(inbox, CardKind::snip);
    QVERIFY(rig.context().save());
    LibraryQuery library(rig.context());
    SidebarModel model(library, rig.onboarding.get());
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    const auto count = [&](const SidebarDestination &destination) {
        return model.data(model.index(model.rowForDestination(destination)), SidebarModel::CountRole).toInt();
    };

    if (change == QLatin1String("text")) {
        captured->setContextText(QStringLiteral("why it matters"));
    } else if (change == QLatin1String("writing")) {
        BoardWritingDocument writing;
        writing.blocks = {BoardWritingBlock::paragraph(QStringLiteral("Typed"))};
        note->updateWritingDocument(writing, at(5));
    } else if (change == QLatin1String("capture")) {
        rig.addCard(inbox, CardKind::snip);
    } else if (change == QLatin1String("capture trashed")) {
        std::unique_ptr<CanvasCard> trashed = makeCard(inbox->id(), CardFields{});
        trashed->moveToTrash(at(5));
        rig.context().insert(trashed.release());
    } else if (change == QLatin1String("move")) {
        captured->setBoardID(note->id());
    } else if (change == QLatin1String("trash card")) {
        captured->moveToTrash(at(5));
    } else if (change == QLatin1String("restore card")) {
        captured->moveToTrash(at(4));
        QVERIFY(rig.context().save());
        QCOMPARE(count(SidebarDestination::trash()), 1);
        changed.clear();
        captured->restoreFromTrash(at(5));
    } else if (change == QLatin1String("trash failed")) {
        ModelChangeScope scope(rig.context());
        captured->moveToTrash(at(5));
        rig.context().failNextSave(StoreError{QStringLiteral("disk full")});
        QVERIFY(!scope.saveOrUndo());
        captured->setContextText(QStringLiteral("kept"));
    } else if (change == QLatin1String("trash note")) {
        note->moveToTrash(at(5));
    } else if (change == QLatin1String("refile")) {
        note->setFolderName(QStringLiteral("Home"), at(5));
    } else if (change == QLatin1String("purge")) {
        rig.context().remove(captured);
    } else if (change.startsWith(QLatin1String("purge note"))) {
        CanvasCard *inNote = rig.addCard(note, CardKind::thought);
        CanvasCard *trashed = rig.addCard(note, CardKind::snip);
        trashed->moveToTrash(at(4));
        note->moveToTrash(at(5));
        QVERIFY(rig.context().save());
        QCOMPARE(count(SidebarDestination::trash()), 1);
        if (change == QLatin1String("purge note"))
            rig.context().remove(trashed);
        rig.context().remove(inNote);
        rig.context().remove(note);
    } else if (change == QLatin1String("purge inbox")) {
        rig.context().remove(captured);
        rig.context().remove(inbox);
    }
    QVERIFY(rig.context().save());

    QCOMPARE(count(SidebarDestination::inbox()), quickCaptures);
    QCOMPARE(count(SidebarDestination::trash()), deleted);
    QStringList shownFolders;
    for (const SidebarRow &row : model.rows()) {
        if (row.destination && row.destination->kind() == SidebarDestination::Kind::folder)
            shownFolders << row.title;
    }
    QCOMPARE(shownFolders, folders);
    QCOMPARE(changed.count() + reset.count() > 0, rowsChanged);
    // What a fresh reading of the same library shows, and each count on
    // its own.
    QCOMPARE(model.rows(), SidebarModel::makeRows(library.boards(), library.cards(), std::nullopt));
    QCOMPARE(count(SidebarDestination::inbox()), SidebarModel::quickCapturesCount(library.boards(), library.cards()));
    QCOMPARE(count(SidebarDestination::trash()), SidebarModel::recentlyDeletedCount(library.boards(), library.cards()));
}

void SidebarModelTest::tourHighlight_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("highlighted");
    QTest::newRow("no tour") << -1 << "";
    QTest::newRow("capture") << int(GuidedTourStep::capture) << "";
    QTest::newRow("today") << int(GuidedTourStep::today) << "Notes";
    QTest::newRow("boards") << int(GuidedTourStep::boards) << "Quick Captures";
    QTest::newRow("snip preview") << int(GuidedTourStep::snipPreview) << "";
}

void SidebarModelTest::tourHighlight()
{
    QFETCH(int, step);
    QFETCH(QString, highlighted);
    MainWindowRig rig;
    LibraryQuery library(rig.context());
    SidebarModel model(library, rig.onboarding.get());
    rig.onboarding->setTourStep(step < 0 ? std::nullopt : std::optional(GuidedTourStep(step)));
    QStringList lit;
    for (int row = 0; row < model.rowCount(); ++row) {
        if (model.data(model.index(row), SidebarModel::IsTourHighlightedRole).toBool())
            lit << model.data(model.index(row), Qt::DisplayRole).toString();
    }
    QCOMPARE(lit.join(u','), highlighted);
}

void SidebarModelTest::destinationsWithoutRow()
{
    MainWindowRig rig;
    LibraryQuery library(rig.context());
    SidebarModel model(library, nullptr);
    QCOMPARE(model.rowForDestination(SidebarDestination::search()), -1);
    QCOMPARE(model.rowForDestination(SidebarDestination::board(QUuid::createUuid())), -1);
    QCOMPARE(model.rowForDestination(SidebarDestination::today()), -1);
    QCOMPARE(model.rowForDestination(std::nullopt), -1);
    QCOMPARE(model.rowForDestination(SidebarDestination::notes()), 0);
}

QTEST_GUILESS_MAIN(SidebarModelTest)
#include "tst_sidebarmodel.moc"
