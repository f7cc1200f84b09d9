#pragma once

// Helpers for the tests that run in the headless Wayland session of the test
// run (scripts/wayland-session.sh, started by scripts/run-tests.sh).

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QProcessEnvironment>
#include <QElapsedTimer>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <functional>

namespace tessaline::waylandtest {

// How long a test waits for the desktop to reach a state it asked for: a
// window shown or given the keyboard, a program started and answering, a
// picture taken. A machine loaded to four times its processors takes
// seconds where an idle one takes milliseconds; a state reached ends the
// wait at once, so only a test that fails waits this long.
constexpr int patience = 60'000;

// The session flavour this run of the test is for: the one it was built
// for, unless the test command runs it in another.
inline QString flavour()
{
    const QString asked = qEnvironmentVariable("TESSALINE_WAYLAND_FLAVOUR");
    return asked.isEmpty() ? QStringLiteral(TESSALINE_WAYLAND_FLAVOUR) : asked;
}

// Why a test cannot run here, or empty when the session of its flavour
// ("sway" and "gnome" answer the screenshot portal, "kde" the global
// shortcuts portal) is up.
inline QString missingSession()
{
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString flavour = waylandtest::flavour();
    const QString desktop = environment.value(QStringLiteral("XDG_CURRENT_DESKTOP")).toLower();
    const QString display = environment.value(QStringLiteral("WAYLAND_DISPLAY"));
    // A display name left over from a session that has ended names no socket.
    const QString socket = QDir::isAbsolutePath(display)
        ? display
        : environment.value(QStringLiteral("XDG_RUNTIME_DIR")) + u'/' + display;
    if (display.isEmpty() || !QFileInfo::exists(socket)
        || !desktop.contains(flavour == QLatin1String("kde") ? QStringLiteral("kde") : flavour))
        return QStringLiteral("needs the headless Wayland session (%1): scripts/run-tests.sh starts it").arg(flavour);
    return {};
}

// Whether the test command started the session this run is for, which it
// says in TESSALINE_WAYLAND_SESSION_REQUIRED: there a test that finds the
// session, or a tool of it, missing fails, since a skip would let the stage
// pass with nothing tested. Run by hand without one, it skips, saying why.
inline bool sessionRequired()
{
    return qEnvironmentVariableIsSet("TESSALINE_WAYLAND_SESSION_REQUIRED");
}

// QSKIP where the session may be missing, QFAIL where it must be there.
#define TESSALINE_SKIP_WITHOUT_SESSION(reason)                                                                         \
    do {                                                                                                               \
        if (tessaline::waylandtest::sessionRequired())                                                                 \
            QFAIL(reason);                                                                                             \
        QSKIP(reason);                                                                                                 \
    } while (false)

// Called as the test class's initMain(), before the application is made.
// Without the session the Wayland platform would end the process ("Failed
// to create wl_display") before any test could skip; the test runs on the
// offscreen platform instead, and its initTestCase skips saying why.
inline void runOffscreenWithoutSession()
{
    if (!missingSession().isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// Injects pointer and key events through the compositor; true on success.
// The session's own user injects them: KWin offers fake input to it alone.
// Our windows take the events as they come, as they would from a hand: a
// press can start a move before the pointer moves on.
inline bool input(const QStringList &commands)
{
    QProcess process;
    process.start(QStringLiteral("bash"),
                  QStringList{QStringLiteral(TESSALINE_WAYLAND_SESSION), QStringLiteral("input")} + commands);
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, patience)) {
        process.kill();
        process.waitForFinished(5000);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// A hand on the pointer that looks before it moves on. Each step's commands
// go to one input process, which keeps its devices (a button pressed on one
// step stays down for the next), and the next step waits until the
// compositor has taken them and the step's check sees what they were for: a
// loaded machine answers late, and a release sent before the app began its
// drag or move leaves that drag waiting for a release that never comes.
// Driven by the event loop, so it goes on inside the loop a drag runs. A
// step its check does not see within the patience ends the gesture with the
// button let go, so a drag left waiting ends and the test fails rather than
// hangs.
class PointerGesture : public QObject
{
public:
    struct Step
    {
        QStringList commands;
        std::function<bool()> arrived = [] { return true; };
    };

    explicit PointerGesture(QList<Step> steps) : m_steps(std::move(steps))
    {
        m_process.start(QStringLiteral("bash"), {QStringLiteral(TESSALINE_WAYLAND_SESSION), QStringLiteral("input"),
                                                 QStringLiteral("stdin")});
        connect(&m_poll, &QTimer::timeout, this, &PointerGesture::poll);
        m_poll.start(10);
        send();
    }
    ~PointerGesture() override
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(patience))
            m_process.kill();
        m_process.waitForFinished(5000);
    }

    bool isOver() const { return !m_poll.isActive(); }
    // Empty once every step was seen through; else which step was not.
    QString failure() const { return m_failure; }

    // Waits for the gesture's end; every step may take the patience.
    bool waitForEnd()
    {
        return QTest::qWaitFor([&] { return isOver(); }, patience * int(m_steps.size() + 1)) && m_failure.isEmpty();
    }

private:
    void send()
    {
        m_answered = false;
        m_sent.start();
        m_process.write(m_steps.at(m_current).commands.join(u' ').toUtf8() + '\n');
    }

    void poll()
    {
        while (m_process.canReadLine()) {
            if (m_process.readLine().trimmed() == "ok")
                m_answered = true;
        }
        if (m_answered && m_steps.at(m_current).arrived()) {
            if (++m_current < m_steps.size()) {
                send();
                return;
            }
            m_poll.stop();
            m_process.closeWriteChannel();
            return;
        }
        const bool ended = m_process.state() == QProcess::NotRunning;
        if (!ended && !m_sent.hasExpired(patience))
            return;
        m_failure = QStringLiteral("step %1 (%2) %3")
                        .arg(m_current + 1)
                        .arg(m_steps.at(m_current).commands.join(u' '),
                             ended ? QStringLiteral("ended the input: ") + QString::fromLocal8Bit(m_process.readAllStandardError())
                                   : m_answered ? QStringLiteral("was not seen") : QStringLiteral("was not taken"));
        m_poll.stop();
        if (!ended)
            m_process.write("up\n");
        m_process.closeWriteChannel();
    }

    QList<Step> m_steps;
    qsizetype m_current = 0;
    bool m_answered = false;
    QString m_failure;
    QProcess m_process;
    QTimer m_poll;
    QElapsedTimer m_sent;
};

inline bool drag(const QPoint &from, const QPoint &to)
{
    return input({QStringLiteral("drag"), QString::number(from.x()), QString::number(from.y()), QString::number(to.x()),
                  QString::number(to.y())});
}

// Four quadrants of known colours, so a picture of the screen can be checked.
class PatternWindow : public QWidget
{
public:
    static QColor colourAt(const QPoint &point, const QSize &size)
    {
        const bool right = point.x() >= size.width() / 2;
        const bool bottom = point.y() >= size.height() / 2;
        if (!right && !bottom)
            return QColor(220, 30, 30);
        if (right && !bottom)
            return QColor(30, 200, 40);
        if (!right)
            return QColor(30, 60, 220);
        return QColor(240, 210, 20);
    }

