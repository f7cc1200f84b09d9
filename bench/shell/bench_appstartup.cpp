// The real app started on a library of 1,000, 10,000 and 50,000 cards on
// disk, timed from the process start to its main window's first painted
// frame on the X server, with its resident memory once it has settled.
// Watched from outside: the root window is painted a colour the app never
// uses, and the window counts as painted once a strip across it shows
// neither that colour nor one flat fill.
//
// Runs on an X server with a window manager, as a user's desktop has one,
// on a session bus of its own:
//   xvfb-run -a -s "-screen 0 1920x1080x24" dbus-run-session -- bench_appstartup
// When the server has no window manager, openbox is started for the run if
// it is installed (TESSALINE_BENCH_NO_WM=1 runs without one); wm says
// whether one managed the windows. TESSALINE_BENCH_APP names another build
// of the app to time, for a comparison on the same machine at the same
// moment.
//
// BM_PlainQtWindowToPainted is the machine's own yardstick, timed the same
// way: this program started again to show a plain Qt window that paints a
// gradient, nothing more. A figure of the app read beside it, and beside
// load1 (the load average as the run ended), can be compared with one taken
// on another machine.
//
// Beside it, the library's part of the start alone, in this process: opening
// the file, the launch seeding and migration pass, and the first reading of
// every note, card and connection, read ahead on workers as the app does. It
// needs no X server, and its figure moves much less with the machine's load
// than a whole process start does.

#include "BenchmarkMain.h"
#include "model/ModelContext.h"
#include "model/TessalineStore.h"
#include "platform/UserDefaults.h"
#include "runtime/LibraryQuery.h"
#include "runtime/OnboardingPreferencesStore.h"
#include "support/LibraryFixture.h"
#include "support/ProcessStatus.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLinearGradient>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>

#include <xcb/xcb.h>

#include <signal.h>
#include <stdlib.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

using namespace tessaline;

namespace {

constexpr quint32 kRootColour = 0xff00ff;

struct XServer
{
    XServer()
    {
        connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection))
            return;
        screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        const quint32 values[] = {kRootColour, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY};
        xcb_change_window_attributes(connection, screen->root, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
        xcb_clear_area(connection, 0, screen->root, 0, 0, 0, 0);
        pidAtom = atom("_NET_WM_PID");
        clientListAtom = atom("_NET_CLIENT_LIST");
        xcb_flush(connection);
    }
    ~XServer()
    {
        if (windowManager.state() != QProcess::NotRunning) {
            ::kill(pid_t(windowManager.processId()), SIGTERM);
            windowManager.waitForFinished(5000);
        }
        xcb_disconnect(connection);
    }

    bool usable() const { return screen != nullptr; }

