// Starts the real tessaline binary in the headless KDE session beside a
// window of the test's own that has the focus, asks for a window capture
// from a second start with --capture-window (the command a user binds to a
// key), and checks the stored snip: the test's window alone, with its
// title and app, without the pointer that rests on it; a display capture
// then names that app too.
#include "../support/KWinTestScript.h"
#include "../support/WaylandTestSupport.h"
#include "AppProcess.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QTest>

using namespace tessaline::e2e;
using namespace tessaline::waylandtest;

namespace {

// Whether KWin shows an app's window of that process and, given, caption
// (one without quotes);
// with `active`, whether that window has the focus.
bool kwinShows(qint64 pid, const QString &caption, bool active)
{
    return !kwinReport(QStringLiteral("const list = workspace.clientList();"
                                      "for (let i = 0; i < list.length; ++i) { const c = list[i];"
                                      " if (c.pid == %1 && c.normalWindow && ('%2' == '' || c.caption == '%2')"
                                      "     && (!%3 || workspace.activeClient == c)) report([c.caption]); }")
                           .arg(pid)
                           .arg(caption)
                           .arg(active ? QStringLiteral("true") : QStringLiteral("false")))
                .isEmpty();
}

} // namespace

class KWinWindowCaptureTest : public QObject
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

    void windowCaptureTakesTheFocusedWindow()
    {
        // The app's name as KWin knows it: no desktop file names it, so the
        // last part of its id does.
        QGuiApplication::setDesktopFileName(QStringLiteral("org.tessaline.KWinCaptureTest"));
        const QString title = QStringLiteral("Window of the KWin capture test");
        PatternWindow window;
        window.setWindowFlags(Qt::Window);
        window.setWindowTitle(title);
        window.resize(360, 240);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window, patience));
        const qint64 self = QCoreApplication::applicationPid();

        const OldHandOnWayland place;
        QVERIFY(place.prepared);
        const QProcessEnvironment environment = place.environment();
        Helper app(QStringLiteral(TESSALINE_BINARY), {}, environment);
        QVERIFY(app.isRunning());
        QTRY_VERIFY_WITH_TIMEOUT(kwinShows(app.processId(), QString(), false), patience);

        // The app's window came up with the focus; the user goes back to
        // the test's, which comes in front of it.
        kwinActivate(self);
        QTRY_VERIFY_WITH_TIMEOUT(kwinShows(self, title, true), patience);
        // The pointer rests on the window, where a quarter's colour is
        // checked below: like an X11 capture, the snip leaves it out.
        const QList<QJsonArray> frame = kwinReport(
            QStringLiteral("const list = workspace.clientList();"
                           "for (let i = 0; i < list.length; ++i) { const c = list[i];"
                           " if (c.pid == %1 && c.caption == '%2') report([c.frameGeometry.x, c.frameGeometry.y, c.frameGeometry.width, c.frameGeometry.height]); }")
                .arg(self)
                .arg(title));
        QCOMPARE(frame.size(), 1);
        const QPoint pointer(frame.first().at(0).toInt() + window.width() / 4, frame.first().at(1).toInt() + window.height() / 4);
        QVERIFY(input({QStringLiteral("move"), QString::number(pointer.x()), QString::number(pointer.y())}));

        QElapsedTimer asked;
        asked.start();
        QProcess command;
        command.setProcessEnvironment(environment);
        command.start(QStringLiteral(TESSALINE_BINARY), {QStringLiteral("--capture-window")});
        QVERIFY(command.waitForFinished(patience));
        QCOMPARE(command.exitCode(), 0);
        const QString store = place.store();
        QTRY_COMPARE_WITH_TIMEOUT(queryValue(store, QStringLiteral("SELECT COUNT(*) FROM CanvasCard")).toInt(), 1,
                                  patience);
        qInfo("window capture stored %lld ms after it was asked", qint64(asked.elapsed()));

        const QImage snip = QImage::fromData(queryValue(store, QStringLiteral(
            "SELECT bytes FROM CanvasCardData WHERE field = 'originalImageData'")).toByteArray());
        QCOMPARE(snip.size(), window.size() * window.devicePixelRatio());
        // Each quarter of the window where it belongs: the picture is cut
        // where KWin shows the window, not merely to its size.
        for (const QPointF at : {QPointF(0.25, 0.25), QPointF(0.75, 0.25), QPointF(0.25, 0.75), QPointF(0.75, 0.75)}) {
            const QPoint pixel(int(at.x() * snip.width()), int(at.y() * snip.height()));
            const QPoint point(int(at.x() * window.width()), int(at.y() * window.height()));
            QVERIFY2(sameColour(snip.pixelColor(pixel), PatternWindow::colourAt(point, window.size())),
                     qPrintable(QStringLiteral("at %1,%2: %3")
                                    .arg(pixel.x())
                                    .arg(pixel.y())
                                    .arg(snip.pixelColor(pixel).name())));
        }
        QCOMPARE(queryValue(store, QStringLiteral("SELECT captureModeRawValue FROM CanvasCard")).toString(),
                 QStringLiteral("window"));
        QCOMPARE(queryValue(store, QStringLiteral("SELECT sourceWindowTitle FROM CanvasCard")).toString(), title);
        QCOMPARE(queryValue(store, QStringLiteral("SELECT sourceApplicationName FROM CanvasCard")).toString(),
                 QStringLiteral("KWinCaptureTest"));
        QCOMPARE(queryValue(store, QStringLiteral("SELECT sourceBundleIdentifier FROM CanvasCard")).toString(),
                 QStringLiteral("org.tessaline.KWinCaptureTest"));

        // A display capture names the app in front too.
        QProcess display;
        display.setProcessEnvironment(environment);
        display.start(QStringLiteral(TESSALINE_BINARY), {QStringLiteral("--capture-display")});
        QVERIFY(display.waitForFinished(patience));
        QCOMPARE(display.exitCode(), 0);
        const QString second = QStringLiteral("SELECT %1 FROM CanvasCard WHERE captureModeRawValue = 'display'");
        QTRY_COMPARE_WITH_TIMEOUT(queryValue(store, second.arg(QStringLiteral("sourceApplicationName"))).toString(),
                                  QStringLiteral("KWinCaptureTest"), patience);
        QCOMPARE(queryValue(store, second.arg(QStringLiteral("sourceBundleIdentifier"))).toString(),
                 QStringLiteral("org.tessaline.KWinCaptureTest"));
        app.stop();
    }
};

QTEST_MAIN(KWinWindowCaptureTest)
#include "tst_kwinwindowcapture.moc"
