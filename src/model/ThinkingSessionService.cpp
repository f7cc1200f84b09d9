#include "model/ThinkingSessionService.h"

#include "model/ModelChangeScope.h"
#include "model/ModelContext.h"
#include "model/TessalineStore.h"
#include "platform/TextUtilities.h"

#include <algorithm>

namespace tessaline {

namespace {

// The first of the cards holding an id that a snip operation may act on.
CanvasCard *liveSnip(const QList<CanvasCard *> &holding)
{
    const auto found = std::find_if(holding.cbegin(), holding.cend(),
                                    [](const CanvasCard *card) { return card->isSnip() && card->isLive(); });
    return found == holding.cend() ? nullptr : *found;
}

} // namespace

QString message(ThinkingSessionError error)
{
    switch (error) {
    case ThinkingSessionError::emptyThought: return QStringLiteral("A note needs at least one character.");
    case ThinkingSessionError::cardNotFound: return QStringLiteral("The selected card no longer exists.");
    case ThinkingSessionError::noteNotFound: return QStringLiteral("The selected note no longer exists.");
    case ThinkingSessionError::invalidConnection:
        return QStringLiteral("Connections require two different cards on the same board.");
    case ThinkingSessionError::writingNotStorable:
        return QStringLiteral("The note’s text could not be stored, so the note was left as it was.");
    case ThinkingSessionError::writingTooLong:
        return QStringLiteral("The text is too long for this note.");
    }
    return QString();
}

template <typename T>
Expected<T, SessionFailure> ThinkingSessionService::failure(ModelChangeScope &scope, const SessionFailure &reason)
{
    scope.undo();
    return unexpected(reason);
}

Expected<void, SessionFailure> ThinkingSessionService::saveOrUndo(ModelChangeScope &scope)
{
    if (auto saved = scope.saveOrUndo(); !saved)
        return unexpected(SessionFailure::from(saved.error()));
    return {};
}

bool ThinkingSessionService::blockReferencesCard(const BoardWritingBlock &block, const CanvasCard *card)
{
    return block.isCardReference() && block.cardID && *block.cardID == card->id();
}

Expected<Board *, SessionFailure> ThinkingSessionService::resolveNote(const std::optional<QUuid> &noteID,
                                                                      const QDateTime &now)
{
    ModelChangeScope scope(m_context);
    const auto boards = m_context.fetchBoards();
    if (!boards)
        return failure<Board *>(scope, SessionFailure::from(boards.error()));
    if (noteID) {
        for (Board *board : *boards) {
            if (board->id() == *noteID && board->isLive())
                return board;
        }
    }
    const auto inbox = TessalineStore::quickCapturesNote(m_context, now);
    if (!inbox)
        return unexpected(SessionFailure::from(inbox.error()));
    return *inbox;
}

Expected<CanvasCard *, SessionFailure> ThinkingSessionService::keepSuggestion(const GhostSuggestion &suggestion,
                                                                              const QUuid &noteID,
                                                                              const std::optional<QPointF> &canvasPoint,
                                                                              const QDateTime &now)
{
    ModelChangeScope scope(m_context);
    const QString text = trimmedWhitespace(suggestion.markdownText);
    if (text.isEmpty())
        return unexpected(SessionFailure::from(ThinkingSessionError::emptyThought));

    const auto note = resolveNote(noteID, now);
    if (!note)
        return unexpected(note.error());

    CanvasCard::Init init;
    init.boardID = (*note)->id();
    init.kind = CardKind::thought;
    init.thoughtKind = ThoughtKind::thought;
    init.markdownText = text;
    if (canvasPoint) {
        init.canvasX = canvasPoint->x();
        init.canvasY = canvasPoint->y();
    }
    init.isPlaced = canvasPoint.has_value();
    init.sourceCardIDs = suggestion.sourceCardIDs;
    init.isAIGenerated = true;
    init.createdAt = now;
    init.updatedAt = now;
    auto *card = new CanvasCard(init);
    m_context.insert(card);
    (*note)->setUpdatedAt(now);
    if (auto saved = saveOrUndo(scope); !saved)
        return unexpected(saved.error());
    return card;
}

Expected<void, SessionFailure> ThinkingSessionService::moveCardToTrash(CanvasCard *card, const QDateTime &date)
{
    ModelChangeScope scope(m_context);
    const auto connections = m_context.fetchConnections();
    if (!connections)
        return failure<void>(scope, SessionFailure::from(connections.error()));

    card->moveToTrash(date);
    for (Connection *connection : *connections) {
        if (connection->isLive() && connection->touchesCard(card->id())) {
            connection->setDeletedAt(date);
            connection->setUpdatedAt(date);
        }
    }
    return saveOrUndo(scope);
}

Expected<CanvasCard *, SessionFailure> ThinkingSessionService::updateCaption(const QString &text, const QUuid &cardID,
                                                                             const QDateTime &now)
{
    ModelChangeScope scope(m_context);
    const auto cards = m_context.fetchCards(cardID);
    if (!cards)
        return failure<CanvasCard *>(scope, SessionFailure::from(cards.error()));
    CanvasCard *target = liveSnip(*cards);
    if (!target)
        return unexpected(SessionFailure::from(ThinkingSessionError::cardNotFound));

    target->setContextText(trimmedWhitespace(text));
    target->setUpdatedAt(now);
    if (auto saved = saveOrUndo(scope); !saved)
        return unexpected(saved.error());
    return target;
}

Expected<Connection *, SessionFailure> ThinkingSessionService::connect(CanvasCard *source, CanvasCard *destination,
                                                                       const std::optional<QString> &label,
                                                                       const QDateTime &now)
{
    ModelChangeScope scope(m_context);
    const bool valid = source && destination && source->id() != destination->id()
        && source->boardID() == destination->boardID() && source->isLive() && destination->isLive();
    if (!valid)
        return unexpected(SessionFailure::from(ThinkingSessionError::invalidConnection));

    Connection::Values values;
    values.boardID = source->boardID();
    values.sourceCardID = source->id();
    values.destinationCardID = destination->id();
    values.label = label;
    values.createdAt = now;
    values.updatedAt = now;
    auto *connection = new Connection(values);
    m_context.insert(connection);
    if (auto saved = saveOrUndo(scope); !saved)
        return unexpected(saved.error());
    return connection;
}

Expected<Board *, SessionFailure> ThinkingSessionService::createNote(const QString &title,
                                                                     const std::optional<QString> &focusQuestion,
                                                                     const QDateTime &now)
{
    ModelChangeScope scope(m_context);
    const QString trimmed = trimmedWhitespace(title);
    Board::Init init;
    init.title = trimmed.isEmpty() ? QStringLiteral("Untitled Note") : trimmed;
    init.focusQuestion = focusQuestion;
    init.createdAt = init.updatedAt = init.lastOpenedAt = now;
    init.workspaceModeRawValue = QStringLiteral("write");
    init.writingDocument = BoardWritingDocument::empty();
    init.hasCompletedNoteMigration = true;
    auto *board = new Board(init);
    m_context.insert(board);
    if (auto saved = saveOrUndo(scope); !saved)
        return unexpected(saved.error());
    return board;
}

Expected<QuickThoughtResult, SessionFailure> ThinkingSessionService::appendQuickThought(const QString &text,
                                                                                        const std::optional<QUuid> &noteID,
                                                                                        const QDateTime &now)
{
    ModelChangeScope scope(m_context);
    const QString trimmed = trimmedWhitespace(text);
    if (trimmed.isEmpty())
        return unexpected(SessionFailure::from(ThinkingSessionError::emptyThought));

    const auto note = resolveNote(noteID, now);
    if (!note)
        return unexpected(note.error());
    Board *board = *note;

    BoardWritingDocument document{board->normalizedWritingBlocks()};
    QUuid paragraphID;
    BoardWritingBlock &last = document.blocks.last();
    const bool fillsLast = last.isParagraph() && isBlank(last.text);
    // The same bound as a paste into the note, told in the same words.
    const qsizetype writing = document.characterCount();
    if (!BoardWritingDocument::admits(writing, trimmed.size(), fillsLast ? last.text.size() : 0))
        return failure<QuickThoughtResult>(
            scope, SessionFailure{ThinkingSessionError::writingTooLong, BoardWritingDocument::refusal(writing, trimmed.size())});
    if (fillsLast) {
        last.text = trimmed;
        paragraphID = last.id;
    } else {
        const BoardWritingBlock paragraph = BoardWritingBlock::paragraph(trimmed);
        paragraphID = paragraph.id;
        document.blocks.append(paragraph);
    }
    if (!board->updateWritingDocument(document, now))
        return failure<QuickThoughtResult>(scope, SessionFailure::from(ThinkingSessionError::writingNotStorable));
    if (auto saved = saveOrUndo(scope); !saved)
        return unexpected(saved.error());
    return QuickThoughtResult{board, paragraphID};
}

Expected<AddSnipOutcome, SessionFailure> ThinkingSessionService::addSnipToNote(const QUuid &cardID, const QUuid &noteID,
                                                                               const std::optional<QUuid> &anchorBlockID,
                                                                               const QDateTime &now)
{
    ModelChangeScope scope(m_context);
    const auto cards = m_context.fetchCards(cardID);
    if (!cards)
        return failure<AddSnipOutcome>(scope, SessionFailure::from(cards.error()));
    CanvasCard *card = liveSnip(*cards);
    if (!card)
        return unexpected(SessionFailure::from(ThinkingSessionError::cardNotFound));

    const auto targets = m_context.fetchBoards(noteID);
    if (!targets)
        return failure<AddSnipOutcome>(scope, SessionFailure::from(targets.error()));
    const auto live = std::find_if(targets->cbegin(), targets->cend(), [](const Board *board) { return board->isLive(); });
    if (live == targets->cend())
        return unexpected(SessionFailure::from(ThinkingSessionError::noteNotFound));
    Board *target = *live;
    const auto owners = m_context.fetchBoards(card->boardID());
    if (!owners)
        return failure<AddSnipOutcome>(scope, SessionFailure::from(owners.error()));
    Board *owner = owners->value(0);

    const bool ownedByLiveNote = owner && owner->isLive() && !owner->isInbox();
    if (ownedByLiveNote || card->boardID() == target->id()) {
        BoardWritingDocument document{target->normalizedWritingBlocks()};
        if (document.referencedCardIDs().contains(card->id()))
            return AddSnipOutcome::alreadyLinked;
        document.insertCardReference(card->id(), anchorBlockID);
        if (!target->updateWritingDocument(document, now))
            return failure<AddSnipOutcome>(scope, SessionFailure::from(ThinkingSessionError::writingNotStorable));
        if (auto saved = saveOrUndo(scope); !saved)
            return unexpected(saved.error());
        return AddSnipOutcome::linked;
    }

    if (owner) {
        QList<BoardWritingBlock> blocks = owner->normalizedWritingBlocks();
        const auto references = [card](const BoardWritingBlock &block) { return blockReferencesCard(block, card); };
        // Looked for before anything is copied: Quick Captures holds a block
        // for each capture.
        const bool referenced = std::any_of(blocks.cbegin(), blocks.cend(), references);
        if (referenced && blocks.removeIf(references) > 0
            && !owner->updateWritingDocument(BoardWritingDocument{blocks}, now))
            return failure<AddSnipOutcome>(scope, SessionFailure::from(ThinkingSessionError::writingNotStorable));
    }
    BoardWritingDocument document{target->normalizedWritingBlocks()};
    if (!document.referencedCardIDs().contains(card->id())) {
        document.insertCardReference(card->id(), anchorBlockID);
        if (!target->updateWritingDocument(document, now))
            return failure<AddSnipOutcome>(scope, SessionFailure::from(ThinkingSessionError::writingNotStorable));
    }
    card->setBoardID(target->id());
    card->removeFromCanvas(now);
    if (auto saved = saveOrUndo(scope); !saved)
        return unexpected(saved.error());
    return AddSnipOutcome::moved;
}

} // namespace tessaline
