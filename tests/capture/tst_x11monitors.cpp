#include "X11TestSupport.h"

#include "capture/RegionSelectionOverlay.h"

#include <QPointer>
#include <QScopeGuard>

#include <xcb/randr.h>
#include <xcb/xcbext.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include <poll.h>
#include <sys/prctl.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tessaline;
using namespace tessaline::x11test;

namespace {

// A laptop and an external screen on an X server of the test's own, so its
// monitors can be laid out without touching the test run's display: the
// laptop's (LEFT, 1920 x 1080, primary) lower than the external one
// (RIGHT, 2560 x 1440) to its right, with the space above the laptop on no
// monitor at all.
const QRect leftMonitor(0, 360, 1920, 1080);
const QRect rightMonitor(1920, 0, 2560, 1440);
// Each at a fractional scale of its own; the external one's 2560 pixels
// are no whole number of points at 1.5.
constexpr const char *scaleFactors = "LEFT=1.2;RIGHT=1.5";

class PrivateXServer
{
public:
    // Starts Xvfb on a free display and lays out the monitors; the display's
    // name, or empty when that failed.
    QByteArray start()
    {
        int pipe[2];
        if (::pipe(pipe) != 0)
            return {};
        const QByteArray fd = QByteArray::number(pipe[1]);
        const QByteArray size =
            QByteArray::number(rightMonitor.right() + 1) + 'x' + QByteArray::number(leftMonitor.bottom() + 1) + "x24";
        m_pid = ::fork();
        if (m_pid == 0) {
            // The server goes with the test, however the test ends.
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            ::close(pipe[0]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.constData(), "-screen", "0", size.constData(), "-nolisten",
                     "tcp", "-noreset", static_cast<char *>(nullptr));
            ::_exit(127);
        }
        ::close(pipe[1]);
        QByteArray number;
        pollfd readable{pipe[0], POLLIN, 0};
        char c = 0;
        while (m_pid > 0 && ::poll(&readable, 1, 20000) == 1 && ::read(pipe[0], &c, 1) == 1 && c != '\n')
            number.append(c);
        ::close(pipe[0]);
        if (number.isEmpty())
            return {};
        const QByteArray display = ':' + number;
        m_connection = xcb_connect(display.constData(), nullptr);
        if (xcb_connection_has_error(m_connection))
            return {};
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        return layOutMonitors() ? display : QByteArray();
    }

    ~PrivateXServer()
    {
        if (m_connection)
            xcb_disconnect(m_connection);
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    bool setMonitor(const char *name, const QRect &geometry, std::optional<xcb_randr_output_t> output = std::nullopt)
    {
        // The request is put together here: xcb's own, for a monitor
        // without outputs, fails its own length check and aborts.
        struct
        {
            uint8_t majorOpcode;
            uint8_t minorOpcode;
            uint16_t length;
            xcb_window_t window;
            xcb_randr_monitor_info_t info;
            xcb_randr_output_t output;
        } request{};
        const size_t size = output ? sizeof(request) : sizeof(request) - sizeof(xcb_randr_output_t);
        request.majorOpcode = xcb_get_extension_data(m_connection, &xcb_randr_id)->major_opcode;
        request.minorOpcode = XCB_RANDR_SET_MONITOR;
        request.length = uint16_t(size / 4);
        request.window = m_root;
        request.info.name = atomNamed(name);
        request.info.nOutput = output ? 1 : 0;
        request.output = output.value_or(0);
        request.info.x = int16_t(geometry.x());
        request.info.y = int16_t(geometry.y());
        request.info.width = uint16_t(geometry.width());
        request.info.height = uint16_t(geometry.height());
        request.info.width_in_millimeters = uint32_t(geometry.width() / 4);
        request.info.height_in_millimeters = uint32_t(geometry.height() / 4);
        iovec parts[3]{};
        parts[2] = {&request, size};
        const xcb_protocol_request_t protocol{1, &xcb_randr_id, XCB_RANDR_SET_MONITOR, 1};
        return succeeded(xcb_void_cookie_t{
            xcb_send_request(m_connection, XCB_REQUEST_CHECKED | XCB_REQUEST_RAW, parts + 2, &protocol)});
    }

    // A monitor unplugged: the server keeps its pixels, the desktop no
    // longer shows them.
    bool removeMonitor(const char *name)
    {
        return succeeded(xcb_randr_delete_monitor_checked(m_connection, m_root, atomNamed(name)));
    }

private:
    bool layOutMonitors()
    {
        std::free(xcb_randr_query_version_reply(m_connection, xcb_randr_query_version(m_connection, 1, 5), nullptr));
        xcb_randr_get_screen_resources_current_reply_t *resources = xcb_randr_get_screen_resources_current_reply(
            m_connection, xcb_randr_get_screen_resources_current(m_connection, m_root), nullptr);
        if (!resources || xcb_randr_get_screen_resources_current_outputs_length(resources) < 1) {
            std::free(resources);
            return false;
        }
        // The server's one output goes to the laptop's monitor, so that it
        // stands in for no monitor of its own.
        const xcb_randr_output_t output = xcb_randr_get_screen_resources_current_outputs(resources)[0];
        std::free(resources);
        return setMonitor("LEFT", leftMonitor, output) && setMonitor("RIGHT", rightMonitor);
    }

    xcb_atom_t atomNamed(const char *name)
    {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name), nullptr);
        xcb_atom_t atom = XCB_ATOM_NONE;
        if (reply)
            atom = reply->atom;
        std::free(reply);
        return atom;
    }

