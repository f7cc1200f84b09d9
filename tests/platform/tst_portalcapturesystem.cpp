// The screenshot portal of a real (headless) Wayland desktop: the picture it
// hands over, and what a desktop without the portal gives.
#include "../support/WaylandTestSupport.h"

#include "platform/PlatformTexts.h"
#include "platform/PortalCaptureSystem.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QScopeGuard>
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

QDBusMessage permissionStore(const QString &method, const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        PortalCaptureSystem::permissionStoreService(), QStringLiteral("/org/freedesktop/impl/portal/PermissionStore"),
        QStringLiteral("org.freedesktop.impl.portal.PermissionStore"), method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, patience);
}

// The desktop's stored answer to "Allow screenshots?" for apps outside a
// sandbox (xdg-desktop-portal 1.16 names them all ""); empty when none is kept.
QStringList storedScreenshotAnswer()
{
    const QString table = PortalCaptureSystem::screenshotPermissionTable();
    const QDBusMessage reply = permissionStore(QStringLiteral("Lookup"), {table, table});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    const QDBusArgument map = reply.arguments().constFirst().value<QDBusArgument>();
    QStringList answer;
    map.beginMap();
    while (!map.atEnd()) {
        QString app;
        QStringList allowed;
        map.beginMapEntry();
        map >> app >> allowed;
        map.endMapEntry();
        if (app.isEmpty())
            answer = allowed;
    }
    map.endMap();
    return answer;
}

bool storeScreenshotAnswer(const QString &answer)
{
    const QString table = PortalCaptureSystem::screenshotPermissionTable();
    return permissionStore(QStringLiteral("SetPermission"), {table, true, table, QString(), QStringList{answer}}).type()
        == QDBusMessage::ReplyMessage;
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
            TESSALINE_SKIP_WITHOUT_SESSION(qPrintable(missing));
    }

    void pictureShowsTheWholeOutput()
    {
        PatternWindow pattern;
        pattern.showFullScreen();
        QVERIFY(QTest::qWaitForWindowExposed(&pattern, patience));
        QTRY_COMPARE_WITH_TIMEOUT(pattern.paintedSize, pattern.screen()->size(), patience);
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
        QTRY_VERIFY_WITH_TIMEOUT(showsPattern(), patience);
        QCOMPARE(picture.size(), output);
        QCOMPARE(picture.format(), QImage::Format_RGB32);
        QVERIFY(system.hasCaptureAccess());
        QVERIFY(system.lastTimings().roundTripNanoseconds > 0);
    }

    // The file the portal wrote for a picture is gone once read, wherever
    // the portal put it: sway's always writes /tmp/out.png, whatever the
    // temporary directory is; GNOME's a new Screenshot-N.png in the
    // session user's home.
    void thePortalsFileGoesOnceRead()
    {
        const QDir gnomeHome(qEnvironmentVariable("WAYLAND_SESSION_DIR") + QStringLiteral("/home"));
        const QStringList gnomePictures{QStringLiteral("Screenshot*.png")};
        if (flavour() == QLatin1String("gnome") && !gnomeHome.exists())
            TESSALINE_SKIP_WITHOUT_SESSION("needs WAYLAND_SESSION_DIR, where GNOME's portal writes");
        const QStringList before = gnomeHome.entryList(gnomePictures, QDir::Files);
        QTemporaryDir elsewhere;
        const QByteArray savedTemporary = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(elsewhere.path()));
        PortalCaptureSystem system(true);
        const auto displays = system.shareableDisplays().value();
        const auto result = waitFor(system.captureDisplayImage(displays.first(), QSize(200, 100)));
        const QDateTime read = QDateTime::currentDateTimeUtc();
        qputenv("TMPDIR", savedTemporary);
        QVERIFY2(result, qPrintable(result ? QString() : result.error().message));
        if (flavour() == QLatin1String("gnome")) {
            QCOMPARE(gnomeHome.entryList(gnomePictures, QDir::Files), before);
        } else {
            const QFileInfo file(QStringLiteral("/tmp/out.png"));
            // Another session on this machine may have written a new one since.
            QVERIFY(!file.exists() || file.lastModified() > read);
        }
    }

    // GNOME keeps the user's "no" and never asks again, and its settings
    // cannot undo that for an app outside a sandbox: asking for access again
    // makes the desktop ask at the next picture.
    void aKeptRefusalIsAskedAgain()
    {
        if (flavour() != QLatin1String("gnome"))
            QSKIP("only GNOME's portal asks first and keeps the answer");
        QVERIFY(storeScreenshotAnswer(QStringLiteral("no")));
        const auto grantAgain = qScopeGuard([] { storeScreenshotAnswer(QStringLiteral("yes")); });
        PortalCaptureSystem system(true);
        const auto displays = system.shareableDisplays().value();
        const auto result = waitFor(system.captureDisplayImage(displays.first(), QSize(100, 100)));
        QVERIFY(!result);
        QVERIFY(result.error().permissionDenied);
        QCOMPARE(result.error().message, PlatformTexts::screenshotPortalRefused());
        QVERIFY(!system.hasCaptureAccess());

        QVERIFY(system.requestCaptureAccess());
        QTRY_COMPARE_WITH_TIMEOUT(storedScreenshotAnswer(), QStringList(), patience);
    }

    // A capture asked from one of the app's own windows (its toolbar's
    // Capture) names the app as its source, as on X11: the desktop tells no
    // app which one is in front, but the app knows when it is. Another app
    // in front stays unknown.
    void theAppInFrontIsThisOneWhileItHasTheKeyboard()
    {
        PortalCaptureSystem system(true);
        PatternWindow window;
        window.setWindowTitle(QStringLiteral("Own window of the test"));
        window.showFullScreen();
        QVERIFY(QTest::qWaitForWindowExposed(&window, patience));
        // A click gives the window the keyboard, as a hand would.
        const QPoint middle = window.screen()->geometry().center();
        QVERIFY(input({QStringLiteral("click"), QString::number(middle.x()), QString::number(middle.y())}));
        QTRY_VERIFY_WITH_TIMEOUT(QGuiApplication::focusWindow() == window.windowHandle(), patience);
        const auto application = system.frontmostApplication();
        QVERIFY(application.has_value());
        QCOMPARE(application->localizedName, QGuiApplication::applicationDisplayName());
        QCOMPARE(application->processIdentifier, QCoreApplication::applicationPid());

        window.hide();
        QTRY_VERIFY_WITH_TIMEOUT(!system.frontmostApplication().has_value(), patience);
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
