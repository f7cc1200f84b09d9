#include "X11TestSupport.h"
#include "../support/X11WindowManager.h"

#include "capture/DisplayCaptureService.h"
#include "platform/X11CaptureSystem.h"
#include "platform/X11WindowInfo.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <xcb/xcb.h>

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

using namespace tessaline;
using namespace tessaline::x11test;
using namespace tessaline::testing;

namespace {

void writeFile(const QString &path, const QByteArray &contents)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents);
}

} // namespace

class X11WindowInfoTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void desktopFileLookup_data();
    void desktopFileLookup();
    void applicationInstalledAfterALookup();
    void activeWindowUnderAWindowManager();
    void processIDFromTheXResourceExtension();

private:
    X11WindowManager m_windowManager;
    QTemporaryDir m_dataHome;
};

void X11WindowInfoTest::initTestCase()
{
    if (!X11Connection::application())
        QSKIP("needs an X11 display");
    const auto x11 = *X11Connection::application();
    QVERIFY(!x11.windowProperty(x11.root, "_NET_SUPPORTING_WM_CHECK"));
    QVERIFY(m_windowManager.start(x11));
}

void X11WindowInfoTest::desktopFileLookup_data()
{
    QTest::addColumn<QString>("instance");
    QTest::addColumn<QString>("windowClass");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("identifier");
    QTest::newRow("file named after the class") << "gedit" << "Gedit" << "Text Editor" << "gedit";
    QTest::newRow("StartupWMClass") << "navigator" << "Firefox-esr" << "Web Browser" << "vendor-browser";
    QTest::newRow("localized name") << "calc" << "Calc" << "Rechner" << "calc";
    QTest::newRow("no desktop file") << "xterm" << "XTerm" << "XTerm" << "xterm";
}

void X11WindowInfoTest::desktopFileLookup()
{
    QFETCH(QString, instance);
    QFETCH(QString, windowClass);
    QFETCH(QString, name);
    QFETCH(QString, identifier);
    QTemporaryDir data;
    const QString applications = data.path() + QStringLiteral("/applications/");
    writeFile(applications + QStringLiteral("gedit.desktop"), "[Desktop Entry]\nType=Application\nName=Text Editor\n");
    writeFile(applications + QStringLiteral("vendor/browser.desktop"),
              "[Desktop Entry]\nName=Web Browser\nStartupWMClass=Firefox-esr\n[Desktop Action new]\nName=New Window\n");
    writeFile(applications + QStringLiteral("calc.desktop"),
              "[Desktop Entry]\nName=Calculator\nName[" + QLocale().name().section(u'_', 0, 0).toUtf8() + "]=Rechner\n");
    const DesktopApplication application = X11WindowInfo::applicationForClass(instance, windowClass, {data.path()});
    QCOMPARE(application.name, std::optional<QString>(name));
    QCOMPARE(application.identifier, std::optional<QString>(identifier));
}

void X11WindowInfoTest::applicationInstalledAfterALookup()
{
    // Desktop files are read once and kept: one installed later must still
    // be found by its StartupWMClass.
    QTemporaryDir data;
    const QString applications = data.path() + QStringLiteral("/applications/");
    writeFile(applications + QStringLiteral("gedit.desktop"), "[Desktop Entry]\nName=Text Editor\nStartupWMClass=Ged\n");
    QCOMPARE(X11WindowInfo::applicationForClass(QStringLiteral("late"), QStringLiteral("Late"), {data.path()}).name,
             std::optional<QString>(QStringLiteral("Late")));
    writeFile(applications + QStringLiteral("org.example.late.desktop"),
              "[Desktop Entry]\nName=Late Arrival\nStartupWMClass=Late\n");
    // The directory's time as an installation a moment later leaves it: the
    // file system's clock may not have moved since the first lookup.
    const timespec later[2] = {{0, UTIME_OMIT}, {std::time(nullptr) + 5, 0}};
    QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(applications).constData(), later, 0) == 0);
    const DesktopApplication application =
        X11WindowInfo::applicationForClass(QStringLiteral("late"), QStringLiteral("Late"), {data.path()});
    QCOMPARE(application.name, std::optional<QString>(QStringLiteral("Late Arrival")));
    QCOMPARE(application.identifier, std::optional<QString>(QStringLiteral("org.example.late")));
}

