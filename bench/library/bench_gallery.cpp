// The gallery and the pins over a library of 5,000 snips: paging to the next
// picture, zoom frames of a 6K capture, pinning one, and memory while paging
// through 200 snips.

#include "BenchmarkMain.h"
#include "../runtime/ScreenshotContent.h"

#include "library/SnipGalleryView.h"
#include "library/ZoomableSnipView.h"
#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "platform/AccessibilitySettings.h"
#include "platform/PlatformFactory.h"
#include "platform/Pasteboard.h"
#include "platform/PngEncoder.h"
#include "platform/UserDefaults.h"
#include "runtime/LibraryQuery.h"
#include "runtime/NavigationState.h"
#include "runtime/PinWindowController.h"
#include "runtime/PinnedImageView.h"
#include "runtime/SnipPictureLoader.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace tessaline;

namespace {

constexpr int librarySize = 5000;
constexpr int fullHDSnips = 200;
constexpr int sixKSnips = 8;

long residentKiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLong() * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

class NullPasteboard : public Pasteboard
{
public:
    void clearContents() override {}
    void declareTypes(const QStringList &) override {}
    bool setData(const QByteArray &, const QString &) override { return true; }
};

// One store for every benchmark: a note of 200 1080p captures, a note of
// eight 6016 × 3384 captures, and small snips in 100 other notes up to 5,000.
struct Library
{
    Library()
    {
        defaults = std::make_unique<UserDefaults>(dir.filePath(QStringLiteral("settings.ini")));
        navigation = std::make_unique<NavigationState>(*defaults);
        ModelContainer::Configuration configuration;
        configuration.directory = dir.path();
        container = std::move(*ModelContainer::open(configuration));
        ModelContext &context = *container->mainContext();
        const QDateTime base = QDateTime(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC);
        auto note = [&](const QString &title) {
            Board::Init init;
            init.title = title;
            init.createdAt = init.updatedAt = init.lastOpenedAt = base;
            init.hasCompletedNoteMigration = true;
            auto *board = new Board(init);
            context.insert(board);
            return board;
        };
        int made = 0;
        auto add = [&](const Board *board, const QByteArray &png) {
            CanvasCard::Init init;
            init.boardID = board->id();
            init.kind = CardKind::snip;
            init.originalImageData = png;
            init.createdAt = base;
            init.capturedAt = base.addSecs(made++);
            auto *card = new CanvasCard(init);
            context.insert(card);
            return card->id();
        };
        const QByteArray fullHD = *encodePng(bench::screenshotContent(1920, 1080));
        const QByteArray sixK = *encodePng(bench::screenshotContent(6016, 3384));
        const QByteArray small = *encodePng(bench::screenshotContent(320, 200, false));
        const Board *fullHDNote = note(QStringLiteral("Full HD captures"));
        for (int i = 0; i < fullHDSnips; ++i)
            fullHDIDs.append(add(fullHDNote, fullHD));
        const Board *sixKNote = note(QStringLiteral("6K captures"));
        for (int i = 0; i < sixKSnips; ++i)
            sixKIDs.append(add(sixKNote, sixK));
        QList<Board *> others;
        for (int i = 0; i < 100; ++i)
            others.append(note(QStringLiteral("Note %1").arg(i)));
        while (made < librarySize)
            add(others.at(made % others.size()), small);
        if (!context.save())
            qFatal("library not saved");
        library = std::make_unique<LibraryQuery>(context);
    }

    static Library &shared()
    {
        static Library library;
        return library;
    }

    std::unique_ptr<SnipGalleryView> open(const QUuid &cardID)
    {
        navigation->openGallery(cardID, std::nullopt);
        SnipGalleryServices services;
        services.pasteboard = &pasteboard;
        auto view = std::make_unique<SnipGalleryView>(*library, *navigation, cardID, services);
        view->resize(1140, 760);
        view->show();
        if (!QTest::qWaitForWindowExposed(view.get()))
            qFatal("gallery not shown");
        return view;
    }

