#pragma once

#include "design/QuietSurfaces.h"

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

namespace tessaline {

class CanvasCard;

// How a card on the map looks and what assistive technology reads for it,
// worked out from the card alone.
struct CardPresentation
{
    // Which stored picture a snip shows: the thumbnail when there is one,
    // else the original. Only that one is tried: an unreadable thumbnail
    // shows the placeholder even when the original would read.
    enum class PictureSource { none, thumbnail, original };

    bool isSnip = false;
    QString kindLabel;
    QString kindSymbol;
    QuietCardTone tone = QuietCardTone::thought;
    bool showsSuggestedTag = false;
    bool showsGroupMark = false;
    // Tested as stored: a caption of spaces is shown.
    bool showsCaption = false;
    PictureSource pictureSource = PictureSource::none;
    QString tooltip;
    QString accessibilityLabel;

    static CardPresentation of(const CanvasCard &card);
    // The card's tooltip alone: it needs none of the card's texts, which a
    // map of thousands of cards reads only for those it paints.
    static QString tooltipOf(const CanvasCard &card);

    static QString accessibilityValue(bool isSelected);
    static QString accessibilityHint();
    static QString groupMarkTooltip() { return QStringLiteral("Grouped"); }
    static QString suggestedTagTitle() { return QStringLiteral("Suggested"); }
    static QString resizeHandleLabel() { return QStringLiteral("Resize card"); }
    static QString placeholderSymbol() { return QStringLiteral("photo.badge.exclamationmark"); }
};

} // namespace tessaline
