#pragma once

#include "notes/BoardCanvasView.h"
#include "notes/NewFolderSheet.h"
#include "runtime/NoteListFilter.h"

#include <QPointer>
#include <QWidget>

class QGraphicsOpacityEffect;
class QListView;
class QMenu;
class QSplitter;
class QStackedLayout;
class QStackedWidget;
class QToolButton;
class QVariantAnimation;

namespace tessaline {

class LibraryQuery;
class NavigationState;
class NoteListItemModel;
class NoteListVisibility;
class NotesWorkspaceModel;
class StudioEmptyState;
class StudioText;

// The notes screen: the list of a filter's notes beside the open note's
// workspace (or an empty state). The list column comes and goes with the
// window's note-list flag; its rows open, favourite, file and delete notes.
// The rules live in `model()`.
class NotesWorkspaceView : public QWidget
{
    Q_OBJECT
public:
    // `noteList` is the window's flag for the list column; without one the
    // screen keeps its own, starting shown.
    NotesWorkspaceView(LibraryQuery &library, NavigationState &navigation, const NoteListFilter &filter,
                       NoteListVisibility *noteList, BoardCanvasServices services, QWidget *parent = nullptr);
    ~NotesWorkspaceView() override;

    NotesWorkspaceModel &model() const { return *m_model; }
    NoteListItemModel &listModel() const { return *m_listModel; }
    NoteListVisibility &noteListVisibility() const { return *m_noteList; }

    // For tests: the parts on screen.
    QWidget *listColumn() const { return m_listColumn; }
    StudioText *headerTitle() const { return m_headerTitle; }
    QToolButton *hideNoteListButton() const { return m_hideList; }
    QToolButton *newNoteButton() const { return m_newNote; }
    QToolButton *showNoteListButton() const { return m_showList; }
    QListView *listView() const { return m_listView; }
    QWidget *emptyList() const { return m_emptyList; }
    StudioEmptyState *emptyState() const { return m_emptyState; }
    BoardCanvasView *workspace() const { return m_workspace; }
    NewFolderSheet *folderSheet() const { return m_folderSheet; }
    // The context menu of a row, as right-clicking it opens it.
    QMenu *createRowMenu(const QUuid &noteID, QWidget *parent);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QWidget *buildListColumn();
    QWidget *buildEmptyDetail();
    bool stepThroughNotes(int step);
    void refreshList();
    void refreshSelection();
    void refreshDetail();
    void refreshColumn();
    // Slides the list column in from the leading edge, fading in, or back
    // out; at once while reduce motion is on or the screen is not shown.
    void slideColumn(bool shown);
    void finishColumnSlide();
    void refreshFolderSheet();

    NotesWorkspaceModel *m_model;
    NoteListItemModel *m_listModel;
    BoardCanvasServices m_services;
    QPointer<NoteListVisibility> m_noteList;
    QSplitter *m_splitter = nullptr;
    QWidget *m_listColumn = nullptr;
    StudioText *m_headerTitle = nullptr;
    QToolButton *m_hideList = nullptr;
    QToolButton *m_newNote = nullptr;
    QStackedWidget *m_listStack = nullptr;
    QWidget *m_emptyList = nullptr;
    QListView *m_listView = nullptr;
    QWidget *m_detailHost = nullptr;
    QStackedLayout *m_detail = nullptr;
    QWidget *m_emptyDetail = nullptr;
    StudioEmptyState *m_emptyState = nullptr;
    QToolButton *m_showList = nullptr;
    QPointer<BoardCanvasView> m_workspace;
    QPointer<NewFolderSheet> m_folderSheet;
    bool m_syncingSelection = false;
    // The notes in the order the list showed when the arrow keys began to
    // move through it; empty until they do.
    QList<QUuid> m_keyboardOrder;
    bool m_columnShown = true;
    // The column's width when it was last out, to come back at.
    int m_columnWidth = 0;
    QVariantAnimation *m_columnSlide = nullptr;
    QPointer<QGraphicsOpacityEffect> m_columnFade;
};

} // namespace tessaline