    QTemporaryDir dir;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<NavigationState> navigation;
    std::unique_ptr<ModelContainer> container;
    std::unique_ptr<LibraryQuery> library;
    NullPasteboard pasteboard;
    QList<QUuid> fullHDIDs;
    QList<QUuid> sixKIDs;
};

// Until the gallery shows the current snip's picture, painted.
void waitUntilShown(SnipGalleryView &view)
{
    while (!view.zoomableView()->picture() || view.zoomableView()->picture() != view.model()->picture())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    view.zoomableView()->viewport()->repaint();
}

// Right Arrow to the next picture on screen, the neighbour having had the
// time a person takes to look at a snip (it loads ahead meanwhile).
void BM_NextImageShown(benchmark::State &state)
{
    Library &library = Library::shared();
    const QList<QUuid> &ids = state.range(0) == 0 ? library.fullHDIDs : library.sixKIDs;
    auto view = library.open(ids.first());
    waitUntilShown(*view);
    for (auto _ : state) {
        if (view->model()->currentCardID() == ids.last()) {
            state.PauseTiming();
            view = library.open(ids.first());
            waitUntilShown(*view);
            state.ResumeTiming();
        }
        state.PauseTiming();
        view->model()->pictures().waitForPending();
        state.ResumeTiming();
        QElapsedTimer timer;
        timer.start();
        QTest::keyClick(view.get(), Qt::Key_Right);
        waitUntilShown(*view);
        state.SetIterationTime(timer.nsecsElapsed() / 1e9);
    }
    state.SetLabel(state.range(0) == 0 ? "1920x1080" : "6016x3384");
}
BENCHMARK(BM_NextImageShown)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(7);

// The same step when the user is faster than the loading ahead: the
// picture is read, decoded and annotated only after the key.
void BM_NextImageShownUnprepared(benchmark::State &state)
{
    Library &library = Library::shared();
    const QList<QUuid> &ids = state.range(0) == 0 ? library.fullHDIDs : library.sixKIDs;
    int index = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto view = library.open(ids.at(index));
        view->model()->pictures().waitForPending();
        // Forget the neighbour loaded ahead.
        view->model()->pictures().keepOnly({ids.at(index)});
        state.ResumeTiming();
        QElapsedTimer timer;
        timer.start();
        QTest::keyClick(view.get(), Qt::Key_Right);
        waitUntilShown(*view);
        state.SetIterationTime(timer.nsecsElapsed() / 1e9);
        index = (index + 1) % (ids.size() - 1);
    }
    state.SetLabel(state.range(0) == 0 ? "1920x1080" : "6016x3384");
}
BENCHMARK(BM_NextImageShownUnprepared)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(7);

// One frame of the zoom easing on a 6K capture, fit → 100 % → 800 %:
// the layout, the scroll position and the repaint of the window's area.
void BM_ZoomFrame6K(benchmark::State &state)
{
    Library &library = Library::shared();
    auto view = library.open(library.sixKIDs.first());
    waitUntilShown(*view);
    ZoomableSnipView *zoomable = view->zoomableView();
    // Frames applied at once, one after another, as the easing applies them.
    AccessibilitySettings::shared().setReducesMotion(true);
    QList<double> scales;
    const double fit = zoomable->fitScale();
    for (int i = 0; i <= 20; ++i)
        scales.append(fit * std::pow(1.0 / fit, i / 20.0));
    for (int i = 1; i <= 20; ++i)
        scales.append(std::pow(8.0, i / 20.0));
    qint64 worst = 0;
    int frame = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        zoomable->setZoomMode(SnipZoomMode::custom(scales.at(frame)));
        zoomable->viewport()->repaint();
        const qint64 elapsed = timer.nsecsElapsed();
        worst = std::max(worst, elapsed);
        state.SetIterationTime(elapsed / 1e9);
        frame = (frame + 1) % scales.size();
    }
    AccessibilitySettings::shared().setReducesMotion(false);
    state.counters["worstFrame_ms"] = worst / 1e6;
}
BENCHMARK(BM_ZoomFrame6K)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(82);

// "Pin" on a 6K snip: the window on screen (its placeholder), then the
// picture in it.
void BM_Pin6K(benchmark::State &state)
{
    Library &library = Library::shared();
    PinWindowController pins(PlatformFactory::floatingWindows(), library.pasteboard);
    qint64 pictureNs = 0;
    for (auto _ : state) {
        CanvasCard *card = library.library->firstCard(library.sixKIDs.at(1));
        QElapsedTimer timer;
        timer.start();
        pins.pinCard(*card);
        // The window opens once the picture's size is read on the store's
        // worker.
        QDeadlineTimer deadline(10000);
        while (!pins.window(card->id()) && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        PinnedImageView *window = pins.window(card->id());
        if (!window || !QTest::qWaitForWindowExposed(window))
            qFatal("pin not shown");
        window->repaint();
        state.SetIterationTime(timer.nsecsElapsed() / 1e9);
        while (!window->picture())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        window->repaint();
        pictureNs += timer.nsecsElapsed();
        state.PauseTiming();
        pins.close(card->id());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
    state.counters["pictureShown_ms"] = pictureNs / 1e6 / double(state.iterations());
}
BENCHMARK(BM_Pin6K)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(7);

// Resident memory while paging through 200 1080p snips: what the first 20
// steps leave against what all 200 leave.
void BM_PageThrough200(benchmark::State &state)
{
    Library &library = Library::shared();
    for (auto _ : state) {
        auto view = library.open(library.fullHDIDs.first());
        waitUntilShown(*view);
        long afterTwenty = 0;
        for (int step = 1; step < fullHDSnips; ++step) {
            QTest::keyClick(view.get(), Qt::Key_Right);
            waitUntilShown(*view);
            if (step == 20)
                afterTwenty = residentKiB();
        }
        const long afterAll = residentKiB();
        state.counters["RSS_after20_MiB"] = afterTwenty / 1024.0;
        state.counters["RSS_after200_MiB"] = afterAll / 1024.0;
        state.counters["RSS_growth_MiB"] = (afterAll - afterTwenty) / 1024.0;
    }
}
BENCHMARK(BM_PageThrough200)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    return runBenchmarks<QApplication>(argc, argv);
}
