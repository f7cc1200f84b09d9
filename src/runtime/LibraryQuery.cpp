#include "runtime/LibraryQuery.h"

#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/Connection.h"
#include "model/FetchedList.h"
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
        if (auto *card = qobject_cast<CanvasCard *>(entity)) {
            ++m_cardsRevision;
            ++m_cardWritesRevision;
            // Kept for readers a save or two behind; one further behind
            // works its cards out whole.
            constexpr qsizetype kept = 512;
            if (m_cardWrites.size() == kept) {
                m_cardWrites.remove(0, kept / 2);
                m_cardWritesFrom += kept / 2;
            }
            m_cardWrites.append(card);
        }
        if (property == Board::IdProperty && qobject_cast<Board *>(entity)) {
            m_boardIDsKnown = false;
        } else if (property == Board::SortIndexProperty && qobject_cast<Board *>(entity)) {
            m_sortIndexesWritten = true;
        } else if (property == CanvasCard::BoardIDProperty || property == CanvasCard::KindRawValueProperty
                   || property == CanvasCard::UpdatedAtProperty || property == CanvasCard::DeletedAtProperty) {
            if (auto *card = qobject_cast<CanvasCard *>(entity))
                m_cardsWritten.insert(card);
        } else if (property == CanvasCard::IdProperty && qobject_cast<CanvasCard *>(entity)) {
            m_cardIDsKnown = false;
        }
        if (property == Connection::BoardIDProperty && qobject_cast<Connection *>(entity))
            m_connectionsGroupedKnown = false;
    });
    connect(&m_context, &ModelContext::writesTakenBack, this, [this] {
        ++m_cardsRevision;
        ++m_cardWritesRevision;
        m_cardWrites.clear();
        m_cardWritesFrom = m_cardWritesRevision;
        m_sortIndexesWritten = true;
        m_cardIDsKnown = false;
        m_boardIDsKnown = false;
        m_connectionsGroupedKnown = false;
    });
    refresh();
}

void LibraryQuery::refresh()
{
    if (auto boards = m_context.fetchBoards())
        sortBoards(*std::move(boards));
    if (auto cards = m_context.fetchCards()) {
        if (cards->constData() != m_cards.constData() || cards->size() != m_cards.size())
            ++m_cardsRevision;
        m_cards = *cards;
        m_cardsListedAt = m_context.cardListRevision();
    }
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
    // While no id is held twice, the table of ids takes the notes added or
    // taken out one by one rather than being made again for every note.
    const bool idsSingle = m_boardIDsKnown && m_firstBoardByID.size() == m_boards.size();
    std::optional<QList<qsizetype>> taken;
    if (!m_sortIndexesWritten && extendsFetched(fetched, m_fetchedBoards)) {
        for (qsizetype i = sorted; i < fetched.size(); ++i) {
            Board *board = fetched.at(i);
            m_boards.insert(std::upper_bound(m_boards.cbegin(), m_boards.cend(), board, before), board);
            if (idsSingle && !m_firstBoardByID.contains(board->id()))
                m_firstBoardByID.insert(board->id(), board);
            else
                m_boardIDsKnown = false;
        }
    } else if (!m_sortIndexesWritten && (taken = takenFromFetched(fetched, m_fetchedBoards))) {
        // A note deleted for good: the others keep their order. It is still
        // there to be asked for its id until the save that took it is done.
        QSet<const Board *> gone;
        for (qsizetype at : std::as_const(*taken)) {
            const Board *board = m_fetchedBoards.at(at);
            gone.insert(board);
            const auto first = m_firstBoardByID.constFind(board->id());
            if (idsSingle && first != m_firstBoardByID.cend() && *first == board)
                m_firstBoardByID.erase(first);
            else
                m_boardIDsKnown = false;
        }
        m_boards.removeIf([&gone](const Board *board) { return gone.contains(board); });
    } else {
        const QList<Board *> listedBefore = m_boards;
        m_boards = fetched;
        if (!std::is_sorted(m_boards.cbegin(), m_boards.cend(), before))
            std::stable_sort(m_boards.begin(), m_boards.end(), before);
        // The same notes in the same order keep their table of ids (a
        // written id has cleared it already): a save that wrote a note's
        // stamp leaves it.
        if (m_boards != listedBefore)
            m_boardIDsKnown = false;
    }
    m_fetchedBoards = std::move(fetched);
    m_sortIndexesWritten = false;
}

QList<qint32> LibraryQuery::cardPositionsOfNote(const QUuid &noteID)
{
    const QHash<QUuid, NoteCardGroups::Group> &groups = m_noteCardGroups.groups(m_cards);
    const auto group = groups.constFind(noteID);
    QList<qint32> positions = group == groups.cend() ? QList<qint32>() : group->cards;
    // Written since the last save, or by one that failed: the groups hear
    // of them with the next save.
    if (m_cardsWritten.isEmpty())
        return positions;
    // Many (a large move whose save failed) are found in one pass.
    constexpr qsizetype lookedForAlone = 16;
    if (m_cardsWritten.size() <= lookedForAlone) {
        for (const CanvasCard *card : std::as_const(m_cardsWritten)) {
            if (const qsizetype at = m_cards.indexOf(card); at >= 0)
                positions.append(qint32(at));
        }
    } else {
        for (qsizetype at = 0; at < m_cards.size(); ++at) {
            if (m_cardsWritten.contains(m_cards.at(at)))
                positions.append(qint32(at));
        }
    }
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    return positions;
}

