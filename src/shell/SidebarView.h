#pragma once

#include <QListView>
#include <QPersistentModelIndex>
#include <QStyledItemDelegate>

namespace tessaline {

class AnimatedAmount;
class KeyboardFocusRing;
class NavigationState;
class SidebarModel;

// Paints one sidebar line: a row's symbol, title and count badge (a zero
// count keeps the badge's room and shows nothing) and a section's header.
class SidebarRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    // Paints the rows of `view`, and watches it to know how its focus came.
    explicit SidebarRowDelegate(QAbstractItemView *view);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

    // Where a row of shape `area` writes its title, left of its badge when
    // it has a count.
    static QRect titleRect(const QRect &area, const QVariant &count);
    // The whole title of a row too narrow to show it uncut (a long folder
    // name); empty when it fits.
    static QString titleToolTip(const QString &title, const QRect &area, const QVariant &count);

private:
    KeyboardFocusRing *m_focusRing;
};

// The sidebar list. Its selection is the navigation's destination: picking a
// row sets it, and a destination set elsewhere selects its row (or none).
// The guided tour's ring round a highlighted row is drawn over the list: it
// stands outside the row, over the edges of its neighbours.
class SidebarView : public QListView
{
    Q_OBJECT
public:
    SidebarView(SidebarModel &model, NavigationState &navigation, QWidget *parent = nullptr);

    // The row shown as selected; -1 for none.
    int selectedRow() const;

    // The row the tour's ring stands round, or fades from; -1 for none.
    int tourRingRow() const;
    // 0 (no ring) to 1 (fully shown).
    qreal tourRingOpacity() const;

    // The first line keeps room above it, or the list's top edge would cut
    // the tour's ring off.
    static constexpr int topRingRoom = 4;
    // Where the shape of the row at `row` lies within its item rectangle;
    // the tour's ring stands outside it.
    static QRect rowShape(const QRect &itemRect, int row);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void followTourHighlight();
    void selectDestinationRow();
    void selectionDidChange();

    SidebarModel &m_model;
    NavigationState &m_navigation;
    bool m_syncing = false;
    AnimatedAmount *m_tourRing;
    QPersistentModelIndex m_tourRingRow;
};

} // namespace tessaline
