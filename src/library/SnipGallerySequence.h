#pragma once

#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

namespace tessaline {

class CanvasCard;

// Which snips the gallery pages through, in which order, and where the shown
// one stands among them. Worked out afresh from the live cards and the
// navigation state whenever either changes; nothing is kept.
class SnipGallerySequence
{
public:
    // The opener's browse list, kept to the available snips (first
    // occurrence wins), when it holds the current snip; otherwise the
    // current note's list kept the same way, whether or not it holds it.
    SnipGallerySequence(const QUuid &currentID, const std::optional<QList<QUuid>> &browseIDs,
                        const QList<QUuid> &availableIDs, const QList<QUuid> &defaultIDs);

    const QList<QUuid> &orderedIDs() const { return m_orderedIDs; }
    QUuid currentID() const { return m_currentID; }

    std::optional<qsizetype> currentIndex() const;
    // "3 of 12"; empty when the current snip is not in the list.
    QString positionText() const;
    // The neighbour in paging order; none past either end (no wrap-around)
    // or when the current snip is not in the list.
    std::optional<QUuid> step(bool forward) const;
    // The same sequence shown at another of its snips, when that is sure to
    // be what the inputs it was made from give: it came from the opener's
    // list, which holds that snip too. None when it must be worked out anew.
    std::optional<SnipGallerySequence> shownAt(const QUuid &id) const;

    friend bool operator==(const SnipGallerySequence &, const SnipGallerySequence &) = default;

    // -- Inputs from the live cards ------------------------------------------

    // The first card with the id that is a live snip; image data not needed.
    static CanvasCard *currentCard(const QList<CanvasCard *> &cards, const QUuid &id);
    // In query order, every live snip that holds image data, of any note.
    static QList<QUuid> availableSnipIDs(const QList<CanvasCard *> &cards);
    // The live snips with image data of the current card's note, oldest
    // capture first (creation date when never captured), equal dates by
    // identifier text. Empty without a current card.
    static QList<CanvasCard *> defaultSequenceCards(const QList<CanvasCard *> &cards, const CanvasCard *current);
    // The sequence the gallery shows for these cards and this browse list.
    static SnipGallerySequence forCards(const QList<CanvasCard *> &cards, const QUuid &currentID,
                                        const std::optional<QList<QUuid>> &browseIDs);

private:
    QList<QUuid> m_orderedIDs;
    QUuid m_currentID;
    bool m_fromBrowse = false;
};

} // namespace tessaline
