#pragma once

#include "platform/PortalCaptureSystem.h"
#include "platform/SwayIpc.h"

namespace tessaline {

// Pictures in a sway session: through the screenshot portal, as elsewhere
// under Wayland, but sway's own socket says which window has the focus and
// where every window is, which Wayland keeps from clients. So the focused
// window's app is the frontmost application, and a window's picture is its
// part of a picture of the desktop.
class SwayCaptureSystem : public PortalCaptureSystem
{
public:
    using PortalCaptureSystem::PortalCaptureSystem;

    std::optional<SystemApplication> frontmostApplication() override;
    CaptureSystemResult<ShareableContent> shareableContent() override;
    double windowPointPixelScale(const SystemWindow &window) override;
    QFuture<CaptureSystemResult<WholePicture>> captureWindowImage(const SystemWindow &window, const QSize &size) override;
    void prepareDisplayCapture(const SystemDisplay &display) override;
    QString frontmostWindowAdvice() const override { return {}; }

    // The application of a window: from the desktop file of its app_id (or,
    // for an X client, its WM_CLASS), else that name itself, else the
    // process's name.
    static SystemApplication applicationOf(const SwayIpc::Window &window);
    // The part of a window that can be captured: its content, cut to the
    // output that shows most of it; empty when none shows it.
    static QRect shownPart(const SwayIpc::Tree &tree, const SwayIpc::Window &window);
    // The windows of a tree as the capture side sees them, front to back,
    // framed in the capture system's coordinates. Only a shown window is on
    // screen; one stuck to every workspace is kept above the others.
    static QList<SystemWindow> windowsOf(const SwayIpc::Tree &tree, const CoordinateSpaces &spaces);
};

} // namespace tessaline
