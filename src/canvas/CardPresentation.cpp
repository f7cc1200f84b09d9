#include "canvas/CardPresentation.h"

#include "model/CanvasCard.h"
#include "platform/PlatformTexts.h"

namespace tessaline {

namespace {

QString thoughtKindSymbol(ThoughtKind kind)
{
    switch (kind) {
    case ThoughtKind::thought: return QStringLiteral("text.bubble");
    case ThoughtKind::question: return QStringLiteral("questionmark.circle");
    case ThoughtKind::decision: return QStringLiteral("checkmark.seal");
    case ThoughtKind::nextStep: return QStringLiteral("arrow.right.circle");
    }
    return QStringLiteral("text.bubble");
}

} // namespace

CardPresentation CardPresentation::of(const CanvasCard &card)
{
    CardPresentation presentation;
    presentation.isSnip = card.kind() == CardKind::snip;
    if (presentation.isSnip) {
        presentation.kindLabel = QStringLiteral("Snip");
        presentation.kindSymbol = QStringLiteral("viewfinder");
        presentation.tooltip = QStringLiteral("Double-click or press Space to preview");
        if (card.hasThumbnailImageData())
            presentation.pictureSource = PictureSource::thumbnail;
        else if (card.hasOriginalImageData())
            presentation.pictureSource = PictureSource::original;
        presentation.showsCaption = !card.contextText().isEmpty();
    } else {
        const ThoughtKind kind = card.thoughtKind();
        presentation.kindLabel = displayName(kind);
        presentation.kindSymbol = thoughtKindSymbol(kind);
        presentation.tooltip = QStringLiteral("Double-click or press Space to open");
    }
    if (card.isAIGenerated())
        presentation.tone = QuietCardTone::suggestion;
    else
        presentation.tone = presentation.isSnip ? QuietCardTone::snip : QuietCardTone::thought;
    presentation.showsSuggestedTag = card.isAIGenerated();
    presentation.showsGroupMark = card.groupID().has_value();
    presentation.accessibilityLabel = presentation.kindLabel + QStringLiteral(": ") + card.displayTitle();
    return presentation;
}

QString CardPresentation::accessibilityValue(bool isSelected)
{
    return isSelected ? QStringLiteral("Selected") : QStringLiteral("Not selected");
}

QString CardPresentation::accessibilityHint()
{
    return PlatformTexts::canvasCardAccessibilityHint();
}

} // namespace tessaline
