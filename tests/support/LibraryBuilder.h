#pragma once

// The one way tests put notes, cards and connections into a library: each
// rig's helpers build on these, so a change to what a stored entity needs is
// made here once.

#include "PngBytes.h"

#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/Connection.h"
#include "model/ModelContext.h"

#include <QColor>
#include <QDateTime>
#include <QImage>

#include <memory>
#include <optional>

namespace tessaline::testing {

// The tests' clock: a fixed moment plus seconds, in UTC.
inline QDateTime at(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(1'800'000'000 + seconds, Qt::UTC);
}


// What a test says about a note; the rest is as the app stores a note that
// has been through the writing migration, its writing still empty. Created,
// changed and last opened at `created`.
struct NoteFields
{
    QString title{};
    bool inbox = false;
    double sortIndex = 0;
    QDateTime created = at(0);
    QUuid id = QUuid::createUuid();
};

inline Board *addNote(ModelContext &context, const NoteFields &fields)
{
    auto *board = new Board;
    board->setId(fields.id);
    board->setTitle(fields.title);
    board->setIsInbox(fields.inbox);
    board->setSortIndex(fields.sortIndex);
    board->setCreatedAt(fields.created);
    board->setUpdatedAt(fields.created);
    board->setLastOpenedAt(fields.created);
    board->setHasCompletedNoteMigration(true);
    context.insert(board);
    return board;
}

// What a test says about a card; a snip unless told otherwise.
struct CardFields
{
    CardKind kind = CardKind::snip;
    QString title{};
    QDateTime created = at(0);
    std::optional<QDateTime> captured{};
    std::optional<QByteArray> image{};
    std::optional<QByteArray> annotations{};
    QUuid id = QUuid::createUuid();
};

// A card as the fields say, in no library yet.
inline std::unique_ptr<CanvasCard> makeCard(const QUuid &noteID, const CardFields &fields)
{
    CanvasCard::Init init;
    init.id = fields.id;
    init.boardID = noteID;
    init.kind = fields.kind;
    init.title = fields.title.isNull() ? std::optional<QString>() : std::optional<QString>(fields.title);
    init.createdAt = fields.created;
    init.capturedAt = fields.captured;
    init.originalImageData = fields.image;
    init.annotationDocumentData = fields.annotations;
    return std::make_unique<CanvasCard>(init);
}

inline CanvasCard *addCard(ModelContext &context, const QUuid &noteID, const CardFields &fields)
{
    CanvasCard *card = makeCard(noteID, fields).release();
    context.insert(card);
    return card;
}

inline Connection *addConnection(ModelContext &context, const CanvasCard *source, const CanvasCard *destination)
{
    Connection::Values values;
    values.boardID = source->boardID();
    values.sourceCardID = source->id();
    values.destinationCardID = destination->id();
    auto *connection = new Connection(values);
    context.insert(connection);
    return connection;
}

} // namespace tessaline::testing
