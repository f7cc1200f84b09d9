#include "runtime/RelativeDateText.h"

#include <QLocale>

namespace tessaline {

QString relativeDateText(const QDateTime &date, const QDateTime &now)
{
    const qint64 seconds = date.secsTo(now);
    if (seconds < 60)
        return QStringLiteral("just now");
    if (seconds < 3600)
        return QStringLiteral("%1 min. ago").arg(seconds / 60);
    if (seconds < 86400)
        return QStringLiteral("%1 hr. ago").arg(seconds / 3600);
    const qint64 days = seconds / 86400;
    if (days < 7)
        return days == 1 ? QStringLiteral("1 day ago") : QStringLiteral("%1 days ago").arg(days);
    return QLocale().toString(date.toLocalTime().date(), QLocale::ShortFormat);
}

} // namespace tessaline
