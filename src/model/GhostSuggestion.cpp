#include "model/GhostSuggestion.h"

#include "model/CanvasCard.h"

namespace tessaline {
namespace {

template <typename Enum>
std::optional<Enum> fromRawValue(const QString &raw, const QList<Enum> &cases)
{
    for (Enum value : cases) {
        if (rawValue(value) == raw)
            return value;
    }
    return std::nullopt;
}

} // namespace

QString rawValue(ThinkingPrompt prompt)
{
    switch (prompt) {
    case ThinkingPrompt::connections: return QStringLiteral("connections");
    case ThinkingPrompt::conflicts: return QStringLiteral("conflicts");
    case ThinkingPrompt::question: return QStringLiteral("question");
    case ThinkingPrompt::missing: return QStringLiteral("missing");
    case ThinkingPrompt::nextStep: return QStringLiteral("nextStep");
    }
    return QString();
}

QList<ThinkingPrompt> allThinkingPrompts()
{
    return {ThinkingPrompt::connections, ThinkingPrompt::conflicts, ThinkingPrompt::question, ThinkingPrompt::missing,
            ThinkingPrompt::nextStep};
}

std::optional<ThinkingPrompt> thinkingPromptFromRawValue(const QString &raw)
{
    return fromRawValue(raw, allThinkingPrompts());
}

QString rawValue(IntelligenceProvider provider)
{
    switch (provider) {
    case IntelligenceProvider::onDeviceModel: return QStringLiteral("onDeviceModel");
    case IntelligenceProvider::deterministic: return QStringLiteral("deterministic");
    }
    return QString();
}

std::optional<IntelligenceProvider> intelligenceProviderFromRawValue(const QString &raw)
{
    return fromRawValue(raw, QList<IntelligenceProvider>{IntelligenceProvider::onDeviceModel,
                                                         IntelligenceProvider::deterministic});
}

QString rawValue(IntelligenceUnavailableReason reason)
{
    switch (reason) {
    case IntelligenceUnavailableReason::unsupportedOperatingSystem: return QStringLiteral("unsupportedOperatingSystem");
    case IntelligenceUnavailableReason::deviceNotEligible: return QStringLiteral("deviceNotEligible");
    case IntelligenceUnavailableReason::onDeviceModelNotEnabled: return QStringLiteral("onDeviceModelNotEnabled");
    case IntelligenceUnavailableReason::modelNotReady: return QStringLiteral("modelNotReady");
    case IntelligenceUnavailableReason::generationFailed: return QStringLiteral("generationFailed");
    case IntelligenceUnavailableReason::deterministicOnly: return QStringLiteral("deterministicOnly");
    }
    return QString();
}

std::optional<IntelligenceUnavailableReason> intelligenceUnavailableReasonFromRawValue(const QString &raw)
{
    using R = IntelligenceUnavailableReason;
    return fromRawValue(raw, QList<R>{R::unsupportedOperatingSystem, R::deviceNotEligible, R::onDeviceModelNotEnabled,
                                      R::modelNotReady, R::generationFailed, R::deterministicOnly});
}

QList<CardExcerpt> CardExcerpt::excerpts(const QList<CanvasCard *> &cards)
{
    QList<CardExcerpt> result;
    result.reserve(cards.size());
    for (const CanvasCard *card : cards)
        result.append(CardExcerpt{card->id(), card->displayTitle(), card->combinedText()});
    return result;
}

} // namespace tessaline
