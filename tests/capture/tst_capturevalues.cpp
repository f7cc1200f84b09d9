#include "capture/CaptureSubsystemError.h"
#include "capture/CaptureValues.h"
#include "platform/CoordinateSpaces.h"

#include "platform/PlatformTexts.h"

#include <QTest>

using namespace tessaline;

class CaptureValuesTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rawValues_data();
    void rawValues();
    void crop_data();
    void crop();
    void regionResultOnSecondaryDisplay();
    void displayResult();
    void windowChoice_data();
    void windowChoice();
    void errorMessages_data();
    void errorMessages();
    void coordinateSpaces_data();
    void coordinateSpaces();
};

void CaptureValuesTest::rawValues_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<bool>("valid");
    QTest::newRow("region") << "region" << true;
    QTest::newRow("display") << "display" << true;
    QTest::newRow("window") << "window" << true;
    QTest::newRow("capitalised") << "Region" << false;
    QTest::newRow("empty") << "" << false;
}

void CaptureValuesTest::rawValues()
{
    QFETCH(QString, raw);
    QFETCH(bool, valid);
    const auto mode = captureModeFromRawValue(raw);
    QCOMPARE(mode.has_value(), valid);
    if (mode)
        QCOMPARE(captureModeRawValue(*mode), raw);
    QCOMPARE(globalHotKeyActionFromRawValue(1), GlobalHotKeyAction::captureRegion);
    QCOMPARE(globalHotKeyActionFromRawValue(2), GlobalHotKeyAction::quickThought);
    QCOMPARE(globalHotKeyActionFromRawValue(0), std::nullopt);
    QCOMPARE(globalHotKeyActionFromRawValue(3), std::nullopt);
}

void CaptureValuesTest::crop_data()
{
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<QSizeF>("pointSize");
    QTest::addColumn<QRectF>("selection");
    QTest::addColumn<QRect>("expectedPixels"); // null: no image

    QTest::newRow("double density") << QSize(200, 100) << QSizeF(100, 50) << QRectF(3.25, 4.75, 10, 10)
                                    << QRect(6, 9, 21, 21);
    QTest::newRow("partly outside") << QSize(100, 50) << QSizeF(100, 50) << QRectF(90, 40, 30, 30)
                                    << QRect(90, 40, 10, 10);
    QTest::newRow("negative size is standardised") << QSize(100, 50) << QSizeF(100, 50) << QRectF(30, 20, -10, -5)
                                                   << QRect(20, 15, 10, 5);
    QTest::newRow("half a point wide") << QSize(100, 50) << QSizeF(100, 50) << QRectF(10, 10, 0.5, 10) << QRect();
    QTest::newRow("wholly outside") << QSize(100, 50) << QSizeF(100, 50) << QRectF(200, 10, 20, 10) << QRect();
    // The image's own size decides the scale, not the target's pixel size.
    QTest::newRow("image smaller than the display") << QSize(50, 25) << QSizeF(100, 50) << QRectF(10, 10, 20, 20)
                                                    << QRect(5, 5, 10, 10);
}

void CaptureValuesTest::crop()
{
    QFETCH(QSize, imageSize);
    QFETCH(QSizeF, pointSize);
    QFETCH(QRectF, selection);
    QFETCH(QRect, expectedPixels);
    FrozenDisplayCapture capture;
    capture.image = QImage(imageSize, QImage::Format_RGB32);
    // Each pixel knows where it came from, so the crop's origin can be read back.
    for (int y = 0; y < imageSize.height(); ++y) {
        for (int x = 0; x < imageSize.width(); ++x)
            capture.image.setPixel(x, y, qRgb(x, y, 0));
    }
    capture.target.pointSize = pointSize;
    capture.target.pixelSize = QSizeF(400, 400);
    const auto cropped = capture.croppedImage(selection);
    QCOMPARE(cropped.has_value(), !expectedPixels.isNull());
    if (!cropped)
        return;
    QCOMPARE(cropped->size(), expectedPixels.size());
    QCOMPARE(qRed(cropped->pixel(0, 0)), expectedPixels.x());
    QCOMPARE(qGreen(cropped->pixel(0, 0)), expectedPixels.y());

    // The crop reads the frame's own pixels rather than a copy of them, and
    // outlives the capture that made it.
    const QImage frame = capture.image;
    QCOMPARE(cropped->constBits(), frame.constScanLine(expectedPixels.y()) + expectedPixels.x() * 4);
    capture.image = QImage();
    const QPoint last(expectedPixels.width() - 1, expectedPixels.height() - 1);
    QCOMPARE(cropped->pixel(last), qRgb(expectedPixels.right(), expectedPixels.bottom(), 0));

    // Writing to the crop copies the crop alone and leaves the frame as it was.
    QImage written = *cropped;
    written.setPixel(0, 0, qRgb(1, 2, 3));
    QCOMPARE(written.size(), expectedPixels.size());
    QCOMPARE(written.bytesPerLine(), qsizetype(expectedPixels.width()) * 4);
    QCOMPARE(frame.pixel(expectedPixels.topLeft()), qRgb(expectedPixels.x(), expectedPixels.y(), 0));
    QCOMPARE(cropped->pixel(0, 0), qRgb(expectedPixels.x(), expectedPixels.y(), 0));
}

