#include "capture/CaptureSubsystemError.h"

#include "platform/PlatformTexts.h"

namespace tessaline {

CaptureSubsystemError CaptureSubsystemError::noCapturableWindow(const QString &applicationName)
{
    CaptureSubsystemError error(Kind::noCapturableWindow);
    error.m_text = applicationName;
    return error;
}

CaptureSubsystemError CaptureSubsystemError::hotKeyRegistrationFailed(GlobalHotKeyAction action, qint32 status)
{
    CaptureSubsystemError error(Kind::hotKeyRegistrationFailed);
    error.m_action = action;
    error.m_status = status;
    return error;
}

CaptureSubsystemError CaptureSubsystemError::screenCaptureFailed(const QString &message)
{
    CaptureSubsystemError error(Kind::screenCaptureFailed);
    error.m_text = message;
    return error;
}

QString CaptureSubsystemError::errorDescription() const
{
    switch (m_kind) {
    case Kind::noCapturableWindow:
        return QStringLiteral("No visible window could be found for ") + m_text + u'.';
    case Kind::hotKeyRegistrationFailed:
        return QStringLiteral("The ") + globalHotKeyActionName(m_action)
            + QStringLiteral(" shortcut is already used by ") + PlatformTexts::desktopName()
            + QStringLiteral(" or another app. Your previous shortcut is still active. (")
            + PlatformTexts::statusLabel() + u' ' + QString::number(m_status) + u')';
    case Kind::screenCaptureFailed:
        return QStringLiteral("The screen could not be captured: ") + m_text;
    case Kind::permissionDenied:
        return QStringLiteral("Screen Recording permission is required to capture the screen.");
    case Kind::permissionNeedsSettings:
        return QStringLiteral("Screen Recording access is off. Enable Tessaline in ")
            + PlatformTexts::privacySettingsPlace() + QStringLiteral(", then return to the app.");
    case Kind::permissionRestartRequired:
        return QStringLiteral("Screen Recording was changed. Quit and reopen Tessaline once to finish applying access.");
    case Kind::noDisplayUnderPointer:
        return QStringLiteral("No display could be found under the pointer.");
    case Kind::displayUnavailable:
        return QStringLiteral("The selected display is no longer available.");
    case Kind::frontmostApplicationUnavailable:
        return QStringLiteral("No frontmost application is available to capture.");
    case Kind::emptySelection:
        return QStringLiteral("Select a larger area to create a snip.");
    case Kind::invalidShortcutConfiguration:
        return QStringLiteral("Choose supported global shortcuts with ") + PlatformTexts::requiredModifierNames()
            + QStringLiteral(", and keep Capture Region and Quick Note different.");
    case Kind::hotKeysNotRegistered:
        return QStringLiteral("Global shortcuts have not been started.");
    }
    return {};
}

} // namespace tessaline
