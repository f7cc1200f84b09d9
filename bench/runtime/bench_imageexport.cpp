// The clipboard and capture-road costs of image export: TIFF encoding for
// the clipboard, and how long the main thread goes without running its
// event loop while a capture is encoded off it.

#include "BenchmarkMain.h"
#include "ScreenshotContent.h"
#include "runtime/ImageExportService.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QTimer>

using namespace tessaline;

namespace {

const QImage &content(int index) { return bench::cachedScreenshot(index); }

void tiffForClipboard(benchmark::State &state)
{
    const QImage &image = content(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(ImageExportService::tiffData(image));
    state.counters["MP/s"] = benchmark::Counter(double(image.width()) * image.height() / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

void pngForClipboard(benchmark::State &state)
{
    const QImage &image = content(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(ImageExportService::pngData(image));
    state.counters["MP/s"] = benchmark::Counter(double(image.width()) * image.height() / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

// The capture road's encoding through pngDataAsync while the main thread
// keeps a 1 ms timer going; reports the longest gap between two ticks.
void asyncEncodeMainThreadGap(benchmark::State &state)
{
    const QImage &image = content(int(state.range(0)));
    double worstGapMs = 0;
    for (auto _ : state) {
        QEventLoop loop;
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0;
        qint64 gap = 0;
        QTimer ticker;
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout, [&]() {
            const qint64 now = clock.elapsed();
            gap = std::max(gap, now - last);
            last = now;
        });
        ticker.start();
        QFutureWatcher<std::optional<QByteArray>> watcher;
        QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
        watcher.setFuture(ImageExportService::pngDataAsync(image));
        loop.exec();
        worstGapMs = std::max(worstGapMs, double(gap));
    }
    state.counters["max_main_thread_gap_ms"] = worstGapMs;
}

} // namespace

BENCHMARK(tiffForClipboard)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(pngForClipboard)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(asyncEncodeMainThreadGap)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    return runBenchmarks<QGuiApplication>(argc, argv);
}
