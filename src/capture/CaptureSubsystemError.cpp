#include "capture/CaptureSubsystemError.h"

#include "platform/PlatformTexts.h"

namespace tessaline {

CaptureSubsystemError CaptureSubsystemError::noCapturableWindow(const QString &applicationName)
{
    CaptureSubsystemError error(Kind::noCapturableWindow);
    error.m_text = applicationName;
    return error;
}

CaptureSubsystemError CaptureSubsystemError::hotKeyRegistrationFailed(GlobalHotKeyAction action, HotKeyStatus status)
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

CaptureSubsystemError CaptureSubsystemError::permissionDenied(const QString &advice)
{
    return CaptureSubsystemError(Kind::permissionDenied, advice);
}

CaptureSubsystemError CaptureSubsystemError::permissionNeedsSettings(const QString &advice)
{
    return CaptureSubsystemError(Kind::permissionNeedsSettings, advice);
}

CaptureSubsystemError CaptureSubsystemError::permissionRestartRequired(const QString &advice)
{
    return CaptureSubsystemError(Kind::permissionRestartRequired, advice);
}

namespace {

QString withAdvice(const QString &message, const QString &advice)
{
    return advice.isEmpty() ? message : message + u' ' + advice;
}

QString hotKeyFailure(GlobalHotKeyAction action, HotKeyStatus status)
{
    const QString name = globalHotKeyActionName(action);
    const QString stillActive = QStringLiteral(" Your previous shortcut is still active.");
    switch (status) {
    case HotKeyStatus::alreadyTaken:
        return QStringLiteral("The ") + name + QStringLiteral(" shortcut is already used by ")
            + PlatformTexts::desktopName() + QStringLiteral(" or another app.") + stillActive;
    case HotKeyStatus::unsupportedKey:
        return QStringLiteral("The ") + name + QStringLiteral(" shortcut uses a key this keyboard does not have.")
            + stillActive;
    case HotKeyStatus::refused:
        return QStringLiteral("The desktop did not allow the ") + name + QStringLiteral(" shortcut.") + stillActive;
    case HotKeyStatus::notOffered:
        return QStringLiteral("The desktop does not let apps set global shortcuts, so the ") + name
            + QStringLiteral(" shortcut works only through the desktop's keyboard settings.");
    case HotKeyStatus::noWindowSystem:
        return QStringLiteral("The ") + name
            + QStringLiteral(" shortcut could not be set because no X11 or Wayland session is running.");
    case HotKeyStatus::registered:
        break;
    }
    return QStringLiteral("The ") + name + QStringLiteral(" shortcut could not be set.") + stillActive;
}

} // namespace

QString CaptureSubsystemError::errorDescription() const
{
    // The desktop's own advice says what happened and what helps; the
    // privacy-settings texts and the plain message do not apply there.
    if ((m_kind == Kind::permissionDenied || m_kind == Kind::permissionNeedsSettings
         || m_kind == Kind::permissionRestartRequired || m_kind == Kind::frontmostApplicationUnavailable)
        && !m_text.isEmpty())
        return m_text;
    switch (m_kind) {
    case Kind::noCapturableWindow:
        return QStringLiteral("No visible window could be found for ") + m_text + u'.';
    case Kind::hotKeyRegistrationFailed:
        return hotKeyFailure(m_action, m_status);
    case Kind::screenCaptureFailed:
        return QStringLiteral("The screen could not be captured: ") + m_text;
    case Kind::permissionDenied:
        return withAdvice(QStringLiteral("Screen Recording permission is required to capture the screen."), m_text);
    case Kind::permissionNeedsSettings:
        return withAdvice(QStringLiteral("Screen Recording access is off. Enable Tessaline in ")
                              + PlatformTexts::privacySettingsPlace() + QStringLiteral(", then return to the app."),
                          m_text);
    case Kind::permissionRestartRequired:
        return withAdvice(
            QStringLiteral("Screen Recording was changed. Quit and reopen Tessaline once to finish applying access."),
            m_text);
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
