// Starts the real tessaline binary in the headless Wayland session, asks it
// for a region capture from a second start with --capture-region (the
// command a user binds where the desktop offers apps no global shortcuts),
// drags over the overlay with injected input, and checks the stored snip.
#include "../support/WaylandTestSupport.h"
#include "AppProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace tessaline::e2e;
using namespace tessaline::waylandtest;

namespace {

// Whether sway's tree holds a node that passes the test.
bool swayShows(const std::function<bool(const QJsonObject &node)> &test)
{
    return !swayNode(test).isEmpty();
}

// Whether the compositor shows a (full-screen) window of a process.
bool showsWindowOf(qint64 pid, bool fullScreen)
{
    return swayShows([&](const QJsonObject &node) {
        return node.value(QStringLiteral("pid")).toInteger() == pid
            && (!fullScreen || node.value(QStringLiteral("fullscreen_mode")).toInt() == 1)
            && node.value(QStringLiteral("visible")).toBool();
    });
}

// Whether a window of the process has the focus, on the workspace shown.
bool focusesWindowOf(qint64 pid)
{
    return swayShows([&](const QJsonObject &node) {
        return node.value(QStringLiteral("pid")).toInteger() == pid && node.value(QStringLiteral("focused")).toBool()
            && node.value(QStringLiteral("visible")).toBool();
    });
}

bool showsFullScreenWindowOf(qint64 pid) { return showsWindowOf(pid, true); }

// Whether the X11 client shows a window of the screen's size that no window
// manager handles: the region overlay, over everything.
bool showsX11OverlayOf(qint64 pid, const QSize &size)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), x11Display());
    const auto ask = [&](const QString &program, const QStringList &arguments) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        process.waitForFinished(10000);
        return QString::fromUtf8(process.readAllStandardOutput());
    };
    const QStringList windows = ask(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                                QStringLiteral("--pid"), QString::number(pid)})
                                    .split(u'\n', Qt::SkipEmptyParts);
    for (const QString &window : windows) {
        const QString info = ask(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
        if (info.contains(QStringLiteral("Override Redirect State: yes"))
            && info.contains(QStringLiteral("Width: %1\n").arg(size.width()))
            && info.contains(QStringLiteral("Height: %1\n").arg(size.height())))
            return true;
    }
    return false;
}

} // namespace

class WaylandCaptureCommandTest : public QObject
{
    Q_OBJECT
public:
    static void initMain() { runOffscreenWithoutSession(); }

private Q_SLOTS:
    void initTestCase()
    {
        if (const QString missing = missingSession(); !missing.isEmpty())
            TESSALINE_SKIP_WITHOUT_SESSION(qPrintable(missing));
    }

