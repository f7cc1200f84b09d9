#pragma once

#include "library/SearchMatching.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QModelIndex;
class QScrollArea;
class QToolButton;
class QVBoxLayout;

namespace tessaline {

class Board;
class CanvasCard;
class HitListModel;
class LibraryQuery;
class NavigationState;
class SearchCorpus;
class SnipImageCache;
class StudioEmptyState;
class StudioSectionHeader;

// The main window's Search screen: one phrase, a scope, and the matching
// notes and snips as tiles, most recently changed first. The phrase lives in
// the navigation state, so it outlasts the screen; the hits follow the
// library's live lists. Opening a note switches the window to it; opening a
// snip goes through the window's open-card handler.
class SearchView : public QWidget
{
    Q_OBJECT
public:
    using Scope = SearchScope;
    // (note id, card id)
    using OpenCardHandler = std::function<void(const QUuid &, const QUuid &)>;

    SearchView(LibraryQuery &library, NavigationState &navigation, OpenCardHandler onOpenCard,
               QWidget *parent = nullptr);
    ~SearchView() override;

    Scope scope() const { return m_scope; }
    void setScope(Scope scope);

    // The hits for the current lists, text and scope, worked out anew over
    // the screen's kept search texts.
    SearchResults results() const;

    void openNote(const Board &note);
    void openSnip(const CanvasCard &card);

    // The parts a test or the window looks at.
    QLineEdit *searchField() const { return m_field; }
    QToolButton *clearButton() const { return m_clear; }
    QToolButton *scopeButton(Scope scope) const;
    QLabel *subtitleLabel() const { return m_subtitle; }
    StudioEmptyState *emptyState() const { return m_emptyState; }
    StudioSectionHeader *resultHeader() const { return m_resultHeader; }
    StudioSectionHeader *notesHeader() const { return m_notesHeader; }
    StudioSectionHeader *snipsHeader() const { return m_snipsHeader; }
    QListView *noteList() const { return m_noteList; }
    QListView *snipList() const { return m_snipList; }

    // The tile's context menu, with its one open item; null off the tiles.
    QMenu *contextMenu(QListView *list, const QModelIndex &index);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void rebuild();
    void openNoteAt(const QModelIndex &index);
    void openSnipAt(const QModelIndex &index);
    void showMenu(QListView *list, const QPoint &position);

    LibraryQuery &m_library;
    NavigationState &m_navigation;
    OpenCardHandler m_onOpenCard;
    Scope m_scope = Scope::all;
    SnipImageCache *m_images;

    QLineEdit *m_field;
    QToolButton *m_clear;
    QList<QToolButton *> m_scopeButtons;
    QLabel *m_subtitle;
    StudioEmptyState *m_emptyState;
    StudioSectionHeader *m_resultHeader;
    StudioSectionHeader *m_notesHeader;
    StudioSectionHeader *m_snipsHeader;
    QWidget *m_notesSection;
    QWidget *m_snipsSection;
    QListView *m_noteList;
    QListView *m_snipList;
    SearchCorpus *m_corpus;
    // What the lists show; their rows are made from it as they are painted.
    std::shared_ptr<const SearchResults> m_found;
    HitListModel *m_noteModel;
    HitListModel *m_snipModel;
};

} // namespace tessaline
