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
    // A store holding one id twice uses the first.
    QHash<QUuid, CanvasCard *> byID;
    byID.reserve(m_snapshots.size());
    for (const CanvasCardLayoutSnapshot &snapshot : std::as_const(m_snapshots)) {
        const auto holding = context.fetchCards(snapshot.id);
        if (!holding)
            return unexpected(holding.error());
        byID.insert(snapshot.id, holding->value(0));
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
