#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QUuid>

namespace tessaline {

class CanvasCard;

// Every note's cards in the library's list of cards: where they stand, how
// many live snips there are and which live card changed last. Counted whole
// once, then kept with the list: cards added at its end are counted as they
// come, cards said to be written are counted again with the notes they left
// and joined, cards taken out of the list leave theirs; a list that was
// reordered is counted whole again.
// The window keeps one for every screen (LibraryQuery::noteCardGroups()), so
// opening a list of notes no longer counts a large library's cards again.
// Main thread.
class NoteCardGroups
{
public:
    struct Group
    {
        int snipCount = 0;
        const CanvasCard *latest = nullptr;
        QDateTime latestUpdatedAt;
        // Where the note's cards, deleted ones too, stand in the list
        // counted, ascending; empty once the note has no card left.
        QList<qint32> cards;
        // revision() when the group last changed.
        quint64 revision = 0;
    };

    // The groups of `cards`, brought up to date with it first.
    const QHash<QUuid, Group> &groups(const QList<CanvasCard *> &cards);
    // These cards' note, kind, date or deletion was written, or may have
    // been given back its earlier value: the next groups() count them again.
    void cardsWritten(const QSet<const CanvasCard *> &cards) { m_writtenCards.unite(cards); }
    void invalidate() { m_valid = false; }

    // Goes up at each change of any group; a group with a later revision
    // than one seen changed since.
    quint64 revision() const { return m_revision; }
    // The revision of the last count of every card: every group may differ
    // from any seen before it.
    quint64 wholeRevision() const { return m_wholeRevision; }

private:
    void groupCards(const QList<CanvasCard *> &cards);
    void regroupChangedCards(const QList<CanvasCard *> &cards);
    // Takes the cards that stood at `taken` (ascending) in the list counted
    // out of their groups; `cards` is that list without them.
    void takeOut(const QList<qsizetype> &taken, const QList<CanvasCard *> &cards);
    void countIn(Group &group, const CanvasCard &card) const;
    void recount(Group &group);

    QHash<QUuid, Group> m_groups;
    QList<CanvasCard *> m_groupedCards;
    QSet<const CanvasCard *> m_writtenCards;
    bool m_valid = false;
    quint64 m_revision = 0;
    quint64 m_wholeRevision = 0;
};

} // namespace tessaline
