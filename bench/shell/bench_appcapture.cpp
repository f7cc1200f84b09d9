// The real app, measured from outside as a user meets it: `tessaline` runs
// on its own 5120x2880 Xvfb whose desktop shows the corpus's busy picture,
// with a fresh home and library, and captures the display when asked from
// the command line. Nothing in the app is instrumented.
//
// captureDisplayToStored5K: from the request reaching the app to the card's
// row committed in the library file (read by polling the SQLite file). The
// request is the line `tessaline --capture-display` would hand the running
// app, written straight to its socket, as a hot key reaches it: no process
// start in the figure. captureCommandToStored5K is the same from running
// `tessaline --capture-display`, whose own start (a Qt application made
// before it hands over) is part of that figure; command_start_ms is that
// start alone (a run with --help). stall_*_ms is how long the app's main
// thread went without answering: a ping (the window manager's liveness
// message, which Qt answers on its main thread) is sent every 4 ms and the
// longest wait for an answer is kept, from the request until text
// recognition has stored its words; stall_at_ms is when the longest wait of
// the worst capture began, from its request; stall_idle_ms is the longest
// wait over 3 s of an idle app, what the load alone costs the ping's road.
// server_stall_*_ms is the same watch over the same moments on a window of
// the benchmark's own, which the X server answers itself: the part of the
// app's figure that is the X server's (a 5K copy of the display, or the
// desktop drawn again where the region overlay was).
// main_stall_*_ms is the app's main thread alone, with no X server on the
// road: a call to the app's desktop-search object, which its main thread
// answers, sent every 4 ms over a private session bus (no service on it
// starts by activation), the longest wait kept as above, and over the idle
// 3 s in main_stall_idle_ms. The probes' threads and that bus run ahead of
// any load (probes_on_time says whether they could), and the machine's own
// pauses over the same moments are in machine_pause_max_ms and
// main_stall_max_unpaused_ms.
// The app's first capture is apart, in first_wall_ms and first_stall_ms.
// app_faults_median and server_faults_median are the page faults of the
// app and of the X server from the request to the row: on a virtual
// machine each is a trap to the host. captureDisplayAfterIdleToStored5K
// makes each capture after 7 s of idle, once the app has given back the
// memory a series of captures reuses.
//
// captureRegionToStored5K: a region asked for by the request a hot key
// sends, dragged across the overlay with the X server's test input, from
// the button's release to the card's row committed: the grab, made as the
// overlay opens, is outside the figure, as it is for a user. The drag
// begins once the overlay shows the dimmed picture (what a user waits to
// see) and moves at a mouse's 60 Hz; with TESSALINE_BENCH_EAGER_DRAG=1 it
// is sent all at once the moment the overlay is mapped, as the first
// version of this benchmark did, which puts the overlay's own first frame
// and input grabs into the figure. The region is nearly the whole display.
// stall_*_ms is watched from the release. The app runs with its default
// settings, so each region capture opens its review sheet: the stalls take
// in the sheet being built and painted (review_mapped_ms is the release to
// the sheet mapped, review_main_stall_*_ms the main thread's longest wait
// from then until the words are stored), and the sheet is closed by its window's close button
// once the capture's words are stored, so that the next capture opens it
// again.
//
// memoryAfterCaptures5K: resident memory at idle, 10 s after a capture
// (with how long its text recognition took, and 11 s after that), the peak
// of a burst of twelve captures and 10 s after that burst, with how many of
// the twelve were stored and how long until all were recognised, and how
// much of the peak was shared memory (the grab segments) and when it came,
// and the peak until the twelve were stored, before recognition began.
//
// TESSALINE_BENCH_CARDS=N starts the app on a copy of the disk-backed
// library of N cards (LibraryFixture) instead of a fresh one.
// TESSALINE_BENCH_LOAD=N runs N busy processes alongside, stopped by their
// process ids at the end; load1 reports the load average seen.
// TESSALINE_BENCH_DISPLAY=N runs the X server as display :N rather than the
// first free one from :120, for a machine whose displays are shared out.
// TESSALINE_BENCH_APP=path measures another build of the app (an earlier
// one, for a figure beside this one's). TESSALINE_BENCH_CAPTURES=N asks for
// N captures in each of the first two benchmarks instead of 15 and 8: each
// may wait up to a minute for its words.

#include "BenchmarkMain.h"
#include "platform/UserDefaults.h"
#include "runtime/OnboardingPreferencesStore.h"
#include "runtime/ScreenshotContent.h"
#include "support/LibraryFixture.h"
#include "support/ProcessStatus.h"

#include <benchmark/benchmark.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QGuiApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <sqlite3.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace tessaline;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

QString appPath()
{
    const QString chosen = qEnvironmentVariable("TESSALINE_BENCH_APP");
    return chosen.isEmpty() ? QStringLiteral(TESSALINE_APP_PATH) : chosen;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double residentMiB(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/statm").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = file.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0) : 0;
}

// The part of resident memory that is shared memory (the X server's grab
// segments among it).
double sharedResidentMiB(qint64 pid)
{
    return bench::processStatusMiB(pid, "RssShmem");
}

// The probes measure the app. Under load their own threads, and the bus
// daemon between a probe and the app, would wait for a processor as well,
// and those waits would be read as the app's (a probe's thread woken 170 ms
// late at load 10). Where the system allows, each of them runs ahead of the
// load, as a real-time thread: each step is short and then sleeps, so the
// load is not held off. probes_on_time says whether all of them could.
std::atomic<bool> probesOnTime{true};

void runAheadOfLoad(pid_t thread)
{
    sched_param priority{};
    priority.sched_priority = 1;
    if (sched_setscheduler(thread, SCHED_FIFO, &priority) != 0)
        probesOnTime = false;
}

// A thread of a probe, ahead of the load from its start.
template <typename Work>
std::thread threadAheadOfLoad(Work work)
{
    return std::thread([work = std::move(work)] {
        runAheadOfLoad(pid_t(gettid()));
        work();
    });
}

// The bus connections' own thread, which reads the app's answers in.
void runBusThreadAheadOfLoad()
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    bool found = false;
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "QDBusConnection") {
            runAheadOfLoad(pid_t(task.toInt()));
            found = true;
        }
    }
    if (!found)
        probesOnTime = false;
}

