#pragma once

#include "onboarding/SettingsModel.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;

namespace tessaline {

class AppRuntime;
class OnboardingCoordinator;
class ShortcutRecorderView;
class StudioText;
class SymbolLabel;
class TessalinePrimaryButton;
class UpdateService;

// The settings window: six sections ("Keyboard Shortcuts", "Capture",
// "Thinking", "Getting Started", "Updates", "Privacy") over SettingsModel.
// A normal top-level window; it closes when the user goes back to the main
// window from it, and is deleted when closed.
class SettingsView : public QWidget
{
    Q_OBJECT
public:
    SettingsView(AppRuntime &runtime, OnboardingCoordinator *onboarding, UpdateService &updates,
                 QWidget *parent = nullptr);

    SettingsModel &model() { return m_model; }
    ShortcutRecorderView *captureShortcutField() const { return m_captureField; }
    ShortcutRecorderView *quickNoteShortcutField() const { return m_quickNoteField; }

private:
    QWidget *buildShortcutsSection();
    QWidget *buildCaptureSection();
    QWidget *buildThinkingSection();
    QWidget *buildGettingStartedSection();
    QWidget *buildUpdatesSection();
    QWidget *buildPrivacySection();

    void refreshShortcuts();
    void refreshCapture();
    void refreshPermission();
    void refreshThinking();
    void refreshProfile();
    void refreshUpdates();
    void refreshPrivacy();

    SettingsModel m_model;

    ShortcutRecorderView *m_captureField = nullptr;
    ShortcutRecorderView *m_quickNoteField = nullptr;
    QPushButton *m_resetShortcuts = nullptr;
    QWidget *m_shortcutErrorRow = nullptr;
    SymbolLabel *m_shortcutErrorIcon = nullptr;
    StudioText *m_shortcutErrorText = nullptr;
    StudioText *m_shortcutHint = nullptr;
    StudioText *m_shortcutCommands = nullptr;

    QCheckBox *m_copyCaptures = nullptr;
    QCheckBox *m_openRegionCaptures = nullptr;
    SymbolLabel *m_permissionIcon = nullptr;
    QLabel *m_permissionTitle = nullptr;
    QPushButton *m_checkAgain = nullptr;
    QPushButton *m_requestAccess = nullptr;
    TessalinePrimaryButton *m_relaunch = nullptr;
    QPushButton *m_openPrivacySettings = nullptr;
    StudioText *m_permissionExplanation = nullptr;

    QCheckBox *m_reminders = nullptr;

    QWidget *m_profileRow = nullptr;
    QLabel *m_profileName = nullptr;

    QPushButton *m_checkForUpdates = nullptr;
    QCheckBox *m_automaticallyChecks = nullptr;
    QCheckBox *m_automaticallyDownloads = nullptr;
    QLabel *m_updatesFootnote = nullptr;

    QCheckBox *m_cloudSync = nullptr;
    QWidget *m_restartNotice = nullptr;
};

} // namespace tessaline
