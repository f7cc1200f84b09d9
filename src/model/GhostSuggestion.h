#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

namespace tessaline {

class CanvasCard;

// The kind of question the thinking assistant is asked about a set of cards.
enum class ThinkingPrompt { connections, conflicts, question, missing, nextStep };
QString rawValue(ThinkingPrompt prompt);
std::optional<ThinkingPrompt> thinkingPromptFromRawValue(const QString &rawValue);
QList<ThinkingPrompt> allThinkingPrompts();

// What produced a suggestion.
enum class IntelligenceProvider { onDeviceModel, deterministic };
QString rawValue(IntelligenceProvider provider);
std::optional<IntelligenceProvider> intelligenceProviderFromRawValue(const QString &rawValue);

// Why the on-device model was not used.
enum class IntelligenceUnavailableReason {
    unsupportedOperatingSystem,
    deviceNotEligible,
    onDeviceModelNotEnabled,
    modelNotReady,
    generationFailed,
    deterministicOnly
};
QString rawValue(IntelligenceUnavailableReason reason);
std::optional<IntelligenceUnavailableReason> intelligenceUnavailableReasonFromRawValue(const QString &rawValue);

class IntelligenceAvailability
{
public:
    static IntelligenceAvailability onDevice() { return IntelligenceAvailability(); }
    static IntelligenceAvailability fallback(IntelligenceUnavailableReason reason)
    {
        return IntelligenceAvailability(reason);
    }

    bool isOnDevice() const { return !m_reason.has_value(); }
    std::optional<IntelligenceUnavailableReason> fallbackReason() const { return m_reason; }

    friend bool operator==(const IntelligenceAvailability &, const IntelligenceAvailability &) = default;

private:
    IntelligenceAvailability() = default;
    explicit IntelligenceAvailability(IntelligenceUnavailableReason reason) : m_reason(reason) {}
    std::optional<IntelligenceUnavailableReason> m_reason;
};

// A card's text as the assistant sees it.
struct CardExcerpt
{
    QUuid id;
    QString title;
    QString text;

    // One excerpt per card, in order, nothing filtered or merged.
    static QList<CardExcerpt> excerpts(const QList<CanvasCard *> &cards);

    friend bool operator==(const CardExcerpt &, const CardExcerpt &) = default;
};

// An answer the assistant proposes; kept only in memory until the user keeps
// it as a thought card.
struct GhostSuggestion
{
    QUuid id;
    QString markdownText;
    ThinkingPrompt prompt = ThinkingPrompt::connections;
    QList<QUuid> sourceCardIDs;
    IntelligenceProvider provider = IntelligenceProvider::deterministic;
    std::optional<IntelligenceUnavailableReason> fallbackReason;
    QDateTime createdAt;

    friend bool operator==(const GhostSuggestion &, const GhostSuggestion &) = default;
};

} // namespace tessaline
