#include "platform/X11CaptureSystem.h"

#include "platform/ArrivingPngEncoding.h"
#include "platform/BackgroundPool.h"

#include <QGuiApplication>
#include <QScreen>
#include <QtConcurrent/QtConcurrentRun>

#include <xcb/composite.h>
#include <xcb/randr.h>

#include <X11/Xlib.h>

#include <cmath>
#include <cstdlib>

namespace tessaline {

namespace {

struct Monitor
{
    xcb_atom_t nameAtom = XCB_ATOM_NONE;
    QString name;
    QRect geometry;
    bool primary = false;
};

QList<Monitor> queryMonitors(const X11Connection &x11);

// RandR monitors change only when Qt's screens do; asking the server once
// per change keeps a capture from spending a dozen round trips on them.
QList<Monitor> randrMonitors(const X11Connection &x11)
{
    static QList<Monitor> cached;
    static bool valid = false;
    static bool watching = false;
    if (!watching && qGuiApp) {
        watching = true;
        const auto invalidate = [] { valid = false; };
        const auto watchScreen = [invalidate](QScreen *screen) {
            QObject::connect(screen, &QScreen::geometryChanged, qGuiApp, invalidate);
        };
        QObject::connect(qGuiApp, &QGuiApplication::screenAdded, qGuiApp, [invalidate, watchScreen](QScreen *screen) {
            invalidate();
            watchScreen(screen);
        });
        QObject::connect(qGuiApp, &QGuiApplication::screenRemoved, qGuiApp, invalidate);
        QObject::connect(qGuiApp, &QGuiApplication::primaryScreenChanged, qGuiApp, invalidate);
        for (QScreen *screen : QGuiApplication::screens())
            watchScreen(screen);
    }
    if (!valid || !watching) {
        cached = queryMonitors(x11);
        valid = watching;
    }
    return cached;
}

QList<Monitor> queryMonitors(const X11Connection &x11)
{
    QList<Monitor> result;
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(x11.connection, &xcb_randr_id);
    if (!extension || !extension->present)
        return result;
    xcb_randr_query_version_reply_t *version = xcb_randr_query_version_reply(
        x11.connection, xcb_randr_query_version(x11.connection, 1, 5), nullptr);
    const bool hasMonitors = version && (version->major_version > 1 || version->minor_version >= 5);
    std::free(version);
    if (!hasMonitors)
        return result;
    xcb_randr_get_monitors_reply_t *reply = xcb_randr_get_monitors_reply(
        x11.connection, xcb_randr_get_monitors(x11.connection, x11.root, 1), nullptr);
    if (!reply)
        return result;
    for (xcb_randr_monitor_info_iterator_t it = xcb_randr_get_monitors_monitors_iterator(reply); it.rem;
         xcb_randr_monitor_info_next(&it)) {
        Monitor monitor;
        monitor.nameAtom = it.data->name;
        monitor.geometry = QRect(it.data->x, it.data->y, it.data->width, it.data->height);
        monitor.primary = it.data->primary;
        xcb_get_atom_name_reply_t *name = xcb_get_atom_name_reply(
            x11.connection, xcb_get_atom_name(x11.connection, it.data->name), nullptr);
        if (name) {
            monitor.name = QString::fromLatin1(xcb_get_atom_name_name(name), xcb_get_atom_name_name_length(name));
            std::free(name);
        }
        result.append(monitor);
    }
    std::free(reply);
    return result;
}

// A second connection to the application's display, on the same screen;
// none when the server takes no more clients.
xcb_connection_t *openGrabConnection(const X11Connection &application)
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->display())
        return nullptr;
    int screen = 0;
    xcb_connection_t *connection = xcb_connect(DisplayString(x11->display()), &screen);
    const xcb_setup_t *setup = connection && !xcb_connection_has_error(connection) ? xcb_get_setup(connection) : nullptr;
    bool sameRoot = false;
    for (xcb_screen_iterator_t it = setup ? xcb_setup_roots_iterator(setup) : xcb_screen_iterator_t{}; setup && it.rem;
         xcb_screen_next(&it))
        sameRoot = sameRoot || it.data->root == application.root;
    if (!sameRoot) {
        if (connection)
            xcb_disconnect(connection);
        return nullptr;
    }
    return connection;
}

} // namespace