int freeDisplayNumber()
{
    if (const int chosen = qEnvironmentVariableIntValue("TESSALINE_BENCH_DISPLAY"); chosen > 0)
        return chosen;
    for (int n = 120; n < 240; ++n) {
        if (!QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) && !QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
            return n;
    }
    return -1;
}

xcb_atom_t atom(xcb_connection_t *connection, const char *name)
{
    auto *reply = xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return result;
}

// Sends the app's window a ping every 4 ms on a connection of its own and
// keeps the longest wait for an answer since the last reset. Given no
// window, it pings a window of its own, which the X server hands straight
// back: the server's share of the app's figure, over the same moments.
class PingProbe
{
public:
    PingProbe(const QByteArray &display, xcb_window_t window) : m_window(window)
    {
        m_connection = xcb_connect(display.constData(), nullptr);
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_root = screen->root;
        if (m_window == XCB_NONE) {
            // Not listening on the root window, where the app's answers to
            // the other probe go.
            m_window = xcb_generate_id(m_connection);
            xcb_create_window(m_connection, 0, m_window, m_root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                              XCB_COPY_FROM_PARENT, 0, nullptr);
        } else {
            const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
            xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
        }
        m_protocols = atom(m_connection, "WM_PROTOCOLS");
        m_ping = atom(m_connection, "_NET_WM_PING");
        m_sender = threadAheadOfLoad([this] { send(); });
        m_receiver = threadAheadOfLoad([this] { receive(); });
    }
    ~PingProbe()
    {
        m_stop = true;
        m_sender.join();
        m_receiver.join();
        xcb_disconnect(m_connection);
    }
    void reset()
    {
        std::lock_guard lock(m_mutex);
        m_longest = 0;
        m_longestFrom = Clock::now();
    }
    // The longest wait since the reset, counting a ping still unanswered,
    // and when it began.
    std::pair<double, Clock::time_point> longest()
    {
        std::lock_guard lock(m_mutex);
        std::pair result{m_longest, m_longestFrom};
        if (m_answered + 1 < m_sent) {
            const Clock::time_point from = m_sentAt[(m_answered + 1) % kSlots];
            if (msSince(from) > result.first)
                result = {msSince(from), from};
        }
        return result;
    }

private:
    static constexpr uint32_t kSlots = 1 << 16;

    void send()
    {
        while (!m_stop) {
            xcb_client_message_event_t event{};
            event.response_type = XCB_CLIENT_MESSAGE;
            event.format = 32;
            event.window = m_window;
            event.type = m_protocols;
            event.data.data32[0] = m_ping;
            {
                std::lock_guard lock(m_mutex);
                event.data.data32[1] = m_sent;
                m_sentAt[m_sent % kSlots] = Clock::now();
                ++m_sent;
            }
            xcb_send_event(m_connection, 0, m_window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&event));
            xcb_flush(m_connection);
            std::this_thread::sleep_for(std::chrono::milliseconds(4));
        }
    }
    // Polls, so it ends when told to: a connection cannot be closed under
    // a thread waiting on it.
    void receive()
    {
        pollfd readable{xcb_get_file_descriptor(m_connection), POLLIN, 0};
        while (!m_stop && !xcb_connection_has_error(m_connection)) {
            xcb_generic_event_t *event = xcb_poll_for_event(m_connection);
            if (!event) {
                // Briefly: an event another thread read in waits in the
                // queue without waking the poll.
                ::poll(&readable, 1, 1);
                continue;
            }
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                const auto *message = reinterpret_cast<const xcb_client_message_event_t *>(event);
                if (message->type == m_protocols && message->data.data32[0] == m_ping) {
                    std::lock_guard lock(m_mutex);
                    const uint32_t serial = message->data.data32[1];
                    const double waited = msSince(m_sentAt[serial % kSlots]);
                    if (waited > m_longest) {
                        m_longest = waited;
                        m_longestFrom = m_sentAt[serial % kSlots];
                    }
                    m_answered = std::max(m_answered, serial);
                }
            }
            std::free(event);
        }
    }

    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_window = 0;
    xcb_window_t m_root = 0;
    xcb_atom_t m_protocols = 0;
    xcb_atom_t m_ping = 0;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<Clock::time_point> m_sentAt = std::vector<Clock::time_point>(kSlots);
    uint32_t m_sent = 1;
    uint32_t m_answered = 0;
    double m_longest = 0;
    Clock::time_point m_longestFrom;
    std::thread m_sender;
    std::thread m_receiver;
};

