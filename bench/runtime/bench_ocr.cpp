// Text recognition of 1080p screenshots full of text, as the recognition
// worker runs it (off the main thread), and through the service end to end.
// CPU times are the whole process's, helper threads included.

#include "BenchmarkMain.h"
#include "ScreenshotContent.h"
#include "runtime/OCRService.h"
#include "platform/TesseractRecognizer.h"

#include <benchmark/benchmark.h>

#include <QEventLoop>
#include <QGuiApplication>

using namespace tessaline;

namespace {

enum Content { lightApp, darkApp, document };

// An app window with a sidebar and paragraphs; the same in dark mode
// (light text on dark grounds, where the engine used to read each line
// twice); a text editor page, which the layout finds as one block.
QImage screenshot(Content content)
{
    QImage image = bench::screenshotContent(1920, 1080, false);
    if (content == darkApp) {
        image.invertPixels();
    } else if (content == document) {
        image.fill(Qt::white);
        QPainter painter(&image);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(14);
        painter.setFont(font);
        painter.setPen(QColor(30, 30, 30));
        const QString paragraph = QStringLiteral(
            "Capture the screen, keep the snip beside the note and think with it. Recognised text makes every "
            "capture searchable; the canvas keeps cards, groups and labelled connections in one map. ");
        painter.drawText(QRect(300, 60, 1300, 1000), Qt::TextWordWrap, paragraph.repeated(26));
    }
    return image;
}

const QImage &cachedScreenshot(Content content)
{
    static const QImage images[] = {screenshot(lightApp), screenshot(darkApp), screenshot(document)};
    return images[content];
}

// Args: engines reading in parallel, content.
void recognizer1080p(benchmark::State &state)
{
    const QImage &image = cachedScreenshot(Content(state.range(1)));
    TesseractRecognizer recognizer({}, int(state.range(0)));
    recognizer.recognize(image); // load the language data into every engine first
    qsizetype characters = 0;
    for (auto _ : state) {
        const TextRecognitionOutcome outcome = recognizer.recognize(image);
        characters = OCRService::joinedText(outcome.value_or(QList<TextObservation>())).size();
    }
    state.counters["characters"] = double(characters);
}

// Arg: content.
void service1080p(benchmark::State &state)
{
    const QImage &image = cachedScreenshot(Content(state.range(0)));
    OCRService service;
    QObject receiver;
    auto once = [&]() {
        QEventLoop loop;
        service.recognizeText(image, &receiver).then(&receiver, [&](const OCRResult &) { loop.quit(); });
        loop.exec();
    };
    once(); // load the language data first
    for (auto _ : state)
        once();
}

} // namespace

BENCHMARK(recognizer1080p)
    ->ArgNames({"engines", "content"})
    ->ArgsProduct({{1, 4, 8}, {lightApp, darkApp, document}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->MinTime(3);
BENCHMARK(service1080p)
    ->ArgNames({"content"})
    ->DenseRange(lightApp, document)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->MinTime(3);

int main(int argc, char **argv)
{
    return runBenchmarks<QGuiApplication>(argc, argv);
}
