#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tessaline {

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
};

// X11 lets every client read the screen, so access is always there. The
// Wayland screenshot portal will answer these differently; the states and
// history above are kept for it.
class ScreenCapturePermissionController : public ScreenCapturePermissionProviding
{
public:
    // Starts a program detached; true when it started.
    using Launcher = std::function<bool(const QString &program, const QStringList &arguments)>;

    bool hasAccess() const override { return true; }
    bool requestAccess() override { return true; }

    // Opens the desktop's privacy settings, else its settings application;
    // answers whether something was opened.
    static bool openScreenRecordingSettings(const Launcher &launcher = {});
};

} // namespace tessaline
