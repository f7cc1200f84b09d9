#include "X11TestSupport.h"
#include "../support/PngBytes.h"

#include "capture/CaptureCoordinator.h"
#include "capture/DisplayCaptureService.h"
#include "platform/ArrivingPngEncoding.h"
#include "platform/UserDefaults.h"
#include "platform/X11CaptureSystem.h"
#include "platform/X11WindowInfo.h"

#include <xcb/composite.h>

#include <QCursor>
#include <QtConcurrent/QtConcurrentRun>
#include <QMenu>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QScreen>
#include <QScopeGuard>

using namespace tessaline;
using namespace tessaline::x11test;

namespace {

// Every pixel of the image has this colour.
bool uniform(const QImage &image, QRgb colour)
{
    for (int y = 0; y < image.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (row[x] != colour)
                return false;
        }
    }
    return true;
}

// A pixmap of the root's depth holding `picture`, sent in bands a request
// can hold; freed with the returned guard.
std::shared_ptr<xcb_pixmap_t> pixmapShowing(const X11Connection &x11, const QImage &picture)
{
    xcb_connection_t *c = x11.connection;
    auto pixmap = std::shared_ptr<xcb_pixmap_t>(new xcb_pixmap_t(xcb_generate_id(c)), [c](xcb_pixmap_t *p) {
        xcb_free_pixmap(c, *p);
        xcb_flush(c);
        delete p;
    });
    xcb_create_pixmap(c, x11.screen->root_depth, *pixmap, x11.root, uint16_t(picture.width()), uint16_t(picture.height()));
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, *pixmap, 0, nullptr);
    const size_t maxBytes = size_t(xcb_get_maximum_request_length(c)) * 4 - 1024;
    const int rowsPerBand = std::max(1, int(maxBytes / size_t(picture.bytesPerLine())));
    for (int y = 0; y < picture.height(); y += rowsPerBand) {
        const int rows = std::min(rowsPerBand, picture.height() - y);
        xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, *pixmap, gc, uint16_t(picture.width()), uint16_t(rows), 0, int16_t(y), 0,
                      x11.screen->root_depth, uint32_t(rows * picture.bytesPerLine()), picture.constScanLine(y));
    }
    xcb_free_gc(c, gc);
    x11.sync();
    return pixmap;
}

} // namespace

class X11DisplayCaptureTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void grabOfAKnownWindow_data();
    void grabOfAKnownWindow();
    void grabOutsideTheRootFails();
    void stripWiseGrabIsTheWholePicture_data();
    void stripWiseGrabIsTheWholePicture();
    void nextGrabWaitsForTheSegment();
    void drawableResizedBetweenStrips_data();
    void drawableResizedBetweenStrips();
    void displaysMatchTheServer();
    void displayUnderPointer();
    void frontmostWindowFromInputFocus();
    void compositedWindowIgnoresWhatCoversIt();
    void captureFromOurMenuLeavesTheMenuOut();
};

void X11DisplayCaptureTest::initTestCase()
{
    if (!X11Connection::application())
        QSKIP("needs an X11 display");
}

void X11DisplayCaptureTest::grabOfAKnownWindow_data()
{
    QTest::addColumn<bool>("sharedMemory");
    QTest::newRow("MIT-SHM") << true;
    QTest::newRow("plain GetImage") << false;
}