    xcb_atom_t atom(const char *name) const
    {
        xcb_intern_atom_reply_t *reply =
            xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, quint16(strlen(name)), name), nullptr);
        const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return result;
    }

    std::optional<quint32> windowPid(xcb_window_t window) const
    {
        xcb_get_property_reply_t *reply = xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, window, pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        std::optional<quint32> pid;
        if (reply && xcb_get_property_value_length(reply) == 4)
            pid = *static_cast<const quint32 *>(xcb_get_property_value(reply));
        std::free(reply);
        return pid;
    }

    // Whether a window manager has said so on the root window.
    bool managed() const
    {
        const xcb_atom_t check = atom("_NET_SUPPORTING_WM_CHECK");
        xcb_get_property_reply_t *reply = xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, screen->root, check, XCB_ATOM_WINDOW, 0, 1), nullptr);
        const bool found = reply && xcb_get_property_value_length(reply) == 4;
        std::free(reply);
        return found;
    }

    // Starts openbox when no window manager runs and one is installed.
    void manageWindows()
    {
        if (managed() || qEnvironmentVariableIntValue("TESSALINE_BENCH_NO_WM") == 1)
            return;
        const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
        if (openbox.isEmpty())
            return;
        windowManager.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        windowManager.setStandardOutputFile(QProcess::nullDevice());
        windowManager.start(openbox, {});
        QElapsedTimer wait;
        wait.start();
        while (!managed() && wait.elapsed() < 20000 && windowManager.state() != QProcess::NotRunning)
            QThread::msleep(20);
    }

    // A window of the process mapped since the last call: on the root
    // without a window manager, else one it lists as managed.
    std::optional<xcb_window_t> mappedWindowOf(qint64 pid)
    {
        if (managed())
            return managedWindowOf(pid);
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            std::optional<xcb_window_t> found;
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                const auto *map = reinterpret_cast<xcb_map_notify_event_t *>(event);
                if (!map->override_redirect && map->event == screen->root && windowPid(map->window) == quint32(pid))
                    found = map->window;
            }
            std::free(event);
            if (found)
                return found;
        }
        return std::nullopt;
    }

    std::optional<xcb_window_t> managedWindowOf(qint64 pid)
    {
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection))
            std::free(event);
        xcb_get_property_reply_t *reply = xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, screen->root, clientListAtom, XCB_ATOM_WINDOW, 0, 1024),
            nullptr);
        std::optional<xcb_window_t> found;
        if (reply) {
            const auto *windows = static_cast<const xcb_window_t *>(xcb_get_property_value(reply));
            for (int i = 0, n = xcb_get_property_value_length(reply) / 4; i < n && !found; ++i) {
                xcb_get_window_attributes_reply_t *attributes = xcb_get_window_attributes_reply(
                    connection, xcb_get_window_attributes(connection, windows[i]), nullptr);
                if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE && windowPid(windows[i]) == quint32(pid))
                    found = windows[i];
                std::free(attributes);
            }
        }
        std::free(reply);
        return found;
    }

    // Whether a strip across the window's upper half shows a painted frame.
    bool painted(xcb_window_t window)
    {
        xcb_get_geometry_reply_t *geometry =
            xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr);
        if (!geometry)
            return false;
        const quint16 width = geometry->width;
        const quint16 height = std::min<quint16>(48, geometry->height);
        const qint16 top = qint16(geometry->height / 5);
        std::free(geometry);
        xcb_get_image_reply_t *image = xcb_get_image_reply(
            connection, xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, top, width, height, ~0u),
            nullptr);
        if (!image)
            return false;
        const auto *pixels = reinterpret_cast<const quint32 *>(xcb_get_image_data(image));
        const int count = xcb_get_image_data_length(image) / 4;
        bool shown = count > 0;
        bool varied = false;
        for (int i = 0; i < count && shown; ++i) {
            const quint32 pixel = pixels[i] & 0xffffff;
            shown = pixel != kRootColour;
            varied = varied || pixel != (pixels[0] & 0xffffff);
        }
        std::free(image);
        return shown && varied;
    }

    xcb_connection_t *connection = nullptr;
    xcb_screen_t *screen = nullptr;
    xcb_atom_t pidAtom = XCB_ATOM_NONE;
    xcb_atom_t clientListAtom = XCB_ATOM_NONE;
    QProcess windowManager;
};

// A home of the app's own: its library, and settings of a user who has been
// through the setup window and the tour.
struct AppHome
{
    explicit AppHome(const bench::LibraryShape &shape)
    {
        const QString dataHome = home.filePath(QStringLiteral(".local/share"));
        ready = home.isValid() && runtime.isValid()
            && QFile::setPermissions(runtime.path(),
                                     QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner)
            && bench::LibraryFixture::copyInto(shape, bench::LibraryFixture::appDataDirectory(dataHome));
        const QString config = home.filePath(QStringLiteral(".config/Tessaline"));
        QDir().mkpath(config);
        UserDefaults defaults(config + QStringLiteral("/Tessaline.conf"));
        OnboardingPreferences preferences;
        preferences.completedOnboardingVersion = currentOnboardingVersion;
        preferences.completedTourVersion = currentTourVersion;
        OnboardingPreferencesStore(defaults).save(preferences);
        defaults.sync();
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        environment.remove(QStringLiteral("XDG_DATA_HOME"));
        environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
        environment.remove(QStringLiteral("XDG_CACHE_HOME"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        return environment;
    }

    QTemporaryDir home;
    QTemporaryDir runtime{bench::runtimeDirectoryTemplate()};
    bool ready = false;
};

void stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(process.processId()), SIGTERM);
    if (!process.waitForFinished(5000)) {
        ::kill(pid_t(process.processId()), SIGKILL);
        process.waitForFinished(5000);
    }
}

