#include "canvas/CardPresentation.h"

#include "model/CanvasCard.h"
#include "model/CardSummary.h"
#include "platform/PlatformTexts.h"

namespace tessaline {

CardPresentation CardPresentation::of(const CanvasCard &card)
{
    CardPresentation presentation;
    presentation.isSnip = card.kind() == CardKind::snip;
    presentation.kindLabel = CardSummary::kindLabel(card);
    presentation.kindSymbol = CardSummary::kindSymbol(card);
    if (presentation.isSnip) {
        if (card.hasThumbnailImageData())
            presentation.pictureSource = PictureSource::thumbnail;
        else if (card.hasOriginalImageData())
            presentation.pictureSource = PictureSource::original;
        presentation.showsCaption = !card.contextText().isEmpty();
    }
    presentation.tooltip = tooltipOf(card);
    if (card.isAIGenerated())
        presentation.tone = QuietCardTone::suggestion;
    else
        presentation.tone = presentation.isSnip ? QuietCardTone::snip : QuietCardTone::thought;
    presentation.showsSuggestedTag = card.isAIGenerated();
    presentation.showsGroupMark = card.groupID().has_value();
    presentation.accessibilityLabel = presentation.kindLabel + QStringLiteral(": ") + card.displayTitle();
    return presentation;
}

QString CardPresentation::tooltipOf(const CanvasCard &card)
{
    return card.kind() == CardKind::snip ? QStringLiteral("Double-click or press Space to preview")
                                         : QStringLiteral("Double-click or press Space to open");
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