void CaptureValuesTest::regionResultOnSecondaryDisplay()
{
    FrozenDisplayCapture capture;
    capture.image = QImage(3840, 2160, QImage::Format_RGB32);
    capture.target.displayID = 9;
    capture.target.screenFrame = QRectF(1440, -200, 1920, 1080);
    capture.target.pointSize = QSizeF(1920, 1080);
    capture.target.pixelSize = QSizeF(3840, 2160);
    const QRectF selection(100, 50, 300, 200);
    const CaptureResult result = capture.regionResult(selection, QImage(600, 400, QImage::Format_RGB32));
    QCOMPARE(result.selectionRectOnScreen, QRectF(1540, 630, 300, 200));
    QCOMPARE(result.selectionRectInDisplay, selection);
    QCOMPARE(result.displayScale, QSizeF(2, 2));
    QCOMPARE(result.displayID, quint32(9));
    QCOMPARE(result.mode, CaptureMode::region);
    QCOMPARE(result.sourceApplicationName, std::nullopt);
}

void CaptureValuesTest::displayResult()
{
    FrozenDisplayCapture capture;
    capture.image = QImage(10, 10, QImage::Format_RGB32);
    capture.target.screenFrame = QRectF(0, 0, 0.5, 800);
    capture.target.pointSize = QSizeF(0.5, 800);
    capture.target.pixelSize = QSizeF(10, 1600);
    capture.sourceApplication = CaptureSourceApplication{QStringLiteral("Terminal"), std::nullopt};
    const CaptureResult a = capture.captureResult();
    const CaptureResult b = capture.captureResult();
    QVERIFY(a.id != b.id);
    // A point side of 1 or less divides by 1.
    QCOMPARE(a.displayScale, QSizeF(10, 2));
    QCOMPARE(a.selectionRectInDisplay, QRectF(0, 0, 0.5, 800));
    QCOMPARE(a.sourceApplicationName, std::optional<QString>(QStringLiteral("Terminal")));
    QCOMPARE(a.sourceBundleIdentifier, std::nullopt);
}

void CaptureValuesTest::windowChoice_data()
{
    QTest::addColumn<QList<WindowCaptureCandidate>>("candidates");
    QTest::addColumn<quint32>("expected"); // 0: none

    const auto window = [](quint32 id, QRectF frame, int layer = 0, bool onScreen = true) {
        return WindowCaptureCandidate{id, frame, layer, onScreen};
    };
    QTest::newRow("largest wins") << QList{window(5, {0, 0, 10, 10}), window(6, {0, 0, 30, 10})} << 6u;
    QTest::newRow("equal area: lower number")
        << QList{window(8, {0, 0, 20, 10}), window(3, {50, 50, 10, 20})} << 3u;
    QTest::newRow("ordinary windows before panels")
        << QList{window(1, {0, 0, 500, 500}, 20), window(2, {0, 0, 10, 10})} << 2u;
    QTest::newRow("only panels: largest of them")
        << QList{window(1, {0, 0, 50, 50}, 20), window(2, {0, 0, 80, 10}, 3)} << 1u;
    QTest::newRow("1 point high is not visible") << QList{window(4, {0, 0, 100, 1})} << 0u;
    QTest::newRow("off screen") << QList{window(4, {0, 0, 100, 100}, 0, false)} << 0u;
    QTest::newRow("nothing") << QList<WindowCaptureCandidate>{} << 0u;
}

void CaptureValuesTest::windowChoice()
{
    QFETCH(QList<WindowCaptureCandidate>, candidates);
    QFETCH(quint32, expected);
    const auto chosen = WindowCaptureCandidate::preferredCandidate(candidates);
    QCOMPARE(chosen ? chosen->windowID : 0u, expected);
}