// Calls a method of the app's own that its main thread answers, every 4 ms
// on a bus connection of its own, and keeps the longest wait for an answer
// since the last reset: the main thread's stalls without the X server's.
class BusProbe
{
public:
    BusProbe(const QString &address, const QString &service, const QString &path, const QString &interface,
             const QString &method)
        : m_bus(QDBusConnection::connectToBus(address, QStringLiteral("bench-probe")))
        , m_call(QDBusMessage::createMethodCall(service, path, interface, method))
    {
        runBusThreadAheadOfLoad();
        m_sender = threadAheadOfLoad([this] { send(); });
        m_receiver = threadAheadOfLoad([this] { receive(); });
    }
    ~BusProbe()
    {
        m_stop = true;
        m_sender.join();
        m_receiver.join();
        QDBusConnection::disconnectFromBus(QStringLiteral("bench-probe"));
    }
    bool connected() const { return m_bus.isConnected(); }
    int errors() const { return m_errors; }
    void reset()
    {
        std::lock_guard lock(m_mutex);
        m_longest = 0;
    }
    // The longest wait since the reset, counting a call still unanswered.
    double longest()
    {
        std::lock_guard lock(m_mutex);
        return m_waiting.empty() ? m_longest : std::max(m_longest, msSince(m_waiting.front().first));
    }

private:
    void send()
    {
        while (!m_stop) {
            {
                std::lock_guard lock(m_mutex);
                // One call at a time at most a few behind: a stalled app is
                // not flooded, and the oldest call's wait is the stall.
                if (m_waiting.size() < 64)
                    m_waiting.emplace_back(Clock::now(), m_bus.asyncCall(m_call, 60000));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(4));
        }
    }
    void receive()
    {
        while (!m_stop) {
            {
                std::lock_guard lock(m_mutex);
                // The app answers in order: only the oldest call can be the
                // next to finish.
                while (!m_waiting.empty() && m_waiting.front().second.isFinished()) {
                    m_errors += m_waiting.front().second.isError() ? 1 : 0;
                    m_longest = std::max(m_longest, msSince(m_waiting.front().first));
                    m_waiting.pop_front();
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    QDBusConnection m_bus;
    QDBusMessage m_call;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::deque<std::pair<Clock::time_point, QDBusPendingCall>> m_waiting;
    double m_longest = 0;
    std::atomic<int> m_errors{0};
    std::thread m_sender;
    std::thread m_receiver;
};

// The machine's own pauses: a thread that asks to sleep 1 ms at a time
// (ahead of the load, as the probes) and keeps the longest it overslept
// since the last reset. A virtual machine stops now and then for tens of
// milliseconds, every process with it; a stall of the app over such a
// moment is not the app's alone.
class PauseProbe
{
public:
    PauseProbe()
        : m_thread(threadAheadOfLoad([this] {
            while (!m_stop) {
                const auto before = Clock::now();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                const double overslept = msSince(before) - 1;
                std::lock_guard lock(m_mutex);
                m_longest = std::max(m_longest, overslept);
            }
        }))
    {
    }
    ~PauseProbe()
    {
        m_stop = true;
        m_thread.join();
    }
    void reset()
    {
        std::lock_guard lock(m_mutex);
        m_longest = 0;
    }
    double longest()
    {
        std::lock_guard lock(m_mutex);
        return m_longest;
    }

private:
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    double m_longest = 0;
    std::thread m_thread;
};

// Xvfb, the busy desktop on it, and the app with a home of its own; all
// stopped by their own process ids when the benchmark ends.
class AppSession
{
public:
    static AppSession *get()
    {
        static bool started = false;
        if (!started) {
            started = true;
            auto made = std::make_unique<AppSession>();
            if (made->start()) {
                s_session = std::move(made);
                // Ended while the Qt application still exists: its
                // processes cannot be stopped after it has gone.
                qAddPostRoutine([] { s_session.reset(); });
            }
        }
        return s_session.get();
    }

    ~AppSession()
    {
        m_probe.reset();
        m_serverProbe.reset();
        m_mainProbe.reset();
        for (auto *process : {&m_app, &m_server, &m_bus}) {
            if (process->state() == QProcess::NotRunning)
                continue;
            process->terminate();
            if (!process->waitForFinished(10000)) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
        for (auto &burner : m_load) {
            burner->kill();
            burner->waitForFinished(5000);
        }
        if (m_x)
            xcb_disconnect(m_x);
        if (m_db)
            sqlite3_close(m_db);
    }

    bool start()
    {
        for (int i = 0, n = qEnvironmentVariableIntValue("TESSALINE_BENCH_LOAD"); i < n; ++i) {
            auto burner = std::make_unique<QProcess>();
            burner->start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("while :; do :; done")});
            m_load.push_back(std::move(burner));
        }
        const int display = freeDisplayNumber();
        if (display < 0 || !m_home.isValid())
            return fail("no free display or temporary folder");
        m_display = QStringLiteral(":%1").arg(display).toLatin1();
        m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_server.start(QStringLiteral("Xvfb"), {QString::fromLatin1(m_display), QStringLiteral("-screen"), QStringLiteral("0"),
                                                QStringLiteral("5120x2880x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!m_server.waitForStarted(5000))
            return fail("Xvfb could not start");
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < 20000) {
            m_x = xcb_connect(m_display.constData(), nullptr);
            if (!xcb_connection_has_error(m_x))
                break;
            xcb_disconnect(m_x);
            m_x = nullptr;
            QThread::msleep(20);
        }
        if (!m_x)
            return fail("Xvfb takes no connection");
        showDesktop();

        const QDir home(m_home.path());
        for (const char *folder : {"home", "data", "config", "cache"})
            home.mkpath(QString::fromLatin1(folder));
        if (const int libraryCards = qEnvironmentVariableIntValue("TESSALINE_BENCH_CARDS"); libraryCards > 0
            && !bench::LibraryFixture::copyInto(bench::LibraryShape{libraryCards},
                                                bench::LibraryFixture::appDataDirectory(home.filePath(QStringLiteral("data")))))
            return fail("the library could not be made");
        if (!m_runtime.isValid())
            return fail("the runtime folder could not be made");
        QFile::setPermissions(m_runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        // A user who has been through the setup window and the tour, whose
        // settings are otherwise the defaults.
        home.mkpath(QStringLiteral("config/Tessaline"));
        {
            UserDefaults defaults(home.filePath(QStringLiteral("config/Tessaline/Tessaline.conf")));
            OnboardingPreferences preferences;
            preferences.completedOnboardingVersion = currentOnboardingVersion;
            preferences.completedTourVersion = currentTourVersion;
            OnboardingPreferencesStore(defaults).save(preferences);
            defaults.sync();
        }
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(m_display));
        m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        m_environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        m_environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("x11"));
        m_environment.insert(QStringLiteral("HOME"), home.filePath(QStringLiteral("home")));
        m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        m_environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        m_environment.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
        const QString busAddress = startBus(home);
        if (busAddress.isEmpty())
            return fail("the session bus could not start");
        m_environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
        m_app.setProcessEnvironment(m_environment);
        m_app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_app.setStandardOutputFile(QProcess::nullDevice());
        m_app.start(appPath(), {});
        if (!m_app.waitForStarted(5000))
            return fail("the app could not start");

        // Up once its window has mapped and the library file exists.
        wait.restart();
        while (wait.elapsed() < 60000 && (!m_window || m_libraryPath.isEmpty())) {
            QThread::msleep(50);
            if (!m_window)
                m_window = findAppWindow();
            if (m_libraryPath.isEmpty()) {
                QDirIterator files(home.filePath(QStringLiteral("data")), {QStringLiteral("*.sqlite")}, QDir::Files,
                                   QDirIterator::Subdirectories);
                if (files.hasNext())
                    m_libraryPath = files.next();
            }
            if (m_app.state() == QProcess::NotRunning)
                return fail("the app ended");
        }
        if (!m_window || m_libraryPath.isEmpty())
            return fail("the app's window or library did not appear");
        if (sqlite3_open_v2(m_libraryPath.toUtf8().constData(), &m_db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
            return fail("the library cannot be read");
        sqlite3_busy_timeout(m_db, 1000);
        m_firstNewRow = count("SELECT IFNULL(MAX(row), 0) + 1 FROM CanvasCard");
        m_probe = std::make_unique<PingProbe>(m_display, m_window);
        m_serverProbe = std::make_unique<PingProbe>(m_display, XCB_NONE);
        m_mainProbe = std::make_unique<BusProbe>(busAddress, QStringLiteral("org.tessaline.Tessaline"),
                                                 QStringLiteral("/org/tessaline/Tessaline/Runner"),
                                                 QStringLiteral("org.kde.krunner1"), QStringLiteral("Actions"));
        if (!m_mainProbe->connected())
            return fail("the session bus takes no connection");
        // Idle: what the app does once it is up (its preparation for the
        // first capture among it) is over.
        QThread::sleep(5);
        m_idleMiB = residentMiB(m_app.processId());
        return true;
    }

    // Issues the command; answers once it has handed over, with how long
    // that took.
    double command(const QString &option)
    {
        const auto start = Clock::now();
        QProcess client;
        client.setProcessEnvironment(m_environment);
        client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        client.setStandardOutputFile(QProcess::nullDevice());
        client.start(appPath(), {option});
        client.waitForFinished(10000);
        return msSince(start);
    }
    QProcess *startCommand(const QString &option)
    {
        auto *client = new QProcess;
        client->setProcessEnvironment(m_environment);
        client->setStandardOutputFile(QProcess::nullDevice());
        client->start(appPath(), {option});
        return client;
    }

    // Writes the request line a command would write to the running app's
    // socket; false when the app takes no connection.
    bool request(const char *line)
    {
        const QByteArray path = QDir(m_environment.value(QStringLiteral("XDG_RUNTIME_DIR")))
                                    .filePath(QStringLiteral("tessaline"))
                                    .toLocal8Bit();
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (size_t(path.size()) >= sizeof(address.sun_path))
            return false;
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        bool sent = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0;
        for (size_t done = 0, size = std::strlen(line); sent && done < size;) {
            const ssize_t wrote = ::write(fd, line + done, size - done);
            sent = wrote > 0;
            done += sent ? size_t(wrote) : 0;
        }
        ::close(fd);
        return sent;
    }

    int count(const char *sql, std::optional<int> bound = std::nullopt)
    {
        sqlite3_stmt *statement = nullptr;
        int result = -1;
        if (sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr) == SQLITE_OK
            && (!bound || sqlite3_bind_int(statement, 1, *bound) == SQLITE_OK) && sqlite3_step(statement) == SQLITE_ROW)
            result = sqlite3_column_int(statement, 0);
        sqlite3_finalize(statement);
        return result;
    }
    // Cards made since the app was up, and those of them with words: a
    // range of rows, so polling costs the same in a library of any size.
    int cards() { return count("SELECT count(*) FROM CanvasCard WHERE row >= ?", m_firstNewRow); }
    int recognised() { return count("SELECT count(*) FROM CanvasCard WHERE row >= ? AND ocrText <> ''", m_firstNewRow); }

    // Polls until `done` holds (true) or the time runs out (false).
    template <typename Done>
    bool waitUntil(Done done, int timeoutMs, int pollMs = 1)
    {
        const auto start = Clock::now();
        while (!done()) {
            if (msSince(start) > timeoutMs || m_app.state() == QProcess::NotRunning)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
        }
        return true;
    }

    // Whether the app's full-screen overlay (a window the window manager
    // never sees) is mapped.
    bool overlayShown()
    {
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_x)).data;
        return findMappedWindow([&](xcb_window_t window, const xcb_get_window_attributes_reply_t &attributes) {
            if (!attributes.override_redirect || window == m_window)
                return false;
            auto *geometry = xcb_get_geometry_reply(m_x, xcb_get_geometry(m_x, window), nullptr);
            const bool full = geometry && geometry->width == screen->width_in_pixels
                && geometry->height == screen->height_in_pixels;
            std::free(geometry);
            return full;
        }) != 0;
    }

    // Whether the screen shows the overlay's dimmed picture: a bright pixel
    // of the desktop near its corner, read back from the screen, is darker.
    bool overlayPainted()
    {
        static const QPoint probe = [] {
            const QImage &desktop = bench::corpusPicture(bench::Picture::desktop, QSize(5120, 2880));
            for (int y = 4; y < desktop.height(); ++y) {
                for (int x = 4; x < 64; ++x) {
                    if (qGray(desktop.pixel(x, y)) > 120)
                        return QPoint(x, y);
                }
            }
            return QPoint(4, 4);
        }();
        static const QRgb desktopPixel = bench::corpusPicture(bench::Picture::desktop, QSize(5120, 2880)).pixel(probe);
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_x)).data;
        auto *image = xcb_get_image_reply(m_x,
                                          xcb_get_image(m_x, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, int16_t(probe.x()),
                                                        int16_t(probe.y()), 1, 1, ~0u),
                                          nullptr);
        bool dimmed = false;
        if (image && xcb_get_image_data_length(image) >= 4) {
            const uint8_t *bgrx = xcb_get_image_data(image);
            dimmed = qGray(bgrx[2], bgrx[1], bgrx[0]) < qGray(desktopPixel) - 20;
        }
        std::free(image);
        return dimmed;
    }

    // The pointer, as the X server's test input moves and presses it.
    void pointer(uint8_t type, int x, int y)
    {
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_x)).data;
        const uint8_t detail = type == XCB_MOTION_NOTIFY ? 0 : 1;
        xcb_test_fake_input(m_x, type, detail, XCB_CURRENT_TIME, screen->root, int16_t(x), int16_t(y), 0);
        // Sent and taken, not only queued here.
        free(xcb_get_input_focus_reply(m_x, xcb_get_input_focus(m_x), nullptr));
    }

    // The app's mapped dialog window other than `other`: the review sheet a
    // region capture opens (the capture toast beside it is a utility window,
    // a dialog open before the capture is `other`); 0 while there is none.
    xcb_window_t sheetWindow(xcb_window_t other = 0)
    {
        const xcb_atom_t pidAtom = atom(m_x, "_NET_WM_PID");
        const xcb_atom_t typeAtom = atom(m_x, "_NET_WM_WINDOW_TYPE");
        const xcb_atom_t dialogAtom = atom(m_x, "_NET_WM_WINDOW_TYPE_DIALOG");
        return findMappedWindow([&](xcb_window_t window, const xcb_get_window_attributes_reply_t &attributes) {
            if (attributes.override_redirect || window == m_window || window == other)
                return false;
            auto *property = xcb_get_property_reply(
                m_x, xcb_get_property(m_x, 0, window, pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
            const bool ours = property && xcb_get_property_value_length(property) == 4
                && *static_cast<const uint32_t *>(xcb_get_property_value(property)) == uint32_t(m_app.processId());
            std::free(property);
            auto *type = xcb_get_property_reply(m_x, xcb_get_property(m_x, 0, window, typeAtom, XCB_ATOM_ATOM, 0, 8),
                                                nullptr);
            bool dialog = false;
            if (type) {
                const auto *types = static_cast<const xcb_atom_t *>(xcb_get_property_value(type));
                for (int i = 0, n = xcb_get_property_value_length(type) / 4; i < n; ++i)
                    dialog = dialog || types[i] == dialogAtom;
            }
            std::free(type);
            return ours && dialog;
        });
    }

    // What the window's close button sends.
    void closeWindow(xcb_window_t window)
    {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = atom(m_x, "WM_PROTOCOLS");
        message.data.data32[0] = atom(m_x, "WM_DELETE_WINDOW");
        message.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(m_x, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&message));
        free(xcb_get_input_focus_reply(m_x, xcb_get_input_focus(m_x), nullptr));
    }

    qint64 pid() const { return m_app.processId(); }
    qint64 serverPid() const { return m_server.processId(); }

    // Minor page faults of the app and the X server since the last call.
    std::pair<qint64, qint64> faultsSince()
    {
        const std::pair<qint64, qint64> now{bench::processMinorFaults(pid()), bench::processMinorFaults(serverPid())};
        return {now.first - std::exchange(m_faults.first, now.first), now.second - std::exchange(m_faults.second, now.second)};
    }
    double idleMiB() const { return m_idleMiB; }
    PingProbe &probe() { return *m_probe; }
    PingProbe &serverProbe() { return *m_serverProbe; }
    BusProbe &mainProbe() { return *m_mainProbe; }
    PauseProbe &pauseProbe() { return m_pauseProbe; }
    void resetProbes()
    {
        m_probe->reset();
        m_serverProbe->reset();
        m_mainProbe->reset();
        m_pauseProbe.reset();
    }

private:
    bool fail(const char *why)
    {
        std::fprintf(stderr, "app session: %s\n", why);
        return false;
    }

    // A session bus of the app's own, on which nothing starts by activation
    // (a desktop's portals would otherwise be started for it); its address.
    QString startBus(const QDir &home)
    {
        const QString config = home.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly)
            || file.write("<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>"
                          "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                          "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
                < 0)
            return {};
        file.close();
        m_bus.start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!m_bus.waitForStarted(5000))
            return {};
        runAheadOfLoad(pid_t(m_bus.processId()));
        QElapsedTimer wait;
        wait.start();
        while (!m_bus.canReadLine() && wait.elapsed() < 10000)
            m_bus.waitForReadyRead(100);
        return QString::fromUtf8(m_bus.readLine()).trimmed();
    }

    // The busy desktop as the root window's background, sent in bands a
    // request can hold.
    void showDesktop()
    {
        const QImage &picture = bench::corpusPicture(bench::Picture::desktop, QSize(5120, 2880));
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_x)).data;
        const xcb_pixmap_t pixmap = xcb_generate_id(m_x);
        xcb_create_pixmap(m_x, screen->root_depth, pixmap, screen->root, 5120, 2880);
        const xcb_gcontext_t gc = xcb_generate_id(m_x);
        xcb_create_gc(m_x, gc, pixmap, 0, nullptr);
        const size_t maxBytes = size_t(xcb_get_maximum_request_length(m_x)) * 4 - 1024;
        const int rowsPerBand = std::max(1, int(maxBytes / size_t(picture.bytesPerLine())));
        for (int y = 0; y < picture.height(); y += rowsPerBand) {
            const int rows = std::min(rowsPerBand, picture.height() - y);
            xcb_put_image(m_x, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, uint16_t(picture.width()), uint16_t(rows), 0, int16_t(y),
                          0, screen->root_depth, uint32_t(rows * picture.bytesPerLine()), picture.constScanLine(y));
        }
        xcb_change_window_attributes(m_x, screen->root, XCB_CW_BACK_PIXMAP, &pixmap);
        xcb_clear_area(m_x, 0, screen->root, 0, 0, 0, 0);
        xcb_free_gc(m_x, gc);
        xcb_free_pixmap(m_x, pixmap);
        free(xcb_get_input_focus_reply(m_x, xcb_get_input_focus(m_x), nullptr));
    }

    // The first mapped top-level window that `matches`, or 0.
    template <typename Matches>
    xcb_window_t findMappedWindow(Matches matches)
    {
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_x)).data;
        auto *tree = xcb_query_tree_reply(m_x, xcb_query_tree(m_x, screen->root), nullptr);
        xcb_window_t found = 0;
        if (!tree)
            return 0;
        const xcb_window_t *children = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree) && !found; ++i) {
            auto *attributes = xcb_get_window_attributes_reply(m_x, xcb_get_window_attributes(m_x, children[i]), nullptr);
            if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE && matches(children[i], *attributes))
                found = children[i];
            std::free(attributes);
        }
        std::free(tree);
        return found;
    }

    // The app's mapped top-level window (its _NET_WM_PID is the app's).
    xcb_window_t findAppWindow()
    {
        const xcb_atom_t pidAtom = atom(m_x, "_NET_WM_PID");
        return findMappedWindow([&](xcb_window_t window, const xcb_get_window_attributes_reply_t &) {
            auto *property = xcb_get_property_reply(
                m_x, xcb_get_property(m_x, 0, window, pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
            const bool ours = property && xcb_get_property_value_length(property) == 4
                && *static_cast<const uint32_t *>(xcb_get_property_value(property)) == uint32_t(m_app.processId());
            std::free(property);
            return ours;
        });
    }

    static inline std::unique_ptr<AppSession> s_session;

    QTemporaryDir m_home;
    QTemporaryDir m_runtime{bench::runtimeDirectoryTemplate()};
    QByteArray m_display;
    QProcess m_server;
    QProcess m_bus;
    QProcess m_app;
    QProcessEnvironment m_environment;
    std::vector<std::unique_ptr<QProcess>> m_load;
    xcb_connection_t *m_x = nullptr;
    xcb_window_t m_window = 0;
    QString m_libraryPath;
    sqlite3 *m_db = nullptr;
    int m_firstNewRow = 0;
    std::unique_ptr<PingProbe> m_probe;
    std::unique_ptr<PingProbe> m_serverProbe;
    std::pair<qint64, qint64> m_faults;
    std::unique_ptr<BusProbe> m_mainProbe;
    PauseProbe m_pauseProbe;
    double m_idleMiB = 0;
};

void reportLoad(benchmark::State &state)
{
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) > 0)
        state.counters["load1"] = load[0];
    state.counters["probes_on_time"] = probesOnTime ? 1 : 0;
}