    bool succeeded(xcb_void_cookie_t request)
    {
        xcb_generic_error_t *error = xcb_request_check(m_connection, request);
        std::free(error);
        return !error;
    }

    pid_t m_pid = -1;
    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = XCB_WINDOW_NONE;
};

// The test's own X server, for the tests that change its monitors.
PrivateXServer *server = nullptr;

QString number(int value)
{
    return QString::number(value);
}

// What the X server shows in a rectangle of the root, read without the
// capture code under test.
QImage rootPixels(const X11Connection &x11, const QRect &rect)
{
    xcb_get_image_reply_t *reply = xcb_get_image_reply(
        x11.connection,
        xcb_get_image(x11.connection, XCB_IMAGE_FORMAT_Z_PIXMAP, x11.root, int16_t(rect.x()), int16_t(rect.y()),
                      uint16_t(rect.width()), uint16_t(rect.height()), ~0u),
        nullptr);
    if (!reply)
        return {};
    const QImage view(xcb_get_image_data(reply), rect.width(), rect.height(), rect.width() * 4, QImage::Format_RGB32);
    QImage result = view.copy();
    std::free(reply);
    return result;
}

// Where a window is, in X's pixels.
QRect nativeFrame(const X11Connection &x11, WId window)
{
    xcb_get_geometry_reply_t *geometry =
        xcb_get_geometry_reply(x11.connection, xcb_get_geometry(x11.connection, xcb_window_t(window)), nullptr);
    xcb_translate_coordinates_reply_t *origin = xcb_translate_coordinates_reply(
        x11.connection, xcb_translate_coordinates(x11.connection, xcb_window_t(window), x11.root, 0, 0), nullptr);
    const QRect frame = geometry && origin ? QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height) : QRect();
    std::free(geometry);
    std::free(origin);
    return frame;
}

// Every pixel of a tile differs from its neighbours, so a picture off by a
// pixel, or scaled, does not match.
void paintRootWithTiles(const X11Connection &x11)
{
    QImage tile(61, 53, QImage::Format_RGB32);
    for (int y = 0; y < tile.height(); ++y) {
        for (int x = 0; x < tile.width(); ++x)
            tile.setPixel(x, y, qRgb(x * 4, y * 4, (x * 7 + y * 11) % 256));
    }
    xcb_connection_t *c = x11.connection;
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    xcb_create_pixmap(c, x11.screen->root_depth, pixmap, x11.root, uint16_t(tile.width()), uint16_t(tile.height()));
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, pixmap, 0, nullptr);
    xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, uint16_t(tile.width()), uint16_t(tile.height()), 0, 0, 0,
                  x11.screen->root_depth, uint32_t(tile.sizeInBytes()), tile.constBits());
    xcb_free_gc(c, gc);
    xcb_change_window_attributes(c, x11.root, XCB_CW_BACK_PIXMAP, &pixmap);
    xcb_clear_area(c, 0, x11.root, 0, 0, 0, 0);
    xcb_free_pixmap(c, pixmap);
    x11.sync();
}

