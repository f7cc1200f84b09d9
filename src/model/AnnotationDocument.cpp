#include "model/AnnotationDocument.h"

#include "platform/Json.h"
#include "platform/TextUtilities.h"
#include "platform/UuidText.h"

#include <QHashFunctions>
#include <QJsonArray>
#include <QJsonObject>

#include <cmath>

namespace tessaline {

QString rawValue(AnnotationTool tool)
{
    switch (tool) {
    case AnnotationTool::select: return QStringLiteral("select");
    case AnnotationTool::arrow: return QStringLiteral("arrow");
    case AnnotationTool::rectangle: return QStringLiteral("rectangle");
    case AnnotationTool::freehand: return QStringLiteral("freehand");
    case AnnotationTool::highlight: return QStringLiteral("highlight");
    case AnnotationTool::text: return QStringLiteral("text");
    case AnnotationTool::pixelate: return QStringLiteral("pixelate");
    }
    return QString();
}

QList<AnnotationTool> allAnnotationTools()
{
    return {AnnotationTool::select,    AnnotationTool::arrow, AnnotationTool::rectangle, AnnotationTool::freehand,
            AnnotationTool::highlight, AnnotationTool::text,  AnnotationTool::pixelate};
}

std::optional<AnnotationTool> annotationToolFromRawValue(QStringView text)
{
    for (AnnotationTool tool : allAnnotationTools()) {
        if (text == rawValue(tool))
            return tool;
    }
    return std::nullopt;
}

namespace {

// Equal values must hash alike, and 0.0 == -0.0.
size_t hashDouble(double value, size_t seed)
{
    return ::qHash(value == 0 ? 0.0 : value, seed);
}

// Stored numbers must be finite: a document that carries an infinity or a
// NaN could never be written back and would poison every computation that
// scales it to pixels. Qt's parser already refuses out-of-range literals;
// this keeps the rule independent of that.
std::optional<double> finiteNumber(const QJsonObject &object, QLatin1StringView key)
{
    const auto value = json::number(object, key);
    if (!value || !std::isfinite(*value))
        return std::nullopt;
    return value;
}

// The version is a JSON integer. Only integers that a double carries exactly
// are accepted, so that what is read is what gets written back.
std::optional<qint64> integer(const QJsonObject &object, QLatin1StringView key)
{
    const auto value = json::number(object, key);
    constexpr double exactLimit = 9007199254740992.0; // 2^53
    if (!value || !std::isfinite(*value) || std::trunc(*value) != *value || std::abs(*value) > exactLimit)
        return std::nullopt;
    return static_cast<qint64>(*value);
}

std::optional<NormalizedPoint> readPoint(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const auto x = finiteNumber(object, QLatin1StringView("x"));
    const auto y = finiteNumber(object, QLatin1StringView("y"));
    if (!x || !y)
        return std::nullopt;
    return NormalizedPoint{*x, *y};
}

std::optional<AnnotationColor> readColor(const QJsonObject &object)
{
    const auto red = finiteNumber(object, QLatin1StringView("red"));
    const auto green = finiteNumber(object, QLatin1StringView("green"));
    const auto blue = finiteNumber(object, QLatin1StringView("blue"));
    const auto alpha = finiteNumber(object, QLatin1StringView("alpha"));
    if (!red || !green || !blue || !alpha)
        return std::nullopt;
    return AnnotationColor{*red, *green, *blue, *alpha};
}

std::optional<AnnotationItem> readItem(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();

    AnnotationItem item;
    const auto id = json::uuid(object, QLatin1StringView("id"));
    if (!id)
        return std::nullopt;
    item.id = *id;

    const auto toolName = json::string(object, QLatin1StringView("tool"));
    if (!toolName)
        return std::nullopt;
    const auto tool = annotationToolFromRawValue(*toolName);
    if (!tool)
        return std::nullopt;
    item.tool = *tool;

    const auto points = json::array(object, QLatin1StringView("points"));
    if (!points)
        return std::nullopt;
    item.points.reserve(points->size());
    for (const QJsonValue &element : *points) {
        const auto point = readPoint(element);
        if (!point)
            return std::nullopt;
        item.points.append(*point);
    }

    const auto color = json::object(object, QLatin1StringView("color"));
    if (!color)
        return std::nullopt;
    const auto parsedColor = readColor(*color);
    if (!parsedColor)
        return std::nullopt;
    item.color = *parsedColor;

    const auto lineWidth = finiteNumber(object, QLatin1StringView("lineWidth"));
    if (!lineWidth)
        return std::nullopt;
    item.lineWidth = *lineWidth;

    const auto text = json::optionalString(object, QLatin1StringView("text"));
    if (!text)
        return std::nullopt;
    item.text = *text;
    return item;
}

std::optional<AnnotationDocument> readDocument(const QByteArray &bytes)
{
    const auto parsed = parseJson(bytes);
    if (!parsed || !parsed->isObject())
        return std::nullopt;
    const QJsonObject object = parsed->toObject();

    const auto version = integer(object, QLatin1StringView("version"));
    const auto items = json::array(object, QLatin1StringView("items"));
    if (!version || !items)
        return std::nullopt;

    AnnotationDocument document;
    document.version = *version;
    document.items.reserve(items->size());
    for (const QJsonValue &element : *items) {
        const auto item = readItem(element);
        if (!item)
            return std::nullopt;
        document.items.append(*item);
    }
    return document;
}

// Version 1 let the editor leave behind labels nobody typed: blank ones and
// ones still holding the placeholder.
bool isLeftoverPlaceholder(const AnnotationItem &item)
{
    if (item.tool != AnnotationTool::text)
        return false;
    if (!item.text)
        return true;
    const QString trimmed = trimmedWhitespace(*item.text);
    return trimmed.isEmpty() || trimmed == u"Text";
}

QJsonObject pointObject(const NormalizedPoint &point)
{
    return QJsonObject{{QStringLiteral("x"), point.x}, {QStringLiteral("y"), point.y}};
}

QJsonObject itemObject(const AnnotationItem &item)
{
    QJsonArray points;
    for (const NormalizedPoint &point : item.points)
        points.append(pointObject(point));
    QJsonObject object{
        {QStringLiteral("id"), uuidText(item.id)},
        {QStringLiteral("tool"), rawValue(item.tool)},
        {QStringLiteral("points"), points},
        {QStringLiteral("color"),
         QJsonObject{{QStringLiteral("red"), item.color.red},
                     {QStringLiteral("green"), item.color.green},
                     {QStringLiteral("blue"), item.color.blue},
                     {QStringLiteral("alpha"), item.color.alpha}}},
        {QStringLiteral("lineWidth"), item.lineWidth},
    };
    if (item.text)
        object.insert(QStringLiteral("text"), *item.text);
    return object;
}

} // namespace

QString message(AnnotationDocumentError error)
{
    switch (error) {
    case AnnotationDocumentError::unreadable:
        break;
    }
    return QStringLiteral("The snip’s annotations could not be read.");
}

Expected<AnnotationDocument, AnnotationDocumentError> AnnotationDocument::decode(const std::optional<QByteArray> &data)
{
    if (!data || data->isEmpty())
        return empty();
    auto document = readDocument(*data);
    if (!document)
        return unexpected(AnnotationDocumentError::unreadable);
    if (document->version > 1)
        return *document;

    document->items.removeIf(isLeftoverPlaceholder);
    document->version = currentVersion;
    return *document;
}

std::optional<QByteArray> AnnotationDocument::encode() const
{
    // The JSON writer holds integers as doubles; a version it cannot carry
    // exactly would come back as another number.
    if (std::abs(static_cast<double>(version)) > 9007199254740992.0)
        return std::nullopt;
    QJsonArray itemArray;
    for (const AnnotationItem &item : items)
        itemArray.append(itemObject(item));
    const QJsonObject object{
        {QStringLiteral("version"), version},
        {QStringLiteral("items"), itemArray},
    };
    return writeJson(object);
}

size_t qHash(const NormalizedPoint &point, size_t seed)
{
    seed = hashDouble(point.x, seed);
    return hashDouble(point.y, seed);
}

size_t qHash(const AnnotationColor &color, size_t seed)
{
    seed = hashDouble(color.red, seed);
    seed = hashDouble(color.green, seed);
    seed = hashDouble(color.blue, seed);
    return hashDouble(color.alpha, seed);
}

size_t qHash(const AnnotationItem &item, size_t seed)
{
    seed = ::qHash(item.id, seed);
    seed = ::qHash(static_cast<int>(item.tool), seed);
    seed = ::qHash(item.points.size(), seed);
    for (const NormalizedPoint &point : item.points)
        seed = qHash(point, seed);
    seed = qHash(item.color, seed);
    seed = hashDouble(item.lineWidth, seed);
    seed = ::qHash(item.text ? 1 : 0, seed);
    if (item.text)
        seed = ::qHash(*item.text, seed);
    return seed;
}

size_t qHash(const AnnotationDocument &document, size_t seed)
{
    seed = ::qHash(document.version, seed);
    seed = ::qHash(document.items.size(), seed);
    for (const AnnotationItem &item : document.items)
        seed = qHash(item, seed);
    return seed;
}

} // namespace tessaline
