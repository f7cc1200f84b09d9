#include "model/StoreUndoStack.h"

#include "model/ModelChangeScope.h"
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