// The X server's and the main thread's own longest waits, per capture.
// Page faults from the request (or release) to the row, median per capture:
// each is a trap on a virtual machine, and a fresh 5K buffer is 14,400 of
// them.
void reportFaults(benchmark::State &state, std::vector<double> app, std::vector<double> server)
{
    state.counters["app_faults_median"] = median(std::move(app));
    state.counters["server_faults_median"] = median(std::move(server));
}

// machine_pause_max_ms is the machine's longest pause over the same
// moments, and main_stall_max_unpaused_ms the main thread's longest wait
// in the captures the machine did not pause for a frame (16 ms) or more,
// unpaused_captures of them.
void reportProbeStalls(benchmark::State &state, const std::vector<double> &serverStalls,
                       const std::vector<double> &mainStalls, const std::vector<double> &machinePauses,
                       const BusProbe &mainProbe)
{
    const auto maximum = [](const std::vector<double> &values) {
        return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
    };
    state.counters["server_stall_median_ms"] = median(serverStalls);
    state.counters["server_stall_max_ms"] = maximum(serverStalls);
    state.counters["main_stall_median_ms"] = median(mainStalls);
    state.counters["main_stall_max_ms"] = maximum(mainStalls);
    state.counters["machine_pause_max_ms"] = maximum(machinePauses);
    std::vector<double> unpaused;
    for (size_t i = 0; i < mainStalls.size() && i < machinePauses.size(); ++i) {
        if (machinePauses[i] < 16)
            unpaused.push_back(mainStalls[i]);
    }
    state.counters["main_stall_max_unpaused_ms"] = maximum(unpaused);
    state.counters["unpaused_captures"] = double(unpaused.size());
    // Calls the app refused measure nothing: none is expected.
    state.counters["main_probe_errors"] = mainProbe.errors();
}

