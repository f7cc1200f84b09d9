#include "runtime/LibraryQuery.h"

#include "model/ModelContext.h"

#include <algorithm>

namespace tessaline {

LibraryQuery::LibraryQuery(ModelContext &context, QObject *parent)
    : QObject(parent)
    , m_context(context)
{
    connect(&m_context, &ModelContext::didSave, this, &LibraryQuery::refresh);
    refresh();
}

void LibraryQuery::refresh()
{
    if (auto boards = m_context.fetchBoards()) {
        m_boards = *boards;
        std::stable_sort(m_boards.begin(), m_boards.end(),
                         [](const Board *a, const Board *b) { return a->sortIndex() < b->sortIndex(); });
    }
    if (auto cards = m_context.fetchCards())
        m_cards = *cards;
    if (auto connections = m_context.fetchConnections())
        m_connections = *connections;
    Q_EMIT changed();
}

Board *LibraryQuery::firstBoard(const QUuid &id) const
{
    const auto found = std::find_if(m_boards.cbegin(), m_boards.cend(), [&](const Board *board) { return board->id() == id; });
    return found == m_boards.cend() ? nullptr : *found;
}

CanvasCard *LibraryQuery::firstCard(const QUuid &id) const
{
    const auto found = std::find_if(m_cards.cbegin(), m_cards.cend(), [&](const CanvasCard *card) { return card->id() == id; });
    return found == m_cards.cend() ? nullptr : *found;
}

Board *LibraryQuery::quickCapturesNote(const QList<Board *> &boards)
{
    const auto found = std::find_if(boards.cbegin(), boards.cend(),
                                    [](const Board *board) { return board->isInbox() && board->isLive(); });
    return found == boards.cend() ? nullptr : *found;
}

} // namespace tessaline
