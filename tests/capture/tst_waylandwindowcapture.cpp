// "Capture Frontmost Window" in a real (headless) sway session: sway's
// socket says which window has the focus, so the capture takes exactly what
// that window draws (without sway's title bar and borders, at the output's
// scale) and names its app, from the app's desktop file, and its title;
// and a window gone or no longer shown gives a failure, never another
// picture.
#include "../support/WaylandTestSupport.h"
#include "WaylandCaptureRig.h"

#include "capture/DisplayCaptureService.h"
#include "platform/SwayCaptureSystem.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QGuiApplication>
#include <QScopeGuard>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <memory>

using namespace tessaline;
using namespace tessaline::waylandtest;

namespace {

const QString appID = QStringLiteral("org.example.WindowCaptureTest");
const QString appName = QStringLiteral("Window Capture Test");

QString criteria(const QString &title)
{
    return QStringLiteral("[title=\"%1\"]").arg(title);
}

bool swayRuns(const QStringList &command)
{
    return !swaymsg(command).isEmpty();
}

// Whether sway draws its border around the window (its title bar lies
// above), so that a picture of the window must leave it out.
bool swayDecorates(const QString &title)
{
    const QJsonObject window = swayNode([&](const QJsonObject &node) {
        return node.value(QStringLiteral("name")).toString() == title;
    });
    return window.value(QStringLiteral("window_rect")).toObject().value(QStringLiteral("x")).toInt() > 0;
}

// Pixels of the picture that differ from what was expected, outside the box
// around the pointer, which sway's portal draws into its pictures.
int differingPixels(const QImage &picture, const std::function<QColor(const QPoint &)> &expected, const QRect &pointer)
{
    int differing = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if (!pointer.contains(x, y) && !sameColour(picture.pixelColor(x, y), expected(QPoint(x, y))))
                ++differing;
        }
    }
    return differing;
}

} // namespace

class WaylandWindowCaptureTest : public QObject
{
    Q_OBJECT
public:
    static void initMain() { runOffscreenWithoutSession(); }

private Q_SLOTS:
    void initTestCase()
    {
        if (const QString missing = missingSession(); !missing.isEmpty())
            TESSALINE_SKIP_WITHOUT_SESSION(qPrintable(missing));
        // The app's windows carry the app_id its desktop file is named after;
        // the other app plays this same app.
        QGuiApplication::setDesktopFileName(appID);
        if (OtherApp::isRequested())
            OtherApp::run();
        QVERIFY(m_data.isValid());
        QVERIFY(QDir().mkpath(m_data.filePath(QStringLiteral("applications"))));
        QFile desktop(m_data.filePath(QStringLiteral("applications/%1.desktop").arg(appID)));
        QVERIFY(desktop.open(QIODevice::WriteOnly));
        desktop.write("[Desktop Entry]\nType=Application\nName=" + appName.toUtf8() + "\nExec=true\n");
        desktop.close();
        qputenv("XDG_DATA_HOME", m_data.path().toLocal8Bit());
    }

    void init()
    {
        // Each test starts on a workspace of its own, with nothing else there.
        QVERIFY(swayRuns({QStringLiteral("workspace"), QString::number(++m_workspace)}));
    }

    // The tests after this one find the session's first workspace shown, as
    // they would have.
    void cleanupTestCase()
    {
        if (missingSession().isEmpty())
            swaymsg({QStringLiteral("workspace"), QStringLiteral("1")});
    }

    void takesTheFocusedWindowAsItDrawsIt_data()
    {
        QTest::addColumn<int>("scale");
        QTest::addColumn<bool>("ours");
        QTest::newRow("our floating window") << 1 << true;
        QTest::newRow("our floating window, output at scale 2") << 2 << true;
        QTest::newRow("another app's full-screen window over ours") << 1 << false;
    }