std::unique_ptr<X11CaptureSystem> X11CaptureSystem::create()
{
    const auto connection = X11Connection::application();
    if (!connection)
        return nullptr;
    return std::unique_ptr<X11CaptureSystem>(new X11CaptureSystem(*connection, openGrabConnection(*connection)));
}

void X11CaptureSystem::Disconnect::operator()(xcb_connection_t *connection) const
{
    xcb_disconnect(connection);
}

namespace {

// The application's connection with another in its place, for the grabs.
X11Connection withConnection(X11Connection x11, xcb_connection_t *connection)
{
    if (connection)
        x11.connection = connection;
    return x11;
}

} // namespace

X11CaptureSystem::X11CaptureSystem(const X11Connection &connection, xcb_connection_t *grabConnection)
    : m_x11(connection)
    , m_grabConnection(grabConnection)
    , m_capture(withConnection(connection, grabConnection))
    , m_windows(connection)
    , m_releaseTimer(std::make_unique<QTimer>())
    , m_grabThread(std::make_unique<QThreadPool>())
{
    m_releaseTimer->setSingleShot(true);
    m_releaseTimer->setInterval(60'000);
    // Letting go of a 5K segment takes tens of milliseconds (every page of
    // it is unmapped): not on the main thread.
    QObject::connect(m_releaseTimer.get(), &QTimer::timeout, [this] {
        (void)QtConcurrent::run(m_grabThread.get(), [this] {
            const std::lock_guard lock(m_grabbing);
            m_capture.releaseBuffers();
        });
    });
    m_grabThread->setMaxThreadCount(1);
    m_grabThread->setObjectName(QStringLiteral("Display grab"));
}

void X11CaptureSystem::keepBuffersForAWhile()
{
    m_releaseTimer->start();
}

QList<X11Display> X11CaptureSystem::displays() const
{
    return displaysFor(m_x11);
}

QList<X11Display> X11CaptureSystem::displaysFor(const std::optional<X11Connection> &connection)
{
    QList<X11Display> result;
    const QList<QScreen *> screens = QGuiApplication::screens();
    const QList<Monitor> monitors = connection ? randrMonitors(*connection) : QList<Monitor>();
    for (qsizetype i = 0; i < screens.size(); ++i) {
        QScreen *screen = screens.at(i);
        X11Display display;
        display.name = screen->name();
        display.logicalGeometry = QRectF(screen->geometry());
        display.devicePixelRatio = screen->devicePixelRatio();
        display.primary = screen == QGuiApplication::primaryScreen();
        // Qt names each screen after its RandR monitor; the monitor's name
        // atom is the display's identifier for the whole X session.
        const Monitor *match = nullptr;
        for (const Monitor &monitor : monitors) {
            if (monitor.name == display.name) {
                match = &monitor;
                break;
            }
        }
        if (!match && monitors.size() == screens.size())
            match = &monitors.at(i);
        if (match) {
            display.displayID = match->nameAtom;
            display.nativeGeometry = match->geometry;
        } else {
            display.displayID = quint32(i + 1);
            const QRect logical = screen->geometry();
            display.nativeGeometry = QRect(logical.topLeft(), (QSizeF(logical.size()) * display.devicePixelRatio).toSize());
        }
        if (display.nativeGeometry.isEmpty() && screens.size() == 1 && connection)
            display.nativeGeometry = QRect(0, 0, connection->screen->width_in_pixels, connection->screen->height_in_pixels);
        // Qt rounds a screen's size in its own units (2560 pixels at 1.5 are
        // 1706.67, given as 1707); the display's points are its pixels over
        // its scale, or every point of a picture of it lands a fraction of a
        // pixel off, and a crop a pixel off.
        if (!display.nativeGeometry.isEmpty() && display.devicePixelRatio > 0)
            display.logicalGeometry.setSize(QSizeF(display.nativeGeometry.size()) / display.devicePixelRatio);
        result.append(display);
    }
    return result;
}

CoordinateSpaces X11CaptureSystem::coordinateSpaces(const QList<X11Display> &displays)
{
    for (const X11Display &display : displays) {
        if (display.primary)
            return CoordinateSpaces(display.logicalGeometry);
    }
    return CoordinateSpaces(displays.isEmpty() ? QRectF() : displays.first().logicalGeometry);
}

QRectF X11CaptureSystem::logicalFromNative(const QRect &native, const QList<X11Display> &displays) const
{
    // Qt scales each screen about its own top-left corner; a rectangle
    // belongs to the display that holds its centre.
    const QPoint centre = native.center();
    for (const X11Display &display : displays) {
        if (display.nativeGeometry.contains(centre)) {
            const qreal ratio = display.devicePixelRatio > 0 ? display.devicePixelRatio : 1;
            const QPointF offset = QPointF(native.topLeft() - display.nativeGeometry.topLeft()) / ratio;
            return QRectF(display.logicalGeometry.topLeft() + offset, QSizeF(native.size()) / ratio);
        }
    }
    return QRectF(native);
}

QPointF X11CaptureSystem::pointerLocation()
{
    xcb_query_pointer_reply_t *pointer = xcb_query_pointer_reply(
        m_x11.connection, xcb_query_pointer(m_x11.connection, m_x11.root), nullptr);
    if (!pointer)
        return {};
    const QPoint native(pointer->root_x, pointer->root_y);
    std::free(pointer);
    // A pointer at window-system row y covers the pixel row [y, y+1); in
    // screen coordinates (y up) that row's bottom edge, the top of the row
    // below, is what contains it.
    const QPoint below = native + QPoint(0, 1);
    const QList<X11Display> all = displays();
    QPointF logical = below;
    for (const X11Display &display : all) {
        if (display.nativeGeometry.contains(native)) {
            const qreal ratio = display.devicePixelRatio > 0 ? display.devicePixelRatio : 1;
            logical = display.logicalGeometry.topLeft() + QPointF(below - display.nativeGeometry.topLeft()) / ratio;
            break;
        }
    }
    return coordinateSpaces(all).screenFromWindowSystem(logical);
}

QList<SystemScreen> X11CaptureSystem::screens()
{
    QList<SystemScreen> result;
    const QList<X11Display> all = displays();
    const CoordinateSpaces spaces = coordinateSpaces(all);
    for (const X11Display &display : all)
        result.append(SystemScreen{spaces.screenFromWindowSystem(display.logicalGeometry), display.displayID});
    return result;
}

std::optional<int> X11CaptureSystem::mainScreenIndex()
{
    const QList<X11Display> all = displays();
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (all.at(i).primary)
            return int(i);
    }
    return all.isEmpty() ? std::nullopt : std::optional<int>(0);
}

