// Resident memory over 5K captures as the app runs them: a frame grabbed,
// the selection cropped from it, PNG and grey copy made on the thread pool,
// the PNG put on the clipboard and the grey copy read for text. Reports the
// idle figure, the peak of a burst of twelve, and what stays once each
// capture and its text recognition have finished.
// TESSALINE_BENCH_OLD_PATH=1 runs the road as it was, for comparison: the
// crop copied, the TIFF encoded up front, the colour crop read for text,
// glibc's defaults and no trim.

#include "ScreenshotContent.h"
#include "capture/CaptureValues.h"
#include "platform/MemoryRelease.h"
#include "platform/Pasteboard.h"
#include "platform/TesseractRecognizer.h"
#include "runtime/ImageExportService.h"
#include "runtime/OCRService.h"

#include <benchmark/benchmark.h>

#include <QEventLoop>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>

using namespace tessaline;

namespace {

double residentMiB()
{
    long size = 0, resident = 0;
    if (FILE *file = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(file, "%ld %ld", &size, &resident) != 2)
            resident = 0;
        std::fclose(file);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

bool oldPath() { return qEnvironmentVariableIntValue("TESSALINE_BENCH_OLD_PATH") == 1; }

// Samples resident memory every two milliseconds while it lives.
class PeakSampler
{
public:
    PeakSampler()
        : m_thread([this] {
              while (!m_stop) {
                  const double now = residentMiB();
                  double seen = m_peak.load();
                  while (now > seen && !m_peak.compare_exchange_weak(seen, now)) {
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(2));
              }
          })
    {
    }
    ~PeakSampler()
    {
        m_stop = true;
        m_thread.join();
    }
    double peak() const { return m_peak; }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<double> m_peak{0};
    std::thread m_thread;
};

struct Pipeline
{
    OCRService ocr;
    ClipboardPasteboard pasteboard;
    QObject receiver;
    int recognitionsPending = 0;

    // One capture up to the snip stored; its text recognition goes on.
    void capture(const QImage &screen)
    {
        FrozenDisplayCapture frozen;
        frozen.image = screen.copy(); // the grab writes a fresh frame
        frozen.target.pointSize = QSizeF(screen.size());
        frozen.target.pixelSize = QSizeF(screen.size());
        QImage crop = *frozen.croppedImage(QRectF(40, 40, screen.width() - 80, screen.height() - 80));
        if (oldPath())
            crop = crop.copy();
        frozen.image = QImage(); // the overlay closes
        struct Encoded
        {
            QByteArray png;
            QImage grey;
            QByteArray tiff;
        };
        QFutureWatcher<Encoded> watcher;
        QEventLoop loop;
        QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
        watcher.setFuture(QtConcurrent::run([crop] {
            if (oldPath())
                return Encoded{ImageExportService::pngData(crop).value_or(QByteArray()), crop,
                               ImageExportService::tiffData(crop).value_or(QByteArray())};
            return Encoded{ImageExportService::pngData(crop).value_or(QByteArray()),
                           TesseractRecognizer::greyImage(crop), {}};
        }));
        loop.exec();
        const Encoded encoded = watcher.result();
        if (oldPath())
            pasteboard.writeImage(encoded.png, encoded.tiff);
        else
            pasteboard.setImage(encoded.png);
        ++recognitionsPending;
        ocr.recognizeText(encoded.grey, &receiver).then(&receiver, [this](const OCRResult &) {
            --recognitionsPending;
            if (!oldPath())
                QTimer::singleShot(0, &receiver, [] { releaseFreedMemory(); });
        });
    }

    void settle()
    {
        while (recognitionsPending > 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
        QCoreApplication::processEvents(); // the queued trim
    }
};

const QImage &screen5K()
{
    static const QImage image = bench::screenshotContent(5120, 2880);
    return image;
}

void captureMemory5K(benchmark::State &state)
{
    const int burst = int(state.range(0));
    screen5K();
    Pipeline pipeline;
    {
        // Text recognition loads its language data once; that is not a capture's.
        pipeline.capture(QImage(64, 64, QImage::Format_RGB32));
        pipeline.settle();
    }
    if (!oldPath())
        releaseFreedMemory();
    const double idle = residentMiB();
    double peak = 0, after = 0;
    for (auto _ : state) {
        PeakSampler sampler;
        for (int i = 0; i < burst; ++i)
            pipeline.capture(screen5K());
        pipeline.settle();
        peak = std::max(peak, sampler.peak());
        after = residentMiB();
    }
    state.counters["idle_MiB"] = idle;
    state.counters["peak_MiB"] = peak;
    state.counters["after_MiB"] = after;
    state.counters["held_MiB"] = after - idle;
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) > 0)
        state.counters["load1"] = load[0];
}

} // namespace

// Arg: captures in a row before waiting for them all to finish.
BENCHMARK(captureMemory5K)->Arg(1)->Arg(12)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!oldPath())
        returnLargeBlocksToSystem();
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
