#include "CaptureFakes.h"

#include "capture/DisplayCaptureService.h"

#include <QSignalSpy>
#include <QTest>

using namespace tessaline;
using namespace tessaline::fakes;

namespace {

// Two displays side by side: the primary (id 1, 1440 x 900 points, twice
// as many pixels) and a second one (id 2) to its right.
std::unique_ptr<FakeCaptureSystem> twoDisplays()
{
    auto system = std::make_unique<FakeCaptureSystem>();
    system->screenList = {SystemScreen{QRectF(0, 0, 1440, 900), 1u}, SystemScreen{QRectF(1440, 0, 1920, 1080), 2u}};
    system->mainIndex = 0;
    system->pixelSizes = {{1u, QSize(2880, 1800)}, {2u, QSize(1920, 1080)}};
    system->content.displays = {SystemDisplay{1, QRectF(0, 0, 1440, 900)}, SystemDisplay{2, QRectF(1440, -180, 1920, 1080)}};
    system->frontmost = SystemApplication{QStringLiteral("Editor"), QStringLiteral("org.example.editor"), 100};
    return system;
}

SystemWindow window(quint32 id, QRectF frame, qint64 pid = 100, int layer = 0, bool onScreen = true)
{
    return SystemWindow{id, frame, QStringLiteral("Window %1").arg(id), layer, onScreen, pid};
}

template <typename T>
CaptureSubsystemError errorOf(const CaptureOutcome<T> &outcome)
{
    return outcome ? CaptureSubsystemError() : outcome.error();
}

} // namespace

class DisplayCaptureServiceTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void displayUnderPointer_data();
    void displayUnderPointer();
    void displayCapture();
    void displayFailures_data();
    void displayFailures();
    void bestDisplay_data();
    void bestDisplay();
    void windowCapture();
    void windowPixelSize_data();
    void windowPixelSize();
    void windowFailures_data();
    void windowFailures();
    void completionComesLater();
};

void DisplayCaptureServiceTest::displayUnderPointer_data()
{
    QTest::addColumn<QPointF>("pointer");
    QTest::addColumn<int>("mainIndex");
    QTest::addColumn<quint32>("expected");
    QTest::newRow("inside the primary") << QPointF(100, 100) << 1 << 1u;
    QTest::newRow("on the shared edge goes right") << QPointF(1440, 500) << 0 << 2u;
    QTest::newRow("left edge is inside") << QPointF(0, 10) << 1 << 1u;
    // Not inside the primary, so the main screen (here the second) is used.
    QTest::newRow("top edge is outside") << QPointF(100, 900) << 1 << 2u;
    QTest::newRow("outside every screen") << QPointF(-50, -50) << 0 << 1u;
}

void DisplayCaptureServiceTest::displayUnderPointer()
{
    QFETCH(QPointF, pointer);
    QFETCH(int, mainIndex);
    QFETCH(quint32, expected);
    auto system = twoDisplays();
    system->pointer = pointer;
    system->mainIndex = mainIndex;
    FakeCaptureSystem *fake = system.get();
    DisplayCaptureService service(std::move(system));
    const auto target = service.displayTargetUnderPointer();
    QVERIFY(target);
    QCOMPARE(target->displayID, expected);
    // Getting ready for a capture readies the same display and takes no
    // picture.
    QCOMPARE(service.prepareDisplayUnderPointer(), std::optional<quint32>(expected));
    QCOMPARE(fake->preparedDisplays, QList<quint32>{expected});
    QVERIFY(fake->capturedDisplays.isEmpty());
}

void DisplayCaptureServiceTest::displayCapture()
{
    auto system = twoDisplays();
    system->pointer = QPointF(10, 10);
    system->deliveredSize = QSize(2000, 1000); // not what was asked for
    FakeCaptureSystem *fake = system.get();
    DisplayCaptureService service(std::move(system));
    const auto outcome = service.takeDisplayUnderPointer().result();
    QVERIFY(outcome);
    const FrozenDisplayCapture *capture = &*outcome;
    QCOMPARE(fake->requestedDisplaySizes, QList<QSize>{QSize(2880, 1800)});
    QCOMPARE(capture->target.pixelSize, QSizeF(2000, 1000));
    QCOMPARE(capture->target.pointSize, QSizeF(1440, 900));
    QCOMPARE(capture->target.screenFrame, QRectF(0, 0, 1440, 900));
    QCOMPARE(capture->sourceApplication->name, std::optional<QString>(QStringLiteral("Editor")));
}

