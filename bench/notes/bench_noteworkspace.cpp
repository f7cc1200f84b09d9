// The notes screen over a large library on disk (2,000 notes, 50,000 cards):
// the note list worked out the first time and again after one note changed,
// a capture's save with the list taken in,
// the list column from nothing to its first paint, opening a 1,000-block note
// in writing mode until its first paint, and one keystroke's commit into that
// note, with the number of saves a burst of keystrokes makes; and, in the
// libraries of 1,000 and 50,000 cards, opening Quick Captures (its opening
// date saved), saving a word typed into it and scrolling its page.

#include "BenchmarkMain.h"
#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "notes/BoardCanvasModel.h"
#include "notes/BoardCanvasView.h"
#include "notes/BoardWritingSurface.h"
#include "notes/InsertSnipListModel.h"
#include "notes/InsertSnipPicker.h"
#include "notes/NoteList.h"
#include "notes/NoteListItemModel.h"
#include "notes/NoteListRowDelegate.h"
#include "notes/NotesWorkspaceModel.h"
#include "platform/UserDefaults.h"
#include "runtime/LibraryQuery.h"
#include "runtime/NavigationState.h"
#include "runtime/SnipImageCache.h"
#include "support/LibraryFixture.h"
#include "support/ScrollSweep.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>
#include <QScrollBar>
#include <QPaintEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <memory>

using namespace tessaline;

namespace {

const QDateTime base = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);

BoardWritingDocument writing(int paragraphs, const QList<QUuid> &references, int variant)
{
    const QString sentence = QStringLiteral("A thought about the captured screen and what it means for the plan. ");
    BoardWritingDocument document;
    int reference = 0;
    for (int i = 0; i < paragraphs; ++i) {
        document.blocks.append(BoardWritingBlock::paragraph(sentence.repeated(1 + (i + variant) % 4)));
        if (i % 4 == 3 && reference < references.size())
            document.blocks.append(BoardWritingBlock::cardReference(references.at(reference++)));
    }
    document.blocks = BoardWritingDocument::normalizedBlocks(document.blocks);
    return document;
}

// The disk library of 50,000 cards in 2,000 notes, copied for this run, with
// one long note added of `longNoteBlocks` blocks: every save writes the file.
struct Library
{
    explicit Library(int longNoteBlocks)
    {
        container = bench::LibraryFixture::open(bench::LibraryShape{50000, 2000}, directory.path());
        if (!container)
            qFatal("the library could not be opened");
        ModelContext &context = *container->mainContext();
        Board::Init init;
        init.title = QStringLiteral("The long note");
        init.createdAt = init.updatedAt = init.lastOpenedAt = base;
        init.workspaceModeRawValue = QStringLiteral("write");
        init.hasCompletedNoteMigration = true;
        longNote = new Board(init);
        context.insert(longNote);
        // The long note's own snips: one reference after every fourth
        // paragraph.
        const int longNoteSnips = longNoteBlocks / 5;
        QList<QUuid> snips;
        for (int i = 0; i < longNoteSnips; ++i) {
            CanvasCard::Init card;
            card.boardID = longNote->id();
            card.kind = CardKind::snip;
            card.title = QStringLiteral("Long note snip %1").arg(i);
            card.createdAt = base.addSecs(i);
            card.updatedAt = card.createdAt;
            auto *snip = new CanvasCard(card);
            context.insert(snip);
            snips.append(snip->id());
        }
        longNote->updateWritingDocument(writing(longNoteBlocks - longNoteSnips, snips, 0), base);
        if (!context.save())
            qFatal("the library could not be saved");
        query = std::make_unique<LibraryQuery>(context);
        defaults = std::make_unique<UserDefaults>(directory.filePath(QStringLiteral("settings.ini")));
        navigation = std::make_unique<NavigationState>(*defaults);
    }

    QTemporaryDir directory;
    std::unique_ptr<ModelContainer> container;
    std::unique_ptr<LibraryQuery> query;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<NavigationState> navigation;
    Board *longNote = nullptr;
};

Library &library()
{
    static Library built(1000);
    return built;
}

