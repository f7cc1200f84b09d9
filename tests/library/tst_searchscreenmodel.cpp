#include "../support/MainWindowRig.h"

#include "library/SearchCorpus.h"
#include "library/SearchScreenModel.h"
#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/ModelChangeScope.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "platform/BackgroundPool.h"
#include "platform/MappedScratchFile.h"
#include "runtime/LibraryQuery.h"
#include "runtime/NavigationState.h"

#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

// Atlas with a whiteboard snip and a thought, the inbox with a receipt snip,
// and the window's live query over them.
struct Fixture
{
    Fixture()
    {
        atlas = rig.addNote(QStringLiteral("Project Atlas"));
        atlas->setUpdatedAt(at(10));
        inbox = rig.addNote(QStringLiteral("Quick Captures"), 1, true);
        inbox->setUpdatedAt(at(5));
        photo = rig.addCard(atlas, CardKind::snip, 20);
        photo->setContextText(QStringLiteral("Whiteboard photo"));
        rig.addCard(atlas, CardKind::thought, 25)->setMarkdownText(QStringLiteral("Whiteboard follow-up"));
        scan = rig.addCard(inbox, CardKind::snip, 30);
        scan->setContextText(QStringLiteral("Receipt scan"));
        if (!rig.context().save())
            qFatal("fixture save failed");
        library = std::make_unique<LibraryQuery>(rig.context());
    }

    std::unique_ptr<SearchScreenModel> makeModel()
    {
        return std::make_unique<SearchScreenModel>(*library, rig.navigation(), SearchCorpus::of(*library),
                                                   [this](const QUuid &boardID, const QUuid &cardID) {
                                                       opened.append({boardID, cardID});
                                                   });
    }

    // `count` snips under Atlas, saved in one go, each with the word `word`.
    void addSnips(int count, const QString &word)
    {
        for (int i = 0; i < count; ++i)
            rig.addCard(atlas, CardKind::snip, 100 + i)->setOcrText(word + QStringLiteral(" %1").arg(i));
        QVERIFY(rig.context().save());
    }

    MainWindowRig rig;
    Board *atlas = nullptr;
    Board *inbox = nullptr;
    CanvasCard *photo = nullptr;
    CanvasCard *scan = nullptr;
    std::unique_ptr<LibraryQuery> library;
    QList<QPair<QUuid, QUuid>> opened;
};

std::unique_ptr<ModelContainer> openLibraryIn(const QString &directory)
{
    ModelContainer::Configuration configuration;
    configuration.directory = directory;
    auto container = ModelContainer::open(configuration);
    return container ? std::move(*container) : nullptr;
}

enum class Edit { none, unsaved, saved, trashed, purged };

// A library file whose cards hold letters that folding treats apart, among
// enough plain ones that the corpus keeps their folded texts in its scratch
// file, read back through the search's own corpus.
struct FoldingLibrary
{
    FoldingLibrary()
    {
        {
            auto writer = openLibraryIn(dir.path());
            if (!writer)
                qFatal("cannot make the library");
            ModelContext &context = *writer->mainContext();
            Board *harbour = addNote(context, NoteFields{.title = QStringLiteral("Harbour Straße")});
            Board *greek = addNote(context, NoteFields{.title = QStringLiteral("ὈΔΥΣΣΕΎΣ")});
            const QString filler = QStringLiteral("Lighthouse keeper's log, tide tables and weather. ").repeated(12);
            for (int i = 0; i < 150; ++i)
                addCard(context, harbour->id(), CardFields{.created = at(i)})->setOcrText(filler + QString::number(i));
            const auto card = [&](Board *note, int minutes, const QString &title) {
                return addCard(context, note->id(), CardFields{.title = title, .created = at(1000 + minutes)});
            };
            card(harbour, 1, QStringLiteral("Weg nach İstanbul"))->setOcrText(QStringLiteral("GROẞE Pläne, ΟΔΟΣ"));
            card(harbour, 2, QString())->setMarkdownText(QStringLiteral("Café résumé cafe\u0301 naïve"));
            // A first line longer than a title: the title stops within it.
            card(harbour, 3, QString())
                ->setContextText(QStringLiteral("Quarterly figures ").repeated(6) + QStringLiteral("end\nsecond line"));
            card(greek, 4, QString())->setOcrText(QStringLiteral("𝐀𝐁𝐂 bold and 😀 smile, Σίσυφος"));
            CanvasCard *wide = card(greek, 5, QStringLiteral("ＦＵＬＬ ﬁle"));
            wide->setSourceWindowTitle(QStringLiteral("한국어 노트"));
            wide->setSourceApplicationName(QStringLiteral("Ǆungla"));
            if (!context.save())
                qFatal("cannot save the library");
        }
        container = openLibraryIn(dir.path());
        if (!container)
            qFatal("cannot open the library");
        library = std::make_unique<LibraryQuery>(*container->mainContext());
    }