void X11DisplayCaptureTest::grabOfAKnownWindow()
{
    QFETCH(bool, sharedMemory);
    const QRect geometry(200, 150, 320, 240);
    const QColor colour(0x33, 0x66, 0xcc);
    auto window = colouredWindow(geometry, colour);
    QTRY_VERIFY(screenShows(geometry, colour));

    X11DisplayCapture capture(*X11Connection::application());
    capture.setSharedMemoryAllowed(sharedMemory);
    X11GrabTimings timings;
    auto result = capture.grabRoot(geometry, &timings);
    QVERIFY(result);
    const QImage image = *result;
    QCOMPARE(timings.usedSharedMemory, sharedMemory && capture.hasSharedMemory());
    QCOMPARE(image.size(), geometry.size());
    QCOMPARE(image.format(), QImage::Format_RGB32);
    QVERIFY(uniform(image, colour.rgb()));

    // One pixel beyond the window shows the root, not the window.
    auto wider = capture.grabRoot(geometry.adjusted(-1, 0, 0, 0)).value();
    QVERIFY(wider.pixel(0, 0) != colour.rgb());
    QCOMPARE(wider.pixel(1, 0), colour.rgb());
    // The earlier pictures stay as they were while later grabs reuse and
    // then give back the buffers.
    capture.releaseBuffers();
    const auto again = capture.grabRoot(geometry);
    QVERIFY(again);
    QVERIFY(uniform(*again, colour.rgb()));
    QVERIFY(uniform(image, colour.rgb()));
    QCOMPARE(wider.size(), geometry.adjusted(-1, 0, 0, 0).size());

    // A picture outlives the capture that took it, and a later capture
    // does not write over it.
    QImage orphan;
    {
        X11DisplayCapture shortLived(*X11Connection::application());
        shortLived.setSharedMemoryAllowed(sharedMemory);
        orphan = shortLived.grabRoot(geometry).value();
    }
    X11DisplayCapture later(*X11Connection::application());
    later.setSharedMemoryAllowed(sharedMemory);
    QList<QImage> corners;
    for (int i = 0; i < 3; ++i)
        corners.append(later.grabRoot(geometry.translated(-geometry.topLeft())).value());
    QVERIFY(uniform(orphan, colour.rgb()));
    QVERIFY(uniform(later.grabRoot(geometry).value(), colour.rgb()));
    for (const QImage &corner : std::as_const(corners))
        QVERIFY(!uniform(corner, colour.rgb()) && corner.pixel(0, 0) == corners.first().pixel(0, 0));
}

void X11DisplayCaptureTest::grabOutsideTheRootFails()
{
    X11DisplayCapture capture(*X11Connection::application());
    const auto result = capture.grabRoot(QRect(5000, 5000, 10, 10));
    QVERIFY(!result);
    QVERIFY(!result.error().permissionDenied);
    // The message reaches the user: it names no X request or error number.
    const QString message = result.error().message;
    QVERIFY2(!message.contains(QRegularExpression(QStringLiteral("[0-9]|GetImage"))), qPrintable(message));
    QVERIFY(!message.isEmpty());
}

void X11DisplayCaptureTest::stripWiseGrabIsTheWholePicture_data()
{
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<int>("stripRows");
    // Odd sizes and offsets, strips that do not divide the height, a strip
    // of one row, and one strip for all.
    QTest::newRow("row by row") << QRect(3, 5, 1001, 37) << 1;
    QTest::newRow("uneven strips") << QRect(7, 1, 999, 509) << 37;
    QTest::newRow("one strip") << QRect(0, 0, 1013, 517) << 600;
    QTest::newRow("one pixel") << QRect(1012, 516, 1, 1) << 1;
}

void X11DisplayCaptureTest::stripWiseGrabIsTheWholePicture()
{
    QFETCH(QRect, rect);
    QFETCH(int, stripRows);
    const X11Connection x11 = *X11Connection::application();
    X11DisplayCapture capture(x11);
    if (!capture.hasSharedMemory())
        QSKIP("the server offers no shared memory");
    // Noise: any strip put in the wrong place, or written twice, shows.
    const QImage picture = testing::noisePicture(QSize(1013, 517), 12345);
    const auto pixmap = pixmapShowing(x11, picture);

    // The segment first holds another picture, so an encoding that read a
    // strip before the server had written it would show it.
    QVERIFY(capture.grab(x11.root, rect));
    capture.setStripBytes(qsizetype(stripRows) * rect.width() * 4);
    QList<int> strips;
    capture.setAfterStrip([&](int rowsDone) { strips.append(rowsDone); });
    X11GrabTimings timings;
    // Encoded as the strips arrive, and handed over once the picture is.
    ArrivingPngEncoding encoding;
    const auto grabbed = capture.grab(*pixmap, rect, &timings, encoding.arrivals());
    QVERIFY(grabbed);
    const std::optional<EarlyPng> early = encoding.finish(&*grabbed);
    QVERIFY(early && early->encodes(*grabbed));
    const std::optional<QByteArray> png = encodePng(*grabbed);
    QVERIFY(png);
    QCOMPARE(early->result(), png);
    QCOMPARE(QImage::fromData(*png, "PNG").convertToFormat(QImage::Format_RGB32), picture.copy(rect));
    QVERIFY(timings.usedSharedMemory);
    QCOMPARE(grabbed->size(), rect.size());
    QCOMPARE(grabbed->format(), QImage::Format_RGB32);
    QCOMPARE(strips.size(), (rect.height() + stripRows - 1) / stripRows);
    QCOMPARE(strips.first(), std::min(stripRows, rect.height()));
    QCOMPARE(strips.last(), rect.height());
    QCOMPARE(*grabbed, picture.copy(rect));

    X11DisplayCapture plain(x11);
    plain.setSharedMemoryAllowed(false);
    QCOMPARE(plain.grab(*pixmap, rect).value(), *grabbed);
}

