#include "runtime/LibraryQuery.h"

#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/ModelContext.h"

#include <algorithm>
#include <utility>

namespace tessaline {

LibraryQuery::LibraryQuery(ModelContext &context, QObject *parent)
    : QObject(parent)
    , m_context(context)
{
    connect(&m_context, &ModelContext::didSave, this, &LibraryQuery::refresh);
    connect(&m_context, &ModelContext::entityWritten, this, [this](PersistentEntity *entity, int property) {
        if (property == Board::SortIndexProperty && qobject_cast<Board *>(entity)) {
            m_sortIndexesWritten = true;
        } else if (property == CanvasCard::BoardIDProperty || property == CanvasCard::KindRawValueProperty
                   || property == CanvasCard::UpdatedAtProperty || property == CanvasCard::DeletedAtProperty) {
            if (auto *card = qobject_cast<CanvasCard *>(entity))
                m_cardsWritten.insert(card);
        }
    });
    connect(&m_context, &ModelContext::writesTakenBack, this, [this] { m_sortIndexesWritten = true; });
    refresh();
}

void LibraryQuery::refresh()
{
    if (auto boards = m_context.fetchBoards())
        sortBoards(*std::move(boards));
    if (auto cards = m_context.fetchCards())
        m_cards = *cards;
    if (auto connections = m_context.fetchConnections())
        m_connections = *connections;
    m_noteCardGroups.cardsWritten(std::exchange(m_cardsWritten, {}));
    Q_EMIT changed();
}

void LibraryQuery::sortBoards(QList<Board *> fetched)
{
    const auto before = [](const Board *a, const Board *b) { return a->sortIndex() < b->sortIndex(); };
    // The store hands out its notes in the same order from one save to the
    // next, new ones at the end: while no sort index was written, the notes
    // sorted last time keep their places and only the new ones are put in
    // theirs, after every equal index (they come later in the store).
    const qsizetype sorted = m_fetchedBoards.size();
    if (!m_sortIndexesWritten && fetched.size() >= sorted
        && std::equal(m_fetchedBoards.cbegin(), m_fetchedBoards.cend(), fetched.cbegin())) {
        for (qsizetype i = sorted; i < fetched.size(); ++i) {
            Board *board = fetched.at(i);
            m_boards.insert(std::upper_bound(m_boards.cbegin(), m_boards.cend(), board, before), board);
        }
    } else {
        m_boards = fetched;
        if (!std::is_sorted(m_boards.cbegin(), m_boards.cend(), before))
            std::stable_sort(m_boards.begin(), m_boards.end(), before);
    }
    m_fetchedBoards = std::move(fetched);
    m_sortIndexesWritten = false;
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
