#pragma once

#include "capture/CaptureValues.h"
#include "platform/Expected.h"
#include "platform/HotKeySystem.h"

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
    static CaptureSubsystemError hotKeyRegistrationFailed(GlobalHotKeyAction action, HotKeyStatus status);
    static CaptureSubsystemError screenCaptureFailed(const QString &message);
    // The permission errors may carry advice for this desktop, which
    // follows their message.
    static CaptureSubsystemError permissionDenied(const QString &advice = QString());
    static CaptureSubsystemError permissionNeedsSettings(const QString &advice = QString());
    static CaptureSubsystemError permissionRestartRequired(const QString &advice = QString());
    static CaptureSubsystemError noDisplayUnderPointer() { return CaptureSubsystemError(Kind::noDisplayUnderPointer); }
    static CaptureSubsystemError displayUnavailable() { return CaptureSubsystemError(Kind::displayUnavailable); }
    // With the desktop's advice where it never says which window is in front.
    static CaptureSubsystemError frontmostApplicationUnavailable(const QString &advice = QString())
    {
        return CaptureSubsystemError(Kind::frontmostApplicationUnavailable, advice);
    }
    static CaptureSubsystemError emptySelection() { return CaptureSubsystemError(Kind::emptySelection); }
    static CaptureSubsystemError invalidShortcutConfiguration() { return CaptureSubsystemError(Kind::invalidShortcutConfiguration); }
    static CaptureSubsystemError hotKeysNotRegistered() { return CaptureSubsystemError(Kind::hotKeysNotRegistered); }

    Kind kind() const { return m_kind; }
    // Payloads: the application name, capture message or permission
    // advice; the action and status.
    QString text() const { return m_text; }
    GlobalHotKeyAction action() const { return m_action; }
    HotKeyStatus status() const { return m_status; }

    QString errorDescription() const;

    friend bool operator==(const CaptureSubsystemError &, const CaptureSubsystemError &) = default;

private:
    explicit CaptureSubsystemError(Kind kind, const QString &text = QString()) : m_kind(kind), m_text(text) {}

    Kind m_kind = Kind::screenCaptureFailed;
    QString m_text;
    GlobalHotKeyAction m_action = GlobalHotKeyAction::captureRegion;
    HotKeyStatus m_status = HotKeyStatus::registered;
};

// A value or the capture error that stands in its place.
template <typename T>
using CaptureOutcome = Expected<T, CaptureSubsystemError>;

} // namespace tessaline

Q_DECLARE_METATYPE(tessaline::CaptureSubsystemError)