void DisplayCaptureServiceTest::displayFailures_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<CaptureSubsystemError>("expected");
    QTest::newRow("no screens") << "noScreens" << CaptureSubsystemError::noDisplayUnderPointer();
    QTest::newRow("screen without a number") << "noNumber" << CaptureSubsystemError::noDisplayUnderPointer();
    QTest::newRow("display gone meanwhile") << "gone" << CaptureSubsystemError::displayUnavailable();
    // A refusal keeps the desktop's advice on what to do about it.
    QTest::newRow("declined") << "declined" << CaptureSubsystemError::permissionDenied(QStringLiteral("Install the portal."));
    QTest::newRow("other failure") << "broken" << CaptureSubsystemError::screenCaptureFailed(QStringLiteral("X error 8."));
}

void DisplayCaptureServiceTest::displayFailures()
{
    QFETCH(QString, setup);
    QFETCH(CaptureSubsystemError, expected);
    auto system = twoDisplays();
    system->pointer = QPointF(10, 10);
    if (setup == QLatin1String("noScreens"))
        system->screenList.clear();
    else if (setup == QLatin1String("noNumber"))
        system->screenList[0].displayNumber.reset();
    else if (setup == QLatin1String("gone"))
        system->content.displays.removeFirst();
    else if (setup == QLatin1String("declined"))
        system->imageError = CaptureSystemError{true, QStringLiteral("Install the portal.")};
    else if (setup == QLatin1String("broken"))
        system->contentError = CaptureSystemError{false, QStringLiteral("X error 8.")};
    DisplayCaptureService service(std::move(system));
    QCOMPARE(errorOf(service.takeDisplayUnderPointer().result()), expected);
}

void DisplayCaptureServiceTest::bestDisplay_data()
{
    QTest::addColumn<QRectF>("frame");
    QTest::addColumn<quint32>("expected"); // 0: none
    QTest::newRow("mostly on the second") << QRectF(1400, 0, 200, 100) << 2u;
    QTest::newRow("equal parts: first listed") << QRectF(1340, 0, 200, 100) << 1u;
    QTest::newRow("off every display") << QRectF(5000, 5000, 100, 100) << 0u;
}

void DisplayCaptureServiceTest::bestDisplay()
{
    QFETCH(QRectF, frame);
    QFETCH(quint32, expected);
    const QList<SystemDisplay> displays{SystemDisplay{1, QRectF(0, 0, 1440, 900)}, SystemDisplay{2, QRectF(1440, 0, 1920, 1080)}};
    const auto best = DisplayCaptureService::bestDisplay(displays, frame);
    QCOMPARE(best ? best->displayID : 0u, expected);
}

void DisplayCaptureServiceTest::windowCapture()
{
    auto system = twoDisplays();
    system->windowScale = 2;
    // Someone else's bigger window, a small one and the chosen one.
    system->content.windows = {window(9, QRectF(0, 0, 1000, 800), 555), window(5, QRectF(10, 10, 20, 20)),
                               window(7, QRectF(1500, -100, 100.5, 50))};
    FakeCaptureSystem *fake = system.get();
    DisplayCaptureService service(std::move(system));
    const auto outcome = service.takeFrontmostWindow().result();
    QVERIFY(outcome);
    const CapturedWindow *captured = &*outcome;
    QCOMPARE(fake->capturedWindows, QList<quint32>{7});
    QCOMPARE(fake->requestedWindowSizes, QList<QSize>{QSize(201, 100)});
    QCOMPARE(captured->displayID, 2u);
    QCOMPARE(captured->rectInDisplay, QRectF(60, 80, 100.5, 50));
    // Display 2's screen frame is (1440, 0, 1920, 1080): y flips about its top.
    QCOMPARE(captured->rectOnScreen, QRectF(1500, 950, 100.5, 50));
    QCOMPARE(captured->scale, QSizeF(201 / 100.5, 2));
    QCOMPARE(captured->windowTitle, std::optional<QString>(QStringLiteral("Window 7")));
    QCOMPARE(captured->sourceApplication->bundleIdentifier, std::optional<QString>(QStringLiteral("org.example.editor")));
    const CaptureResult result = captured->captureResult();
    QCOMPARE(result.mode, CaptureMode::window);
    QCOMPARE(result.sourceWindowTitle, std::optional<QString>(QStringLiteral("Window 7")));
}

