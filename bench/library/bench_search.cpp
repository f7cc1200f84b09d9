#include "BenchmarkMain.h"
#include "support/LibraryFixture.h"
#include "support/ProcessStatus.h"
#include "library/CompactCardPreview.h"
#include "library/SearchCorpus.h"
#include "library/SearchMatching.h"
#include "library/SearchView.h"
#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "runtime/LibraryQuery.h"
#include "runtime/NavigationState.h"
#include "platform/BackgroundPool.h"
#include "platform/UserDefaults.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QObject>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <ctime>
#include <vector>

#include <malloc.h>

using namespace tessaline;

namespace {

// A library of `notes` notes, each with a few paragraphs and `cardsPerNote`
// cards (half snips with recognised text), nothing cached between runs.
struct Library
{
    Library(int notes, int cardsPerNote)
    {
        const QDateTime base = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
        for (int n = 0; n < notes; ++n) {
            Board::Init init;
            init.title = QStringLiteral("Note %1 about café planning").arg(n);
            init.createdAt = base;
            init.updatedAt = base.addSecs(n % 97);
            init.lastOpenedAt = base;
            init.writingDocument.blocks = {
                BoardWritingBlock::paragraph(QStringLiteral("First paragraph of note %1 with ordinary words.").arg(n)),
                BoardWritingBlock::paragraph(QStringLiteral("Second paragraph mentions the résumé and a budget.")),
            };
            auto *board = new Board(init, &owner);
            boards.append(board);
            for (int c = 0; c < cardsPerNote; ++c) {
                CanvasCard::Init card;
                card.boardID = board->id();
                card.kind = c % 2 ? CardKind::snip : CardKind::thought;
                card.markdownText = QStringLiteral("Card %1 of note %2").arg(c).arg(n);
                card.ocrText = QStringLiteral("Invoice total 42.00 EUR\nReference %1-%2").arg(n).arg(c);
                card.sourceApplicationName = QStringLiteral("Firefox");
                card.createdAt = base.addSecs(c);
                cards.append(new CanvasCard(card, &owner));
            }
        }
    }
    QObject owner;
    QList<Board *> boards;
    QList<CanvasCard *> cards;
};

void searchLibrary(benchmark::State &state, const QString &query)
{
    const Library library(int(state.range(0)), 10);
    qsizetype hits = 0;
    for (auto _ : state) {
        const SearchResults results(library.boards, library.cards, query, SearchScope::all);
        hits = results.resultCount();
        benchmark::DoNotOptimize(hits);
    }
    state.counters["hits"] = double(hits);
    state.counters["cards"] = double(library.cards.size());
}

void BM_SearchNoHits(benchmark::State &state) { searchLibrary(state, QStringLiteral("zebra crossing")); }
void BM_SearchManyHits(benchmark::State &state) { searchLibrary(state, QStringLiteral("invoice")); }

// The library a long-time user builds up: 1,000 notes of 20 paragraphs and
// 10,000 cards, 30 % of them snips with 1–2 KB of recognised text. With
// `accented`, a tenth of the words carry accents, which takes folding off
// its plain-ASCII path.
struct LargeLibrary
{
    explicit LargeLibrary(bool accented)
    {
        static const QStringList plain{QStringLiteral("budget"), QStringLiteral("meeting"), QStringLiteral("review"),
                                       QStringLiteral("invoice"), QStringLiteral("design"), QStringLiteral("roadmap"),
                                       QStringLiteral("customer"), QStringLiteral("release"), QStringLiteral("notes"),
                                       QStringLiteral("schedule")};
        static const QStringList marked{QStringLiteral("café"), QStringLiteral("résumé"), QStringLiteral("naïve"),
                                        QStringLiteral("Zürich"), QStringLiteral("façade")};
        quint32 seed = 7;
        const auto word = [&] {
            seed = seed * 1664525u + 1013904223u;
            if (accented && (seed >> 8) % 10 == 0)
                return marked.at((seed >> 12) % marked.size());
            return plain.at((seed >> 12) % plain.size());
        };
        const auto sentence = [&](int words) {
            QStringList parts;
            for (int w = 0; w < words; ++w)
                parts.append(word());
            return parts.join(QLatin1Char(' '));
        };
        const QDateTime base = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
        for (int n = 0; n < 1000; ++n) {
            Board::Init init;
            init.title = QStringLiteral("Note %1 ").arg(n) + sentence(3);
            init.createdAt = base;
            init.updatedAt = base.addSecs(n % 97);
            init.lastOpenedAt = base;
            for (int p = 0; p < 20; ++p)
                init.writingDocument.blocks.append(BoardWritingBlock::paragraph(sentence(14)));
            boards.append(new Board(init, &owner));
        }
        for (int c = 0; c < 10000; ++c) {
            CanvasCard::Init card;
            card.boardID = boards.at(c % boards.size())->id();
            card.createdAt = base.addSecs(c % 13);
            if (c % 10 < 3) {
                card.kind = CardKind::snip;
                card.contextText = sentence(6);
                card.ocrText = sentence(180 + int(seed % 120)); // about 1–2 KB
                card.sourceApplicationName = QStringLiteral("Firefox");
                card.sourceWindowTitle = sentence(5);
            } else {
                card.kind = CardKind::thought;
                card.markdownText = sentence(30);
            }
            cards.append(new CanvasCard(card, &owner));
        }
    }
    QObject owner;
    QList<Board *> boards;
    QList<CanvasCard *> cards;
};

// Typing "password" one key at a time (a word no text holds) and then
// "budget" (hits everywhere): each iteration is one keystroke, with the note
// excerpts and snip tiles of the first screenful built as the screen shows
// them. With `retyping`, each keystroke puts in the whole other word, as a
// paste or a selection typed over does: nothing can be narrowed from the
// last hits, so every text is scanned each time.
void typeIntoSearch(benchmark::State &state, bool accented, bool retyping = false)
{
    const LargeLibrary library(accented);
    SearchCorpus corpus;
    QStringList keystrokes;
    for (const QString &word : {QStringLiteral("password"), QStringLiteral("budget")}) {
        for (int length = retyping ? word.size() : 1; length <= word.size(); ++length)
            keystrokes.append(word.left(length));
    }
    // The first search of a session folds everything once.
    benchmark::DoNotOptimize(SearchResults(library.boards, library.cards, keystrokes.first(), SearchScope::all, corpus));
    qsizetype next = 0;
    for (auto _ : state) {
        const QString &text = keystrokes.at(next++ % keystrokes.size());
        const SearchResults results(library.boards, library.cards, text, SearchScope::all, corpus);
        for (const Board *note : results.noteResults().mid(0, 8))
            benchmark::DoNotOptimize(noteSearchExcerpt(*note, results.cardsOfBoard(note->id()), results.query()));
        for (const CanvasCard *card : results.snipResults().mid(0, 12))
            benchmark::DoNotOptimize(CompactCardPreview(*card, QStringLiteral("Note"), true));
    }
    state.counters["texts"] = double(corpus.keptCount());
}

void BM_TypingPlain(benchmark::State &state) { typeIntoSearch(state, false); }
void BM_TypingAccented(benchmark::State &state) { typeIntoSearch(state, true); }
void BM_RetypingPlain(benchmark::State &state) { typeIntoSearch(state, false, true); }
void BM_RetypingAccented(benchmark::State &state) { typeIntoSearch(state, true, true); }

// -- Disk-backed libraries -------------------------------------------------

// A copy of the shared disk library of `cards` cards, opened as the app
// opens its library at start.
class DiskLibrary
{
public:
    explicit DiskLibrary(int cards)
        : m_container(bench::LibraryFixture::open(bench::LibraryShape{cards}, m_directory.path()))
    {
        if (!m_container)
            qFatal("cannot open the benchmark library");
        m_library = std::make_unique<LibraryQuery>(*m_container->mainContext());
    }

