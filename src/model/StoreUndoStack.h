#pragma once

#include "model/StoreError.h"
#include "platform/Expected.h"

#include <QUndoStack>

#include <functional>
#include <memory>

namespace tessaline {

class ModelContext;
class StoreUndoCommand;

// The undo history of a window's edits of the library. Every step on it is
// stored: an edit is registered only once its save has succeeded, and an
// undo or redo that cannot be saved is taken back and leaves the history.
class StoreUndoStack : public QUndoStack
{
    Q_OBJECT
public:
    explicit StoreUndoStack(QObject *parent = nullptr);

    // Runs `write` (the edit, on entities of the command's context), saves,
    // and registers `command`, which takes the edit back. When the save
    // fails, the edit's own changes are discarded, nothing is registered and
    // the error is returned for the caller to report. With no stack the edit
    // is saved all the same and simply cannot be undone.
    //
    // Commands must reach the stack this way: a command pushed directly would
    // skip its first redo.
    static Expected<void, StoreError> perform(StoreUndoStack *stack, std::unique_ptr<StoreUndoCommand> command,
                                              const std::function<void()> &write);

Q_SIGNALS:
    // An undo or redo failed (its values could not be read or saved). Its
    // changes were taken back and the step left the history. Sent once per
    // failure.
    void failed(const QString &message);
};

} // namespace tessaline
