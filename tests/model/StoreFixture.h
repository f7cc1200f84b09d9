#pragma once

#include "../support/LibraryBuilder.h"

#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "platform/UuidText.h"

#include <QTest>

#include <memory>

namespace tessaline::testing {

inline std::unique_ptr<ModelContainer> memoryStore()
{
    ModelContainer::Configuration configuration;
    configuration.isStoredInMemoryOnly = true;
    auto container = ModelContainer::open(configuration);
    return container ? std::move(*container) : nullptr;
}

// A note whose writing is stored in its normal form, as after start-up.
inline Board *addNote(ModelContext &context, const QString &title, const QDateTime &created, bool inbox = false)
{
    Board *board = addNote(context, NoteFields{.title = title, .inbox = inbox, .created = created});
    board->normalizeWritingDocumentStorage(created);
    return board;
}

inline CanvasCard *addCard(ModelContext &context, const Board *board, CardKind kind, const QDateTime &created,
                           std::optional<QDateTime> captured = std::nullopt)
{
    return addCard(context, board->id(), CardFields{.kind = kind, .created = created, .captured = captured});
}

inline QList<QUuid> references(const Board *board)
{
    return board->writingDocument().referencedCardIDs();
}

} // namespace tessaline::testing
