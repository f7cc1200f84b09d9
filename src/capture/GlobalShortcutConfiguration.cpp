#include "capture/GlobalShortcutConfiguration.h"

#include "platform/PlatformTexts.h"
#include "capture/GlobalShortcutKeyCatalog.h"

#include <QJsonValue>

#include <cmath>

namespace tessaline {

QString GlobalShortcutModifiers::symbols() const
{
    QString text;
    const auto add = [&](quint8 bit, const QString &name) {
        if (m_raw & bit)
            text += name + u'+';
    };
    add(commandBit, PlatformTexts::commandKeyName());
    add(optionBit, PlatformTexts::optionKeyName());
    add(shiftBit, PlatformTexts::shiftKeyName());
    add(controlBit, PlatformTexts::controlKeyName());
    return text;
}

quint32 GlobalShortcutModifiers::carbonFlags() const
{
    quint32 flags = 0;
    if (m_raw & commandBit)
        flags |= 0x100;
    if (m_raw & optionBit)
        flags |= 0x800;
    if (m_raw & controlBit)
        flags |= 0x1000;
    if (m_raw & shiftBit)
        flags |= 0x200;
    return flags;
}

QString GlobalShortcut::displayText() const
{
    const auto descriptor = GlobalShortcutKeyCatalog::descriptor(keyCode);
    if (!descriptor)
        return QStringLiteral("Unavailable");
    return modifiers.symbols() + descriptor->displayName;
}

QJsonObject GlobalShortcut::toJson() const
{
    return QJsonObject{{QStringLiteral("keyCode"), double(keyCode)},
                       {QStringLiteral("modifiers"), int(modifiers.rawValue())}};
}

namespace {

std::optional<qint64> wholeNumber(const QJsonValue &value, qint64 minimum, qint64 maximum)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (!std::isfinite(number) || std::floor(number) != number || number < double(minimum) || number > double(maximum))
        return std::nullopt;
    return qint64(number);
}

} // namespace

std::optional<GlobalShortcut> GlobalShortcut::fromJson(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const auto keyCode = wholeNumber(object.value(QLatin1String("keyCode")), 0, 0xffffffffLL);
    const auto modifiers = wholeNumber(object.value(QLatin1String("modifiers")), 0, 255);
    if (!keyCode || !modifiers)
        return std::nullopt;
    return GlobalShortcut{quint32(*keyCode), GlobalShortcutModifiers(quint8(*modifiers))};
}

GlobalShortcutValidationIssue GlobalShortcutValidationIssue::reserved(const QString &reason)
{
    GlobalShortcutValidationIssue issue(Kind::reserved);
    issue.m_reason = reason;
    return issue;
}

QString GlobalShortcutValidationIssue::message() const
{
    switch (m_kind) {
    case Kind::unsupportedKey:
        return QStringLiteral("That key cannot be used as a global shortcut.");
    case Kind::missingModifier:
        return QStringLiteral("Add ") + PlatformTexts::requiredModifierNames()
            + QStringLiteral(" so the shortcut cannot fire while typing.");
    case Kind::duplicate:
        return QStringLiteral("Capture Region and Quick Note need different shortcuts.");
    case Kind::reserved:
        return QStringLiteral("That shortcut is reserved by ") + PlatformTexts::desktopName()
            + QStringLiteral(" for ") + m_reason + u'.';
    }
    return {};
}

std::optional<GlobalShortcutValidationIssue> GlobalShortcutValidationIssue::check(const GlobalShortcut &shortcut)
{
    if (!GlobalShortcutKeyCatalog::descriptor(shortcut.keyCode))
        return unsupportedKey();
    if (!shortcut.modifiers.hasRequiredModifier())
        return missingModifier();
    if (const auto reason = GlobalShortcutKeyCatalog::reservedSystemShortcutReason(shortcut.keyCode, shortcut.modifiers))
        return reserved(*reason);
    return std::nullopt;
}

GlobalShortcutConfiguration GlobalShortcutConfiguration::defaults()
{
    const auto controlCommand = GlobalShortcutModifiers::control() | GlobalShortcutModifiers::command();
    return GlobalShortcutConfiguration{GlobalShortcut{21, controlCommand}, GlobalShortcut{45, controlCommand}};
}

std::optional<GlobalShortcutValidationIssue> GlobalShortcutConfiguration::validationIssue() const
{
    if (capture) {
        if (auto issue = GlobalShortcutValidationIssue::check(*capture))
            return issue;
    }
    if (quickThought) {
        if (auto issue = GlobalShortcutValidationIssue::check(*quickThought))
            return issue;
    }
    if (capture && quickThought && *capture == *quickThought)
        return GlobalShortcutValidationIssue::duplicate();
    return std::nullopt;
}

QJsonObject GlobalShortcutConfiguration::toJson() const
{
    QJsonObject object;
    if (capture)
        object.insert(QStringLiteral("capture"), capture->toJson());
    if (quickThought)
        object.insert(QStringLiteral("quickThought"), quickThought->toJson());
    return object;
}

std::optional<GlobalShortcutConfiguration> GlobalShortcutConfiguration::fromJson(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    GlobalShortcutConfiguration configuration;
    const auto member = [&](const char *key, std::optional<GlobalShortcut> &field) {
        const QJsonValue entry = object.value(QLatin1String(key));
        if (entry.isUndefined() || entry.isNull())
            return true;
        field = GlobalShortcut::fromJson(entry);
        return field.has_value();
    };
    if (!member("capture", configuration.capture) || !member("quickThought", configuration.quickThought))
        return std::nullopt;
    return configuration;
}

} // namespace tessaline