// Another application's window, at an exact place in X's pixels, with the
// input focus; it shows the root's tiles where it lies, as painted by the
// server once it is mapped.
xcb_window_t focusedWindow(const X11Connection &x11, const QRect &geometry)
{
    xcb_connection_t *c = x11.connection;
    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t values[] = {XCB_BACK_PIXMAP_PARENT_RELATIVE, 1};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, x11.root, int16_t(geometry.x()), int16_t(geometry.y()),
                      uint16_t(geometry.width()), uint16_t(geometry.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      x11.screen->root_visual, XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT, values);
    const char windowClass[] = "viewer\0Viewer";
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, sizeof(windowClass),
                        windowClass);
    const uint32_t pid = uint32_t(::getpid());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, x11.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
    xcb_map_window(c, window);
    xcb_set_input_focus(c, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    x11.sync();
    return window;
}

} // namespace

class X11MonitorsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void capturesKeepTheChosenPixels_data();
    void capturesKeepTheChosenPixels();
    void unpluggingTheMonitorEndsItsSelection();
};

void X11MonitorsTest::initTestCase()
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    QCOMPARE(screens.size(), 2);
    QCOMPARE(screens.at(0)->name(), QStringLiteral("LEFT"));
    QCOMPARE(screens.at(0)->devicePixelRatio(), 1.2);
    QCOMPARE(screens.at(1)->devicePixelRatio(), 1.5);
    paintRootWithTiles(*X11Connection::application());
}

void X11MonitorsTest::capturesKeepTheChosenPixels_data()
{
    QTest::addColumn<CaptureMode>("mode");
    // X's own pixels throughout: where the pointer goes (a region is
    // dragged from the first point to the last), the window, and the
    // rectangle of the root the capture must hold.
    QTest::addColumn<QList<QPoint>>("pointer");
    QTest::addColumn<QRect>("window");
    QTest::addColumn<QRect>("expected");

    QTest::newRow("display: the laptop's") << CaptureMode::display << QList<QPoint>{{500, 900}} << QRect() << leftMonitor;
    QTest::newRow("display: the external one") << CaptureMode::display << QList<QPoint>{{3000, 700}} << QRect() << rightMonitor;
    QTest::newRow("display: the external one's last row")
        << CaptureMode::display << QList<QPoint>{{3000, 1439}} << QRect() << rightMonitor;
    QTest::newRow("display: on the shared edge, the one to the right")
        << CaptureMode::display << QList<QPoint>{{1920, 700}} << QRect() << rightMonitor;
    QTest::newRow("display: on no monitor, the primary")
        << CaptureMode::display << QList<QPoint>{{500, 100}} << QRect() << leftMonitor;
    // Dragged from point to point: at 1.5, from (54, 68) to (254, 268); at
    // 1.2, 250 x 250 points below the laptop's top edge.
    QTest::newRow("region: on the external one at 1.5")
        << CaptureMode::region << QList<QPoint>{{2001, 102}, {2100, 250}, {2301, 402}} << QRect() << QRect(2001, 102, 300, 300);
    QTest::newRow("region: on the laptop at 1.2")
        << CaptureMode::region << QList<QPoint>{{300, 600}, {450, 700}, {600, 900}} << QRect() << QRect(300, 600, 300, 300);
    QTest::newRow("region: dragged on past the laptop's edge")
        << CaptureMode::region << QList<QPoint>{{1800, 1200}, {1900, 1300}, {2400, 1380}} << QRect()
        << QRect(1800, 1200, 120, 180);
    // Sizes whose points, multiplied back by the scale, come out a hair
    // over the whole pixels.
    QTest::newRow("window: on the laptop at 1.2")
        << CaptureMode::window << QList<QPoint>{} << QRect(301, 620, 310, 337) << QRect(301, 620, 310, 337);
    QTest::newRow("window: across both, mostly on the external one")
        << CaptureMode::window << QList<QPoint>{} << QRect(1700, 300, 601, 333) << QRect(1700, 300, 601, 333);
}

