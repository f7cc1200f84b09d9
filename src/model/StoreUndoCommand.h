#pragma once

#include "model/StoreError.h"
#include "platform/Expected.h"

#include <QPointer>
#include <QUndoCommand>

namespace tessaline {

class ModelContext;
class StoreUndoStack;

// One undoable edit of the library. The command holds the context (guarded,
// so a command that outlives its library does nothing) and whatever values
// it needs to swap back, and finds its entities by id each time it runs; it
// never holds an entity, a widget or a screen.
//
// Undo and redo are the same step: the command trades the values it holds
// for those the store holds now, so each run leaves it holding what the next
// run puts back. The stack saves after each trade and takes a failed one
// back.
class StoreUndoCommand : public QUndoCommand
{
public:
    StoreUndoCommand(ModelContext &context, const QString &actionName);

    ModelContext *context() const { return m_context; }

    void undo() final;
    void redo() final;

protected:
    // Writes the held values into the context's entities and keeps theirs in
    // their place. Does not save. A failure must leave the context as it was.
    virtual Expected<void, StoreError> exchange(ModelContext &context) = 0;

private:
    friend class StoreUndoStack;
    void run();

    QPointer<ModelContext> m_context;
    StoreUndoStack *m_stack = nullptr;
    // The first redo comes from the push, after the edit itself was saved.
    bool m_pendingFirstRedo = true;
};

} // namespace tessaline
