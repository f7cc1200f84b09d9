#pragma once

#include "platform/CaptureSystem.h"
#include "platform/CoordinateSpaces.h"
#include "platform/X11DisplayCapture.h"
#include "platform/X11WindowInfo.h"

#include <QRect>
#include <QThreadPool>
#include <QTimer>

#include <memory>
#include <mutex>

namespace tessaline {

// One display of the X server: a RandR monitor (or the whole root when the
// server has no RandR), with its Qt screen.
struct X11Display
{
    quint32 displayID = 0;
    QString name;
    QRect nativeGeometry;   // root-window pixels
    QRectF logicalGeometry; // Qt's device-independent global coordinates: its
                            // corner where Qt puts it, its size the pixels'
                            // over the scale
    qreal devicePixelRatio = 1;
    bool primary = false;
};

// The capture system over X11: displays from RandR matched to QScreens,
// the pointer from QueryPointer, windows and the frontmost application from
// EWMH hints, pictures from the root window or a composite pixmap.
class X11CaptureSystem : public CaptureSystem
{
public:
    // None when the application does not run on X11.
    static std::unique_ptr<X11CaptureSystem> create();

    QPointF pointerLocation() override;
    QList<SystemScreen> screens() override;
    std::optional<int> mainScreenIndex() override;
    QSize displayPixelSize(quint32 displayID) override;
    std::optional<SystemApplication> frontmostApplication() override;
    CaptureSystemResult<ShareableContent> shareableContent() override;
    CaptureSystemResult<QList<SystemDisplay>> shareableDisplays() override;
    double windowPointPixelScale(const SystemWindow &window) override;
    QFuture<CaptureSystemResult<QImage>> captureDisplayImage(const SystemDisplay &display, const QSize &size) override;
    QFuture<CaptureSystemResult<WholePicture>> captureWholeDisplayImage(const SystemDisplay &display,
                                                                        const QSize &size) override;
    QFuture<CaptureSystemResult<WholePicture>> captureWindowImage(const SystemWindow &window, const QSize &size) override;
    // The buffers stay until the first capture; from then on they go a
    // minute after the last one, as always.
    void prepareDisplayCapture(const SystemDisplay &display) override;

    QList<X11Display> displays() const;
    // The displays as a connection (or, without X11, Qt alone) sees them.
    static QList<X11Display> displaysFor(const std::optional<X11Connection> &connection);
    // Screen coordinates have their origin at the primary display's
    // bottom-left corner.
    static CoordinateSpaces coordinateSpaces(const QList<X11Display> &displays);
    const X11GrabTimings &lastGrabTimings() const { return m_lastTimings; }
    const X11Connection &connection() const { return m_x11; }

private:
    X11CaptureSystem(const X11Connection &connection, xcb_connection_t *grabConnection);
    QRectF logicalFromNative(const QRect &native, const QList<X11Display> &displays) const;
    std::optional<QRect> nativeGeometry(quint32 displayID) const;
    QFuture<CaptureSystemResult<WholePicture>> captureDisplay(const SystemDisplay &display, const QSize &size,
                                                              bool encode);
    CaptureSystemResult<WholePicture> grabDisplay(const QRect &native, const QSize &size, bool encode);
    CaptureSystemResult<WholePicture> grabWindow(xcb_window_t window, const QSize &size);
    CaptureSystemResult<QImage> grabComposited(xcb_window_t window, const QRect &clientFrame,
                                               const X11DisplayCapture::RowsArrived &arrived);

    void keepBuffersForAWhile();

    X11Connection m_x11;
    // The grabs' own connection to the server, when one can be had (else
    // the application's). The server handles one connection's requests in
    // order: on the application's, every question the main thread asks
    // (each paint of a window among them) would wait for the whole grab.
    struct Disconnect
    {
        void operator()(xcb_connection_t *connection) const;
    };
    std::unique_ptr<xcb_connection_t, Disconnect> m_grabConnection;
    X11DisplayCapture m_capture;
    X11WindowInfo m_windows;
    // Grab buffers are kept between captures, which at 5K saves tens of
    // milliseconds a capture, but only while captures keep coming.
    std::unique_ptr<QTimer> m_releaseTimer;
    // Held while the grab buffers or the timings are used: a display is
    // grabbed, and the buffers let go, on the grab thread; everything else
    // here happens on the main thread.
    std::mutex m_grabbing;
    X11GrabTimings m_lastTimings;
    // One thread for the grabs of displays, in the order asked; it ends
    // first, its grab done, before anything it uses goes.
    std::unique_ptr<QThreadPool> m_grabThread;
};

} // namespace tessaline