// One connection for the whole run: an X server started for the run resets
// when its last client leaves, and refuses connections while it does.
XServer &xServer()
{
    static XServer shared;
    static const bool started = [] {
        if (shared.usable())
            shared.manageWindows();
        return true;
    }();
    Q_UNUSED(started);
    return shared;
}

double loadAverage()
{
    double load = 0;
    return getloadavg(&load, 1) == 1 ? load : -1;
}

// Starts `app` and waits for its first painted window; the seconds it took,
// or nothing when no window was painted.
std::optional<double> startToPaintedWindow(XServer &x11, QProcess &app)
{
    xcb_clear_area(x11.connection, 0, x11.screen->root, 0, 0, 0, 0);
    xcb_flush(x11.connection);
    QElapsedTimer clock;
    clock.start();
    app.start();
    if (!app.waitForStarted(10000))
        return std::nullopt;
    std::optional<xcb_window_t> window;
    bool painted = false;
    while (!painted && clock.elapsed() < 30000 && app.state() == QProcess::Running) {
        if (!window)
            window = x11.mappedWindowOf(app.processId());
        if (window)
            painted = x11.painted(*window);
        if (!painted)
            QThread::usleep(500);
    }
    if (!painted)
        return std::nullopt;
    return double(clock.nsecsElapsed()) / 1e9;
}

constexpr char plainWindowOption[] = "--plain-qt-window";

// The yardstick's window: a gradient, so that its frame is told from a
// flat fill as the app's is.
class PlainWindow : public QWidget
{
protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        QLinearGradient gradient(0, 0, width(), 0);
        gradient.setColorAt(0, QColor(250, 250, 248));
        gradient.setColorAt(1, QColor(40, 60, 90));
        painter.fillRect(rect(), gradient);
    }
};

int showPlainWindow(int argc, char **argv)
{
    QApplication application(argc, argv);
    PlainWindow window;
    window.resize(1100, 720);
    window.show();
    return application.exec();
}

void BM_PlainQtWindowToPainted(benchmark::State &state)
{
    XServer &x11 = xServer();
    if (!x11.usable()) {
        state.SkipWithError("no X server: run under xvfb-run");
        return;
    }
    for (auto _ : state) {
        QProcess app;
        app.setProgram(QCoreApplication::applicationFilePath());
        app.setArguments({QString::fromLatin1(plainWindowOption)});
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        app.setProcessEnvironment(environment);
        app.setStandardOutputFile(QProcess::nullDevice());
        app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const std::optional<double> seconds = startToPaintedWindow(x11, app);
        stop(app);
        if (!seconds) {
            state.SkipWithError("the plain window was never painted");
            return;
        }
        state.SetIterationTime(*seconds);
    }
    state.counters["wm"] = x11.managed() ? 1 : 0;
    state.counters["load1"] = loadAverage();
}
BENCHMARK(BM_PlainQtWindowToPainted)->UseManualTime()->Iterations(7)->Unit(benchmark::kMillisecond);

