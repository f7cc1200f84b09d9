// What the main window does over disk libraries of 1,000, 10,000 and 50,000
// cards, for what grows with the library: each sidebar destination opened
// and painted, a card's gallery, inspector and assistant opened, and the
// actions a user takes while the window's sidebar and query listen (one edit
// saved, a capture counted, a card trashed and restored, a note purged from
// Recently Deleted, a snip moved to a note, a move undone and redone, a note
// brief exported, the Insert Snip picker opened). Every save writes the
// library file.
// After them, the 50,000-card figures of what every save costs the window.
#include "BenchmarkMain.h"
#include "support/LibraryFixture.h"
#include "assistant/AskSuggestionView.h"
#include "assistant/IntelligenceService.h"
#include "canvas/BoardLayoutEditor.h"
#include "canvas/CardInspectorView.h"
#include "library/SearchCorpus.h"
#include "library/SnipGalleryModel.h"
#include "library/SnipGalleryView.h"
#include "library/TrashModel.h"
#include "library/TrashView.h"
#include "library/ZoomableSnipView.h"
#include "runtime/SnipPictureLoader.h"
#include "model/ModelChangeScope.h"
#include "model/StoreUndoStack.h"
#include "model/ThinkingSessionService.h"
#include "notes/BoardBriefExportService.h"
#include "notes/BoardCanvasModel.h"
#include "notes/BoardCanvasView.h"
#include "notes/InsertSnipListModel.h"
#include "notes/InsertSnipPicker.h"
#include "notes/NotesWorkspaceView.h"
#include "runtime/LibraryQuery.h"
#include "runtime/NoteListVisibility.h"
#include "runtime/DesktopSearchIndexService.h"
#include "runtime/TrashActions.h"
#include "shell/SidebarModel.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "notes/NotesWorkspaceModel.h"
#include "platform/UserDefaults.h"
#include "runtime/NavigationState.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QPromise>
#include <QTemporaryDir>

#include <map>

using namespace tessaline;

namespace {

// A copy of a disk library of `cards` cards, opened, with the window's query
// and sidebar listening, kept for every benchmark of that size.
struct Window
{
    explicit Window(int cards)
    {
        container = bench::LibraryFixture::open(bench::LibraryShape{cards}, directory.path());
        if (!container)
            qFatal("the library could not be opened");
        query = std::make_unique<LibraryQuery>(*container->mainContext());
        sidebar = std::make_unique<SidebarModel>(*query, nullptr);
        defaults = std::make_unique<UserDefaults>(directory.filePath(QStringLiteral("settings.ini")));
        navigation = std::make_unique<NavigationState>(*defaults);
    }

    ModelContext &context() const { return *container->mainContext(); }

    // A live snip in a live note that is not the inbox, `nth` of them.
    CanvasCard *snip(int nth = 0) const
    {
        for (CanvasCard *card : query->cards()) {
            const Board *note = query->firstBoard(card->boardID());
            if (card->isLive() && card->kind() == CardKind::snip && note && note->isLive() && !note->isInbox()
                && nth-- == 0)
                return card;
        }
        qFatal("the library holds too few snips");
    }

    // A live note that is not the inbox, `nth` of them.
    Board *note(int nth) const
    {
        for (Board *board : query->boards()) {
            if (board->isLive() && !board->isInbox() && nth-- == 0)
                return board;
        }
        qFatal("the library holds too few notes");
    }