// Each capture asked for, by the request on the socket or by running the
// command; the time to its row, and the main thread's longest wait until its
// words are stored.
void captureToStored5K(benchmark::State &state, bool byCommand, bool afterIdle = false)
{
    AppSession *session = AppSession::get();
    if (!session) {
        state.SkipWithError("the app could not be started on its own X server");
        return;
    }
    // The same watch over an idle app first: what the machine's load alone
    // adds to the chain of ping and answer.
    session->resetProbes();
    QThread::sleep(3);
    const double idleStall = session->probe().longest().first;
    const double idleServerStall = session->serverProbe().longest().first;
    const double idleMainStall = session->mainProbe().longest();
    std::vector<double> walls, stalls, serverStalls, mainStalls, machinePauses, appFaults, serverFaults;
    double worstStallAt = 0;
    // The app's first capture waits for the X server's first copy of the
    // display, several times longer than any later one on Xvfb (and the
    // ping waits behind it): it is reported apart.
    static bool firstOfApp = true;
    for (auto _ : state) {
        // Long enough for the app to have given back what the capture
        // before kept for the next.
        if (afterIdle)
            QThread::sleep(7);
        const int before = session->cards();
        const int recognisedBefore = session->recognised();
        session->resetProbes();
        session->faultsSince();
        const auto start = Clock::now();
        std::unique_ptr<QProcess> client;
        if (byCommand)
            client.reset(session->startCommand(QStringLiteral("--capture-display")));
        else if (!session->request("command capture-display\n")) {
            state.SkipWithError("the app took no request");
            break;
        }
        bool stored = session->waitUntil([&] { return session->cards() > before; }, 30000);
        const double wall = msSince(start);
        const auto [faults, serverFaultCount] = session->faultsSince();
        if (client)
            client->waitForFinished(10000);
        // The main thread is watched until the capture's words are stored
        // too: recognition ends on it.
        if (stored)
            session->waitUntil([&] { return session->recognised() > recognisedBefore; }, 60000, 5);
        const auto [longest, from] = session->probe().longest();
        const double serverLongest = session->serverProbe().longest().first;
        const double mainLongest = session->mainProbe().longest();
        const double machinePause = session->pauseProbe().longest();
        if (!stored) {
            state.SkipWithError("the capture was not stored");
            break;
        }
        state.SetIterationTime(wall / 1000.0);
        if (std::exchange(firstOfApp, false)) {
            state.counters["first_wall_ms"] = wall;
            state.counters["first_stall_ms"] = longest;
            continue;
        }
        if (stalls.empty() || longest > *std::max_element(stalls.begin(), stalls.end()))
            worstStallAt = std::chrono::duration<double, std::milli>(from - start).count();
        stalls.push_back(longest);
        serverStalls.push_back(serverLongest);
        mainStalls.push_back(mainLongest);
        machinePauses.push_back(machinePause);
        walls.push_back(wall);
        appFaults.push_back(double(faults));
        serverFaults.push_back(double(serverFaultCount));
    }
    state.counters["wall_median_ms"] = median(walls);
    state.counters["wall_max_ms"] = walls.empty() ? 0 : *std::max_element(walls.begin(), walls.end());
    if (byCommand) {
        // The command's own start, apart.
        std::vector<double> starts;
        for (int i = 0; i < 3; ++i)
            starts.push_back(session->command(QStringLiteral("--help")));
        state.counters["command_start_ms"] = median(starts);
    }
    state.counters["stall_median_ms"] = median(stalls);
    state.counters["stall_max_ms"] = stalls.empty() ? 0 : *std::max_element(stalls.begin(), stalls.end());
    state.counters["stall_at_ms"] = worstStallAt;
    state.counters["stall_idle_ms"] = idleStall;
    state.counters["server_stall_idle_ms"] = idleServerStall;
    state.counters["main_stall_idle_ms"] = idleMainStall;
    reportProbeStalls(state, serverStalls, mainStalls, machinePauses, session->mainProbe());
    reportFaults(state, appFaults, serverFaults);
    reportLoad(state);
}

