#include "model/CardSummary.h"

#include "model/CanvasCard.h"
#include "platform/TextUtilities.h"

namespace tessaline::CardSummary {

QString kindLabel(const CanvasCard &card)
{
    if (card.kind() == CardKind::snip)
        return QStringLiteral("Snip");
    return displayName(card.thoughtKind());
}

QString kindSymbol(const CanvasCard &card)
{
    if (card.kind() == CardKind::snip)
        return QStringLiteral("viewfinder");
    switch (card.thoughtKind()) {
    case ThoughtKind::question:
        return QStringLiteral("questionmark.circle");
    case ThoughtKind::decision:
        return QStringLiteral("checkmark.seal");
    case ThoughtKind::nextStep:
        return QStringLiteral("arrow.right.circle");
    case ThoughtKind::thought:
        break;
    }
    return QStringLiteral("text.bubble");
}

QString excerpt(const CanvasCard &card, qsizetype maxCharacters)
{
    const QString source = card.kind() == CardKind::snip
        ? (card.contextText().isEmpty() ? card.ocrText() : card.contextText())
        : card.markdownText();
    const QString collapsed = collapsedWhitespace(source);
    if (collapsed.isEmpty() || collapsed == card.displayTitle())
        return QString();
    return graphemePrefix(collapsed, maxCharacters);
}

} // namespace tessaline::CardSummary
