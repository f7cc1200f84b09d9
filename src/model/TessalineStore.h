#pragma once

#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/ModelContainer.h"
#include "model/StoreError.h"
#include "platform/Expected.h"

#include <QDateTime>
#include <QList>
#include <QUuid>

#include <memory>
#include <optional>

namespace tessaline {

class ModelContext;

struct NoteMigrationSummary
{
    int changedNoteCount = 0;
    int insertedReferenceCount = 0;
    int retitledInboxCount = 0;
    // Notes whose writing was left exactly as stored: text that cannot be
    // read (it is never rewritten unasked) or a repaired document that could
    // not be encoded.
    QList<QUuid> unrepairedNoteIDs;

    friend bool operator==(const NoteMigrationSummary &, const NoteMigrationSummary &) = default;
};

// Operations around the persistent library: opening it, seeding a new one,
// finding the Quick Captures inbox and keeping every live card referenced from
// its note's writing. A fetch or save that fails undoes the operation's own
// changes before the error is returned (other unsaved edits in the context
// stay), so a retry starts clean.
namespace TessalineStore {

Expected<std::unique_ptr<ModelContainer>, StoreError> makeModelContainer(
    bool isStoredInMemoryOnly, const std::optional<QString> &cloudSyncContainerIdentifier,
    const QString &directory = QString());

// The welcome note when the library was empty and has been seeded; nullptr
// when there was anything in it already.
Expected<Board *, StoreError> seedWelcomeNoteIfNeeded(ModelContext &context, const QDateTime &now);
// The oldest live inbox note, created when there is none; then runs the
// note migration.
Expected<Board *, StoreError> quickCapturesNote(ModelContext &context, const QDateTime &now);
Expected<NoteMigrationSummary, StoreError> migrateNotes(ModelContext &context, const QDateTime &now);

// What start-up's seeding found or made: the welcome note (nullptr when the
// library was not empty) and the Quick Captures inbox.
struct SeededLibrary
{
    Board *welcome = nullptr;
    Board *inbox = nullptr;
};
// The welcome note, then the inbox, as start-up makes sure of them. Another
// process may seed the same library at the same moment (a second session of
// the same user): each save checks in its transaction that nobody else has
// written meanwhile, and when somebody has, the library is read again and
// looked at anew, so it never ends up with two of either.
Expected<SeededLibrary, StoreError> seedLibrary(ModelContext &context, const QDateTime &now);

// Oldest first; equal dates by the identifier's text.
bool noteCreationOrder(const Board *a, const Board *b);
// By capture date (creation date when never captured), then identifier text.
bool cardPlacementOrder(const CanvasCard *a, const CanvasCard *b);

} // namespace TessalineStore
} // namespace tessaline
