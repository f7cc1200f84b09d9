#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

namespace tessaline {

// The modifier keys a global shortcut needs held. Raw bits are stored as they
// stand; other bits survive decoding and take part in equality.
class GlobalShortcutModifiers
{
public:
    static constexpr quint8 commandBit = 1; // Ctrl here
    static constexpr quint8 optionBit = 2;  // Alt
    static constexpr quint8 controlBit = 4; // Super
    static constexpr quint8 shiftBit = 8;   // Shift

    constexpr GlobalShortcutModifiers() = default;
    constexpr explicit GlobalShortcutModifiers(quint8 rawValue) : m_raw(rawValue) {}

    static constexpr GlobalShortcutModifiers command() { return GlobalShortcutModifiers(commandBit); }
    static constexpr GlobalShortcutModifiers option() { return GlobalShortcutModifiers(optionBit); }
    static constexpr GlobalShortcutModifiers control() { return GlobalShortcutModifiers(controlBit); }
    static constexpr GlobalShortcutModifiers shift() { return GlobalShortcutModifiers(shiftBit); }

    constexpr quint8 rawValue() const { return m_raw; }
    constexpr bool contains(GlobalShortcutModifiers other) const { return (m_raw & other.m_raw) == other.m_raw; }
    constexpr GlobalShortcutModifiers operator|(GlobalShortcutModifiers other) const
    {
        return GlobalShortcutModifiers(quint8(m_raw | other.m_raw));
    }
    // Command, option or control: shift alone does not keep a shortcut from
    // firing while typing.
    constexpr bool hasRequiredModifier() const { return (m_raw & 7) != 0; }

    // The keys the way this desktop writes them: "Ctrl+Alt+Shift+Super+"
    // in that order, each present one once; empty for no modifiers.
    QString symbols() const;
    // The platform-neutral flag mask the hot-key layer takes
    // (command 0x100, shift 0x200, option 0x800, control 0x1000).
    quint32 carbonFlags() const;

    friend constexpr bool operator==(GlobalShortcutModifiers, GlobalShortcutModifiers) = default;

private:
    quint8 m_raw = 0;
};

// A key (the catalog's key code) with its modifiers.
struct GlobalShortcut
{
    quint32 keyCode = 0;
    GlobalShortcutModifiers modifiers;

    // Modifiers then the key's name, or "Unavailable" for a key the catalog
    // does not know.
    QString displayText() const;

    QJsonObject toJson() const;
    // Both members required: keyCode an unsigned 32-bit integer, modifiers
    // an integer 0 to 255.
    static std::optional<GlobalShortcut> fromJson(const QJsonValue &value);

    friend bool operator==(const GlobalShortcut &, const GlobalShortcut &) = default;
};

class GlobalShortcutValidationIssue
{
public:
    enum class Kind { unsupportedKey, missingModifier, duplicate, reserved };

    static GlobalShortcutValidationIssue unsupportedKey() { return GlobalShortcutValidationIssue(Kind::unsupportedKey); }
    static GlobalShortcutValidationIssue missingModifier() { return GlobalShortcutValidationIssue(Kind::missingModifier); }
    static GlobalShortcutValidationIssue duplicate() { return GlobalShortcutValidationIssue(Kind::duplicate); }
    static GlobalShortcutValidationIssue reserved(const QString &reason);

    Kind kind() const { return m_kind; }
    QString reason() const { return m_reason; }
    QString message() const;

    // The single-shortcut check: unknown key, then missing modifier, then a
    // reserved combination.
    static std::optional<GlobalShortcutValidationIssue> check(const GlobalShortcut &shortcut);

    friend bool operator==(const GlobalShortcutValidationIssue &, const GlobalShortcutValidationIssue &) = default;

private:
    explicit GlobalShortcutValidationIssue(Kind kind) : m_kind(kind) {}
    Kind m_kind;
    QString m_reason;
};

// The pair of global shortcuts; an absent one is off.
struct GlobalShortcutConfiguration
{
    std::optional<GlobalShortcut> capture;
    std::optional<GlobalShortcut> quickThought;

    // Control-Command-4 and Control-Command-N (Ctrl+Super+4, Ctrl+Super+N).
    static GlobalShortcutConfiguration defaults();

    // The first issue of capture, then of quickThought, then duplicate.
    std::optional<GlobalShortcutValidationIssue> validationIssue() const;
    bool isValid() const { return !validationIssue().has_value(); }

    QJsonObject toJson() const;
    // None when the JSON is not a configuration.
    static std::optional<GlobalShortcutConfiguration> fromJson(const QJsonValue &value);

    friend bool operator==(const GlobalShortcutConfiguration &, const GlobalShortcutConfiguration &) = default;
};

} // namespace tessaline
