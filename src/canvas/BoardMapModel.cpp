#include "canvas/BoardMapModel.h"

#include "canvas/MapPlacement.h"
#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/Connection.h"
#include "model/FetchedList.h"
#include "model/ModelContext.h"
#include "model/ThinkingSessionService.h"
#include "platform/UuidText.h"
#include "runtime/KeptChanges.h"
#include "runtime/NavigationState.h"

#include <QMetaObject>

#include <algorithm>

namespace tessaline {

namespace {

QDateTime moment(const CanvasCard *card)
{
    return card->capturedAt().value_or(card->createdAt());
}

} // namespace

BoardMapModel::BoardMapModel(ModelContext &context, NavigationState &navigation, const QUuid &boardID,
                             StoreUndoStack *undoStack, Clock now, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_navigation(navigation)
    , m_boardID(boardID)
    , m_editor(context, undoStack, now)
    , m_now(now ? std::move(now) : Clock([] { return QDateTime::currentDateTimeUtc(); }))
{
    connect(&context, &ModelContext::didSave, this, &BoardMapModel::scheduleCardsChanged);
    connect(&context, &ModelContext::entityWritten, this, [this](PersistentEntity *entity, int property) {
        if ((property == CanvasCard::BoardIDProperty || property == CanvasCard::DeletedAtProperty
             || property == CanvasCard::IdProperty)
            && qobject_cast<CanvasCard *>(entity))
            m_boardCards.reset();
    });
    connect(&context, &ModelContext::writesTakenBack, this, [this] { m_boardCards.reset(); });
    connect(&navigation, &NavigationState::selectedCardIDsChanged, this, &BoardMapModel::selectionChanged);
}

void BoardMapModel::scheduleCardsChanged()
{
    if (std::exchange(m_cardsChangePending, true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_cardsChangePending = false;
            Q_EMIT cardsChanged();
        },
        Qt::QueuedConnection);
}

Board *BoardMapModel::board() const
{
    const auto boards = m_context.fetchBoards();
    if (!boards)
        return nullptr;
    for (Board *board : *boards) {
        if (board->id() == m_boardID && board->isLive())
            return board;
    }
    return nullptr;
}

QList<CanvasCard *> BoardMapModel::boardCards() const
{
    const auto all = m_context.fetchCards();
    if (!all)
        return {};
    // Asked for several times per change (the placed cards, the content's
    // size, the tray, the spoken list): a walk over a large library's cards
    // for each cost milliseconds. A list that only grew adds its new cards.
    const bool grew = m_boardCards && extendsFetched(*all, m_boardCardsFrom);
    if (!grew) {
        m_boardCards.emplace();
        m_boardCardsFrom.clear();
    }
    walkCards(*all, m_boardCardsFrom.size(), [this](qsizetype, CanvasCard *card) {
        if (card->boardID() == m_boardID && card->isLive())
            m_boardCards->append(card);
    });
    m_boardCardsFrom = *all;
    return *m_boardCards;
}

QList<CanvasCard *> BoardMapModel::placedCards() const
{
    QList<CanvasCard *> placed = boardCards();
    placed.removeIf([](const CanvasCard *card) { return !card->isPlaced(); });
    std::stable_sort(placed.begin(), placed.end(),
                     [](const CanvasCard *a, const CanvasCard *b) { return a->createdAt() < b->createdAt(); });
    return placed;
}

QList<CanvasCard *> BoardMapModel::trayCards() const
{
    QList<CanvasCard *> tray = boardCards();
    tray.removeIf([](const CanvasCard *card) { return !card->isSnip() || card->isPlaced(); });
    std::stable_sort(tray.begin(), tray.end(),
                     [](const CanvasCard *a, const CanvasCard *b) { return moment(a) > moment(b); });
    return tray;
}

QList<Connection *> BoardMapModel::boardConnections() const
{
    QList<Connection *> connections;
    const auto all = m_context.fetchConnections();
    if (!all)
        return connections;
    for (Connection *connection : *all) {
        if (connection->boardID() == m_boardID && connection->isLive())
            connections.append(connection);
    }
    return connections;
}

QSizeF BoardMapModel::contentSize() const
{
    return MapPlacement::contentSize(placedCards());
}

CanvasCard *BoardMapModel::card(const QUuid &id) const
{
    const auto holding = m_context.fetchCards(id);
    if (!holding)
        return nullptr;
    for (CanvasCard *card : *holding) {
        if (card->boardID() == m_boardID && card->isLive())
            return card;
    }
    return nullptr;
}

bool BoardMapModel::isSelected(const QUuid &cardID) const
{
    return m_navigation.selectedCardIDs().contains(cardID);
}

QList<CanvasCard *> BoardMapModel::selectedCards() const
{
    const QSet<QUuid> selected = m_navigation.selectedCardIDs();
    QList<CanvasCard *> cards;
    if (selected.isEmpty())
        return cards;
    for (CanvasCard *card : boardCards()) {
        if (selected.contains(card->id()))
            cards.append(card);
    }
    return cards;
}

qsizetype BoardMapModel::selectedCount() const
{
    return m_navigation.selectedCardIDs().size();
}

void BoardMapModel::selectCard(const CanvasCard &card, bool additive)
{
    m_navigation.select(card.id(), additive);
}

void BoardMapModel::clearSelection()
{
    m_navigation.clearSelection();
}

void BoardMapModel::report(const Expected<void, StoreError> &result)
{
    if (!result)
        setOperationError(result.error().message);
}

void BoardMapModel::placeCard(CanvasCard &card, const QPointF &origin)
{
    report(m_editor.placeCard(card, origin.x(), origin.y()));
}

void BoardMapModel::placeInNextSlot(CanvasCard &card)
{
    placeCard(card, MapPlacement::gridSlot(placedCards().size()));
}

bool BoardMapModel::handleMapDrop(const QStringList &items, const QPointF &location)
{
    if (items.isEmpty())
        return false;
    const std::optional<QUuid> id = parseUuid(items.constFirst());
    if (!id)
        return false;
    CanvasCard *dropped = card(*id);
    if (!dropped)
        return false;
    placeCard(*dropped, MapPlacement::dropOrigin(location));
    return true;
}

void BoardMapModel::moveCard(CanvasCard &card, const QPointF &origin)
{
    report(m_editor.moveCard(card, origin.x(), origin.y()));
}

void BoardMapModel::resizeCard(CanvasCard &card, const QSizeF &size)
{
    report(m_editor.resizeCard(card, size.width(), size.height()));
}

void BoardMapModel::returnCardToTray(CanvasCard &card)
{
    report(m_editor.returnCardToTray(card));
}

void BoardMapModel::groupSelectedCards()
{
    const QList<CanvasCard *> cards = selectedCards();
    if (cards.isEmpty())
        return;
    report(m_editor.groupCards(cards, QUuid::createUuid()));
}

void BoardMapModel::openCard(const CanvasCard &card)
{
    if (card.kind() == CardKind::snip)
        m_navigation.setGalleryCardID(card.id());
    else
        m_navigation.setFocusedCardID(card.id());
}

void BoardMapModel::annotateCard(const CanvasCard &card)
{
    m_navigation.setCaptureReviewCardID(card.id());
}

void BoardMapModel::setCardThoughtKind(CanvasCard &card, ThoughtKind kind)
{
    card.setThoughtKindRawValue(rawValue(kind));
    card.setUpdatedAt(m_now());
    // Not undoable, so not taken back either: a kind change the library will
    // not take now stays in memory for the next save, and is reported.
    if (const auto saved = saveKeepingChanges(m_context); !saved)
        setOperationError(saved.error());
}

void BoardMapModel::trashCard(CanvasCard &card)
{
    ThinkingSessionService service(m_context);
    const auto trashed = service.moveCardToTrash(&card, m_now());
    if (!trashed) {
        setOperationError(trashed.error().message);
        return;
    }
    QSet<QUuid> selected = m_navigation.selectedCardIDs();
    if (selected.remove(card.id()))
        m_navigation.setSelectedCardIDs(selected);
}

void BoardMapModel::setAssistantAvailable(bool available)
{
    if (m_assistantAvailable == available)
        return;
    m_assistantAvailable = available;
    Q_EMIT assistantAvailableChanged();
}

QSet<StudioSelectionAction> BoardMapModel::disabledSelectionActions() const
{
    return tessaline::disabledSelectionActions(selectedCards(), m_assistantAvailable);
}

void BoardMapModel::handleSelectionAction(StudioSelectionAction action)
{
    const QList<CanvasCard *> cards = selectedCards();
    switch (action) {
    case StudioSelectionAction::annotate:
        m_navigation.setCaptureReviewCardID(cards.isEmpty() ? std::nullopt : std::optional(cards.first()->id()));
        break;
    case StudioSelectionAction::connect:
        if (cards.size() == 2)
            Q_EMIT connectRequested(cards[0]->id(), cards[1]->id());
        break;
    case StudioSelectionAction::ask: {
        if (!m_assistantAvailable)
            break;
        // The window shows the assistant while this request is set.
        AskSuggestionRequest request{m_boardID, {}};
        for (const CanvasCard *card : cards)
            request.sourceCardIDs.append(card->id());
        m_navigation.setAskSuggestion(request);
        break;
    }
    case StudioSelectionAction::group:
        groupSelectedCards();
        break;
    case StudioSelectionAction::more:
        m_navigation.setInspectorPresented(true);
        break;
    }
}

QString BoardMapModel::emptyStateMessage() const
{
    return offersPlaceLatest() ? QStringLiteral("Drag a snip from the tray, or place the newest one now.")
                               : QStringLiteral("Add a thought or capture something worth keeping.");
}

bool BoardMapModel::offersPlaceLatest() const
{
    return !trayCards().isEmpty();
}

void BoardMapModel::placeLatest()
{
    const QList<CanvasCard *> tray = trayCards();
    if (!tray.isEmpty())
        placeInNextSlot(*tray.constFirst());
}

void BoardMapModel::setOperationError(const std::optional<QString> &message)
{
    if (m_operationError == message)
        return;
    m_operationError = message;
    Q_EMIT operationErrorChanged();
}

QString BoardMapModel::trayTileTooltip(const CanvasCard &card)
{
    return QStringLiteral("Place ") + card.displayTitle() + QStringLiteral(" on Canvas");
}

} // namespace tessaline
