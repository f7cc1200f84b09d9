// Text recognition of the corpus's 1080p pictures (our text window, light
// and dark, a plain page, a terminal, a code editor, the busy desktop), as
// the recognition worker runs it (off the main thread), and through the
// service end to end; the busy desktop at 5K too, as a display capture
// gives it.
// CPU times are the whole process's, helper threads included.

#include "BenchmarkMain.h"
#include "ScreenshotContent.h"
#include "runtime/OCRService.h"
#include "platform/TesseractRecognizer.h"

#include <benchmark/benchmark.h>

#include <QEventLoop>
#include <QGuiApplication>

#include <map>

using namespace tessaline;

namespace {

enum Content { lightApp, darkApp, document, terminal, code, desktop, desktop5K };

// An app window with a sidebar and paragraphs; the same in dark mode
// (light text on dark grounds, where the engine used to read each line
// twice); a text editor page, which the layout finds as one block; the
// corpus's other pictures as they are.
QImage screenshot(Content content)
{
    const QSize fullHD(1920, 1080);
    switch (content) {
    case terminal:
        return bench::corpusPicture(bench::Picture::terminal, fullHD);
    case code:
        return bench::corpusPicture(bench::Picture::code, fullHD);
    case desktop:
        return bench::corpusPicture(bench::Picture::desktop, fullHD);
    case desktop5K:
        return bench::corpusPicture(bench::Picture::desktop, QSize(5120, 2880));
    default:
        break;
    }
    QImage image = bench::corpusPicture(bench::Picture::document, fullHD);
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
    static std::map<Content, QImage> images;
    auto it = images.find(content);
    if (it == images.end())
        it = images.emplace(content, screenshot(content)).first;
    return it->second;
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
    ->ArgsProduct({{1, 4, 8}, {lightApp, darkApp, document, terminal, code, desktop}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->MinTime(3);
BENCHMARK(service1080p)
    ->ArgNames({"content"})
    ->DenseRange(lightApp, desktop5K)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->MinTime(3);

int main(int argc, char **argv)
{
    return runBenchmarks<QGuiApplication>(argc, argv);
}
