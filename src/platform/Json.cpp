#include "platform/Json.h"

#include "platform/UuidText.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <charconv>
#include <cmath>

namespace tessaline {
namespace {

bool appendString(QByteArray &out, const QString &text)
{
    out.append('"');
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 >= size || !QChar::isLowSurrogate(text.at(i + 1).unicode()))
                return false;
            out.append(QStringView(text).mid(i, 2).toUtf8());
            ++i;
            continue;
        }
        if (QChar::isLowSurrogate(c))
            return false;
        switch (c) {
        case u'"': out.append("\\\""); break;
        case u'\\': out.append("\\\\"); break;
        case u'/': out.append("\\/"); break;
        case u'\b': out.append("\\b"); break;
        case u'\f': out.append("\\f"); break;
        case u'\n': out.append("\\n"); break;
        case u'\r': out.append("\\r"); break;
        case u'\t': out.append("\\t"); break;
        default:
            if (c < 0x20) {
                static const char hex[] = "0123456789abcdef";
                out.append("\\u00");
                out.append(hex[c >> 4]);
                out.append(hex[c & 0xF]);
            } else if (c < 0x80) {
                out.append(char(c));
            } else {
                out.append(QString(QChar(c)).toUtf8());
            }
        }
    }
    out.append('"');
    return true;
}

bool appendNumber(QByteArray &out, double value)
{
    if (!std::isfinite(value))
        return false;
    if (value == 0) {
        out.append(std::signbit(value) ? "-0" : "0");
        return true;
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (result.ec != std::errc())
        return false;
    out.append(buffer, result.ptr - buffer);
    return true;
}

bool appendValue(QByteArray &out, const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null:
        out.append("null");
        return true;
    case QJsonValue::Bool:
        out.append(value.toBool() ? "true" : "false");
        return true;
    case QJsonValue::Double:
        return appendNumber(out, value.toDouble());
    case QJsonValue::String:
        return appendString(out, value.toString());
    case QJsonValue::Array: {
        out.append('[');
        bool first = true;
        for (const QJsonValue &element : value.toArray()) {
            if (!first)
                out.append(',');
            first = false;
            if (!appendValue(out, element))
                return false;
        }
        out.append(']');
        return true;
    }
    case QJsonValue::Object: {
        // QJsonObject iterates its keys in ascending order already.
        const QJsonObject object = value.toObject();
        out.append('{');
        bool first = true;
        for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
            if (!first)
                out.append(',');
            first = false;
            if (!appendString(out, it.key()))
                return false;
            out.append(':');
            if (!appendValue(out, it.value()))
                return false;
        }
        out.append('}');
        return true;
    }
    case QJsonValue::Undefined:
        return false;
    }
    return false;
}

} // namespace

std::optional<QByteArray> writeJson(const QJsonValue &value)
{
    QByteArray out;
    if (!appendValue(out, value))
        return std::nullopt;
    return out;
}

namespace {

// Only an escape can put a surrogate into parsed text (raw UTF-8 cannot carry
// one), so bytes without an escape from "\uD800" to "\uDFFF" need no repair.
bool mayEscapeSurrogate(const QByteArray &bytes)
{
    for (qsizetype at = bytes.indexOf("\\u"); at >= 0 && at + 3 < bytes.size(); at = bytes.indexOf("\\u", at + 2)) {
        const char first = bytes.at(at + 2);
        const char second = bytes.at(at + 3);
        if ((first == 'd' || first == 'D') && ((second >= '8' && second <= '9') || (second >= 'a' && second <= 'f')
                                               || (second >= 'A' && second <= 'F')))
            return true;
    }
    return false;
}

QString withLoneSurrogatesReplaced(const QString &text)
{
    if (text.isValidUtf16())
        return text;
    QString repaired = text;
    const qsizetype size = repaired.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = repaired.at(i);
        if (c.isHighSurrogate() && i + 1 < size && repaired.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            repaired[i] = QChar::ReplacementCharacter;
    }
    return repaired;
}

QJsonValue withLoneSurrogatesReplaced(const QJsonValue &value)
{
    if (value.isString())
        return withLoneSurrogatesReplaced(value.toString());
    if (value.isArray()) {
        QJsonArray array;
        for (const QJsonValue &element : value.toArray())
            array.append(withLoneSurrogatesReplaced(element));
        return array;
    }
    if (value.isObject()) {
        const QJsonObject source = value.toObject();
        QJsonObject object;
        for (auto it = source.constBegin(); it != source.constEnd(); ++it)
            object.insert(withLoneSurrogatesReplaced(it.key()), withLoneSurrogatesReplaced(it.value()));
        return object;
    }
    return value;
}

} // namespace

std::optional<QJsonValue> parseJson(const QByteArray &bytes)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        return std::nullopt;
    std::optional<QJsonValue> root;
    if (document.isObject())
        root = QJsonValue(document.object());
    else if (document.isArray())
        root = QJsonValue(document.array());
    // An escaped lone surrogate is not a character and could never be written
    // back: whatever holds one would refuse every later change. It reads as
    // U+FFFD, as undecodable bytes do elsewhere.
    if (root && mayEscapeSurrogate(bytes))
        root = withLoneSurrogatesReplaced(*root);
    return root;
}

namespace json {

std::optional<QString> string(const QJsonObject &object, QLatin1StringView key)
{
    const QJsonValue value = object.value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

std::optional<double> number(const QJsonObject &object, QLatin1StringView key)
{
    const QJsonValue value = object.value(key);
    if (!value.isDouble())
        return std::nullopt;
    return value.toDouble();
}

std::optional<bool> boolean(const QJsonObject &object, QLatin1StringView key)
{
    const QJsonValue value = object.value(key);
    if (!value.isBool())
        return std::nullopt;
    return value.toBool();
}

std::optional<QJsonArray> array(const QJsonObject &object, QLatin1StringView key)
{
    const QJsonValue value = object.value(key);
    if (!value.isArray())
        return std::nullopt;
    return value.toArray();
}

std::optional<QJsonObject> object(const QJsonObject &object, QLatin1StringView key)
{
    const QJsonValue value = object.value(key);
    if (!value.isObject())
        return std::nullopt;
    return value.toObject();
}

std::optional<QUuid> uuid(const QJsonObject &object, QLatin1StringView key)
{
    const auto text = string(object, key);
    if (!text)
        return std::nullopt;
    return parseUuid(*text);
}

std::optional<std::optional<QString>> optionalString(const QJsonObject &object, QLatin1StringView key)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return std::optional<QString>();
    if (!value.isString())
        return std::nullopt;
    return std::optional<QString>(value.toString());
}

std::optional<std::optional<QUuid>> optionalUuid(const QJsonObject &object, QLatin1StringView key)
{
    const auto text = optionalString(object, key);
    if (!text)
        return std::nullopt;
    if (!*text)
        return std::optional<QUuid>();
    const auto parsed = parseUuid(**text);
    if (!parsed)
        return std::nullopt;
    return std::optional<QUuid>(*parsed);
}

} // namespace json
} // namespace tessaline
