#pragma once

#include "capture/GlobalShortcutConfiguration.h"
#include "capture/ScreenCapturePermission.h"
#include "platform/Expected.h"

#include <QObject>
#include <QString>

#include <optional>

namespace tessaline {

class AppRuntime;
class OnboardingCoordinator;
class UpdateService;

// What the settings window shows and does. Every setting lives in the object
// that uses it (the runtime, its capture coordinator, the navigation state,
// the onboarding coordinator, the update service); this model keeps only the
// last shortcut error, whether the cloud setting changed while the window
// lives, and its own copies of the updater's two automatic settings.
class SettingsModel : public QObject
{
    Q_OBJECT
public:
    enum class ShortcutSlot { capture, quickThought };

    // The updater's settings are read once, here: later changes are this
    // model's own, written through to the updater.
    SettingsModel(AppRuntime &runtime, OnboardingCoordinator *onboarding, UpdateService &updates,
                  QObject *parent = nullptr);

    static QString cloudSyncKey() { return QStringLiteral("cloudSyncEnabled"); }

    // Keyboard shortcuts.
    GlobalShortcutConfiguration shortcutConfiguration() const;
    // Applies a new shortcut for one slot (none turns it off): a candidate
    // pair that fails validation is not applied and its issue's message is
    // returned; otherwise the runtime's answer. The caller reports the answer.
    Expected<void, QString> changeShortcut(ShortcutSlot slot, const std::optional<GlobalShortcut> &shortcut);
    bool canResetShortcuts() const;
    void resetShortcuts();
    std::optional<QString> shortcutValidationMessage() const { return m_shortcutValidationMessage; }
    void setShortcutValidationMessage(const std::optional<QString> &message);
    // The stored key code of the key at a key event's scan code, for the
    // recorders, when the platform can tell.
    std::optional<quint32> keyCodeAtScanCode(quint32 nativeScanCode) const;
    // Where the desktop lets apps set no global shortcuts: what to bind in
    // its keyboard settings instead. Empty where the shortcuts work.
    QString shortcutCommandsNotice() const;
    // The hint under the recorders: a recorded shortcut works system-wide
    // only where the desktop lets apps set one; elsewhere in the app's menus.
    QString shortcutHint() const;

    // Capture behaviour.
    bool copiesCaptures() const;
    void setCopiesCaptures(bool value);
    bool opensRegionCaptureReview() const;
    void setOpensRegionCaptureReview(bool value);

    // Screen-capture permission.
    ScreenCapturePermissionState permissionState() const;
    static QString permissionTitle(ScreenCapturePermissionState state);
    // What the desktop needs before pictures can be taken, where that is
    // not a privacy switch (a Wayland desktop's screenshot portal); empty
    // otherwise.
    QString permissionAdvice() const;
    static QString permissionSystemImage(ScreenCapturePermissionState state);
    static QString permissionExplanation(ScreenCapturePermissionState state);
    void requestAccess();
    void openPrivacySettings();
    void relaunch();
    void checkAgain();

    // Thinking.
    bool remindersEnabled() const;
    void setRemindersEnabled(bool enabled);

    // Getting started. Both buttons first put the main window forward with
    // no sheet over it and ask for the settings window to close.
    bool hasOnboarding() const { return m_onboarding != nullptr; }
    QString profileName() const;
    void replayIntroduction();
    void showGuidedTour();

    // Updates.
    QString installedVersionText() const;
    bool canCheckForUpdates() const;
    void checkForUpdates();
    // Where the updater cannot check at all, the package manager updates the
    // app: the automatic settings cannot be changed, and a change asked for
    // anyway is refused out loud (updatesChanged, with the values as they
    // stand), never taken and then forgotten.
    bool updatesComeFromPackageManager() const;
    QString updatesFootnote() const;
    bool automaticallyChecksForUpdates() const { return m_automaticallyChecks; }
    void setAutomaticallyChecksForUpdates(bool value);
    bool canChangeAutomaticChecks() const;
    bool automaticallyDownloadsUpdates() const { return m_automaticallyDownloads; }
    void setAutomaticallyDownloadsUpdates(bool value);
    bool canChangeAutomaticDownloads() const;

    // Privacy. The setting is kept as the other platforms read it; here the
    // store is never mirrored, so the window offers it disabled.
    static bool isCloudSyncAvailable() { return false; }
    bool cloudSyncEnabled() const;
    void setCloudSyncEnabled(bool enabled);
    bool cloudSyncChanged() const { return m_cloudSyncChanged; }

Q_SIGNALS:
    void shortcutsChanged();
    void shortcutValidationMessageChanged();
    void captureBehaviorChanged();
    void permissionStateChanged();
    void remindersEnabledChanged();
    void profileChanged();
    void updatesChanged();
    void cloudSyncChangedChanged();
    // The settings window should close (its owner decides how).
    void closeRequested();

private:
    void returnToMainWindow();

    AppRuntime &m_runtime;
    OnboardingCoordinator *m_onboarding;
    UpdateService &m_updates;
    std::optional<QString> m_shortcutValidationMessage;
    bool m_automaticallyChecks = false;
    bool m_automaticallyDownloads = false;
    bool m_cloudSyncChanged = false;
};

} // namespace tessaline