QSize X11CaptureSystem::displayPixelSize(quint32 displayID)
{
    for (const X11Display &display : displays()) {
        if (display.displayID == displayID)
            return display.nativeGeometry.size();
    }
    return {};
}

std::optional<SystemApplication> X11CaptureSystem::frontmostApplication()
{
    const auto window = m_windows.activeWindow();
    if (!window)
        return std::nullopt;
    const auto pid = m_windows.processID(*window);
    if (!pid)
        return std::nullopt;
    SystemApplication application;
    application.processIdentifier = *pid;
    if (const auto desktop = m_windows.application(*window)) {
        application.localizedName = desktop->name;
        application.bundleIdentifier = desktop->identifier;
    }
    return application;
}

CaptureSystemResult<QList<SystemDisplay>> X11CaptureSystem::shareableDisplays()
{
    QList<SystemDisplay> result;
    const QList<X11Display> all = displays();
    const CoordinateSpaces spaces = coordinateSpaces(all);
    for (const X11Display &display : all)
        result.append(SystemDisplay{display.displayID, spaces.captureSystemFromWindowSystem(display.logicalGeometry)});
    return result;
}

CaptureSystemResult<ShareableContent> X11CaptureSystem::shareableContent()
{
    ShareableContent content;
    const QList<X11Display> all = displays();
    const CoordinateSpaces spaces = coordinateSpaces(all);
    for (const X11Display &display : all)
        content.displays.append(SystemDisplay{display.displayID, spaces.captureSystemFromWindowSystem(display.logicalGeometry)});
    for (const xcb_window_t window : m_windows.clientWindows()) {
        const auto frame = m_windows.frame(window);
        if (!frame)
            continue;   // closed while we looked
        SystemWindow info;
        info.windowID = window;
        info.frame = spaces.captureSystemFromWindowSystem(logicalFromNative(*frame, all));
        info.title = m_windows.title(window);
        info.windowLayer = m_windows.layer(window);
        info.isOnScreen = m_windows.isViewable(window);
        info.owningProcessID = m_windows.processID(window);
        content.windows.append(info);
    }
    return content;
}

