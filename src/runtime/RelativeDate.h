#pragma once

#include <QDateTime>
#include <QString>

namespace tessaline {

// How long ago (or how far ahead) a date lies, the one way every screen says
// it: the largest whole unit, written out ("5 minutes ago", "in 2 days",
// "1 year ago").
namespace RelativeDate {

QString text(const QDateTime &date, const QDateTime &now);

} // namespace RelativeDate
} // namespace tessaline
