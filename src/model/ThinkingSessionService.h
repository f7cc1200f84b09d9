#pragma once

#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/Connection.h"
#include "model/GhostSuggestion.h"
#include "model/StoreError.h"
#include "platform/Expected.h"

#include <QDateTime>
#include <QPointF>
#include <QUuid>

#include <optional>

namespace tessaline {

class ModelChangeScope;
class ModelContext;

enum class ThinkingSessionError { emptyThought, cardNotFound, noteNotFound, invalidConnection, writingNotStorable, writingTooLong };
QString message(ThinkingSessionError error);

// A refusal of the service, or a failure of the store underneath it.
struct SessionFailure
{
    std::optional<ThinkingSessionError> refusal;
    QString message;

    static SessionFailure from(ThinkingSessionError error) { return {error, tessaline::message(error)}; }
    static SessionFailure from(const StoreError &error) { return {std::nullopt, error.message}; }

    friend bool operator==(const SessionFailure &, const SessionFailure &) = default;
};

enum class AddSnipOutcome { moved = 0, linked = 1, alreadyLinked = 2 };

struct QuickThoughtResult
{
    Board *note = nullptr;
    QUuid paragraphID;
};

// How screens create and change notes, cards and connections. Each operation
// checks and looks up everything first, then changes entities and saves once.
// Nothing is half-done: a refusal changes nothing, and a failed fetch or save
// undoes exactly the operation's own changes (see ModelChangeScope), so
// retrying is safe and other unsaved edits in the context stay as they were.
class ThinkingSessionService
{
public:
    explicit ThinkingSessionService(ModelContext &context) : m_context(context) {}

    ModelContext &context() const { return m_context; }

    Expected<CanvasCard *, SessionFailure> keepSuggestion(const GhostSuggestion &suggestion, const QUuid &noteID,
                                                          const std::optional<QPointF> &canvasPoint, const QDateTime &now);
    Expected<void, SessionFailure> moveCardToTrash(CanvasCard *card, const QDateTime &date);
    Expected<CanvasCard *, SessionFailure> updateCaption(const QString &text, const QUuid &cardID, const QDateTime &now);
    Expected<Connection *, SessionFailure> connect(CanvasCard *source, CanvasCard *destination,
                                                   const std::optional<QString> &label, const QDateTime &now);
    Expected<Board *, SessionFailure> createNote(const QString &title, const std::optional<QString> &focusQuestion,
                                                 const QDateTime &now);
    Expected<QuickThoughtResult, SessionFailure> appendQuickThought(const QString &text, const std::optional<QUuid> &noteID,
                                                                    const QDateTime &now);
    Expected<AddSnipOutcome, SessionFailure> addSnipToNote(const QUuid &cardID, const QUuid &noteID,
                                                           const std::optional<QUuid> &anchorBlockID, const QDateTime &now);
    // The live note with this id, else the Quick Captures inbox.
    Expected<Board *, SessionFailure> resolveNote(const std::optional<QUuid> &noteID, const QDateTime &now);

    static bool blockReferencesCard(const BoardWritingBlock &block, const CanvasCard *card);

private:
    template <typename T>
    static Expected<T, SessionFailure> failure(ModelChangeScope &scope, const SessionFailure &reason);
    static Expected<void, SessionFailure> saveOrUndo(ModelChangeScope &scope);

    ModelContext &m_context;
};

} // namespace tessaline
