#pragma once

#include "runtime/BoardMap.h"
#include "runtime/NoteListVisibility.h"

#include <QMessageBox>
#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <optional>

class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QStackedLayout;
class QStackedWidget;
class QToolButton;

namespace tessaline {

class BoardCanvasModel;
class BoardWritingSurface;
class GuidedTourTarget;
class InsertSnipListModel;
class InsertSnipPicker;
class LibraryQuery;
class NavigationState;
class Pasteboard;
class StudioEmptyState;

// What the workspace of a note gets from the app around it.
struct BoardCanvasServices
{
    // The note's map, made the first time map mode is entered; none leaves
    // map mode on an empty state.
    std::function<BoardMap *(const QUuid &boardID, QWidget *parent)> makeMap;
    // Where "Copy Text" puts kept writing; the desktop clipboard unless set.
    Pasteboard *pasteboard = nullptr;
    // Whether the window can show the thinking assistant ("Help Me Think").
    bool assistantAvailable = false;
    // Where the guided tour points; none while the window runs no tour.
    GuidedTourTarget *guidedTour = nullptr;
};

// The workspace of one open note: a header strip over either the note's
// writing or its map. The writing header renames the note, inserts snips,
// favourites it and offers the map, the thinking assistant and the Markdown
// brief; the map header leads back and shows the snip tray. Failures show in
// one alert, "Couldn’t complete that action". The rules live in `model()`.
//
// Showing it opens the note; hiding it (the note is switched, the window
// closes) or the app quitting writes what is pending at once.
class BoardCanvasView : public QWidget
{
    Q_OBJECT
public:
    // `noteList` is the notes screen's list column; none (a single note's
    // screen) shows no toggle for it.
    BoardCanvasView(LibraryQuery &library, NavigationState &navigation, const QUuid &boardID,
                    NoteListVisibility *noteList, BoardCanvasServices services, QWidget *parent = nullptr);
    ~BoardCanvasView() override;

    BoardCanvasModel &model() const { return *m_model; }

    // For tests: the parts on screen.
    QToolButton *noteListToggle() const { return m_listToggle; }
    QLineEdit *titleField() const { return m_titleField; }
    QToolButton *insertSnipButton() const { return m_insertSnip; }
    QToolButton *favoriteButton() const { return m_favorite; }
    QToolButton *moreButton() const { return m_more; }
    // The picker's rows are made as it opens, and again only when the
    // library changed.
    InsertSnipPicker *insertSnipPicker() const { return m_insertSnipPicker; }
    // Built as it opens; filled for tests by rebuilding it.
    QMenu *moreMenu() const { return m_moreMenu; }
    QToolButton *backToNoteButton() const { return m_backToNote; }
    QToolButton *snipsButton() const { return m_snips; }
    BoardWritingSurface *writingSurface() const { return m_surface; }
    BoardMap *map() const { return m_map; }
    StudioEmptyState *missingNoteState() const { return m_missing; }
    QWidget *keptWritingNotice() const { return m_keptNotice; }
    QMessageBox *alert() const { return m_alert; }
    bool isShowingMissingNote() const;

    void openInsertSnipPicker();
    void rebuildMoreMenu();
    // The notice's two offers for writing that could not be read.
    void copyKeptWriting();
    void saveKeptWriting();
    void exportNoteBrief();
    void presentQuickNote();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QWidget *buildWritingHeader();
    QWidget *buildMapHeader();
    QWidget *buildKeptNotice();
    void refreshBoard();
    void refreshCards();
    void refreshMode();
    void refreshNoteListToggle();
    void refreshKeptNotice();
    void takeTypingAtAnchor();
    void refreshAlert();
    void ensureMap();
    void fadeInContent();

    BoardCanvasModel *m_model;
    BoardCanvasServices m_services;
    QPointer<NoteListVisibility> m_noteList;
    QStackedLayout *m_states = nullptr;
    StudioEmptyState *m_missing = nullptr;
    QStackedWidget *m_headers = nullptr;
    QStackedWidget *m_content = nullptr;
    QToolButton *m_listToggle = nullptr;
    QLineEdit *m_titleField = nullptr;
    QToolButton *m_insertSnip = nullptr;
    InsertSnipListModel *m_insertSnipRows = nullptr;
    InsertSnipPicker *m_insertSnipPicker = nullptr;
    QToolButton *m_favorite = nullptr;
    QToolButton *m_more = nullptr;
    QMenu *m_moreMenu = nullptr;
    QToolButton *m_backToNote = nullptr;
    QLabel *m_mapTitle = nullptr;
    QToolButton *m_snips = nullptr;
    BoardWritingSurface *m_surface = nullptr;
    QWidget *m_mapHost = nullptr;
    QPointer<BoardMap> m_map;
    QWidget *m_keptNotice = nullptr;
    QPointer<QMessageBox> m_alert;
    bool m_isOpen = false;
};

} // namespace tessaline
