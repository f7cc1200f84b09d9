#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>

class QPainter;
class QPalette;
class QRectF;

namespace tessaline {

class Board;
enum class BoardStatus;

// The read-only tile of one note: its status, title, focus question, card
// counts and last change. Worked out from the note when it is made and
// holding no reference to it, so a list's delegate can keep it between
// repaints; the counts are the caller's, shown as given.
struct BoardCollectionPreview
{
    BoardCollectionPreview(const Board &board, int snipCount, int thoughtCount);

    QUuid boardID;
    QString title;
    QString statusLabel;
    QString statusSymbol;
    // Parked and done notes carry a tag; active ones do not.
    bool showsStatusTag = false;
    // The focus question, or "No focus question yet" (shown in italics).
    QString focusText;
    bool hasFocusQuestion = false;
    int snipCount = 0;
    int thoughtCount = 0;
    QDateTime updatedAt;
    QString accessibilitySummary;

    static QString statusLabelFor(BoardStatus status);
    static QString statusSymbolFor(BoardStatus status);

    // The tile is at least this tall; the counts row keeps to its bottom.
    static int minimumHeight();
    // The tile's height: the header, room for three lines of focus question
    // and the counts row, never less than the minimum.
    static int height();
    void paint(QPainter *painter, const QRectF &rect, const QPalette &palette, bool isHovered, const QDateTime &now) const;

    friend bool operator==(const BoardCollectionPreview &, const BoardCollectionPreview &) = default;
};

} // namespace tessaline
