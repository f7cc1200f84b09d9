#pragma once

#include <QList>
#include <QObject>
#include <QSet>

#include <optional>

namespace tessaline {

class Board;
class CanvasCard;
class LibraryQuery;
class PersistentEntity;

// For a screen that works out something from every note and card of the
// library after each save (counts, a list of what is deleted): whether
// anything it works from changed since it last did, so a save that changed
// none of it (a paragraph typed, a card's text) costs it nothing. Changed
// means a note or card was added or taken out, or one of the properties it
// names was written (Board::Property, CanvasCard::Property). Main thread.
class LibraryChangeFilter : public QObject
{
    Q_OBJECT
public:
    LibraryChangeFilter(LibraryQuery &library, QSet<int> boardProperties, QSet<int> cardProperties,
                        QObject *parent = nullptr);

    // True when something named changed since the last call (and at the
    // first); the lists as they are now count as seen.
    bool takeChange() { return takeChanges().changed; }
    // The same, telling apart a change that only added cards at the end of
    // the list of cards (a capture): where the first of them stands.
    // Or a change that only took notes and cards out of the lists (deleted
    // for good) and wrote nothing named: which ones, as they were then.
    struct Taken
    {
        QList<Board *> boards;
        QList<CanvasCard *> cards;
    };
    // Or a change that wrote named properties of cards alone, perhaps
    // adding cards at the end too, the notes as they were: those cards,
    // each once, in the list's order, so what was worked out over the
    // others still holds.
    struct Changes
    {
        bool changed = false;
        std::optional<qsizetype> cardsAddedFrom;
        std::optional<Taken> taken;
        std::optional<QList<CanvasCard *>> cardsWritten;
    };
    Changes takeChanges();

private:
    void written(PersistentEntity *entity, int property);

    LibraryQuery &m_library;
    QSet<int> m_boardProperties;
    QSet<int> m_cardProperties;
    QList<Board *> m_seenBoards;
    QList<CanvasCard *> m_seenCards;
    quint64 m_seenCardWrites = 0;
    // A named property of a note written, or writes taken back; of a card.
    bool m_written = true;
    bool m_cardsWritten = false;
};

} // namespace tessaline
