#pragma once

#include "platform/CompositorWindows.h"
#include "platform/PortalCaptureSystem.h"

namespace tessaline {

// Pictures in a Wayland session whose compositor tells clients about its
// windows, which Wayland itself keeps from them: through the screenshot
// portal, as elsewhere under Wayland, but the compositor says which window
// is in front and where every window is. So that window's app is the
// frontmost application, and a window's picture is its part of a picture
// of the desktop.
class CompositorCaptureSystem : public PortalCaptureSystem
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
    static SystemApplication applicationOf(const CompositorWindow &window);
    // The part of a window that can be captured: its content, cut to the
    // output that shows most of it; empty when none shows it.
    static QRect shownPart(const CompositorTree &tree, const CompositorWindow &window);
    // The windows of a tree as the capture side sees them, front to back,
    // framed in the capture system's coordinates. Only a shown window is on
    // screen; one kept above the others is in a layer above theirs.
    static QList<SystemWindow> windowsOf(const CompositorTree &tree, const CoordinateSpaces &spaces);

protected:
    // What the compositor shows now; none when it does not answer.
    virtual std::optional<CompositorTree> tree() = 0;
    // The compositor's name, for what failed.
    virtual QString compositorName() const = 0;
};

} // namespace tessaline
