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

void ReviewReminderService::setEnabled(bool wanted, Completion completion)
{
    m_center.removePendingRequests({requestIdentifier});
    if (!wanted) {
        QTimer::singleShot(0, this, [completion]() { completion(false); });
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
            completion(false);
            return;
        }
        // Ask once; whatever the answer says, the settings read afterwards decide.
        self->m_center.requestAuthorization(
            notificationAlert | notificationSound, [self, completion](const Expected<bool, NotificationError> &asked) {
                if (!self)
                    return;
                if (!asked) {
                    completion(unexpected(asked.error()));
                    return;
                }
                self->m_center.notificationSettings([self, completion](NotificationAuthorizationStatus after) {
                    if (!self)
                        return;
                    if (allowsNotifications(after))
                        self->schedule(completion);
                    else
                        completion(false);
                });
            });
    });
}

void ReviewReminderService::schedule(Completion completion)
{
    QPointer<ReviewReminderService> self(this);
    m_center.add(weeklyReviewRequest(), [self, completion](const Expected<void, NotificationError> &added) {
        if (self)
            completion(added.transform([] { return true; }));
    });
}

} // namespace tessaline
