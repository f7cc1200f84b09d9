#include "runtime/TrashActions.h"

#include "runtime/LibraryQuery.h"
#include "runtime/NavigationState.h"
#include "runtime/DesktopSearchIndexService.h"
#include "runtime/SearchIndexRestorer.h"
#include "model/Board.h"
#include "model/ModelChangeScope.h"
#include "model/ModelContext.h"

namespace tessaline {

TrashActions::TrashActions(LibraryQuery &library, NavigationState &navigation, DesktopSearchIndexService *index,
                           QObject *parent)
    : QObject(parent)
    , m_library(library)
    , m_navigation(navigation)
    , m_index(index)
    , m_clock([] { return QDateTime::currentDateTimeUtc(); })
{
}

TrashActions::~TrashActions() = default;

bool TrashActions::saveOrUndo(ModelChangeScope &scope)
{
    if (const auto saved = scope.saveOrUndo(); !saved) {
        Q_EMIT failed(saved.error().message);
        return false;
    }
    return true;
}

bool TrashActions::restoreBoard(const QUuid &boardID)
{
    Board *board = m_library.firstBoard(boardID);
    if (!board)
        return true;
    ModelChangeScope scope(m_library.context());
    board->restoreFromTrash(m_clock());
    board->setStatus(BoardStatus::active, m_clock());
    if (!saveOrUndo(scope))
        return false;
    QList<CanvasCard *> cards;
    for (qint32 at : m_library.cardPositionsOfNote(boardID)) {
        if (CanvasCard *card = m_library.cards().at(at); card->boardID() == boardID)
            cards.append(card);
    }
    indexRestored(cards);
    return true;
}

void TrashActions::openDeletedBoard(const QUuid &boardID)
{
    if (!restoreBoard(boardID))
        return;
    m_navigation.setDestination(SidebarDestination::notes());
    m_navigation.setActiveBoardID(boardID);
}

bool TrashActions::restoreCard(const QUuid &cardID)
{
    CanvasCard *card = m_library.firstCard(cardID);
    if (!card)
        return true;
    ModelChangeScope scope(m_library.context());
    card->restoreFromTrash(m_clock());
    if (!saveOrUndo(scope))
        return false;
    indexRestored({card});
    return true;
}

void TrashActions::indexRestored(const QList<CanvasCard *> &cards)
{
    if (!m_index || cards.isEmpty())
        return;
    if (!m_restorer)
        m_restorer = new SearchIndexRestorer(m_library.context(), *m_index, this);
    m_restorer->restore(cards);
}

void TrashActions::openDeletedCard(const QUuid &boardID, const QUuid &cardID)
{
    if (!restoreCard(cardID))
        return;
    m_navigation.setDestination(SidebarDestination::listing(m_library.firstBoard(boardID)));
    m_navigation.setActiveBoardID(boardID);
    openCard(cardID);
}

void TrashActions::openCard(const QUuid &cardID)
{
    const CanvasCard *card = m_library.firstCard(cardID);
    if (card && card->kind() == CardKind::snip)
        m_navigation.setGalleryCardID(cardID);
    else
        m_navigation.setFocusedCardID(cardID);
}

void TrashActions::deleteBoardPermanently(const QUuid &boardID)
{
    Board *board = m_library.firstBoard(boardID);
    if (!board || board->isInbox())
        return;
    ModelContext &context = m_library.context();
    ModelChangeScope scope(context);
    // The lists are copied: they are read again when the save lands.
    const QList<CanvasCard *> cards = m_library.cards();
    for (Connection *connection : m_library.connectionsOfNote(boardID))
        context.remove(connection);
    // The note's own cards, found where the library keeps them by note,
    // not among every card.
    QList<CanvasCard *> purgedCards;
    for (qint32 at : m_library.cardPositionsOfNote(boardID)) {
        if (CanvasCard *card = cards.at(at); card->boardID() == boardID)
            purgedCards.append(card);
    }
    QList<QUuid> purged;
    for (CanvasCard *card : std::as_const(purgedCards)) {
        purged.append(card->id());
        context.remove(card);
    }
    const QString title = board->title();
    context.remove(board);
    if (!saveOrUndo(scope))
        return;
    removeIndexEntries(purged);
    // Snips filed from it into other notes still name it in their entries:
    // its title would stay in the index, and show in the desktop's results.
    // The index tells which; only those cards' notes are looked up.
    if (!m_index)
        return;
    m_index->entriesNaming(title, this).then(this, [this](const Expected<QList<QUuid>, SearchIndexError> &naming) {
        if (!naming || naming->isEmpty())
            return;
        const QList<CanvasCard *> &cards = m_library.cards();
        QList<CanvasCard *> named;
        for (qint32 at : m_library.cardPositions(QSet<QUuid>(naming->cbegin(), naming->cend())))
            named.append(cards.at(at));
        (void)m_index->renameNotes(DesktopSearchIndexService::noteNaming(m_library.boards(), named), this);
    });
}

void TrashActions::deleteCardPermanently(const QUuid &cardID)
{
    CanvasCard *card = m_library.firstCard(cardID);
    if (!card)
        return;
    ModelContext &context = m_library.context();
    ModelChangeScope scope(context);
    const QList<Connection *> connections = m_library.connections();
    for (Connection *connection : connections) {
        if (connection->touchesCard(cardID))
            context.remove(connection);
    }
    context.remove(card);
    if (saveOrUndo(scope))
        removeIndexEntries({cardID});
}

void TrashActions::removeIndexEntries(const QList<QUuid> &cardIDs)
{
    if (!m_index || cardIDs.isEmpty())
        return;
    m_index->remove(cardIDs, this).then(this, [this, cardIDs](const DesktopSearchIndexService::Outcome &) {
        for (const QUuid &cardID : cardIDs)
            Q_EMIT indexEntryRemoved(cardID);
    });
}

void TrashActions::openSearchResult(const QUuid &boardID, const QUuid &cardID)
{
    const CanvasCard *card = m_library.firstCard(cardID);
    if (card && card->kind() == CardKind::snip) {
        m_navigation.setGalleryCardID(cardID);
        return;
    }
    m_navigation.setDestination(SidebarDestination::listing(m_library.firstBoard(boardID)));
    m_navigation.setActiveBoardID(boardID);
    m_navigation.setSelectedCardIDs({cardID});
    m_navigation.setFocusedCardID(cardID);
}

} // namespace tessaline
