#include "model/ModelChangeScope.h"

#include "model/ModelContext.h"

namespace tessaline {

ModelChangeScope::ModelChangeScope(ModelContext &context)
    : m_context(&context)
{
    context.m_scopes.append(this);
}

ModelChangeScope::~ModelChangeScope()
{
    if (m_context)
        m_context->m_scopes.removeOne(this);
}

bool ModelChangeScope::hasChanges() const
{
    return !m_snapshots.isEmpty() || !m_steps.isEmpty();
}

void ModelChangeScope::recordWrite(PersistentEntity *entity, std::any state, bool changed, bool listed)
{
    if (m_snapshots.contains(entity))
        return;
    m_snapshots.insert(entity, Snapshot{std::move(state), changed, listed});
}

void ModelChangeScope::recordStep(const Step &step)
{
    m_steps.append(step);
}

void ModelChangeScope::forget()
{
    m_snapshots.clear();
    m_steps.clear();
}

void ModelChangeScope::forgetAllBut(const QSet<PersistentEntity *> &kept)
{
    m_snapshots.removeIf([&](const auto &entry) { return !kept.contains(entry.key()); });
    m_steps.removeIf([&](const Step &step) { return !kept.contains(step.entity); });
}

void ModelChangeScope::undo()
{
    if (!m_context || !hasChanges())
        return;
    // Taken out first: putting entities back writes to them, and those
    // writes must not be recorded as new changes of this scope.
    const QList<Step> steps = std::exchange(m_steps, {});
    const QHash<PersistentEntity *, Snapshot> snapshots = std::exchange(m_snapshots, {});
    m_context->undo(steps, snapshots);
}

Expected<void, StoreError> ModelChangeScope::saveOrUndo(SaveDurability durability)
{
    if (!m_context)
        return unexpected(StoreError{QStringLiteral("The library is no longer open.")});
    const bool hadChanges = hasChanges();
    auto saved = m_context->save(durability);
    if (!saved) {
        // Everything this operation changed was stored; what the store
        // refused belonged to someone else.
        if (hadChanges && !hasChanges())
            return {};
        undo();
    }
    return saved;
}

} // namespace tessaline