    void takesTheFocusedWindowAsItDrawsIt()
    {
        QFETCH(int, scale);
        QFETCH(bool, ours);
        if (scale != 1)
            QVERIFY(swayRuns({QStringLiteral("output"), QStringLiteral("*"), QStringLiteral("scale"), QString::number(scale)}));
        const auto restore = qScopeGuard([&] {
            if (scale != 1)
                swaymsg({QStringLiteral("output"), QStringLiteral("*"), QStringLiteral("scale"), QStringLiteral("1")});
        });
        QScreen *screen = QGuiApplication::primaryScreen();
        QTRY_COMPARE_WITH_TIMEOUT(screen->devicePixelRatio(), qreal(scale), patience);

        // A pattern window of ours, floating (sway floats a window of a
        // fixed size) in the middle, with sway's title bar and border
        // around it.
        const QString ourTitle = QStringLiteral("Our pattern \u2013 %1").arg(m_workspace);
        PatternWindow pattern;
        pattern.setWindowFlag(Qt::FramelessWindowHint, false);
        pattern.setWindowTitle(ourTitle);
        pattern.setFixedSize(400, 300);
        pattern.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pattern, patience));
        QTRY_COMPARE_WITH_TIMEOUT(pattern.windowHandle()->devicePixelRatio(), qreal(scale), patience);
        QTRY_VERIFY2_WITH_TIMEOUT(swayDecorates(ourTitle), "sway draws no border around the window", patience);
        // The pointer away from the window, where the portal draws it.
        const QPoint pointer(screen->geometry().width() - 60, screen->geometry().height() - 60);
        QVERIFY(input({QStringLiteral("move"), QString::number(pointer.x()), QString::number(pointer.y())}));

        std::unique_ptr<OtherApp> other;
        QString title = ourTitle;
        if (!ours) {
            title = QStringLiteral("Their pattern \u2013 %1").arg(m_workspace);
            other = std::make_unique<OtherApp>(title);
            QTRY_VERIFY_WITH_TIMEOUT(other->processId() > 0, patience);
            // It comes up focused, full screen over ours.
            QTRY_VERIFY_WITH_TIMEOUT(swayRuns({criteria(title), QStringLiteral("focus")}), patience);
        }

        PlatformBackends backends = PlatformFactory::create();
        QVERIFY(dynamic_cast<SwayCaptureSystem *>(backends.captureSystem.get()));
        CaptureRig rig(std::move(backends));
        const QSize points = ours ? QSize(400, 300) : screen->geometry().size();
        const QSize pixels = points * scale;
        const QImage drawn = ours ? pattern.grab().toImage().convertToFormat(QImage::Format_RGB32) : QImage();
        const auto expected = [&](const QPoint &at) {
            return ours ? drawn.pixelColor(at) : PatternWindow::colourAt(at, pixels);
        };
        // Where the pointer is drawn when it lies over the window: around it,
        // as far as a cursor reaches.
        const QRect pointerBox = ours ? QRect() : QRect((pointer - QPoint(8, 8)) * scale, QSize(48, 48) * scale);
        // Until the window has drawn at its size there, the desktop's
        // picture may still show it as it was: pictures are taken until one
        // shows it, for a bounded time (a QTRY would wait as long again on
        // failure).
        int differing = -1;
        const auto showsTheWindow = [&] {
            rig.result.reset();
            rig.error.reset();
            rig.coordinator->beginCapture(CaptureMode::window);
            if (!QTest::qWaitFor([&] { return rig.result.has_value() || rig.error.has_value(); }, patience) || rig.error
                || rig.result->image.size() != pixels)
                return false;
            differing = differingPixels(rig.result->image, expected, pointerBox);
            return differing == 0;
        };
        const QDeadlineTimer deadline(patience);
        bool shown = showsTheWindow();
        while (!shown && !deadline.hasExpired())
            shown = showsTheWindow();
        if (rig.error)
            QFAIL(qPrintable(rig.error->errorDescription()));
        QVERIFY(rig.result);
        QCOMPARE(rig.result->image.size(), pixels);
        QVERIFY2(shown, qPrintable(QStringLiteral("%1 pixels differ from the window's").arg(differing)));

        QCOMPARE(rig.result->mode, CaptureMode::window);
        QCOMPARE(rig.result->sourceWindowTitle, std::optional(title));
        QCOMPARE(rig.result->sourceApplicationName, std::optional(appName));
        QCOMPARE(rig.result->sourceBundleIdentifier, std::optional(appID));
        QCOMPARE(rig.result->selectionRectInDisplay.size(), QSizeF(points));
        QCOMPARE(rig.result->displayScale, QSizeF(scale, scale));
    }

    // Between the list of windows and the picture, the window closes or
    // goes to a workspace not shown, or nothing has the focus at all: a
    // failure that says so, never a picture of whatever is there now.
    void aWindowNotThereGivesAFailure_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("message");
        QTest::newRow("closed") << QStringLiteral("kill") << QStringLiteral("The window was closed.");
        QTest::newRow("moved to a workspace not shown")
            << QStringLiteral("move container to workspace 99") << QStringLiteral("The window is not on screen.");
    }

    void aWindowNotThereGivesAFailure()
    {
        QFETCH(QString, change);
        QFETCH(QString, message);
        const QString title = QStringLiteral("Going away \u2013 %1").arg(m_workspace);
        auto pattern = std::make_unique<PatternWindow>();
        pattern->setWindowTitle(title);
        pattern->resize(300, 200);
        pattern->show();
        QVERIFY(QTest::qWaitForWindowExposed(pattern.get(), patience));
        auto system = PlatformFactory::create().captureSystem;
        QVERIFY(dynamic_cast<SwayCaptureSystem *>(system.get()));
        QTRY_VERIFY_WITH_TIMEOUT(system->frontmostApplication().has_value(), patience);
        QCOMPARE(system->frontmostApplication()->processIdentifier, QCoreApplication::applicationPid());
        const auto content = system->shareableContent();
        QVERIFY(content);
        const auto listed = std::find_if(content->windows.begin(), content->windows.end(), [&](const SystemWindow &window) {
            return window.title == title;
        });
        QVERIFY(listed != content->windows.end());
        QVERIFY(listed->isOnScreen);

        QVERIFY(swayRuns({criteria(title), change}));
        if (change == QLatin1String("kill"))
            QTRY_VERIFY_WITH_TIMEOUT(swayNode([&](const QJsonObject &node) {
                                         return node.value(QStringLiteral("name")).toString() == title;
                                     }).isEmpty(),
                                     patience);
        auto picture = system->captureWindowImage(*listed, listed->frame.size().toSize());
        QVERIFY(QTest::qWaitFor([&] { return picture.isFinished(); }, patience));
        QVERIFY(!picture.result());
        QCOMPARE(picture.result().error().message, message);
        QCOMPARE(picture.result().error().permissionDenied, false);
    }

    void nothingFocusedSaysThereIsNoFrontmostApplication()
    {
        CaptureRig rig(PlatformFactory::create());
        rig.coordinator->beginCapture(CaptureMode::window);
        QTRY_VERIFY_WITH_TIMEOUT(rig.error.has_value(), patience);
        QCOMPARE(rig.error->kind(), CaptureSubsystemError::Kind::frontmostApplicationUnavailable);
        QCOMPARE(rig.error->errorDescription(), QStringLiteral("No frontmost application is available to capture."));
        QCOMPARE(rig.result, std::nullopt);
    }

private:
    QTemporaryDir m_data;
    // The last workspace a test took: one per test, above those in use.
    int m_workspace = 10;
};

QTEST_MAIN(WaylandWindowCaptureTest)
#include "tst_waylandwindowcapture.moc"
