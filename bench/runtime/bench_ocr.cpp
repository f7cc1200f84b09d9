// Text recognition of the corpus's 1080p pictures (our text window, light
// and dark, a plain page, a terminal, a code editor, the busy desktop), as
// the recognition worker runs it (off the main thread), and through the
// service end to end; the busy desktop at 5K too, as a display capture
// gives it. Before them, once per process, what the first recognition
// costs: opening the recognition module and loading the language data.
// CPU times are the whole process's, helper threads included.
//
// storedPicture5K: a 5K capture's PNG (the busy desktop, as the app writes
// it) turned into the grey picture the engines read, as the worker does
// before each capture's recognition: decoded in full and made grey, or
// read straight into grey rows; with how far the process's resident memory
// rose above where it was. fittedPicture5K: the same PNG made into a snip
// preview (940x460), decoded in full and scaled or shrunk as it is read.

#include "BenchmarkMain.h"
#include "ScreenshotContent.h"
#include "runtime/ImageExportService.h"
#include "runtime/OCRService.h"
#include "platform/ImageDecoder.h"
#include "platform/MemoryRelease.h"
#include "platform/TextRecognitionModule.h"
#include "support/ProcessStatus.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>

#include <link.h>

#include <cstring>
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

bool recognitionModuleOpen()
{
    return dl_iterate_phdr(
               [](dl_phdr_info *info, size_t, void *) -> int {
                   return std::strstr(info->dlpi_name, "libtessaline-tesseract.so") != nullptr;
               },
               nullptr)
           != 0;
}

// The first recognition of the process opens the module, with Tesseract
// and the libraries it brings, and loads one engine's language data; a
// second recogniser's first recognition loads the data alone. Their
// difference is what keeping Tesseract out of the start costs the first
// capture. The time is the first's.
void firstRecognition(benchmark::State &state)
{
    QImage blank(64, 64, QImage::Format_RGB32);
    blank.fill(Qt::white);
    for (auto _ : state) {
        if (recognitionModuleOpen()) {
            state.SkipWithError("the module is open already: run this benchmark on its own");
            break;
        }
        QElapsedTimer timer;
        timer.start();
        TextRecognitionModule first({}, 1);
        const bool read = bool(first.recognize(blank));
        const qint64 opening = timer.nsecsElapsed();
        timer.restart();
        TextRecognitionModule second({}, 1);
        const bool readAgain = bool(second.recognize(blank));
        const qint64 dataOnly = timer.nsecsElapsed();
        if (!read || !readAgain) {
            state.SkipWithError("the module could not be opened");
            break;
        }
        state.SetIterationTime(double(opening) / 1e9);
        state.counters["language_data_ms"] = double(dataOnly) / 1e6;
        state.counters["module_ms"] = double(opening - dataOnly) / 1e6;
    }
}

// Args: engines reading in parallel, content.
void recognizer1080p(benchmark::State &state)
{
    const QImage &image = cachedScreenshot(Content(state.range(1)));
    TextRecognitionModule recognizer({}, int(state.range(0)));
    // Loads the language data into every engine first.
    if (!recognizer.recognize(image)) {
        state.SkipWithError("the module could not be opened");
        return;
    }
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

// The 5K busy desktop's PNG, as a capture stores it.
const std::optional<QByteArray> &stored5K()
{
    static const std::optional<QByteArray> png = ImageExportService::pngData(cachedScreenshot(desktop5K));
    return png;
}

// Times `decode` of the stored 5K picture and counts how far resident
// memory rose above where each decode began (peak_rise_MiB). `decode` gives
// an optional or Expected image, false when it could not read the picture.
template <typename Decode>
void measureDecode(benchmark::State &state, Decode decode)
{
    const std::optional<QByteArray> &png = stored5K();
    if (!png) {
        state.SkipWithError("the picture could not be encoded");
        return;
    }
    // As the app has it: large blocks come from the system and go back to
    // it, so what a decode allocates shows as resident memory.
    returnLargeBlocksToSystem();
    double rise = 0;
    for (auto _ : state) {
        // The peak is counted from here: writing 5 resets the process's
        // high-water mark to what is resident now.
        QFile reset(QStringLiteral("/proc/self/clear_refs"));
        const bool resettable = reset.open(QIODevice::WriteOnly) && reset.write("5") == 1;
        reset.close();
        const double before = bench::processStatusMiB(0, "VmRSS");
        if (!decode(*png)) {
            state.SkipWithError("the picture could not be read");
            break;
        }
        if (resettable)
            rise = std::max(rise, bench::processStatusMiB(0, "VmHWM") - before);
    }
    state.counters["png_MiB"] = double(png->size()) / (1024.0 * 1024.0);
    state.counters["peak_rise_MiB"] = rise;
}

// Arg: 0 decoded in full and made grey, 1 read straight into grey rows.
void storedPicture5K(benchmark::State &state)
{
    const bool streamed = state.range(0) == 1;
    measureDecode(state, [&](const QByteArray &png) {
        return bool(streamed ? ImageDecoder::decodeGrey(png)
                             : ImageDecoder::decode(png).transform(
                                   [](const QImage &image) { return recognitionGreyImage(image); }));
    });
}

// Arg: 0 decoded in full and scaled smoothly, 1 shrunk row by row as it is
// read; to a snip preview's size, as the search index and the library's
// previews make one while the next capture's text is being read.
void fittedPicture5K(benchmark::State &state)
{
    const bool streamed = state.range(0) == 1;
    const QSize bound(940, 460);
    measureDecode(state, [&](const QByteArray &png) {
        return bool(streamed ? ImageDecoder::decodeFitted(png, bound)
                             : ImageDecoder::decode(png).transform([&](const QImage &image) {
                                   return image.scaled(bound, Qt::KeepAspectRatio, Qt::SmoothTransformation);
                               }));
    });
}

} // namespace

BENCHMARK(firstRecognition)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(recognizer1080p)
    ->ArgNames({"engines", "content"})
    ->ArgsProduct({{1, 4, 8}, {lightApp, darkApp, document, terminal, code, desktop}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->MinTime(3);
BENCHMARK(storedPicture5K)->ArgNames({"streamed"})->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(fittedPicture5K)->ArgNames({"streamed"})->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
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