void CaptureValuesTest::errorMessages_data()
{
    QTest::addColumn<CaptureSubsystemError>("error");
    QTest::addColumn<QString>("message");
    QTest::newRow("no window") << CaptureSubsystemError::noCapturableWindow(QStringLiteral("Files"))
                               << "No visible window could be found for Files.";
    QTest::newRow("hot key taken") << CaptureSubsystemError::hotKeyRegistrationFailed(GlobalHotKeyAction::quickThought, HotKeyStatus::alreadyTaken)
                                   << "The Quick Note shortcut is already used by the desktop or another app. Your previous shortcut is still active.";
    QTest::newRow("key missing") << CaptureSubsystemError::hotKeyRegistrationFailed(GlobalHotKeyAction::captureRegion, HotKeyStatus::unsupportedKey)
                                 << "The Capture Region shortcut uses a key this keyboard does not have. Your previous shortcut is still active.";
    QTest::newRow("desktop refused") << CaptureSubsystemError::hotKeyRegistrationFailed(GlobalHotKeyAction::quickThought, HotKeyStatus::refused)
                                     << "The desktop did not allow the Quick Note shortcut. Your previous shortcut is still active.";
    QTest::newRow("no window system") << CaptureSubsystemError::hotKeyRegistrationFailed(GlobalHotKeyAction::captureRegion, HotKeyStatus::noWindowSystem)
                                      << "The Capture Region shortcut could not be set because no X11 or Wayland session is running.";
    QTest::newRow("registered without a reference") << CaptureSubsystemError::hotKeyRegistrationFailed(GlobalHotKeyAction::captureRegion, HotKeyStatus::registered)
                                                    << "The Capture Region shortcut could not be set. Your previous shortcut is still active.";
    QTest::newRow("capture failed") << CaptureSubsystemError::screenCaptureFailed(QStringLiteral("X error 8."))
                                    << "The screen could not be captured: X error 8.";
    QTest::newRow("needs settings") << CaptureSubsystemError::permissionNeedsSettings()
                                    << "Screen Recording access is off. Enable Tessaline in your desktop's privacy settings, then return to the app.";
    QTest::newRow("needs settings, with the desktop's advice")
        << CaptureSubsystemError::permissionNeedsSettings(QStringLiteral("Install the portal."))
        << "Install the portal.";
    // A Wayland desktop has no privacy switch for it: its portal's advice alone.
    QTest::newRow("portal refused") << CaptureSubsystemError::permissionDenied(PlatformTexts::screenshotPortalRefused())
                                    << PlatformTexts::screenshotPortalRefused();
    QTest::newRow("invalid shortcuts") << CaptureSubsystemError::invalidShortcutConfiguration()
                                       << "Choose supported global shortcuts with Ctrl, Alt, or Super, and keep Capture Region and Quick Note different.";
    QTest::newRow("empty selection") << CaptureSubsystemError::emptySelection() << "Select a larger area to create a snip.";
}

void CaptureValuesTest::errorMessages()
{
    QFETCH(CaptureSubsystemError, error);
    QFETCH(QString, message);
    QCOMPARE(error.errorDescription(), message);
}

void CaptureValuesTest::coordinateSpaces_data()
{
    QTest::addColumn<QRectF>("primary");
    QTest::addColumn<QRectF>("windowSystem");
    QTest::addColumn<QRectF>("captureSystem");
    QTest::addColumn<QRectF>("screen");
    // Primary at the desktop's origin: only y flips.
    QTest::newRow("primary at origin") << QRectF(0, 0, 1920, 1080) << QRectF(100, 50, 300, 200)
                                       << QRectF(100, 50, 300, 200) << QRectF(100, 830, 300, 200);
    // A secondary display left of and above the primary moves the desktop's
    // origin away from the primary's corner.
    QTest::newRow("primary offset") << QRectF(1440, 200, 1920, 1080) << QRectF(0, 0, 1440, 900)
                                    << QRectF(-1440, -200, 1440, 900) << QRectF(-1440, 380, 1440, 900);
}

void CaptureValuesTest::coordinateSpaces()
{
    QFETCH(QRectF, primary);
    QFETCH(QRectF, windowSystem);
    QFETCH(QRectF, captureSystem);
    QFETCH(QRectF, screen);
    const CoordinateSpaces spaces(primary);
    QCOMPARE(spaces.captureSystemFromWindowSystem(windowSystem), captureSystem);
    QCOMPARE(spaces.screenFromWindowSystem(windowSystem), screen);
    QCOMPARE(spaces.screenFromCaptureSystem(captureSystem), screen);
    QCOMPARE(spaces.windowSystemFromScreen(screen), windowSystem);
    // A display's own corner placed through its screen frame lands where
    // the window system has it.
    QCOMPARE(CoordinateSpaces::screenFromDisplay(screen, QRectF(0, 0, 10, 10)),
             QRectF(screen.x(), screen.y() + screen.height() - 10, 10, 10));
}

QTEST_GUILESS_MAIN(CaptureValuesTest)
#include "tst_capturevalues.moc"
