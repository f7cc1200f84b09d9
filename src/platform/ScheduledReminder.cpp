#include "platform/ScheduledReminder.h"

#include "platform/DesktopNotifications.h"

#include <QStringList>

#include <cstdio>

namespace tessaline {

namespace {

// How long a withdrawn reminder is given to be taken off the screen before
// its start leaves anyway: a server that has gone answers nothing.
constexpr std::chrono::seconds withdrawalGrace{5};

} // namespace

ScheduledReminder::ScheduledReminder(DesktopNotifications &notifications, Opener open, QObject *parent)
    : QObject(parent), m_notifications(notifications), m_open(std::move(open))
{
    m_patience.setSingleShot(true);
    connect(&m_notifications, &DesktopNotifications::opened, this, [this](const QString &activationToken) {
        if (m_finished)
            return;
        if (!m_open(activationToken)) {
            std::fprintf(stderr, "Tessaline could not be opened from its reminder.\n");
            finish(1);
            return;
        }
        finish(0);
    });
    connect(&m_notifications, &DesktopNotifications::closed, this, [this] { finish(0); });
    connect(&m_patience, &QTimer::timeout, this, [this] {
        if (m_withdrawn) {
            finish(0);
            return;
        }
        // Withdrawn when nobody answered: a click after this start has left
        // would do nothing. The close it causes ends the wait.
        m_withdrawn = true;
        m_notifications.withdrawAll();
        m_patience.start(withdrawalGrace);
    });
}

QStringList ScheduledReminder::arguments(const QString &title, const QString &body, bool silent)
{
    QStringList arguments{QStringLiteral("--") + titleOption, title, QStringLiteral("--") + bodyOption, body};
    if (silent)
        arguments << QStringLiteral("--") + silentOption;
    return arguments;
}

void ScheduledReminder::show(const QString &title, const QString &body, bool silent,
                             std::chrono::milliseconds patience)
{
    m_notifications.notify(title, body, silent, [this, patience](const Expected<void, NotificationError> &shown) {
        if (!shown) {
            std::fprintf(stderr, "%s\n", qPrintable(shown.error().message));
            finish(1);
            return;
        }
        m_patience.start(patience);
    });
}

void ScheduledReminder::finish(int status)
{
    if (m_finished)
        return;
    m_finished = true;
    m_patience.stop();
    Q_EMIT finished(status);
}

} // namespace tessaline
