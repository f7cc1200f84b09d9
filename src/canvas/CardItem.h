#pragma once

#include "canvas/CardPresentation.h"

#include <QGraphicsItem>
#include <QMetaObject>
#include <QPointer>
#include <QTextDocument>
#include <QUuid>

#include <memory>
#include <optional>

class QVariantAnimation;

namespace tessaline {

class AnimatedAmount;
class BoardMapScene;
class CanvasCard;

// One placed card on the map. It draws the card (header, picture or text)
// and turns clicks, drags, keys and its context menu into requests to the
// map's model; it never writes the card itself. While it is dragged it is
// shown displaced and its connections follow; the card's stored place
// changes only when the drag ends.
class CardItem : public QGraphicsItem
{
public:
    static constexpr qreal headerHeight = 32;
    static constexpr qreal handleSize = 22;
    static constexpr qreal handlePadding = 6;

    CardItem(CanvasCard &card, BoardMapScene &scene);
    ~CardItem() override;

    CanvasCard *card() const { return m_card; }
    QUuid cardID() const { return m_cardID; }
    // The card's stored frame on the map.
    QRectF storedFrame() const;
    // Where the card is shown now: its stored frame, displaced while dragged.
    QRectF shownFrame() const;
    bool isDragging() const { return m_dragging; }
    bool isCardSelected() const { return m_selected; }

    void setCardSelected(bool selected);
    // The guided tour points at this card: its ring fades in.
    void setTourHighlighted(bool highlighted);
    bool isTourHighlighted() const;
    // A card just placed on the map grows in from a little smaller while it
    // fades in.
    void appear();
    // The card's frame or look changed.
    void syncGeometry();
    void syncLook();

    // The pointer's hit area of the resize handle, in item coordinates.
    QRectF handleRect() const;
    // Where the mark of a grouped card lies; empty on other cards.
    QRectF groupMarkRect() const;
    // The tooltip for the pointer at `position` (item coordinates): the
    // resize handle's and the group mark's own, else the card's.
    QString toolTipAt(const QPointF &position) const;
    // A dropped card eases from where it was let go to its stored place.
    bool isSettling() const;

    // Where the card is painted now, in scene coordinates: its shown
    // frame, a little smaller while it grows in.
    QRectF paintedFrame() const;
    // Whether it hides the cards wholly under it: at rest, at full opacity
    // (its fill, the palette's base colour, opaque too).
    bool hidesCardsUnder() const;
    // Whether nothing of it shows past its frame, so a card above can hide
    // it whole.
    bool canBeCovered() const;
    // Lying wholly under an opaque card, it is not painted at all (and asks
    // for no picture); it still takes part in selection, focus, its
    // connections and the map's accessibility.
    // `frame` is the painted frame the answer was worked out for.
    void setCovered(bool covered, const QRectF &frame);
    bool isCovered() const { return m_covered; }
    QRectF stackedFrame() const { return m_stackedFrame; }

    QRectF boundingRect() const override;
    QPainterPath shape() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

    // Keyboard moves and resizes, as the arrow keys ask for them.
    bool handleKey(int key, Qt::KeyboardModifiers modifiers);

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseDoubleClickEvent(QGraphicsSceneMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QGraphicsSceneContextMenuEvent *event) override;
    void hoverEnterEvent(QGraphicsSceneHoverEvent *event) override;
    void hoverLeaveEvent(QGraphicsSceneHoverEvent *event) override;
    void hoverMoveEvent(QGraphicsSceneHoverEvent *event) override;
    void wheelEvent(QGraphicsSceneWheelEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    enum class Press { none, card, handle };

    QuietCardElevation elevation() const;
    // Worked out when first needed: it reads the card's texts from the
    // store, which a card under a pile never needs.
    const CardPresentation &presentation() const;
    void setDragOffset(const QPointF &offset);
    // Shown displaced by `offset`, easing back to the stored place.
    void settleFrom(const QPointF &offset);
    // How far the age text and the group mark reach in from the right.
    qreal ageWidth() const;
    void paintHeader(QPainter *painter, const QRectF &rect, const QPalette &palette, bool contrast);
    void paintSnipBody(QPainter *painter, const QRectF &rect, const QPalette &palette, bool contrast);
    void paintThoughtBody(QPainter *painter, const QRectF &rect, const QPalette &palette, bool contrast);
    void paintHandle(QPainter *painter, const QPalette &palette, bool contrast);
    QTextDocument &thoughtBody(qreal width);
    qreal bodyOverflow() const;

    BoardMapScene &m_scene;
    QPointer<CanvasCard> m_card;
    QUuid m_cardID;
    QSizeF m_size;
    mutable std::optional<CardPresentation> m_presentation;
    bool m_selected = false;
    bool m_hovered = false;
    std::unique_ptr<AnimatedAmount> m_tourRing;
    std::unique_ptr<AnimatedAmount> m_appearance;
    Press m_press = Press::none;
    QPointF m_pressScenePos;
    QPointF m_dragOffset;
    bool m_dragging = false;
    std::unique_ptr<QVariantAnimation> m_settle;
    std::unique_ptr<QTextDocument> m_body;
    QString m_bodyText;
    qreal m_bodyScroll = 0;
    bool m_covered = false;
    QRectF m_stackedFrame;
};

} // namespace tessaline
