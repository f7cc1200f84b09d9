#include "SnipsLibraryRig.h"

#include "library/SnipsLibraryModel.h"
#include "model/BoardWritingDocument.h"
#include "model/StoreError.h"
#include "model/ThinkingSessionService.h"
#include "platform/BackgroundPool.h"

#include <QSignalSpy>
#include <QThreadPool>

#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

const QUuid lowID(QStringLiteral("{11111111-0000-0000-0000-000000000000}"));
const QUuid highID(QStringLiteral("{AAAAAAAA-0000-0000-0000-000000000000}"));

// Notes: Atlas (regular), the inbox, Old Plans (in Recently Deleted).
// Snips, newest first by capture date: Chart (Atlas, 300), Orphan (no note,
// created 250, never captured), Invoice (inbox, 200), Plan sketch (Old Plans,
// 100), then Twin low and Twin high (Atlas, both 50). Also a trashed snip and
// a thought that never show.
struct Library
{
    Library()
    {
        atlas = rig.addNote(QStringLiteral("Atlas Research"));
        inbox = rig.addNote(QStringLiteral("Quick Captures"), true);
        oldPlans = rig.addNote(QStringLiteral("Old Plans"));
        oldPlans->setDeletedAt(snipTime(5));
        chart = rig.addSnip(atlas->id(), QStringLiteral("Chart"), 1, 300);
        chart->setContextText(QStringLiteral("Sales by quarter"));
        chart->setSourceApplicationName(QStringLiteral("Spreadsheet Pro"));
        orphan = rig.addSnip(QUuid::createUuid(), QStringLiteral("Orphan"), 250);
        invoice = rig.addSnip(inbox->id(), QStringLiteral("Invoice"), 1, 200);
        invoice->setOcrText(QStringLiteral("Total due: 42 € Stra\u00dfe 5"));
        sketch = rig.addSnip(oldPlans->id(), QStringLiteral("Plan sketch"), 1, 100);
        twinHigh = rig.addSnip(atlas->id(), QStringLiteral("Twin high"), 1, 50, highID);
        twinLow = rig.addSnip(atlas->id(), QStringLiteral("Twin low"), 1, 50, lowID);
        CanvasCard *trashed = rig.addSnip(atlas->id(), QStringLiteral("Trashed chart"), 1, 400);
        trashed->setDeletedAt(snipTime(401));
        CanvasCard::Init thought;
        thought.boardID = atlas->id();
        thought.kind = CardKind::thought;
        thought.title = QStringLiteral("Chart thought");
        thought.createdAt = snipTime(500);
        rig.context().insert(new CanvasCard(thought));
        rig.save();
        model = std::make_unique<SnipsLibraryModel>(*rig.library, *rig.navigation);
        model->setClock([] { return snipTime(1000); });
    }

    QStringList shownTitles() const
    {
        QStringList titles;
        for (const CanvasCard *card : model->shownCards())
            titles.append(card->displayTitle());
        return titles;
    }

    SnipsLibraryRig rig;
    Board *atlas, *inbox, *oldPlans;
    CanvasCard *chart, *orphan, *invoice, *sketch, *twinHigh, *twinLow;
    std::unique_ptr<SnipsLibraryModel> model;
};

} // namespace

class TestSnipsLibraryModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void filterAndOrder_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QStringList>("expected");
        const QStringList all{"Chart", "Orphan", "Invoice", "Plan sketch", "Twin low", "Twin high"};
        QTest::newRow("no filter: newest first, ties by id text") << QString() << all;
        QTest::newRow("only spaces shows everything") << QStringLiteral("  \n ") << all;
        QTest::newRow("caption, letter case ignored") << QStringLiteral("SALES") << QStringList{"Chart"};
        QTest::newRow("source application") << QStringLiteral("spreadsheet pro") << QStringList{"Chart"};
        QTest::newRow("recognized text, trimmed") << QStringLiteral("  total due ") << QStringList{"Invoice"};
        QTest::newRow("note title") << QStringLiteral("atlas") << QStringList{"Chart", "Twin low", "Twin high"};
        QTest::newRow("a missing note reads Quick Captures")
            << QStringLiteral("quick captures") << QStringList{"Orphan", "Invoice"};
        QTest::newRow("a deleted note's snip still shows") << QStringLiteral("old plans") << QStringList{"Plan sketch"};
        QTest::newRow("trashed snips and thoughts never show") << QStringLiteral("chart") << QStringList{"Chart"};
        QTest::newRow("diacritics count") << QStringLiteral("charté") << QStringList{};
        QTest::newRow("case folded in full") << QStringLiteral("STRASSE") << QStringList{"Invoice"};
    }

    void filterAndOrder()
    {
        QFETCH(QString, query);
        QFETCH(QStringList, expected);
        Library library;
        library.model->setQuery(query);
        QCOMPARE(library.shownTitles(), expected);
        QCOMPARE(library.model->rowCount(), expected.size());
        const QList<CanvasCard *> &shown = library.model->shownCards();
        for (qsizetype i = 1; i < shown.size(); ++i)
            QVERIFY(SnipsLibraryModel::gridOrder(shown.at(i - 1), shown.at(i)));
    }

    // Every Snips screen of the window shares one grid order, which must
    // follow what was written since it was worked out, saved or not.
    void aNewScreenShowsTheSnipsAsTheyAreNow_data()
    {
        QTest::addColumn<int>("change");
        QTest::addColumn<QStringList>("expected");
        const QStringList all{"Chart", "Orphan", "Invoice", "Plan sketch", "Twin low", "Twin high"};
        QTest::newRow("a note stamped opened and saved") << 0 << all;
        QTest::newRow("a snip moved to Recently Deleted, unsaved")
            << 1 << QStringList{"Orphan", "Invoice", "Plan sketch", "Twin low", "Twin high"};
        QTest::newRow("a capture date written, unsaved")
            << 2 << QStringList{"Twin low", "Chart", "Orphan", "Invoice", "Plan sketch", "Twin high"};
        QTest::newRow("a snip added and saved")
            << 3 << QStringList{"Fresh", "Chart", "Orphan", "Invoice", "Plan sketch", "Twin low", "Twin high"};
        QTest::newRow("a deletion taken back") << 4 << all;
        QTest::newRow("a snip deleted and saved")
            << 5 << QStringList{"Chart", "Orphan", "Plan sketch", "Twin low", "Twin high"};
    }

    void aNewScreenShowsTheSnipsAsTheyAreNow()
    {
        QFETCH(int, change);
        QFETCH(QStringList, expected);
        Library library;
        QCOMPARE(library.shownTitles().size(), 6);
        switch (change) {
        case 0:
            library.atlas->markOpened(snipTime(900));
            library.rig.save();
            break;
        case 1:
            library.chart->setDeletedAt(snipTime(900));
            break;
        case 2:
            library.twinLow->setCapturedAt(snipTime(600));
            break;
        case 3:
            library.rig.addSnip(library.atlas->id(), QStringLiteral("Fresh"), 1, 700);
            library.rig.save();
            break;
        case 4:
            library.chart->setDeletedAt(snipTime(900));
            library.rig.context().rollback();
            break;
        case 5:
            library.invoice->setDeletedAt(snipTime(900));
            library.rig.save();
            break;
        }
        SnipsLibraryModel again(*library.rig.library, *library.rig.navigation);
        QStringList titles;
        for (const CanvasCard *card : again.shownCards())
            titles.append(card->displayTitle());
        QCOMPARE(titles, expected);
        // The screen that stayed follows the saved changes as before.
        if (change == 0 || change == 3 || change == 5)
            QCOMPARE(library.shownTitles(), expected);
    }

    void typingOnNarrowsWithTheLibraryAsItIsNow()
    {
        Library library;
        library.model->setQuery(QStringLiteral("inv"));
        QCOMPARE(library.shownTitles(), QStringList{"Invoice"});
        // A snip that comes to hold the query between two keys is found.
        library.twinLow->setOcrText(QStringLiteral("Invoice copy"));
        library.rig.save();
        library.model->setQuery(QStringLiteral("invo"));
        QCOMPARE(library.shownTitles(), (QStringList{"Invoice", "Twin low"}));
        library.model->setQuery(QStringLiteral("invoice c"));
        QCOMPARE(library.shownTitles(), QStringList{"Twin low"});
        // Keys taken back widen it again.
        library.model->setQuery(QStringLiteral("in"));
        QCOMPARE(library.shownTitles(), (QStringList{"Invoice", "Twin low", "Twin high"}));
    }

    void aLargeLibraryIsFilteredOnAWorker_data()
    {
        QTest::addColumn<int>("copySlice");
        QTest::newRow("copied at once") << 100;
        QTest::newRow("copied two snips a turn") << 2;
    }
    void aLargeLibraryIsFilteredOnAWorker()
    {
        QFETCH(int, copySlice);
        Library library;
        library.model->setLargeLibrary(0);
        library.model->setCopySlice(copySlice);
        // The titles once the worker's hits are in (the old ones if never).
        const auto settle = [&library] {
            (void)QTest::qWaitFor([&library] { return !library.model->isFilterPending(); }, 10000);
            return library.shownTitles();
        };
        const QStringList all{"Chart", "Orphan", "Invoice", "Plan sketch", "Twin low", "Twin high"};
        library.model->setQuery(QStringLiteral("inv"));
        // The key does not wait: the grid keeps its snips until the hits are in.
        QCOMPARE(library.shownTitles(), all);
        QCOMPARE(settle(), QStringList{"Invoice"});

        // Keys typed before the hits came in: the last one's hits stay.
        library.model->setQuery(QStringLiteral("invoice"));
        library.model->setQuery(QStringLiteral("sketch"));
        QCOMPARE(settle(), QStringList{"Plan sketch"});
        backgroundPool().waitForDone();
        QCoreApplication::processEvents();
        QCOMPARE(library.shownTitles(), QStringList{"Plan sketch"});

        // A change while looking: the hits are of the library as it is now,
        // and a snip moved to Recently Deleted leaves the grid at once.
        library.model->setQuery(QStringLiteral("tw"));
        library.twinHigh->moveToTrash(snipTime(600));
        library.chart->setOcrText(QStringLiteral("Twelve weeks"));
        library.rig.save();
        QVERIFY(!library.shownTitles().contains(QStringLiteral("Twin high")));
        QCOMPARE(settle(), (QStringList{"Chart", "Twin low"}));
        // Typing on narrows among those hits, and taking keys back widens.
        library.model->setQuery(QStringLiteral("twi"));
        QCOMPARE(settle(), QStringList{"Twin low"});
        library.model->setQuery(QStringLiteral("due"));
        QCOMPARE(settle(), QStringList{"Invoice"});
        library.model->setQuery(QString());
        QCOMPARE(library.shownTitles(), (QStringList{"Chart", "Orphan", "Invoice", "Plan sketch", "Twin low"}));
        // An accent typed as a mark after its letter makes another letter:
        // its hits are not looked for among those of the bare letter.
        library.invoice->setOcrText(QStringLiteral("Caf\u00e9 receipt"));
        library.rig.save();
        library.model->setQuery(QStringLiteral("cafe"));
        QCOMPARE(settle(), QStringList{});
        library.model->setQuery(QStringLiteral("cafe\u0301"));
        QCOMPARE(settle(), QStringList{"Invoice"});
    }

    void aLargeLibraryReadsTextsTheModelHasNotFromTheFile_data()
    {
        QTest::addColumn<bool>("fileMovedAway");
        QTest::newRow("from the file") << false;
        QTest::newRow("the file gone: from the model") << true;
    }
    void aLargeLibraryReadsTextsTheModelHasNotFromTheFile()
    {
        QFETCH(bool, fileMovedAway);
        QTemporaryDir dir;
        ModelContainer::Configuration configuration;
        configuration.directory = dir.path();
        {
            auto writer = ModelContainer::open(configuration);
            QVERIFY(writer);
            ModelContext &context = *(*writer)->mainContext();
            Board *harbour = addNote(context, NoteFields{.title = QStringLiteral("Harbour")});
            addCard(context, harbour->id(), CardFields{.created = at(3)})->setOcrText(QStringLiteral("Lighthouse keeper"));
            addCard(context, harbour->id(), CardFields{.title = QStringLiteral("Quay"), .created = at(2)})
                ->setContextText(QStringLiteral("Lighthouse at dusk"));
            addCard(context, harbour->id(), CardFields{.created = at(1)})->setOcrText(QStringLiteral("Fishing boats"));
            QVERIFY(context.save());
        }
        auto opened = ModelContainer::open(configuration);
        QVERIFY(opened);
        ModelContext &context = *(*opened)->mainContext();
        LibraryQuery library(context);
        UserDefaults defaults(dir.filePath(QStringLiteral("settings.ini")));
        NavigationState navigation(defaults);
        if (fileMovedAway)
            QVERIFY(QFile::rename(context.filePath(), context.filePath() + QStringLiteral(".moved")));
        SnipsLibraryModel model(library, navigation);
        model.setLargeLibrary(0);
        const auto filter = [&model](const QString &query) {
            model.setQuery(query);
            (void)QTest::qWaitFor([&model] { return !model.isFilterPending(); }, 10000);
            return model.shownCards();
        };
        const auto titles = [](const auto &cards) {
            QStringList made;
            for (const CanvasCard *card : cards)
                made.append(card->displayTitle());
            return made;
        };
        const auto lit = filter(QStringLiteral("lighthouse"));
        // The main thread read no text to hand over, unless the file would
        // not give them.
        for (const CanvasCard *card : library.cards())
            QCOMPARE(card->unreadTextsRow() > 0, !fileMovedAway);
        QCOMPARE(titles(lit), (QStringList{"Lighthouse keeper", "Quay"}));
        // A title made from a text only the file held.
        QCOMPARE(titles(filter(QStringLiteral("fishing"))), QStringList{"Fishing boats"});
        QVERIFY(model.holdsFilterTexts());

        // Every snip's text is let go of once the filter is emptied, and read
        // again for the next one.
        QCOMPARE(filter(QStringLiteral("  ")).size(), 3);
        QVERIFY(!model.holdsFilterTexts());
        QCOMPARE(titles(filter(QStringLiteral("dusk"))), QStringList{"Quay"});
        QVERIFY(model.holdsFilterTexts());
    }

    void tileTexts()
    {
        Library library;
        const QModelIndex first = library.model->index(0);
        QCOMPARE(first.data(SnipsLibraryModel::TileTitleRole).toString(), QStringLiteral("Sales by quarter"));
        QCOMPARE(first.data(SnipsLibraryModel::NoteTitleRole).toString(), QStringLiteral("Atlas Research"));
        QCOMPARE(first.data(Qt::AccessibleTextRole).toString(), QStringLiteral("Chart"));
        // No caption: the display title; a note that is gone: Quick Captures.
        const QModelIndex second = library.model->index(1);
        QCOMPARE(second.data(SnipsLibraryModel::TileTitleRole).toString(), QStringLiteral("Orphan"));
        QCOMPARE(second.data(SnipsLibraryModel::NoteTitleRole).toString(), QStringLiteral("Quick Captures"));
        // Dated by creation when never captured.
        QCOMPARE(second.data(SnipsLibraryModel::DateTextRole).toString(), QStringLiteral("12 minutes ago"));
        // Numbers, not names: a snip of half a minute ago says so.
        library.model->setClock([] { return snipTime(330); });
        QCOMPARE(first.data(SnipsLibraryModel::DateTextRole).toString(), QStringLiteral("30 seconds ago"));
        // ...for one second more.
        QCOMPARE(first.data(SnipsLibraryModel::DateTextChangeRole).toLongLong(), 1000);
    }

    void content_data()
    {
        QTest::addColumn<bool>("hasCards");
        QTest::addColumn<QString>("query");
        QTest::addColumn<SnipsLibraryModel::Content>("expected");
        QTest::newRow("cards") << true << QStringLiteral("x") << SnipsLibraryModel::Content::grid;
        QTest::newRow("no cards, no text") << false << QString() << SnipsLibraryModel::Content::noSnips;
        QTest::newRow("no cards, a text") << false << QStringLiteral("x") << SnipsLibraryModel::Content::noMatches;
        // The choice looks at the text as typed.
        QTest::newRow("no cards, only spaces") << false << QStringLiteral("  ") << SnipsLibraryModel::Content::noMatches;
    }

    void content()
    {
        QFETCH(bool, hasCards);
        QFETCH(QString, query);
        QFETCH(SnipsLibraryModel::Content, expected);
        QCOMPARE(SnipsLibraryModel::contentFor(hasCards, query), expected);
    }

    void emptyStoreAndThoughtsOnlyShowNoSnips()
    {
        SnipsLibraryRig rig;
        Board *note = rig.addNote(QStringLiteral("Thinking"));
        CanvasCard::Init thought;
        thought.boardID = note->id();
        thought.createdAt = snipTime(1);
        rig.context().insert(new CanvasCard(thought));
        rig.save();
        SnipsLibraryModel model(*rig.library, *rig.navigation);
        QCOMPARE(model.content(), SnipsLibraryModel::Content::noSnips);
        model.setQuery(QStringLiteral(" "));
        QCOMPARE(model.content(), SnipsLibraryModel::Content::noMatches);
    }

    void noteTargetsInNaturalOrder()
    {
        SnipsLibraryRig rig;
        Board *own = rig.addNote(QStringLiteral("Own"));
        rig.addNote(QStringLiteral("Note 10"));
        rig.addNote(QStringLiteral("Plan"), false, highID);
        rig.addNote(QStringLiteral("note 2"));
        rig.addNote(QStringLiteral("Plan"), false, lowID);
        rig.addNote(QStringLiteral("Quick Captures"), true);
        rig.addNote(QStringLiteral("Archived"))->setDeletedAt(snipTime(3));
        CanvasCard *snip = rig.addSnip(own->id(), QStringLiteral("S"), 1);
        rig.save();
        SnipsLibraryModel model(*rig.library, *rig.navigation);
        QStringList titles;
        QList<QUuid> ids;
        for (const Board *board : model.noteTargets(snip)) {
            titles.append(board->title());
            ids.append(board->id());
        }
        QCOMPARE(titles, (QStringList{"note 2", "Note 10", "Plan", "Plan"}));
        QCOMPARE(ids.mid(2), (QList<QUuid>{lowID, highID}));
    }

    void noteMenuTitle_data()
    {
        QTest::addColumn<QString>("owner");
        QTest::addColumn<QString>("expected");
        QTest::newRow("inbox") << QStringLiteral("inbox") << QStringLiteral("Move to Note");
        QTest::newRow("deleted inbox") << QStringLiteral("deleted inbox") << QStringLiteral("Move to Note");
        QTest::newRow("regular") << QStringLiteral("regular") << QStringLiteral("Add to Note");
        QTest::newRow("deleted note") << QStringLiteral("deleted") << QStringLiteral("Add to Note");
        QTest::newRow("missing") << QStringLiteral("missing") << QStringLiteral("Add to Note");
    }

    void noteMenuTitle()
    {
        QFETCH(QString, owner);
        QFETCH(QString, expected);
        SnipsLibraryRig rig;
        Board *note = rig.addNote(QStringLiteral("Owner"), owner.contains(QLatin1String("inbox")));
        if (owner.startsWith(QLatin1String("deleted")))
            note->setDeletedAt(snipTime(2));
        const QUuid boardID = owner == QLatin1String("missing") ? QUuid::createUuid() : note->id();
        CanvasCard *snip = rig.addSnip(boardID, QStringLiteral("S"), 1);
        rig.save();
        SnipsLibraryModel model(*rig.library, *rig.navigation);
        QCOMPARE(model.noteMenuTitle(snip), expected);
    }

    void openPreviewBrowsesTheFilteredList()
    {
        Library library;
        library.model->setQuery(QStringLiteral("atlas"));
        library.model->openPreview(library.twinLow);
        QCOMPARE(library.rig.navigation->galleryCardID(), std::optional<QUuid>(library.twinLow->id()));
        QCOMPARE(library.rig.navigation->galleryBrowseCardIDs(),
                 std::optional<QList<QUuid>>({library.chart->id(), library.twinLow->id(), library.twinHigh->id()}));
    }

    void showInNoteOfADeletedNote()
    {
        Library library;
        library.model->showInNote(library.sketch);
        QCOMPARE(library.rig.navigation->destination(), std::optional<SidebarDestination>(SidebarDestination::notes()));
        QCOMPARE(library.rig.navigation->activeBoardID(), std::optional<QUuid>(library.oldPlans->id()));
    }

    // "Notes" does not list the Quick Captures note: shown there, its snip
    // would leave the window on an empty page.
    void showInNoteOfAQuickCapture()
    {
        Library library;
        library.rig.navigation->setDestination(SidebarDestination::captures());
        library.model->showInNote(library.invoice);
        QCOMPARE(library.rig.navigation->destination(), std::optional<SidebarDestination>(SidebarDestination::inbox()));
        QCOMPARE(library.rig.navigation->activeBoardID(), std::optional<QUuid>(library.inbox->id()));
    }

    void navigationTargetsOnlyRecordTheCard()
    {
        Library library;
        library.model->setNavigationCardID(library.chart, SnipsLibraryModel::NavigationTarget::captureReview);
        QCOMPARE(library.rig.navigation->captureReviewCardID(), std::optional<QUuid>(library.chart->id()));
        QCOMPARE(library.rig.navigation->frameComposerCardID(), std::nullopt);
        library.model->setNavigationCardID(library.invoice, SnipsLibraryModel::NavigationTarget::frameComposer);
        QCOMPARE(library.rig.navigation->frameComposerCardID(), std::optional<QUuid>(library.invoice->id()));
        QCOMPARE(library.rig.navigation->captureReviewCardID(), std::optional<QUuid>(library.chart->id()));
    }

    void moveToTrashLeavesConnectionsAndReferences()
    {
        Library library;
        Connection *link = library.rig.connect(library.chart, library.twinLow);
        BoardWritingDocument writing = library.atlas->writingDocument();
        writing.blocks.append(BoardWritingBlock::cardReference(library.chart->id()));
        QVERIFY(library.atlas->updateWritingDocument(writing, snipTime(6)));
        library.rig.save();
        const qsizetype blocks = library.atlas->writingDocument().blocks.size();

        library.model->moveToTrash(library.chart);
        QCOMPARE(library.chart->deletedAt(), std::optional<QDateTime>(snipTime(1000)));
        QVERIFY(!library.rig.context().hasChanges());
        QVERIFY(!library.shownTitles().contains(QStringLiteral("Chart")));
        QVERIFY(link->isLive());
        QCOMPARE(library.atlas->writingDocument().blocks.size(), blocks);
    }

    void moveToTrashWhoseSaveFailsKeepsTheSnipAndOtherEdits()
    {
        Library library;
        // An edit of another screen waiting for its own save.
        library.invoice->setContextText(QStringLiteral("Typed, not yet saved"));
        library.rig.context().failNextSave(StoreError{QStringLiteral("disk full")});
        library.model->moveToTrash(library.chart);
        QVERIFY(library.chart->isLive());
        QVERIFY(!library.chart->hasChanges());
        QCOMPARE(library.shownTitles().first(), QStringLiteral("Chart"));
        QCOMPARE(library.model->errorMessage(), std::optional<QString>(QStringLiteral("disk full")));
        QCOMPARE(library.invoice->contextText(), QStringLiteral("Typed, not yet saved"));
        QVERIFY(library.invoice->hasChanges());
        QVERIFY(library.rig.context().hasChanges());
    }

    void addSnip_data()
    {
        QTest::addColumn<QString>("snip");
        QTest::addColumn<bool>("moves");
        QTest::newRow("out of the inbox") << QStringLiteral("Invoice") << true;
        QTest::newRow("out of a deleted note") << QStringLiteral("Plan sketch") << true;
        QTest::newRow("from a regular note") << QStringLiteral("Chart") << false;
    }

    void addSnip()
    {
        QFETCH(QString, snip);
        QFETCH(bool, moves);
        Library library;
        Board *target = library.rig.addNote(QStringLiteral("Target"));
        library.rig.save();
        CanvasCard *card = nullptr;
        for (CanvasCard *shown : library.model->shownCards()) {
            if (shown->displayTitle() == snip)
                card = shown;
        }
        QVERIFY(card);
        const QUuid before = card->boardID();
        library.model->addSnip(card, target);
        QCOMPARE(library.model->errorMessage(), std::nullopt);
        QCOMPARE(card->boardID(), moves ? target->id() : before);
        const QList<BoardWritingBlock> blocks = target->writingDocument().blocks;
        QVERIFY(std::any_of(blocks.cbegin(), blocks.cend(), [card](const BoardWritingBlock &block) {
            return ThinkingSessionService::blockReferencesCard(block, card);
        }));
        const int row = int(library.model->shownCards().indexOf(card));
        QCOMPARE(library.model->index(row).data(SnipsLibraryModel::NoteTitleRole).toString(),
                 moves ? QStringLiteral("Target") : SnipsLibraryModel::noteTitle(card, library.rig.library->boards()));
    }

    void addSnipToANoteDeletedMeanwhileReports()
    {
        Library library;
        Board *target = library.rig.addNote(QStringLiteral("Target"));
        library.rig.save();
        target->setDeletedAt(snipTime(900));
        library.rig.save();
        QSignalSpy alert(library.model.get(), &SnipsLibraryModel::errorMessageChanged);
        library.model->addSnip(library.invoice, target);
        QCOMPARE(library.model->errorMessage(), std::optional<QString>(QStringLiteral("The selected note no longer exists.")));
        QCOMPARE(alert.count(), 1);
        QCOMPARE(library.invoice->boardID(), library.inbox->id());
    }

    void copyDrawsTheAnnotations()
    {
        SnipsLibraryRig rig;
        Board *note = rig.addNote(QStringLiteral("N"));
        CanvasCard *marked = rig.addSnip(note->id(), QStringLiteral("Marked"), 1);
        marked->setOriginalImageData(pngOf(Qt::white));
        marked->setAnnotationDocumentData(coveringRectangle({1, 0, 0, 1}));
        CanvasCard *thumbOnly = rig.addSnip(note->id(), QStringLiteral("Thumb"), 2);
        thumbOnly->setThumbnailImageData(pngOf(Qt::blue));
        rig.save();

        SnipsLibraryModel model(*rig.library, *rig.navigation);
        RecordingPasteboard pasteboard;
        // Read and encoded off the main thread: nothing is there at once.
        const auto copy = [&](const CanvasCard *card, bool *atOnce = nullptr) -> std::optional<bool> {
            const auto copied = std::make_shared<std::optional<bool>>();
            model.copyImage(card, pasteboard, [copied](bool done) { *copied = done; });
            if (atOnce)
                *atOnce = copied->has_value() || !pasteboard.entries.isEmpty();
            if (!QTest::qWaitFor([&] { return copied->has_value(); }))
                return std::nullopt;
            return *copied;
        };
        bool atOnce = true;
        QCOMPARE(copy(marked, &atOnce), std::optional(true));
        QVERIFY(!atOnce);
        const QImage copied = QImage::fromData(pasteboard.entries.value(QStringLiteral("image/png")));
        QCOMPARE(copied.size(), QSize(64, 40));
        const QColor edge = copied.pixelColor(1, 20);
        QVERIFY2(edge.red() > 200 && edge.green() < 60, qPrintable(edge.name()));

        // A picture made only from the thumbnail is not a captured image.
        pasteboard.entries.clear();
        QCOMPARE(copy(thumbOnly), std::optional(false));
        QVERIFY(pasteboard.entries.isEmpty());

        // Annotations that cannot be read are never left out of a copy.
        marked->setAnnotationDocumentData(QByteArray(R"({"items":[{"tool":"blur"}],"version":3})"));
        rig.save();
        QCOMPARE(copy(marked), std::optional(false));
        QVERIFY(pasteboard.entries.isEmpty());
    }
};

QTEST_MAIN(TestSnipsLibraryModel)
#include "tst_snipslibrarymodel.moc"
