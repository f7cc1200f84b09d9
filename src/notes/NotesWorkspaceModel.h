#pragma once

#include "notes/NoteList.h"
#include "runtime/NoteListFilter.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSet>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

class QTimer;

namespace tessaline {

class Board;
class LibraryQuery;
class PersistentEntity;
class NavigationState;

// The notes screen apart from its widgets: the notes a filter lists, which
// of them is open (the navigation state's active note, kept valid for the
// list), and the list's actions: open, create, favourite, file in a folder
// and move to Recently Deleted, with the "New Folder" sheet's state.
//
// The rows follow the library: at once after every save, and on the next
// turn of the event loop after an unsaved edit of a note (a title being
// typed, a paragraph being written).
class NotesWorkspaceModel : public QObject
{
    Q_OBJECT
public:
    NotesWorkspaceModel(LibraryQuery &library, NavigationState &navigation, const NoteListFilter &filter,
                        QObject *parent = nullptr);
    ~NotesWorkspaceModel() override;

    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }
    // Where a failed note creation, or a change of the list's that could not
    // be saved, is reported (the main window's alert).
    void setErrorReporter(std::function<void(const QString &)> report) { m_reportError = std::move(report); }

    NoteListFilter filter() const { return m_filter; }
    LibraryQuery &library() const { return m_library; }
    NavigationState &navigation() const { return m_navigation; }

    const QList<NoteListRow> &rows() const { return m_rows; }
    QList<QUuid> visibleNoteIDs() const;
    // The active note when this list shows it, else none.
    Board *activeNote() const;
    QStringList folderNames() const;

    // The column's header and the texts of an empty list.
    QString headerTitle() const;
    bool showsNewNoteButton() const;
    QString emptyListSymbol() const;
    QString emptyListText() const;

    // The detail pane while no listed note is open.
    struct EmptyState
    {
        QString title;
        QString message;
        QString systemImage;
        // "New Note", or none where this screen cannot make a note.
        std::optional<QString> actionTitle;
        std::optional<QString> actionSystemImage;
    };
    EmptyState emptyState() const;

    // The screen came up: the active note is made valid for the list.
    void appear();
    // An active note this list does not show is replaced by the first listed
    // note (or none), and the writing position is forgotten.
    void ensureActiveNote();
    // The list's selection: the note becomes active and is marked opened.
    void selectNote(const std::optional<QUuid> &noteID);
    // An "Untitled Note" (filed in this list's folder) that becomes active.
    void createNewNote();

    void toggleFavorite(const QUuid &noteID);
    void moveNote(const QUuid &noteID, const QString &folder);
    void removeNoteFromFolder(const QUuid &noteID);
    void moveNoteToRecentlyDeleted(const QUuid &noteID);

    // The "New Folder" sheet: open while a note is its target.
    std::optional<QUuid> folderTargetID() const { return m_folderTargetID; }
    QString folderDraft() const { return m_folderDraft; }
    void setFolderDraft(const QString &draft);
    bool canCommitNewFolder() const;
    void beginNewFolder(const QUuid &noteID);
    void cancelNewFolder();
    void commitNewFolder();
    // Return in the name field: a blank name does nothing.
    void submitNewFolder();

    // Saves what is waiting in the library (the window is closing or the
    // app quits); a failure is kept for the next save.
    void savePendingEdits();

Q_SIGNALS:
    void rowsChanged();
    void activeNoteChanged();
    void folderSheetChanged();

private:
    void entityWritten(PersistentEntity *entity, int property);
    Board *liveNote(const QUuid &noteID) const;
    void recompute();
    void scheduleRecompute();
    void saveIgnoringFailure();
    // A change the user made: one that cannot be saved now stays in the
    // library and is reported.
    void saveUserChange();

    LibraryQuery &m_library;
    NavigationState &m_navigation;
    NoteListFilter m_filter;
    // Shared with every notes screen of the window on the same filter.
    NoteList &m_list;
    QList<NoteListRow> m_rows;
    QPointer<Board> m_shownActiveNote;
    QTimer *m_recompute;
    std::optional<QUuid> m_folderTargetID;
    QString m_folderDraft;
    bool m_hasAppeared = false;
    std::function<QDateTime()> m_clock;
    std::function<void(const QString &)> m_reportError;
};

} // namespace tessaline