    void commandLineRegionCaptureIsStored()
    {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        const QString configDir = home.filePath(QStringLiteral(".config/Tessaline"));
        QVERIFY(QDir().mkpath(configDir));
        {
            // The capture ends with the toast rather than the review window.
            QFile settings(configDir + QStringLiteral("/Tessaline.conf"));
            QVERIFY(settings.open(QIODevice::WriteOnly));
            settings.write("[General]\nautomaticallyOpensRegionCaptureReview=false\n");
        }
        QTemporaryDir runtime;
        QVERIFY(runtime.isValid());
        const QProcessEnvironment environment = waylandAppEnvironment(home.path(), runtime.path());

        Helper app(QStringLiteral(TESSALINE_BINARY), {}, environment);
        QVERIFY(app.isRunning());
        const QString store = home.filePath(QStringLiteral(".local/share/Tessaline/Tessaline.sqlite"));
        // Listening for other starts comes before the store is opened.
        QTRY_COMPARE_WITH_TIMEOUT(queryValue(store, QStringLiteral("SELECT COUNT(*) FROM Board")).toInt(), 2, patience);
        // This desktop lets apps set no global shortcuts: the welcome note
        // names the command to bind, not a shortcut that does nothing.
        const QString welcome = queryValue(store, QStringLiteral(
            "SELECT writingDocumentStorage FROM Board WHERE title = 'Welcome to Tessaline'")).toString();
        QVERIFY2(welcome.contains(QStringLiteral("tessaline --capture-region")) && !welcome.contains(QStringLiteral("Ctrl+Super+4")),
                 qPrintable(welcome));
        QVERIFY(input({QStringLiteral("move"), QStringLiteral("2"), QStringLiteral("2")}));

        QProcess command;
        command.setProcessEnvironment(environment);
        command.start(QStringLiteral(TESSALINE_BINARY), {QStringLiteral("--capture-region")});
        QVERIFY(command.waitForFinished(patience));
        QCOMPARE(command.exitCode(), 0);
        QVERIFY(app.isRunning());

        QTRY_VERIFY_WITH_TIMEOUT(showsFullScreenWindowOf(app.processId()), patience);
        const QPoint from(200, 150);
        const QPoint to(700, 450);
        QVERIFY(drag(from, to));

        QTRY_COMPARE_WITH_TIMEOUT(queryValue(store, QStringLiteral("SELECT COUNT(*) FROM CanvasCard")).toInt(), 1, patience);
        const QImage snip = QImage::fromData(queryValue(store, QStringLiteral(
            "SELECT bytes FROM CanvasCardData WHERE field = 'originalImageData'")).toByteArray());
        QCOMPARE(snip.size(), QSize(to.x() - from.x(), to.y() - from.y()));
        QCOMPARE(queryValue(store, QStringLiteral("SELECT captureModeRawValue FROM CanvasCard")).toString(),
                 QStringLiteral("region"));
        // sway says which application was in front: this one, whose main
        // window had the focus.
        QCOMPARE(queryValue(store, QStringLiteral("SELECT sourceBundleIdentifier FROM CanvasCard")).toString(),
                 QStringLiteral("org.tessaline.Tessaline"));
        app.stop();
    }

    // A Wayland desktop ending the session sends SIGTERM without asking
    // first (no session manager speaks to a Wayland client): the app goes
    // as a quit does, writing on the way out what waits for its save, here
    // the main window's frame, kept only then.
    void endOfTheSessionQuitsAsTheUserWould()
    {
        const OldHandOnWayland place;
        QVERIFY(place.prepared);
        const QString &settingsPath = place.settingsPath;
        const QProcessEnvironment environment = place.environment();
        Helper app(QStringLiteral(TESSALINE_BINARY), {}, environment);
        QVERIFY(app.isRunning());
        const QString store = place.store();
        QTRY_COMPARE_WITH_TIMEOUT(queryValue(store, QStringLiteral("SELECT COUNT(*) FROM Board")).toInt(), 2, patience);
        QTRY_VERIFY_WITH_TIMEOUT(showsWindowOf(app.processId(), false), patience);
        QFile before(settingsPath);
        QVERIFY(before.open(QIODevice::ReadOnly));
        QVERIFY(!before.readAll().contains("mainWindowFrame"));

        QCOMPARE(::kill(pid_t(app.processId()), SIGTERM), 0);
        QVERIFY(app.waitForExit(patience));
        QCOMPARE(app.exitCode(), 0);
        QFile after(settingsPath);
        QVERIFY(after.open(QIODevice::ReadOnly));
        const QByteArray kept = after.readAll();
        QVERIFY2(kept.contains("mainWindowFrame"), kept.constData());
        QVERIFY2(kept.contains("completedTourVersion"), kept.constData());
    }