void X11DisplayCaptureTest::nextGrabWaitsForTheSegment()
{
    const X11Connection x11 = *X11Connection::application();
    X11DisplayCapture capture(x11);
    if (!capture.hasSharedMemory())
        QSKIP("the server offers no shared memory");
    const QRect rect(0, 0, 640, 480);
    QVERIFY(capture.awaitFreeSegment(rect.size(), 0)); // nothing grabbed yet
    auto first = capture.grab(x11.root, rect);
    QVERIFY(first);
    const uchar *memory = first->constBits();
    // Held by a picture still in use (being encoded, say), even by a copy.
    QImage copy = *first;
    first = unexpected(CaptureSystemError{});
    QVERIFY(!capture.awaitFreeSegment(rect.size(), 0));
    // A larger grab needs a segment of its own anyway: nothing to wait for.
    QVERIFY(capture.awaitFreeSegment(QSize(640, 481), 0));
    auto waited = QtConcurrent::run([&] { return capture.awaitFreeSegment(rect.size(), 600'000); });
    // Let go on another thread than the one waiting, as an encoder does.
    copy = QImage();
    QVERIFY(waited.result());
    // The next grab writes into the same memory again.
    const auto second = capture.grab(x11.root, rect);
    QVERIFY(second);
    QCOMPARE(second->constBits(), memory);
}

void X11DisplayCaptureTest::drawableResizedBetweenStrips_data()
{
    QTest::addColumn<int>("newHeight");
    QTest::addColumn<bool>("grabbed");
    QTest::newRow("shrinks under the rows still to come") << 100 << false;
    QTest::newRow("grows") << 400 << true;
}

void X11DisplayCaptureTest::drawableResizedBetweenStrips()
{
    QFETCH(int, newHeight);
    QFETCH(bool, grabbed);
    const X11Connection x11 = *X11Connection::application();
    X11DisplayCapture capture(x11);
    if (!capture.hasSharedMemory())
        QSKIP("the server offers no shared memory");
    // A window of one colour stands for a display whose size changes while
    // it is grabbed: the rows asked for after the change are outside it.
    xcb_connection_t *c = x11.connection;
    const xcb_window_t window = xcb_generate_id(c);
    const QRgb colour = 0xFF2288AA;
    const uint32_t values[] = {colour & 0xFFFFFF, 1};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, x11.root, 40, 40, 300, 240, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      x11.screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(c, window);
    x11.sync();
    const auto destroy = qScopeGuard([&] {
        xcb_destroy_window(c, window);
        xcb_flush(c);
    });
    const QRect rect(0, 0, 300, 240);
    QTRY_VERIFY(capture.grab(window, rect) && uniform(capture.grab(window, rect).value(), colour));

    capture.setStripBytes(64 * 300 * 4);
    capture.setAfterStrip([&](int rowsDone) {
        if (rowsDone == 64) {
            const uint32_t height = uint32_t(newHeight);
            xcb_configure_window(c, window, XCB_CONFIG_WINDOW_HEIGHT, &height);
        }
    });
    const auto result = capture.grab(window, rect);
    QCOMPARE(bool(result), grabbed);
    if (result) {
        QCOMPARE(result->size(), rect.size());
        QVERIFY(uniform(*result, colour));
    } else {
        QVERIFY(!result.error().message.isEmpty());
    }
    // Nothing of the failed grab is left waiting on the connection: the next
    // grab of what is there now succeeds.
    capture.setAfterStrip(nullptr);
    const QRect now(0, 0, 300, std::min(newHeight, 240));
    QTRY_VERIFY(capture.grab(window, now) && uniform(capture.grab(window, now).value(), colour));
}

void X11DisplayCaptureTest::displaysMatchTheServer()
{
    auto system = X11CaptureSystem::create();
    QVERIFY(system);
    const QList<X11Display> displays = system->displays();
    QCOMPARE(displays.size(), QGuiApplication::screens().size());
    const X11Display &primary = displays.first();
    QVERIFY(primary.displayID != 0);
    QCOMPARE(primary.nativeGeometry, QGuiApplication::primaryScreen()->geometry());
    // The primary's screen frame starts at the screen origin.
    const QList<SystemScreen> screens = system->screens();
    QCOMPARE(screens.first().frame.topLeft(), QPointF(0, 0));
    QCOMPARE(screens.first().displayNumber, std::optional<quint32>(primary.displayID));
    QCOMPARE(system->displayPixelSize(primary.displayID), primary.nativeGeometry.size());
}

void X11DisplayCaptureTest::displayUnderPointer()
{
    const QColor colour(0xee, 0x22, 0x44);
    const QRect geometry(600, 300, 100, 80);
    auto window = colouredWindow(geometry, colour);
    QTRY_VERIFY(screenShows(geometry, colour));
    QVERIFY(xdotool({QStringLiteral("mousemove"), QStringLiteral("650"), QStringLiteral("340")}));
    QTRY_COMPARE(QCursor::pos(), QPoint(650, 340));

    auto system = X11CaptureSystem::create();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    // The pointer in screen coordinates: y counted up from the bottom.
    QCOMPARE(system->pointerLocation(), QPointF(650, screen.height() - 340 - 1));

    DisplayCaptureService service(std::move(system));
    const auto outcome = service.takeDisplayUnderPointer().result();
    QVERIFY(outcome);
    const FrozenDisplayCapture capture = *outcome;
    QCOMPARE(capture.image.size(), screen.size());
    QCOMPARE(capture.target.pixelSize, QSizeF(screen.size()));
    QCOMPARE(capture.target.screenFrame, QRectF(QPointF(0, 0), QSizeF(screen.size())));
    QCOMPARE(capture.image.pixel(geometry.center()), colour.rgb());
    // The crop of the window's rectangle is the window.
    const auto crop = capture.croppedImage(QRectF(geometry));
    QVERIFY(crop);
    QVERIFY(uniform(*crop, colour.rgb()));

    // The picture a region is cut from comes without a PNG; kept whole, the
    // picture's PNG is made as it arrives and comes with it: the file is
    // the picture, as encoding it afresh gives.
    QVERIFY(!capture.png);
    const auto whole = service.takeDisplayUnderPointer(true).result();
    QVERIFY(whole);
    QVERIFY(whole->png && whole->png->encodes(whole->image));
    const std::optional<QByteArray> png = whole->png->result();
    QVERIFY(png);
    QCOMPARE(png, encodePng(whole->image));
    QCOMPARE(QImage::fromData(*png, "PNG").convertToFormat(QImage::Format_RGB32), whole->image);
}

void X11DisplayCaptureTest::frontmostWindowFromInputFocus()
{
    // Without a window manager there is no _NET_ACTIVE_WINDOW; the window
    // with the input focus is the frontmost one.
    const QColor colour(0x22, 0xaa, 0x55);
    const QRect geometry(300, 400, 240, 120);
    auto window = colouredWindow(geometry, colour, true);
    window->setWindowTitle(QStringLiteral("Focus Window"));
    QTRY_VERIFY(screenShows(geometry, colour));
    const auto x11 = *X11Connection::application();
    // Handled by the server before the sync's answer comes back.
    xcb_set_input_focus(x11.connection, XCB_INPUT_FOCUS_POINTER_ROOT, xcb_window_t(window->winId()), XCB_CURRENT_TIME);
    x11.sync();

    DisplayCaptureService service(X11CaptureSystem::create());
    const auto outcome = service.takeFrontmostWindow().result();
    if (!outcome)
        QFAIL(qPrintable(outcome.error().errorDescription()));
    const CapturedWindow captured = *outcome;
    QCOMPARE(captured.windowTitle, std::optional<QString>(QStringLiteral("Focus Window")));
    QCOMPARE(captured.image.size(), geometry.size());
    QVERIFY(uniform(captured.image, colour.rgb()));
    QCOMPARE(captured.rectInDisplay, QRectF(geometry));
    QVERIFY(captured.sourceApplication->name.has_value());
    // Kept whole, the window comes with its PNG, made as it arrived.
    QVERIFY(captured.png && captured.png->encodes(captured.image));
    QCOMPARE(captured.png->result(), encodePng(captured.image));
}

void X11DisplayCaptureTest::compositedWindowIgnoresWhatCoversIt()
{
    // Play the compositor's part from a connection of our own: redirect the
    // top-level windows (the server still draws them) and own the
    // compositing-manager selection, so capture reads window pixmaps.
    xcb_connection_t *compositor = xcb_connect(nullptr, nullptr);
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(compositor)).data;
    xcb_composite_query_version_reply_t *version = xcb_composite_query_version_reply(
        compositor, xcb_composite_query_version(compositor, 0, 4), nullptr);
    if (!version) {
        xcb_disconnect(compositor);
        QSKIP("the X server has no Composite extension");
    }
    std::free(version);
    xcb_composite_redirect_subwindows(compositor, screen->root, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
    const xcb_window_t owner = xcb_generate_id(compositor);
    xcb_create_window(compositor, XCB_COPY_FROM_PARENT, owner, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_intern_atom_reply_t *selection = xcb_intern_atom_reply(
        compositor, xcb_intern_atom(compositor, 0, 13, "_NET_WM_CM_S0"), nullptr);
    xcb_set_selection_owner(compositor, owner, selection->atom, XCB_CURRENT_TIME);
    std::free(selection);
    std::free(xcb_get_input_focus_reply(compositor, xcb_get_input_focus(compositor), nullptr));

    const QColor colour(0x44, 0x55, 0x66);
    const QRect geometry(300, 300, 200, 150);
    auto window = colouredWindow(geometry, colour, true);
    window->setWindowTitle(QStringLiteral("Covered Window"));
    QTRY_VERIFY(screenShows(QRect(300, 300, 40, 150), colour));
    const QRect covering(350, 320, 100, 100);
    auto cover = colouredWindow(covering, QColor(0xff, 0xff, 0x00));
    QTRY_VERIFY(screenShows(covering, QColor(0xff, 0xff, 0x00)));
    const auto x11 = *X11Connection::application();
    xcb_set_input_focus(x11.connection, XCB_INPUT_FOCUS_POINTER_ROOT, xcb_window_t(window->winId()), XCB_CURRENT_TIME);
    x11.sync();
    QVERIFY(X11WindowInfo(x11).compositorRunning());

    DisplayCaptureService service(X11CaptureSystem::create());
    const auto outcome = service.takeFrontmostWindow().result();
    if (!outcome)
        QFAIL(qPrintable(outcome.error().errorDescription()));
    const CapturedWindow captured = *outcome;
    QCOMPARE(captured.image.size(), geometry.size());
    // The root shows the yellow window on top; the window's own pixmap does
    // not, nor does the PNG made from it as it arrived.
    QVERIFY(uniform(captured.image, colour.rgb()));
    QVERIFY(captured.png && captured.png->encodes(captured.image));
    QCOMPARE(captured.png->result(), encodePng(captured.image));

    cover.reset();
    window.reset();
    xcb_disconnect(compositor);
    // The server lets go of the selection once it has seen the connection close.
    QTRY_VERIFY(!X11WindowInfo(x11).compositorRunning());
}

void X11DisplayCaptureTest::captureFromOurMenuLeavesTheMenuOut()
{
    const QColor colour(0x33, 0x66, 0xcc);
    const QRect geometry(100, 100, 500, 400);
    auto window = colouredWindow(geometry, colour);
    QTRY_VERIFY(screenShows(geometry, colour));

    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath(QStringLiteral("settings.ini")));
    CaptureCoordinatorServices services;
    services.displayCaptureService = std::make_shared<DisplayCaptureService>(X11CaptureSystem::create());
    services.permissionHistoryStore = std::make_shared<ScreenCapturePermissionHistoryStore>(defaults);
    services.shortcutStore = std::make_shared<GlobalShortcutConfigurationStore>(defaults);
    CaptureCoordinator coordinator(std::move(services));
    std::optional<CaptureResult> captured;
    coordinator.onCaptureCompleted = [&](const CaptureResult &result) { captured = result; };

    QMenu menu;
    QAction *capture = menu.addAction(QStringLiteral("Capture Display"));
    QObject::connect(capture, &QAction::triggered, &coordinator,
                     [&] { coordinator.beginCapture(CaptureMode::display); });
    menu.popup(geometry.topLeft() + QPoint(40, 40));
    const QRect shown = menu.geometry();
    QTRY_VERIFY(!screenShows(shown, colour));

    // As a user picks the item: the menu closes, then the capture is asked for.
    QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(capture).center());
    QTRY_VERIFY(captured.has_value());
    const QImage picture = captured->image.copy(shown).convertToFormat(QImage::Format_RGB32);
    QVERIFY(uniform(picture, colour.rgb()));
}

QTEST_MAIN(X11DisplayCaptureTest)
#include "tst_x11displaycapture.moc"
