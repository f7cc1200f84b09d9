#include "runtime/ReviewReminderService.h"

#include <QPointer>
#include <QTimer>

namespace tessaline {

namespace {

bool allowsNotifications(NotificationAuthorizationStatus status)
{
    return status == NotificationAuthorizationStatus::authorized
        || status == NotificationAuthorizationStatus::provisional
        || status == NotificationAuthorizationStatus::ephemeral;
}

} // namespace

ReviewReminderService::ReviewReminderService(UserNotificationCenter &center, QObject *parent)
    : QObject(parent), m_center(center)
{
}

WeeklyNotificationRequest ReviewReminderService::weeklyReviewRequest()
{
    WeeklyNotificationRequest request;
    request.identifier = requestIdentifier;
    request.title = QStringLiteral("A note may be worth continuing");
    request.body = QStringLiteral("Open Tessaline to return to something you captured or started writing.");
    request.playsDefaultSound = true;
    request.weekday = 2; // Monday
    request.hour = 10;
    return request;
}

void ReviewReminderService::setEnabled(bool wanted, std::function<void(ReminderOutcome)> completion)
{
    m_center.removePendingRequests({requestIdentifier});
    if (!wanted) {
        QTimer::singleShot(0, this, [completion]() { completion(ReminderOutcome{}); });
        return;
    }
    QPointer<ReviewReminderService> self(this);
    m_center.notificationSettings([self, completion](NotificationAuthorizationStatus status) {
        if (!self)
            return;
        if (allowsNotifications(status)) {
            self->schedule(completion);
            return;
        }
        if (status != NotificationAuthorizationStatus::notDetermined) {
            completion(ReminderOutcome{});
            return;
        }
        // Ask once; whatever the answer says, the settings read afterwards decide.
        self->m_center.requestAuthorization(
            notificationAlert | notificationSound, [self, completion](bool, std::optional<NotificationError> error) {
                if (!self)
                    return;
                if (error) {
                    completion(ReminderOutcome{false, error});
                    return;
                }
                self->m_center.notificationSettings([self, completion](NotificationAuthorizationStatus after) {
                    if (!self)
                        return;
                    if (allowsNotifications(after))
                        self->schedule(completion);
                    else
                        completion(ReminderOutcome{});
                });
            });
    });
}

void ReviewReminderService::schedule(std::function<void(ReminderOutcome)> completion)
{
    QPointer<ReviewReminderService> self(this);
    m_center.add(weeklyReviewRequest(), [self, completion](std::optional<NotificationError> error) {
        if (!self)
            return;
        completion(error ? ReminderOutcome{false, error} : ReminderOutcome{true, std::nullopt});
    });
}

} // namespace tessaline