    PatternWindow() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    // The size of the last frame drawn: shown full screen, a window may
    // be exposed, and drawn once, before the compositor has made it so.
    QSize paintedSize;

protected:
    void paintEvent(QPaintEvent *) override
    {
        paintedSize = size();
        QPainter painter(this);
        const int w = width() / 2;
        const int h = height() / 2;
        painter.fillRect(0, 0, w, h, colourAt(QPoint(0, 0), size()));
        painter.fillRect(w, 0, width() - w, h, colourAt(QPoint(w, 0), size()));
        painter.fillRect(0, h, w, height() - h, colourAt(QPoint(0, h), size()));
        painter.fillRect(w, h, width() - w, height() - h, colourAt(QPoint(w, h), size()));
    }
};

// Colours compare within a small tolerance: the compositor may dither.
inline bool sameColour(const QColor &a, const QColor &b)
{
    return std::abs(a.red() - b.red()) <= 4 && std::abs(a.green() - b.green()) <= 4 && std::abs(a.blue() - b.blue()) <= 4;
}

// What sway answers, or nothing when the command failed.
inline QByteArray swaymsg(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("swaymsg"), arguments);
    return process.waitForFinished(patience) && process.exitCode() == 0 ? process.readAllStandardOutput() : QByteArray();
}

// The first node of sway's tree, front first as sway lists them, that
// passes the test; empty when none does.
inline QJsonObject swayNode(const std::function<bool(const QJsonObject &node)> &test)
{
    QList<QJsonObject> nodes{QJsonDocument::fromJson(swaymsg({QStringLiteral("-t"), QStringLiteral("get_tree")})).object()};
    while (!nodes.isEmpty()) {
        const QJsonObject node = nodes.takeFirst();
        if (test(node))
            return node;
        for (const QString &key : {QStringLiteral("nodes"), QStringLiteral("floating_nodes")}) {
            for (const QJsonValue child : node.value(key).toArray())
                nodes.append(child.toObject());
        }
    }
    return {};
}

// The X display of the session's own XWayland server, where an app started
// with QT_QPA_PLATFORM=xcb inside the session goes; empty when it has none.
inline QString x11Display()
{
    return qEnvironmentVariable("WAYLAND_SESSION_X11_DISPLAY");
}

// Whether this run of the test program is the X11 client runAsX11Client
// started.
inline bool runsAsX11Client()
{
    return QGuiApplication::platformName() == QLatin1String("xcb") && !x11Display().isEmpty();
}

// Runs one test function (or row, "function:tag") of this program again as
// an X11 client of the session's XWayland server; it passes when that run
// does. Bounded, so that a failing run ends within the test's time.
inline void runAsX11Client(const QString &function)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("DISPLAY"), x11Display());
    QProcess child;
    child.setProcessEnvironment(environment);
    // Its report goes to ours as it comes, also when it has to be ended.
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), {function});
    QVERIFY(child.waitForStarted());
    if (!QTest::qWaitFor([&] { return child.state() == QProcess::NotRunning; }, 90000)) {
        child.kill();
        child.waitForFinished(5000);
        QFAIL("the X11 client ran too long (its report is above)");
    }
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
             "the X11 client failed (its report is above)");
}

// Another application, with the focus: the test program again, showing a
// full-screen pattern window of the given title and nothing else. The
// test's initTestCase, which runs before any test, turns the process into
// that app: `if (OtherApp::isRequested()) OtherApp::run();`.
class OtherApp
{
public:
    explicit OtherApp(const QString &title)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(variable), title);
        m_process.setProcessEnvironment(environment);
        m_process.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(QTest::currentTestFunction())});
    }
    ~OtherApp()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    qint64 processId() const { return m_process.processId(); }

    static bool isRequested() { return qEnvironmentVariableIsSet(variable); }
    // What the process does in place of its tests.
    [[noreturn]] static void run()
    {
        PatternWindow pattern;
        pattern.setWindowTitle(qEnvironmentVariable(variable));
        pattern.showFullScreen();
        std::exit(QCoreApplication::exec());
    }

private:
    // Set in the process that plays the other app: the title of its window.
    static constexpr const char *variable = "TESSALINE_OTHER_APP_WINDOW";

    QProcess m_process;
};

} // namespace tessaline::waylandtest
