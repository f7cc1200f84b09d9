// PNG encoding of the picture corpus (busy desktop, our text window,
// terminal, code editor, photograph; 1080p and 5K): Qt's own writer at
// several compression levels against our encoder at libdeflate's levels,
// single stream and in parallel strips.
// Counters: MP/s (megapixels per second), MB, and size relative to Qt's
// default (zlib level 6, adaptive filters).

#include "BenchmarkMain.h"
#include "ScreenshotContent.h"
#include "platform/PngEncoder.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QGuiApplication>
#include <QImageWriter>

#include <map>

using namespace tessaline;

namespace {

const QSize sizes[] = {{1920, 1080}, {5120, 2880}};

// Index: picture * 2 + size.
const QImage &content(int index)
{
    return bench::corpusPicture(bench::allPictures[index / 2], sizes[index % 2]);
}

QByteArray qtPng(const QImage &image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setQuality(quality);
    writer.write(image);
    return bytes;
}

double referenceSize(int index)
{
    static std::map<int, double> cache;
    auto it = cache.find(index);
    if (it == cache.end())
        it = cache.emplace(index, double(qtPng(content(index), -1).size())).first;
    return it->second;
}

void report(benchmark::State &state, const QImage &image, qsizetype bytes, int index)
{
    const double pixels = double(image.width()) * image.height();
    state.counters["MP/s"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["size_vs_qt6"] = double(bytes) / referenceSize(index);
    state.counters["MB"] = double(bytes) / 1e6;
}

void qtWriter(benchmark::State &state)
{
    const int index = int(state.range(0));
    const int quality = int(state.range(1));
    const QImage &image = content(index);
    state.SetLabel(QStringLiteral("%1 %2x%3").arg(QLatin1String(bench::pictureName(bench::allPictures[index / 2])))
                       .arg(image.width()).arg(image.height()).toStdString());
    qsizetype bytes = 0;
    for (auto _ : state) {
        const QByteArray png = qtPng(image, quality);
        bytes = png.size();
        benchmark::DoNotOptimize(png.constData());
    }
    report(state, image, bytes, index);
}

void ours(benchmark::State &state)
{
    const int index = int(state.range(0));
    PngEncoderOptions options;
    options.compressionLevel = int(state.range(1));
    options.filter = PngRowFilter(state.range(2));
    const bool parallel = state.range(3) != 0;
    if (!parallel) {
        options.maxThreads = 1;
        options.stripBytes = qsizetype(1) << 40; // one strip: a single stream
    }
    const QImage &image = content(index);
    state.SetLabel(QStringLiteral("%1 %2x%3").arg(QLatin1String(bench::pictureName(bench::allPictures[index / 2])))
                       .arg(image.width()).arg(image.height()).toStdString());
    qsizetype bytes = 0;
    for (auto _ : state) {
        const auto png = encodePng(image, options);
        bytes = png ? png->size() : 0;
        benchmark::DoNotOptimize(png);
    }
    report(state, image, bytes, index);
}

} // namespace

// Quality -1 is Qt's default (zlib 6); 90 is zlib 1.
// Args: picture * 2 + size (see content), quality.
BENCHMARK(qtWriter)->ArgsProduct({benchmark::CreateDenseRange(0, 9, 1), {-1, 90}})->Unit(benchmark::kMillisecond)->UseRealTime();
// Args: picture * 2 + size, level (0 our own compressor, 1–12 libdeflate), filter (0 none, 1 sub, 2 up, 3 paeth,
// 4 adaptive), parallel strips.
// CPU time is the whole process's, all strip workers included.
BENCHMARK(ours)
    ->ArgsProduct({benchmark::CreateDenseRange(0, 9, 1), {0, 1, 6}, {1}, {0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(ours)
    ->ArgsProduct({benchmark::CreateDenseRange(0, 9, 1), {0, 1, 3, 6}, {1, 2, 4}, {1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

int main(int argc, char **argv)
{
    return runBenchmarks<QGuiApplication>(argc, argv);
}
