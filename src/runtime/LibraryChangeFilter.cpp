#include "runtime/LibraryChangeFilter.h"

#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/FetchedList.h"
#include "model/ModelContext.h"
#include "runtime/LibraryQuery.h"

#include <algorithm>

namespace tessaline {

LibraryChangeFilter::LibraryChangeFilter(LibraryQuery &library, QSet<int> boardProperties, QSet<int> cardProperties,
                                         QObject *parent)
    : QObject(parent)
    , m_library(library)
    , m_boardProperties(std::move(boardProperties))
    , m_cardProperties(std::move(cardProperties))
{
    connect(&library.context(), &ModelContext::entityWritten, this, &LibraryChangeFilter::written);
    // Entities have earlier values again, which no write announces.
    connect(&library.context(), &ModelContext::writesTakenBack, this, [this] { m_written = true; });
}

void LibraryChangeFilter::written(PersistentEntity *entity, int property)
{
    if (m_written)
        return;
    if (qobject_cast<CanvasCard *>(entity))
        m_cardsWritten = m_cardsWritten || m_cardProperties.contains(property);
    else if (qobject_cast<Board *>(entity))
        m_written = m_boardProperties.contains(property);
}

LibraryChangeFilter::Changes LibraryChangeFilter::takeChanges()
{
    // The lists are read anew after each save; comparing them pointer by
    // pointer touches no note or card.
    const QList<CanvasCard *> &cards = m_library.cards();
    const bool boardsChanged = !sameFetched(m_library.boards(), m_seenBoards);
    const bool cardsChanged = !sameFetched(cards, m_seenCards);
    Changes changes;
    changes.changed = boardsChanged || cardsChanged || m_written || m_cardsWritten;
    const bool written = m_written || m_cardsWritten;
    if (changes.changed && !boardsChanged && !written && cards.size() > m_seenCards.size()
        && extendsFetched(cards, m_seenCards))
        changes.cardsAddedFrom = m_seenCards.size();
    // One card trashed or restored is followed as that card alone.
    if (changes.changed && !boardsChanged && !m_written && m_cardsWritten)
        changes.cardsWritten = m_library.cardsChangedSince(m_seenCardWrites, m_seenCards);
    if (changes.changed && !written && !changes.cardsAddedFrom) {
        const auto boardsTaken = boardsChanged ? takenFromFetched(m_library.boards(), m_seenBoards)
                                               : std::optional<QList<qsizetype>>(QList<qsizetype>());
        const auto cardsTaken = !boardsTaken ? std::nullopt
            : cardsChanged                   ? takenFromFetched(cards, m_seenCards)
                                             : std::optional<QList<qsizetype>>(QList<qsizetype>());
        if (cardsTaken) {
            Taken taken;
            for (qsizetype at : *boardsTaken)
                taken.boards.append(m_seenBoards.at(at));
            for (qsizetype at : *cardsTaken)
                taken.cards.append(m_seenCards.at(at));
            changes.taken = std::move(taken);
        }
    }
    m_seenBoards = m_library.boards();
    m_seenCards = cards;
    m_seenCardWrites = m_library.cardWritesRevision();
    m_written = false;
    m_cardsWritten = false;
    return changes;
}

} // namespace tessaline
