#pragma once

// Stand-ins for the platform under the capture logic: they record what was
// asked of them and let a test decide when and how each request ends.

#include "capture/DisplayCapturing.h"
#include "capture/RegionSelectionOverlay.h"
#include "capture/ScreenCapturePermission.h"
#include "platform/CaptureSystem.h"
#include "platform/HotKeySystem.h"

#include <QHash>
#include <QList>

#include <functional>

namespace tessaline::fakes {

class FakeDisplayCapturing : public DisplayCapturing
{
public:
    void captureDisplayUnderPointer(DisplayCompletion completion) override
    {
        ++displayRequests;
        pendingDisplay.append(std::move(completion));
    }
    void captureFrontmostWindow(WindowCompletion completion) override
    {
        ++windowRequests;
        pendingWindow.append(std::move(completion));
    }

    std::optional<quint32> prepareDisplayUnderPointer() override
    {
        ++prepareRequests;
        return preparable;
    }

    void finishDisplay(CaptureOutcome<FrozenDisplayCapture> outcome)
    {
        auto completion = pendingDisplay.takeFirst();
        completion(std::move(outcome));
    }
    void finishWindow(CaptureOutcome<CapturedWindow> outcome)
    {
        auto completion = pendingWindow.takeFirst();
        completion(std::move(outcome));
    }

    int displayRequests = 0;
    int windowRequests = 0;
    int prepareRequests = 0;
    std::optional<quint32> preparable;
    QList<DisplayCompletion> pendingDisplay;
    QList<WindowCompletion> pendingWindow;
};

class FakePermission : public ScreenCapturePermissionProviding
{
public:
    QString accessAdvice() const override { return advice; }
    // What a Wayland desktop's portal would say is missing.
    QString advice;
    bool hasAccess() const override
    {
        ++const_cast<FakePermission *>(this)->hasAccessCalls;
        return access;
    }
    bool requestAccess() override
    {
        ++requestCalls;
        if (duringRequest)
            duringRequest();
        if (requestGrantsAccess)
            access = true;
        return requestAnswer;
    }

    bool access = false;
    bool requestAnswer = false;
    bool requestGrantsAccess = false;
    int hasAccessCalls = 0;
    int requestCalls = 0;
    std::function<void()> duringRequest;
};

class FakeRegionSession : public RegionSelectionSession
{
public:
    FakeRegionSession(const FrozenDisplayCapture &capture, Completion completion, int *begins)
        : capture(capture), completion(std::move(completion)), begins(begins)
    {
    }
    void begin() override { ++*begins; }
    // As the overlay does: a selection is told of first, then the outcome.
    void finish(const RegionSelectionOutcome &outcome)
    {
        if (!outcome.isCancelled && onSelected && tellsSelectionFirst)
            onSelected(outcome.rect);
        auto done = std::move(completion);
        done(outcome);
    }

    FrozenDisplayCapture capture;
    Completion completion;
    int *begins;
    bool tellsSelectionFirst = true;
};

class FakeHotKeySystem : public HotKeySystem
{
public:
    struct Registration
    {
        quint32 keyCode;
        quint32 modifierFlags;
        HotKeyID id;
    };

    HotKeyStatus installEventHandler(EventHandler eventHandler) override
    {
        calls.append(QStringLiteral("install"));
        if (installStatus != HotKeyStatus::registered)
            return installStatus;
        handler = std::move(eventHandler);
        return HotKeyStatus::registered;
    }
    void removeEventHandler() override
    {
        calls.append(QStringLiteral("remove"));
        handler = nullptr;
    }
    HotKeyStatus registerHotKey(const HotKeyRequest &request, HotKeyReference *reference) override
    {
        calls.append(QStringLiteral("register %1").arg(request.keyCode));
        if (const HotKeyStatus status = takenKeyCodes.value(request.keyCode, HotKeyStatus::registered);
            status != HotKeyStatus::registered)
            return status;
        const HotKeyReference ref = nextReference++;
        registered.insert(ref, Registration{request.keyCode, request.modifierFlags, request.id});
        names.append(request.name);
        *reference = ref;
        return HotKeyStatus::registered;
    }
    void unregisterHotKey(HotKeyReference reference) override
    {
        calls.append(QStringLiteral("unregister"));
        registered.remove(reference);
    }
    std::optional<quint32> keyCodeAtScanCode(quint32 nativeScanCode) const override
    {
        return scanCodes.contains(nativeScanCode) ? std::optional<quint32>(scanCodes.value(nativeScanCode)) : std::nullopt;
    }
    bool bindsLater() const override { return answersLater; }
    void setBindingHandler(BindingHandler handler) override { bindingHandler = std::move(handler); }
    // The desktop turns these down after registering answered yes (none:
    // it bound every one).
    void refuseLater(const QList<HotKeyID> &refused, HotKeyStatus status = HotKeyStatus::refused)
    {
        if (bindingHandler)
            bindingHandler(refused, status);
    }

