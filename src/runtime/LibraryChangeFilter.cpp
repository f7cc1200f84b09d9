#include "runtime/LibraryChangeFilter.h"

#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/ModelContext.h"
#include "runtime/LibraryQuery.h"

namespace tessaline {

LibraryChangeFilter::LibraryChangeFilter(LibraryQuery &library, QSet<int> boardProperties, QSet<int> cardProperties,
                                         QObject *parent)
    : QObject(parent)
    , m_library(library)
    , m_boardProperties(std::move(boardProperties))
    , m_cardProperties(std::move(cardProperties))
{
    connect(&library.context(), &ModelContext::entityWritten, this, &LibraryChangeFilter::written);
}

void LibraryChangeFilter::written(PersistentEntity *entity, int property)
{
    if (m_written)
        return;
    if (qobject_cast<CanvasCard *>(entity))
        m_written = m_cardProperties.contains(property);
    else if (qobject_cast<Board *>(entity))
        m_written = m_boardProperties.contains(property);
}

bool LibraryChangeFilter::takeChange()
{
    // The lists are read anew after each save; comparing them pointer by
    // pointer touches no note or card.
    const bool listsChanged = m_library.boards() != m_seenBoards || m_library.cards() != m_seenCards;
    const bool changed = listsChanged || m_written;
    m_seenBoards = m_library.boards();
    m_seenCards = m_library.cards();
    m_written = false;
    return changed;
}

} // namespace tessaline
