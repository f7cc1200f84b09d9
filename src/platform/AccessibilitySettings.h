#pragma once

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
// still applies at the next start.
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
    // set by the user.
    void load(UserDefaults *defaults, const DesktopAnimationsProbe &desktopAnimations = gnomeAnimationsEnabled);

    bool reducesMotion() const { return m_reduceMotion; }
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

    QPointer<UserDefaults> m_defaults;
    std::optional<bool> m_desktopReducesMotion;
    bool m_reduceMotion = false;
    bool m_reduceTransparency = false;
    bool m_increaseContrast = false;
};

} // namespace tessaline