    // Whether a press of a key was ours.
    bool press(quint32 keyCode)
    {
        for (const Registration &registration : std::as_const(registered)) {
            if (registration.keyCode == keyCode && handler)
                return handler(HotKeyEvent{true, registration.id});
        }
        return false;
    }
    BindingHandler bindingHandler;
    bool answersLater = false;
    QList<quint32> registeredKeyCodes() const
    {
        QList<quint32> codes;
        for (const Registration &registration : registered)
            codes.append(registration.keyCode);
        std::sort(codes.begin(), codes.end());
        return codes;
    }

    EventHandler handler;
    HotKeyStatus installStatus = HotKeyStatus::registered;
    QHash<quint32, HotKeyStatus> takenKeyCodes;
    QHash<quint32, quint32> scanCodes;
    QStringList names;
    QHash<HotKeyReference, Registration> registered;
    HotKeyReference nextReference = 1;
    QStringList calls;
};

// A capture system whose screens, windows and images a test lays out.
class FakeCaptureSystem : public CaptureSystem
{
public:
    QPointF pointerLocation() override { return pointer; }
    QList<SystemScreen> screens() override { return screenList; }
    std::optional<int> mainScreenIndex() override { return mainIndex; }
    QSize displayPixelSize(quint32 displayID) override { return pixelSizes.value(displayID); }
    std::optional<SystemApplication> frontmostApplication() override { return frontmost; }
    QString frontmostWindowAdvice() const override { return windowAdvice; }
    CaptureSystemResult<ShareableContent> shareableContent() override
    {
        if (contentError)
            return unexpected(*contentError);
        return content;
    }
    CaptureSystemResult<QList<SystemDisplay>> shareableDisplays() override
    {
        if (contentError)
            return unexpected(*contentError);
        return content.displays;
    }
    double windowPointPixelScale(const SystemWindow &) override { return windowScale; }
    void prepareDisplayCapture(const SystemDisplay &display) override { preparedDisplays.append(display.displayID); }
    QFuture<CaptureSystemResult<QImage>> captureDisplayImage(const SystemDisplay &display, const QSize &size) override
    {
        requestedDisplaySizes.append(size);
        capturedDisplays.append(display.displayID);
        if (imageError)
            return QtFuture::makeReadyFuture(CaptureSystemResult<QImage>(unexpected(*imageError)));
        QImage image(deliveredSize.isValid() ? deliveredSize : size, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        return QtFuture::makeReadyFuture(CaptureSystemResult<QImage>(image));
    }
    QFuture<CaptureSystemResult<WholePicture>> captureWindowImage(const SystemWindow &window, const QSize &size) override
    {
        requestedWindowSizes.append(size);
        capturedWindows.append(window.windowID);
        if (imageError)
            return QtFuture::makeReadyFuture(CaptureSystemResult<WholePicture>(unexpected(*imageError)));
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::darkYellow);
        return QtFuture::makeReadyFuture(CaptureSystemResult<WholePicture>(WholePicture{image, std::nullopt}));
    }

    QPointF pointer;
    QList<SystemScreen> screenList;
    std::optional<int> mainIndex;
    QHash<quint32, QSize> pixelSizes;
    std::optional<SystemApplication> frontmost;
    // Why no window is known to be in front (a desktop that never says).
    QString windowAdvice;
    ShareableContent content;
    std::optional<CaptureSystemError> contentError;
    std::optional<CaptureSystemError> imageError;
    QSize deliveredSize;
    double windowScale = 1;
    QList<QSize> requestedDisplaySizes;
    QList<QSize> requestedWindowSizes;
    QList<quint32> capturedDisplays;
    QList<quint32> preparedDisplays;
    QList<quint32> capturedWindows;
};

} // namespace tessaline::fakes
