#pragma once

#include <QList>
#include <QObject>
#include <QString>

namespace tessaline {

class AppRuntime;

// The main window's "Tessaline needs attention" alert: shown while the
// runtime holds an error message, with buttons chosen by the capture error
// behind it. Closing the alert in any way clears the message, the capture
// error and the coordinator's failed state.
//
// A button clears first and acts second, so a message its action sets (the
// privacy settings could not be opened, the relaunch failed) is the one
// left standing and brings the alert back.
class ErrorAlertController : public QObject
{
    Q_OBJECT
public:
    enum class Action { openPrivacySettings, requestAccess, relaunch, dismiss };

    struct Button
    {
        QString title;
        Action action = Action::dismiss;
        bool isCancel = false;

        friend bool operator==(const Button &, const Button &) = default;
    };

    explicit ErrorAlertController(AppRuntime &runtime, QObject *parent = nullptr);

    bool isPresented() const;
    QString title() const;
    // The runtime's message, or a general one when it holds none.
    QString message() const;
    // In the order they are shown; read when the alert is built.
    QList<Button> buttons() const;

    // A button was chosen: clear, then run its action.
    void trigger(Action action);
    // The alert went away without a button: clear.
    void dismiss() { clearError(); }

Q_SIGNALS:
    // The message appeared, changed or went away.
    void changed();

private:
    void clearError();

    AppRuntime &m_runtime;
};

} // namespace tessaline
