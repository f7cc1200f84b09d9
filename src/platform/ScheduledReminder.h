#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>

namespace tessaline {

class DesktopNotifications;

// A reminder that the systemd timer shows while Tessaline may be closed: a
// start of the app made for it alone shows it and stays to hear of a click
// on it, since the server tells a click only to the connection that showed
// the notification. No window opens unless the user clicks.
class ScheduledReminder : public QObject
{
    Q_OBJECT
public:
    // Opens Tessaline, handing on the activation token the server sent with
    // the click (empty when it sent none); false when it could not be started.
    using Opener = std::function<bool(const QString &activationToken)>;

    ScheduledReminder(DesktopNotifications &notifications, Opener open, QObject *parent = nullptr);

    // The app's command line that shows one: `tessaline --reminder TITLE
    // --reminder-body BODY [--reminder-silent]`.
    static inline const QString titleOption = QStringLiteral("reminder");
    static inline const QString bodyOption = QStringLiteral("reminder-body");
    static inline const QString silentOption = QStringLiteral("reminder-silent");
    static QStringList arguments(const QString &title, const QString &body, bool silent);

    // Shows the reminder. A click on it opens Tessaline; closed, it is done
    // with; left alone for `patience`, it is withdrawn, so that no click on
    // it is ever left without an answer.
    void show(const QString &title, const QString &body, bool silent, std::chrono::milliseconds patience);

Q_SIGNALS:
    // Nothing is left to wait for: the exit status of the start that showed it.
    void finished(int status);

private:
    void finish(int status);

    DesktopNotifications &m_notifications;
    Opener m_open;
    QTimer m_patience;
    bool m_withdrawn = false;
    bool m_finished = false;
};

} // namespace tessaline
