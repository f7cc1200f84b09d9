#include "model/StoreUndoCommand.h"

#include "model/ModelChangeScope.h"
#include "model/ModelContext.h"
#include "model/StoreUndoStack.h"

namespace tessaline {

StoreUndoCommand::StoreUndoCommand(ModelContext &context, const QString &actionName)
    : QUndoCommand(actionName)
    , m_context(&context)
{
}

void StoreUndoCommand::undo()
{
    run();
}

void StoreUndoCommand::redo()
{
    if (std::exchange(m_pendingFirstRedo, false))
        return;
    run();
}

void StoreUndoCommand::run()
{
    // An obsolete command is removed by the stack once this returns.
    if (!m_context) {
        setObsolete(true);
        return;
    }
    ModelChangeScope changes(*m_context);
    auto exchanged = exchange(*m_context);
    if (exchanged) {
        auto saved = changes.saveOrUndo();
        if (saved)
            return;
        exchanged = saved;
    } else {
        changes.undo();
    }
    setObsolete(true);
    if (m_stack)
        Q_EMIT m_stack->failed(exchanged.error().message);
}

} // namespace tessaline
