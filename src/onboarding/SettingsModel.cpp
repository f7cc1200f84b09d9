#include "onboarding/SettingsModel.h"

#include "runtime/AppRuntime.h"
#include "capture/CaptureCommand.h"
#include "runtime/OnboardingCoordinator.h"
#include "runtime/UpdateService.h"
#include "platform/PlatformTexts.h"
#include "platform/UserDefaults.h"

#include <QPointer>

namespace tessaline {

SettingsModel::SettingsModel(AppRuntime &runtime, OnboardingCoordinator *onboarding, UpdateService &updates,
                             QObject *parent)
    : QObject(parent)
    , m_runtime(runtime)
    , m_onboarding(onboarding)
    , m_updates(updates)
    , m_automaticallyChecks(updates.updater().automaticallyChecksForUpdates())
    , m_automaticallyDownloads(updates.updater().automaticallyDownloadsUpdates())
{
    connect(&runtime, &AppRuntime::shortcutConfigurationChanged, this, &SettingsModel::shortcutsChanged);
    connect(&runtime, &AppRuntime::captureBehaviorPreferencesChanged, this, &SettingsModel::captureBehaviorChanged);
    connect(&runtime.captureCoordinator(), &CaptureCoordinator::permissionStateChanged, this,
            &SettingsModel::permissionStateChanged);
    connect(&updates, &UpdateService::canCheckForUpdatesChanged, this, &SettingsModel::updatesChanged);
    if (onboarding)
        connect(onboarding, &OnboardingCoordinator::preferencesChanged, this, &SettingsModel::profileChanged);

    // Every change of the reminder switch, whoever made it, goes to the
    // runtime on a later turn: the runtime writes back what it achieved, and
    // a refusal turned back to off asks again, for off.
    connect(&runtime.navigation(), &NavigationState::remindersEnabledChanged, this, [this] {
        Q_EMIT remindersEnabledChanged();
        const bool wanted = m_runtime.navigation().remindersEnabled();
        QMetaObject::invokeMethod(
            this, [this, wanted] { m_runtime.setReviewRemindersEnabled(wanted, true); }, Qt::QueuedConnection);
    });
}

// Keyboard shortcuts.

GlobalShortcutConfiguration SettingsModel::shortcutConfiguration() const
{
    return m_runtime.shortcutConfiguration();
}

Expected<void, QString> SettingsModel::changeShortcut(ShortcutSlot slot, const std::optional<GlobalShortcut> &shortcut)
{
    GlobalShortcutConfiguration candidate = m_runtime.shortcutConfiguration();
    if (slot == ShortcutSlot::capture)
        candidate.capture = shortcut;
    else
        candidate.quickThought = shortcut;
    if (const auto issue = candidate.validationIssue())
        return unexpected(issue->message());
    return m_runtime.updateShortcutConfiguration(candidate);
}

std::optional<quint32> SettingsModel::keyCodeAtScanCode(quint32 nativeScanCode) const
{
    return m_runtime.captureCoordinator().hotKeyManager().keyCodeAtScanCode(nativeScanCode);
}

QString SettingsModel::shortcutCommandsNotice() const
{
    if (m_runtime.captureCoordinator().hotKeyManager().globalShortcutsOffered())
        return {};
    return PlatformTexts::globalShortcutsNotOffered() + u'\n' + captureCommandLines();
}

QString SettingsModel::shortcutHint() const
{
    if (m_runtime.captureCoordinator().hotKeyManager().globalShortcutsOffered())
        return QStringLiteral("Click a field, then press any supported key combination. Changes work system-wide "
                              "immediately.");
    return PlatformTexts::shortcutHintWithoutGlobalShortcuts();
}

bool SettingsModel::canResetShortcuts() const
{
    return m_runtime.shortcutConfiguration() != GlobalShortcutConfiguration::defaults();
}

void SettingsModel::resetShortcuts()
{
    const auto reset = m_runtime.updateShortcutConfiguration(GlobalShortcutConfiguration::defaults());
    setShortcutValidationMessage(reset ? std::nullopt : std::optional<QString>(reset.error()));
}

void SettingsModel::setShortcutValidationMessage(const std::optional<QString> &message)
{
    if (message == m_shortcutValidationMessage)
        return;
    m_shortcutValidationMessage = message;
    Q_EMIT shortcutValidationMessageChanged();
}

// Capture behaviour.

bool SettingsModel::copiesCaptures() const
{
    return m_runtime.captureBehaviorPreferences().automaticallyCopiesCaptures;
}

void SettingsModel::setCopiesCaptures(bool value)
{
    m_runtime.setAutomaticallyCopiesCaptures(value);
}

bool SettingsModel::opensRegionCaptureReview() const
{
    return m_runtime.captureBehaviorPreferences().automaticallyOpensRegionCaptureReview;
}

void SettingsModel::setOpensRegionCaptureReview(bool value)
{
    m_runtime.setAutomaticallyOpensRegionCaptureReview(value);
}

// Screen-capture permission.

ScreenCapturePermissionState SettingsModel::permissionState() const
{
    return m_runtime.captureCoordinator().permissionState();
}

QString SettingsModel::permissionTitle(ScreenCapturePermissionState state)
{
    switch (state) {
    case ScreenCapturePermissionState::notRequested:
        return QStringLiteral("Screen Recording not enabled");
    case ScreenCapturePermissionState::needsSettings:
        return QStringLiteral("Screen Recording access required");
    case ScreenCapturePermissionState::restartRequired:
        return QStringLiteral("Relaunch required");
    case ScreenCapturePermissionState::authorized:
        break;
    }
    return QStringLiteral("Screen Recording allowed");
}

QString SettingsModel::permissionSystemImage(ScreenCapturePermissionState state)
{
    switch (state) {
    case ScreenCapturePermissionState::notRequested:
        return QStringLiteral("display");
    case ScreenCapturePermissionState::needsSettings:
        return QStringLiteral("exclamationmark.triangle");
    case ScreenCapturePermissionState::restartRequired:
        return QStringLiteral("arrow.clockwise.circle");
    case ScreenCapturePermissionState::authorized:
        break;
    }
    return QStringLiteral("checkmark.circle.fill");
}

QString SettingsModel::permissionAdvice() const
{
    if (permissionState() == ScreenCapturePermissionState::authorized)
        return {};
    return m_runtime.captureCoordinator().permissionAdvice();
}

QString SettingsModel::permissionExplanation(ScreenCapturePermissionState state)
{
    switch (state) {
    case ScreenCapturePermissionState::notRequested:
        return QStringLiteral("Tessaline asks only when you choose Request Access. It reads pixels only when you start a "
                              "capture and never records audio or runs in the background.");
    case ScreenCapturePermissionState::needsSettings:
        return PlatformTexts::permissionNeedsSettingsExplanation();
    case ScreenCapturePermissionState::restartRequired:
        return PlatformTexts::permissionRestartExplanation();
    case ScreenCapturePermissionState::authorized:
        break;
    }
    return PlatformTexts::captureKindsAllowed();
}

void SettingsModel::requestAccess()
{
    m_runtime.captureCoordinator().requestScreenCaptureAccess();
}

void SettingsModel::openPrivacySettings()
{
    // The runtime records the request, marks the return from the desktop's
    // settings, refreshes the state and opens them, telling the user how to
    // get there when nothing opened.
    m_runtime.openScreenRecordingSettings();
}

void SettingsModel::relaunch()
{
    m_runtime.relaunchApplication();
}

void SettingsModel::checkAgain()
{
    m_runtime.captureCoordinator().refreshPermissionState();
}

// Thinking.

bool SettingsModel::remindersEnabled() const
{
    return m_runtime.navigation().remindersEnabled();
}

void SettingsModel::setRemindersEnabled(bool enabled)
{
    m_runtime.navigation().setRemindersEnabled(enabled);
}

// Getting started.

QString SettingsModel::profileName() const
{
    return m_onboarding ? m_onboarding->preferences().profile.name : QString();
}

void SettingsModel::returnToMainWindow()
{
    NavigationState &navigation = m_runtime.navigation();
    navigation.setQuickThoughtPresented(false);
    navigation.setFocusedCardID(std::nullopt);
    navigation.setGalleryCardID(std::nullopt);
    navigation.setCaptureReviewCardID(std::nullopt);
    navigation.setInspectorPresented(false);
    Q_EMIT closeRequested();
    m_runtime.bringMainWindowToFront();
}

void SettingsModel::replayIntroduction()
{
    // Closing the window may end this model; what follows must not need it.
    QPointer<OnboardingCoordinator> onboarding = m_onboarding;
    returnToMainWindow();
    if (onboarding)
        onboarding->replay();
}

void SettingsModel::showGuidedTour()
{
    QPointer<OnboardingCoordinator> onboarding = m_onboarding;
    returnToMainWindow();
    if (onboarding && !onboarding->isOnboardingPresented())
        onboarding->setTourStep(GuidedTourStep::capture);
}

// Updates.

QString SettingsModel::installedVersionText() const
{
    return UpdateService::installedVersionText();
}

bool SettingsModel::canCheckForUpdates() const
{
    return m_updates.canCheckForUpdates();
}

void SettingsModel::checkForUpdates()
{
    m_updates.checkForUpdates();
}

bool SettingsModel::updatesComeFromPackageManager() const
{
    return !m_updates.updater().isAvailable();
}

QString SettingsModel::updatesFootnote() const
{
    if (updatesComeFromPackageManager())
        return PlatformTexts::updatesFromPackageManager();
    return QStringLiteral("Tessaline checks quietly on a daily schedule after you opt in. When an update is ready, you "
                          "choose when to install and relaunch.");
}

bool SettingsModel::canChangeAutomaticChecks() const
{
    return !updatesComeFromPackageManager();
}

void SettingsModel::setAutomaticallyChecksForUpdates(bool value)
{
    if (!canChangeAutomaticChecks()) {
        Q_EMIT updatesChanged();
        return;
    }
    if (value == m_automaticallyChecks)
        return;
    m_automaticallyChecks = value;
    m_updates.updater().setAutomaticallyChecksForUpdates(value);
    Q_EMIT updatesChanged();
    // Downloading on its own makes no sense without checking.
    if (!value && m_automaticallyDownloads)
        setAutomaticallyDownloadsUpdates(false);
}

void SettingsModel::setAutomaticallyDownloadsUpdates(bool value)
{
    if (value != m_automaticallyDownloads && value && !canChangeAutomaticDownloads()) {
        Q_EMIT updatesChanged();
        return;
    }
    if (value == m_automaticallyDownloads)
        return;
    m_automaticallyDownloads = value;
    m_updates.updater().setAutomaticallyDownloadsUpdates(value);
    Q_EMIT updatesChanged();
}

bool SettingsModel::canChangeAutomaticDownloads() const
{
    return canChangeAutomaticChecks() && m_automaticallyChecks && m_updates.updater().allowsAutomaticUpdates();
}

// Privacy.

bool SettingsModel::cloudSyncEnabled() const
{
    return m_runtime.defaults().boolean(cloudSyncKey());
}

void SettingsModel::setCloudSyncEnabled(bool enabled)
{
    if (enabled == cloudSyncEnabled())
        return;
    m_runtime.defaults().setBoolean(cloudSyncKey(), enabled);
    if (!m_cloudSyncChanged) {
        m_cloudSyncChanged = true;
        Q_EMIT cloudSyncChangedChanged();
    }
}

} // namespace tessaline
