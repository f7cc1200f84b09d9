#include "capture/CaptureCoordinator.h"

#include "capture/DisplayCaptureService.h"
#include "capture/PopupCloseWatcher.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QTimer>

#include <utility>

namespace tessaline {

namespace {

void deleteSessionLater(RegionSelectionSession *session)
{
    // A session is often dropped from inside its own completion, so it must
    // outlive the call that is running.
    if (session)
        session->deleteLater();
}

} // namespace

CaptureCoordinatorServices CaptureCoordinatorServices::fromPlatform(PlatformBackends backends)
{
    CaptureCoordinatorServices services;
    auto display = std::make_shared<DisplayCaptureService>(std::move(backends.captureSystem));
    services.permissionController = std::make_shared<ScreenCapturePermissionController>(display->captureSystem());
    services.displayCaptureService = std::move(display);
    services.hotKeyManager = std::make_shared<GlobalHotKeyManager>(std::move(backends.hotKeySystem));
    return services;
}

CaptureCoordinator::CaptureCoordinator(CaptureCoordinatorServices services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_overlayController(nullptr, deleteSessionLater)
    , m_popups(new PopupCloseWatcher(this))
{
    if (!m_services.permissionController)
        m_services.permissionController = std::make_shared<ScreenCapturePermissionController>();
    if (!m_services.notificationCenter)
        m_services.notificationCenter = &NotificationCenter::defaultCenter();
    if (!m_services.regionSelectionFactory) {
        m_services.regionSelectionFactory = [](const FrozenDisplayCapture &capture,
                                               RegionSelectionSession::Completion completion) {
            return std::unique_ptr<RegionSelectionSession>(
                new RegionSelectionOverlayController(capture, std::move(completion)));
        };
        if (!m_services.prepareRegionSelection)
            m_services.prepareRegionSelection = &RegionSelectionOverlayController::prepareWindow;
    }

    // A relaunch recommendation belongs to the process that made it; every
    // launch starts without one.
    setRelaunchRecommended(false);
    UserDefaults &defaults = m_services.permissionHistoryStore->defaults();
    if (m_services.permissionController->hasAccess())
        m_permissionState = ScreenCapturePermissionState::authorized;
    else if (defaults.boolean(ScreenCapturePermissionHistoryStore::hasRequestedAccessKey()))
        m_permissionState = ScreenCapturePermissionState::needsSettings;
    else
        m_permissionState = ScreenCapturePermissionState::notRequested;

    m_shortcutConfiguration = m_services.shortcutStore->load();
    // A desktop that binds the keys a while after a change may then refuse
    // them; the manager has put back the pair the desktop gave before, and
    // that pair is the one kept and shown, so the refused key does not come
    // back at the next start.
    if (m_services.hotKeyManager) {
        connect(m_services.hotKeyManager.get(), &GlobalHotKeyManager::registrationRefused, this, [this] {
            const auto registered = m_services.hotKeyManager->registeredConfiguration();
            if (!m_hotKeysAreActive || !registered || *registered == m_shortcutConfiguration)
                return;
            m_services.shortcutStore->save(*registered);
            m_shortcutConfiguration = *registered;
            Q_EMIT shortcutConfigurationChanged();
        });
    }
}

CaptureCoordinator::~CaptureCoordinator() = default;

void CaptureCoordinator::setState(const CaptureCoordinatorState &state)
{
    m_state = state;
    Q_EMIT stateChanged();
}

void CaptureCoordinator::post(const QString &name, const QVariantMap &userInfo)
{
    m_services.notificationCenter->post(name, this, userInfo);
}

void CaptureCoordinator::setRelaunchRecommended(bool value)
{
    // Every refresh clears the recommendation; writing a value the settings
    // already read back costs a settings-file write on the hot-key road.
    UserDefaults &defaults = m_services.permissionHistoryStore->defaults();
    const QString key = ScreenCapturePermissionHistoryStore::relaunchRecommendedKey();
    if (defaults.boolean(key) != value)
        defaults.setBoolean(key, value);
}

void CaptureCoordinator::beginCapture(CaptureMode mode)
{
    // The capture under way is the user's: a picture on its way or an
    // overlay up takes no other request. One not yet begun gives way to
    // the request after it, so of several read in one turn (from the
    // command socket, say) the last is taken.
    if (m_state.isBusy())
        return;
    setState(CaptureCoordinatorState::idle());
    if (m_captureTask)
        m_captureTask->cancelled = true;
    auto task = std::make_shared<CaptureTask>(CaptureTask{mode});
    m_captureTask = task;
    QPointer<CaptureCoordinator> self(this);
    auto run = [self, task] {
        if (self)
            self->runCaptureTask(task);
    };
    // Asked for from one of our menus: the picture waits until the screen
    // no longer shows the menu.
    if (const int settle = m_popups->settleRemaining(); settle > 0) {
        QTimer::singleShot(settle, this, run);
        return;
    }
    // A posted call rather than a zero timer: timers wait behind the
    // window system's events, and this is the hot-key road.
    QMetaObject::invokeMethod(this, run, Qt::QueuedConnection);
}

void CaptureCoordinator::prepareForFirstCapture()
{
    // Never a reason to ask for access: without it there is nothing to
    // prepare for.
    if (m_state.isBusy() || !m_services.permissionController->hasAccess())
        return;
    const auto display = m_services.displayCaptureService->prepareDisplayUnderPointer();
    if (display && m_services.prepareRegionSelection)
        m_services.prepareRegionSelection(*display);
}

void CaptureCoordinator::runCaptureTask(const std::shared_ptr<CaptureTask> &task)
{
    refreshPermissionState();
    if (m_permissionState == ScreenCapturePermissionState::notRequested) {
        setState(CaptureCoordinatorState::requestingPermission());
        // The answer is not used: the picture is attempted whatever the user
        // decided, and a refusal shows up as the capture's error.
        requestScreenCaptureAccess();
    }
    if (task->cancelled) {
        dropTask(task);
        cancelCapture();
        return;
    }
    setState(CaptureCoordinatorState::capturingDisplay());
    QPointer<CaptureCoordinator> self(this);
    // Both kinds of picture end the same way when they failed or when the
    // task was cancelled while the picture was taken; true when it goes on.
    auto proceeds = [](CaptureCoordinator *coordinator, const std::shared_ptr<CaptureTask> &task,
                       const auto &outcome) {
        if (!outcome) {
            coordinator->imageFailed(task, outcome.error());
            return false;
        }
        coordinator->imageTaken(task);
        if (task->cancelled) {
            coordinator->dropTask(task);
            coordinator->cancelCapture();
            return false;
        }
        return true;
    };
    auto displayTaken = [self, task, proceeds](CaptureOutcome<FrozenDisplayCapture> outcome) {
        if (!self || !proceeds(self.data(), task, outcome))
            return;
        const FrozenDisplayCapture &capture = *outcome;
        if (task->mode == CaptureMode::region)
            self->beginRegionSelection(capture);
        else
            self->completeCapture(capture.captureResult());
    };
    switch (task->mode) {
    case CaptureMode::region:
        m_services.displayCaptureService->captureDisplayUnderPointer(std::move(displayTaken));
        break;
    case CaptureMode::display:
        m_services.displayCaptureService->captureWholeDisplayUnderPointer(std::move(displayTaken));
        break;
    case CaptureMode::window:
        m_services.displayCaptureService->captureFrontmostWindow(
            [self, task, proceeds](CaptureOutcome<CapturedWindow> outcome) {
                if (!self || !proceeds(self.data(), task, outcome))
                    return;
                self->completeCapture(outcome->captureResult());
            });
        break;
    }
}

void CaptureCoordinator::imageTaken(const std::shared_ptr<CaptureTask> &)
{
    m_captureAccessWasVerifiedThisSession = true;
    setRelaunchRecommended(false);
    refreshPermissionState();
}

void CaptureCoordinator::imageFailed(const std::shared_ptr<CaptureTask> &, const CaptureSubsystemError &error)
{
    if (error.kind() != CaptureSubsystemError::Kind::permissionDenied) {
        failCapture(error);
        return;
    }
    // Say what the user can do about it, by what the system now reports.
    m_captureAccessWasVerifiedThisSession = false;
    refreshPermissionState();
    // Advice of the desktop's own (what to install, say) goes along.
    const QString advice = error.text();
    switch (m_permissionState) {
    case ScreenCapturePermissionState::authorized:
        failCapture(CaptureSubsystemError::permissionDenied(advice));
        break;
    case ScreenCapturePermissionState::notRequested:
    case ScreenCapturePermissionState::needsSettings:
        failCapture(CaptureSubsystemError::permissionNeedsSettings(advice));
        break;
    case ScreenCapturePermissionState::restartRequired:
        failCapture(CaptureSubsystemError::permissionRestartRequired(advice));
        break;
    }
}

void CaptureCoordinator::beginRegionSelection(const FrozenDisplayCapture &capture)
{
    setState(CaptureCoordinatorState::selectingRegion());
    QPointer<CaptureCoordinator> self(this);
    auto completion = [self, capture](const RegionSelectionOutcome &outcome) {
        if (!self)
            return;
        self->m_overlayController.reset();
        self->m_captureTask.reset();
        if (outcome.isCancelled)
            self->cancelCapture();
        else
            self->finishRegionSelection(capture, outcome.rect);
    };
    m_overlayController.reset(m_services.regionSelectionFactory(capture, std::move(completion)).release());
    RegionSelectionSession *session = m_overlayController.get();
    if (!session)
        return;
    session->onSelected = [self, capture](const QRectF &rect) {
        if (!self)
            return;
        self->m_selectedRegion.reset();
        if (const auto image = capture.croppedImage(rect))
            self->m_selectedRegion = SelectedRegion{rect, *image, EarlyPng::begin(*image)};
    };
    session->begin();
}

void CaptureCoordinator::finishRegionSelection(const FrozenDisplayCapture &capture, const QRectF &rect)
{
    const std::optional<SelectedRegion> selected = std::exchange(m_selectedRegion, std::nullopt);
    const bool begun = selected && selected->rect == rect;
    const auto image = begun ? std::optional<QImage>(selected->image) : capture.croppedImage(rect);
    if (!image) {
        failCapture(CaptureSubsystemError::emptySelection());
        return;
    }
    CaptureResult result = capture.regionResult(rect, *image);
    if (begun)
        result.png = selected->png;
    completeCapture(result);
}

void CaptureCoordinator::dropTask(const std::shared_ptr<CaptureTask> &task)
{
    // Only the task that ends lets go of its handle; a newer one keeps its.
    if (m_captureTask == task)
        m_captureTask.reset();
}

void CaptureCoordinator::completeCapture(const CaptureResult &result)
{
    m_captureTask.reset();
    setState(CaptureCoordinatorState::idle());
    if (onCaptureCompleted)
        onCaptureCompleted(result);
    post(CaptureNotifications::captureCompleted(), {{CaptureNotifications::resultKey(), QVariant::fromValue(result)}});
}

void CaptureCoordinator::failCapture(const CaptureSubsystemError &error)
{
    m_captureTask.reset();
    m_overlayController.reset();
    m_selectedRegion.reset();
    setState(CaptureCoordinatorState::failed(error.errorDescription()));
    if (onCaptureError)
        onCaptureError(error);
    post(CaptureNotifications::captureFailed(), {{CaptureNotifications::errorKey(), QVariant::fromValue(error)}});
}

void CaptureCoordinator::cancelCapture()
{
    m_overlayController.reset();
    m_selectedRegion.reset();
    setState(CaptureCoordinatorState::idle());
    if (onCaptureCancelled)
        onCaptureCancelled();
    post(CaptureNotifications::captureCancelled());
}

void CaptureCoordinator::clearFailure()
{
    if (m_state.kind() == CaptureCoordinatorState::Kind::failed)
        setState(CaptureCoordinatorState::idle());
}

void CaptureCoordinator::refreshPermissionState()
{
    const bool granted = m_captureAccessWasVerifiedThisSession || m_services.permissionController->hasAccess();
    if (granted)
        setRelaunchRecommended(false);
    UserDefaults &defaults = m_services.permissionHistoryStore->defaults();
    const bool requested = defaults.boolean(ScreenCapturePermissionHistoryStore::hasRequestedAccessKey());
    const bool relaunch = defaults.boolean(ScreenCapturePermissionHistoryStore::relaunchRecommendedKey());
    if (granted)
        m_permissionState = ScreenCapturePermissionState::authorized;
    else if (relaunch)
        m_permissionState = ScreenCapturePermissionState::restartRequired;
    else if (requested)
        m_permissionState = ScreenCapturePermissionState::needsSettings;
    else
        m_permissionState = ScreenCapturePermissionState::notRequested;
    Q_EMIT permissionStateChanged();
    post(CaptureNotifications::permissionChanged(),
         {{CaptureNotifications::permissionStateKey(), QVariant::fromValue(m_permissionState)}});
}

ScreenCapturePermissionState CaptureCoordinator::requestScreenCaptureAccess()
{
    ScreenCapturePermissionProviding &controller = *m_services.permissionController;
    if (controller.hasAccess()) {
        setRelaunchRecommended(false);
        refreshPermissionState();
        return m_permissionState;
    }
    m_services.permissionHistoryStore->defaults().setBoolean(ScreenCapturePermissionHistoryStore::hasRequestedAccessKey(),
                                                             true);
    const bool granted = controller.requestAccess();
    if (controller.hasAccess())
        setRelaunchRecommended(false);
    else if (granted)
        setRelaunchRecommended(true); // granted, but only a new process can use it
    refreshPermissionState();
    return m_permissionState;
}

Expected<void, CaptureSubsystemError> CaptureCoordinator::registerHotKeys(const GlobalShortcutConfiguration &configuration)
{
    QPointer<CaptureCoordinator> self(this);
    return m_services.hotKeyManager->registerConfiguration(
        configuration,
        [self] {
            if (self)
                self->handleRegionHotKey();
        },
        [self] {
            if (self)
                self->handleQuickThoughtHotKey();
        });
}

Expected<void, CaptureSubsystemError> CaptureCoordinator::enableHotKeys()
{
    m_hotKeyLifecycleEnabled = true;
    return registerHotKeys(m_shortcutConfiguration).transform([this] { m_hotKeysAreActive = true; });
}

Expected<void, CaptureSubsystemError> CaptureCoordinator::updateShortcuts(const GlobalShortcutConfiguration &configuration)
{
    if (!configuration.isValid())
        return unexpected(CaptureSubsystemError::invalidShortcutConfiguration());
    if (configuration == m_shortcutConfiguration)
        return {};
    if (m_hotKeysAreActive) {
        if (auto updated = m_services.hotKeyManager->update(configuration); !updated) {
            // The manager has put the previous pair back when it could.
            m_hotKeysAreActive = m_services.hotKeyManager->registeredConfiguration().has_value();
            return updated;
        }
    } else if (m_hotKeyLifecycleEnabled) {
        if (auto registered = registerHotKeys(configuration); !registered)
            return registered;
        m_hotKeysAreActive = true;
    }
    m_services.shortcutStore->save(configuration);
    m_shortcutConfiguration = configuration;
    Q_EMIT shortcutConfigurationChanged();
    return {};
}

void CaptureCoordinator::handleRegionHotKey()
{
    if (onRegionCaptureRequested)
        onRegionCaptureRequested();
    else
        beginCapture(CaptureMode::region);
    post(CaptureNotifications::captureRequested());
}

void CaptureCoordinator::handleQuickThoughtHotKey()
{
    if (onQuickThoughtRequested)
        onQuickThoughtRequested();
    post(CaptureNotifications::quickThoughtRequested());
}

} // namespace tessaline
