#include "notes/NotesWorkspaceModel.h"

#include "notes/KeptNoteLists.h"

#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/ModelChangeScope.h"
#include "model/ModelContext.h"
#include "model/ThinkingSessionService.h"
#include "platform/TextUtilities.h"
#include "runtime/KeptChanges.h"
#include "runtime/LibraryQuery.h"
#include "runtime/NavigationState.h"

#include <QTimer>

#include <utility>

namespace tessaline {

NotesWorkspaceModel::NotesWorkspaceModel(LibraryQuery &library, NavigationState &navigation,
                                         const NoteListFilter &filter, QObject *parent)
    : QObject(parent)
    , m_library(library)
    , m_navigation(navigation)
    , m_filter(filter)
    , m_list(KeptNoteLists::of(library).list(filter))
    , m_recompute(new QTimer(this))
    , m_clock([] { return QDateTime::currentDateTimeUtc(); })
{
    m_recompute->setSingleShot(true);
    m_recompute->setInterval(0);
    connect(m_recompute, &QTimer::timeout, this, &NotesWorkspaceModel::recompute);
    connect(&m_library.context(), &ModelContext::entityWritten, this, &NotesWorkspaceModel::entityWritten);
    // The kept lists are told which rows to make again.
    connect(&m_library.context(), &ModelContext::writesTakenBack, this, &NotesWorkspaceModel::scheduleRecompute);
    // The library's groups of cards are told of the cards a save wrote
    // before this hears of it.
    connect(&m_library, &LibraryQuery::changed, this, &NotesWorkspaceModel::recompute);
    connect(&m_navigation, &NavigationState::activeBoardIDChanged, this, [this] {
        Board *active = activeNote();
        if (active != m_shownActiveNote.data() || !active) {
            m_shownActiveNote = active;
            Q_EMIT activeNoteChanged();
        }
    });
    m_rows = m_list.rows(m_library.boards(), m_library.cards(), m_filter);
    m_shownActiveNote = activeNote();
}

NotesWorkspaceModel::~NotesWorkspaceModel() = default;

void NotesWorkspaceModel::entityWritten(PersistentEntity *entity, int property)
{
    if (auto *note = qobject_cast<Board *>(entity); note && NoteList::showsProperty(property))
        scheduleRecompute();
}

void NotesWorkspaceModel::scheduleRecompute()
{
    if (!m_recompute->isActive())
        m_recompute->start();
}

void NotesWorkspaceModel::recompute()
{
    m_recompute->stop();
    QList<NoteListRow> rows = m_list.rows(m_library.boards(), m_library.cards(), m_filter);
    if (rows == m_rows)
        return;
    const QList<QUuid> before = visibleNoteIDs();
    m_rows = std::move(rows);
    Q_EMIT rowsChanged();
    if (m_hasAppeared && visibleNoteIDs() != before)
        ensureActiveNote();
    Board *active = activeNote();
    if (active != m_shownActiveNote.data()) {
        m_shownActiveNote = active;
        Q_EMIT activeNoteChanged();
    }
}

QList<QUuid> NotesWorkspaceModel::visibleNoteIDs() const
{
    QList<QUuid> ids;
    ids.reserve(m_rows.size());
    for (const NoteListRow &row : m_rows)
        ids.append(row.id);
    return ids;
}

Board *NotesWorkspaceModel::activeNote() const
{
    const std::optional<QUuid> active = m_navigation.activeBoardID();
    if (!active)
        return nullptr;
    for (const NoteListRow &row : m_rows) {
        if (row.id == *active)
            return row.note;
    }
    return nullptr;
}

QStringList NotesWorkspaceModel::folderNames() const
{
    return NoteList::folderNames(m_library.boards());
}

QString NotesWorkspaceModel::headerTitle() const
{
    switch (m_filter.kind()) {
    case NoteListFilter::Kind::folder:
        return m_filter.folderName();
    case NoteListFilter::Kind::all:
        return QStringLiteral("Notes");
    case NoteListFilter::Kind::favorites:
        return QStringLiteral("Favorites");
    case NoteListFilter::Kind::quickCaptures:
        return QStringLiteral("Quick Captures");
    }
    return QString();
}

bool NotesWorkspaceModel::showsNewNoteButton() const
{
    return m_filter.kind() != NoteListFilter::Kind::quickCaptures;
}

QString NotesWorkspaceModel::emptyListSymbol() const
{
    return m_filter.kind() == NoteListFilter::Kind::favorites ? QStringLiteral("star") : QStringLiteral("note.text");
}

QString NotesWorkspaceModel::emptyListText() const
{
    switch (m_filter.kind()) {
    case NoteListFilter::Kind::favorites:
        return QStringLiteral("No favorite notes");
    case NoteListFilter::Kind::quickCaptures:
        return QStringLiteral("Preparing Quick Captures");
    case NoteListFilter::Kind::folder:
    case NoteListFilter::Kind::all:
        break;
    }
    return QStringLiteral("No notes yet");
}

NotesWorkspaceModel::EmptyState NotesWorkspaceModel::emptyState() const
{
    const QString newNote = QStringLiteral("New Note");
    const QString newNoteSymbol = QStringLiteral("square.and.pencil");
    switch (m_filter.kind()) {
    case NoteListFilter::Kind::quickCaptures:
        return {QStringLiteral("Preparing Quick Captures"), QStringLiteral("Your next capture will appear here automatically."),
                QStringLiteral("tray"), std::nullopt, std::nullopt};
    case NoteListFilter::Kind::favorites:
        return {QStringLiteral("No favorites yet"), QStringLiteral("Favorite a note to keep it close."),
                QStringLiteral("star"), newNote, newNoteSymbol};
    case NoteListFilter::Kind::folder:
    case NoteListFilter::Kind::all:
        break;
    }
    return {QStringLiteral("Start a note"), QStringLiteral("Write normally, then capture anything directly into the note."),
            QStringLiteral("note.text"), newNote, newNoteSymbol};
}

void NotesWorkspaceModel::appear()
{
    m_hasAppeared = true;
    ensureActiveNote();
}

void NotesWorkspaceModel::ensureActiveNote()
{
    if (activeNote())
        return;
    m_navigation.setActiveBoardID(m_rows.isEmpty() ? std::nullopt : std::optional<QUuid>(m_rows.constFirst().id));
    m_navigation.setActiveWritingAnchorID(std::nullopt);
}

Board *NotesWorkspaceModel::liveNote(const QUuid &noteID) const
{
    Board *board = m_library.firstBoard(noteID);
    return board && board->isLive() ? board : nullptr;
}

void NotesWorkspaceModel::saveIgnoringFailure()
{
    // A failed save keeps the change in the library; the next save that
    // succeeds writes it. Only for what the user did not ask for (the note's
    // opening stamp), or what was said already.
    (void)m_library.context().save();
}

void NotesWorkspaceModel::saveUserChange()
{
    if (const auto saved = saveKeepingChanges(m_library.context()); !saved && m_reportError)
        m_reportError(saved.error());
}

void NotesWorkspaceModel::selectNote(const std::optional<QUuid> &noteID)
{
    m_navigation.setActiveBoardID(noteID);
    m_navigation.setActiveWritingAnchorID(std::nullopt);
    if (!noteID)
        return;
    Board *board = m_library.firstBoard(*noteID);
    if (!board)
        return;
    board->markOpened(m_clock());
    saveIgnoringFailure();
}

void NotesWorkspaceModel::createNewNote()
{
    ModelContext &context = m_library.context();
    auto report = [this](const QString &message) {
        if (m_reportError)
            m_reportError(message);
    };
    const auto created = ThinkingSessionService(context).createNote(QStringLiteral("Untitled Note"), std::nullopt, m_clock());
    if (!created) {
        report(created.error().message);
        return;
    }
    Board *note = *created;
    if (m_filter.kind() == NoteListFilter::Kind::folder) {
        // The note stays, outside the folder, as it was saved; other edits
        // waiting for a save (a title being typed) stay too.
        ModelChangeScope filing(context);
        note->setFolderName(m_filter.folderName(), m_clock());
        if (const auto saved = filing.saveOrUndo(); !saved) {
            report(saved.error().message);
            return;
        }
    }
    const QList<BoardWritingBlock> blocks = note->writingDocument().blocks;
    m_navigation.setActiveBoardID(note->id());
    m_navigation.setActiveWritingAnchorID(blocks.isEmpty() ? std::nullopt : std::optional<QUuid>(blocks.constFirst().id));
}

void NotesWorkspaceModel::toggleFavorite(const QUuid &noteID)
{
    if (Board *board = liveNote(noteID)) {
        board->setFavorite(!board->isFavorite(), m_clock());
        saveUserChange();
    }
}

void NotesWorkspaceModel::moveNote(const QUuid &noteID, const QString &folder)
{
    if (Board *board = liveNote(noteID)) {
        board->setFolderName(folder, m_clock());
        saveUserChange();
    }
}

void NotesWorkspaceModel::removeNoteFromFolder(const QUuid &noteID)
{
    if (Board *board = liveNote(noteID)) {
        board->setFolderName(std::nullopt, m_clock());
        saveUserChange();
    }
}

void NotesWorkspaceModel::moveNoteToRecentlyDeleted(const QUuid &noteID)
{
    Board *board = liveNote(noteID);
    if (!board)
        return;
    board->moveToTrash(m_clock());
    saveUserChange();
    // Unsaved, the note is gone from the list all the same.
    recompute();
    ensureActiveNote();
}

void NotesWorkspaceModel::setFolderDraft(const QString &draft)
{
    if (m_folderDraft == draft)
        return;
    m_folderDraft = draft;
    Q_EMIT folderSheetChanged();
}

bool NotesWorkspaceModel::canCommitNewFolder() const
{
    return !isBlank(m_folderDraft);
}

void NotesWorkspaceModel::beginNewFolder(const QUuid &noteID)
{
    m_folderDraft.clear();
    m_folderTargetID = noteID;
    Q_EMIT folderSheetChanged();
}

void NotesWorkspaceModel::cancelNewFolder()
{
    if (!m_folderTargetID)
        return;
    m_folderTargetID.reset();
    Q_EMIT folderSheetChanged();
}

void NotesWorkspaceModel::commitNewFolder()
{
    if (!m_folderTargetID)
        return;
    Board *board = m_library.firstBoard(*m_folderTargetID);
    if (!board)
        return;
    board->setFolderName(m_folderDraft, m_clock());
    saveUserChange();
    m_folderTargetID.reset();
    Q_EMIT folderSheetChanged();
}

void NotesWorkspaceModel::submitNewFolder()
{
    if (canCommitNewFolder())
        commitNewFolder();
}

void NotesWorkspaceModel::savePendingEdits()
{
    if (m_library.context().hasChanges())
        saveIgnoringFailure();
}

} // namespace tessaline
