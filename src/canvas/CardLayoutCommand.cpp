#include "canvas/CardLayoutCommand.h"

#include "model/ModelContext.h"

#include <QHash>

namespace tessaline {

CardLayoutCommand::CardLayoutCommand(ModelContext &context, QList<CanvasCardLayoutSnapshot> snapshots,
                                     const QString &actionName)
    : StoreUndoCommand(context, actionName)
    , m_snapshots(std::move(snapshots))
{
}

Expected<void, StoreError> CardLayoutCommand::exchange(ModelContext &context)
{
    const auto cards = context.fetchCards();
    if (!cards)
        return unexpected(cards.error());

    // Only the named cards are indexed, so a step over a few cards stays
    // cheap in a large library. A store holding one id twice uses the first.
    QHash<QUuid, CanvasCard *> byID;
    byID.reserve(m_snapshots.size());
    for (const CanvasCardLayoutSnapshot &snapshot : std::as_const(m_snapshots))
        byID.insert(snapshot.id, nullptr);
    // The walk ends once every named card is found.
    qsizetype found = 0;
    for (CanvasCard *card : *cards) {
        const auto slot = byID.find(card->id());
        if (slot != byID.end() && !*slot) {
            *slot = card;
            if (++found == byID.size())
                break;
        }
    }

    QList<CanvasCardLayoutSnapshot> replaced;
    replaced.reserve(m_snapshots.size());
    for (const CanvasCardLayoutSnapshot &snapshot : std::as_const(m_snapshots)) {
        if (CanvasCard *card = byID.value(snapshot.id))
            replaced.append(layoutSnapshot(*card));
    }
    for (const CanvasCardLayoutSnapshot &snapshot : std::as_const(m_snapshots)) {
        if (CanvasCard *card = byID.value(snapshot.id))
            applyLayoutSnapshot(snapshot, *card);
    }
    m_snapshots = std::move(replaced);
    return {};
}

} // namespace tessaline
