// A note's map with 2,000 placed cards (1,000 snips with 800 x 500 pictures,
// 1,000 thoughts in Markdown) and 3,000 labelled connections between nearby
// cards, in a library on disk of 10,000 cards of long use (1,000 or 50,000
// where a benchmark's argument says). Measures building the map and painting its first frame, one
// frame of dragging a card with ten connections, an arrow-key move (write,
// save and undo step), and grouping 500 cards of a 20,000-card library with
// its undo and redo; and the map of Quick Captures of the 1,000, 10,000 and
// 50,000 card libraries on disk (a few piles of cards on a few spots)
// opened with its fade as a running app opens it, and scrolled.
//
// Counter: peak_rss_MiB, the process's peak resident memory so far.

#include "BenchmarkMain.h"
#include "support/LibraryFixture.h"
#include "support/ScrollSweep.h"
#include "../runtime/ScreenshotContent.h"

#include "canvas/BoardLayoutEditor.h"
#include "canvas/BoardMapScene.h"
#include "canvas/BoardMapView.h"
#include "canvas/CardItem.h"
#include "design/ContentFadeEffect.h"
#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/Connection.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "model/StoreUndoStack.h"
#include "platform/UserDefaults.h"
#include "runtime/NavigationState.h"
#include "runtime/SnipImageCache.h"
#include "platform/BackgroundPool.h"

#include <QApplication>
#include <QBuffer>
#include <QGraphicsView>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QMouseEvent>
#include <QScrollBar>
#include <QThreadPool>
#include <QVBoxLayout>

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <memory>

using namespace tessaline;

