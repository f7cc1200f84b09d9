#pragma once

#include "design/QuietSurfaces.h"

#include <QDateTime>
#include <QPixmap>
#include <QString>
#include <QUuid>

#include <optional>

class QPainter;
class QPalette;

namespace tessaline {

class CanvasCard;

// The read-only tile of one card in search results and Recently Deleted:
// everything it shows, worked out from the card when it is made. Holds no
// reference to the card, so a list can keep it between repaints.
struct CompactCardPreview
{
    CompactCardPreview(const CanvasCard &card, const std::optional<QString> &boardTitle, bool showsBoardName);

    QUuid cardID;
    bool isSnip = false;
    bool isAIGenerated = false;
    QuietCardTone tone = QuietCardTone::thought;
    QString kindLabel;
    QString kindSymbol;
    QString title;
    // Whitespace runs made single spaces, at most 220 characters; empty when
    // it would only repeat the title.
    QString excerpt;
    // The note when it may be named, else the source application, else none.
    QString sourceText;
    QString sourceSymbol;
    QDateTime displayDate;
    QString accessibilitySummary;

    // The tile's height at any width: every line takes its full room.
    static int height(bool isSnip);
    // Paints the tile into `rect`. `image` is the snip's picture, null while
    // there is none (the placeholder shows then).
    void paint(QPainter *painter, const QRectF &rect, const QPixmap &image, const QPalette &palette,
               bool isHovered, const QDateTime &now) const;
};

} // namespace tessaline