// One note changes (its writing and date, as typing does) and the list is
// worked out again; with `range(0)` the change was saved, so the cards are
// counted again as well. range(1) picks the long note.
void BM_NoteListAfterOneNoteChanged(benchmark::State &state)
{
    Library &lib = library();
    const bool saved = state.range(0) != 0;
    NoteList list;
    list.rows(lib.query->boards(), lib.query->cards(), NoteListFilter::all());
    Board *edited = state.range(1) != 0 ? lib.longNote : lib.query->boards().at(500);
    BoardWritingDocument document = edited->writingDocument();
    int keystroke = 0;
    for (auto _ : state) {
        document.blocks.first().text += QLatin1Char('a' + keystroke++ % 26);
        edited->updateWritingDocument(document, base.addSecs(100000 + keystroke));
        list.noteWritten(edited);
        if (saved)
            list.invalidateCards();
        const QList<NoteListRow> rows = list.rows(lib.query->boards(), lib.query->cards(), NoteListFilter::all());
        benchmark::DoNotOptimize(rows.constFirst().excerpt);
    }
    state.counters["notes"] = double(lib.query->boards().size());
    state.counters["cards"] = double(lib.query->cards().size());
}

// One capture's save into a note, as the app makes it: a snip added and
// referenced in the note's writing, saved, and the notes screen's list
// taken in before the save returns. The save writes the file too.
void BM_CaptureSaveWithNoteList(benchmark::State &state)
{
    Library &lib = library();
    ModelContext &context = *lib.container->mainContext();
    NotesWorkspaceModel screen(*lib.query, *lib.navigation, NoteListFilter::all());
    Board *note = lib.query->boards().at(700);
    int captured = 0;
    for (auto _ : state) {
        CanvasCard::Init init;
        init.boardID = note->id();
        init.kind = CardKind::snip;
        init.title = QStringLiteral("Captured %1").arg(captured);
        init.createdAt = base.addSecs(200000 + captured++);
        init.updatedAt = init.createdAt;
        auto *card = new CanvasCard(init);
        context.insert(card);
        BoardWritingDocument document = note->writingDocument();
        document.insertCardReference(card->id());
        note->updateWritingDocument(document, *init.updatedAt);
        if (!context.save()) {
            state.SkipWithError("the capture could not be saved");
            break;
        }
        benchmark::DoNotOptimize(screen.rows().constFirst().excerpt);
    }
    state.counters["notes"] = double(lib.query->boards().size());
    state.counters["cards"] = double(lib.query->cards().size());
}

// Counts paints, so the benchmark can wait for the first one.
class PaintWatcher : public QObject
{
public:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
    bool painted = false;
};

void BM_NoteListFirstTime(benchmark::State &state)
{
    Library &lib = library();
    for (auto _ : state) {
        NoteList list;
        benchmark::DoNotOptimize(list.rows(lib.query->boards(), lib.query->cards(), NoteListFilter::all()).size());
    }
}

