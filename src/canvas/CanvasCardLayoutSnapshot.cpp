#include "canvas/CanvasCardLayoutSnapshot.h"

#include "model/CanvasCard.h"

#include <QSet>

namespace tessaline {

CanvasCardLayoutSnapshot layoutSnapshot(const CanvasCard &card)
{
    return {card.id(),       card.canvasX(),  card.canvasY(),  card.canvasWidth(),
            card.canvasHeight(), card.isPlaced(), card.groupID(), card.updatedAt()};
}

QList<CanvasCardLayoutSnapshot> layoutSnapshots(const QList<CanvasCard *> &cards)
{
    QList<CanvasCardLayoutSnapshot> snapshots;
    snapshots.reserve(cards.size());
    QSet<QUuid> seen;
    seen.reserve(cards.size());
    for (const CanvasCard *card : cards) {
        if (!card || seen.contains(card->id()))
            continue;
        seen.insert(card->id());
        snapshots.append(layoutSnapshot(*card));
    }
    return snapshots;
}

void applyLayoutSnapshot(const CanvasCardLayoutSnapshot &snapshot, CanvasCard &card)
{
    card.setCanvasX(snapshot.x);
    card.setCanvasY(snapshot.y);
    card.setCanvasWidth(snapshot.width);
    card.setCanvasHeight(snapshot.height);
    card.setIsPlaced(snapshot.isPlaced);
    card.setGroupID(snapshot.groupID);
    card.setUpdatedAt(snapshot.updatedAt);
}

} // namespace tessaline
