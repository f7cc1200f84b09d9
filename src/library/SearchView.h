#pragma once

#include "library/CompactCardPreview.h"
#include "library/SearchScreenModel.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QPainter;
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
class PaintOverlay;
class SnipImageCache;
class StudioEmptyState;
class StudioSectionHeader;

// The main window's Search screen: one phrase, a scope, and the matching
// notes and snips as tiles, most recently changed first, each grid as tall
// as its hits need. What it shows and does is SearchScreenModel's; this
// draws it and forwards input. The screen searches the window's one kept
// corpus, so showing it reads nothing afresh.
class SearchView : public QWidget
{
    Q_OBJECT
public:
    using Scope = SearchScope;
    // (note id, card id)
    using OpenCardHandler = std::function<void(const QUuid &, const QUuid &)>;

    // Over the library's kept corpus (SearchCorpus::of).
    SearchView(LibraryQuery &library, NavigationState &navigation, OpenCardHandler onOpenCard,
               QWidget *parent = nullptr);
    ~SearchView() override;

    SearchScreenModel &model() const { return *m_model; }
    // The snip tile the guided tour points at wears its ring; none: no ring.
    void setGuidedTour(GuidedTourTarget *tour);
    const CompactCardPreview::TourRing *tourRing() const { return m_tourRing; }
    Scope scope() const { return m_model->scope(); }
    void setScope(Scope scope) { m_model->setScope(scope); }

    void openNote(const Board &note) { m_model->openNote(note); }
    void openSnip(const CanvasCard &card) { m_model->openSnip(card); }

    // The parts a test or the window looks at. The clear button sits
    // inside the field, at its trailing end.
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
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showText();
    void showScope();
    void showResults();
    void openNoteAt(const QModelIndex &index);
    void openSnipAt(const QModelIndex &index);
    void showMenu(QListView *list, const QPoint &position);
    void paintTourRing(QPainter &painter);

    SearchScreenModel *m_model;
    SnipImageCache *m_images;

    QLineEdit *m_field;
    QAction *m_clearAction;
    QToolButton *m_clear = nullptr;
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
    HitListModel *m_noteModel;
    HitListModel *m_snipModel;
    PaintOverlay *m_ringLayer = nullptr;
    CompactCardPreview::TourRing *m_tourRing = nullptr;
};

} // namespace tessaline
