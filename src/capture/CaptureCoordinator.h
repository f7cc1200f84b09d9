#pragma once

#include "capture/CaptureSubsystemError.h"
#include "capture/CaptureValues.h"
#include "capture/DisplayCapturing.h"
#include "capture/GlobalHotKeyManager.h"
#include "capture/GlobalShortcutConfigurationStore.h"
#include "capture/RegionSelectionOverlay.h"
#include "capture/ScreenCapturePermission.h"
#include "platform/PlatformFactory.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

namespace tessaline {

class PopupCloseWatcher;

class NotificationCenter;

// Notification names posted by the capture coordinator, and the keys of
// their user info.
namespace CaptureNotifications {
inline QString captureRequested() { return QStringLiteral("tessaline.capture.requested"); }
inline QString quickThoughtRequested() { return QStringLiteral("tessaline.quickThought.requested"); }
inline QString captureCompleted() { return QStringLiteral("Tessaline.captureCompleted"); }
inline QString captureCancelled() { return QStringLiteral("Tessaline.captureCancelled"); }
inline QString captureFailed() { return QStringLiteral("Tessaline.captureFailed"); }
inline QString permissionChanged() { return QStringLiteral("Tessaline.screenCapturePermissionChanged"); }
inline QString resultKey() { return QStringLiteral("result"); }
inline QString errorKey() { return QStringLiteral("error"); }
inline QString permissionStateKey() { return QStringLiteral("permissionState"); }
} // namespace CaptureNotifications

// Makes the region selection of one frozen capture; the coordinator's
// default puts up the real overlay.
using RegionSelectionFactory = std::function<std::unique_ptr<RegionSelectionSession>(
    const FrozenDisplayCapture &, RegionSelectionSession::Completion)>;

struct CaptureCoordinatorServices
{
    std::shared_ptr<DisplayCapturing> displayCaptureService;
    std::shared_ptr<ScreenCapturePermissionHistoryStore> permissionHistoryStore;
    std::shared_ptr<GlobalHotKeyManager> hotKeyManager;
    std::shared_ptr<GlobalShortcutConfigurationStore> shortcutStore;
    // Optional: the system's check (ScreenCapturePermissionController), the
    // process's notification centre and the real overlay by default.
    std::shared_ptr<ScreenCapturePermissionProviding> permissionController;
    NotificationCenter *notificationCenter = nullptr;
    RegionSelectionFactory regionSelectionFactory;
    // Gets the region selection of a display ready ahead of time; with the
    // default factory, the real overlay's window.
    std::function<void(quint32 displayID)> prepareRegionSelection;

    // The pictures, the access check and the hot keys of the session's
    // backends; the stores are left to the caller.
    static CaptureCoordinatorServices fromPlatform(PlatformBackends backends);
};

// Turns capture requests into capture results: checks the screen-capture
// permission, takes the picture, runs the region selection and crop, and
// reports a result, a cancellation or an error through its callbacks and
// notifications. Also owns the global shortcuts: registers, validates,
// stores and publishes them. Main thread only.
class CaptureCoordinator : public QObject
{
    Q_OBJECT
public:
    explicit CaptureCoordinator(CaptureCoordinatorServices services, QObject *parent = nullptr);
    ~CaptureCoordinator() override;

    // Runtime callbacks; each runs on the main thread when set.
    std::function<void(const CaptureResult &)> onCaptureCompleted;
    std::function<void()> onCaptureCancelled;
    std::function<void(const CaptureSubsystemError &)> onCaptureError;
    std::function<void()> onRegionCaptureRequested;
    std::function<void()> onQuickThoughtRequested;

    CaptureCoordinatorState state() const { return m_state; }
    ScreenCapturePermissionState permissionState() const { return m_permissionState; }
    // Said instead of the privacy-settings texts where the desktop grants
    // pictures another way (a Wayland desktop's screenshot portal).
    QString permissionAdvice() const { return m_services.permissionController->accessAdvice(); }
    GlobalShortcutConfiguration shortcutConfiguration() const { return m_shortcutConfiguration; }

