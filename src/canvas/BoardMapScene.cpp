#include "canvas/BoardMapScene.h"

#include "canvas/BoardMapModel.h"
#include "canvas/CardItem.h"
#include "canvas/CardOcclusion.h"
#include "canvas/CardPictures.h"
#include "canvas/ConnectionGeometry.h"
#include "canvas/ConnectionItem.h"
#include "canvas/MinuteTicker.h"
#include "design/DesignEnvironment.h"
#include "design/SemanticColors.h"
#include "model/CanvasCard.h"
#include "model/Connection.h"
#include "platform/AccessibilitySettings.h"

#include <QApplication>
#include <QGraphicsProxyWidget>
#include <QGraphicsSceneDragDropEvent>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QMimeData>
#include <QPainter>

#include <cmath>

namespace tessaline {

namespace {

constexpr qreal connectionLayer = 0;
constexpr qreal emptyStateLayer = 1;
// Cards from here up, one step per card in their drawing order.
constexpr qreal firstCardLayer = 2;

QStringList droppedItems(const QMimeData *mime)
{
    if (!mime || !mime->hasText())
        return {};
    return mime->text().split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

BoardMapScene::BoardMapScene(BoardMapModel &model, CardPictures &pictures, QObject *parent)
    : QGraphicsScene(parent)
    , m_model(model)
    , m_pictures(pictures)
{
    // Most of the map holds still: the default index finds the few items
    // under an exposed area quickly.
    setItemIndexMethod(BspTreeIndex);
    connect(&model, &BoardMapModel::cardsChanged, this, &BoardMapScene::sync);
    connect(&model, &BoardMapModel::selectionChanged, this, &BoardMapScene::updateSelection);
    connect(&AccessibilitySettings::shared(), &AccessibilitySettings::changed, this, &BoardMapScene::redrawCards);
    connect(&pictures, &CardPictures::pictureReady, this, [this](const QUuid &cardID) {
        if (CardItem *item = m_cards.value(cardID))
            item->update();
    });
    connect(&MinuteTicker::shared(), &MinuteTicker::ticked, this, &BoardMapScene::refreshVisibleTimes);
    sync();
}

BoardMapScene::~BoardMapScene()
{
    for (const QMetaObject::Connection &watch : std::as_const(m_cardWatches))
        disconnect(watch);
    for (const QMetaObject::Connection &watch : std::as_const(m_connectionWatches))
        disconnect(watch);
}

QList<CardItem *> BoardMapScene::cardItems() const
{
    return m_cards.values();
}

QList<ConnectionItem *> BoardMapScene::connectionItems() const
{
    return m_connections.values();
}

void BoardMapScene::setEmptyStateWidget(QWidget *widget)
{
    if (m_emptyState) {
        removeItem(m_emptyState);
        delete m_emptyState;
        m_emptyState = nullptr;
    }
    if (!widget)
        return;
    m_emptyState = addWidget(widget);
    m_emptyState->setZValue(emptyStateLayer);
    placeEmptyState();
}

void BoardMapScene::placeEmptyState()
{
    if (!m_emptyState)
        return;
    m_emptyState->setPos(42, 38);
    m_emptyState->setVisible(m_cards.isEmpty());
}

void BoardMapScene::setTourPreviewCardID(const std::optional<QUuid> &cardID)
{
    if (m_tourPreviewCardID == cardID)
        return;
    if (m_tourPreviewCardID) {
        if (CardItem *item = m_cards.value(*m_tourPreviewCardID))
            item->setTourHighlighted(false);
    }
    m_tourPreviewCardID = cardID;
    if (cardID) {
        if (CardItem *item = m_cards.value(*cardID))
            item->setTourHighlighted(true);
    }
}

void BoardMapScene::scheduleSync()
{
    if (std::exchange(m_syncPending, true))
        return;
    QMetaObject::invokeMethod(this, &BoardMapScene::sync, Qt::QueuedConnection);
}

void BoardMapScene::sync()
{
    m_syncPending = false;
    const QList<CanvasCard *> placed = m_model.placedCards();

    // A library holding one id twice shows the first card with it.
    QHash<QUuid, CanvasCard *> wanted;
    wanted.reserve(placed.size());
    for (CanvasCard *card : placed)
        wanted.insert(card->id(), wanted.value(card->id(), card));

    for (auto it = m_cards.begin(); it != m_cards.end();) {
        CanvasCard *card = wanted.value(it.key());
        if (card && card == (*it)->card()) {
            ++it;
            continue;
        }
        disconnect(m_cardWatches.take(it.key()));
        if ((*it)->hasFocus())
            Q_EMIT focusedCardChanged(std::nullopt);
        delete *it;
        it = m_cards.erase(it);
    }
    qreal layer = firstCardLayer;
    m_stack.clear();
    m_stack.reserve(m_cards.size() + placed.size());
    for (CanvasCard *card : placed) {
        if (wanted.value(card->id()) != card)
            continue;
        CardItem *item = m_cards.value(card->id());
        if (!item) {
            item = new CardItem(*card, *this);
            addItem(item);
            m_cards.insert(card->id(), item);
            const QUuid id = card->id();
            m_cardWatches.insert(id, connect(card, &CanvasCard::changed, this,
                                             [this, id](int property) { cardChanged(id, property); }));
            item->setCardSelected(m_model.isSelected(id));
            item->setTourHighlighted(m_tourPreviewCardID == id);
            // The cards there when the map opens are simply there; a card
            // placed later comes in.
            if (m_hasSynced)
                item->appear();
        } else {
            item->syncGeometry();
        }
        item->setZValue(layer);
        layer += 1;
        m_stack.append(item);
    }
    updateCoveredCards(std::nullopt);

    QSet<QUuid> liveConnections;
    for (Connection *connection : m_model.boardConnections()) {
        const CardItem *source = m_cards.value(connection->sourceCardID());
        const CardItem *destination = m_cards.value(connection->destinationCardID());
        if (!source || !destination || liveConnections.contains(connection->id()))
            continue;
        liveConnections.insert(connection->id());
        if (ConnectionItem *item = m_connections.value(connection->id())) {
            item->setEnds(source->shownFrame(), destination->shownFrame());
            item->setLabel(connection->label());
            continue;
        }
        auto *item = new ConnectionItem(*connection, source->shownFrame(), destination->shownFrame());
        item->setZValue(connectionLayer);
        addItem(item);
        m_connections.insert(connection->id(), item);
        m_connectionsByCard.insert(item->sourceCardID(), item);
        if (item->destinationCardID() != item->sourceCardID())
            m_connectionsByCard.insert(item->destinationCardID(), item);
        m_connectionWatches.insert(connection->id(),
                                   connect(connection, &Connection::changed, this, [this, connection](int property) {
                                       connectionChanged(*connection, property);
                                   }));
    }
    for (auto it = m_connections.begin(); it != m_connections.end();) {
        if (liveConnections.contains(it.key())) {
            ++it;
            continue;
        }
        ConnectionItem *item = *it;
        m_connectionsByCard.remove(item->sourceCardID(), item);
        m_connectionsByCard.remove(item->destinationCardID(), item);
        disconnect(m_connectionWatches.take(it.key()));
        delete item;
        it = m_connections.erase(it);
    }

    const QSizeF size = m_model.contentSize();
    setSceneRect(QRectF(QPointF(), size));
    placeEmptyState();
    m_hasSynced = true;
}

void BoardMapScene::cardChanged(const QUuid &cardID, int property)
{
    CardItem *item = m_cards.value(cardID);
    if (!item)
        return;
    switch (property) {
    case CanvasCard::CanvasXProperty:
    case CanvasCard::CanvasYProperty:
    case CanvasCard::CanvasWidthProperty:
    case CanvasCard::CanvasHeightProperty:
        item->syncGeometry();
        updateConnectionsOf(cardID);
        cardStackingChanged(*item);
        {
            const QRectF frame = item->storedFrame();
            const QRectF map = sceneRect();
            if (frame.right() + 240 > map.width() || frame.bottom() + 240 > map.height())
                scheduleSync();
        }
        break;
    case CanvasCard::IsPlacedProperty:
    case CanvasCard::DeletedAtProperty:
    case CanvasCard::BoardIDProperty:
    case CanvasCard::CreatedAtProperty:
    case CanvasCard::IdProperty:
        scheduleSync();
        break;
    case CanvasCard::UpdatedAtProperty:
        break;
    default:
        item->syncLook();
        break;
    }
}

void BoardMapScene::connectionChanged(const Connection &connection, int property)
{
    ConnectionItem *item = m_connections.value(connection.id());
    if (!item)
        return;
    if (property == Connection::LabelProperty)
        item->setLabel(connection.label());
    else if (property != Connection::UpdatedAtProperty)
        scheduleSync();
}

void BoardMapScene::updateConnectionsOf(const QUuid &cardID)
{
    const auto items = m_connectionsByCard.values(cardID);
    for (ConnectionItem *item : items) {
        const CardItem *source = m_cards.value(item->sourceCardID());
        const CardItem *destination = m_cards.value(item->destinationCardID());
        if (source && destination)
            item->setEnds(source->shownFrame(), destination->shownFrame());
    }
}

void BoardMapScene::cardShownFrameChanged(const CardItem &item)
{
    updateConnectionsOf(item.cardID());
    cardStackingChanged(item);
}

void BoardMapScene::cardStackingChanged(const CardItem &item)
{
    // Only cards under where it was or is now can change: a card that
    // covers another meets whatever meets the one it covers.
    m_stackingChangedArea |= item.stackedFrame() | item.paintedFrame();
    if (std::exchange(m_coveredCardsPending, true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_coveredCardsPending)
                updateCoveredCards(m_stackingChangedArea);
        },
        Qt::QueuedConnection);
}

void BoardMapScene::updateCoveredCards(const std::optional<QRectF> &within)
{
    m_coveredCardsPending = false;
    m_stackingChangedArea = QRectF();
    // Cards are filled with the base colour: a translucent one hides nothing.
    const bool opaqueFill = QApplication::palette().color(QPalette::Base).alpha() == 255;
    QList<CardItem *> items;
    QList<StackedCard> stack;
    items.reserve(m_stack.size());
    stack.reserve(m_stack.size());
    for (CardItem *item : std::as_const(m_stack)) {
        const QRectF frame = item->paintedFrame();
        if (within && !within->intersects(frame))
            continue;
        items.append(item);
        stack.append({frame, opaqueFill && item->hidesCardsUnder(), item->canBeCovered()});
    }
    const QList<bool> covered = hiddenCards(stack);
    for (qsizetype i = 0; i < items.size(); ++i)
        items.at(i)->setCovered(covered.at(i), stack.at(i).frame);
}

void BoardMapScene::requestContextMenu(const CardItem &item, const QPoint &screenPos)
{
    Q_EMIT cardContextMenuRequested(item.cardID(), screenPos);
}

void BoardMapScene::cardFocusChanged(CardItem *item)
{
    Q_EMIT focusedCardChanged(item ? std::optional(item->cardID()) : std::nullopt);
}

void BoardMapScene::updateSelection()
{
    for (CardItem *item : std::as_const(m_cards))
        item->setCardSelected(m_model.isSelected(item->cardID()));
}

void BoardMapScene::refreshVisibleTimes()
{
    for (const QGraphicsView *view : views()) {
        const QRectF visible = view->mapToScene(view->viewport()->rect()).boundingRect();
        for (QGraphicsItem *item : items(visible)) {
            if (auto *card = dynamic_cast<CardItem *>(item))
                card->update(QRectF(0, 0, card->storedFrame().width(), CardItem::headerHeight));
        }
    }
}

bool BoardMapScene::event(QEvent *event)
{
    const bool handled = QGraphicsScene::event(event);
    if (event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::PaletteChange)
        redrawCards();
    return handled;
}

// Cards are plain items, which the scene's own Tab does not go through: it
// only gives focus back to the card that last had it, or to none, and leaves
// the map at the next press. Tab takes them here in their drawing order,
// oldest first, and leaves the map past the last one.
bool BoardMapScene::focusNextPrevChild(bool next)
{
    QList<CardItem *> cards;
    for (CardItem *item : std::as_const(m_stack)) {
        if (m_cards.value(item->cardID()) == item && item->isVisible())
            cards.append(item);
    }
    if (cards.isEmpty())
        return QGraphicsScene::focusNextPrevChild(next);
    const qsizetype current = cards.indexOf(focusItem());
    const qsizetype target = current < 0 ? (next ? 0 : cards.size() - 1) : current + (next ? 1 : -1);
    if (target < 0 || target >= cards.size())
        return false;
    setFocusItem(cards.at(target), next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    for (QGraphicsView *view : views())
        view->ensureVisible(cards.at(target));
    return true;
}

// Cards keep their last drawing in a cache that a repaint of the map alone
// shows again: in the colours of the appearance it was drawn in, after the
// desktop turned dark or contrast went up.
void BoardMapScene::redrawCards()
{
    for (CardItem *item : std::as_const(m_cards))
        item->update();
}

void BoardMapScene::drawBackground(QPainter *painter, const QRectF &rect)
{
    // A frame drawn at once after a change (before the queued pass ran)
    // leaves out exactly the cards covered now.
    if (m_coveredCardsPending)
        updateCoveredCards(m_stackingChangedArea);
    const QPalette palette = QApplication::palette();
    const bool contrast = DesignEnvironment::current().increasedContrast;
    painter->fillRect(rect, semanticColor(SemanticColor::windowBackground, palette, contrast));
    const QRectF dotted = CanvasGrid::dottedArea(sceneRect().size(), rect);
    if (dotted.isEmpty())
        return;
    const QColor dot = withOpacity(semanticColor(SemanticColor::secondary, palette, contrast), 0.1);
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    if (m_gridTile.isNull() || m_gridTileColor != dot || !qFuzzyCompare(m_gridTile.devicePixelRatio(), ratio)) {
        const int side = int(std::ceil(CanvasGrid::spacing * ratio));
        m_gridTile = QPixmap(side, side);
        m_gridTile.setDevicePixelRatio(ratio);
        m_gridTile.fill(Qt::transparent);
        QPainter tile(&m_gridTile);
        tile.setRenderHint(QPainter::Antialiasing);
        tile.setPen(Qt::NoPen);
        tile.setBrush(dot);
        tile.drawEllipse(QRectF(0, 0, CanvasGrid::dotSize, CanvasGrid::dotSize));
        m_gridTileColor = dot;
    }
    painter->save();
    painter->setBrushOrigin(0, 0);
    painter->fillRect(dotted, QBrush(m_gridTile));
    painter->restore();
}

void BoardMapScene::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    QGraphicsScene::mousePressEvent(event);
    // A click on the map itself, not on a card, ends the selection.
    if (event->button() == Qt::LeftButton && !mouseGrabberItem() && !itemAt(event->scenePos(), QTransform())) {
        setFocusItem(nullptr);
        m_model.clearSelection();
    }
}

void BoardMapScene::dragEnterEvent(QGraphicsSceneDragDropEvent *event)
{
    event->setAccepted(!droppedItems(event->mimeData()).isEmpty());
}

void BoardMapScene::dragMoveEvent(QGraphicsSceneDragDropEvent *event)
{
    event->setAccepted(!droppedItems(event->mimeData()).isEmpty());
}

void BoardMapScene::dropEvent(QGraphicsSceneDragDropEvent *event)
{
    const bool placed = m_model.handleMapDrop(droppedItems(event->mimeData()), event->scenePos());
    event->setAccepted(placed);
    if (placed)
        event->setDropAction(Qt::CopyAction);
}

} // namespace tessaline