// What opening the notes screen costs the list column: the screen's model
// lists the notes, and the list view lays out every row and paints the
// first screenful, as a column of the ideal width.
void BM_NoteListColumnToFirstPaint(benchmark::State &state)
{
    Library &lib = library();
    int rows = 0;
    for (auto _ : state) {
        PaintWatcher watcher;
        auto screen = std::make_unique<NotesWorkspaceModel>(*lib.query, *lib.navigation, NoteListFilter::all());
        auto items = std::make_unique<NoteListItemModel>(*screen);
        auto view = std::make_unique<QListView>();
        view->setItemDelegate(new NoteListRowDelegate(view.get()));
        view->setResizeMode(QListView::Adjust);
        view->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
        view->setModel(items.get());
        view->resize(252, 780);
        view->viewport()->installEventFilter(&watcher);
        view->show();
        while (!watcher.painted)
            QApplication::processEvents();
        rows = items->rowCount();
        state.PauseTiming();
        view.reset();
        items.reset();
        screen.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["rows"] = rows;
}

void BM_OpenLongNoteToFirstPaint(benchmark::State &state)
{
    Library &lib = library();
    qsizetype blocks = 0;
    for (auto _ : state) {
        PaintWatcher watcher;
        auto view = std::make_unique<BoardCanvasView>(*lib.query, *lib.navigation, lib.longNote->id(), nullptr,
                                                      BoardCanvasServices());
        view->resize(1180, 780);
        view->writingSurface()->viewport()->installEventFilter(&watcher);
        view->show();
        while (!watcher.painted)
            QApplication::processEvents();
        blocks = view->model().writingDocument().blocks.size();
        state.PauseTiming();
        view->hide();
        view.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["blocks"] = double(blocks);
}

void BM_KeystrokeCommit(benchmark::State &state)
{
    Library &lib = library();
    BoardCanvasModel model(*lib.query, *lib.navigation, lib.longNote->id());
    model.appear();
    int saves = 0;
    QObject::connect(&lib.query->context(), &ModelContext::didSave, &model, [&saves] { ++saves; });
    BoardWritingDocument document = model.writingDocument();
    const qsizetype middle = document.blocks.size() / 2;
    int keystroke = 0;
    for (auto _ : state) {
        document.blocks[middle].text += QLatin1Char('a' + keystroke++ % 26);
        if (keystroke % 200 == 0)
            document.blocks[middle].text.clear();
        model.setWritingDocument(document);
    }
    // The whole burst ends in one save once the writer pauses.
    QElapsedTimer waited;
    waited.start();
    while (model.isAutosavePending() && waited.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    state.counters["blocks"] = double(document.blocks.size());
    state.counters["saves_after_burst"] = saves;
}

// A copy of the disk library of `cards` cards, for the picker.
struct PickerLibrary
{
    explicit PickerLibrary(int cards)
    {
        container = bench::LibraryFixture::open(bench::LibraryShape{cards}, directory.path());
        if (!container)
            qFatal("the library could not be opened");
        query = std::make_unique<LibraryQuery>(*container->mainContext());
        defaults = std::make_unique<UserDefaults>(directory.filePath(QStringLiteral("settings.ini")));
        navigation = std::make_unique<NavigationState>(*defaults);
        // A note with snips of its own, so the picker shows both sections.
        for (const CanvasCard *card : query->cards()) {
            const Board *owner = query->firstBoard(card->boardID());
            if (card->isLive() && card->kind() == CardKind::snip && owner && owner->isLive() && !owner->isInbox()) {
                note = owner->id();
                break;
            }
        }
        if (note.isNull())
            qFatal("the library holds no snip in a note");
        const QList<CanvasCard *> &all = query->cards();
        edited = *std::find_if(all.cbegin() + all.size() / 2, all.cend(),
                               [](const CanvasCard *card) { return card->isLive() && card->isSnip(); });
    }

    QTemporaryDir directory;
    std::unique_ptr<ModelContainer> container;
    std::unique_ptr<LibraryQuery> query;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<NavigationState> navigation;
    QUuid note;
    CanvasCard *edited = nullptr;
};

PickerLibrary &pickerLibrary(int cards)
{
    static std::map<int, std::unique_ptr<PickerLibrary>> built;
    std::unique_ptr<PickerLibrary> &library = built[cards];
    if (!library)
        library = std::make_unique<PickerLibrary>(cards);
    return *library;
}

// How long an opening held the main thread: the call that opens the picker
// and then each turn of the event loop until the picker's first paint. The
// longest of those is what a user feels as a stall.
struct Opening
{
    double totalMs = 0;
    double longestBlockMs = 0;
};

// The picker opened as a user opens it, by its button, until it is painted
// on screen with its rows.
Opening openPicker(BoardCanvasView &view)
{
    InsertSnipPicker *picker = view.insertSnipPicker();
    PaintWatcher watcher;
    picker->listView()->viewport()->installEventFilter(&watcher);
    QElapsedTimer total;
    total.start();
    QElapsedTimer slice;
    slice.start();
    view.insertSnipButton()->click();
    Opening opening;
    opening.longestBlockMs = slice.nsecsElapsed() / 1e6;
    while (!watcher.painted) {
        slice.restart();
        QApplication::processEvents();
        opening.longestBlockMs = std::max(opening.longestBlockMs, slice.nsecsElapsed() / 1e6);
    }
    opening.totalMs = total.nsecsElapsed() / 1e6;
    picker->listView()->viewport()->removeEventFilter(&watcher);
    return opening;
}

void closePicker(BoardCanvasView &view)
{
    view.insertSnipPicker()->hide();
    QApplication::processEvents();
}

// Typing a word into the open picker's field, key by key, until the list
// shows its hits: the longest a key held the main thread, and the time until
// the last key's hits are in.
Opening typeFilter(InsertSnipPicker &picker, const QString &word)
{
    Opening typing;
    QElapsedTimer total;
    total.start();
    QElapsedTimer slice;
    for (const QChar letter : word) {
        slice.restart();
        picker.filterField()->insert(QString(letter));
        typing.longestBlockMs = std::max(typing.longestBlockMs, slice.nsecsElapsed() / 1e6);
        slice.restart();
        QApplication::processEvents();
        typing.longestBlockMs = std::max(typing.longestBlockMs, slice.nsecsElapsed() / 1e6);
    }
    while (picker.rows().isFilterPending()) {
        slice.restart();
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        typing.longestBlockMs = std::max(typing.longestBlockMs, slice.nsecsElapsed() / 1e6);
    }
    typing.totalMs = total.nsecsElapsed() / 1e6;
    return typing;
}

// The first opening on a newly shown note (manual time), then a second one
// with nothing changed (`againMs`) and one after a snip's title was saved
// (`afterSaveMs`), each with the longest stretch it held the main thread
// (`firstBlockMs`, `againBlockMs`, `afterSaveBlockMs`); then a word typed into the
// field until its hits show (`filterMs`, the longest key `filterBlockMs`) and
// a scroll through the list a page at a time (`pageMs`, the slowest page).
void BM_OpenInsertSnipPicker(benchmark::State &state)
{
    PickerLibrary &lib = pickerLibrary(int(state.range(0)));
    Opening first;
    Opening again;
    Opening saved;
    Opening filter;
    double slowestPage = 0;
    int edits = 0;
    int hits = 0;
    for (auto _ : state) {
        BoardCanvasView view(*lib.query, *lib.navigation, lib.note, nullptr, BoardCanvasServices());
        view.resize(960, 540);
        // The note on screen and painted first: on a display server that
        // takes some turns of the event loop.
        PaintWatcher notePainted;
        view.writingSurface()->viewport()->installEventFilter(&notePainted);
        view.show();
        while (!notePainted.painted)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        view.writingSurface()->viewport()->removeEventFilter(&notePainted);
        QApplication::processEvents();
        const Opening opened = openPicker(view);
        state.SetIterationTime(opened.totalMs / 1e3);
        closePicker(view);
        const Opening reopened = openPicker(view);
        closePicker(view);
        // One snip's title edited and saved, as the library does between
        // two openings.
        lib.edited->setTitle(QStringLiteral("Edited %1").arg(++edits));
        if (!lib.query->context().save())
            state.SkipWithError("not saved");
        const Opening afterSave = openPicker(view);
        InsertSnipPicker &picker = *view.insertSnipPicker();
        QScrollBar *scroll = picker.listView()->verticalScrollBar();
        for (int page = 0; page < 20; ++page) {
            QElapsedTimer paged;
            paged.start();
            scroll->setValue(scroll->value() + scroll->pageStep());
            benchmark::DoNotOptimize(picker.listView()->viewport()->grab());
            slowestPage = std::max(slowestPage, paged.nsecsElapsed() / 1e6);
        }
        const Opening typed = typeFilter(picker, QStringLiteral("report"));
        hits = picker.rows().rowCount();
        closePicker(view);
        first.totalMs += opened.totalMs;
        first.longestBlockMs = std::max(first.longestBlockMs, opened.longestBlockMs);
        again.totalMs += reopened.totalMs;
        again.longestBlockMs = std::max(again.longestBlockMs, reopened.longestBlockMs);
        saved.totalMs += afterSave.totalMs;
        saved.longestBlockMs = std::max(saved.longestBlockMs, afterSave.longestBlockMs);
        filter.totalMs += typed.totalMs;
        filter.longestBlockMs = std::max(filter.longestBlockMs, typed.longestBlockMs);
        view.hide();
    }
    const double iterations = double(state.iterations());
    state.counters["firstBlockMs"] = first.longestBlockMs;
    state.counters["againMs"] = again.totalMs / iterations;
    state.counters["againBlockMs"] = again.longestBlockMs;
    state.counters["afterSaveMs"] = saved.totalMs / iterations;
    state.counters["afterSaveBlockMs"] = saved.longestBlockMs;
    state.counters["filterMs"] = filter.totalMs / iterations;
    state.counters["filterBlockMs"] = filter.longestBlockMs;
    state.counters["pageMs"] = slowestPage;
    state.counters["filterRows"] = hits;
    state.counters["snips"] = double(std::count_if(lib.query->cards().cbegin(), lib.query->cards().cend(),
                                                   [](const CanvasCard *card) {
                                                       return card->isLive() && card->kind() == CardKind::snip;
                                                   }));
}

// The library's Quick Captures note, which gathers a snip for every capture
// never moved to a note of its own: the longest page a library has.
QUuid quickCapturesID(const LibraryQuery &query)
{
    for (const Board *board : query.boards()) {
        if (board->isInbox() && board->isLive())
            return board->id();
    }
    qFatal("the library has no Quick Captures note");
}

// Opening Quick Captures from the note list, as often as a user goes back to
// it: the note's opening date is stamped and saved to the file.
void BM_OpenQuickCapturesStamp(benchmark::State &state)
{
    PickerLibrary &lib = pickerLibrary(int(state.range(0)));
    NotesWorkspaceModel screen(*lib.query, *lib.navigation, NoteListFilter::all());
    QDateTime now = base.addDays(400);
    screen.setClock([&now] { return now; });
    const QUuid inbox = quickCapturesID(*lib.query);
    for (auto _ : state) {
        now = now.addSecs(1);
        screen.selectNote(inbox);
    }
    const Board *note = lib.query->firstBoard(inbox);
    state.counters["writing_bytes"] = double(note->writingDocumentUtf8().size());
    state.counters["blocks"] = double(note->writingDocument().blocks.size());
}

// A word typed into Quick Captures saved, as the page's autosave saves it
// once the writer pauses: the note's whole writing goes to the file.
void BM_SaveQuickCapturesWriting(benchmark::State &state)
{
    PickerLibrary &lib = pickerLibrary(int(state.range(0)));
    ModelContext &context = lib.query->context();
    Board *note = lib.query->firstBoard(quickCapturesID(*lib.query));
    BoardWritingDocument document = note->writingDocument();
    const qsizetype paragraph = std::distance(
        document.blocks.cbegin(), std::find_if(document.blocks.cbegin(), document.blocks.cend(),
                                               [](const BoardWritingBlock &block) { return block.isParagraph(); }));
    if (paragraph == document.blocks.size())
        qFatal("Quick Captures holds no paragraph");
    int word = 0;
    for (auto _ : state) {
        state.PauseTiming();
        document.blocks[paragraph].text += QStringLiteral(" word%1").arg(++word);
        note->updateWritingDocument(document, base.addDays(500).addSecs(word));
        state.ResumeTiming();
        if (!context.save()) {
            state.SkipWithError("not saved");
            break;
        }
    }
    state.counters["writing_bytes"] = double(note->writingDocumentUtf8().size());
}

// Scrolling Quick Captures' page a few wheel notches at a time through its
// first twenty screens, once painted: each step with the repaint that
// follows, and (`step_us`) the page's own part, as the scroll bar hands the
// step to it; `first_step_us` is that part on the first way down, where
// each step brings rows never shown before.
void BM_ScrollQuickCaptures(benchmark::State &state)
{
    PickerLibrary &lib = pickerLibrary(int(state.range(0)));
    BoardCanvasView view(*lib.query, *lib.navigation, quickCapturesID(*lib.query), nullptr, BoardCanvasServices());
    view.resize(1180, 780);
    view.show();
    BoardWritingSurface *surface = view.writingSurface();
    QScrollBar *bar = surface->verticalScrollBar();
    const int range = std::min(bar->maximum(), 20 * 780);
    QElapsedTimer stepping;
    qint64 firstStepsNs = 0;
    int firstSteps = 0;
    for (int value = 0; value <= range; value += 300) {
        stepping.start();
        bar->setValue(value);
        firstStepsNs += stepping.nsecsElapsed();
        ++firstSteps;
        surface->viewport()->repaint();
        surface->imageCache()->waitForPending();
        QApplication::processEvents();
    }
    bar->setValue(0);
    QApplication::processEvents();
    bench::ScrollSweep sweep(range);
    qint64 steppedNs = 0;
    for (auto _ : state) {
        const int value = sweep.next();
        stepping.start();
        bar->setValue(value);
        steppedNs += stepping.nsecsElapsed();
        surface->viewport()->repaint();
    }
    state.counters["step_us"] = steppedNs / 1e3 / double(state.iterations());
    state.counters["first_step_us"] = firstStepsNs / 1e3 / firstSteps;
    state.counters["blocks"] = double(surface->rowOrder().size());
    state.counters["page_height_px"] = surface->page()->height();
}

} // namespace

BENCHMARK(BM_NoteListAfterOneNoteChanged)
    ->ArgNames({"saved", "long_note"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NoteListFirstTime)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CaptureSaveWithNoteList)->Unit(benchmark::kMillisecond)->Iterations(40);
BENCHMARK(BM_NoteListColumnToFirstPaint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenLongNoteToFirstPaint)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_KeystrokeCommit)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OpenInsertSnipPicker)
    ->ArgName("cards")
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(50000)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_OpenQuickCapturesStamp)->ArgName("cards")->Arg(1000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_SaveQuickCapturesWriting)->ArgName("cards")->Arg(1000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(40);
BENCHMARK(BM_ScrollQuickCaptures)->ArgName("cards")->Arg(1000)->Arg(50000)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    return runBenchmarks<QApplication>(argc, argv, [] { library(); });
}
