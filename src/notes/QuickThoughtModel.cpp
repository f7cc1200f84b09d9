#include "notes/QuickThoughtModel.h"

#include "runtime/LibraryQuery.h"
#include "runtime/NavigationState.h"
#include "runtime/SidebarDestination.h"
#include "model/Board.h"
#include "model/ThinkingSessionService.h"
#include "platform/TextUtilities.h"

#include <algorithm>

namespace tessaline {

QuickThoughtModel::QuickThoughtModel(LibraryQuery &library, NavigationState &navigation,
                                     std::optional<QUuid> preselectedBoardID, QObject *parent)
    : QObject(parent)
    , m_library(library)
    , m_navigation(navigation)
    , m_preselectedBoardID(preselectedBoardID)
    , m_clock([] { return QDateTime::currentDateTimeUtc(); })
{
    connect(&library, &LibraryQuery::changed, this, &QuickThoughtModel::notesChanged);
}

void QuickThoughtModel::setNoteText(const QString &text)
{
    if (text == m_noteText)
        return;
    m_noteText = text;
    Q_EMIT changed();
}

bool QuickThoughtModel::canSave() const { return !isBlank(m_noteText); }

bool QuickThoughtModel::acceptsPaste(qsizetype pasted, qsizetype replaced)
{
    const qsizetype writing = targetWritingCharacters() + m_noteText.size() - replaced;
    if (BoardWritingDocument::admits(writing, pasted, 0))
        return true;
    m_errorMessage = BoardWritingDocument::refusal(writing, pasted);
    Q_EMIT changed();
    return false;
}

qsizetype QuickThoughtModel::targetWritingCharacters() const
{
    for (const Board *board : m_library.boards()) {
        if (!board->deletedAt() && (m_boardID ? board->id() == *m_boardID : board->isInbox()))
            return board->writingDocument().characterCount();
    }
    return 0;
}

void QuickThoughtModel::setBoardID(const std::optional<QUuid> &id)
{
    if (id == m_boardID)
        return;
    m_boardID = id;
    Q_EMIT changed();
}

QList<Board *> QuickThoughtModel::availableNotes() const
{
    QList<Board *> notes;
    for (Board *board : m_library.boards()) {
        if (!board->deletedAt() && !board->isInbox())
            notes.append(board);
    }
    // Stable, so notes opened at the same moment keep the library's order.
    std::stable_sort(notes.begin(), notes.end(),
                     [](const Board *a, const Board *b) { return a->lastOpenedAt() > b->lastOpenedAt(); });
    return notes;
}

void QuickThoughtModel::clearErrorMessage()
{
    if (!m_errorMessage)
        return;
    m_errorMessage.reset();
    Q_EMIT changed();
}

void QuickThoughtModel::chooseDefaultTarget()
{
    const std::optional<QUuid> candidate = m_preselectedBoardID ? m_preselectedBoardID : m_navigation.activeBoardID();
    std::optional<QUuid> chosen;
    if (candidate) {
        for (const Board *note : availableNotes()) {
            if (note->id() == *candidate) {
                chosen = candidate;
                break;
            }
        }
    }
    m_boardID = chosen;
    Q_EMIT changed();
    Q_EMIT editorFocusRequested();
}

void QuickThoughtModel::submit()
{
    if (canSave())
        save();
}

bool QuickThoughtModel::save()
{
    auto fail = [this](const QString &message) {
        m_errorMessage = message;
        Q_EMIT changed();
        return false;
    };
    const auto result = ThinkingSessionService(m_library.context()).appendQuickThought(m_noteText, m_boardID, m_clock());
    if (!result)
        return fail(result.error().message);
    const Board *note = result->note;
    m_navigation.setDestination(note->isInbox() ? SidebarDestination::inbox() : SidebarDestination::notes());
    m_navigation.setActiveBoardID(note->id());
    m_navigation.setActiveWritingAnchorID(result->paragraphID);
    m_navigation.clearSelection();
    m_navigation.setQuickThoughtPresented(false);
    Q_EMIT dismissRequested();
    return true;
}

void QuickThoughtModel::cancel() { Q_EMIT dismissRequested(); }

} // namespace tessaline