    QTemporaryDir dir;
    std::unique_ptr<ModelContainer> container;
    std::unique_ptr<LibraryQuery> library;
};

QStringList idsOf(const auto &entities)
{
    QStringList ids;
    for (const auto *entity : entities)
        ids.append(entity->id().toString());
    ids.sort();
    return ids;
}

} // namespace

Q_DECLARE_METATYPE(Edit)

class SearchScreenModelTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void whatTheScreenShows_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<SearchScope>("scope");
        QTest::addColumn<SearchScreenModel::Content>("content");
        QTest::addColumn<QString>("subtitle");
        QTest::addColumn<QString>("heading"); // the empty state's title, or the result count
        QTest::addColumn<QStringList>("notes");
        QTest::addColumn<int>("snips");
        QTest::addColumn<bool>("clears");
        const QString idle = QStringLiteral("Everything stays searchable on this computer.");
        const auto prompt = SearchScreenModel::Content::prompt;
        const auto results = SearchScreenModel::Content::results;
        const auto none = SearchScreenModel::Content::noMatches;
        const QString find = QStringLiteral("Find a note or snip");
        const QStringList atlas{QStringLiteral("Project Atlas")};
        QTest::newRow("nothing typed") << QString() << SearchScope::all << prompt << idle << find << QStringList() << 0 << false;
        QTest::newRow("spaces") << QStringLiteral("  ") << SearchScope::all << prompt << idle << find << QStringList() << 0 << true;
        QTest::newRow("note and snip") << QStringLiteral(" whiteboard ") << SearchScope::all << results
                                       << QStringLiteral("Looking for \u201Cwhiteboard\u201D") << QStringLiteral("2 Results")
                                       << atlas << 1 << true;
        QTest::newRow("notes only") << QStringLiteral("whiteboard") << SearchScope::notes << results
                                    << QStringLiteral("Looking for \u201Cwhiteboard\u201D") << QStringLiteral("1 Result")
                                    << atlas << 0 << true;
        QTest::newRow("snips only") << QStringLiteral("receipt") << SearchScope::snips << results
                                    << QStringLiteral("Looking for \u201Creceipt\u201D") << QStringLiteral("1 Result")
                                    << QStringList() << 1 << true;
        QTest::newRow("no match") << QStringLiteral("zebra") << SearchScope::snips << none
                                  << QStringLiteral("Looking for \u201Czebra\u201D") << QStringLiteral("No matches")
                                  << QStringList() << 0 << true;
        QTest::newRow("all notes") << QStringLiteral("a") << SearchScope::all << results
                                   << QStringLiteral("Looking for \u201Ca\u201D") << QStringLiteral("4 Results")
                                   << QStringList{QStringLiteral("Project Atlas"), QStringLiteral("Quick Captures")} << 2 << true;
    }
    void whatTheScreenShows()
    {
        QFETCH(QString, typed);
        QFETCH(SearchScope, scope);
        QFETCH(SearchScreenModel::Content, content);
        QFETCH(QString, subtitle);
        QFETCH(QString, heading);
        QFETCH(QStringList, notes);
        QFETCH(int, snips);
        QFETCH(bool, clears);
        Fixture fixture;
        auto model = fixture.makeModel();
        QSignalSpy searched(model.get(), &SearchScreenModel::resultsChanged);
        model->setScope(scope);
        model->setSearchText(typed);
        QVERIFY(!searched.isEmpty() || typed.isEmpty());
        QCOMPARE(fixture.rig.navigation().searchText(), typed);
        QCOMPARE(model->content(), content);
        QCOMPARE(model->subtitle(), subtitle);
        QCOMPARE(model->subtitleWraps(), content == SearchScreenModel::Content::prompt);
        QCOMPARE(content == SearchScreenModel::Content::results ? model->resultCountText() : model->emptyTitle(), heading);
        QCOMPARE(model->emptyMessage().isEmpty(), content == SearchScreenModel::Content::results);
        QStringList titles;
        for (const Board *note : model->noteResults())
            titles.append(note->title());
        QCOMPARE(titles, notes);
        QCOMPARE(model->snipResults().size(), snips);
        QCOMPARE(model->noteMatchText(), searchMatchCountText(notes.size()));
        QCOMPARE(model->showsClearButton(), clears);
        model->clear();
        QCOMPARE(model->content(), SearchScreenModel::Content::prompt);
        QVERIFY(!model->showsClearButton());
    }

    // Tiles open by the id they carry; an id that is no longer a hit (the
    // library changed under the tile) opens nothing.
    void openingByID()
    {
        Fixture fixture;
        auto model = fixture.makeModel();
        model->setSearchText(QStringLiteral("receipt"));
        model->openSnip(fixture.scan->id());
        QCOMPARE(fixture.opened, (QList<QPair<QUuid, QUuid>>{{fixture.inbox->id(), fixture.scan->id()}}));
        model->openNote(fixture.inbox->id());
        QCOMPARE(fixture.rig.navigation().destination(), SidebarDestination::inbox());
        QCOMPARE(fixture.rig.navigation().activeBoardID(), fixture.inbox->id());

        fixture.rig.navigation().setDestination(SidebarDestination::search());
        model->openSnip(fixture.photo->id());
        model->openNote(fixture.atlas->id());
        QCOMPARE(fixture.opened.size(), 1);
        QCOMPARE(fixture.rig.navigation().destination(), SidebarDestination::search());
        QCOMPARE(model->boardTitle(*fixture.scan), std::optional<QString>(QStringLiteral("Quick Captures")));
        QCOMPARE(model->excerpt(*fixture.inbox), fixture.scan->displayTitle() + QStringLiteral("\n\nReceipt scan\n\n\n\nThought"));
    }

    // The window keeps one corpus: a screen made again finds with the texts
    // folded for the one before, and folds nothing itself.
    void theCorpusOutlivesTheScreen()
    {
        Fixture fixture;
        SearchCorpus &corpus = SearchCorpus::of(*fixture.library);
        QCOMPARE(&SearchCorpus::of(*fixture.library), &corpus);
        QSignalSpy prepared(&corpus, &SearchCorpus::prepared);
        QVERIFY(corpus.isPrepared() || prepared.wait());
        const qsizetype folded = corpus.keptCount();
        QCOMPARE(folded, 5);
        fixture.rig.navigation().setSearchText(QStringLiteral("whiteboard"));
        for (int visit = 0; visit < 2; ++visit) {
            auto model = fixture.makeModel();
            QCOMPARE(model->noteResults().size(), 1);
            QCOMPARE(model->snipResults().size(), 1);
        }
        QCOMPARE(corpus.keptCount(), folded);
    }

    // Only what a search reads or orders by sends the corpus back to work:
    // a card moved about on its map does not.
    void onlySearchedWritesCount_data()
    {
        QTest::addColumn<bool>("moved");
        QTest::newRow("moved on the map") << true;
        QTest::newRow("recognised text written") << false;
    }
    void onlySearchedWritesCount()
    {
        QFETCH(bool, moved);
        Fixture fixture;
        SearchCorpus &corpus = SearchCorpus::of(*fixture.library);
        QTRY_VERIFY(corpus.isPrepared());
        if (moved)
            fixture.photo->setCanvasX(fixture.photo->canvasX() + 40);
        else
            fixture.photo->setOcrText(QStringLiteral("Whiteboard photo, again"));
        QCOMPARE(corpus.isPrepared(), moved);
        QTRY_VERIFY(corpus.isPrepared());
        QCOMPARE(corpus.keptCount(), 5);
    }

    // Many texts at once (a large library's start, a big import) are folded
    // on a worker: the search at hand finds what is folded so far, and the
    // hits follow once the fold is in. A few written texts show at once. A
    // text written while its fold is under way is found as last written. A
    // large library is also grouped on the worker, and searched as grouped
    // last until the new grouping is in.
    void foldsFollowTheLibrary_data()
    {
        QTest::addColumn<int>("added");
        QTest::addColumn<bool>("writtenDuringTheFold");
        QTest::addColumn<bool>("large");
        QTest::newRow("a few") << 3 << false << false;
        QTest::newRow("many") << 600 << false << false;
        QTest::newRow("many, one written again") << 600 << true << false;
        QTest::newRow("a few, large library") << 3 << false << true;
        QTest::newRow("many, one written again, large library") << 600 << true << true;
    }
    void foldsFollowTheLibrary()
    {
        QFETCH(int, added);
        QFETCH(bool, writtenDuringTheFold);
        QFETCH(bool, large);
        Fixture fixture;
        SearchCorpus &corpus = SearchCorpus::of(*fixture.library);
        if (large)
            corpus.setLargeLibrary(0);
        QSignalSpy prepared(&corpus, &SearchCorpus::prepared);
        QVERIFY(corpus.isPrepared() || prepared.wait());
        auto model = fixture.makeModel();
        model->setSearchText(QStringLiteral("lighthouse"));
        // A large library's hits come from the worker.
        QTRY_COMPARE(model->content(), SearchScreenModel::Content::noMatches);

        prepared.clear();
        fixture.addSnips(added, QStringLiteral("Lighthouse"));
        const bool waits = added > 256 || large;
        if (waits)
            QVERIFY(!corpus.isPrepared());
        QCOMPARE(model->snipResults().size(), waits ? 0 : added);
        if (writtenDuringTheFold) {
            // The walk hands the texts to the worker, then one is written.
            QCoreApplication::processEvents();
            CanvasCard *last = fixture.library->cards().last();
            last->setOcrText(QStringLiteral("Beacon"));
            QVERIFY(fixture.rig.context().save());
        }
        QTRY_VERIFY(corpus.isPrepared());
        QTRY_COMPARE(model->snipResults().size(), writtenDuringTheFold ? added - 1 : added);
        QCOMPARE(model->noteResults().size(), 1);
        model->setSearchText(QStringLiteral("beacon"));
        QTRY_COMPARE(model->query(), QStringLiteral("beacon"));
        QCOMPARE(model->snipResults().size(), writtenDuringTheFold ? 1 : 0);
        QCOMPARE(corpus.keptCount(), 5 + added);
    }

    // A library read from its file: the corpus reads the cards' long texts
    // from the file itself, so the model never holds them (a screen that
    // shows a card reads its own). A search asked before that is done
    // finds every hit once it is. A card changed since is found by its new
    // words and not its old ones; one in Recently Deleted or deleted for
    // good is not found.
    void feedsFromTheLibraryFile_data()
    {
        QTest::addColumn<Edit>("edit");
        QTest::newRow("as stored") << Edit::none;
        QTest::newRow("text written, not saved") << Edit::unsaved;
        QTest::newRow("text written and saved") << Edit::saved;
        QTest::newRow("moved to Recently Deleted") << Edit::trashed;
        QTest::newRow("deleted for good") << Edit::purged;
    }
    void feedsFromTheLibraryFile()
    {
        QFETCH(Edit, edit);
        constexpr int stored = 300;
        QTemporaryDir dir;
        {
            auto writer = openLibraryIn(dir.path());
            QVERIFY(writer);
            ModelContext &context = *writer->mainContext();
            Board *harbour = addNote(context, NoteFields{.title = QStringLiteral("Harbour")});
            for (int i = 0; i < stored; ++i)
                addCard(context, harbour->id(), CardFields{.created = at(i)})
                    ->setOcrText(QStringLiteral("Lighthouse keeper, log %1").arg(i));
            QVERIFY(context.save());
        }
        auto container = openLibraryIn(dir.path());
        QVERIFY(container);
        ModelContext &context = *container->mainContext();
        LibraryQuery library(context);
        MainWindowRig rig;
        rig.navigation().setSearchText(QStringLiteral("LIGHTHOUSE"));
        SearchCorpus &corpus = SearchCorpus::of(library);
        SearchScreenModel model(library, rig.navigation(), corpus, {});
        QTRY_COMPARE(model.snipResults().size(), stored);
        QVERIFY(corpus.isPrepared());
        for (const CanvasCard *card : library.cards())
            QVERIFY(card->unreadTextsRow() > 0);

        CanvasCard *first = library.cards().first();
        switch (edit) {
        case Edit::none:
            break;
        case Edit::unsaved:
        case Edit::saved:
            first->setOcrText(QStringLiteral("Beacon"));
            if (edit == Edit::saved)
                QVERIFY(context.save());
            break;
        case Edit::trashed:
            first->moveToTrash(at(1000));
            QVERIFY(context.save());
            break;
        case Edit::purged:
            context.remove(first);
            QVERIFY(context.save());
            library.refresh();
            break;
        }
        // The phrase typed again makes the screen search again, as an
        // unsaved edit sends no notice to the window's lists.
        rig.navigation().setSearchText(QStringLiteral("lighthouse"));
        QTRY_VERIFY(corpus.isPrepared());
        QCOMPARE(model.snipResults().size(), edit == Edit::none ? stored : stored - 1);
        QCOMPARE(model.snipResults().contains(first), edit == Edit::none);
        rig.navigation().setSearchText(QStringLiteral("beacon"));
        const bool beacon = edit == Edit::unsaved || edit == Edit::saved;
        QCOMPARE(model.snipResults(), beacon ? QList<CanvasCard *>{first} : QList<CanvasCard *>());
        // Only the written card's texts were read into the model.
        for (const CanvasCard *card : library.cards()) {
            if (card != first)
                QVERIFY(card->unreadTextsRow() > 0);
        }
    }

    // A key typed over a large library never waits for its search: the
    // hits of the phrase before stay, with the texts that go with them,
    // until the worker's are in; a key typed meanwhile wins over hits that
    // come in late, and no text leaves the prompt at once.
    void keystrokesOverALargeLibraryNeverWait_data()
    {
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<int>("snips"); // hits of the last phrase
        QTest::newRow("a phrase") << QStringList{"whiteboard"} << 1;
        QTest::newRow("narrowed letter by letter") << QStringList{"r", "re", "rec", "receipt"} << 1;
        QTest::newRow("typed over") << QStringList{"whiteboard", "receipt scan"} << 1;
        QTest::newRow("found nowhere") << QStringList{"lantern"} << 0;
        QTest::newRow("cleared") << QStringList{"whiteboard", " "} << 0;
    }
    void keystrokesOverALargeLibraryNeverWait()
    {
        QFETCH(QStringList, typed);
        QFETCH(int, snips);
        Fixture fixture;
        SearchCorpus &corpus = SearchCorpus::of(*fixture.library);
        corpus.setLargeLibrary(0);
        QTRY_VERIFY(corpus.isPrepared());
        auto model = fixture.makeModel();
        model->setSearchText(QStringLiteral("project"));
        QTRY_COMPARE(model->content(), SearchScreenModel::Content::results);
        const QList<Board *> before = model->noteResults();
        QSignalSpy changed(model.get(), &SearchScreenModel::resultsChanged);
        for (const QString &text : std::as_const(typed)) {
            model->setSearchText(text);
            QCOMPARE(model->searchText(), text);
            if (!trimmedWhitespace(text).isEmpty()) {
                // Nothing found on this thread: what was shown stays.
                QCOMPARE(changed.size(), 0);
                QCOMPARE(model->query(), QStringLiteral("project"));
                QCOMPARE(model->noteResults(), before);
                QCOMPARE(model->subtitle(), QStringLiteral("Looking for \u201Cproject\u201D"));
            }
        }
        const QString last = trimmedWhitespace(typed.constLast());
        QTRY_COMPARE(model->query(), last);
        if (last.isEmpty()) {
            QCOMPARE(model->content(), SearchScreenModel::Content::prompt);
        } else {
            QCOMPARE(model->content(),
                     snips ? SearchScreenModel::Content::results : SearchScreenModel::Content::noMatches);
            QCOMPARE(model->snipResults().size(), snips);
        }
        // Hits of the keys typed over never come in after the last.
        backgroundPool().waitForDone();
        QCoreApplication::processEvents();
        QCOMPARE(model->query(), last);
        QCOMPARE(model->snipResults().size(), snips);
    }

    // A screen opening on a kept phrase over a large library shows its
    // frame at once and the hits once the worker has found them; a phrase
    // typed meanwhile wins over what comes in late.
    void openingOnAKeptPhrase_data()
    {
        QTest::addColumn<bool>("typedMeanwhile");
        QTest::addColumn<bool>("beforeTheFold");
        QTest::newRow("hits come in") << false << false;
        QTest::newRow("typed over before they do") << true << false;
        QTest::newRow("opened before the library is folded") << false << true;
    }
    void openingOnAKeptPhrase()
    {
        QFETCH(bool, typedMeanwhile);
        QFETCH(bool, beforeTheFold);
        Fixture fixture;
        SearchCorpus &corpus = SearchCorpus::of(*fixture.library);
        corpus.setLargeLibrary(0);
        if (!beforeTheFold)
            QTRY_VERIFY(corpus.isPrepared());
        fixture.rig.navigation().setSearchText(QStringLiteral("  whiteboard "));
        auto model = fixture.makeModel();
        QCOMPARE(model->content(), SearchScreenModel::Content::searching);
        QCOMPARE(model->subtitle(), QStringLiteral("Looking for \u201Cwhiteboard\u201D"));
        QCOMPARE(model->emptyTitle(), QString());
        QVERIFY(model->noteResults().isEmpty() && model->snipResults().isEmpty());
        if (typedMeanwhile) {
            model->setSearchText(QStringLiteral("receipt"));
            backgroundPool().waitForDone();
            QCoreApplication::processEvents();
            QCOMPARE(model->content(), SearchScreenModel::Content::results);
            QCOMPARE(model->snipResults(), QList<CanvasCard *>{fixture.scan});
            QVERIFY(model->noteResults().size() == 1 && model->noteResults().first() == fixture.inbox);
            return;
        }
        if (beforeTheFold) {
            // Never "No matches" while the library is being folded.
            QSignalSpy changed(model.get(), &SearchScreenModel::resultsChanged);
            while (model->content() != SearchScreenModel::Content::results) {
                QCOMPARE(model->content(), SearchScreenModel::Content::searching);
                QVERIFY(changed.wait());
            }
        }
        QTRY_COMPARE(model->content(), SearchScreenModel::Content::results);
        QCOMPARE(model->noteResults(), QList<Board *>{fixture.atlas});
        QCOMPARE(model->snipResults(), QList<CanvasCard *>{fixture.photo});
    }

    // The corpus's kept texts (folded once, ASCII and not, in the scratch
    // file, titles left out where the text holds them) find what folding
    // each note's and snip's whole text finds, also once the file's pages
    // have left the process.
    void keptTextsFindWhatFoldingFinds_data()
    {
        QTest::addColumn<QString>("query");
        for (const char *query : {"harbour", "LIGHTHOUSE KEEPER", "strasse", "GROSSE PLANE", "grosse", "istanbul",
                                  "İSTANBUL", "i\u0307stanbul", "οδοσ", "ΟΔΟΣ", "οδος", "odysseus", "ὀδυσσεύς", "σισυφος",
                                  "ΣΊΣΥΦΟΣ", "cafe", "CAFÉ", "cafe\u0301 naive", "resume", "abc", "𝐀𝐁", "😀 smile", "😀",
                                  "\U0001F600x", "full file", "ｆｕｌｌ", "한국", "한", "dzungla", "ǆ", "figures end",
                                  "quarterly figures quarterly", "end\nsecond", "log\nanything", "zebra"})
            QTest::newRow(query) << QString::fromUtf8(query);
    }
    void keptTextsFindWhatFoldingFinds()
    {
        QFETCH(QString, query);
        if (!m_foldingLibrary)
            m_foldingLibrary = std::make_unique<FoldingLibrary>();
        LibraryQuery &library = *m_foldingLibrary->library;
        SearchCorpus &corpus = SearchCorpus::of(library);
        QTRY_VERIFY(corpus.isPrepared());
        QVERIFY(corpus.heldBytes().textsInFile > 0 || !MappedScratchFile::create(m_foldingLibrary->dir.path()));
        const SearchResults found(query, SearchScope::all, corpus);
        // Folding reads the cards' texts into the model; the corpus has
        // searched by then.
        QList<Board *> notes;
        QList<CanvasCard *> snips;
        for (Board *note : library.boards()) {
            if (noteMatchesQuery(*note, found.cardsOfBoard(note->id()), query))
                notes.append(note);
            for (CanvasCard *card : found.cardsOfBoard(note->id())) {
                if (snipMatchesQuery(*card, *note, query))
                    snips.append(card);
            }
        }
        QCOMPARE(idsOf(found.noteResults()), idsOf(notes));
        QCOMPARE(idsOf(found.snipResults()), idsOf(snips));
        // Its pages gone from the process, the scratch file reads the same.
        corpus.dropFilePages();
        const SearchResults again(query + QStringLiteral(" "), SearchScope::all, corpus);
        QCOMPARE(again.noteResults(), found.noteResults());
        QCOMPARE(again.snipResults(), found.snipResults());
    }

    // The corpus follows a save that adds cards by reading those alone, and
    // writes by reading the written ones: after every step of each sequence
    // it finds what a corpus made afresh over the same lists finds.
    void followsChangesAsAFreshCorpusFinds_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("large");
        const QList<std::pair<const char *, QStringList>> sequences{
            {"captures one by one", {"add", "add", "add"}},
            {"moved, trashed, restored", {"add", "move", "trash", "restore", "add"}},
            {"written unsaved, then rolled back", {"add", "write", "rollback", "add"}},
            {"a failed save taken back by its scope", {"add", "fail", "add", "move"}},
            {"deleted for good between captures", {"add", "add", "purge", "add"}},
            // Read again whole before any text is folded, as a large
            // library is at the start: every row waits for its text.
            {"deleted for good before the first fold", {"purge", "add", "move"}},
            {"a note added among captures", {"add", "note", "add", "move"}},
            // The note list is in sort-index order: a new note may stand
            // before the others, or between them.
            {"notes put among the others", {"first note", "add", "middle note", "move", "add"}},
            {"a note put among the others, renamed", {"middle note", "rename", "add"}},
            // Two notes with one id and one date: the one listed first wins,
            // wherever it was put.
            {"a note's twin put before it", {"add", "twin", "add", "move"}},
        };
        for (const auto &[name, steps] : sequences) {
            QTest::addRow("%s", name) << steps << false;
            QTest::addRow("%s, large library", name) << steps << true;
        }
    }
    void followsChangesAsAFreshCorpusFinds()
    {
        QFETCH(QStringList, steps);
        QFETCH(bool, large);
        Fixture fixture;
        ModelContext &context = fixture.rig.context();
        SearchCorpus &corpus = SearchCorpus::of(*fixture.library);
        if (large)
            corpus.setLargeLibrary(0);
        CanvasCard *last = fixture.scan;
        int added = 0;
        for (const QString &step : steps) {
            if (step == QLatin1String("add")) {
                last = fixture.rig.addCard(fixture.atlas, CardKind::snip, 100 + added);
                last->setOcrText(QStringLiteral("Lighthouse %1").arg(added++));
                QVERIFY(context.save());
            } else if (step == QLatin1String("note")) {
                Board *harbour = fixture.rig.addNote(QStringLiteral("Lighthouse harbour"), 2);
                harbour->setUpdatedAt(at(60));
                last = fixture.rig.addCard(harbour, CardKind::snip, 70);
                last->setContextText(QStringLiteral("Receipt from the harbour"));
                QVERIFY(context.save());
            } else if (step == QLatin1String("first note") || step == QLatin1String("middle note")) {
                // Atlas stands at 0 and the inbox at 1.
                Board *note = fixture.rig.addNote(QStringLiteral("Lighthouse %1").arg(step),
                                                  step == QLatin1String("first note") ? -1 : 0.5);
                note->setUpdatedAt(at(60 + added));
                last = fixture.rig.addCard(note, CardKind::snip, 70 + added++);
                last->setContextText(QStringLiteral("Receipt from the lighthouse"));
                QVERIFY(context.save());
            } else if (step == QLatin1String("twin")) {
                Board *twin = fixture.rig.addNote(QStringLiteral("Harbour twin"), -1);
                twin->setId(fixture.atlas->id());
                twin->setUpdatedAt(fixture.atlas->updatedAt());
                QVERIFY(context.save());
            } else if (step == QLatin1String("rename")) {
                Board *renamed = fixture.library->boards().at(1);
                renamed->setTitle(QStringLiteral("Lantern harbour"));
                QVERIFY(context.save());
            } else if (step == QLatin1String("move")) {
                last->setBoardID(fixture.inbox->id());
                last->setUpdatedAt(at(400));
                QVERIFY(context.save());
            } else if (step == QLatin1String("trash")) {
                last->setDeletedAt(at(500));
                QVERIFY(context.save());
            } else if (step == QLatin1String("restore")) {
                last->setDeletedAt(std::nullopt);
                QVERIFY(context.save());
            } else if (step == QLatin1String("purge")) {
                context.remove(last);
                QVERIFY(context.save());
                last = fixture.library->cards().constLast();
            } else if (step == QLatin1String("write")) {
                last->setOcrText(QStringLiteral("Lantern"));
                last->setBoardID(fixture.inbox->id());
                fixture.photo->setUpdatedAt(at(900));
            } else if (step == QLatin1String("rollback")) {
                context.rollback();
            } else if (step == QLatin1String("fail")) {
                ModelChangeScope scope(context);
                last->setOcrText(QStringLiteral("Lantern"));
                last->setDeletedAt(at(600));
                fixture.scan->setUpdatedAt(at(950));
                context.failNextSave(StoreError{QStringLiteral("The disk is full.")});
                QVERIFY(!scope.saveOrUndo());
            }
            // Written unsaved, the texts are folded and grouped too.
            QTRY_VERIFY(corpus.isPrepared());
            for (const char *query : {"lighthouse", "lantern", "whiteboard", "receipt", "harbour", "e"}) {
                for (const SearchScope scope : {SearchScope::all, SearchScope::notes, SearchScope::snips}) {
                    SearchCorpus fresh;
                    const QString text = QString::fromUtf8(query);
                    const SearchCorpus::Found expected =
                        fresh.find(fixture.library->boards(), fixture.library->cards(), text, scope);
                    const SearchCorpus::Found found = corpus.find(text, scope);
                    const QByteArray where = (step + QLatin1Char(' ') + text).toUtf8();
                    QVERIFY2(found.notes == expected.notes, where.constData());
                    QVERIFY2(found.snips == expected.snips, where.constData());
                    QVERIFY2(found.cardsByBoardID == expected.cardsByBoardID, where.constData());
                    QVERIFY2(found.boardsByID == expected.boardsByID, where.constData());
                }
            }
        }
    }

    void cleanupTestCase() { m_foldingLibrary.reset(); }

private:
    std::unique_ptr<FoldingLibrary> m_foldingLibrary;
};

QTEST_MAIN(SearchScreenModelTest)
#include "tst_searchscreenmodel.moc"
