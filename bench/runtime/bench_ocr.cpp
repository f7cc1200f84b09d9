// Text recognition of a 1080p screenshot full of text, as the recognition
// worker runs it (off the main thread), and through the service end to end.

#include "ScreenshotContent.h"
#include "runtime/OCRService.h"
#include "platform/TesseractRecognizer.h"

#include <benchmark/benchmark.h>

#include <QEventLoop>
#include <QGuiApplication>

using namespace tessaline;

namespace {

const QImage &screenshot()
{
    static const QImage image = bench::screenshotContent(1920, 1080, false);
    return image;
}

void recognizer1080p(benchmark::State &state)
{
    TesseractRecognizer recognizer({}, int(state.range(0)));
    recognizer.recognize(QImage(8, 8, QImage::Format_RGB32)); // load the language data first
    qsizetype characters = 0;
    for (auto _ : state) {
        const TextRecognitionOutcome outcome = recognizer.recognize(screenshot());
        characters = OCRService::joinedText(outcome.observations).size();
    }
    state.counters["characters"] = double(characters);
}

void service1080p(benchmark::State &state)
{
    OCRService service;
    QObject receiver;
    auto once = [&]() {
        QEventLoop loop;
        service.recognizeText(screenshot(), &receiver, [&](const OCRResult &) { loop.quit(); });
        loop.exec();
    };
    once(); // load the language data first
    for (auto _ : state)
        once();
}

} // namespace

// Arg: engines reading blocks in parallel (the service uses up to four).
BENCHMARK(recognizer1080p)->Arg(1)->Arg(2)->Arg(4)->Arg(6)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(service1080p)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