double X11CaptureSystem::windowPointPixelScale(const SystemWindow &window)
{
    const auto frame = m_windows.frame(window.windowID);
    if (!frame)
        return 1;
    const QPoint centre = frame->center();
    for (const X11Display &display : displays()) {
        if (display.nativeGeometry.contains(centre))
            return display.devicePixelRatio;
    }
    return 1;
}

std::optional<QRect> X11CaptureSystem::nativeGeometry(quint32 displayID) const
{
    for (const X11Display &candidate : displays()) {
        if (candidate.displayID == displayID)
            return candidate.nativeGeometry;
    }
    return std::nullopt;
}

QFuture<CaptureSystemResult<QImage>> X11CaptureSystem::captureDisplayImage(const SystemDisplay &display,
                                                                          const QSize &size)
{
    return captureDisplay(display, size, false).then([](const CaptureSystemResult<WholePicture> &picture) {
        return picture.transform([](const WholePicture &whole) { return whole.image; });
    });
}

QFuture<CaptureSystemResult<WholePicture>> X11CaptureSystem::captureWholeDisplayImage(const SystemDisplay &display,
                                                                                     const QSize &size)
{
    return captureDisplay(display, size, true);
}

QFuture<CaptureSystemResult<WholePicture>> X11CaptureSystem::captureDisplay(const SystemDisplay &display,
                                                                           const QSize &size, bool encode)
{
    // The displays are Qt's, so they are looked up here. The root window
    // answers at once, but copying a 5K picture across takes longer than a
    // frame, and longer still on a busy machine: the grab runs on the grab
    // thread, and the main thread goes on answering meanwhile.
    const auto native = nativeGeometry(display.displayID);
    if (!native)
        return QtFuture::makeReadyFuture(CaptureSystemResult<WholePicture>(
            unexpected(CaptureSystemError{false, QStringLiteral("The display is no longer connected.")})));
    keepBuffersForAWhile();
    return QtConcurrent::run(m_grabThread.get(),
                             [this, native = *native, size, encode] { return grabDisplay(native, size, encode); });
}

void X11CaptureSystem::prepareDisplayCapture(const SystemDisplay &display)
{
    // The desktop files that name the frontmost application are read now,
    // rather than on the hot key's road.
    (void)QtConcurrent::run(&backgroundPool(), &X11WindowInfo::prepareApplicationLookup);
    // A grab whose picture is dropped: the server attaches and writes the
    // whole segment, and every page of the picture buffer is written there,
    // so the first real grab meets no page faults on either side. It runs
    // on the grab thread, where a capture asked for meanwhile waits for it.
    if (const auto native = nativeGeometry(display.displayID)) {
        (void)QtConcurrent::run(m_grabThread.get(), [this, native = *native] {
            const std::lock_guard lock(m_grabbing);
            (void)m_capture.grabRoot(native);
        });
    }
}

CaptureSystemResult<WholePicture> X11CaptureSystem::grabDisplay(const QRect &native, const QSize &size, bool encode)
{
    // A picture kept as it is grabbed is encoded strip by strip while the
    // server sends the strips below: the PNG is ready soon after the last
    // strip, instead of starting then, and goes along with the picture.
    // One that is scaled afterwards is encoded once scaled, by whoever
    // stores it.
    std::optional<ArrivingPngEncoding> encoding;
    if (encode && (!size.isValid() || size == native.size()))
        encoding.emplace();
    CaptureSystemResult<QImage> result = unexpected(CaptureSystemError{});
    {
        const std::lock_guard lock(m_grabbing);
        // A capture asked for while the last picture is still being encoded
        // (a burst of them) waits for it on this thread, a while at most:
        // grabbed alongside, it would only share the processors with that
        // encoding and hold another display's worth of memory meanwhile.
        constexpr int longestWaitMs = 2000;
        m_capture.awaitFreeSegment(native.size(), longestWaitMs);
        m_lastTimings = {};
        result = m_capture.grabRoot(native, &m_lastTimings, encoding ? encoding->arrivals() : X11DisplayCapture::RowsArrived());
    }
    std::optional<EarlyPng> png;
    if (encoding)
        png = encoding->finish(result ? &*result : nullptr);
    return std::move(result).transform([&](QImage image) {
        if (size.isValid() && image.size() != size)
            return WholePicture{image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), std::nullopt};
        return WholePicture{std::move(image), std::move(png)};
    });
}

