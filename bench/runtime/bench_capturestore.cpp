// A capture result becoming a stored snip, step by step, at three screen
// sizes: the PNG for the library, the clipboard's second format, and the
// card's insert and save into a library file.

#include "ScreenshotContent.h"
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
