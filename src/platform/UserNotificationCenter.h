#pragma once

#include "platform/Expected.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tessaline {

// Whether the app may show notifications, in the numbering the reminder
// logic was written against.
enum class NotificationAuthorizationStatus {
    notDetermined = 0,
    denied = 1,
    authorized = 2,
    provisional = 3,
    ephemeral = 4,
};

// What an authorisation request asks for (bits, combinable).
enum NotificationAuthorizationOption {
    notificationSound = 2,
    notificationAlert = 4,
};

// A local notification that repeats every week on one weekday at one hour,
// on the minute, in the machine's local time zone at the time it fires.
struct WeeklyNotificationRequest
{
    QString identifier;
    QString title;
    QString body;
    bool playsDefaultSound = true;
    int weekday = 2; // 1 = Sunday, 2 = Monday, … 7 = Saturday
    int hour = 10;

    friend bool operator==(const WeeklyNotificationRequest &, const WeeklyNotificationRequest &) = default;
};

struct NotificationError
{
    QString message;
};

// The local notification service the reminder logic talks to. Every answer
// arrives later on the thread that asked (never during the call); a request
// that could not be made answers with its error.
class UserNotificationCenter
{
public:
    virtual ~UserNotificationCenter() = default;

    // Drops pending requests with these identifiers; shown notifications stay.
    virtual void removePendingRequests(const QStringList &identifiers) = 0;
    virtual void notificationSettings(std::function<void(NotificationAuthorizationStatus)> done) = 0;
    virtual void requestAuthorization(int options,
                                      std::function<void(Expected<bool, NotificationError> granted)> done) = 0;
    // Schedules the request, replacing a pending one with the same identifier.
    virtual void add(const WeeklyNotificationRequest &request,
                     std::function<void(Expected<void, NotificationError>)> done) = 0;
};

} // namespace tessaline
