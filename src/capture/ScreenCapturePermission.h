#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tessaline {

class CaptureSystem;
class UserDefaults;

enum class ScreenCapturePermissionState { notRequested, needsSettings, restartRequired, authorized };

QString screenCapturePermissionStateRawValue(ScreenCapturePermissionState state);
std::optional<ScreenCapturePermissionState> screenCapturePermissionStateFromRawValue(const QString &rawValue);

// What was asked of the system and what the user was advised, kept across
// launches. Readers and writers use the defaults with these keys directly.
class ScreenCapturePermissionHistoryStore
{
public:
    static QString hasRequestedAccessKey() { return QStringLiteral("screenCapturePermission.hasRequestedAccess"); }
    static QString relaunchRecommendedKey() { return QStringLiteral("screenCapturePermission.relaunchRecommended"); }

    explicit ScreenCapturePermissionHistoryStore(UserDefaults &defaults) : m_defaults(defaults) {}

    UserDefaults &defaults() const { return m_defaults; }

private:
    UserDefaults &m_defaults;
};

// The system's screen-capture access check and request.
class ScreenCapturePermissionProviding
{
public:
    virtual ~ScreenCapturePermissionProviding() = default;
    // Whether this process may capture the screen now; never prompts.
    virtual bool hasAccess() const = 0;
    // Whether access is granted; may show the system's prompt.
    virtual bool requestAccess() = 0;
    // What the desktop needs before access can be given, where that is not
    // a privacy switch; empty otherwise (see CaptureSystem::accessAdvice).
    virtual QString accessAdvice() const { return {}; }
};

// Asks the session's capture system. X11 lets every client read the screen,
// so access is always there; a Wayland desktop may refuse its screenshot
// portal, or have none.
class ScreenCapturePermissionController : public ScreenCapturePermissionProviding
{
public:
    // Starts a program detached; true when it started.
    using Launcher = std::function<bool(const QString &program, const QStringList &arguments)>;

    // Without a capture system nothing is refused (nothing can be taken
    // either, which the capture itself reports).
    explicit ScreenCapturePermissionController(CaptureSystem *system = nullptr) : m_system(system) {}

    bool hasAccess() const override;
    bool requestAccess() override;
    QString accessAdvice() const override;

    // Opens the desktop's privacy settings, else its settings application;
    // answers whether something was opened.
    static bool openScreenRecordingSettings(const Launcher &launcher = {});

private:
    CaptureSystem *m_system;
};

} // namespace tessaline
