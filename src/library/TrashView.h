#pragma once

#include "library/CompactCardPreview.h"
#include "library/TileFaces.h"
#include "library/TrashModel.h"

#include <QHash>
#include <QListView>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QUuid>
#include <QWidget>

class QMenu;
class QMessageBox;

namespace tessaline {

class GuidedTourTarget;
class SnipImageCache;
class StudioEmptyState;
class StudioSectionHeader;

// One grid of trash tiles, tall enough for all its rows so the screen's own
// scroll area scrolls it; only the tiles in view are painted. Each tile has
// a Restore button and, when allowed, a Delete Permanently button under it.
class TrashGridView : public QListView
{
    Q_OBJECT
public:
    TrashGridView(TrashItemModel *model, int minimumWidth, int maximumWidth, int spacing, bool showsDelete,
                  QWidget *parent = nullptr);

    TrashItemModel::Section section() const;
    bool showsDelete() const { return m_showsDelete; }
    int tileWidth() const { return m_tileWidth; }
    int spacing() const { return m_spacing; }

    // Where a row's tile and buttons lie, in viewport coordinates.
    QRect tileRect(int row) const;
    QRect restoreButtonRect(int row) const;
    // Empty when the grid shows no delete control.
    QRect deleteButtonRect(int row) const;
    // The mark of a kept assistant suggestion; empty on other tiles.
    QRect markRect(const QModelIndex &index) const;
    // The height of a row's tile: the tallest of its line of the grid, so
    // the Restore rows of one line lie level.
    int tileHeight(int row) const;
    // A snip's picture with its annotations as its tile shows it; null
    // while it loads and when it cannot be drawn (the placeholder shows).
    QPixmap picture(int row) const;
    // Where those pictures are made (the cards grid only).
    SnipImageCache *pictures() const { return m_pictures; }
    // The guided tour's ring over the card tiles (the cards grid only).
    CompactCardPreview::TourRing *tourRing() const { return m_tourRing; }

    QSize sizeHint() const override;
    // As tall as its lines of tiles at that width, so the screen's layout
    // gives it its height in the same pass that gives it its width.
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    // Where the pointer was when painting began, in viewport coordinates.
    QPoint pointer() const { return m_pointer; }

Q_SIGNALS:
    void openRequested(int row);
    void restoreRequested(int row);
    void deleteRequested(int row);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void relayout(bool tilesChanged);
    int columnsFor(int width) const;
    // The height of all lines of tiles laid out in `columns`; each tile's
    // height into `tileHeights` when given.
    int linesHeight(int columns, QList<int> *tileHeights) const;
    bool isSnip(int row) const;
    void pictureArrived(const QUuid &cardID);

    int m_minimumWidth;
    int m_maximumWidth;
    int m_spacing;
    bool m_showsDelete;
    int m_tileWidth;
    QList<int> m_tileHeights;
    // The height of the lines as last laid out, and for how many columns.
    int m_columns = 0;
    int m_linesHeight = 0;
    // Outside every tile until the first paint.
    QPoint m_pointer{-1, -1};
    SnipImageCache *m_pictures = nullptr;
    // The row each card's picture was last asked for at.
    mutable QHash<QUuid, int> m_pictureRows;
    CompactCardPreview::TourRing *m_tourRing = nullptr;
};

// Paints a deleted note or card as its tile with the button row under it.
class TrashTileDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    static constexpr int buttonRowHeight = 28;
    static constexpr int buttonGap = 7;

    explicit TrashTileDelegate(TrashGridView *view);

    // The height of a tile alone, without the button row, before its line
    // of the grid evens it out.
    static int tileHeight(TrashItemModel::Section section, bool isSnip);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    void paintBoard(QPainter *painter, const QRect &tile, const QStyleOptionViewItem &option,
                    const QModelIndex &index) const;
    void paintCard(QPainter *painter, const QRect &tile, const QStyleOptionViewItem &option, int row,
                   bool isHovered) const;

    TrashGridView *m_view;
    // A note tile's face and border, the same for every tile at rest.
    TileFaces m_faces{8};
};

// The Recently Deleted screen: deleted notes and cards as tiles that open,
// restore or, after "Delete Permanently?", purge them. Every change goes
// through the actions the main window hands in.
class TrashView : public QWidget
{
    Q_OBJECT
public:
    TrashView(LibraryQuery &library, TrashModel::Actions actions, QWidget *parent = nullptr);

    TrashModel *model() const { return m_model; }
    StudioSectionHeader *header() const { return m_header; }
    StudioEmptyState *emptyState() const { return m_emptyState; }
    QWidget *boardsSection() const { return m_boardsSection; }
    QWidget *cardsSection() const { return m_cardsSection; }
    TrashGridView *boardsGrid() const { return m_boardsGrid; }
    TrashGridView *cardsGrid() const { return m_cardsGrid; }
    // The open confirmation, null while none waits.
    QMessageBox *confirmation() const { return m_confirmation; }

    // The context menu of a tile, as shown on a right click.
    QMenu *makeContextMenu(TrashItemModel::Section section, int row, QWidget *parent);
    // The tour whose last step lights up a card tile; none: no tile is lit.
    void setGuidedTour(GuidedTourTarget *tour);

private:
    void syncContents();
    // Brings the sections' layouts, and those around them up to the scroll
    // area, up to date now.
    void settleLayouts();
    void syncConfirmation();
    TrashGridView *gridFor(TrashItemModel::Section section) const;

    TrashModel *m_model;
    StudioSectionHeader *m_header;
    StudioEmptyState *m_emptyState;
    QWidget *m_boardsSection;
    QWidget *m_cardsSection;
    TrashGridView *m_boardsGrid;
    TrashGridView *m_cardsGrid;
    QPointer<QMessageBox> m_confirmation;
};

} // namespace tessaline
