#include "capture/ScreenCapturePermission.h"

#include "platform/CaptureSystem.h"

#include <QProcess>
#include <QStandardPaths>

namespace tessaline {

QString screenCapturePermissionStateRawValue(ScreenCapturePermissionState state)
{
    switch (state) {
    case ScreenCapturePermissionState::notRequested:
        return QStringLiteral("notRequested");
    case ScreenCapturePermissionState::needsSettings:
        return QStringLiteral("needsSettings");
    case ScreenCapturePermissionState::restartRequired:
        return QStringLiteral("restartRequired");
    case ScreenCapturePermissionState::authorized:
        return QStringLiteral("authorized");
    }
    return {};
}

std::optional<ScreenCapturePermissionState> screenCapturePermissionStateFromRawValue(const QString &rawValue)
{
    for (const auto state : {ScreenCapturePermissionState::notRequested, ScreenCapturePermissionState::needsSettings,
                             ScreenCapturePermissionState::restartRequired, ScreenCapturePermissionState::authorized}) {
        if (screenCapturePermissionStateRawValue(state) == rawValue)
            return state;
    }
    return std::nullopt;
}

QString ScreenCapturePermissionController::accessAdvice() const
{
    return m_system ? m_system->accessAdvice() : QString();
}

bool ScreenCapturePermissionController::hasAccess() const
{
    return !m_system || m_system->hasCaptureAccess();
}

bool ScreenCapturePermissionController::requestAccess()
{
    return !m_system || m_system->requestCaptureAccess();
}

bool ScreenCapturePermissionController::openScreenRecordingSettings(const Launcher &launcher)
{
    const Launcher start = launcher ? launcher : [](const QString &program, const QStringList &arguments) {
        const QString path = QStandardPaths::findExecutable(program);
        return !path.isEmpty() && QProcess::startDetached(path, arguments);
    };
    // The privacy page first, then the desktop's settings application.
    if (start(QStringLiteral("gnome-control-center"), {QStringLiteral("privacy")}))
        return true;
    for (const char *program : {"gnome-control-center", "systemsettings", "xfce4-settings-manager"}) {
        if (start(QString::fromLatin1(program), {}))
            return true;
    }
    return false;
}

} // namespace tessaline
