// A capture result becoming a stored snip, step by step, at three screen
// sizes: the crop from the frozen frame (main thread), the PNG for the
// library and the grey copy for text recognition (thread pool), the
// clipboard entry (main thread; its TIFF as it was encoded up front, for
// comparison) and the card's insert and save into a library file (main
// thread; with the PNG written ahead on the store's worker, or not). Then the whole road at 5K, as the app runs it: from the
// selection made on the frozen frame to the snip stored in a library file,
// with the longest time the main thread went without turning its event loop.

#include "BenchmarkMain.h"
#include "ScreenshotContent.h"
#include "capture/CaptureCoordinator.h"
#include "capture/CaptureValues.h"
#include "platform/UnavailableHotKeys.h"
#include "platform/UserDefaults.h"
#include "runtime/AppRuntime.h"
#include "platform/Pasteboard.h"
#include "platform/TextRecognizer.h"
#include "runtime/ImageExportService.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "model/TessalineStore.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <map>
#include <vector>

using namespace tessaline;

namespace {

const QSize sizes[] = {{1920, 1080}, {2880, 1800}, {5120, 2880}};

const QImage &capture(int index)
{
    static std::map<int, QImage> cache;
    auto it = cache.find(index);
    if (it == cache.end())
        it = cache.emplace(index, bench::screenshotContent(sizes[index].width(), sizes[index].height())).first;
    return it->second;
}

void pngEncode(benchmark::State &state)
{
    const QImage &image = capture(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(ImageExportService::pngData(image));
}

// The selection a little inside the display, as a region capture has it;
// Arg 1 copies the pixels as the crop did before it shared them.
void crop(benchmark::State &state)
{
    FrozenDisplayCapture frozen;
    frozen.image = capture(int(state.range(0)));
    frozen.target.pointSize = QSizeF(frozen.image.size());
    frozen.target.pixelSize = QSizeF(frozen.image.size());
    const QRectF selection(40, 40, frozen.image.width() - 80, frozen.image.height() - 80);
    const bool copies = state.range(1) != 0;
    for (auto _ : state) {
        QImage cropped = *frozen.croppedImage(selection);
        if (copies)
            cropped = cropped.copy();
        benchmark::DoNotOptimize(cropped.constBits());
    }
}

void greyCopy(benchmark::State &state)
{
    const QImage &image = capture(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(recognitionGreyImage(image));
}

// What the main thread spends putting the capture on the clipboard.
void clipboardOffer(benchmark::State &state)
{
    const QByteArray png = *ImageExportService::pngData(capture(int(state.range(0))));
    ClipboardPasteboard pasteboard;
    for (auto _ : state)
        benchmark::DoNotOptimize(pasteboard.setImage(png));
}

void clipboardEncode(benchmark::State &state)
{
    const QImage &image = capture(int(state.range(0)));
    const auto png = ImageExportService::pngData(image);
    for (auto _ : state)
        benchmark::DoNotOptimize(ImageExportService::pasteboardImage(image, png));
}

// Insert one snip with its PNG and its writing reference, then save. Arg 1
// writes the PNG ahead on the store's worker, untimed, as captures do now:
// what is left is the main thread's share.
void insertAndSave(benchmark::State &state)
{
    const bool staged = state.range(1) != 0;
    const QByteArray png = *ImageExportService::pngData(capture(int(state.range(0))));
    QTemporaryDir dir;
    ModelContainer::Configuration configuration;
    configuration.directory = dir.path();
    auto container = std::move(*ModelContainer::open(configuration));
    ModelContext &context = *container->mainContext();
    Board *note = *TessalineStore::quickCapturesNote(context, QDateTime::currentDateTimeUtc());
    QObject receiver;
    for (auto _ : state) {
        std::optional<Expected<StagedCardData, StoreError>> written;
        if (staged) {
            state.PauseTiming();
            QEventLoop loop;
            context.stageCardData(&receiver, CanvasCard::OriginalImageBlob, png)
                .then(&receiver, [&](const Expected<StagedCardData, StoreError> &answer) {
                    written = answer;
                    loop.quit();
                });
            loop.exec();
            state.ResumeTiming();
        }
        const QDateTime now = QDateTime::currentDateTimeUtc();
        CanvasCard::Init init;
        init.boardID = note->id();
        init.kind = CardKind::snip;
        init.originalImageData = png;
        init.createdAt = now;
        init.capturedAt = now;
        auto *card = new CanvasCard(init);
        if (written && *written)
            context.insert(card, **written);
        else
            context.insert(card);
        BoardWritingDocument document{BoardWritingDocument::normalizedBlocks(note->writingDocument().blocks)};
        document.insertCardReference(card->id());
        note->updateWritingDocument(document, now);
        benchmark::DoNotOptimize(context.save().hasValue());
    }
    state.counters["PNG_MiB"] = double(png.size()) / (1024.0 * 1024.0);
}


// The display as the capture froze it; answers on a later turn, as the
// real service does.
class FrozenFrame : public DisplayCapturing
{
public:
    explicit FrozenFrame(QImage frame) : m_frame(std::move(frame)) {}
    void captureDisplayUnderPointer(DisplayCompletion completion) override
    {
        FrozenDisplayCapture capture;
        capture.image = m_frame;
        capture.target.pointSize = QSizeF(m_frame.size());
        capture.target.pixelSize = QSizeF(m_frame.size());
        QTimer::singleShot(0, [capture, completion = std::move(completion)] { completion(capture); });
    }
    void captureFrontmostWindow(WindowCompletion) override {}

private:
    QImage m_frame;
};

class NoPermissionPrompt : public ScreenCapturePermissionProviding
{
public:
    bool hasAccess() const override { return true; }
    bool requestAccess() override { return true; }
};

class NoWindows : public RuntimeWindowing
{
public:
    void bringMainWindowToFront() override {}
    bool anyWindowHasSheet() const override { return false; }
    void showCaptureToast(const QUuid &) override {}
    void closeCaptureToast() override {}
    void terminate() override {}
};

qint64 threadCPUNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// A region selected on a frozen 5K frame (a little inside the display)
// until the runtime reports the snip stored: crop, PNG and grey copy,
// insert and save into a library file, clipboard, review decision. Text
// recognition is left out; it starts after the snip is stored. A 1 ms
// timer on the main thread finds its longest stall: the longest gap
// between two of its ticks from the selection to the first tick after the
// snip is stored. On a loaded machine much of a gap is the thread waiting
// for a processor, so the thread's own CPU time in its longest gap is
// reported too (busy): how long this process's work kept the loop away.
void selectionToStoredSnip5K(benchmark::State &state)
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath(QStringLiteral("settings.ini")));
    const QImage frame = bench::screenshotContent(5120, 2880);
    const QRectF selection(40, 40, frame.width() - 80, frame.height() - 80);
    qint64 selectedAt = 0;
    qint64 selectionCPU = 0;
    QElapsedTimer clock;
    clock.start();

    CaptureCoordinatorServices capture;
    capture.displayCaptureService = std::make_shared<FrozenFrame>(frame);
    capture.permissionHistoryStore = std::make_shared<ScreenCapturePermissionHistoryStore>(defaults);
    capture.hotKeyManager = std::make_shared<GlobalHotKeyManager>(
        std::make_unique<UnavailableHotKeys>(HotKeyStatus::notOffered, false));
    capture.shortcutStore = std::make_shared<GlobalShortcutConfigurationStore>(defaults);
    capture.permissionController = std::make_shared<NoPermissionPrompt>();
    capture.regionSelectionFactory = [&](const FrozenDisplayCapture &, RegionSelectionSession::Completion completion)
        -> std::unique_ptr<RegionSelectionSession> {
        class Selection : public RegionSelectionSession
        {
        public:
            std::function<void()> select;
            void begin() override { QTimer::singleShot(0, this, [select = select] { select(); }); }
        };
        auto session = std::make_unique<Selection>();
        session->select = [&, completion = std::move(completion)] {
            selectedAt = clock.nsecsElapsed();
            selectionCPU = threadCPUNanoseconds();
            completion(RegionSelectionOutcome::selected(selection));
        };
        return session;
    };

    ModelContainer::Configuration configuration;
    configuration.directory = dir.path();
    NoWindows windows;
    ClipboardPasteboard pasteboard;
    AppRuntimeServices services;
    services.modelContainer = std::move(*ModelContainer::open(configuration));
    services.defaults = &defaults;
    services.captureCoordinator = std::make_unique<CaptureCoordinator>(std::move(capture));
    services.pasteboard = &pasteboard;
    services.captureStartup = [] { return Expected<void, CaptureSubsystemError>(); };
    services.windowing = &windows;
    AppRuntime runtime(std::move(services));
    runtime.start();

    qint64 lastTick = 0;
    qint64 lastTickCPU = 0;
    qint64 longestGap = 0;
    qint64 longestBusy = 0;
    bool measuring = false;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QEventLoop loop;
    bool stored = false;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        const qint64 cpu = threadCPUNanoseconds();
        if (measuring && selectedAt > 0) {
            longestGap = std::max(longestGap, now - std::max(lastTick, selectedAt));
            longestBusy = std::max(longestBusy, cpu - std::max(lastTickCPU, selectionCPU));
        }
        lastTick = now;
        lastTickCPU = cpu;
        if (stored)
            loop.quit();
    });
    ticker.start();

    std::vector<double> walls, stalls, busy, mainCPU;
    std::optional<QUuid> storedCard;
    QObject::connect(&runtime, &AppRuntime::captureHandled, [&](const std::optional<QUuid> &cardID) {
        const qint64 now = clock.nsecsElapsed();
        walls.push_back(double(now - selectedAt) / 1e6);
        mainCPU.push_back(double(threadCPUNanoseconds() - selectionCPU) / 1e6);
        storedCard = cardID;
        stored = true;
    });
    for (auto _ : state) {
        selectedAt = 0;
        selectionCPU = 0;
        longestGap = 0;
        longestBusy = 0;
        stored = false;
        storedCard.reset();
        measuring = true;
        runtime.captureRegion();
        loop.exec();
        measuring = false;
        state.SetIterationTime(walls.back() / 1000.0);
        stalls.push_back(double(longestGap) / 1e6);
        busy.push_back(double(longestBusy) / 1e6);
        if (!storedCard) {
            state.SkipWithError("the capture was not stored");
            break;
        }
    }
    state.counters["wall_median_ms"] = median(walls);
    state.counters["wall_max_ms"] = walls.empty() ? 0 : *std::max_element(walls.begin(), walls.end());
    state.counters["stall_median_ms"] = median(stalls);
    state.counters["stall_max_ms"] = stalls.empty() ? 0 : *std::max_element(stalls.begin(), stalls.end());
    state.counters["busy_max_ms"] = busy.empty() ? 0 : *std::max_element(busy.begin(), busy.end());
    state.counters["main_cpu_median_ms"] = median(mainCPU);
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) > 0)
        state.counters["load1"] = load[0];
}

} // namespace

BENCHMARK(pngEncode)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(crop)->ArgsProduct({{0, 1, 2}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(greyCopy)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(clipboardOffer)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(clipboardEncode)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(insertAndSave)->ArgsProduct({{0, 1, 2}, {0, 1}})->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(selectionToStoredSnip5K)->Unit(benchmark::kMillisecond)->Iterations(15)->UseManualTime();

int main(int argc, char **argv)
{
    return runBenchmarks<QGuiApplication>(argc, argv);
}
