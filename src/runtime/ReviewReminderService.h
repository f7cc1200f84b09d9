#pragma once

#include "platform/UserNotificationCenter.h"

#include <QObject>

#include <functional>

namespace tessaline {

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
    // reminder is answered false when notifications are not authorised; a
    // failure to ask for permission or to schedule answers with its error
    // (the reminder is then off). `completion` runs later on this object's
    // thread, unless it is gone.
    using Completion = std::function<void(Expected<bool, NotificationError> isEnabled)>;
    void setEnabled(bool wanted, Completion completion);

private:
    void schedule(Completion completion);

    UserNotificationCenter &m_center;
};

} // namespace tessaline
