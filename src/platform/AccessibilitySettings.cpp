#include "platform/AccessibilitySettings.h"

#include "platform/BackgroundPool.h"
#include "platform/UserDefaults.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtConcurrentRun>

namespace tessaline {

AccessibilitySettings &AccessibilitySettings::shared()
{
    static AccessibilitySettings *instance = new AccessibilitySettings;
    return *instance;
}

AccessibilitySettings::AccessibilitySettings(QObject *parent)
    : QObject(parent)
{
}

void AccessibilitySettings::load(UserDefaults *defaults, const DesktopAnimationsProbe &desktopAnimations)
{
    if (m_defaults)
        disconnect(m_defaults, nullptr, this, nullptr);
    settleDesktopAnswer(); // an earlier load's
    m_defaults = defaults;
    m_desktopReducesMotion.reset();
    if (defaults && !defaults->contains(reduceMotionKey) && desktopAnimations)
        m_desktopAnswer = QtConcurrent::run(&backgroundPool(), desktopAnimations);
    if (defaults) {
        connect(defaults, &UserDefaults::changed, this, [this](const QString &key) {
            if (key == reduceMotionKey || key == reduceTransparencyKey || key == increaseContrastKey) {
                settleDesktopAnswer();
                readFromDefaults();
            }
        });
    }
    readFromDefaults();
}

bool AccessibilitySettings::reducesMotion() const
{
    settleDesktopAnswer();
    return m_reduceMotion;
}

void AccessibilitySettings::settleDesktopAnswer() const
{
    if (!m_desktopAnswer.isValid())
        return;
    const std::optional<bool> animates = m_desktopAnswer.result();
    m_desktopAnswer = {};
    if (animates)
        m_desktopReducesMotion = !*animates;
    const bool before = m_reduceMotion;
    m_reduceMotion = motionFromDefaults();
    // Said after the read that settled it, never during it; at the start
    // nobody is listening yet.
    if (m_reduceMotion != before) {
        QMetaObject::invokeMethod(const_cast<AccessibilitySettings *>(this), &AccessibilitySettings::changed,
                                  Qt::QueuedConnection);
    }
}

bool AccessibilitySettings::motionFromDefaults() const
{
    return m_defaults && m_defaults->optionalBoolean(reduceMotionKey).value_or(m_desktopReducesMotion.value_or(false));
}

void AccessibilitySettings::readFromDefaults()
{
    if (!m_defaults)
        return;
    const bool before[3] = {m_reduceMotion, m_reduceTransparency, m_increaseContrast};
    // While the desktop's answer is awaited, reduce motion waits with it.
    if (!m_desktopAnswer.isValid())
        m_reduceMotion = motionFromDefaults();
    m_reduceTransparency = m_defaults->boolean(reduceTransparencyKey);
    m_increaseContrast = m_defaults->boolean(increaseContrastKey);
    if (before[0] != m_reduceMotion || before[1] != m_reduceTransparency || before[2] != m_increaseContrast)
        Q_EMIT changed();
}

void AccessibilitySettings::assign(bool &field, bool value)
{
    if (field == value)
        return;
    field = value;
    Q_EMIT changed();
}

void AccessibilitySettings::setReducesMotion(bool on)
{
    settleDesktopAnswer();
    if (m_defaults)
        m_defaults->setBoolean(reduceMotionKey, on);
    assign(m_reduceMotion, on);
}

void AccessibilitySettings::setReducesTransparency(bool on)
{
    if (m_defaults)
        m_defaults->setBoolean(reduceTransparencyKey, on);
    assign(m_reduceTransparency, on);
}

void AccessibilitySettings::setIncreasesContrast(bool on)
{
    if (m_defaults)
        m_defaults->setBoolean(increaseContrastKey, on);
    assign(m_increaseContrast, on);
}

std::optional<bool> AccessibilitySettings::gnomeAnimationsEnabled()
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("gsettings"));
    if (program.isEmpty())
        return std::nullopt;
    QProcess process;
    process.start(program, {QStringLiteral("get"), QStringLiteral("org.gnome.desktop.interface"),
                            QStringLiteral("enable-animations")});
    if (!process.waitForFinished(1000)) {
        process.kill();
        process.waitForFinished(1000);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    const QByteArray answer = process.readAllStandardOutput().trimmed();
    if (answer == "true")
        return true;
    if (answer == "false")
        return false;
    return std::nullopt;
}

} // namespace tessaline
