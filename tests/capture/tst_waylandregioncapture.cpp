// A region capture in a real (headless) Wayland session, through the
// desktop's screenshot portal and our own overlay, driven by input the
// compositor injects, also on a second output, asked for from a window
// there or while another app has the focus; and what a desktop without the
// portal gives.
#include "../support/WaylandTestSupport.h"
#include "WaylandCaptureRig.h"

#include "capture/DisplayCaptureService.h"

#include "platform/PlatformTexts.h"
#include "platform/PortalCaptureSystem.h"
#include "platform/QtScreenCaptureSystem.h"
#include "platform/UnavailableHotKeys.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <cstdlib>

using namespace tessaline;
using namespace tessaline::waylandtest;

namespace {

const char *secondOutputVariable = "TESSALINE_SECOND_OUTPUT_SESSION";

// Runs one test function (or row, "function:tag") of this program in a new
// session of the test's flavour with two outputs side by side, which ends
// with it.
void runInASessionOfItsOwn(const QString &function)
{
    QTemporaryDir state;
    QVERIFY(state.isValid());
    // The session's user, not the test's, writes there.
    QFile::setPermissions(state.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                            | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("WAYLAND_SESSION_DIR"), state.path());
    const auto script = [&](const QStringList &arguments) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral("bash"), QStringList{QStringLiteral(TESSALINE_WAYLAND_SESSION)} + arguments);
        process.waitForFinished(60000);
        return std::pair(process.exitCode(), process.readAllStandardOutput());
    };
    QStringList start{QStringLiteral("start"), QStringLiteral("--outputs"), QStringLiteral("2")};
    if (flavour() == QLatin1String("kde"))
        start.append(QStringLiteral("--kde"));
    const auto [started, exports] = script(start);
    const auto stop = qScopeGuard([&] { script({QStringLiteral("stop")}); });
    QCOMPARE(started, 0);
    for (const QByteArray &line : exports.split('\n')) {
        if (line.startsWith("export ")) {
            const qsizetype equals = line.indexOf('=');
            environment.insert(QString::fromUtf8(line.mid(7, equals - 7)), QString::fromUtf8(line.mid(equals + 1)));
        } else if (line.startsWith("unset ")) {
            environment.remove(QString::fromUtf8(line.mid(6)));
        }
    }
    environment.insert(QString::fromLatin1(secondOutputVariable), QStringLiteral("1"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {function});
    QVERIFY(child.waitForStarted());
    // Bounded so that a failing row ends, and its session with it, within
    // the test's time: a QTRY would wait twice as long again on failure.
    if (!QTest::qWaitFor([&] { return child.state() == QProcess::NotRunning; }, 50000)) {
        child.kill();
        child.waitForFinished(5000);
        QFAIL(qPrintable(QStringLiteral("the row ran too long:\n") + QString::fromUtf8(child.readAll())));
    }
    const QByteArray output = child.readAll();
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, output.constData());
}

// The window sway has focused; empty when none.
QJsonObject swayFocusedWindow()
{
    return swayNode([](const QJsonObject &node) { return node.value(QStringLiteral("focused")).toBool(); });
}

// The process whose window sway has focused; 0 when none.
qint64 swayFocusedProcess()
{
    return swayFocusedWindow().value(QStringLiteral("pid")).toInteger();
}

QString swayFocusedAppID()
{
    return swayFocusedWindow().value(QStringLiteral("app_id")).toString();
}

} // namespace

class WaylandRegionCaptureTest : public QObject
{
    Q_OBJECT
public:
    static void initMain() { runOffscreenWithoutSession(); }

private Q_SLOTS:
    void initTestCase()
    {
        if (const QString missing = missingSession(); !missing.isEmpty())
            TESSALINE_SKIP_WITHOUT_SESSION(qPrintable(missing));
        if (OtherApp::isRequested())
            OtherApp::run();
    }

    // Also for the app started as an X11 client inside the session: its
    // picture comes from the portal all the same, and its overlay must find
    // the portal's display among its X11 screens.
    void overlayCoversTheOutputAndADragSelects_data()
    {
        QTest::addColumn<bool>("x11Client");
        QTest::newRow("Wayland client") << false;
        QTest::newRow("X11 client") << true;
    }

