#pragma once

#include "canvas/CanvasCardLayoutSnapshot.h"
#include "model/StoreUndoCommand.h"

namespace tessaline {

// The undo step of a layout edit: the cards' layouts from before the edit.
// Each run puts the held layouts back and keeps the ones it replaced, so undo
// and redo restore all seven fields exactly, as often as they alternate.
// Cards are found by id when the step runs; a card gone from the store
// since is skipped and the others are still restored.
class CardLayoutCommand : public StoreUndoCommand
{
public:
    CardLayoutCommand(ModelContext &context, QList<CanvasCardLayoutSnapshot> snapshots, const QString &actionName);

    const QList<CanvasCardLayoutSnapshot> &snapshots() const { return m_snapshots; }

protected:
    Expected<void, StoreError> exchange(ModelContext &context) override;

private:
    QList<CanvasCardLayoutSnapshot> m_snapshots;
};

} // namespace tessaline