void captureDisplayToStored5K(benchmark::State &state)
{
    captureToStored5K(state, false);
}

// The same, each capture made once the app has been idle for 7 s: a lone
// capture, not one of a series.
void captureDisplayAfterIdleToStored5K(benchmark::State &state)
{
    captureToStored5K(state, false, true);
}

void captureCommandToStored5K(benchmark::State &state)
{
    captureToStored5K(state, true);
}

void captureRegionToStored5K(benchmark::State &state)
{
    AppSession *session = AppSession::get();
    if (!session) {
        state.SkipWithError("the app could not be started on its own X server");
        return;
    }
    std::vector<double> walls, stalls, serverStalls, mainStalls, machinePauses, opens, appFaults, serverFaults;
    std::vector<double> sheetsMapped, sheetStalls;
    for (auto _ : state) {
        const int before = session->cards();
        const int recognisedBefore = session->recognised();
        const xcb_window_t dialogBefore = session->sheetWindow();
        const auto asked = Clock::now();
        if (!session->request("command capture-region\n")) {
            state.SkipWithError("the app took no request");
            break;
        }
        if (!session->waitUntil([&] { return session->overlayShown(); }, 30000)) {
            state.SkipWithError("the overlay did not open");
            break;
        }
        opens.push_back(msSince(asked));
        const bool eager = qEnvironmentVariableIntValue("TESSALINE_BENCH_EAGER_DRAG") == 1;
        if (!eager && !session->waitUntil([&] { return session->overlayPainted(); }, 30000)) {
            state.SkipWithError("the overlay did not paint");
            break;
        }
        // A drag from near one corner to near the other, in a few moves.
        constexpr int from = 16, toX = 5120 - 16, toY = 2880 - 16;
        const auto frame = std::chrono::microseconds(eager ? 0 : 16667);
        session->pointer(XCB_MOTION_NOTIFY, from, from);
        session->pointer(XCB_BUTTON_PRESS, from, from);
        for (int step = 1; step <= 4; ++step) {
            std::this_thread::sleep_for(frame);
            session->pointer(XCB_MOTION_NOTIFY, from + (toX - from) * step / 4, from + (toY - from) * step / 4);
        }
        std::this_thread::sleep_for(frame);
        session->resetProbes();
        session->faultsSince();
        const auto released = Clock::now();
        session->pointer(XCB_BUTTON_RELEASE, toX, toY);
        const bool stored = session->waitUntil([&] { return session->cards() > before; }, 30000);
        const double wall = msSince(released);
        const auto [faults, serverFaultCount] = session->faultsSince();
        appFaults.push_back(double(faults));
        serverFaults.push_back(double(serverFaultCount));
        if (!stored) {
            state.SkipWithError("the capture was not stored");
            break;
        }
        // The main thread's longest wait until the sheet is mapped, then
        // apart from it the wait while the sheet reads its picture, is laid
        // out and painted (over the capture's words being stored).
        xcb_window_t sheet = 0;
        double mainUntilSheet = 0;
        if (session->waitUntil([&] { return (sheet = session->sheetWindow(dialogBefore)) != 0; }, 30000)) {
            sheetsMapped.push_back(msSince(released));
            mainUntilSheet = session->mainProbe().longest();
            session->mainProbe().reset();
        }
        session->waitUntil([&] { return session->recognised() > recognisedBefore; }, 60000, 5);
        state.SetIterationTime(wall / 1000.0);
        walls.push_back(wall);
        stalls.push_back(session->probe().longest().first);
        serverStalls.push_back(session->serverProbe().longest().first);
        if (sheet)
            sheetStalls.push_back(session->mainProbe().longest());
        mainStalls.push_back(std::max(mainUntilSheet, session->mainProbe().longest()));
        machinePauses.push_back(session->pauseProbe().longest());
        if (sheet) {
            session->closeWindow(sheet);
            if (!session->waitUntil([&] { return session->sheetWindow(dialogBefore) == 0; }, 30000)) {
                state.SkipWithError("the review sheet did not close");
                break;
            }
        }
    }
    state.counters["wall_median_ms"] = median(walls);
    state.counters["wall_max_ms"] = walls.empty() ? 0 : *std::max_element(walls.begin(), walls.end());
    state.counters["overlay_median_ms"] = median(opens);
    state.counters["review_sheets"] = double(sheetsMapped.size());
    state.counters["review_mapped_ms"] = median(sheetsMapped);
    state.counters["review_main_stall_median_ms"] = median(sheetStalls);
    state.counters["review_main_stall_max_ms"] =
        sheetStalls.empty() ? 0 : *std::max_element(sheetStalls.begin(), sheetStalls.end());
    state.counters["stall_median_ms"] = median(stalls);
    state.counters["stall_max_ms"] = stalls.empty() ? 0 : *std::max_element(stalls.begin(), stalls.end());
    reportProbeStalls(state, serverStalls, mainStalls, machinePauses, session->mainProbe());
    reportFaults(state, appFaults, serverFaults);
    reportLoad(state);
}

