#pragma once

#include "capture/CaptureValues.h"
#include "platform/Expected.h"

#include <QMetaType>
#include <QString>


namespace tessaline {

// Every failure of capture, permission and global shortcuts, with the
// message the user sees.
class CaptureSubsystemError
{
public:
    enum class Kind {
        noCapturableWindow,
        hotKeyRegistrationFailed,
        screenCaptureFailed,
        permissionDenied,
        permissionNeedsSettings,
        permissionRestartRequired,
        noDisplayUnderPointer,
        displayUnavailable,
        frontmostApplicationUnavailable,
        emptySelection,
        invalidShortcutConfiguration,
        hotKeysNotRegistered,
    };

    CaptureSubsystemError() = default;

    static CaptureSubsystemError noCapturableWindow(const QString &applicationName);
    static CaptureSubsystemError hotKeyRegistrationFailed(GlobalHotKeyAction action, qint32 status);
    static CaptureSubsystemError screenCaptureFailed(const QString &message);
    static CaptureSubsystemError permissionDenied() { return CaptureSubsystemError(Kind::permissionDenied); }
    static CaptureSubsystemError permissionNeedsSettings() { return CaptureSubsystemError(Kind::permissionNeedsSettings); }
    static CaptureSubsystemError permissionRestartRequired() { return CaptureSubsystemError(Kind::permissionRestartRequired); }
    static CaptureSubsystemError noDisplayUnderPointer() { return CaptureSubsystemError(Kind::noDisplayUnderPointer); }
    static CaptureSubsystemError displayUnavailable() { return CaptureSubsystemError(Kind::displayUnavailable); }
    static CaptureSubsystemError frontmostApplicationUnavailable() { return CaptureSubsystemError(Kind::frontmostApplicationUnavailable); }
    static CaptureSubsystemError emptySelection() { return CaptureSubsystemError(Kind::emptySelection); }
    static CaptureSubsystemError invalidShortcutConfiguration() { return CaptureSubsystemError(Kind::invalidShortcutConfiguration); }
    static CaptureSubsystemError hotKeysNotRegistered() { return CaptureSubsystemError(Kind::hotKeysNotRegistered); }

    Kind kind() const { return m_kind; }
    // Payloads: the application name or capture message; the action and status.
    QString text() const { return m_text; }
    GlobalHotKeyAction action() const { return m_action; }
    qint32 status() const { return m_status; }

    QString errorDescription() const;

    friend bool operator==(const CaptureSubsystemError &, const CaptureSubsystemError &) = default;

private:
    explicit CaptureSubsystemError(Kind kind) : m_kind(kind) {}

    Kind m_kind = Kind::screenCaptureFailed;
    QString m_text;
    GlobalHotKeyAction m_action = GlobalHotKeyAction::captureRegion;
    qint32 m_status = 0;
};

// A value or the capture error that stands in its place.
template <typename T>
using CaptureOutcome = Expected<T, CaptureSubsystemError>;

} // namespace tessaline

Q_DECLARE_METATYPE(tessaline::CaptureSubsystemError)