void X11MonitorsTest::capturesKeepTheChosenPixels()
{
    QFETCH(CaptureMode, mode);
    QFETCH(QList<QPoint>, pointer);
    QFETCH(QRect, window);
    QFETCH(QRect, expected);
    const X11Connection x11 = *X11Connection::application();
    std::optional<xcb_window_t> shown;
    const auto destroy = qScopeGuard([&] {
        if (shown) {
            xcb_destroy_window(x11.connection, *shown);
            x11.sync();
        }
    });
    if (window.isValid())
        shown = focusedWindow(x11, window);
    const QImage before = rootPixels(x11, expected);
    QVERIFY(!before.isNull());

    CaptureRig rig;
    QList<CaptureResult> results;
    rig.coordinator.onCaptureCompleted = [&](const CaptureResult &result) { results.append(result); };
    QString failure;
    rig.coordinator.onCaptureError = [&](const CaptureSubsystemError &error) { failure = error.errorDescription(); };
    if (!pointer.isEmpty())
        QVERIFY(xdotool({QStringLiteral("mousemove"), number(pointer.first().x()), number(pointer.first().y())}));
    rig.coordinator.beginCapture(mode);
    if (mode == CaptureMode::region) {
        QTRY_COMPARE(rig.coordinator.state().kind(), CaptureCoordinatorState::Kind::selectingRegion);
        auto *overlay = qobject_cast<RegionSelectionOverlayController *>(rig.coordinator.overlayController());
        QVERIFY(overlay);
        QTRY_VERIFY(overlay->hasInputGrab());
        // The overlay covers the monitor under the pointer, and that alone
        // (but for the pixel a size in Qt's units rounds up to).
        const QRect monitor = leftMonitor.contains(pointer.first()) ? leftMonitor : rightMonitor;
        const QRect panel = nativeFrame(x11, overlay->overlayWindow()->winId());
        QVERIFY2(panel.contains(monitor) && panel.width() - monitor.width() <= 1 && panel.height() - monitor.height() <= 1,
                 qPrintable(QStringLiteral("the overlay covers %1 x %2 at %3, %4")
                                .arg(panel.width()).arg(panel.height()).arg(panel.x()).arg(panel.y())));
        QStringList drag{QStringLiteral("mousedown"), number(1)};
        for (const QPoint &point : pointer.mid(1))
            drag << QStringLiteral("mousemove") << number(point.x()) << number(point.y());
        QVERIFY(xdotool(drag << QStringLiteral("mouseup") << number(1)));
    }
    QTRY_VERIFY(!results.isEmpty() || !failure.isEmpty());
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const QImage image = results.first().image.convertToFormat(QImage::Format_RGB32);
    QCOMPARE(image.size(), expected.size());
    QCOMPARE(image, before);
}

void X11MonitorsTest::unpluggingTheMonitorEndsItsSelection()
{
    CaptureRig rig;
    QVERIFY(xdotool({QStringLiteral("mousemove"), number(3000), number(700)}));
    rig.coordinator.beginCapture(CaptureMode::region);
    QTRY_COMPARE(rig.coordinator.state().kind(), CaptureCoordinatorState::Kind::selectingRegion);
    auto *overlay = qobject_cast<RegionSelectionOverlayController *>(rig.coordinator.overlayController());
    QVERIFY(overlay);
    QTRY_VERIFY(overlay->hasInputGrab());
    const QPointer<CaptureOverlayWindow> panel = overlay->overlayWindow();

    const auto plugBackIn = qScopeGuard([] {
        QVERIFY(server->setMonitor("RIGHT", rightMonitor));
        QTRY_COMPARE(QGuiApplication::screens().size(), 2);
    });
    QVERIFY(server->removeMonitor("RIGHT"));
    QTRY_COMPARE(QGuiApplication::screens().size(), 1);
    // Cancelled, and the input given back: the overlay was left over no
    // monitor, holding the keyboard and the pointer.
    QTRY_COMPARE(rig.cancellations, 1);
    QCOMPARE(rig.coordinator.state().kind(), CaptureCoordinatorState::Kind::idle);
    QVERIFY(!panel || !panel->isVisible());
}

int main(int argc, char *argv[])
{
    PrivateXServer xServer;
    server = &xServer;
    const QByteArray display = xServer.start();
    if (display.isEmpty()) {
        std::fprintf(stderr, "Xvfb with two RandR monitors could not be started\n");
        return 1;
    }
    qputenv("DISPLAY", display);
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("QT_SCREEN_SCALE_FACTORS", scaleFactors);
    QApplication application(argc, argv);
    X11MonitorsTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_x11monitors.moc"