    LibraryQuery &library() const { return *m_library; }

private:
    QTemporaryDir m_directory;
    std::unique_ptr<ModelContainer> m_container;
    std::unique_ptr<LibraryQuery> m_library;
};

// The main thread's own processor time, in milliseconds: what it spent
// working, not waiting for a processor on a busy machine.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// The longest the main thread went without a turn of its event loop, by
// the wall clock and by its own processor time.
struct LongestBlock
{
    double wallMs = 0;
    double cpuMs = 0;
};

// Runs the event loop until `done` holds, measuring its longest block and
// the wall time until then.
template<typename Done>
void runUntil(Done done, LongestBlock &longest, double &elapsed)
{
    QElapsedTimer clock;
    clock.start();
    QElapsedTimer turn;
    turn.start();
    double turnCpu = threadCpuMs();
    longest = {};
    const auto beat = [&] {
        longest.wallMs = std::max(longest.wallMs, turn.nsecsElapsed() / 1e6);
        const double cpu = threadCpuMs();
        longest.cpuMs = std::max(longest.cpuMs, cpu - turnCpu);
        turnCpu = cpu;
        turn.restart();
    };
    QTimer heartbeat;
    heartbeat.setInterval(0);
    QObject::connect(&heartbeat, &QTimer::timeout, beat);
    heartbeat.start();
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    beat();
    elapsed = clock.nsecsElapsed() / 1e6;
}

// What the window keeps for its screens: the navigation state, with its own
// settings file.
struct Window
{
    QTemporaryDir settings;
    UserDefaults defaults{settings.filePath(QStringLiteral("settings.ini"))};
    NavigationState navigation{defaults};
};

// The window's search screen shown over a library, as the main window
// shows it.
std::unique_ptr<SearchView> showSearch(LibraryQuery &library, NavigationState &navigation)
{
    auto view = std::make_unique<SearchView>(library, navigation, [](const QUuid &, const QUuid &) {});
    view->resize(1180, 900);
    view->show();
    return view;
}

// The app's start up to a window over the library, then the first phrase:
// the corpus folds in the background while the event loop keeps turning;
// then Search is opened and the first key typed and painted. Counters: the
// background fold's wall time and the longest block of the main thread
// meanwhile.
void BM_DiskFirstKeystroke(benchmark::State &state)
{
    const int cards = int(state.range(0));
    double foldMs = 0;
    LongestBlock longest;
    for (auto _ : state) {
        state.PauseTiming();
        {
            DiskLibrary disk(cards);
            Window window;
            NavigationState &navigation = window.navigation;
            SearchCorpus &corpus = SearchCorpus::of(disk.library());
            runUntil([&] { return corpus.isPrepared(); }, longest, foldMs);
            auto view = showSearch(disk.library(), navigation);
            QCoreApplication::processEvents();
            state.ResumeTiming();
            navigation.setSearchText(QStringLiteral("b"));
            benchmark::DoNotOptimize(view->grab());
            state.PauseTiming();
        }
        state.ResumeTiming();
    }
    state.counters["cards"] = cards;
    state.counters["foldMs"] = foldMs;
    state.counters["blockMs"] = longest.wallMs;
    state.counters["blockCpuMs"] = longest.cpuMs;
}

// Opening the Search screen on a running app (the corpus kept from the
// start): the screen made, its phrase searched and painted. `remembered`
// comes back to a phrase typed before, whose hits are shown at once.
void diskOpenSearch(benchmark::State &state, const QString &phrase)
{
    const int cards = int(state.range(0));
    DiskLibrary disk(cards);
    Window window;
    NavigationState &navigation = window.navigation;
    navigation.setSearchText(phrase);
    SearchCorpus &corpus = SearchCorpus::of(disk.library());
    LongestBlock longest;
    double foldMs = 0;
    runUntil([&] { return corpus.isPrepared(); }, longest, foldMs);
    // A save in between, as the app makes them all the time: the screen
    // opens over lists read again since its last search, and the corpus
    // catches up with the save in the background first.
    disk.library().refresh();
    runUntil([&] { return corpus.isPrepared(); }, longest, foldMs);
    state.counters["afterSaveBlockMs"] = longest.wallMs;
    state.counters["afterSaveBlockCpuMs"] = longest.cpuMs;
    state.counters["afterSaveMs"] = foldMs;
    double buildMs = 0;
    double paintMs = 0;
    // A large library's kept phrase is searched on the worker: its hits
    // come in after the first frame, and are painted then.
    double hitsInMs = 0;
    double hitsBlockMs = 0;
    double hitsBlockCpuMs = 0;
    double hitsPaintMs = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        auto view = showSearch(disk.library(), navigation);
        buildMs += clock.nsecsElapsed() / 1e6;
        clock.restart();
        benchmark::DoNotOptimize(view->grab());
        paintMs += clock.nsecsElapsed() / 1e6;
        state.PauseTiming();
        double waited = 0;
        runUntil([&] { return view->model().content() != SearchScreenModel::Content::searching; }, longest, waited);
        hitsInMs += waited;
        hitsBlockMs += longest.wallMs;
        hitsBlockCpuMs += longest.cpuMs;
        clock.restart();
        benchmark::DoNotOptimize(view->grab());
        hitsPaintMs += clock.nsecsElapsed() / 1e6;
        view.reset();
        disk.library().refresh();
        runUntil([&] { return corpus.isPrepared(); }, longest, foldMs);
        state.ResumeTiming();
    }
    state.counters["cards"] = cards;
    state.counters["buildMs"] = buildMs / double(state.iterations());
    state.counters["paintMs"] = paintMs / double(state.iterations());
    state.counters["hitsInMs"] = hitsInMs / double(state.iterations());
    state.counters["hitsBlockMs"] = hitsBlockMs / double(state.iterations());
    state.counters["hitsBlockCpuMs"] = hitsBlockCpuMs / double(state.iterations());
    state.counters["hitsPaintMs"] = hitsPaintMs / double(state.iterations());
}

