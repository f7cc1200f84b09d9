// Hot key to overlay: from the moment the X server's key press reaches the
// app to the moment the region overlay's first frame has reached the
// server, at 1920x1080 and 5120x2880. Each size runs in a child process on
// its own Xvfb of that size, since a Qt application keeps the display it
// started on. Counters split the road: grab_ms (until the server has
// delivered the last band of the picture), convert_ms (copying that is left
// after it), other_before_overlay_ms (hot-key dispatch, pointer, displays,
// frontmost application, the hops between them), overlay_setup_ms (window
// and view), map_expose_ms, and paint_flush_ms (dimmed copy into the
// backing store, its upload to the server, a round trip). The first capture
// of a session, after the preparation the app makes once it is idle after
// starting, is reported on its own.

#include "capture/CaptureCoordinator.h"
#include "capture/DisplayCaptureService.h"
#include "MeasuredOverlay.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/X11CaptureSystem.h"
#include "platform/X11HotKeys.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

using namespace tessaline;
using tessaline::bench::MeasuredOverlay;
using tessaline::bench::now;

namespace {

// Notes when the capture key's press arrives, before the hot-key layer
// sees it; it never consumes anything.
class PressClock : public QAbstractNativeEventFilter
{
public:
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType == "xcb_generic_event_t") {
            const auto *event = static_cast<const xcb_generic_event_t *>(message);
            if ((event->response_type & 0x7f) == XCB_KEY_PRESS
                && reinterpret_cast<const xcb_key_press_event_t *>(event)->detail == keyCode && pressedAt == 0)
                pressedAt = now();
        }
        return false;
    }
    quint8 keyCode = 0;
    qint64 pressedAt = 0;
};

void BM_HotKeyToOverlayPainted(benchmark::State &state)
{
    const auto x11 = X11Connection::application();
    if (!x11) {
        state.SkipWithError("needs an X11 display");
        return;
    }
    // One xdotool for the whole run, fed a line per press: starting a
    // process per press would fork this one each time, and the copy-on-write
    // faults that follow land on the very buffers being measured, which a
    // real key press never causes. Started before anything large exists.
    // A fresh server has never drawn its screen, where a desktop has done
    // so many times: drawn once here, or the first frame would pay for the
    // server's first touch of its own framebuffer.
    const quint32 desktopColour = 0x306090;
    xcb_change_window_attributes(x11->connection, x11->root, XCB_CW_BACK_PIXEL, &desktopColour);
    xcb_clear_area(x11->connection, 0, x11->root, 0, 0, 0, 0);
    x11->sync();
    QProcess keyboard;
    keyboard.start(QStringLiteral("xdotool"), {QStringLiteral("-")});
    if (!keyboard.waitForStarted(5000)) {
        state.SkipWithError("xdotool could not start");
        return;
    }
    const auto stopKeyboard = qScopeGuard([&] {
        keyboard.closeWriteChannel();
        if (!keyboard.waitForFinished(5000))
            keyboard.kill();
    });
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath(QStringLiteral("settings.ini")));
    NotificationCenter center;
    auto system = X11CaptureSystem::create();
    X11CaptureSystem *captureSystem = system.get();
    bench::OverlayMarks marks;
    CaptureCoordinatorServices services;
    services.displayCaptureService = std::make_shared<DisplayCaptureService>(std::move(system));
    services.permissionHistoryStore = std::make_shared<ScreenCapturePermissionHistoryStore>(defaults);
    services.hotKeyManager = std::make_shared<GlobalHotKeyManager>(X11HotKeys::create());
    services.shortcutStore = std::make_shared<GlobalShortcutConfigurationStore>(defaults);
    services.notificationCenter = &center;
    services.regionSelectionFactory = [&](const FrozenDisplayCapture &capture, RegionSelectionSession::Completion completion) {
        return std::unique_ptr<RegionSelectionSession>(
            // The frame is on its way; a round trip makes sure the server has it.
            new MeasuredOverlay(capture, std::move(completion), marks, [x11] { x11->sync(); }));
    };
    services.prepareRegionSelection = &RegionSelectionOverlayController::prepareWindow;
    CaptureCoordinator coordinator(std::move(services));
    if (!coordinator.enableHotKeys()) {
        state.SkipWithError("the capture hot key could not be registered");
        return;
    }
    PressClock pressClock;
    pressClock.keyCode = *X11HotKeys::xKeyCode(21);
    QCoreApplication::instance()->installNativeEventFilter(&pressClock);

    // One press: true once the overlay's first frame is on the server. A
    // press the server lost (xdotool racing a fresh server) is sent again.
    const auto pressAndWait = [&] {
        marks = {};
        pressClock.pressedAt = 0;
        for (int attempt = 0; attempt < 3 && marks.painted == 0; ++attempt) {
            keyboard.write("key ctrl+super+4\n");
            keyboard.waitForBytesWritten(1000);
            QElapsedTimer limit;
            limit.start();
            while (marks.painted == 0 && limit.elapsed() < 3000)
                QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        }
        return marks.painted != 0 && pressClock.pressedAt != 0;
    };
    const auto endOverlay = [] { MeasuredOverlay::end(); };
    // As the app does once it is idle after starting.
    coordinator.prepareForFirstCapture();
    if (!pressAndWait()) {
        state.SkipWithError("the overlay did not appear");
        return;
    }
    const double firstCaptureMs = (marks.painted - pressClock.pressedAt) / 1e6;
    endOverlay();

    double grab = 0, conversion = 0, setUp = 0, expose = 0, firstPaint = 0, before = 0, total = 0;
    bool sharedMemory = false;
    for (auto _ : state) {
        if (!pressAndWait()) {
            state.SkipWithError("the overlay did not appear");
            break;
        }
        const double seconds = double(marks.painted - pressClock.pressedAt) / 1e9;
        state.SetIterationTime(seconds);
        const X11GrabTimings &timings = captureSystem->lastGrabTimings();
        grab += timings.grabNanoseconds / 1e6;
        conversion += timings.conversionNanoseconds / 1e6;
        sharedMemory = timings.usedSharedMemory;
        setUp += (marks.beginEnded - marks.beginStarted) / 1e6;
        expose += (marks.paintStarted - marks.beginEnded) / 1e6;
        firstPaint += (marks.painted - marks.paintStarted) / 1e6;
        before += (marks.beginStarted - pressClock.pressedAt) / 1e6;
        total += seconds * 1e3;
        endOverlay();
    }
    QCoreApplication::instance()->removeNativeEventFilter(&pressClock);
    const double n = double(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["total_ms"] = total / n;
    state.counters["grab_ms"] = grab / n;
    state.counters["convert_ms"] = conversion / n;
    state.counters["other_before_overlay_ms"] = (before / n) - (grab / n) - (conversion / n);
    state.counters["overlay_setup_ms"] = setUp / n;
    state.counters["map_expose_ms"] = expose / n;
    state.counters["paint_flush_ms"] = firstPaint / n;
    state.counters["shm"] = sharedMemory ? 1 : 0;
    state.counters["first_capture_of_session_ms"] = firstCaptureMs;
}