    // A second start from a launcher while the user is on another workspace
    // brings the window there and gives it the focus. sway's launchers hand
    // the second start no activation token, and sway ignores a request to
    // come forward without one.
    void secondStartBringsTheWindowForward()
    {
        const OldHandOnWayland place;
        QVERIFY(place.prepared);
        const QProcessEnvironment environment = place.environment();
        Helper app(QStringLiteral(TESSALINE_BINARY), {}, environment);
        QVERIFY(app.isRunning());
        QTRY_VERIFY_WITH_TIMEOUT(focusesWindowOf(app.processId()), patience);

        // A workspace of its own: a test before may have left the session on
        // another, where the app came up.
        QVERIFY(run(QStringLiteral("swaymsg"), {QStringLiteral("workspace"),
                                                QStringLiteral("elsewhere-%1").arg(app.processId())}));
        QTRY_VERIFY_WITH_TIMEOUT(!showsWindowOf(app.processId(), false), patience);
        QProcess second;
        second.setProcessEnvironment(environment);
        second.start(QStringLiteral(TESSALINE_BINARY), QStringList());
        QVERIFY(second.waitForFinished(patience));
        QCOMPARE(second.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(focusesWindowOf(app.processId()), patience);
        app.stop();
    }

    // Started as an X11 client of the desktop's XWayland server, the app
    // still takes its pictures through the desktop's portal: XWayland's own
    // screen holds no other app's windows and would come out black. A
    // region capture puts its overlay up over that picture, and the drag
    // over it is the snip.
    void underXWaylandPicturesComeFromThePortal()
    {
        if (x11Display().isEmpty())
            TESSALINE_SKIP_WITHOUT_SESSION("the session runs no XWayland server");
        QTemporaryDir home;
        QVERIFY(home.isValid());
        const QString configDir = home.filePath(QStringLiteral(".config/Tessaline"));
        QVERIFY(QDir().mkpath(configDir));
        {
            QFile settings(configDir + QStringLiteral("/Tessaline.conf"));
            QVERIFY(settings.open(QIODevice::WriteOnly));
            settings.write("[General]\nautomaticallyOpensRegionCaptureReview=false\n");
        }
        QProcessEnvironment environment = appEnvironment(home.path(), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("DISPLAY"), x11Display());
        Helper app(QStringLiteral(TESSALINE_BINARY), {}, environment);
        QVERIFY(app.isRunning());
        const QString store = home.filePath(QStringLiteral(".local/share/Tessaline/Tessaline.sqlite"));
        QTRY_COMPARE_WITH_TIMEOUT(queryValue(store, QStringLiteral("SELECT COUNT(*) FROM Board")).toInt(), 2, patience);
        const auto ask = [&](const QString &option) {
            QProcess command;
            command.setProcessEnvironment(environment);
            command.start(QStringLiteral(TESSALINE_BINARY), {option});
            return command.waitForFinished(patience) && command.exitCode() == 0;
        };

        QVERIFY(ask(QStringLiteral("--capture-display")));
        QTRY_COMPARE_WITH_TIMEOUT(queryValue(store, QStringLiteral("SELECT COUNT(*) FROM CanvasCard")).toInt(), 1, patience);
        const QImage snip = QImage::fromData(queryValue(store, QStringLiteral(
            "SELECT bytes FROM CanvasCardData WHERE field = 'originalImageData'")).toByteArray());
        QVERIFY(!snip.isNull());
        // sway's empty desktop is grey where XWayland's own screen is black.
        int dark = 0;
        for (int y = 0; y < snip.height(); y += 16) {
            for (int x = 0; x < snip.width(); x += 16)
                dark += qGray(snip.pixel(x, y)) < 16;
        }
        const int probes = ((snip.width() + 15) / 16) * ((snip.height() + 15) / 16);
        QVERIFY2(dark * 2 < probes, qPrintable(QStringLiteral("%1 of %2 probes black").arg(dark).arg(probes)));

        QVERIFY(ask(QStringLiteral("--capture-region")));
        QTRY_VERIFY_WITH_TIMEOUT(showsX11OverlayOf(app.processId(), snip.size()), patience);
        const QPoint from(300, 200);
        const QPoint to(700, 450);
        // Over the overlay before the press, as a hand: XWayland counts the
        // first motion onto a window that came up under the pointer twice.
        QVERIFY(input({QStringLiteral("move"), QString::number(from.x() + 20), QString::number(from.y() + 20)}));
        QVERIFY(drag(from, to));
        QTRY_COMPARE_WITH_TIMEOUT(queryValue(store, QStringLiteral("SELECT COUNT(*) FROM CanvasCard")).toInt(), 2, patience);
        const QImage region = QImage::fromData(queryValue(store, QStringLiteral(
            "SELECT bytes FROM CanvasCardData WHERE field = 'originalImageData' AND cardRow = "
            "(SELECT row FROM CanvasCard WHERE captureModeRawValue = 'region')")).toByteArray());
        QCOMPARE(region.size(), QSize(to.x() - from.x(), to.y() - from.y()));
        app.stop();
    }
};

QTEST_MAIN(WaylandCaptureCommandTest)
#include "tst_waylandcapturecommand.moc"
