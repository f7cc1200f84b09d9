#pragma once

#include <QFuture>
#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

namespace tessaline {

class UserDefaults;

// The three accessibility preferences every surface, control and animation
// follows: reduce motion, reduce transparency and increased contrast.
//
// Our own settings win. Where the user never chose, reduce motion follows the
// desktop (GNOME's "enable-animations"), read once when the settings are
// loaded; the desktop's answer is not written back, so a later change there
// still applies at the next start. The desktop is asked in the background
// (its tool takes a while to start), and the first read of reduce motion
// waits for its answer if it has not come yet, so no one ever sees a value
// it later changes.
class AccessibilitySettings : public QObject
{
    Q_OBJECT
public:
    static inline const QString reduceMotionKey = QStringLiteral("accessibilityReduceMotion");
    static inline const QString reduceTransparencyKey = QStringLiteral("accessibilityReduceTransparency");
    static inline const QString increaseContrastKey = QStringLiteral("accessibilityIncreaseContrast");

    // Answers whether the desktop animates, or nothing when it cannot tell.
    using DesktopAnimationsProbe = std::function<std::optional<bool>()>;

    // The process-wide instance every design-system widget reads. It starts
    // with everything off and in memory only until `load` attaches settings.
    static AccessibilitySettings &shared();

    explicit AccessibilitySettings(QObject *parent = nullptr);

    // Reads our settings and keeps following them; writes through the setters
    // go back into them. The probe is asked only when reduce motion was never
    // set by the user, on another thread.
    void load(UserDefaults *defaults, const DesktopAnimationsProbe &desktopAnimations = gnomeAnimationsEnabled);

    bool reducesMotion() const;
    bool reducesTransparency() const { return m_reduceTransparency; }
    bool increasesContrast() const { return m_increaseContrast; }

    void setReducesMotion(bool on);
    void setReducesTransparency(bool on);
    void setIncreasesContrast(bool on);

    // GNOME's org.gnome.desktop.interface enable-animations through
    // `gsettings`, best effort: nothing when the tool or key is missing or
    // does not answer within a second.
    static std::optional<bool> gnomeAnimationsEnabled();

Q_SIGNALS:
    // Any of the three changed; widgets repaint on it.
    void changed();

private:
    void readFromDefaults();
    void assign(bool &field, bool value);
    // Takes the desktop's answer once it is asked for, waiting for it if
    // need be, and settles reduce motion with it.
    void settleDesktopAnswer() const;
    bool motionFromDefaults() const;

    QPointer<UserDefaults> m_defaults;
    mutable QFuture<std::optional<bool>> m_desktopAnswer;
    mutable std::optional<bool> m_desktopReducesMotion;
    mutable bool m_reduceMotion = false;
    bool m_reduceTransparency = false;
    bool m_increaseContrast = false;
};

} // namespace tessaline