void BM_GrabWholeDisplay(benchmark::State &state)
{
    auto system = X11CaptureSystem::create();
    if (!system) {
        state.SkipWithError("needs an X11 display");
        return;
    }
    const X11Display display = system->displays().first();
    X11DisplayCapture capture(system->connection());
    capture.setSharedMemoryAllowed(state.range(0) != 0);
    double grab = 0, conversion = 0;
    for (auto _ : state) {
        X11GrabTimings timings;
        auto image = capture.grabRoot(display.nativeGeometry, &timings);
        benchmark::DoNotOptimize(image);
        grab += timings.grabNanoseconds / 1e6;
        conversion += timings.conversionNanoseconds / 1e6;
    }
    const double n = double(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["grab_ms"] = grab / n;
    state.counters["convert_ms"] = conversion / n;
}

QString sizeLabel()
{
    return qEnvironmentVariable("TESSALINE_BENCH_SIZE");
}

int runChild(int argc, char **argv)
{
    QApplication app(argc, argv);
    const std::string suffix = "/" + sizeLabel().toStdString();
    benchmark::RegisterBenchmark(("BM_HotKeyToOverlayPainted" + suffix).c_str(), BM_HotKeyToOverlayPainted)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(15);
    benchmark::RegisterBenchmark(("BM_GrabWholeDisplay" + suffix).c_str(), BM_GrabWholeDisplay)
        ->Arg(1)
        ->Arg(0)
        ->ArgName("shm")
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// A display number nobody uses.
int freeDisplayNumber()
{
    for (int n = 91; n < 200; ++n) {
        if (!QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) && !QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
            return n;
    }
    return -1;
}

int runParent(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList forwarded = app.arguments().mid(1);
    int failures = 0;
    for (const QString &size : {QStringLiteral("1920x1080"), QStringLiteral("5120x2880")}) {
        const int display = freeDisplayNumber();
        if (display < 0)
            return 1;
        QProcess server;
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.start(QStringLiteral("Xvfb"), {QStringLiteral(":%1").arg(display), QStringLiteral("-screen"), QStringLiteral("0"),
                                              size + QStringLiteral("x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!server.waitForStarted(5000)) {
            std::fprintf(stderr, "Xvfb could not start\n");
            return 1;
        }
        // Ready once it takes a connection.
        const QByteArray name = QStringLiteral(":%1").arg(display).toLatin1();
        QElapsedTimer wait;
        wait.start();
        bool accepting = false;
        while (!accepting && wait.elapsed() < 10000) {
            xcb_connection_t *probe = xcb_connect(name.constData(), nullptr);
            accepting = !xcb_connection_has_error(probe);
            xcb_disconnect(probe);
            if (!accepting)
                QThread::msleep(20);
        }

        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":%1").arg(display));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("TESSALINE_BENCH_SIZE"), size);
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(app.applicationFilePath(), forwarded);
        child.waitForFinished(-1);
        if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
            ++failures;

        // Only the server this run started is stopped, by its own process.
        server.terminate();
        if (!server.waitForFinished(5000)) {
            server.kill();
            server.waitForFinished(5000);
        }
    }
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (!sizeLabel().isEmpty())
        return runChild(argc, argv);
    return runParent(argc, argv);
}
