#include "model/StoreUndoStack.h"

#include "model/ModelChangeScope.h"
#include "model/ModelContext.h"
#include "model/StoreUndoCommand.h"

namespace tessaline {

StoreUndoStack::StoreUndoStack(QObject *parent)
    : QUndoStack(parent)
{
}

// A failed save takes back this edit's own writes alone (the scope records
// them), so other unsaved changes stay, and nothing is pushed to undo.
Expected<void, StoreError> StoreUndoStack::perform(StoreUndoStack *stack, std::unique_ptr<StoreUndoCommand> command,
                                                   const std::function<void()> &write)
{
    ModelContext *context = command->context();
    if (!context)
        return unexpected(StoreError{QStringLiteral("The library is no longer open.")});
    ModelChangeScope changes(*context);
    write();
    if (auto saved = changes.saveOrUndo(); !saved)
        return saved;
    if (stack) {
        command->m_stack = stack;
        stack->push(command.release());
    }
    return {};
}

} // namespace tessaline