void DisplayCaptureServiceTest::windowPixelSize_data()
{
    QTest::addColumn<double>("scale");
    QTest::addColumn<QSizeF>("points");
    QTest::addColumn<QSize>("expected");
    // A window's points are its pixels divided by its screen's scale; the
    // picture asked for must be those pixels again, not one more.
    QTest::newRow("1.2, 310 x 337 pixels") << 1.2 << QSizeF(310 / 1.2, 337 / 1.2) << QSize(310, 337);
    QTest::newRow("1.75, 450 x 29 pixels") << 1.75 << QSizeF(450 / 1.75, 29 / 1.75) << QSize(450, 29);
    QTest::newRow("1.1, 2327 x 164 pixels") << 1.1 << QSizeF(2327 / 1.1, 164 / 1.1) << QSize(2327, 164);
    QTest::newRow("a part pixel is covered") << 1.5 << QSizeF(100.4, 10.01) << QSize(151, 16);
}

void DisplayCaptureServiceTest::windowPixelSize()
{
    QFETCH(double, scale);
    QFETCH(QSizeF, points);
    QFETCH(QSize, expected);
    auto system = twoDisplays();
    system->windowScale = scale;
    system->content.windows = {window(7, QRectF(QPointF(100, 100), points))};
    FakeCaptureSystem *fake = system.get();
    DisplayCaptureService service(std::move(system));
    (void)service.takeFrontmostWindow().result();
    QCOMPARE(fake->requestedWindowSizes, QList<QSize>{expected});
}

void DisplayCaptureServiceTest::windowFailures_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<CaptureSubsystemError>("expected");
    QTest::newRow("no frontmost application") << "noApp" << CaptureSubsystemError::frontmostApplicationUnavailable();
    // The app in front known (this one), yet no window: the desktop's reason.
    QTest::newRow("desktop that never says which window is in front")
        << "noWindowKnown" << CaptureSubsystemError::frontmostApplicationUnavailable(QStringLiteral("No window here."));
    QTest::newRow("only tiny or hidden windows") << "tiny" << CaptureSubsystemError::noCapturableWindow(QStringLiteral("Editor"));
    QTest::newRow("application without a name") << "nameless"
                                                << CaptureSubsystemError::noCapturableWindow(QStringLiteral("the frontmost application"));
    QTest::newRow("window off every display") << "offDisplay" << CaptureSubsystemError::displayUnavailable();
    QTest::newRow("display without a screen") << "noScreen" << CaptureSubsystemError::displayUnavailable();
}

void DisplayCaptureServiceTest::windowFailures()
{
    QFETCH(QString, setup);
    QFETCH(CaptureSubsystemError, expected);
    auto system = twoDisplays();
    system->content.windows = {window(3, QRectF(10, 10, 1, 300)), window(4, QRectF(10, 10, 300, 300), 100, 0, false)};
    if (setup == QLatin1String("noApp"))
        system->frontmost.reset();
    if (setup == QLatin1String("nameless"))
        system->frontmost->localizedName.reset();
    if (setup == QLatin1String("noWindowKnown"))
        system->windowAdvice = QStringLiteral("No window here.");
    if (setup == QLatin1String("offDisplay"))
        system->content.windows.append(window(6, QRectF(9000, 9000, 100, 100)));
    if (setup == QLatin1String("noScreen")) {
        system->content.windows.append(window(6, QRectF(100, 100, 100, 100)));
        system->screenList[0].displayNumber = 77;
    }
    DisplayCaptureService service(std::move(system));
    QCOMPARE(errorOf(service.takeFrontmostWindow().result()), expected);
}

void DisplayCaptureServiceTest::completionComesLater()
{
    auto system = twoDisplays();
    system->pointer = QPointF(10, 10);
    DisplayCaptureService service(std::move(system));
    int calls = 0;
    service.captureDisplayUnderPointer([&](CaptureOutcome<FrozenDisplayCapture> outcome) {
        ++calls;
        QVERIFY(outcome);
    });
    QCOMPARE(calls, 0);
    QTRY_COMPARE(calls, 1);
    QCoreApplication::processEvents();
    QCOMPARE(calls, 1);
}

QTEST_GUILESS_MAIN(DisplayCaptureServiceTest)
#include "tst_displaycaptureservice.moc"