void BM_StartToPaintedWindow(benchmark::State &state)
{
    XServer &x11 = xServer();
    if (!x11.usable()) {
        state.SkipWithError("no X server: run under xvfb-run");
        return;
    }
    const bench::LibraryShape shape{int(state.range(0))};
    if (bench::LibraryFixture::cachedFile(shape).isEmpty()) {
        state.SkipWithError("the library could not be made");
        return;
    }
    qint64 rss = 0;
    qint64 peak = 0;
    // Of the resident memory, the heap's and other private pages, and the
    // pages of files (the program's and its libraries', files it maps).
    qint64 anonymous = 0;
    qint64 files = 0;
    for (auto _ : state) {
        AppHome appHome(shape);
        if (!appHome.ready) {
            state.SkipWithError("the app's home could not be made");
            return;
        }
        QProcess app;
        app.setProgram(qEnvironmentVariable("TESSALINE_BENCH_APP", QStringLiteral(TESSALINE_BINARY)));
        app.setProcessEnvironment(appHome.environment());
        app.setStandardOutputFile(QProcess::nullDevice());
        app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const std::optional<double> seconds = startToPaintedWindow(x11, app);
        if (!seconds) {
            stop(app);
            state.SkipWithError("the main window was never painted");
            return;
        }
        state.SetIterationTime(*seconds);
        // Settled: what it holds a second after the first frame.
        QThread::msleep(1000);
        rss = bench::processStatusKilobytes(app.processId(), "VmRSS");
        peak = bench::processStatusKilobytes(app.processId(), "VmHWM");
        anonymous = bench::processStatusKilobytes(app.processId(), "RssAnon");
        files = bench::processStatusKilobytes(app.processId(), "RssFile");
        stop(app);
    }
    state.counters["cards"] = shape.cards;
    state.counters["rss_MB"] = double(rss) / 1024;
    state.counters["peak_rss_MB"] = double(peak) / 1024;
    state.counters["rss_anon_MB"] = double(anonymous) / 1024;
    state.counters["rss_file_MB"] = double(files) / 1024;
    state.counters["wm"] = x11.managed() ? 1 : 0;
    state.counters["load1"] = loadAverage();
}
BENCHMARK(BM_StartToPaintedWindow)
    ->ArgName("cards")
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(50000)
    ->UseManualTime()
    ->Iterations(7)
    ->Unit(benchmark::kMillisecond);

void BM_ReadLibraryAtStart(benchmark::State &state)
{
    const bench::LibraryShape shape{int(state.range(0))};
    if (bench::LibraryFixture::cachedFile(shape).isEmpty()) {
        state.SkipWithError("the library could not be made");
        return;
    }
    qsizetype cards = 0;
    // What the read library holds in memory, as the process's resident
    // memory grows over the first reading (later ones reuse freed memory).
    std::optional<qint64> heldKilobytes;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir directory;
        if (!bench::LibraryFixture::copyInto(shape, directory.path())) {
            state.SkipWithError("the library could not be copied");
            return;
        }
        const qint64 before = bench::processStatusKilobytes(QCoreApplication::applicationPid(), "VmRSS");
        state.ResumeTiming();
        auto container = TessalineStore::makeModelContainer(false, std::nullopt, directory.path());
        if (!container) {
            state.SkipWithError("the library could not be opened");
            return;
        }
        ModelContext &context = *(*container)->mainContext();
        context.readAhead();
        const auto seeded = TessalineStore::seedLibrary(context, QDateTime::currentDateTimeUtc());
        const LibraryQuery query(context);
        cards = query.cards().size();
        benchmark::DoNotOptimize(seeded.hasValue());
        state.PauseTiming();
        if (!heldKilobytes)
            heldKilobytes = bench::processStatusKilobytes(QCoreApplication::applicationPid(), "VmRSS") - before;
        container->reset();
        state.ResumeTiming();
    }
    state.counters["cards"] = double(cards);
    state.counters["held_MB"] = double(heldKilobytes.value_or(0)) / 1024;
}
BENCHMARK(BM_ReadLibraryAtStart)
    ->ArgName("cards")
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(50000)
    ->Iterations(7)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], plainWindowOption) == 0)
        return showPlainWindow(argc, argv);
    return runBenchmarks<QCoreApplication>(argc, argv);
}
