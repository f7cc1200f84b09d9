#pragma once

#include "platform/EarlyPng.h"
#include "platform/Expected.h"

#include <QFuture>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QString>

#include <optional>

namespace tessaline {

// The window system's view of one screen, in its own order.
struct SystemScreen
{
    // Frame in screen coordinates (bottom-left origin, y up).
    QRectF frame;
    // The display the screen shows; none when the window system gives none.
    std::optional<quint32> displayNumber;
};

// One display as the capture side sees it.
struct SystemDisplay
{
    quint32 displayID = 0;
    // Frame in capture-system coordinates (top-left of the primary, y down).
    QRectF frame;
};

// One top-level window as the capture side sees it.
struct SystemWindow
{
    quint32 windowID = 0;
    // Frame in capture-system coordinates.
    QRectF frame;
    std::optional<QString> title;
    // 0 for ordinary application windows; docks, panels and keep-above
    // windows get higher layers.
    int windowLayer = 0;
    bool isOnScreen = false;
    // Process of the owning application; none when nobody owns it.
    std::optional<qint64> owningProcessID;
};

struct SystemApplication
{
    std::optional<QString> localizedName;
    std::optional<QString> bundleIdentifier;
    qint64 processIdentifier = 0;
};

struct ShareableContent
{
    QList<SystemDisplay> displays;
    QList<SystemWindow> windows;
};

// A failure of the capture system. permissionDenied marks a refusal because
// the user declined screen capture, or because the desktop has nothing that
// could ask; its message then says what the user can do, or is empty.
// Every other failure carries its own message.
struct CaptureSystemError
{
    bool permissionDenied = false;
    QString message;
};

template <typename T>
using CaptureSystemResult = Expected<T, CaptureSystemError>;

// A picture that is kept as it is (a whole display or a window, not a
// region of it), with its PNG when the system began one while the picture
// arrived.
struct WholePicture
{
    QImage image;
    std::optional<EarlyPng> png;
};

// What the display capture service needs of the platform: pointer, screens,
// frontmost application, the displays and windows that can be captured, and
// single still images. PlatformFactory picks the implementation for the
// session: X11CaptureSystem, PortalCaptureSystem or NullCaptureSystem.
class CaptureSystem
{
public:
    virtual ~CaptureSystem() = default;

    // Pointer location in screen coordinates.
    virtual QPointF pointerLocation() = 0;
    virtual QList<SystemScreen> screens() = 0;
    // Index into screens() of the main screen; none without screens.
    virtual std::optional<int> mainScreenIndex() = 0;
    // Size in pixels of a display (0 when unknown).
    virtual QSize displayPixelSize(quint32 displayID) = 0;
    virtual std::optional<SystemApplication> frontmostApplication() = 0;
    // On-screen windows, front to back, and every display.
    virtual CaptureSystemResult<ShareableContent> shareableContent() = 0;
    // The displays alone; a display capture needs no window list, which
    // costs several server round trips per window.
    virtual CaptureSystemResult<QList<SystemDisplay>> shareableDisplays() = 0;
    // Image pixels per point of a window.
    virtual double windowPointPixelScale(const SystemWindow &window) = 0;
    // Whole display, without the cursor, at the requested pixel size. A
    // system that takes pictures itself answers at once; one that asks the
    // desktop for them answers when the desktop has.
    virtual QFuture<CaptureSystemResult<QImage>> captureDisplayImage(const SystemDisplay &display, const QSize &size) = 0;
    // The same, for a picture that is kept whole (a display capture, not a
    // region of it): a system that can begins its PNG while the rest of the
    // picture arrives, and answers it along with the picture.
    virtual QFuture<CaptureSystemResult<WholePicture>> captureWholeDisplayImage(const SystemDisplay &display,
                                                                                const QSize &size)
    {
        return captureDisplayImage(display, size).then([](const CaptureSystemResult<QImage> &image) {
            return image.transform([](const QImage &picture) { return WholePicture{picture, std::nullopt}; });
        });
    }
    // One window alone, scaled to fit the requested pixel size. Answered
    // as captureWholeDisplayImage is: a window can be as large as the
    // display, and its picture is kept whole.
    virtual QFuture<CaptureSystemResult<WholePicture>> captureWindowImage(const SystemWindow &window,
                                                                          const QSize &size) = 0;

    // Called once the app is idle after starting: gets the buffers of a
    // whole-display picture ready, so the session's first capture costs no
    // more than a later one. Nothing to do where the desktop takes pictures.
    virtual void prepareDisplayCapture(const SystemDisplay &display) { Q_UNUSED(display); }

    // Whether pictures may be taken now, without asking anybody.
    virtual bool hasCaptureAccess() const { return true; }
    // Asks for access where the desktop asks at all; true when granted.
    virtual bool requestCaptureAccess() { return hasCaptureAccess(); }
    // Why pictures cannot be taken, where the desktop's own way of granting
    // them is not a privacy switch (which portal is missing, or that the
    // desktop said no, and what to install); empty otherwise.
    virtual QString accessAdvice() const { return {}; }
    // Why no window can be known to be in front here, on a desktop that
    // never tells apps; empty where the frontmost window can be known.
    virtual QString frontmostWindowAdvice() const { return {}; }
};

} // namespace tessaline
