// The library's other screens over disk libraries of 1,000 to 50,000 cards,
// as the main window opens them on a running app: the Snips grid and
// Recently Deleted made, shown and painted (also on coming back from a note,
// which saved the note alone), a note deleted for good on Recently Deleted,
// a filter typed into the grid, a picture of
// the grid coming in, and the grid scrolled. Counter `rssMiB`: how much the
// process grew for the screen, which tells whether it read every card's
// texts to show one screenful.
#include "BenchmarkMain.h"
#include "support/LibraryFixture.h"
#include "support/ProcessStatus.h"
#include "support/ScrollSweep.h"
#include "library/SnipsLibraryModel.h"
#include "library/SnipsLibraryView.h"
#include "library/TrashView.h"
#include "runtime/LibraryQuery.h"
#include "runtime/NavigationState.h"
#include "runtime/SnipImageCache.h"
#include "runtime/TrashActions.h"
#include "model/Board.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "platform/UserDefaults.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPaintEvent>
#include <QListView>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QWindow>

using namespace tessaline;

namespace {

double residentMiB()
{
    return bench::processStatusMiB(0, "VmRSS");
}

// A copy of the disk library opened as the app opens it, with the window's
// navigation state.
struct Library
{
    explicit Library(int cards)
        : container(bench::LibraryFixture::open(bench::LibraryShape{cards}, directory.path()))
    {
        if (!container)
            qFatal("cannot open the benchmark library");
        query = std::make_unique<LibraryQuery>(*container->mainContext());
    }

