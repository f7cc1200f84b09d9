#pragma once

#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "platform/UuidText.h"

#include <QTest>

#include <memory>

namespace tessaline::testing {

inline QDateTime at(qint64 seconds) { return QDateTime::fromSecsSinceEpoch(1'800'000'000 + seconds, Qt::UTC); }

inline std::unique_ptr<ModelContainer> memoryStore()
{
    ModelContainer::Configuration configuration;
    configuration.isStoredInMemoryOnly = true;
    auto container = ModelContainer::open(configuration);
    return container ? std::move(*container) : nullptr;
}

inline Board *addNote(ModelContext &context, const QString &title, const QDateTime &created, bool inbox = false)
{
    auto *board = new Board;
    board->setTitle(title);
    board->setCreatedAt(created);
    board->setUpdatedAt(created);
    board->setIsInbox(inbox);
    board->setHasCompletedNoteMigration(true);
    board->normalizeWritingDocumentStorage(created);
    context.insert(board);
    return board;
}

inline CanvasCard *addCard(ModelContext &context, const Board *board, CardKind kind, const QDateTime &created,
                           std::optional<QDateTime> captured = std::nullopt)
{
    CanvasCard::Init init;
    init.boardID = board->id();
    init.kind = kind;
    init.createdAt = created;
    init.capturedAt = captured;
    auto *card = new CanvasCard(init);
    context.insert(card);
    return card;
}

inline QList<QUuid> references(const Board *board)
{
    return board->writingDocument().referencedCardIDs();
}

} // namespace tessaline::testing