void X11WindowInfoTest::activeWindowUnderAWindowManager()
{
    const auto x11 = *X11Connection::application();
    X11WindowInfo info(x11);
    const QColor colour(0x99, 0x33, 0x66);
    auto window = colouredWindow(QRect(100, 100, 400, 300), colour, true);
    window->setWindowTitle(QStringLiteral("Openbox Window Test \u2013 notes"));
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const xcb_window_t id = xcb_window_t(window->winId());
    // Asked the way a pager asks, which the window manager's focus-stealing
    // prevention lets through whatever the window's user time says.
    QVERIFY(xdotool({QStringLiteral("windowactivate"), QString::number(id)}));
    QTRY_COMPARE_WITH_TIMEOUT(info.activeWindow(), std::optional<xcb_window_t>(id), 10000);
    QCOMPARE(info.title(id), std::optional<QString>(QStringLiteral("Openbox Window Test \u2013 notes")));
    QCOMPARE(info.processID(id), std::optional<qint64>(QCoreApplication::applicationPid()));
    const auto windowClass = info.windowClass(id);
    QVERIFY(windowClass);

    // The application's name and identifier come from its desktop file.
    writeFile(m_dataHome.path() + QStringLiteral("/applications/org.example.windowtest.desktop"),
              "[Desktop Entry]\nType=Application\nName=Window Test\nStartupWMClass=" + windowClass->second.toUtf8() + "\n");
    qputenv("XDG_DATA_HOME", m_dataHome.path().toLocal8Bit());
    auto system = X11CaptureSystem::create();
    const auto application = system->frontmostApplication();
    QVERIFY(application);
    QCOMPARE(application->localizedName, std::optional<QString>(QStringLiteral("Window Test")));
    QCOMPARE(application->bundleIdentifier, std::optional<QString>(QStringLiteral("org.example.windowtest")));
    QCOMPARE(application->processIdentifier, QCoreApplication::applicationPid());

    // The window manager framed the window; the capture is the client area.
    QTRY_VERIFY(info.frame(id) && screenShows(*info.frame(id), colour));
    DisplayCaptureService service(std::move(system));
    const auto outcome = service.takeFrontmostWindow().result();
    if (!outcome)
        QFAIL(qPrintable(outcome.error().errorDescription()));
    const CapturedWindow captured = *outcome;
    QCOMPARE(captured.windowID, quint32(id));
    QCOMPARE(captured.windowTitle, std::optional<QString>(QStringLiteral("Openbox Window Test \u2013 notes")));
    QCOMPARE(captured.image.size(), QSize(400, 300));
    QCOMPARE(QColor(captured.image.pixel(0, 0)), colour);
    QCOMPARE(QColor(captured.image.pixel(399, 299)), colour);
    QCOMPARE(captured.rectInDisplay, QRectF(*info.frame(id)));
    const CaptureResult result = captured.captureResult();
    QCOMPARE(result.sourceApplicationName, std::optional<QString>(QStringLiteral("Window Test")));
    QCOMPARE(result.sourceWindowTitle, captured.windowTitle);
    qunsetenv("XDG_DATA_HOME");
}

void X11WindowInfoTest::processIDFromTheXResourceExtension()
{
    // A bare window from another connection of this process, without
    // _NET_WM_PID: the server still knows which local client made it.
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 10, 10, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    X11WindowInfo info(*X11Connection::application());
    QCOMPARE(info.processID(window), std::optional<qint64>(QCoreApplication::applicationPid()));
    QCOMPARE(info.title(window), std::nullopt);
    QCOMPARE(info.windowClass(window), std::nullopt);
    xcb_disconnect(connection);
}

QTEST_MAIN(X11WindowInfoTest)
#include "tst_x11windowinfo.moc"
