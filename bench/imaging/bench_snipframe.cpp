// What Copy Framed and Save PNG… cost on a 5K-class capture: the framed
// picture at full resolution with the gradient background and a shadow, and
// one repaint of the live preview while a slider moves.

#include "BenchmarkMain.h"
#include "imaging/SnipFrameComposerModel.h"
#include "imaging/SnipFrameComposerView.h"
#include "imaging/SnipFrameStyle.h"
#include "platform/PngEncoder.h"
#include "runtime/ScreenshotContent.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPainter>

using namespace tessaline;

namespace {

// The corpus's busy desktop at 2880 × 1800 (a full 15-inch high-density
// display), or another size: real content, whose PNG costs what a real
// export does.
QImage capture(QSize size = QSize(2880, 1800))
{
    return bench::corpusPicture(bench::Picture::desktop, size);
}

// The heaviest frame the composer's controls can make: the gradient, the
// widest padding, round corners and the softest, strongest shadow.
SnipFrameStyle heaviestControlStyle()
{
    SnipFrameStyle style;
    style.preset = SnipFramePreset::mutedGradient;
    style.padding = 160;
    style.cornerRadius = 48;
    style.shadowIsEnabled = true;
    style.shadowRadius = 48;
    style.shadowOpacity = 0.4;
    style.shadowOffsetY = 10;
    return style;
}

void BM_RenderDefaultStyle(benchmark::State &state)
{
    const QImage image = capture();
    const SnipFrameStyle style = SnipFrameComposerModel::defaultStyle();
    for (auto _ : state) {
        auto framed = SnipFrameRenderer::renderFramedImage(image, style);
        benchmark::DoNotOptimize(framed);
    }
}
BENCHMARK(BM_RenderDefaultStyle)->Unit(benchmark::kMillisecond);

// Save PNG… of a 6K capture (6016 × 3384) in the default frame: the framed
// picture and its PNG bytes, as the save and copy paths make them.
void BM_FramedExport6K(benchmark::State &state)
{
    const QImage image = capture(QSize(6016, 3384));
    const SnipFrameStyle style = SnipFrameComposerModel::defaultStyle();
    for (auto _ : state) {
        auto framed = SnipFrameRenderer::renderFramedImage(image, style);
        auto png = framed ? encodePng(*framed) : std::nullopt;
        benchmark::DoNotOptimize(png);
    }
}
BENCHMARK(BM_FramedExport6K)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

// The two halves of the export on their own: the framed picture, and its
// PNG bytes.
void BM_FramedRender6K(benchmark::State &state)
{
    const QImage image = capture(QSize(6016, 3384));
    const SnipFrameStyle style = SnipFrameComposerModel::defaultStyle();
    for (auto _ : state) {
        auto framed = SnipFrameRenderer::renderFramedImage(image, style);
        benchmark::DoNotOptimize(framed);
    }
}
BENCHMARK(BM_FramedRender6K)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

void BM_FramedEncode6K(benchmark::State &state)
{
    const QImage framed =
        *SnipFrameRenderer::renderFramedImage(capture(QSize(6016, 3384)), SnipFrameComposerModel::defaultStyle());
    for (auto _ : state) {
        auto png = encodePng(framed);
        benchmark::DoNotOptimize(png);
    }
}
BENCHMARK(BM_FramedEncode6K)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

void BM_RenderHeaviestPreset(benchmark::State &state)
{
    const QImage image = capture();
    const SnipFrameStyle style = heaviestControlStyle();
    for (auto _ : state) {
        auto framed = SnipFrameRenderer::renderFramedImage(image, style);
        benchmark::DoNotOptimize(framed);
    }
}
BENCHMARK(BM_RenderHeaviestPreset)->Unit(benchmark::kMillisecond);

// Every value at the renderer's own limits (padding 512, shadow blur 256).
void BM_RenderAtRendererLimits(benchmark::State &state)
{
    const QImage image = capture();
    SnipFrameStyle style = heaviestControlStyle();
    style.padding = 512;
    style.cornerRadius = 256;
    style.shadowRadius = 256;
    style.shadowOpacity = 1;
    style.shadowOffsetY = 256;
    for (auto _ : state) {
        auto framed = SnipFrameRenderer::renderFramedImage(image, style);
        benchmark::DoNotOptimize(framed);
    }
}
BENCHMARK(BM_RenderAtRendererLimits)->Unit(benchmark::kMillisecond);

// One preview repaint after a slider step: the shadow shape changes, so its
// blurred mask is made again at preview size.
void BM_PreviewRepaintWhileDragging(benchmark::State &state)
{
    SnipFramePreview preview;
    preview.resize(852, 420);
    preview.setImage(capture());
    SnipFrameStyle style = heaviestControlStyle();
    QImage target(preview.size(), QImage::Format_ARGB32_Premultiplied);
    int step = 0;
    for (auto _ : state) {
        style.cornerRadius = 20 + (step++ % 20);
        preview.setStyle(style);
        preview.render(&target);
    }
}
BENCHMARK(BM_PreviewRepaintWhileDragging)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    return runBenchmarks<QApplication>(argc, argv);
}