    void overlayCoversTheOutputAndADragSelects()
    {
        QFETCH(bool, x11Client);
        if (x11Client && !runsAsX11Client()) {
            if (x11Display().isEmpty())
                TESSALINE_SKIP_WITHOUT_SESSION("the session runs no XWayland server");
            runAsX11Client(QStringLiteral("overlayCoversTheOutputAndADragSelects:X11 client"));
            return;
        }
        PatternWindow pattern;
        pattern.showFullScreen();
        QVERIFY(QTest::qWaitForWindowExposed(&pattern, patience));
        QTRY_COMPARE_WITH_TIMEOUT(pattern.paintedSize, pattern.screen()->size(), patience);
        QVERIFY(input({QStringLiteral("move"), QStringLiteral("2"), QStringLiteral("2")}));

        PlatformBackends backends = PlatformFactory::create();
        QCOMPARE(backends.session, WindowSession::wayland);
        CaptureRig rig(std::move(backends));
        QCOMPARE(rig.coordinator->permissionState(), ScreenCapturePermissionState::authorized);
        rig.coordinator->beginCapture(CaptureMode::region);
        QTRY_COMPARE_WITH_TIMEOUT(rig.coordinator->state(), CaptureCoordinatorState::selectingRegion(), patience);
        auto *overlay = qobject_cast<RegionSelectionOverlayController *>(rig.coordinator->overlayController());
        QVERIFY(overlay);
        QWidget *window = overlay->overlayWindow();
        // Up once the compositor has given it the keyboard: mapped, on top.
        QTRY_VERIFY_WITH_TIMEOUT(window->isActiveWindow(), patience);
        QScreen *screen = QGuiApplication::primaryScreen();
        QCOMPARE(window->geometry(), screen->geometry());
        QCOMPARE(overlay->view()->size(), screen->geometry().size());

        const QPoint from(100, 100);
        const QPoint to(500, 400);
        // The pointer moves over the overlay before the press, as a hand's
        // does: XWayland counts the first motion onto a window that came up
        // under the pointer twice, which a hand's first small step hides.
        QVERIFY(input({QStringLiteral("move"), QString::number(from.x() + 20), QString::number(from.y() + 20)}));
        QVERIFY(drag(from, to));
        QTRY_VERIFY_WITH_TIMEOUT(rig.result.has_value(), patience);
        QCOMPARE(rig.error, std::nullopt);
        QCOMPARE(rig.result->mode, CaptureMode::region);
        QCOMPARE(rig.result->selectionRectInDisplay, QRectF(QRect(from, to - QPoint(1, 1))));
        const QSize pixels = (QSizeF(to.x() - from.x(), to.y() - from.y()) * screen->devicePixelRatio()).toSize();
        QCOMPARE(rig.result->image.size(), pixels);
        // The frozen picture under the selection: the top-left quadrant.
        const QColor inside = rig.result->image.pixelColor(pixels.width() / 2, pixels.height() / 2);
        QVERIFY2(sameColour(inside, PatternWindow::colourAt(QPoint(0, 0), screen->size())),
                 qPrintable(inside.name()));
        // sway says which window has the focus: this test's own pattern,
        // whose app (of no desktop file) is named after its app_id (an X11
        // client's after its class, not checked here). Other Wayland
        // desktops do not say: no guess there.
        if (!x11Client && flavour() == QLatin1String("sway")) {
            QCOMPARE(rig.result->sourceBundleIdentifier, std::optional(swayFocusedAppID()));
            QCOMPARE(rig.result->sourceApplicationName, rig.result->sourceBundleIdentifier);
        } else if (!x11Client) {
            QCOMPARE(rig.result->sourceApplicationName, std::nullopt);
        }
        // A region is no window: it carries no window's title.
        QCOMPARE(rig.result->sourceWindowTitle, std::nullopt);
        QCOMPARE(rig.coordinator->overlayController(), nullptr);
    }

    // Under a fractional scale Qt counts the next whole scale's pixels; a
    // display capture keeps the output's own pixels, neither blown up to
    // Qt's count (blurred, a third larger) nor cut short.
    void fractionalScaleKeepsTheOutputsOwnPixels()
    {
        if (flavour() != QLatin1String("sway"))
            QSKIP("the scale is set through sway");
        const QJsonObject mode = QJsonDocument::fromJson(swaymsg({QStringLiteral("-t"), QStringLiteral("get_outputs"),
                                                                  QStringLiteral("-r")}))
                                     .array().first().toObject().value(QStringLiteral("current_mode")).toObject();
        const QSize outputPixels(mode.value(QStringLiteral("width")).toInt(), mode.value(QStringLiteral("height")).toInt());
        QVERIFY(!outputPixels.isEmpty());
        QVERIFY(!swaymsg({QStringLiteral("output"), QStringLiteral("*"), QStringLiteral("scale"), QStringLiteral("1.5")}).isEmpty());
        const auto restore = qScopeGuard([&] {
            swaymsg({QStringLiteral("output"), QStringLiteral("*"), QStringLiteral("scale"), QStringLiteral("1")});
        });
        QScreen *screen = QGuiApplication::primaryScreen();
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(screen->geometry().width() - outputPixels.width() / 1.5) <= 1, patience);

