#pragma once

// A capture coordinator over the session's real backends, with temporary
// settings, recording how each capture ends.

#include "capture/CaptureCoordinator.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QTemporaryDir>

namespace tessaline::waylandtest {

struct CaptureRig
{
    explicit CaptureRig(PlatformBackends backends,
                        const std::optional<GlobalShortcutConfiguration> &shortcuts = std::nullopt)
        : defaults(directory.filePath(QStringLiteral("settings.ini")))
    {
        auto services = CaptureCoordinatorServices::fromPlatform(std::move(backends));
        services.permissionHistoryStore = std::make_shared<ScreenCapturePermissionHistoryStore>(defaults);
        services.shortcutStore = std::make_shared<GlobalShortcutConfigurationStore>(defaults);
        if (shortcuts)
            services.shortcutStore->save(*shortcuts);
        services.notificationCenter = &center;
        coordinator = std::make_unique<CaptureCoordinator>(std::move(services));
        coordinator->onCaptureCompleted = [this](const CaptureResult &captured) { result = captured; };
        coordinator->onCaptureError = [this](const CaptureSubsystemError &failure) { error = failure; };
    }

    QTemporaryDir directory;
    UserDefaults defaults;
    NotificationCenter center;
    std::unique_ptr<CaptureCoordinator> coordinator;
    std::optional<CaptureResult> result;
    std::optional<CaptureSubsystemError> error;
};

} // namespace tessaline::waylandtest