void BM_DiskOpenSearchEmpty(benchmark::State &state) { diskOpenSearch(state, QString()); }
void BM_DiskOpenSearchRemembered(benchmark::State &state) { diskOpenSearch(state, QStringLiteral("budget")); }

// The bytes the heap has handed out, in all threads' arenas and in blocks
// of their own.
size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// One key typed into the shown screen, searched and painted: "password"
// (no text holds it) and "budget" (hits everywhere), a letter at a time.
// Each key is handed to the event loop as a typed key is, and the loop runs
// until the key's hits are in and painted. `blockMs`: the longest the main
// thread was held from anything else (key taken, hits delivered, screen
// painted), as median and maximum over the keys (`blockMaxMs`), with its
// processor time (`blockCpuMs`); `hitsInMs`: from the key to its hits
// painted.
void BM_DiskKeystroke(benchmark::State &state)
{
    const int cards = int(state.range(0));
    DiskLibrary disk(cards);
    Window window;
    NavigationState &navigation = window.navigation;
    backgroundPool().waitForDone();
    malloc_trim(0);
    const size_t heapBefore = heapInUse();
    SearchCorpus &corpus = SearchCorpus::of(disk.library());
    LongestBlock longest;
    double foldMs = 0;
    runUntil([&] { return corpus.isPrepared(); }, longest, foldMs);
    backgroundPool().waitForDone();
    state.counters["corpusHeapMB"] = (double(heapInUse()) - double(heapBefore)) / (1 << 20);
    auto view = showSearch(disk.library(), navigation);
    QStringList keystrokes;
    for (const QString &word : {QStringLiteral("password"), QStringLiteral("budget")}) {
        for (int length = 1; length <= word.size(); ++length)
            keystrokes.append(word.left(length));
    }
    qsizetype next = 0;
    std::vector<double> blocks;
    std::vector<double> blockCpus;
    double hitsInMs = 0;
    for (auto _ : state) {
        const QString text = keystrokes.at(next++ % keystrokes.size());
        const auto hitsIn = [&] {
            return view->model().query() == trimmedWhitespace(text)
                && view->model().content() != SearchScreenModel::Content::searching;
        };
        // A beat every millisecond: a gap between two beats is the main
        // thread busy with something else (less the millisecond).
        QEventLoop loop;
        QElapsedTimer sinceBeat;
        double cpuAtBeat = threadCpuMs();
        double longest = 0;
        double longestCpu = 0;
        bool hitsWereIn = false;
        QTimer beat;
        beat.setTimerType(Qt::PreciseTimer);
        beat.setInterval(1);
        QObject::connect(&beat, &QTimer::timeout, [&] {
            longest = std::max(longest, sinceBeat.nsecsElapsed() / 1e6 - 1);
            const double cpu = threadCpuMs();
            longestCpu = std::max(longestCpu, cpu - cpuAtBeat);
            cpuAtBeat = cpu;
            sinceBeat.restart();
            // The beat after the hits came in follows their painting.
            if (hitsWereIn)
                loop.quit();
            hitsWereIn = hitsIn();
        });
        QElapsedTimer clock;
        clock.start();
        sinceBeat.start();
        beat.start();
        QMetaObject::invokeMethod(
            &navigation, [&navigation, text] { navigation.setSearchText(text); }, Qt::QueuedConnection);
        loop.exec();
        hitsInMs += clock.nsecsElapsed() / 1e6;
        blocks.push_back(longest);
        blockCpus.push_back(longestCpu);
    }
    const double keys = double(state.iterations());
    std::sort(blocks.begin(), blocks.end());
    std::sort(blockCpus.begin(), blockCpus.end());
    state.counters["hitsInMs"] = hitsInMs / keys;
    state.counters["blockMs"] = blocks.at(blocks.size() / 2);
    state.counters["blockMaxMs"] = blocks.back();
    state.counters["blockCpuMs"] = blockCpus.at(blockCpus.size() / 2);
    state.counters["blockCpuMaxMs"] = blockCpus.back();
    state.counters["cards"] = cards;
    const SearchCorpus::HeldBytes held = corpus.heldBytes();
    state.counters["textMB"] = double(held.texts) / (1 << 20);
    state.counters["bookkeepingMB"] = double(held.bookkeeping) / (1 << 20);
    state.counters["textInFileMB"] = double(held.textsInFile) / (1 << 20);
    // The process as a whole once it has searched: files' pages it reads
    // through memory (the scratch file's among them) and the rest.
    state.counters["rssMB"] = bench::processStatusMiB(0, "VmRSS");
    state.counters["rssFileMB"] = bench::processStatusMiB(0, "RssFile");
    corpus.dropFilePages();
    state.counters["rssFileDroppedMB"] = bench::processStatusMiB(0, "RssFile");
}