        CaptureRig rig(PlatformFactory::create());
        rig.coordinator->beginCapture(CaptureMode::display);
        QTRY_VERIFY_WITH_TIMEOUT(rig.result.has_value() || rig.error.has_value(), patience);
        QCOMPARE(rig.error, std::nullopt);
        QCOMPARE(rig.result->image.size(), outputPixels);
        QVERIFY2(std::abs(rig.result->displayScale.width() - 1.5) < 0.01 && std::abs(rig.result->displayScale.height() - 1.5) < 0.01,
                 qPrintable(QStringLiteral("%1 x %2 pixels per point").arg(rig.result->displayScale.width())
                                .arg(rig.result->displayScale.height())));
    }

    // Asked for from a window on a second output, a capture takes that
    // output: its picture, and the overlay full screen there with the
    // keyboard. The session tells us the pointer only over our windows, and
    // as if they stood on the first output; while another app has the focus
    // (the capture asked for from the desktop's own key or a launcher) it
    // tells us nothing, and the desktop itself must say where the user is:
    // sway's focused output, KWin's active one (which follows the pointer).
    // The sessions start with two outputs, so each row runs in a session of
    // its own.
    void captureFromAWindowOnTheSecondOutputTakesThatOutput_data()
    {
        QTest::addColumn<bool>("ours");
        QTest::newRow("a window of ours") << true;
        QTest::newRow("another app's window") << false;
    }

    void captureFromAWindowOnTheSecondOutputTakesThatOutput()
    {
        QFETCH(bool, ours);
        if (flavour() != QLatin1String("sway") && flavour() != QLatin1String("kde"))
            QSKIP("the session's outputs are added through sway or KWin");
        if (flavour() == QLatin1String("kde") && ours)
            QSKIP("KWin places a window where the pointer is, which goes there as the user would");
        if (!qEnvironmentVariableIsSet(secondOutputVariable)) {
            runInASessionOfItsOwn(QStringLiteral("%1:%2").arg(QString::fromLatin1(QTest::currentTestFunction()),
                                                              QString::fromLatin1(QTest::currentDataTag())));
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::screens().size(), 2, patience);
        QScreen *second = QGuiApplication::screens().at(1);
        QVERIFY(second->geometry().x() > QGuiApplication::primaryScreen()->geometry().right());
        const QString title = QStringLiteral("Pattern on the second output");
        std::unique_ptr<PatternWindow> pattern;
        std::unique_ptr<OtherApp> other;

        if (flavour() == QLatin1String("kde")) {
            // The user goes to the second output and works in another app
            // there; none of our windows is shown.
            QVERIFY(input({QStringLiteral("move"), QString::number(second->geometry().center().x()),
                           QString::number(second->geometry().center().y())}));
            other = std::make_unique<OtherApp>(title);
            QTRY_VERIFY_WITH_TIMEOUT(other->processId() > 0, patience);
            QCOMPARE(QGuiApplication::focusWindow(), nullptr);
            DisplayCaptureService service(PlatformFactory::create().captureSystem);
            QTRY_COMPARE_WITH_TIMEOUT(service.displayTargetUnderPointer().value_or(CaptureDisplayTarget{}).displayID,
                                      QtScreenCaptureSystem::displayIDOf(second), patience);
            // KDE's screenshot portal takes no pictures here.
            return;
        }

        QVERIFY(!swaymsg({QStringLiteral("focus"), QStringLiteral("output"), second->name()}).isEmpty());
        qint64 owner = QCoreApplication::applicationPid();
        if (ours) {
            pattern = std::make_unique<PatternWindow>();
            pattern->setWindowTitle(title);
            pattern->showFullScreen();
            QVERIFY(QTest::qWaitForWindowExposed(pattern.get(), patience));
            QTRY_COMPARE_WITH_TIMEOUT(pattern->paintedSize, pattern->screen()->size(), patience);
        } else {
            other = std::make_unique<OtherApp>(title);
            QTRY_VERIFY_WITH_TIMEOUT(other->processId() > 0, patience);
            owner = other->processId();
        }
        // The user puts it on the second output and works in it there (the
        // pointer cannot be injected beyond the first output).
        const QString criteria = QStringLiteral("[title=\"%1\"]").arg(title);
        QTRY_VERIFY_WITH_TIMEOUT(!swaymsg({criteria, QStringLiteral("move"), QStringLiteral("container"), QStringLiteral("to"),
                                           QStringLiteral("output"), second->name()}).isEmpty(), patience);
        QVERIFY(!swaymsg({criteria, QStringLiteral("focus")}).isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(swayFocusedProcess(), owner, patience);
        if (ours) {
            QTRY_COMPARE_WITH_TIMEOUT(pattern->screen(), second, patience);
            QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::focusWindow(), pattern->windowHandle(), patience);
            QTRY_COMPARE_WITH_TIMEOUT(pattern->size(), second->size(), patience);
        } else {
            QCOMPARE(QGuiApplication::focusWindow(), nullptr);
        }

        CaptureRig rig(PlatformFactory::create());
        // Until the other app has drawn at its full-screen size there, the
        // picture may still show it elsewhere: take pictures until it has,
        // for a bounded time (a QTRY would go on as long again on failure).
        const auto showsThePattern = [&] {
            rig.result.reset();
            rig.error.reset();
            rig.coordinator->beginCapture(CaptureMode::display);
            if (!QTest::qWaitFor([&] { return rig.result.has_value() || rig.error.has_value(); }, patience) || rig.error
                || rig.result->image.size() != second->size() * second->devicePixelRatio())
                return false;
            const QImage &picture = rig.result->image;
            for (const QPoint &at : {QPoint(picture.width() / 4, picture.height() / 4),
                                     QPoint(picture.width() * 3 / 4, picture.height() * 3 / 4)}) {
                if (!sameColour(picture.pixelColor(at), PatternWindow::colourAt(at, picture.size())))
                    return false;
            }
            return true;
        };
        const QDeadlineTimer deadline(patience);
        bool shown = showsThePattern();
        while (!shown && !deadline.hasExpired())
            shown = showsThePattern();
        QVERIFY2(shown, "the picture never showed the second output");

        rig.result.reset();
        rig.coordinator->beginCapture(CaptureMode::region);
        QTRY_COMPARE_WITH_TIMEOUT(rig.coordinator->state(), CaptureCoordinatorState::selectingRegion(), patience);
        auto *overlay = qobject_cast<RegionSelectionOverlayController *>(rig.coordinator->overlayController());
        QVERIFY(overlay);
        QWidget *window = overlay->overlayWindow();
        QTRY_VERIFY_WITH_TIMEOUT(window->isActiveWindow(), patience);
        QCOMPARE(window->screen(), second);
        QCOMPARE(window->geometry(), second->geometry());
        QVERIFY(input({QStringLiteral("key"), QStringLiteral("Escape")}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.coordinator->overlayController(), nullptr, patience);
    }

    void desktopWithoutThePortalGivesThePermissionError()
    {
        PlatformBackends backends;
        backends.session = WindowSession::wayland;
        backends.captureSystem =
            std::make_unique<PortalCaptureSystem>(true, QStringLiteral("org.freedesktop.portal.NobodyAnswersHere"));
        backends.hotKeySystem = std::make_unique<UnavailableHotKeys>(HotKeyStatus::notOffered, true);
        CaptureRig rig(std::move(backends));
        rig.coordinator->beginCapture(CaptureMode::region);
        QTRY_VERIFY_WITH_TIMEOUT(rig.error.has_value(), patience);
        QCOMPARE(*rig.error, CaptureSubsystemError::permissionNeedsSettings(PlatformTexts::screenshotPortalMissing()));
        // Which portal is missing and how to get it; no privacy settings
        // that do not exist here.
        QCOMPARE(rig.error->errorDescription(),
                 QStringLiteral("The desktop offers no screenshot portal: install xdg-desktop-portal and your "
                                "desktop's portal backend (xdg-desktop-portal-gnome, xdg-desktop-portal-kde or "
                                "xdg-desktop-portal-wlr), then log in again."));
        QCOMPARE(rig.coordinator->permissionAdvice(), PlatformTexts::screenshotPortalMissing());
        QCOMPARE(rig.coordinator->state(), CaptureCoordinatorState::failed(rig.error->errorDescription()));
        QCOMPARE(rig.result, std::nullopt);
        QCOMPARE(rig.coordinator->overlayController(), nullptr);
    }

    // A window capture asked for anyway (tessaline --capture-window bound to
    // a key) says why it cannot work here and what to use instead.
    void windowCaptureSaysWhyItCannotWork()
    {
        if (flavour() == QLatin1String("sway"))
            QSKIP("sway says which window is in front (tst_waylandwindowcapture)");
        if (flavour() == QLatin1String("kde"))
            QSKIP("KWin says which window is in front (tst_kwinwindowcapture)");
        CaptureRig rig(PlatformFactory::create());
        rig.coordinator->beginCapture(CaptureMode::window);
        QTRY_VERIFY_WITH_TIMEOUT(rig.error.has_value(), patience);
        QCOMPARE(rig.error->kind(), CaptureSubsystemError::Kind::frontmostApplicationUnavailable);
        QCOMPARE(rig.error->errorDescription(), PlatformTexts::frontmostWindowUnavailable());
        QCOMPARE(rig.coordinator->state(), CaptureCoordinatorState::failed(PlatformTexts::frontmostWindowUnavailable()));
        QCOMPARE(rig.result, std::nullopt);
    }
};

QTEST_MAIN(WaylandRegionCaptureTest)
#include "tst_waylandregioncapture.moc"
