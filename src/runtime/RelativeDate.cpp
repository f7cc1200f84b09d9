#include "runtime/RelativeDate.h"

#include <QCoreApplication>

namespace tessaline::RelativeDate {

QString text(const QDateTime &date, const QDateTime &now)
{
    const qint64 seconds = date.secsTo(now);
    const bool past = seconds >= 0;
    const qint64 span = past ? seconds : -seconds;
    struct Unit
    {
        qint64 seconds;
        const char *one;
        const char *many;
    };
    static constexpr Unit units[] = {
        {365 * 86400, "year", "years"}, {30 * 86400, "month", "months"}, {7 * 86400, "week", "weeks"},
        {86400, "day", "days"},         {3600, "hour", "hours"},         {60, "minute", "minutes"},
        {1, "second", "seconds"},
    };
    qint64 amount = span;
    const char *name = "seconds";
    for (const Unit &unit : units) {
        if (span >= unit.seconds) {
            amount = span / unit.seconds;
            name = amount == 1 ? unit.one : unit.many;
            break;
        }
    }
    const QString phrase = QStringLiteral("%1 %2").arg(amount).arg(QString::fromLatin1(name));
    return past ? QCoreApplication::translate("RelativeDate", "%1 ago").arg(phrase)
                : QCoreApplication::translate("RelativeDate", "in %1").arg(phrase);
}

} // namespace tessaline::RelativeDate
