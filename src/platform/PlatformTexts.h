#pragma once

#include <QString>

// The app's own texts that speak of the computer, its desktop or its keys.
// They are gathered here so the wording for this desktop stays consistent.
namespace tessaline::PlatformTexts {

inline QString welcomeCaptureParagraph()
{
    return QStringLiteral("Capture anything on your computer and it appears right here\u2014copied to your clipboard "
                          "and kept beside the words that give it meaning.");
}

inline bool &shortcutsOnlyThroughCommands();

inline QString welcomeShortcutParagraph()
{
    if (shortcutsOnlyThroughCommands())
        return QStringLiteral("Start writing, or bind tessaline --capture-region to a key in your desktop's keyboard "
                              "settings and press it to add your first snip.");
    return QStringLiteral("Start writing, or press Ctrl+Super+4 to add your first snip.");
}

inline QString cloudSyncUnavailable()
{
    return QStringLiteral("Cloud sync is not available on this system.");
}

// The first-run setup's last word on privacy: there is no cloud library
// here to offer.
inline QString readyPagePrivacyLine()
{
    return QStringLiteral("Your library stays on this computer and works offline. Review reminders remain optional.");
}

inline QString cloudFallbackNotice()
{
    return QStringLiteral("Cloud sync could not start, so Tessaline opened the local library instead. ");
}

inline QString openPrivacySettingsInstruction()
{
    return QStringLiteral("Open your desktop's privacy settings, then enable Tessaline.");
}

// The error alert's button that opens the screen-recording permission.
inline QString openPrivacySettingsButton()
{
    return QStringLiteral("Open your desktop's privacy settings\u2026");
}

// Shown while the Quick Captures note is being made.
inline QString quickCapturesStayLocal()
{
    return QStringLiteral("Your captures stay local on this computer.");
}

// The search screen's line while nothing is asked.
inline QString searchStaysLocal() { return QStringLiteral("Everything stays searchable on this computer."); }

// Capture and global shortcuts.

// Who reserves a shortcut, and who may already own a hot key.
inline QString desktopName() { return QStringLiteral("the desktop"); }

// Where the user turns screen capture on.
inline QString privacySettingsPlace() { return QStringLiteral("your desktop's privacy settings"); }

// The three modifiers a global shortcut needs one of, named for the user.
inline QString requiredModifierNames() { return QStringLiteral("Ctrl, Alt, or Super"); }

// Key names in display order: command, option, shift and control are
// Ctrl, Alt, Shift and Super here.
inline QString commandKeyName() { return QStringLiteral("Ctrl"); }
inline QString optionKeyName() { return QStringLiteral("Alt"); }
inline QString shiftKeyName() { return QStringLiteral("Shift"); }
inline QString controlKeyName() { return QStringLiteral("Super"); }

// A Wayland desktop without the screenshot portal: what to install.
inline QString screenshotPortalMissing()
{
    return QStringLiteral("The desktop offers no screenshot portal: install xdg-desktop-portal and your desktop's "
                          "portal backend (xdg-desktop-portal-gnome, xdg-desktop-portal-kde or "
                          "xdg-desktop-portal-wlr), then log in again.");
}

// Set once at start where the desktop never says which window is in front,
// so no text offers a window capture that is off.
inline bool &windowCaptureUnavailable()
{
    static bool value = false;
    return value;
}

// What screen capture, once allowed, can take: the settings' line, the
// first-run setup's line, and the guided tour's word on the capture menu.
inline QString captureKindsAllowed()
{
    return windowCaptureUnavailable() ? QStringLiteral("Tessaline can capture the region or display you choose.")
                                      : QStringLiteral("Tessaline can capture the region, window, or display you choose.");
}
inline QString captureKindsReady()
{
    return windowCaptureUnavailable() ? QStringLiteral("Tessaline can now capture the area or display you choose.")
                                      : QStringLiteral("Tessaline can now capture the area, window, or display you choose.");
}
inline QString tourCaptureMenuKinds()
{
    return windowCaptureUnavailable() ? QStringLiteral("a display") : QStringLiteral("a window or display");
}

// Why "Capture Frontmost Window" is off under Wayland (but for sway).
inline QString frontmostWindowUnavailable()
{
    return QStringLiteral("This Wayland desktop does not tell apps which window is in front, so this capture is "
                          "not available here. Capture Region or Capture Display Under Pointer instead.");
}

// Settings and the first-run setup, where pictures come through a portal
// that is missing or said no.
inline QString screenshotPortalUnavailableTitle() { return QStringLiteral("Screenshots not available"); }

// The button that has the desktop ask again whether Tessaline may take
// screenshots, in the settings, the first-run setup and the alert.
inline QString requestScreenshotAccessButton() { return QStringLiteral("Request Access\u2026"); }

// The desktop's screenshot portal answered, but said no or failed. A "no"
// the desktop keeps (GNOME) is not asked again until access is requested.
inline QString screenshotPortalRefused()
{
    return QStringLiteral("The desktop's screenshot portal turned the picture down. Choose Request Access\u2026 and "
                          "allow Tessaline when your desktop asks, or check that its portal backend "
                          "(xdg-desktop-portal-gnome, xdg-desktop-portal-kde or xdg-desktop-portal-wlr) is installed "
                          "and running.");
}

// Set once at start where the desktop lets apps set no global shortcuts,
// so the texts that would name a shortcut name the bindable command.
inline bool &shortcutsOnlyThroughCommands()
{
    static bool value = false;
    return value;
}

// The settings window, where the desktop offers no global shortcuts to apps.
// The settings window's hint under the shortcut recorders, where the
// desktop lets apps set no global shortcuts: the recorded keys still serve
// the app's own menus.
inline QString shortcutHintWithoutGlobalShortcuts()
{
    return QStringLiteral("Click a field, then press any supported key combination. Changes work in Tessaline's "
                          "menus immediately.");
}

inline QString globalShortcutsNotOffered()
{
    return QStringLiteral("This desktop does not let apps set global shortcuts. Bind these commands to keys in "
                          "your desktop's keyboard settings instead:");
}

// Keys at positions that carry other labels on PC keyboards.
inline QString printKeyName() { return QStringLiteral("Print"); }
inline QString scrollLockKeyName() { return QStringLiteral("Scroll Lock"); }
inline QString pauseKeyName() { return QStringLiteral("Pause"); }
inline QString insertKeyName() { return QStringLiteral("Insert"); }

// First-run setup and guided tour.

inline QString onboardingCaptureWithoutShortcut()
{
    return QStringLiteral("Use Capture from the menu bar anywhere on your computer. You can record a global shortcut "
                          "later in Settings.");
}
// Where the desktop lets apps set no global shortcuts.
inline QString onboardingCaptureThroughCommand()
{
    return QStringLiteral("Bind tessaline --capture-region to a key in your desktop's keyboard settings, then press it "
                          "anywhere on your computer. The snip lands in your selected note\u2014or Quick Captures when "
                          "no note is selected\u2014and can open ready to annotate.");
}
// Follows "Press " and the shortcut.
inline QString onboardingCaptureAfterShortcut()
{
    return QStringLiteral(" anywhere on your computer. The snip lands in your selected note\u2014or Quick Captures when "
                          "no note is selected\u2014and can open ready to annotate.");
}
inline QString permissionExplanationBody()
{
    return QStringLiteral("The desktop requires Screen Recording access to read the pixels you select.");
}
inline QString permissionSettingsTitle() { return QStringLiteral("Finish in your desktop's privacy settings"); }
inline QString permissionRestartBody()
{
    return QStringLiteral("The desktop is still reporting the previous permission state to this running copy.");
}
inline QString permissionApproveRequestTitle() { return QStringLiteral("Approve the desktop's request"); }
inline QString permissionRequestHint() { return QStringLiteral("Shows the desktop's Screen Recording permission request."); }
inline QString permissionRequestCompleted() { return QStringLiteral("The desktop's request has been completed."); }
inline QString openPrivacySettingsTitle() { return QStringLiteral("Open Privacy Settings"); }
inline QString openPrivacySettingsHint()
{
    return QStringLiteral("Opens the screen recording permission in your desktop's privacy settings.");
}
inline QString permissionReturnedFromSettings()
{
    return QStringLiteral("Tessaline has returned from your desktop's privacy settings.");
}
inline QString permissionRelaunchDetail()
{
    return QStringLiteral("Finish this introduction, then quit and reopen Tessaline so the desktop applies access to this "
                          "exact app copy.");
}
inline QString tourPreviewBrowseLine() { return QStringLiteral("Use arrow keys to browse; zoom with the touchpad."); }

// The settings window.

// Where the app cannot update itself.
inline QString updatesFromPackageManager()
{
    return QStringLiteral("Updates to Tessaline come from your system's package manager.");
}

inline QString cloudSyncToggle() { return QStringLiteral("Sync my private library with the cloud"); }
// What the privacy section promises: there is no cloud library here, and
// the assistant talks only to a model server on this computer.
inline QString privacyFootnote()
{
    return QStringLiteral("Your library, captures, recognised text and thoughts stay on this computer; nothing is sent "
                          "to a cloud. The assistant uses a local model server only when one answers on this computer "
                          "(127.0.0.1).");
}
inline QString permissionNeedsSettingsExplanation()
{
    return QStringLiteral("Enable this exact copy of Tessaline in your desktop's privacy settings, then return here.");
}
inline QString permissionRestartExplanation()
{
    return QStringLiteral("The desktop may keep the previous permission state until this copy of Tessaline starts "
                          "again. Relaunch once to finish applying the change.");
}

// The board canvas.

// What assistive technology reads for a card on the map.
inline QString canvasCardAccessibilityHint()
{
    return QStringLiteral("Press Space or Return to preview, or use the arrow keys to move. Hold ") + optionKeyName() +
        QStringLiteral(" while using an arrow key to resize.");
}

} // namespace tessaline::PlatformTexts
