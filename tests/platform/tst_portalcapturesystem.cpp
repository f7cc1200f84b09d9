// The screenshot portal of a real (headless) Wayland desktop: the picture it
// hands over, and what a desktop without the portal gives.
#include "../support/WaylandTestSupport.h"

#include "platform/PlatformTexts.h"
#include "platform/PortalCaptureSystem.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>

using namespace tessaline;
using namespace tessaline::waylandtest;

namespace {

CaptureSystemResult<QImage> waitFor(QFuture<CaptureSystemResult<QImage>> future)
{
    if (!QTest::qWaitFor([&] { return future.isFinished(); }, 30000))
        return unexpected(CaptureSystemError{false, QStringLiteral("no answer")});
    return future.result();
}

} // namespace

class PortalCaptureSystemTest : public QObject
{
    Q_OBJECT
public:
    static void initMain() { runOffscreenWithoutSession(); }

private Q_SLOTS:
    void initTestCase()
    {
        if (const QString missing = missingSession(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
    }

    void pictureShowsTheWholeOutput()
    {
        PatternWindow pattern;
        pattern.showFullScreen();
        QVERIFY(QTest::qWaitForWindowExposed(&pattern));
        // Keep the pointer, which the compositor draws into its pictures,
        // away from the points that are checked.
        QVERIFY(input({QStringLiteral("move"), QStringLiteral("2"), QStringLiteral("2")}));

        PortalCaptureSystem system(true);
        QScreen *screen = QGuiApplication::primaryScreen();
        const QSize output = (QSizeF(screen->geometry().size()) * screen->devicePixelRatio()).toSize();
        const auto displays = system.shareableDisplays().value();
        QCOMPARE(displays.size(), 1);
        const QList<QPoint> probes = {QPoint(output.width() / 4, output.height() / 4),
                                      QPoint(output.width() * 3 / 4, output.height() / 4),
                                      QPoint(output.width() / 4, output.height() * 3 / 4),
                                      QPoint(output.width() * 3 / 4, output.height() * 3 / 4)};
        // The window reaches the screen a frame or two after it is exposed;
        // until then the picture shows the empty desktop.
        QImage picture;
        const auto showsPattern = [&] {
            auto result = waitFor(system.captureDisplayImage(displays.first(), output));
            if (!result) {
                qWarning("%s", qPrintable(result.error().message));
                return false;
            }
            picture = *result;
            return std::all_of(probes.begin(), probes.end(), [&](const QPoint &probe) {
                return sameColour(picture.pixelColor(probe), PatternWindow::colourAt(probe, output));
            });
        };
        QTRY_VERIFY_WITH_TIMEOUT(showsPattern(), 20000);
        QCOMPARE(picture.size(), output);
        QCOMPARE(picture.format(), QImage::Format_RGB32);
        QVERIFY(system.hasCaptureAccess());
        QVERIFY(system.lastTimings().roundTripNanoseconds > 0);
    }

    void desktopWithoutThePortal()
    {
        // Nobody owns this name, as on a desktop without xdg-desktop-portal.
        PortalCaptureSystem system(true, QStringLiteral("org.freedesktop.portal.NobodyAnswersHere"));
        QVERIFY(system.hasCaptureAccess());
        const auto displays = system.shareableDisplays().value();
        const auto result = waitFor(system.captureDisplayImage(displays.first(), QSize(100, 100)));
        QVERIFY(!result);
        const CaptureSystemError *error = &result.error();
        QVERIFY(error->permissionDenied);
        QCOMPARE(error->message, PlatformTexts::screenshotPortalMissing());
        // Known from now on: no further call is needed to say so.
        QVERIFY(!system.hasCaptureAccess());
        QVERIFY(!system.requestCaptureAccess());
        const auto again = system.captureDisplayImage(displays.first(), QSize(100, 100));
        QVERIFY(again.isFinished());
    }
};

QTEST_MAIN(PortalCaptureSystemTest)
#include "tst_portalcapturesystem.moc"
