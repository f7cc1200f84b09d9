#include "shell/ErrorAlertController.h"

#include "runtime/AppRuntime.h"
#include "platform/PlatformTexts.h"

namespace tessaline {

ErrorAlertController::ErrorAlertController(AppRuntime &runtime, QObject *parent)
    : QObject(parent)
    , m_runtime(runtime)
{
    connect(&m_runtime, &AppRuntime::errorMessageChanged, this, &ErrorAlertController::changed);
}

bool ErrorAlertController::isPresented() const
{
    return m_runtime.errorMessage().has_value();
}

QString ErrorAlertController::title() const
{
    return QStringLiteral("Tessaline needs attention");
}

QString ErrorAlertController::message() const
{
    return m_runtime.errorMessage().value_or(QStringLiteral("An unexpected error occurred."));
}

QList<ErrorAlertController::Button> ErrorAlertController::buttons() const
{
    const QString notNow = QStringLiteral("Not Now");
    const auto error = m_runtime.activeCaptureError();
    if (error) {
        switch (error->kind()) {
        case CaptureSubsystemError::Kind::permissionDenied:
        case CaptureSubsystemError::Kind::permissionNeedsSettings:
            // A desktop that keeps the user's "no" (GNOME) never asks again
            // by itself: asking for access forgets that answer, so the next
            // capture puts the desktop's question up again.
            if (error->text() == PlatformTexts::screenshotPortalRefused())
                return {{PlatformTexts::requestScreenshotAccessButton(), Action::requestAccess, false},
                        {notNow, Action::dismiss, true}};
            // A missing portal names no settings to open, only what to install.
            if (!error->text().isEmpty())
                break;
            return {{PlatformTexts::openPrivacySettingsButton(), Action::openPrivacySettings, false},
                    {notNow, Action::dismiss, true}};
        case CaptureSubsystemError::Kind::permissionRestartRequired:
            return {{QStringLiteral("Quit & Reopen Tessaline"), Action::relaunch, false}, {notNow, Action::dismiss, true}};
        default:
            break;
        }
    }
    return {{QStringLiteral("OK"), Action::dismiss, true}};
}

void ErrorAlertController::trigger(Action action)
{
    clearError();
    switch (action) {
    case Action::openPrivacySettings:
        m_runtime.openScreenRecordingSettings();
        break;
    case Action::requestAccess:
        m_runtime.captureCoordinator().requestScreenCaptureAccess();
        break;
    case Action::relaunch:
        m_runtime.relaunchApplication();
        break;
    case Action::dismiss:
        break;
    }
}

void ErrorAlertController::clearError()
{
    m_runtime.setErrorMessage(std::nullopt);
    m_runtime.setActiveCaptureError(std::nullopt);
    m_runtime.captureCoordinator().clearFailure();
}

} // namespace tessaline