CaptureSystemResult<QImage> X11CaptureSystem::grabComposited(xcb_window_t window, const QRect &clientFrame,
                                                             const X11DisplayCapture::RowsArrived &arrived)
{
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(m_x11.connection, &xcb_composite_id);
    if (!extension || !extension->present)
        return unexpected(CaptureSystemError{false, QStringLiteral("Composite is not available.")});
    // The compositor redirects the top-level frame; its pixmap holds the
    // client area at the client's offset inside the frame.
    const xcb_window_t topLevel = m_windows.topLevelAncestor(window);
    const auto topFrame = m_windows.frame(topLevel);
    if (!topFrame)
        return unexpected(CaptureSystemError{false, QStringLiteral("The window is gone.")});
    const xcb_pixmap_t pixmap = xcb_generate_id(m_x11.connection);
    xcb_generic_error_t *error = xcb_request_check(
        m_x11.connection, xcb_composite_name_window_pixmap_checked(m_x11.connection, topLevel, pixmap));
    if (error) {
        std::free(error);
        return unexpected(CaptureSystemError{false, QStringLiteral("The window has no composite pixmap.")});
    }
    const QRect inPixmap(clientFrame.topLeft() - topFrame->topLeft(), clientFrame.size());
    auto result = m_capture.grab(pixmap, inPixmap, &m_lastTimings, arrived);
    xcb_free_pixmap(m_x11.connection, pixmap);
    return result;
}

QFuture<CaptureSystemResult<WholePicture>> X11CaptureSystem::captureWindowImage(const SystemWindow &window,
                                                                               const QSize &size)
{
    // On the grab thread, as a display's picture is: a maximised window
    // takes as long to copy across, and is encoded as it arrives.
    keepBuffersForAWhile();
    return QtConcurrent::run(m_grabThread.get(), [this, windowID = window.windowID, size] { return grabWindow(windowID, size); });
}

CaptureSystemResult<WholePicture> X11CaptureSystem::grabWindow(xcb_window_t windowID, const QSize &size)
{
    const auto frame = m_windows.frame(windowID);
    if (!frame)
        return unexpected(CaptureSystemError{false, QStringLiteral("The window was closed.")});
    // Kept as grabbed unless it must be scaled to the size asked for.
    std::optional<ArrivingPngEncoding> encoding;
    if (!size.isValid() || size == frame->size())
        encoding.emplace();
    const X11DisplayCapture::RowsArrived arrivals = encoding ? encoding->arrivals() : X11DisplayCapture::RowsArrived();
    CaptureSystemResult<QImage> result = unexpected(CaptureSystemError{});
    {
        const std::lock_guard lock(m_grabbing);
        m_lastTimings = {};
        if (m_windows.compositorRunning())
            result = grabComposited(windowID, *frame, arrivals);
        if (!result) {
            // Without a compositor the window's pixels are what the root
            // shows where it lies; a part outside the root cannot be
            // captured.
            const QRect rootRect(0, 0, m_x11.screen->width_in_pixels, m_x11.screen->height_in_pixels);
            const QRect visible = frame->intersected(rootRect);
            if (visible.isEmpty())
                result = unexpected(CaptureSystemError{false, QStringLiteral("The window is outside the screen.")});
            else
                result = m_capture.grabRoot(visible, &m_lastTimings, arrivals);
        }
    }
    std::optional<EarlyPng> png;
    if (encoding)
        png = encoding->finish(result ? &*result : nullptr);
    return std::move(result).transform([&](QImage image) {
        if (size.isValid() && image.size() != size && image.size() == frame->size())
            return WholePicture{image.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation), std::nullopt};
        return WholePicture{std::move(image), std::move(png)};
    });
}

} // namespace tessaline