namespace {

constexpr int snipCount = 1000;
constexpr int thoughtCount = 1000;
constexpr int connectionCount = 3000;
constexpr int largeLibraryCards = 20000;
constexpr int groupedCards = 500;

double peakRssMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

QByteArray picture()
{
    const QImage image = bench::screenshotContent(800, 500);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QString markdown(int i)
{
    return QStringLiteral("## Thought %1\n\nWhat the **captured** screen says about the plan, and why it *matters*:\n\n"
                          "- first point of %1\n- second point\n- a [link](https://example.org/%1)\n")
        .arg(i);
}

// One library on disk, built once: the map's note, and enough other cards
// for the grouping benchmarks, added to a library of long use.
struct Library
{
    QTemporaryDir dir;
    std::unique_ptr<ModelContainer> container;
    ModelContext *context = nullptr;
    Board *note = nullptr;
    Board *bulk = nullptr;
    QList<CanvasCard *> placed;
    QList<CanvasCard *> bulkCards;
    // The card the drag and key benchmarks move, with ten connections.
    CanvasCard *hub = nullptr;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<NavigationState> navigation;
};

Library &library(int libraryCards = 10000)
{
    // One library at a time: the one of 50,000 cards is large. It goes
    // with the application, whose objects it holds, and takes its folder.
    static std::unique_ptr<Library> kept;
    static int keptCards = 0;
    static const bool released = [] {
        qAddPostRoutine([] { kept.reset(); });
        return true;
    }();
    Q_UNUSED(released);
    if (kept && keptCards == libraryCards)
        return *kept;
    kept.reset();
    keptCards = libraryCards;
    kept = [libraryCards] {
        auto l = std::make_unique<Library>();
        // Beside the library of cards of long use.
        l->container = bench::LibraryFixture::open(bench::LibraryShape{libraryCards}, l->dir.path());
        if (!l->container)
            qFatal("the benchmark library could not be opened");
        l->context = l->container->mainContext();
        l->defaults = std::make_unique<UserDefaults>(l->dir.filePath(QStringLiteral("settings.ini")));
        l->navigation = std::make_unique<NavigationState>(*l->defaults);
        const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-30);

        l->note = new Board;
        l->note->setTitle(QStringLiteral("Large map"));
        l->context->insert(l->note);
        l->bulk = new Board;
        l->bulk->setTitle(QStringLiteral("Archive"));
        l->context->insert(l->bulk);

        const QByteArray screenshot = picture();
        for (int i = 0; i < snipCount + thoughtCount; ++i) {
            CanvasCard::Init init;
            init.boardID = l->note->id();
            const bool snip = i % 2 == 0;
            init.kind = snip ? CardKind::snip : CardKind::thought;
            init.title = QStringLiteral("Card %1").arg(i);
            if (snip) {
                init.originalImageData = screenshot;
                init.contextText = QStringLiteral("Why snip %1 matters").arg(i);
            } else {
                init.markdownText = markdown(i);
            }
            // A 40-column grid, 380 x 280 apart.
            init.canvasX = 80 + 380 * (i % 40);
            init.canvasY = 80 + 280 * (i / 40);
            init.isPlaced = true;
            init.createdAt = start.addSecs(i);
            auto *card = new CanvasCard(init);
            l->context->insert(card);
            l->placed.append(card);
        }
        l->hub = l->placed.at(40 + 1); // on screen from the start
        // Cards are connected to cards near them, as related cards are
        // placed near each other: up to three places away in each
        // direction of the 40-column grid.
        auto *random = QRandomGenerator::global();
        const auto near = [&](int index) {
            const int column = std::clamp(index % 40 + random->bounded(-3, 4), 0, 39);
            const int row = std::clamp(index / 40 + random->bounded(-3, 4), 0, (snipCount + thoughtCount) / 40 - 1);
            return l->placed.at(row * 40 + column);
        };
        for (int i = 0; i < connectionCount; ++i) {
            ConnectionValues values;
            values.boardID = l->note->id();
            const int source = i < 10 ? 41 : random->bounded(int(l->placed.size()));
            values.sourceCardID = l->placed.at(source)->id();
            values.destinationCardID = near(source)->id();
            values.label = QStringLiteral("leads to %1").arg(i);
            l->context->insert(new Connection(values));
        }
        for (int i = l->placed.size(); i < largeLibraryCards; ++i) {
            CanvasCard::Init init;
            init.boardID = l->bulk->id();
            init.kind = CardKind::thought;
            init.markdownText = QStringLiteral("Thought %1").arg(i);
            init.createdAt = start.addSecs(i);
            auto *card = new CanvasCard(init);
            l->context->insert(card);
            l->bulkCards.append(card);
        }
        if (!l->context->save())
            qFatal("the benchmark library could not be saved");
        return l;
    }();
    return *kept;
}

std::unique_ptr<BoardMapView> makeMap(StoreUndoStack *stack, int libraryCards = 10000)
{
    Library &l = library(libraryCards);
    auto view = std::make_unique<BoardMapView>(*l.context, *l.navigation, l.note->id(), stack, BoardMapServices{});
    view->resize(1180, 720);
    return view;
}

void sendMouse(QWidget *widget, QEvent::Type type, const QPoint &at, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(at), QPointF(widget->mapToGlobal(at)), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void settle(BoardMapView &view)
{
    view.imageCache()->waitForPending();
    backgroundPool().waitForDone();
    QApplication::processEvents();
}

// What opening the map costs until its first frame is on screen: the
// pictures are still decoding off the main thread then.
void BM_MapBuiltAndFirstPainted(benchmark::State &state)
{
    const int libraryCards = int(state.range(0));
    library(libraryCards);
    for (auto _ : state) {
        auto view = makeMap(nullptr, libraryCards);
        view->show();
        const QPixmap frame = view->grab();
        benchmark::DoNotOptimize(frame);
        state.PauseTiming();
        settle(*view);
        view.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["peak_rss_MiB"] = peakRssMiB();
}

void BM_DragFrameWithTenConnections(benchmark::State &state)
{
    const int libraryCards = int(state.range(0));
    Library &l = library(libraryCards);
    auto view = makeMap(nullptr, libraryCards);
    view->show();
    QWidget *viewport = view->graphicsView()->viewport();
    // Every picture on screen decoded, as during a real drag.
    viewport->repaint();
    settle(*view);
    viewport->repaint();
    const QPointF grab = QRectF(l.hub->canvasX(), l.hub->canvasY(), l.hub->canvasWidth(), l.hub->canvasHeight()).center();
    const QPoint start = view->graphicsView()->mapFromScene(grab);
    sendMouse(viewport, QEvent::MouseButtonPress, start, Qt::LeftButton);
    int step = 0;
    for (auto _ : state) {
        // Back and forth, 3 points a frame.
        const int phase = step++ % 100;
        const int offset = 10 + (phase < 50 ? phase : 100 - phase) * 3;
        sendMouse(viewport, QEvent::MouseMove, start + QPoint(offset, offset / 2), Qt::LeftButton);
        viewport->repaint();
    }
    // Dropped where it was picked up.
    sendMouse(viewport, QEvent::MouseMove, start, Qt::LeftButton);
    sendMouse(viewport, QEvent::MouseButtonRelease, start, Qt::NoButton);
    state.counters["peak_rss_MiB"] = peakRssMiB();
}

// Every connection and card on screen painted again, as after scrolling.
void BM_RepaintWholeView(benchmark::State &state)
{
    auto view = makeMap(nullptr);
    view->show();
    QWidget *viewport = view->graphicsView()->viewport();
    viewport->repaint();
    settle(*view);
    for (auto _ : state)
        viewport->repaint();
}

void BM_ArrowKeyMove(benchmark::State &state)
{
    Library &l = library();
    StoreUndoStack stack;
    auto view = makeMap(&stack);
    view->show();
    CardItem *item = view->scene().cardItem(l.hub->id());
    int i = 0;
    for (auto _ : state) {
        // Right and back, so the card stays where it was.
        item->handleKey(i++ % 2 ? Qt::Key_Left : Qt::Key_Right, Qt::NoModifier);
    }
    state.counters["undo_steps"] = double(stack.count());
    state.counters["peak_rss_MiB"] = peakRssMiB();
}

struct Grouping
{
    explicit Grouping(int libraryCards = 10000) : l(library(libraryCards)) {}

    Library &l;
    StoreUndoStack stack;
    BoardLayoutEditor editor{*l.context, &stack};
    QList<CanvasCard *> cards = l.bulkCards.mid(1000, groupedCards);
};

void BM_GroupFiveHundredCards(benchmark::State &state)
{
    Grouping g(int(state.range(0)));
    for (auto _ : state) {
        if (!g.editor.groupCards(g.cards, QUuid::createUuid()))
            state.SkipWithError("the group could not be saved");
    }
    state.counters["peak_rss_MiB"] = peakRssMiB();
}

void runGroupUndo(benchmark::State &state, bool measureRedo)
{
    Grouping g;
    if (!g.editor.groupCards(g.cards, QUuid::createUuid()))
        state.SkipWithError("the group could not be saved");
    for (auto _ : state) {
        if (measureRedo) {
            state.PauseTiming();
            g.stack.undo();
            state.ResumeTiming();
            g.stack.redo();
        } else {
            g.stack.undo();
            state.PauseTiming();
            g.stack.redo();
            state.ResumeTiming();
        }
    }
    if (g.stack.count() != 1)
        state.SkipWithError("a step left the history");
}

void BM_GroupUndo(benchmark::State &state) { runGroupUndo(state, false); }
void BM_GroupRedo(benchmark::State &state) { runGroupUndo(state, true); }

// A copy of the disk library of `cards` cards in `directory`, just read.
std::unique_ptr<ModelContainer> openLibrary(int cards, const QString &directory)
{
    auto container = bench::LibraryFixture::open(bench::LibraryShape{cards}, directory);
    if (!container)
        qFatal("the library could not be opened");
    return container;
}

QUuid quickCapturesOf(ModelContext &context)
{
    for (const Board *board : *context.fetchBoards()) {
        if (board->isInbox() && board->isLive())
            return board->id();
    }
    return {};
}

// Main-thread time, not the pool's decoding beside it.
double threadMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// A library on disk, just read, with the id of its Quick Captures, as a
// running app has it before the map opens: no card's texts read yet.
struct OpenedLibrary
{
    explicit OpenedLibrary(int cards)
        : container(openLibrary(cards, directory.path()))
        , context(*container->mainContext())
        , inbox(quickCapturesOf(context))
        , defaults(directory.filePath(QStringLiteral("settings.ini")))
        , navigation(defaults)
    {
        (void)context.fetchCards();
    }

    QTemporaryDir directory;
    std::unique_ptr<ModelContainer> container;
    ModelContext &context;
    QUuid inbox;
    UserDefaults defaults;
    NavigationState navigation;
};

// The map of a library's Quick Captures as a running app opens it: built
// in a window already on screen, its first frame painted, then the frames
// of the fade it comes in with (12 steps to full opacity, as a 200 ms fade
// at 60 frames a second draws). Counters: first_frame_ms and fade_ms, the
// main thread's time until the first frame is painted and over the fade,
// built_ms the part of the first spent building the map;
// items, the scene's items by the end of the fade.
void BM_QuickCapturesMapBuilt(benchmark::State &state)
{
    int items = 0;
    double firstFrame = 0;
    double fade = 0;
    double built = 0;
    for (auto _ : state) {
        state.PauseTiming();
        OpenedLibrary library(int(state.range(0)));
        QWidget window;
        window.resize(1180, 780);
        auto *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        window.show();
        QApplication::processEvents();
        state.ResumeTiming();
        const double start = threadMs();
        auto *view = new BoardMapView(library.context, library.navigation, library.inbox, nullptr, BoardMapServices{});
        built += threadMs() - start;
        // As the note's screen fades its content in.
        auto *effect = new ContentFadeEffect(view);
        effect->setOpacity(0);
        view->setGraphicsEffect(effect);
        layout->addWidget(view);
        effect->setOpacity(1.0 / 12);
        // Shown, laid out and painted as the window's next frame.
        QApplication::processEvents();
        const double painted = threadMs();
        for (int frame = 2; frame <= 12; ++frame) {
            effect->setOpacity(frame / 12.0);
            window.repaint();
        }
        view->setGraphicsEffect(nullptr);
        window.repaint();
        const double faded = threadMs();
        state.PauseTiming();
        firstFrame += painted - start;
        fade += faded - painted;
        items = int(view->scene().items().size());
        view->imageCache()->waitForPending();
        backgroundPool().waitForDone();
        delete view;
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["items"] = items;
    state.counters["first_frame_ms"] = firstFrame / double(state.iterations());
    state.counters["built_ms"] = built / double(state.iterations());
    state.counters["fade_ms"] = fade / double(state.iterations());
}

// Scrolling the crowded map of a 50,000-card library's Quick Captures over
// its length and back, a few wheel notches a frame, once its pictures are
// in. Counter longest_frame_ms: the slowest frame on the main thread.
void BM_QuickCapturesMapScrolled(benchmark::State &state)
{
    OpenedLibrary library(int(state.range(0)));
    BoardMapView view(library.context, library.navigation, library.inbox, nullptr, BoardMapServices{});
    view.resize(1180, 780);
    view.show();
    QWidget *viewport = view.graphicsView()->viewport();
    viewport->repaint();
    view.imageCache()->waitForPending();
    backgroundPool().waitForDone();
    QApplication::processEvents();
    QScrollBar *bar = view.graphicsView()->verticalScrollBar();
    bench::ScrollSweep sweep(bar->maximum());
    double longest = 0;
    for (auto _ : state) {
        const double start = threadMs();
        bar->setValue(sweep.next());
        viewport->repaint();
        longest = std::max(longest, threadMs() - start);
    }
    state.counters["longest_frame_ms"] = longest;
}

} // namespace

// What the map's cards ask of the store as it is built: every card of
// Quick Captures asked for its texts, in store order, in a library just
// read. Counter `textsHeld`: the cards whose texts are in memory after.
void BM_QuickCapturesTextsRead(benchmark::State &state)
{
    qsizetype held = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir directory;
        auto container = openLibrary(int(state.range(0)), directory.path());
        ModelContext &context = *container->mainContext();
        const QUuid inbox = quickCapturesOf(context);
        const QList<CanvasCard *> cards = *context.fetchCards();
        state.ResumeTiming();
        for (const CanvasCard *card : cards) {
            if (card->boardID() == inbox)
                benchmark::DoNotOptimize(card->contextText());
        }
        state.PauseTiming();
        held = std::count_if(cards.cbegin(), cards.cend(), [](const CanvasCard *card) { return card->unreadTextsRow() == 0; });
        state.ResumeTiming();
    }
    state.counters["textsHeld"] = double(held);
}

// By the size of the library around the map, in cards.
BENCHMARK(BM_QuickCapturesTextsRead)->Arg(1000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_QuickCapturesMapBuilt)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_QuickCapturesMapScrolled)->Arg(1000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(60);
BENCHMARK(BM_MapBuiltAndFirstPainted)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_DragFrameWithTenConnections)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GroupFiveHundredCards)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RepaintWholeView)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArrowKeyMove)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GroupUndo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GroupRedo)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    return runBenchmarks<QApplication>(argc, argv);
}
