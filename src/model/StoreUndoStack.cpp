#include "model/StoreUndoStack.h"

#include "model/ModelContext.h"
#include "model/StoreUndoCommand.h"

namespace tessaline {

StoreUndoStack::StoreUndoStack(QObject *parent)
    : QUndoStack(parent)
{
}

// The context cannot yet tell one operation's writes from other unsaved
// ones, so this takes back every unsaved change. This is the one place to
// narrow it once the context can.
void StoreUndoStack::OwnChanges::discard()
{
    m_context.rollback();
}

Expected<void, StoreError> StoreUndoStack::perform(StoreUndoStack *stack, std::unique_ptr<StoreUndoCommand> command,
                                                   const std::function<void()> &write)
{
    ModelContext *context = command->context();
    if (!context)
        return unexpected(StoreError{QStringLiteral("The library is no longer open.")});
    OwnChanges changes(*context);
    write();
    if (auto saved = context->save(); !saved) {
        changes.discard();
        return saved;
    }
    if (stack) {
        command->m_stack = stack;
        stack->push(command.release());
    }
    return {};
}

} // namespace tessaline
