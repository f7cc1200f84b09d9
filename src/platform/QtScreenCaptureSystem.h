#pragma once

#include "platform/CaptureSystem.h"
#include "platform/CoordinateSpaces.h"

class QScreen;

namespace tessaline {

// A capture system that knows the displays only as Qt's screens, numbered
// from 1 in Qt's order, and knows nothing of other applications' windows:
// the base of the backends for sessions that keep windows to themselves.
// The pointer is where Qt last saw it. No application is reported as
// frontmost, so a capture's source application stays unknown rather than
// guessed, and a window capture finds no application to capture.
class QtScreenCaptureSystem : public CaptureSystem
{
public:
    QPointF pointerLocation() override;
    QList<SystemScreen> screens() override;
    std::optional<int> mainScreenIndex() override;
    QSize displayPixelSize(quint32 displayID) override;
    std::optional<SystemApplication> frontmostApplication() override;
    CaptureSystemResult<ShareableContent> shareableContent() override;
    CaptureSystemResult<QList<SystemDisplay>> shareableDisplays() override;
    double windowPointPixelScale(const SystemWindow &window) override;
    QFuture<CaptureSystemResult<WholePicture>> captureWindowImage(const SystemWindow &window, const QSize &size) override;

    static QScreen *screenForDisplay(quint32 displayID);
    static quint32 displayIDOf(const QScreen *screen);

protected:
    static CoordinateSpaces coordinateSpaces();
};

// The backend of a session that is neither X11 nor Wayland (and of tests):
// every picture fails with a message that says why.
class NullCaptureSystem : public QtScreenCaptureSystem
{
public:
    QFuture<CaptureSystemResult<QImage>> captureDisplayImage(const SystemDisplay &display, const QSize &size) override;

    static QString unavailableMessage();
};

} // namespace tessaline
