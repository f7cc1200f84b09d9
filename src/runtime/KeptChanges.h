#pragma once

#include "platform/Expected.h"

#include <QString>

namespace tessaline {

class ModelContext;

// A small edit of the user's (a title kept with Return, a favourite, a
// folder, a card's kind or fields) is saved at once. When the library will
// not take it (a full disk, a file that can only be read) the edit stays in
// memory, as after any failed save: the next save that can writes it, and a
// quit asks first. The user is told so at the moment it fails, rather than
// finding the change gone after a crash.
//
// Saves the library; on failure, what the user is told: for a library that
// can only be read, why nothing is kept.
Expected<void, QString> saveKeepingChanges(ModelContext &context);

// The message for an edit kept unsaved, with the library's reason.
QString keptChangesMessage(const QString &reason);

} // namespace tessaline
