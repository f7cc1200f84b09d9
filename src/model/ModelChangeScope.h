#pragma once

#include "model/StoreError.h"
#include "platform/Expected.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QSet>

#include <any>

namespace tessaline {

class ModelContext;

// How soon a save is on the disk. A synced save returns once it would
// survive a power loss. A deferred one returns once written, and the disk
// has it with the next synced save or the log's next copy into the file; a
// power loss before then takes it back whole. Deferred is for what is done
// again when lost (the words read from a picture, read again at the next
// start), or synced at once off this thread (ModelContext::
// syncDeferredSaves): a sync waits for whatever else the file system has
// to write first, which on a busy disk has held the main thread for 160 ms
// and more.
enum class SaveDurability { synced, deferred };
class PersistentEntity;

// The unsaved changes one operation makes to a context, and a way to put back
// exactly those when the operation fails — unlike ModelContext::rollback(),
// which also throws away every other unsaved edit (a card editor's pending
// text, say) that is waiting in the same context by design.
//
// From its construction until it is destroyed the scope records, for its
// context:
//  - every entity inserted, and every entity removed (a saved one marked for
//    deletion or a pending insert taken out again);
//  - for every entity whose stored state is written, the state it had just
//    before the scope's first write to it (all its fields, the card bytes
//    waiting to be saved and a note's pending recovery records), and whether
//    it counted as changed.
// undo() puts back those records, newest first: inserts are detached again,
// removals withdrawn, written entities get their earlier state back (screens
// hear of it through `PersistentEntity::changed`). Edits made before the scope
// began, and writes to entities the scope never saw written, stay as they are.
//
// A successful ModelContext::save() stores everything pending, so it empties
// the records of every open scope (what is stored cannot be undone here); the
// scope keeps recording what follows. A save that stored all but the rows the
// store refused keeps only the records of those; saveOrUndo() then reports
// success when none of them was this scope's. ModelContext::rollback() empties them
// too. A failed save changes nothing in memory and leaves the records alone.
//
// Scopes nest: an operation built from other operations opens its own scope,
// and an inner scope's undo() leaves the outer scope able to undo the rest.
// The typical operation:
//
//     ModelChangeScope scope(context);
//     card->setContextText(text);
//     if (auto saved = scope.saveOrUndo(); !saved)
//         return unexpected(saved.error());   // the card has its old text
//
// Main thread only, like the context. When the context is destroyed before
// the scope, the scope does nothing.
class ModelChangeScope
{
public:
    explicit ModelChangeScope(ModelContext &context);
    ~ModelChangeScope();
    ModelChangeScope(const ModelChangeScope &) = delete;
    ModelChangeScope &operator=(const ModelChangeScope &) = delete;

    // Whether undo() would change anything.
    bool hasChanges() const;
    // Puts back what was recorded (see above) and starts recording afresh.
    void undo();
    // Saves the whole context; when the save fails, undoes this scope's
    // changes and returns the store's error.
    Expected<void, StoreError> saveOrUndo(SaveDurability durability = SaveDurability::synced);

private:
    friend class ModelContext;

    // What the entity held before the scope first wrote to it.
    struct Snapshot
    {
        std::any state;
        bool changed = false; // the entity's own "has changes" flag
        bool listed = false; // among the context's entities to write
    };
    struct Step
    {
        enum Kind { inserted, removedPendingInsert, markedForDeletion };
        Kind kind;
        PersistentEntity *entity = nullptr;
        qsizetype position = 0; // a pending insert's place in its list
        bool listed = false;
    };

    void recordWrite(PersistentEntity *entity, std::any state, bool changed, bool listed);
    void recordStep(const Step &step);
    void forget();
    // Forgets all but what concerns the entities given (those a save left
    // pending).
    void forgetAllBut(const QSet<PersistentEntity *> &kept);

    QPointer<ModelContext> m_context;
    QHash<PersistentEntity *, Snapshot> m_snapshots;
    QList<Step> m_steps;
};

} // namespace tessaline
