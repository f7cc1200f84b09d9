// Capture command to overlay painted in a Wayland session at 1920x1080: from
// the moment the running instance starts a region capture (what the global
// shortcut and `tessaline --capture-region` both end in) to the moment the
// region overlay's first frame has been handed to the compositor. Counters
// split the road: portal_round_trip_ms (the desktop's screenshot portal: the
// request, the compositor's grab, the PNG it writes, the answer),
// read_ms (reading and decoding that PNG, on a worker thread),
// overlay_ms (the overlay window from creation to its first frame) and the
// portal's share of the total. Runs in the headless sway session, which the
// parent process starts and stops by process id unless one is running.

#include "capture/CaptureCoordinator.h"
#include "MeasuredOverlay.h"
#include "platform/NotificationCenter.h"
#include "platform/PortalCaptureSystem.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>

using namespace tessaline;
using tessaline::bench::MeasuredOverlay;
using tessaline::bench::now;

namespace {

void BM_CommandToOverlayPainted(benchmark::State &state)
{
    PlatformBackends backends = PlatformFactory::create();
    auto *portal = dynamic_cast<PortalCaptureSystem *>(backends.captureSystem.get());
    if (!portal) {
        state.SkipWithError("needs a Wayland session with the screenshot portal");
        return;
    }
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath(QStringLiteral("settings.ini")));
    NotificationCenter center;
    bench::OverlayMarks marks;
    auto services = CaptureCoordinatorServices::fromPlatform(std::move(backends));
    services.permissionHistoryStore = std::make_shared<ScreenCapturePermissionHistoryStore>(defaults);
    services.shortcutStore = std::make_shared<GlobalShortcutConfigurationStore>(defaults);
    services.notificationCenter = &center;
    services.regionSelectionFactory = [&](const FrozenDisplayCapture &capture, RegionSelectionSession::Completion completion) {
        return std::unique_ptr<RegionSelectionSession>(new MeasuredOverlay(capture, std::move(completion), marks));
    };
    CaptureCoordinator coordinator(std::move(services));

    qint64 started = 0;
    const auto captureAndWait = [&] {
        marks = {};
        started = now();
        coordinator.beginCapture(CaptureMode::region);
        QElapsedTimer limit;
        limit.start();
        while (marks.painted == 0 && limit.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        return marks.painted != 0;
    };
    const auto endOverlay = [] { MeasuredOverlay::end(); };
    // The first capture also makes the overlay window.
    if (!captureAndWait()) {
        state.SkipWithError("the overlay did not appear");
        return;
    }
    const double firstCaptureMs = (marks.painted - started) / 1e6;
    endOverlay();

    double total = 0, roundTrip = 0, read = 0, overlay = 0;
    for (auto _ : state) {
        if (!captureAndWait()) {
            state.SkipWithError("the overlay did not appear");
            break;
        }
        const double seconds = double(marks.painted - started) / 1e9;
        state.SetIterationTime(seconds);
        total += seconds * 1e3;
        roundTrip += portal->lastTimings().roundTripNanoseconds / 1e6;
        read += portal->lastTimings().readNanoseconds / 1e6;
        overlay += (marks.painted - marks.beginStarted) / 1e6;
        endOverlay();
    }
    const double n = double(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["total_ms"] = total / n;
    state.counters["portal_round_trip_ms"] = roundTrip / n;
    state.counters["read_ms"] = read / n;
    state.counters["overlay_ms"] = overlay / n;
    state.counters["other_ms"] = (total - roundTrip - read - overlay) / n;
    state.counters["portal_share"] = total > 0 ? roundTrip / total : 0;
    state.counters["first_capture_of_session_ms"] = firstCaptureMs;
}

int runInSession(int argc, char **argv)
{
    QApplication app(argc, argv);
    benchmark::RegisterBenchmark("BM_CommandToOverlayPainted/1920x1080", BM_CommandToOverlayPainted)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(15);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// Starts the headless session, runs this program again inside it, stops it.
int runWithSession(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir state(QStringLiteral("/tmp/tessaline-bench-wayland-XXXXXX"));
    QFile::setPermissions(state.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                            | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("WAYLAND_SESSION_DIR"), state.filePath(QStringLiteral("session")));
    const auto session = [&](const QStringList &arguments) {
        QProcess script;
        script.setProcessEnvironment(environment);
        script.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        script.start(QStringLiteral("bash"), QStringList{QStringLiteral(TESSALINE_WAYLAND_SESSION)} + arguments);
        script.waitForFinished(60000);
        return script.exitCode() == 0 ? QString::fromUtf8(script.readAllStandardOutput()) : QString();
    };
    const QString exports = session({QStringLiteral("start")});
    if (exports.isEmpty()) {
        std::fprintf(stderr, "the headless Wayland session could not start\n");
        return 1;
    }
    for (const QString &line : exports.split(u'\n')) {
        if (line.startsWith(QLatin1String("export "))) {
            const QString assignment = line.mid(7);
            const qsizetype equals = assignment.indexOf(u'=');
            environment.insert(assignment.left(equals), assignment.mid(equals + 1));
        } else if (line.startsWith(QLatin1String("unset "))) {
            environment.remove(line.mid(6).trimmed());
        }
    }
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(app.applicationFilePath(), app.arguments().mid(1));
    child.waitForFinished(-1);
    session({QStringLiteral("stop")});
    return child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return runInSession(argc, argv);
    return runWithSession(argc, argv);
}