    // Ignored while a capture is being prepared; otherwise cancels any
    // earlier capture task and starts a new one.
    void beginCapture(CaptureMode mode);
    // Call once the app is idle after starting: readies the picture buffers
    // and the overlay of the display under the pointer, so the session's
    // first capture is as quick as the ones after it.
    void prepareForFirstCapture();
    void refreshPermissionState();
    ScreenCapturePermissionState requestScreenCaptureAccess();
    Expected<void, CaptureSubsystemError> registerHotKeys(const GlobalShortcutConfiguration &configuration);
    // Validates, registers (when hot keys are on), saves and publishes; on
    // any error nothing is saved or published.
    Expected<void, CaptureSubsystemError> updateShortcuts(const GlobalShortcutConfiguration &configuration);
    // The runtime's start-up step: marks the hot-key lifecycle as started
    // and registers the published configuration.
    Expected<void, CaptureSubsystemError> enableHotKeys();
    void clearFailure();

    bool hotKeysAreActive() const { return m_hotKeysAreActive; }
    void setHotKeysAreActive(bool active) { m_hotKeysAreActive = active; }
    bool hotKeyLifecycleEnabled() const { return m_hotKeyLifecycleEnabled; }
    void setHotKeyLifecycleEnabled(bool enabled) { m_hotKeyLifecycleEnabled = enabled; }
    bool isReturningFromScreenCaptureSettings() const { return m_isReturningFromScreenCaptureSettings; }
    void setReturningFromScreenCaptureSettings(bool returning) { m_isReturningFromScreenCaptureSettings = returning; }
    bool captureAccessWasVerifiedThisSession() const { return m_captureAccessWasVerifiedThisSession; }

    ScreenCapturePermissionHistoryStore &permissionHistoryStore() const { return *m_services.permissionHistoryStore; }
    ScreenCapturePermissionProviding &permissionController() const { return *m_services.permissionController; }
    GlobalHotKeyManager &hotKeyManager() const { return *m_services.hotKeyManager; }
    RegionSelectionSession *overlayController() const { return m_overlayController.get(); }
    bool hasCaptureTask() const { return m_captureTask != nullptr; }

Q_SIGNALS:
    // Sent on every assignment, also when the value stays the same.
    void stateChanged();
    void permissionStateChanged();
    void shortcutConfigurationChanged();

private:
    struct CaptureTask
    {
        CaptureMode mode;
        bool cancelled = false;
    };

    void setState(const CaptureCoordinatorState &state);
    void runCaptureTask(const std::shared_ptr<CaptureTask> &task);
    void imageFailed(const std::shared_ptr<CaptureTask> &task, const CaptureSubsystemError &error);
    void imageTaken(const std::shared_ptr<CaptureTask> &task);
    // A selection's picture, cropped and its PNG begun as the selection was
    // made, while the overlay was still being taken down.
    struct SelectedRegion
    {
        QRectF rect;
        QImage image;
        EarlyPng png;
    };

    void beginRegionSelection(const FrozenDisplayCapture &capture);
    void finishRegionSelection(const FrozenDisplayCapture &capture, const QRectF &rect);
    void completeCapture(const CaptureResult &result);
    void failCapture(const CaptureSubsystemError &error);
    void cancelCapture();
    void dropTask(const std::shared_ptr<CaptureTask> &task);
    void handleRegionHotKey();
    void handleQuickThoughtHotKey();
    void post(const QString &name, const QVariantMap &userInfo = {});
    void setRelaunchRecommended(bool value);

    CaptureCoordinatorServices m_services;
    CaptureCoordinatorState m_state;
    ScreenCapturePermissionState m_permissionState = ScreenCapturePermissionState::notRequested;
    GlobalShortcutConfiguration m_shortcutConfiguration;
    bool m_hotKeysAreActive = false;
    bool m_hotKeyLifecycleEnabled = false;
    std::unique_ptr<RegionSelectionSession, void (*)(RegionSelectionSession *)> m_overlayController;
    std::shared_ptr<CaptureTask> m_captureTask;
    std::optional<SelectedRegion> m_selectedRegion;
    PopupCloseWatcher *m_popups = nullptr;
    bool m_isReturningFromScreenCaptureSettings = false;
    bool m_captureAccessWasVerifiedThisSession = false;
};

} // namespace tessaline

Q_DECLARE_METATYPE(tessaline::ScreenCapturePermissionState)
