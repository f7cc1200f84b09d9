#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QUuid>

#include <optional>

namespace tessaline {

// Deterministic compact JSON: object keys in ascending order, no whitespace,
// "/" written as "\/", other non-ASCII text as raw UTF-8, numbers in the
// shortest form that reads back to the same double. Equal values always give
// identical bytes, which stored-document repair relies on.
// Fails (no value) on text that is not valid Unicode and on NaN or infinity.
std::optional<QByteArray> writeJson(const QJsonValue &value);

// Parses one JSON object or array; no value when the bytes are not JSON. An
// escaped lone surrogate ("\ud800") reads as U+FFFD, so whatever is read can
// be written again.
std::optional<QJsonValue> parseJson(const QByteArray &bytes);

// Strict accessors: a missing key or a value of another JSON type gives no
// value. The optional* variants treat a missing key and null alike as
// "present but empty" and fail only on a wrong type.
namespace json {

std::optional<QString> string(const QJsonObject &object, QLatin1StringView key);
std::optional<double> number(const QJsonObject &object, QLatin1StringView key);
std::optional<bool> boolean(const QJsonObject &object, QLatin1StringView key);
std::optional<QJsonArray> array(const QJsonObject &object, QLatin1StringView key);
std::optional<QJsonObject> object(const QJsonObject &object, QLatin1StringView key);
std::optional<QUuid> uuid(const QJsonObject &object, QLatin1StringView key);

// Outer optional: the read failed. Inner optional: the key was absent or null.
std::optional<std::optional<QString>> optionalString(const QJsonObject &object, QLatin1StringView key);
std::optional<std::optional<QUuid>> optionalUuid(const QJsonObject &object, QLatin1StringView key);

} // namespace json
} // namespace tessaline