    QTemporaryDir directory;
    std::unique_ptr<ModelContainer> container;
    std::unique_ptr<LibraryQuery> query;
    std::unique_ptr<SidebarModel> sidebar;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<NavigationState> navigation;
};

Window &window(benchmark::State &state)
{
    // Closed with the application, whose objects they hold, taking their
    // folders with them.
    static std::map<int, std::unique_ptr<Window>> opened;
    static const bool released = [] {
        qAddPostRoutine([] { opened.clear(); });
        return true;
    }();
    Q_UNUSED(released);
    const int cards = int(state.range(0));
    std::unique_ptr<Window> &kept = opened[cards];
    if (!kept) {
        // One size at a time: a 50,000-card copy is large.
        opened.clear();
        opened[cards] = std::make_unique<Window>(cards);
        return *opened[cards];
    }
    return *kept;
}

void setLabel(benchmark::State &state)
{
    state.counters["cards"] = double(state.range(0));
}

// Each sidebar destination made, shown and painted: 0 Notes, 1 Quick
// Captures, 2 Favorites, 3 a folder, 4 Recently Deleted.
void BM_OpenDestination(benchmark::State &state)
{
    Window &w = window(state);
    const int which = int(state.range(1));
    NoteListVisibility noteList;
    const auto make = [&]() -> std::unique_ptr<QWidget> {
        switch (which) {
        case 0:
            return std::make_unique<NotesWorkspaceView>(*w.query, *w.navigation, NoteListFilter::all(), &noteList,
                                                        BoardCanvasServices{});
        case 1:
            return std::make_unique<NotesWorkspaceView>(*w.query, *w.navigation, NoteListFilter::quickCaptures(),
                                                        &noteList, BoardCanvasServices{});
        case 2:
            return std::make_unique<NotesWorkspaceView>(*w.query, *w.navigation, NoteListFilter::favorites(),
                                                        &noteList, BoardCanvasServices{});
        case 3:
            return std::make_unique<NotesWorkspaceView>(*w.query, *w.navigation,
                                                        NoteListFilter::folder(QStringLiteral("Project 3")), &noteList,
                                                        BoardCanvasServices{});
        default:
            return std::make_unique<TrashView>(*w.query, TrashModel::Actions{});
        }
    };
    for (auto _ : state) {
        std::unique_ptr<QWidget> screen = make();
        screen->resize(1180, 900);
        screen->show();
        benchmark::DoNotOptimize(screen->grab());
        state.PauseTiming();
        screen.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    static const char *names[] = {"notes", "quick captures", "favorites", "folder", "recently deleted"};
    state.SetLabel(names[which]);
    setLabel(state);
}

// Until the gallery shows the current snip's picture, painted.
void waitUntilShown(SnipGalleryView &view)
{
    while (!view.zoomableView()->picture() || view.zoomableView()->picture() != view.model()->picture())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    view.zoomableView()->viewport()->repaint();
}

// The gallery opened on a snip until its picture is on screen (manual time),
// with `firstFrameMs`, until the sheet's first paint, and `nextMs`, the Right
// Arrow to its neighbour shown.
void BM_OpenGallery(benchmark::State &state)
{
    Window &w = window(state);
    double firstFrame = 0;
    double next = 0;
    int round = 0;
    for (auto _ : state) {
        const QUuid id = w.snip(round++ % 8)->id();
        QElapsedTimer clock;
        clock.start();
        w.navigation->openGallery(id, std::nullopt);
        SnipGalleryView view(*w.query, *w.navigation, id, SnipGalleryServices{});
        view.resize(1140, 760);
        view.show();
        benchmark::DoNotOptimize(view.grab());
        firstFrame += clock.nsecsElapsed() / 1e6;
        waitUntilShown(view);
        state.SetIterationTime(clock.nsecsElapsed() / 1e9);
        view.model()->pictures().waitForPending();
        QElapsedTimer step;
        step.start();
        if (!view.model()->showNeighbour(true))
            state.SkipWithError("no neighbour");
        waitUntilShown(view);
        next += step.nsecsElapsed() / 1e6;
    }
    state.counters["firstFrameMs"] = firstFrame / double(state.iterations());
    state.counters["nextMs"] = next / double(state.iterations());
    setLabel(state);
}

// A card selected and the inspector made and painted for it.
void BM_OpenInspector(benchmark::State &state)
{
    Window &w = window(state);
    int round = 0;
    for (auto _ : state) {
        w.navigation->setSelectedCardIDs({w.snip(round++ % 8)->id()});
        CardInspectorView view(*w.query, *w.navigation);
        view.resize(300, 800);
        view.show();
        benchmark::DoNotOptimize(view.grab());
    }
    w.navigation->setSelectedCardIDs({});
    setLabel(state);
}

// An assistant that answers nothing, so the sheet's own work is measured.
class SilentIntelligence : public IntelligenceService
{
public:
    QFuture<IntelligenceAvailability> availability() override
    {
        QPromise<IntelligenceAvailability> promise;
        promise.start();
        promise.addResult(IntelligenceAvailability::onDevice());
        promise.finish();
        return promise.future();
    }
    QFuture<GhostSuggestion> generate(ThinkingPrompt, const QList<CardExcerpt> &) override { return {}; }
};

// "Help Me Think" on three cards of a note: the sheet made and painted.
void BM_OpenAssistant(benchmark::State &state)
{
    Window &w = window(state);
    const Board *note = w.note(1);
    QList<QUuid> selected;
    for (const CanvasCard *card : w.query->cards()) {
        if (card->boardID() == note->id() && card->isLive() && selected.size() < 3)
            selected << card->id();
    }
    for (auto _ : state) {
        AskSuggestionView view(w.context(), note->id(), selected, std::make_unique<SilentIntelligence>());
        view.show();
        benchmark::DoNotOptimize(view.grab());
        state.PauseTiming();
        view.hide();
        state.ResumeTiming();
    }
    setLabel(state);
}

// One edit of a card saved, the window's query and sidebar following.
void BM_SaveOneEdit(benchmark::State &state)
{
    Window &w = window(state);
    CanvasCard *edited = w.snip(3);
    int round = 0;
    for (auto _ : state) {
        edited->setContextText(QStringLiteral("edit %1").arg(++round));
        if (!w.context().save())
            state.SkipWithError("not saved");
    }
    setLabel(state);
}

// A capture's card stored in Quick Captures and the sidebar's counts after
// it (the card's picture is staged before, off the main thread, in the app).
void BM_CaptureToSidebarCounts(benchmark::State &state)
{
    Window &w = window(state);
    const Board *inbox = w.query->quickCapturesNote();
    const int before = SidebarModel::quickCapturesCount(w.query->boards(), w.query->cards());
    int added = 0;
    for (auto _ : state) {
        CanvasCard::Init init;
        init.boardID = inbox->id();
        init.kind = CardKind::snip;
        init.ocrText = QStringLiteral("captured text %1").arg(added);
        init.createdAt = QDateTime::currentDateTimeUtc();
        init.capturedAt = init.createdAt;
        w.context().insert(new CanvasCard(init));
        if (!w.context().save())
            state.SkipWithError("not saved");
        ++added;
    }
    const int shown = w.sidebar->rows().at(1).count.value_or(-1);
    if (shown != before + added)
        state.SkipWithError("the sidebar counts wrong");
    state.counters["quickCaptures"] = shown;
    setLabel(state);
}

// A card moved to Recently Deleted from its note, then restored from the
// open Recently Deleted screen (`restoreMs`).
void BM_TrashAndRestoreCard(benchmark::State &state)
{
    Window &w = window(state);
    TrashActions actions(*w.query, *w.navigation, nullptr);
    TrashModel trash(*w.query, TrashModel::windowActions(actions));
    double restore = 0;
    int round = 0;
    for (auto _ : state) {
        CanvasCard *card = w.snip(round++ % 8);
        {
            ModelChangeScope scope(w.context());
            card->moveToTrash(QDateTime::currentDateTimeUtc());
            if (!scope.saveOrUndo())
                state.SkipWithError("not saved");
        }
        QElapsedTimer clock;
        clock.start();
        if (!actions.restoreCard(card->id()))
            state.SkipWithError("not restored");
        restore += clock.nsecsElapsed() / 1e6;
    }
    state.counters["restoreMs"] = restore / double(state.iterations());
    setLabel(state);
}

// A note of 25 cards (a third of them snips, if asked), saved in Recently
// Deleted.
QUuid addDeletedNote(benchmark::State &state, Window &w, const QString &title, bool withSnips)
{
    auto *note = new Board;
    note->setTitle(title);
    w.context().insert(note);
    for (int i = 0; i < 25; ++i) {
        CanvasCard::Init init;
        init.boardID = note->id();
        init.kind = withSnips && i % 3 == 0 ? CardKind::snip : CardKind::thought;
        init.markdownText = QStringLiteral("thought %1").arg(i);
        w.context().insert(new CanvasCard(init));
    }
    note->moveToTrash(QDateTime::currentDateTimeUtc());
    if (!w.context().save())
        state.SkipWithError("not saved");
    return note->id();
}

// A deleted note of 25 cards deleted for good from the open Recently
// Deleted screen, as emptying it does note by note.
void BM_PurgeNote(benchmark::State &state)
{
    Window &w = window(state);
    TrashActions actions(*w.query, *w.navigation, nullptr);
    TrashModel trash(*w.query, TrashModel::windowActions(actions));
    for (auto _ : state) {
        state.PauseTiming();
        const QUuid id = addDeletedNote(state, w, QStringLiteral("To purge"), false);
        state.ResumeTiming();
        actions.deleteBoardPermanently(id);
        if (w.query->firstBoard(id))
            state.SkipWithError("not purged");
    }
    setLabel(state);
}

// Until the corpus has taken every change in; waits without spinning, so
// the time counted is the work done.
void settleCorpus(SearchCorpus &corpus)
{
    while (!corpus.isPrepared())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();
}

// A deleted note of 25 cards deleted for good from the open Recently Deleted
// screen, as the running app does it: the sidebar, the screen, the library's
// search corpus and the desktop-search index all follow the purge. The time
// is the main thread's (CPU) until the corpus has taken the change in;
// `purgeMs` is how long the confirmation's click holds the window.
void BM_DeleteNoteForGood(benchmark::State &state)
{
    Window &w = window(state);
    DesktopSearchIndexService index([] { return std::unique_ptr<SearchIndexing>(); });
    TrashActions actions(*w.query, *w.navigation, &index);
    TrashModel trash(*w.query, TrashModel::windowActions(actions));
    SearchCorpus &corpus = SearchCorpus::of(*w.query);
    const auto settle = [&corpus] { settleCorpus(corpus); };
    settle();
    double purge = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QUuid id = addDeletedNote(state, w, QStringLiteral("To delete for good"), true);
        settle();
        state.ResumeTiming();
        QElapsedTimer clock;
        clock.start();
        trash.requestDeletion(TrashItemModel::Section::boards, id);
        trash.confirmDeletion();
        purge += clock.nsecsElapsed() / 1e6;
        settle();
        if (w.query->firstBoard(id))
            state.SkipWithError("not deleted for good");
    }
    state.counters["purgeMs"] = purge / double(state.iterations());
    setLabel(state);
}

// A note made (0) or renamed (1) as the running app does it, the library's
// search corpus following. The time is the main thread's (CPU) until the
// corpus has taken the change in: a new note stands among the others in
// the notes' order, not at the end of the list.
void BM_NoteMadeOrRenamed(benchmark::State &state)
{
    Window &w = window(state);
    ThinkingSessionService service(w.context());
    SearchCorpus &corpus = SearchCorpus::of(*w.query);
    const auto settle = [&corpus] { settleCorpus(corpus); };
    settle();
    Board *renamed = w.note(7);
    int round = 0;
    for (auto _ : state) {
        const QString title = QStringLiteral("Harbour plans %1").arg(++round);
        if (state.range(1) == 0) {
            if (!service.createNote(title, std::nullopt, QDateTime::currentDateTimeUtc()))
                state.SkipWithError("not made");
        } else {
            renamed->setTitle(title);
            if (!w.context().save())
                state.SkipWithError("not saved");
        }
        settle();
    }
    setLabel(state);
}

// A snip of Quick Captures added to another note, then moved back.
void BM_MoveSnipToNote(benchmark::State &state)
{
    Window &w = window(state);
    ThinkingSessionService service(w.context());
    const Board *inbox = w.query->quickCapturesNote();
    CanvasCard *snip = nullptr;
    for (CanvasCard *card : w.query->cards()) {
        if (card->boardID() == inbox->id() && card->isLive() && card->kind() == CardKind::snip) {
            snip = card;
            break;
        }
    }
    const QUuid target = w.note(5)->id();
    for (auto _ : state) {
        if (!service.addSnipToNote(snip->id(), target, std::nullopt, QDateTime::currentDateTimeUtc()))
            state.SkipWithError("not moved");
        state.PauseTiming();
        snip->setBoardID(inbox->id());
        if (!w.context().save())
            state.SkipWithError("not saved");
        state.ResumeTiming();
    }
    setLabel(state);
}

// A card moved on a note's map, then the move undone and redone (each a
// save): the time is the undo and the redo.
void BM_UndoRedoMove(benchmark::State &state)
{
    Window &w = window(state);
    StoreUndoStack stack;
    BoardLayoutEditor editor(w.context(), &stack);
    CanvasCard *card = w.snip(2);
    if (!editor.moveCard(*card, card->canvasX() + 40, card->canvasY()))
        state.SkipWithError("not moved");
    for (auto _ : state) {
        stack.undo();
        stack.redo();
    }
    setLabel(state);
}

// "Export Note Brief…" once the file is chosen: the note's cards and
// connections gathered, the brief written to a file.
void BM_ExportBrief(benchmark::State &state)
{
    Window &w = window(state);
    BoardCanvasModel model(*w.query, *w.navigation, w.note(1)->id());
    const QString path = w.directory.filePath(QStringLiteral("brief.md"));
    qsizetype size = 0;
    for (auto _ : state) {
        const QString text = BoardBriefExportService::markdown(*model.board(), model.boardCards(),
                                                               model.boardConnections(), BriefClock::system());
        if (!BoardBriefExportService::writeBrief(path, text))
            state.SkipWithError("not written");
        size = text.size();
    }
    state.counters["chars"] = double(size);
    setLabel(state);
}

// The writing header's Insert Snip picker, which lists every snip of the
// library, opened and painted: the first time on a note (manual time), then
// again with nothing changed (`againMs`) and after one card's edit saved
// (`afterSaveMs`).
void BM_OpenInsertSnipPicker(benchmark::State &state)
{
    Window &w = window(state);
    const auto open = [](BoardCanvasView &view) {
        QElapsedTimer clock;
        clock.start();
        view.openInsertSnipPicker();
        while (!view.insertSnipPicker()->isVisible())
            QApplication::processEvents();
        benchmark::DoNotOptimize(view.insertSnipPicker()->grab());
        const double ms = clock.nsecsElapsed() / 1e6;
        view.insertSnipPicker()->hide();
        return ms;
    };
    double again = 0;
    double afterSave = 0;
    int round = 0;
    for (auto _ : state) {
        BoardCanvasView view(*w.query, *w.navigation, w.note(1)->id(), nullptr, BoardCanvasServices{});
        view.resize(1180, 900);
        view.show();
        state.SetIterationTime(open(view) / 1e3);
        again += open(view);
        w.snip(3)->setContextText(QStringLiteral("picker %1").arg(++round));
        if (!w.context().save())
            state.SkipWithError("not saved");
        afterSave += open(view);
        state.counters["items"] = double(view.insertSnipPicker()->rows().rowCount());
    }
    state.counters["againMs"] = again / double(state.iterations());
    state.counters["afterSaveMs"] = afterSave / double(state.iterations());
    setLabel(state);
}

void sizes(benchmark::internal::Benchmark *b)
{
    b->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_OpenDestination)
    ->ArgsProduct({{1000, 10000, 50000}, {0, 1, 2, 3, 4}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenGallery)->Apply(sizes)->UseManualTime()->Iterations(8);
BENCHMARK(BM_OpenInspector)->Apply(sizes);
BENCHMARK(BM_OpenAssistant)->Apply(sizes);
BENCHMARK(BM_SaveOneEdit)->Apply(sizes);
BENCHMARK(BM_CaptureToSidebarCounts)->Apply(sizes);
BENCHMARK(BM_TrashAndRestoreCard)->Apply(sizes);
BENCHMARK(BM_PurgeNote)->Apply(sizes);
BENCHMARK(BM_DeleteNoteForGood)->Apply(sizes);
BENCHMARK(BM_NoteMadeOrRenamed)->ArgsProduct({{1000, 10000, 50000}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MoveSnipToNote)->Apply(sizes);
BENCHMARK(BM_UndoRedoMove)->Apply(sizes);
BENCHMARK(BM_ExportBrief)->Apply(sizes);
BENCHMARK(BM_OpenInsertSnipPicker)->Apply(sizes)->UseManualTime()->Iterations(3);

namespace {

// What the main window does after every save of a large library (the
// writing surface saves while the user types): read the three lists again
// and work out the sidebar's rows, counts and folders, and the capture
// menu's destinations, and, on the notes screen, the note list's rows with
// every note's cards counted again.

// The disk library of 50,000 cards in 2,000 notes, copied for this run: each
// save writes the file, as in the app.
struct Library
{
    Library()
    {
        container = bench::LibraryFixture::open(bench::LibraryShape{50000, 2000}, directory.path());
        if (!container)
            qFatal("the library could not be opened");
        const QList<CanvasCard *> cards = *container->mainContext()->fetchCards();
        edited = cards.at(cards.size() / 2);
    }

    QTemporaryDir directory;
    std::unique_ptr<ModelContainer> container;
    CanvasCard *edited = nullptr;
};

Library &library()
{
    static std::unique_ptr<Library> shared;
    if (!shared) {
        shared = std::make_unique<Library>();
        qAddPostRoutine([] { shared.reset(); });
    }
    return *shared;
}

// One edit saved, with the window's query and sidebar listening.
void BM_SaveWithMainWindow(benchmark::State &state)
{
    Library &lib = library();
    ModelContext &context = *lib.container->mainContext();
    LibraryQuery query(context);
    SidebarModel sidebar(query, nullptr);
    int round = 0;
    for (auto _ : state) {
        lib.edited->setMarkdownText(QStringLiteral("edit %1").arg(++round));
        benchmark::DoNotOptimize(context.save());
    }
    state.counters["rows"] = sidebar.rowCount();
}
BENCHMARK(BM_SaveWithMainWindow)->Unit(benchmark::kMillisecond);

// The sidebar and the notes screen's list of all notes, shown over the
// library and listening to its saves.
struct NotesScreenShown
{
    Library &lib = library();
    ModelContext &context = *lib.container->mainContext();
    LibraryQuery query{context};
    SidebarModel sidebar{query, nullptr};
    UserDefaults defaults{lib.directory.filePath(QStringLiteral("settings.ini"))};
    NavigationState navigation{defaults};
    NotesWorkspaceModel notes{query, navigation, NoteListFilter::all()};
    NotesScreenShown() { notes.appear(); }
};

// The same save with the notes screen's list of all notes shown as well.
void BM_SaveWithNotesScreen(benchmark::State &state)
{
    NotesScreenShown shown;
    Library &lib = shown.lib;
    ModelContext &context = shown.context;
    NotesWorkspaceModel &notes = shown.notes;
    int round = 0;
    for (auto _ : state) {
        lib.edited->setMarkdownText(QStringLiteral("notes %1").arg(++round));
        benchmark::DoNotOptimize(context.save());
    }
    state.counters["rows"] = double(notes.rows().size());
}
BENCHMARK(BM_SaveWithNotesScreen)->Unit(benchmark::kMillisecond);

// A save that writes a note alone (the open note marked opened, a title),
// as choosing a note in the list does, with the notes screen and the open
// note's page listening: their counts of the cards stand.
void BM_SaveNoteWithNotesScreen(benchmark::State &state)
{
    NotesScreenShown shown;
    ModelContext &context = shown.context;
    NotesWorkspaceModel &notes = shown.notes;
    Board *note = notes.rows().at(1).note;
    BoardCanvasModel page(shown.query, shown.navigation, note->id());
    page.appear();
    benchmark::DoNotOptimize(page.writingCards());
    int round = 0;
    for (auto _ : state) {
        note->setTitle(QStringLiteral("title %1").arg(++round));
        benchmark::DoNotOptimize(context.save());
        benchmark::DoNotOptimize(page.writingCards());
    }
    state.counters["rows"] = double(notes.rows().size());
}
BENCHMARK(BM_SaveNoteWithNotesScreen)->Unit(benchmark::kMillisecond);

// The same save with nobody listening, for the difference.
void BM_SaveAlone(benchmark::State &state)
{
    Library &lib = library();
    ModelContext &context = *lib.container->mainContext();
    int round = 0;
    for (auto _ : state) {
        lib.edited->setMarkdownText(QStringLiteral("alone %1").arg(++round));
        benchmark::DoNotOptimize(context.save());
    }
}
BENCHMARK(BM_SaveAlone)->Unit(benchmark::kMillisecond);

void BM_SidebarRows(benchmark::State &state)
{
    LibraryQuery query(*library().container->mainContext());
    for (auto _ : state)
        benchmark::DoNotOptimize(SidebarModel::makeRows(query.boards(), query.cards(), std::nullopt));
}
BENCHMARK(BM_SidebarRows)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    return runBenchmarks<QApplication>(argc, argv);
}