void memoryAfterCaptures5K(benchmark::State &state)
{
    AppSession *session = AppSession::get();
    if (!session) {
        state.SkipWithError("the app could not be started on its own X server");
        return;
    }
    double afterOne = 0, recognisedAfter = 0, afterRecognised = 0, burstPeak = 0, afterBurst = 0;
    double burstStored = 0, burstRecognisedAfter = 0, burstPeakShared = 0, burstPeakAt = 0, burstStoringPeak = 0;
    for (auto _ : state) {
        const int before = session->cards();
        const int recognisedBefore = session->recognised();
        std::unique_ptr<QProcess> client(session->startCommand(QStringLiteral("--capture-display")));
        session->waitUntil([&] { return session->cards() > before; }, 30000);
        const auto stored = Clock::now();
        // Resident memory 10 s after the store; how long its words took; and
        // 10 s after they were stored, when the recogniser's spare engines
        // have been let go.
        session->waitUntil([&] { return msSince(stored) >= 10000 || session->recognised() > recognisedBefore; },
                           20000, 5);
        if (msSince(stored) < 10000) {
            recognisedAfter = msSince(stored) / 1000.0;
            QThread::msleep(std::max(0, int(10000 - msSince(stored))));
            afterOne = residentMiB(session->pid());
        } else {
            afterOne = residentMiB(session->pid());
            session->waitUntil([&] { return session->recognised() > recognisedBefore; }, 120000, 5);
            recognisedAfter = msSince(stored) / 1000.0;
        }
        QThread::sleep(11);
        afterRecognised = residentMiB(session->pid());

        // Twelve asked for in quick succession, each as soon as the one
        // before is stored (one asked for while a picture is being taken is
        // ignored); the peak is sampled every 2 ms until all are stored and
        // recognised.
        const int burstBefore = session->cards();
        const int burstRecognisedBefore = session->recognised();
        std::atomic<bool> sampling{true};
        std::atomic<double> peak{0}, peakShared{0}, peakAt{0}, storingPeak{0};
        std::atomic<bool> storing{true};
        const auto burstStart = Clock::now();
        std::thread sampler([&] {
            while (sampling) {
                const double resident = residentMiB(session->pid());
                if (storing && resident > storingPeak)
                    storingPeak = resident;
                if (resident > peak) {
                    peak = resident;
                    peakShared = sharedResidentMiB(session->pid());
                    peakAt = msSince(burstStart) / 1000.0;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        for (int i = 0; i < 12; ++i) {
            std::unique_ptr<QProcess> one(session->startCommand(QStringLiteral("--capture-display")));
            one->waitForFinished(10000);
            session->waitUntil([&] { return session->cards() > burstBefore + i; }, 30000);
        }
        session->waitUntil([&] { return session->cards() >= burstBefore + 12; }, 30000, 5);
        storing = false;
        burstStored = session->cards() - burstBefore;
        burstStoringPeak = storingPeak;
        session->waitUntil([&] { return session->recognised() >= burstRecognisedBefore + burstStored; }, 300000, 20);
        burstRecognisedAfter = msSince(burstStart) / 1000.0;
        sampling = false;
        sampler.join();
        burstPeak = peak;
        burstPeakShared = peakShared;
        burstPeakAt = peakAt;
        QThread::sleep(10);
        afterBurst = residentMiB(session->pid());
    }
    state.counters["idle_MiB"] = session->idleMiB();
    state.counters["after_one_10s_MiB"] = afterOne;
    state.counters["recognised_after_s"] = recognisedAfter;
    state.counters["after_recognised_11s_MiB"] = afterRecognised;
    state.counters["burst12_peak_MiB"] = burstPeak;
    state.counters["after_burst_10s_MiB"] = afterBurst;
    state.counters["burst12_stored"] = burstStored;
    state.counters["burst12_peak_shared_MiB"] = burstPeakShared;
    state.counters["burst12_until_stored_peak_MiB"] = burstStoringPeak;
    state.counters["burst12_peak_at_s"] = burstPeakAt;
    state.counters["burst12_recognised_s"] = burstRecognisedAfter;
    reportLoad(state);
}

} // namespace

namespace {

int captures(int usual)
{
    const int asked = qEnvironmentVariableIntValue("TESSALINE_BENCH_CAPTURES");
    return asked > 0 ? asked : usual;
}

} // namespace

BENCHMARK(captureDisplayToStored5K)->Unit(benchmark::kMillisecond)->Iterations(captures(15))->UseManualTime();
BENCHMARK(captureDisplayAfterIdleToStored5K)->Unit(benchmark::kMillisecond)->Iterations(captures(6))->UseManualTime();
BENCHMARK(captureCommandToStored5K)->Unit(benchmark::kMillisecond)->Iterations(captures(8))->UseManualTime();
BENCHMARK(captureRegionToStored5K)->Unit(benchmark::kMillisecond)->Iterations(captures(8))->UseManualTime();
BENCHMARK(memoryAfterCaptures5K)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char **argv)
{
    // Drawing the corpus needs fonts, so a GUI application (offscreen).
    return runBenchmarks<QGuiApplication>(argc, argv);
}