QList<qint32> LibraryQuery::cardPositions(const QSet<QUuid> &ids)
{
    readCardIDs();
    QList<qint32> positions;
    positions.reserve(ids.size());
    for (const QUuid &id : ids) {
        const auto first = m_cardAtByID.constFind(id);
        if (first == m_cardAtByID.cend())
            continue;
        positions.append(*first);
        if (m_laterCardsByID.isEmpty())
            continue;
        for (auto later = m_laterCardsByID.constFind(id); later != m_laterCardsByID.cend() && later.key() == id; ++later)
            positions.append(*later);
    }
    std::sort(positions.begin(), positions.end());
    return positions;
}

QList<Connection *> LibraryQuery::connectionsOfNote(const QUuid &noteID)
{
    groupConnections();
    return m_connectionsByNote.value(noteID);
}

void LibraryQuery::groupConnections()
{
    const bool known = m_connectionsGroupedKnown;
    if (known && extendsFetched(m_connections, m_connectionsGrouped)) {
        for (qsizetype at = m_connectionsGrouped.size(); at < m_connections.size(); ++at) {
            Connection *connection = m_connections.at(at);
            m_connectionsByNote[connection->boardID()].append(connection);
            m_groupedConnectionNotes.append(connection->boardID());
        }
        m_connectionsGrouped = m_connections;
        return;
    }
    // A note deleted for good takes its connections out: only their groups
    // change, found by the note each stood in.
    if (known) {
        if (const auto taken = takenFromFetched(m_connections, m_connectionsGrouped)) {
            for (auto at = taken->crbegin(); at != taken->crend(); ++at) {
                const auto group = m_connectionsByNote.find(m_groupedConnectionNotes.at(*at));
                if (group != m_connectionsByNote.end()) {
                    group->removeOne(m_connectionsGrouped.at(*at));
                    if (group->isEmpty())
                        m_connectionsByNote.erase(group);
                }
                m_groupedConnectionNotes.removeAt(*at);
            }
            m_connectionsGrouped = m_connections;
            return;
        }
    }
    m_connectionsByNote.clear();
    m_groupedConnectionNotes.clear();
    m_groupedConnectionNotes.reserve(m_connections.size());
    for (Connection *connection : std::as_const(m_connections)) {
        m_connectionsByNote[connection->boardID()].append(connection);
        m_groupedConnectionNotes.append(connection->boardID());
    }
    m_connectionsGrouped = m_connections;
    m_connectionsGroupedKnown = true;
}

std::optional<QList<CanvasCard *>> LibraryQuery::cardsChangedSince(quint64 revision, const QList<CanvasCard *> &seen)
{
    if (revision < m_cardWritesFrom || revision > m_cardWritesRevision || !extendsFetched(m_cards, seen))
        return std::nullopt;
    QSet<const CanvasCard *> written;
    for (qsizetype at = qsizetype(revision - m_cardWritesFrom); at < m_cardWrites.size(); ++at) {
        // Gone, it is in neither list: nothing to bring along.
        if (const CanvasCard *card = m_cardWrites.at(at))
            written.insert(card);
    }
    QList<CanvasCard *> changed;
    if (!written.isEmpty()) {
        // A card inserted and not saved yet, or one taken out, is written
        // without being listed: looked for where its id stands.
        QSet<QUuid> ids;
        for (const CanvasCard *card : std::as_const(written))
            ids.insert(card->id());
        for (qint32 at : cardPositions(ids)) {
            if (at < seen.size() && written.contains(m_cards.at(at)))
                changed.append(m_cards.at(at));
        }
    }
    changed.append(m_cards.mid(seen.size()));
    return changed;
}

bool LibraryQuery::cardIDsRepeat()
{
    readCardIDs();
    return !m_laterCardsByID.isEmpty();
}

void LibraryQuery::readCardIDs()
{
    const bool extended = m_cardIDsKnown && extendsFetched(m_cards, m_cardIDsFrom);
    if (!extended || m_cards.size() > m_cardIDsFrom.size()) {
        if (!extended) {
            m_cardAtByID.clear();
            m_laterCardsByID.clear();
            m_cardAtByID.reserve(m_cards.size());
        }
        walkCards(m_cards, extended ? m_cardIDsFrom.size() : 0, [this](qsizetype at, const CanvasCard *card) {
            const QUuid id = card->id();
            if (m_cardAtByID.contains(id))
                m_laterCardsByID.insert(id, qint32(at));
            else
                m_cardAtByID.insert(id, qint32(at));
        });
        m_cardIDsFrom = m_cards;
        m_cardIDsKnown = true;
    }
}

Board *LibraryQuery::firstBoard(const QUuid &id) const
{
    if (!m_boardIDsKnown) {
        m_firstBoardByID.clear();
        m_firstBoardByID.reserve(m_boards.size());
        // From the last: an earlier note of the same id takes its place.
        for (auto board = m_boards.crbegin(); board != m_boards.crend(); ++board)
            m_firstBoardByID.insert((*board)->id(), *board);
        m_boardIDsKnown = true;
    }
    return m_firstBoardByID.value(id, nullptr);
}

QList<CanvasCard *> LibraryQuery::cardsWithID(const QUuid &id) const
{
    if (m_cardsListedAt == m_context.cardListRevision())
        return m_context.cardsWithID(id);
    QList<CanvasCard *> found;
    for (CanvasCard *card : m_cards) {
        if (card->id() == id)
            found.append(card);
    }
    return found;
}

Board *LibraryQuery::quickCapturesNote(const QList<Board *> &boards)
{
    const auto found = std::find_if(boards.cbegin(), boards.cend(),
                                    [](const Board *board) { return board->isInbox() && board->isLive(); });
    return found == boards.cend() ? nullptr : *found;
}

} // namespace tessaline
