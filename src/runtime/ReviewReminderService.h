#pragma once

#include "platform/UserNotificationCenter.h"

#include <QObject>

#include <functional>
#include <optional>

namespace tessaline {

struct ReminderOutcome
{
    // The weekly reminder is scheduled now.
    bool isEnabled = false;
    // Asking for permission or scheduling failed; isEnabled is then false.
    std::optional<NotificationError> error;
};

// The weekly review reminder: a notification every Monday at 10:00 asking
// the user to come back to what they captured or started writing.
class ReviewReminderService : public QObject
{
    Q_OBJECT
public:
    static inline const QString requestIdentifier = QStringLiteral("tessaline.weekly-review");

    // The center must outlive the service.
    explicit ReviewReminderService(UserNotificationCenter &center, QObject *parent = nullptr);

    static WeeklyNotificationRequest weeklyReviewRequest();

    // Switches the reminder on or off. Any pending reminder is removed first,
    // so switching off removes it and switching on never leaves two. A wanted
    // reminder is answered false when notifications are not authorised.
    // `completion` runs later on this object's thread, unless it is gone.
    void setEnabled(bool wanted, std::function<void(ReminderOutcome)> completion);

private:
    void schedule(std::function<void(ReminderOutcome)> completion);

    UserNotificationCenter &m_center;
};

} // namespace tessaline