    QTemporaryDir directory;
    std::unique_ptr<ModelContainer> container;
    std::unique_ptr<LibraryQuery> query;
    UserDefaults defaults{directory.filePath(QStringLiteral("settings.ini"))};
    NavigationState navigation{defaults};
};

// What happens between two openings of the screen, untimed.
enum class Between { nothing, aNoteOpened };

template<typename Make>
void openScreen(benchmark::State &state, Make make, Between between = Between::nothing)
{
    Library library(int(state.range(0)));
    const double before = residentMiB();
    double grown = 0;
    int opened = 0;
    for (auto _ : state) {
        if (between == Between::aNoteOpened) {
            // The user went to a note, which the app stamps opened and
            // saves, and comes back.
            state.PauseTiming();
            const QList<Board *> &notes = library.query->boards();
            notes.at(opened++ % notes.size())->markOpened(QDateTime::currentDateTimeUtc());
            if (!library.container->mainContext()->save())
                qFatal("cannot save the benchmark library");
            state.ResumeTiming();
        }
        std::unique_ptr<QWidget> screen = make(library);
        screen->resize(1180, 900);
        screen->show();
        benchmark::DoNotOptimize(screen->grab());
        state.PauseTiming();
        grown = std::max(grown, residentMiB() - before);
        screen.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["rssMiB"] = grown;
}

void BM_OpenSnipsLibrary(benchmark::State &state)
{
    openScreen(state, [](Library &library) {
        return std::make_unique<SnipsLibraryView>(*library.query, library.navigation, SnipsLibraryServices{});
    });
}

void BM_OpenRecentlyDeleted(benchmark::State &state)
{
    openScreen(state, [](Library &library) { return std::make_unique<TrashView>(*library.query, TrashModel::Actions{}); });
}

// Back to the screen from a note: only the note was written since.
void BM_ReturnToSnipsLibrary(benchmark::State &state)
{
    openScreen(
        state,
        [](Library &library) {
            return std::make_unique<SnipsLibraryView>(*library.query, library.navigation, SnipsLibraryServices{});
        },
        Between::aNoteOpened);
}

void BM_ReturnToRecentlyDeleted(benchmark::State &state)
{
    openScreen(
        state, [](Library &library) { return std::make_unique<TrashView>(*library.query, TrashModel::Actions{}); },
        Between::aNoteOpened);
}

// Until the grid's filter has its hits (over a large library they are
// looked for on a worker while the window goes on).
void waitForHits(SnipsLibraryView &view)
{
    while (view.model()->isFilterPending())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}

// One word typed into the shown grid's filter, filtered and painted.
void BM_FilterSnipsLibrary(benchmark::State &state)
{
    Library library(int(state.range(0)));
    SnipsLibraryView view(*library.query, library.navigation, SnipsLibraryServices{});
    view.resize(1180, 900);
    view.show();
    view.grab();
    const double before = residentMiB();
    const QString words[] = {QStringLiteral("invoice"), QStringLiteral("terminal")};
    int round = 0;
    for (auto _ : state) {
        view.filterField()->setText(words[round++ % 2]);
        waitForHits(view);
        benchmark::DoNotOptimize(view.grab());
    }
    state.counters["rows"] = view.grid()->model()->rowCount();
    state.counters["rssMiB"] = residentMiB() - before;
}

// A word typed into the grid's filter key by key. The time is until the
// last key's hits are painted. Per key, as a mean over every key but the
// very first (which copies the library's texts out for the worker, and is
// `firstKeyMs`, its hits painted after `firstHitsMs`): `keyMs`, how long the
// key holds the window (the key taken and the grid painted), and `hitsMs`,
// how long after the key its hits are painted.
void BM_TypeIntoSnipsLibrary(benchmark::State &state)
{
    Library library(int(state.range(0)));
    SnipsLibraryView view(*library.query, library.navigation, SnipsLibraryServices{});
    view.resize(1180, 900);
    view.show();
    view.grab();
    const QString word = QStringLiteral("invoice");
    double firstKeyMs = -1;
    double firstHitsMs = 0;
    double keyMs = 0;
    double hitsMs = 0;
    int keys = 0;
    for (auto _ : state) {
        for (qsizetype typed = 1; typed <= word.size(); ++typed) {
            QElapsedTimer clock;
            clock.start();
            view.filterField()->setText(word.left(typed));
            benchmark::DoNotOptimize(view.grab());
            const double key = clock.nsecsElapsed() / 1e6;
            waitForHits(view);
            benchmark::DoNotOptimize(view.grab());
            if (firstKeyMs < 0) {
                firstKeyMs = key;
                firstHitsMs = clock.nsecsElapsed() / 1e6;
                continue;
            }
            keyMs += key;
            hitsMs += clock.nsecsElapsed() / 1e6;
            ++keys;
        }
        state.PauseTiming();
        view.filterField()->clear();
        state.ResumeTiming();
    }
    state.counters["firstKeyMs"] = firstKeyMs;
    state.counters["firstHitsMs"] = firstHitsMs;
    state.counters["keyMs"] = keyMs / std::max(keys, 1);
    state.counters["hitsMs"] = hitsMs / std::max(keys, 1);
    state.counters["rows"] = view.grid()->model()->rowCount();
}

// The shown grid scrolled a few wheel notches at a time through its first
// thirty screens, each step repainted: every tile shown asks for its
// snip's note.
void BM_ScrollSnipsLibrary(benchmark::State &state)
{
    Library library(int(state.range(0)));
    SnipsLibraryView view(*library.query, library.navigation, SnipsLibraryServices{});
    view.resize(1180, 900);
    view.show();
    // Laid out and painted once, as a shown screen is.
    while (view.grid()->verticalScrollBar()->maximum() == 0 || !view.windowHandle() || !view.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    view.grab();
    QScrollBar *bar = view.grid()->verticalScrollBar();
    const int range = std::min(bar->maximum(), 30 * 900);
    bench::ScrollSweep sweep(range);
    for (auto _ : state) {
        bar->setValue(sweep.next());
        view.grid()->viewport()->repaint();
    }
    state.counters["tiles"] = view.model()->rowCount();
    state.counters["scrolled_px"] = range;
}

// One picture of the grid's screenful comes in from its decoder, as they
// do one by one after the grid is shown: what the main thread spends
// drawing it.
void BM_SnipsPictureArrives(benchmark::State &state)
{
    Library library(int(state.range(0)));
    SnipsLibraryView view(*library.query, library.navigation, SnipsLibraryServices{});
    view.resize(1180, 900);
    view.show();
    while (!view.windowHandle() || !view.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    // Every picture on the screen decoded and drawn once.
    view.grid()->viewport()->grab();
    view.imageCache()->waitForPending();
    QCoreApplication::processEvents();
    QList<QUuid> shown;
    for (int row = 0; row < view.model()->rowCount(); ++row) {
        if (!view.grid()->viewport()->rect().intersects(view.grid()->visualRect(view.model()->index(row))))
            break;
        shown.append(view.model()->cardAt(row)->id());
    }
    if (shown.isEmpty())
        qFatal("no tile on the screen");
    qsizetype next = 0;
    for (auto _ : state) {
        Q_EMIT view.imageCache()->imageReady(shown.at(next++ % shown.size()));
        QCoreApplication::sendPostedEvents();
    }
    state.counters["tiles"] = double(shown.size());
}

// Time spent painting the widgets it watches, and how many paints of each.
struct PaintTally : QObject
{
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Paint || inside)
            return false;
        ++paints[watched];
        // The paint is sent on from here, inside the filter, to be timed.
        inside = true;
        QElapsedTimer clock;
        clock.start();
        QCoreApplication::sendEvent(watched, event);
        ms += clock.nsecsElapsed() / 1e6;
        inside = false;
        return true;
    }

    QHash<QObject *, int> paints;
    double ms = 0;
    bool inside = false;
};

// A deleted note of 25 cards deleted for good on the shown Recently Deleted
// screen, its confirmation answered: the time until the screen is painted
// again, `paintMs` of it painting the two grids, and how many times each
// grid was painted per deletion.
void BM_DeleteNoteForGoodOnScreen(benchmark::State &state)
{
    Library library(int(state.range(0)));
    TrashActions actions(*library.query, library.navigation, nullptr);
    TrashView view(*library.query, TrashModel::windowActions(actions));
    view.resize(1180, 900);
    view.show();
    while (!view.windowHandle() || !view.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    PaintTally tally;
    view.boardsGrid()->viewport()->installEventFilter(&tally);
    view.cardsGrid()->viewport()->installEventFilter(&tally);
    const auto settle = [] {
        for (int round = 0; round < 3; ++round) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
        }
    };
    ModelContext &context = *library.container->mainContext();
    double paint = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto *note = new Board;
        note->setTitle(QStringLiteral("To delete for good"));
        context.insert(note);
        for (int i = 0; i < 25; ++i) {
            CanvasCard::Init init;
            init.boardID = note->id();
            init.kind = CardKind::thought;
            context.insert(new CanvasCard(init));
        }
        note->moveToTrash(QDateTime::currentDateTimeUtc());
        if (!context.save())
            state.SkipWithError("not saved");
        settle();
        tally.paints.clear();
        tally.ms = 0;
        state.ResumeTiming();
        view.model()->requestDeletion(TrashItemModel::Section::boards, note->id());
        view.model()->confirmDeletion();
        settle();
        paint += tally.ms;
        state.counters["boardsPaints"] = tally.paints.value(view.boardsGrid()->viewport());
        state.counters["cardsPaints"] = tally.paints.value(view.cardsGrid()->viewport());
    }
    state.counters["paintMs"] = paint / double(state.iterations());
}

BENCHMARK(BM_OpenSnipsLibrary)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenRecentlyDeleted)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReturnToSnipsLibrary)->Arg(1000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReturnToRecentlyDeleted)->Arg(1000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeleteNoteForGoodOnScreen)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterSnipsLibrary)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SnipsPictureArrives)->Arg(1000)->Arg(50000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScrollSnipsLibrary)->Arg(1000)->Arg(50000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TypeIntoSnipsLibrary)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    return runBenchmarks<QApplication>(argc, argv);
}
