#pragma once

#include <QString>
#include <QUuid>

#include <optional>

namespace tessaline {

// The one text form of identifiers everywhere in the library: upper-case,
// hyphenated, without braces. Orders and stored references rely on it, so
// identifiers are compared through this text and never with QUuid's own
// ordering (which sorts by field values, not by the text).
QString uuidText(const QUuid &uuid);

// Accepts exactly the 36-character 8-4-4-4-12 form in either case.
std::optional<QUuid> parseUuid(QStringView text);
// The same from bytes as stored (UTF-8, of which the form uses only ASCII).
std::optional<QUuid> parseUuid(QLatin1StringView text);

bool uuidTextLess(const QUuid &a, const QUuid &b);

} // namespace tessaline
