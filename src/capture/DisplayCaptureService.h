#pragma once

#include "capture/DisplayCapturing.h"
#include "platform/CaptureSystem.h"

#include <QFuture>
#include <QObject>

#include <memory>

namespace tessaline {

// Takes the pictures: the display under the pointer and the frontmost
// application's best window, through the platform's capture system. Keeps
// nothing between calls, so each request asks the system afresh.
class DisplayCaptureService : public QObject, public DisplayCapturing
{
    Q_OBJECT
public:
    explicit DisplayCaptureService(std::unique_ptr<CaptureSystem> system, QObject *parent = nullptr);
    ~DisplayCaptureService() override;

    void captureDisplayUnderPointer(DisplayCompletion completion) override;
    void captureWholeDisplayUnderPointer(DisplayCompletion completion) override;
    void captureFrontmostWindow(WindowCompletion completion) override;
    std::optional<quint32> prepareDisplayUnderPointer() override;

    // The same work, finished on whichever thread the picture is (at once,
    // on a grab thread, or when the desktop answers); nothing after the
    // picture needs this thread.
    // whole: the picture is kept as it is, with its PNG where the system
    // begins one as it grabs (CaptureSystem::captureWholeDisplayImage).
    QFuture<CaptureOutcome<FrozenDisplayCapture>> takeDisplayUnderPointer(bool whole = false);
    QFuture<CaptureOutcome<CapturedWindow>> takeFrontmostWindow();

    std::optional<CaptureDisplayTarget> displayTargetUnderPointer();
    std::optional<CaptureDisplayTarget> displayTarget(const SystemDisplay &display);
    static bool screenMatches(const SystemScreen &screen, const SystemDisplay &display);
    static std::optional<SystemDisplay> bestDisplay(const QList<SystemDisplay> &displays, const QRectF &windowFrame);
    static CaptureSubsystemError captureError(const CaptureSystemError &error);

    CaptureSystem *captureSystem() const { return m_system.get(); }

private:
    CaptureDisplayTarget targetFor(quint32 displayID, const QRectF &screenFrame);

    std::unique_ptr<CaptureSystem> m_system;
};

} // namespace tessaline
