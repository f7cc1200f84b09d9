#pragma once

#include <QGraphicsScene>
#include <QHash>
#include <QMetaObject>
#include <QPixmap>
#include <QPointer>
#include <QUuid>

#include <optional>

class QGraphicsProxyWidget;

namespace tessaline {

class BoardMapModel;
class CardItem;
class CardPictures;
class Connection;
class ConnectionItem;

// The map of one open note as a scene: the dot grid in the background,
// one light item per connection, the empty-state card while nothing is
// placed, and the placed cards on top, newest highest. It follows the
// library: a card's item moves as soon as its stored frame changes, and
// cards and connections come and go after each save.
class BoardMapScene : public QGraphicsScene
{
    Q_OBJECT
public:
    BoardMapScene(BoardMapModel &model, CardPictures &pictures, QObject *parent = nullptr);
    ~BoardMapScene() override;

    BoardMapModel &model() const { return m_model; }
    CardPictures &pictures() const { return m_pictures; }

    CardItem *cardItem(const QUuid &cardID) const { return m_cards.value(cardID); }
    QList<CardItem *> cardItems() const;
    QList<ConnectionItem *> connectionItems() const;
    ConnectionItem *connectionItem(const QUuid &connectionID) const { return m_connections.value(connectionID); }
    QGraphicsProxyWidget *emptyStateItem() const { return m_emptyState; }

    // The widget shown while no card is placed; the scene owns it.
    void setEmptyStateWidget(QWidget *widget);
    // The card the guided tour points at, if any.
    void setTourPreviewCardID(const std::optional<QUuid> &cardID);

    // Reads the note's placed cards and connections again.
    void sync();

    // From the card items.
    void cardShownFrameChanged(const CardItem &item);
    void requestContextMenu(const CardItem &item, const QPoint &screenPos);
    void cardFocusChanged(CardItem *item);
    // A card moved, faded or changed what shows past its frame: which cards
    // lie hidden under others is worked out again before the next frame.
    void cardStackingChanged(const CardItem &item);

Q_SIGNALS:
    void cardContextMenuRequested(const QUuid &cardID, const QPoint &screenPos);
    // The card with keyboard focus, or none.
    void focusedCardChanged(const std::optional<QUuid> &cardID);

protected:
    bool event(QEvent *event) override;
    bool focusNextPrevChild(bool next) override;
    void drawBackground(QPainter *painter, const QRectF &rect) override;
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;
    void dragEnterEvent(QGraphicsSceneDragDropEvent *event) override;
    void dragMoveEvent(QGraphicsSceneDragDropEvent *event) override;
    void dropEvent(QGraphicsSceneDragDropEvent *event) override;

private:
    void redrawCards();
    void scheduleSync();
    void cardChanged(const QUuid &cardID, int property);
    void connectionChanged(const Connection &connection, int property);
    void updateConnectionsOf(const QUuid &cardID);
    void updateSelection();
    void refreshVisibleTimes();
    void placeEmptyState();
    // Over the whole map, or only for the cards that meet `within`.
    void updateCoveredCards(const std::optional<QRectF> &within);

    BoardMapModel &m_model;
    CardPictures &m_pictures;
    QHash<QUuid, CardItem *> m_cards;
    // The cards bottom to top, as they are drawn.
    QList<CardItem *> m_stack;
    bool m_coveredCardsPending = false;
    // Where cards changed since the last pass, before and after.
    QRectF m_stackingChangedArea;
    QHash<QUuid, QMetaObject::Connection> m_cardWatches;
    QHash<QUuid, ConnectionItem *> m_connections;
    QHash<QUuid, QMetaObject::Connection> m_connectionWatches;
    // Each card's connections, so a moving card updates only its own.
    QMultiHash<QUuid, ConnectionItem *> m_connectionsByCard;
    QGraphicsProxyWidget *m_emptyState = nullptr;
    std::optional<QUuid> m_tourPreviewCardID;
    bool m_syncPending = false;
    bool m_hasSynced = false;
    // One dot of the grid, tiled over the exposed area.
    QPixmap m_gridTile;
    QColor m_gridTileColor;
};

} // namespace tessaline
