// Which backends a session gets, the null backend's answers, and the rules
// the portal backends follow that need no desktop: which files they delete,
// which part of a desktop picture shows a display, how shortcuts are named.
#include "platform/PlatformFactory.h"
#include "platform/HotKeySystem.h"
#include "platform/PortalCaptureSystem.h"
#include "platform/PortalHotKeys.h"
#include "platform/QtScreenCaptureSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

#include <utility>

using namespace tessaline;

Q_DECLARE_METATYPE(tessaline::WindowSession)

class PlatformFactoryTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sessions_data()
    {
        QTest::addColumn<QString>("platform");
        QTest::addColumn<bool>("waylandDisplay");
        QTest::addColumn<WindowSession>("expected");
        QTest::newRow("X11") << "xcb" << false << WindowSession::x11;
        // XWayland under a Wayland desktop is X11 as far as our windows go.
        QTest::newRow("XWayland") << "xcb" << true << WindowSession::x11;
        QTest::newRow("Wayland") << "wayland" << true << WindowSession::wayland;
        QTest::newRow("Wayland with EGL") << "wayland-egl" << true << WindowSession::wayland;
        QTest::newRow("Wayland plugin without a compositor") << "wayland" << false << WindowSession::none;
        QTest::newRow("offscreen") << "offscreen" << true << WindowSession::none;
        QTest::newRow("framebuffer") << "linuxfb" << false << WindowSession::none;
    }

    void sessions()
    {
        QFETCH(QString, platform);
        QFETCH(bool, waylandDisplay);
        QFETCH(WindowSession, expected);
        QCOMPARE(PlatformFactory::detectSession(platform, waylandDisplay), expected);
    }

    void neitherSessionSaysWhyNothingWorks()
    {
        // The offscreen platform of this test is neither X11 nor Wayland.
        PlatformBackends backends = PlatformFactory::create();
        QCOMPARE(backends.session, WindowSession::none);
        const auto displays = backends.captureSystem->shareableDisplays().value();
        QVERIFY(!displays.isEmpty());
        const auto picture = backends.captureSystem->captureDisplayImage(displays.first(), QSize(10, 10));
        QVERIFY(picture.isFinished());
        const auto result = picture.result();
        QVERIFY(!result);
        const CaptureSystemError *error = &result.error();
        QVERIFY(!error->permissionDenied);
        QCOMPARE(error->message, NullCaptureSystem::unavailableMessage());
        // Nobody is refused access; a picture simply cannot be had.
        QVERIFY(backends.captureSystem->hasCaptureAccess());
        // No source application is guessed.
        QCOMPARE(backends.captureSystem->frontmostApplication(), std::nullopt);
        HotKeyReference reference = 0;
        QCOMPARE(backends.hotKeySystem->installEventHandler([](const HotKeyEvent &) { return true; }),
                 HotKeyStatus::noWindowSystem);
        QCOMPARE(backends.hotKeySystem->registerHotKey(HotKeyRequest{21, HotKeyModifier::command, {}, {}}, &reference),
                 HotKeyStatus::noWindowSystem);
        QCOMPARE(reference, HotKeyReference(0));
    }

    void filesThePortalHandsOver_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("ours");
        QTest::newRow("written for the request, in the temporary directory") << "temporary" << true;
        QTest::newRow("written for the request, elsewhere (a pictures folder)") << "elsewhere" << true;
        QTest::newRow("the user's, from before the request") << "older" << false;
        QTest::newRow("a link in the temporary directory") << "link" << false;
        QTest::newRow("gone already") << "missing" << false;
        if (::getuid() == 0)
            QTest::newRow("another user's") << "foreign" << false;
    }

    void filesThePortalHandsOver()
    {
        QFETCH(QString, kind);
        QFETCH(bool, ours);
        const QDateTime requestStarted = QDateTime::currentDateTimeUtc();
        // Both folders are made in the real temporary folder, and the first
        // one is made the temporary folder and the runtime folder for the
        // check, so the second is elsewhere wherever the test runs (from a
        // clone under /tmp too).
        QTemporaryDir temporary;
        QTemporaryDir elsewhere;
        QVERIFY(temporary.isValid() && elsewhere.isValid());
        const QByteArray previousTemporary = qgetenv("TMPDIR");
        const QByteArray previousRuntime = qgetenv("XDG_RUNTIME_DIR");
        const auto restore = qScopeGuard([&] {
            for (const auto &[name, value] : {std::pair{"TMPDIR", previousTemporary},
                                              std::pair{"XDG_RUNTIME_DIR", previousRuntime}}) {
                if (value.isNull())
                    qunsetenv(name);
                else
                    qputenv(name, value);
            }
        });
        qputenv("TMPDIR", QFile::encodeName(temporary.path()));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(temporary.path()));
        QCOMPARE(QFileInfo(QDir::tempPath()).canonicalFilePath(), QFileInfo(temporary.path()).canonicalFilePath());
        const QString inTemporary = temporary.filePath(QStringLiteral("Screenshot.png"));
        const QString inElsewhere = elsewhere.filePath(QStringLiteral("Screenshot.png"));
        for (const QString &path : {inTemporary, inElsewhere}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("png");
        }
        QString path = inTemporary;
        if (kind == QLatin1String("elsewhere")) {
            path = inElsewhere;
        } else if (kind == QLatin1String("older")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(requestStarted.addSecs(-3600), QFileDevice::FileModificationTime));
        } else if (kind == QLatin1String("link")) {
            path = temporary.filePath(QStringLiteral("link.png"));
            QVERIFY(QFile::link(inElsewhere, path));
        } else if (kind == QLatin1String("missing")) {
            path = temporary.filePath(QStringLiteral("gone.png"));
        } else if (kind == QLatin1String("foreign")) {
            QVERIFY(::chown(QFile::encodeName(path).constData(), 65534, 65534) == 0);
        }
        QCOMPARE(PortalCaptureSystem::isPictureOfRequest(path, requestStarted), ours);
    }

    void displayPartOfTheDesktopPicture_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QRect>("desktop");
        QTest::addColumn<QRect>("display");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("one display") << QSize(1920, 1080) << QRect(0, 0, 1920, 1080) << QRect(0, 0, 1920, 1080)
                                     << QRect(0, 0, 1920, 1080);
        QTest::newRow("right of two") << QSize(3840, 1080) << QRect(0, 0, 3840, 1080) << QRect(1920, 0, 1920, 1080)
                                      << QRect(1920, 0, 1920, 1080);
        QTest::newRow("right of two at twice the pixels")
            << QSize(7680, 2160) << QRect(0, 0, 3840, 1080) << QRect(1920, 0, 1920, 1080) << QRect(3840, 0, 3840, 2160);
        QTest::newRow("desktop left of the origin") << QSize(2000, 1000) << QRect(-1000, 0, 2000, 1000)
                                                    << QRect(0, 0, 1000, 1000) << QRect(1000, 0, 1000, 1000);
        QTest::newRow("display outside the picture") << QSize(1920, 1080) << QRect(0, 0, 1920, 1080)
                                                     << QRect(1920, 0, 1920, 1080) << QRect();
    }

    void displayPartOfTheDesktopPicture()
    {
        QFETCH(QSize, picture);
        QFETCH(QRect, desktop);
        QFETCH(QRect, display);
        QFETCH(QRect, expected);
        // Each pixel knows where it came from.
        QImage image(picture, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); y += 7) {
            auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                row[x] = qRgb(x % 256, (x / 256) % 256, y % 256);
        }
        const QImage part = PortalCaptureSystem::displayPart(image, desktop, display);
        if (expected.isNull()) {
            QVERIFY(part.isNull());
            return;
        }
        QCOMPARE(part.size(), expected.size());
        QCOMPARE(part.pixel(0, 0), image.pixel(expected.topLeft()));
        QCOMPARE(part.pixel(part.width() - 1, 0), image.pixel(expected.right(), expected.top()));
    }

    void shortcutsAsTheDesktopNamesThem_data()
    {
        QTest::addColumn<quint32>("keyCode");
        QTest::addColumn<quint32>("modifiers");
        QTest::addColumn<QString>("trigger");
        QTest::newRow("Ctrl+Super+4") << 21u << (HotKeyModifier::command | HotKeyModifier::control) << "CTRL+LOGO+4";
        QTest::newRow("Ctrl+Shift+F9") << 101u << (HotKeyModifier::command | HotKeyModifier::shift) << "CTRL+SHIFT+F9";
        QTest::newRow("all four, N") << 45u
                                     << (HotKeyModifier::command | HotKeyModifier::option | HotKeyModifier::shift
                                         | HotKeyModifier::control)
                                     << "CTRL+ALT+SHIFT+LOGO+n";
        QTest::newRow("keypad plus") << 69u << HotKeyModifier::option << "ALT+KP_Add";
        QTest::newRow("the key left of Escape's row") << 50u << HotKeyModifier::command << "CTRL+grave";
        QTest::newRow("no such key on a PC keyboard") << 52u << HotKeyModifier::command << "";
        QTest::newRow("beyond the catalog") << 200u << HotKeyModifier::command << "";
    }

    void shortcutsAsTheDesktopNamesThem()
    {
        QFETCH(quint32, keyCode);
        QFETCH(quint32, modifiers);
        QFETCH(QString, trigger);
        QCOMPARE(PortalHotKeys::preferredTrigger(keyCode, modifiers), trigger);
        QCOMPARE(PortalHotKeys::shortcutID(QStringLiteral("Capture Region")), QStringLiteral("capture-region"));
    }

    // A desktop that binds a shortcut to another key than the one asked
    // for, or to none, has not bound the user's shortcut.
    void boundTriggerMatchesTheOneAskedFor_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("preferred");
        QTest::addColumn<bool>("matches");
        QTest::newRow("KDE's spelling") << "Ctrl+Meta+4" << "CTRL+LOGO+4" << true;
        QTest::newRow("another order") << "Shift+Ctrl+F9" << "CTRL+SHIFT+F9" << true;
        QTest::newRow("letters in either case") << "Ctrl+Alt+Shift+Super+N" << "CTRL+ALT+SHIFT+LOGO+n" << true;
        QTest::newRow("another key") << "Ctrl+Meta+5" << "CTRL+LOGO+4" << false;
        QTest::newRow("a modifier short") << "Ctrl+4" << "CTRL+LOGO+4" << false;
        QTest::newRow("a modifier more") << "Ctrl+Alt+Meta+4" << "CTRL+LOGO+4" << false;
        QTest::newRow("no key at all") << "" << "CTRL+LOGO+4" << false;
        // Punctuation goes by each desktop's own names: the modifiers decide.
        QTest::newRow("a named key") << "Ctrl+`" << "CTRL+grave" << true;
        QTest::newRow("a named key, other modifiers") << "Alt+`" << "CTRL+grave" << false;
    }

    void boundTriggerMatchesTheOneAskedFor()
    {
        QFETCH(QString, description);
        QFETCH(QString, preferred);
        QFETCH(bool, matches);
        QCOMPARE(PortalHotKeys::triggerMatches(description, preferred), matches);
    }
};

QTEST_MAIN(PlatformFactoryTest)
#include "tst_platformfactory.moc"
