// A capture result becoming a stored snip, step by step, at three screen
// sizes: the crop from the frozen frame (main thread), the PNG for the
// library and the grey copy for text recognition (thread pool), the
// clipboard entry (main thread; its TIFF as it was encoded up front, for
// comparison) and the card's insert and save into a library file (main
// thread).

#include "ScreenshotContent.h"
#include "capture/CaptureValues.h"
#include "platform/Pasteboard.h"
#include "platform/TesseractRecognizer.h"
#include "runtime/ImageExportService.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "model/TessalineStore.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QTemporaryDir>

#include <map>

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
        benchmark::DoNotOptimize(TesseractRecognizer::greyImage(image));
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

// Insert one snip with its PNG and its writing reference, then save.
void insertAndSave(benchmark::State &state)
{
    const QByteArray png = *ImageExportService::pngData(capture(int(state.range(0))));
    QTemporaryDir dir;
    ModelContainer::Configuration configuration;
    configuration.directory = dir.path();
    auto container = std::move(*ModelContainer::open(configuration));
    ModelContext &context = *container->mainContext();
    Board *note = *TessalineStore::quickCapturesNote(context, QDateTime::currentDateTimeUtc());
    for (auto _ : state) {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        CanvasCard::Init init;
        init.boardID = note->id();
        init.kind = CardKind::snip;
        init.originalImageData = png;
        init.createdAt = now;
        init.capturedAt = now;
        auto *card = new CanvasCard(init);
        context.insert(card);
        BoardWritingDocument document{BoardWritingDocument::normalizedBlocks(note->writingDocument().blocks)};
        document.insertCardReference(card->id());
        note->updateWritingDocument(document, now);
        benchmark::DoNotOptimize(context.save().hasValue());
    }
    state.counters["PNG_MiB"] = double(png.size()) / (1024.0 * 1024.0);
}

} // namespace

BENCHMARK(pngEncode)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(crop)->ArgsProduct({{0, 1, 2}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(greyCopy)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(clipboardOffer)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(clipboardEncode)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(insertAndSave)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(20);

int main(int argc, char **argv)
{
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