// A word typed a letter at a time into the search of a prepared library, as
// the screen searches at each key: the first letter finds nearly every note
// and snip, and each letter after narrows from the hits before. Counter
// `keyThreadCpuMs`: the main thread's own processor time per key.
void BM_DiskNarrowing(benchmark::State &state)
{
    DiskLibrary disk(int(state.range(0)));
    backgroundPool().waitForDone();
    SearchCorpus &corpus = SearchCorpus::of(disk.library());
    LongestBlock longest;
    double foldMs = 0;
    runUntil([&] { return corpus.isPrepared(); }, longest, foldMs);
    backgroundPool().waitForDone();
    const QString word = QStringLiteral("report");
    double cpuMs = 0;
    qsizetype hits = 0;
    for (auto _ : state) {
        const double cpuBefore = threadCpuMs();
        for (qsizetype length = 1; length <= word.size(); ++length) {
            const SearchResults results(word.left(length), SearchScope::all, corpus);
            hits = results.noteResults().size() + results.snipResults().size();
        }
        cpuMs += threadCpuMs() - cpuBefore;
    }
    state.counters["keyThreadCpuMs"] = cpuMs / double(state.iterations()) / double(word.size());
    state.counters["hits"] = double(hits);
}

} // namespace

BENCHMARK(BM_DiskNarrowing)->Arg(1000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DiskFirstKeystroke)->Arg(1000)->Arg(10000)->Arg(50000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DiskOpenSearchEmpty)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DiskOpenSearchRemembered)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DiskKeystroke)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TypingPlain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TypingAccented)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RetypingPlain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RetypingAccented)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchNoHits)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchManyHits)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    return runBenchmarks<QApplication>(argc, argv);
}
