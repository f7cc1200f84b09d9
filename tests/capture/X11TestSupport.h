#pragma once

// Helpers for the tests that run on the real X server of the test run.

#include "capture/CaptureCoordinator.h"
#include "capture/CaptureValues.h"
#include "capture/DisplayCaptureService.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/X11CaptureSystem.h"
#include "platform/X11Connection.h"
#include "platform/X11HotKeys.h"

#include <QApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <cstdlib>

namespace tessaline::x11test {

// A frozen picture of the first display that is all one colour: where
// the screen shows that colour, it shows the picture or a crop of it.
inline FrozenDisplayCapture frozenScreen(const QColor &colour)
{
    const X11Display display = X11CaptureSystem::displaysFor(X11Connection::application()).first();
    FrozenDisplayCapture capture;
    capture.image = QImage(display.nativeGeometry.size(), QImage::Format_RGB32);
    capture.image.fill(colour);
    capture.target.displayID = display.displayID;
    capture.target.screenFrame = QRectF(QPointF(0, 0), display.logicalGeometry.size());
    capture.target.pointSize = display.logicalGeometry.size();
    capture.target.pixelSize = QSizeF(capture.image.size());
    return capture;
}

// Runs xdotool with the test's own DISPLAY; true when it succeeded.
inline bool xdotool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// A plain window of one colour, placed exactly (the window manager, if
// any, is bypassed unless managed is true).
inline std::unique_ptr<QWidget> colouredWindow(const QRect &geometry, const QColor &colour, bool managed = false)
{
    auto window = std::make_unique<QWidget>(nullptr, managed ? Qt::Window
                                                             : Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
    window->setAutoFillBackground(true);
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, colour);
    window->setPalette(palette);
    window->setGeometry(geometry);
    window->show();
    return window;
}

// True once the screen shows `colour` all over `rect`: the window there is
// mapped and painted. Read with Qt's own grab, not the capture code that
// the tests examine.
inline bool screenShows(const QRect &rect, const QColor &colour)
{
    const QImage shot = QGuiApplication::primaryScreen()
                            ->grabWindow(0, rect.x(), rect.y(), rect.width(), rect.height())
                            .toImage()
                            .convertToFormat(QImage::Format_RGB32);
    if (shot.size() != rect.size())
        return false;
    for (int y = 0; y < shot.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(shot.constScanLine(y));
        for (int x = 0; x < shot.width(); ++x) {
            if (row[x] != colour.rgb())
                return false;
        }
    }
    return true;
}

// Returns once this process has handled every event the X server sent it
// before the call, and what those events posted: a window mapped now is
// exposed only after them. The window takes neither focus nor input, so it
// ends no grab and moves no focus.
inline bool earlierEventsHandled()
{
    QWidget marker(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint
                                | Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput);
    marker.setAttribute(Qt::WA_ShowWithoutActivating);
    marker.setGeometry(0, 0, 2, 2);
    marker.show();
    const bool exposed = QTest::qWaitForWindowExposed(&marker);
    QCoreApplication::sendPostedEvents();
    return exposed;
}

// The app's capture road on this display, with the real overlay.
struct CaptureRig
{
    CaptureRig()
        : defaults(dir.filePath(QStringLiteral("settings.ini")))
        , coordinator(services(defaults, center))
    {
        coordinator.onCaptureCancelled = [this] { ++cancellations; };
    }
    static CaptureCoordinatorServices services(UserDefaults &defaults, NotificationCenter &center)
    {
        CaptureCoordinatorServices services;
        services.displayCaptureService = std::make_shared<DisplayCaptureService>(X11CaptureSystem::create());
        services.permissionHistoryStore = std::make_shared<ScreenCapturePermissionHistoryStore>(defaults);
        services.hotKeyManager = std::make_shared<GlobalHotKeyManager>(X11HotKeys::create());
        services.shortcutStore = std::make_shared<GlobalShortcutConfigurationStore>(defaults);
        services.notificationCenter = &center;
        return services;
    }
    QTemporaryDir dir;
    UserDefaults defaults;
    NotificationCenter center;
    CaptureCoordinator coordinator;
    int cancellations = 0;
};

// The region overlay is up: the topmost mapped window covers the whole
// screen and bypasses the window manager. Read without taking anything the
// app might want.
inline bool overlayShown(const X11Connection &x11)
{
    xcb_query_tree_reply_t *tree = xcb_query_tree_reply(x11.connection, xcb_query_tree(x11.connection, x11.root), nullptr);
    if (!tree)
        return false;
    const xcb_window_t *children = xcb_query_tree_children(tree);
    bool shown = false;
    // Bottom to top: look from the top for the first mapped window.
    for (int i = xcb_query_tree_children_length(tree) - 1; i >= 0; --i) {
        xcb_get_window_attributes_reply_t *attributes = xcb_get_window_attributes_reply(
            x11.connection, xcb_get_window_attributes(x11.connection, children[i]), nullptr);
        const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        const bool bypassing = attributes && attributes->override_redirect;
        std::free(attributes);
        if (!viewable)
            continue;
        xcb_get_geometry_reply_t *geometry
            = xcb_get_geometry_reply(x11.connection, xcb_get_geometry(x11.connection, children[i]), nullptr);
        shown = bypassing && geometry && geometry->x == 0 && geometry->y == 0
            && geometry->width == x11.screen->width_in_pixels && geometry->height == x11.screen->height_in_pixels;
        std::free(geometry);
        break;
    }
    std::free(tree);
    return shown;
}

} // namespace tessaline::x11test
