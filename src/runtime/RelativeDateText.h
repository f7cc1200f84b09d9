#pragma once

#include <QDateTime>
#include <QString>

namespace tessaline {

// The short relative date the read-only tiles of cards and notes show:
// "just now", "5 min. ago", "3 hr. ago", "2 days ago" or the date.
QString relativeDateText(const QDateTime &date, const QDateTime &now);

} // namespace tessaline
