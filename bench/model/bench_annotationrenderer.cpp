// Flattening annotations onto a 5K capture: time per render and the peak of
// heap memory one render needs on top of what was allocated before it.

#include "BenchmarkMain.h"
#include "model/AnnotationRenderer.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <malloc.h>

// Heap accounting: every allocation in the process goes through these, so
// the peak covers QImage buffers as well as Qt's own bookkeeping.
extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void *__libc_memalign(size_t, size_t);
void __libc_free(void *);
}

namespace {

std::atomic<long long> liveBytes{0};
std::atomic<long long> peakBytes{0};

void noteAllocated(void *pointer)
{
    if (!pointer)
        return;
    const long long now = liveBytes += static_cast<long long>(malloc_usable_size(pointer));
    long long peak = peakBytes.load(std::memory_order_relaxed);
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
    }
}

void noteFreed(void *pointer)
{
    if (pointer)
        liveBytes -= static_cast<long long>(malloc_usable_size(pointer));
}

} // namespace

extern "C" {
void *malloc(size_t size)
{
    void *pointer = __libc_malloc(size);
    noteAllocated(pointer);
    return pointer;
}

void *calloc(size_t count, size_t size)
{
    void *pointer = __libc_calloc(count, size);
    noteAllocated(pointer);
    return pointer;
}

void *realloc(void *old, size_t size)
{
    noteFreed(old);
    void *pointer = __libc_realloc(old, size);
    if (pointer)
        noteAllocated(pointer);
    else if (old && size)
        noteAllocated(old); // the old block is still there
    return pointer;
}

void free(void *pointer)
{
    noteFreed(pointer);
    __libc_free(pointer);
}

void *memalign(size_t alignment, size_t size)
{
    void *pointer = __libc_memalign(alignment, size);
    noteAllocated(pointer);
    return pointer;
}

void *aligned_alloc(size_t alignment, size_t size)
{
    return memalign(alignment, size);
}

int posix_memalign(void **out, size_t alignment, size_t size)
{
    void *pointer = memalign(alignment, size);
    if (!pointer)
        return 12; // ENOMEM
    *out = pointer;
    return 0;
}
}

using namespace tessaline;

namespace {

constexpr int imageWidth = 5120;
constexpr int imageHeight = 2880;

const QImage &sourceImage()
{
    static const QImage image = [] {
        QImage made(imageWidth, imageHeight, QImage::Format_RGB32);
        for (int y = 0; y < imageHeight; ++y) {
            auto *line = reinterpret_cast<QRgb *>(made.scanLine(y));
            for (int x = 0; x < imageWidth; ++x)
                line[x] = qRgb((x * 7 + y) & 0xff, (x ^ y) & 0xff, (y * 3) & 0xff);
        }
        return made;
    }();
    return image;
}

AnnotationItem makeItem(AnnotationTool tool, QList<NormalizedPoint> points, double lineWidth)
{
    AnnotationItem item;
    item.id = QUuid::createUuid();
    item.tool = tool;
    item.points = std::move(points);
    item.color = {0.9, 0.1, 0.1, 1};
    item.lineWidth = lineWidth;
    return item;
}

QList<AnnotationItem> tenStrokes()
{
    QList<AnnotationItem> items;
    for (int i = 0; i < 10; ++i) {
        const double y = 0.05 + 0.09 * i;
        switch (i % 3) {
        case 0:
            items.append(makeItem(AnnotationTool::arrow, {{0.1, y}, {0.6, y + 0.05}}, 6));
            break;
        case 1:
            items.append(makeItem(AnnotationTool::rectangle, {{0.2, y}, {0.8, y + 0.08}}, 4));
            break;
        default:
            items.append(makeItem(AnnotationTool::freehand, {{0.1, y}, {0.3, y + 0.04}, {0.5, y}, {0.7, y + 0.04}}, 8));
            break;
        }
    }
    return items;
}

// Ten boxes, each a tenth of the image (about 0.316 × 0.316 of each side).
QList<AnnotationItem> tenPixelations()
{
    QList<AnnotationItem> items;
    const double side = std::sqrt(0.1);
    for (int i = 0; i < 10; ++i) {
        const double x = 0.02 + 0.065 * i;
        const double y = 0.01 + 0.065 * i;
        items.append(makeItem(AnnotationTool::pixelate, {{x, y}, {x + side, y + side}}, 1));
    }
    return items;
}

QList<AnnotationItem> longFreehand()
{
    QList<NormalizedPoint> points;
    for (int i = 0; i < 2000; ++i) {
        const double t = i / 1999.0;
        points.append({0.05 + 0.9 * t, 0.5 + 0.4 * std::sin(t * 40)});
    }
    return {makeItem(AnnotationTool::freehand, points, 6)};
}

void runRender(benchmark::State &state, const QList<AnnotationItem> &items)
{
    const QImage &source = sourceImage();
    const long long before = liveBytes.load();
    peakBytes = before;
    for (auto _ : state) {
        auto rendered = AnnotationRenderer::renderImage(source, items);
        if (!rendered)
            state.SkipWithError("render failed");
        benchmark::DoNotOptimize(rendered);
    }
    state.counters["peak_heap_MB"] = double(peakBytes.load() - before) / (1024.0 * 1024.0);
    state.counters["pixels"] = double(imageWidth) * imageHeight;
}

void BM_NoItems(benchmark::State &state) { runRender(state, {}); }
void BM_TenStrokes(benchmark::State &state) { runRender(state, tenStrokes()); }
void BM_TenPixelations(benchmark::State &state) { runRender(state, tenPixelations()); }
void BM_LongFreehand(benchmark::State &state) { runRender(state, longFreehand()); }

} // namespace

BENCHMARK(BM_NoItems)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TenStrokes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TenPixelations)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LongFreehand)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    return runBenchmarks<QGuiApplication>(argc, argv, [] { sourceImage(); });
}
