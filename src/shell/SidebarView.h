#pragma once

#include <QListView>
#include <QStyledItemDelegate>

namespace tessaline {

class NavigationState;
class SidebarModel;

// Paints one sidebar line: a row's symbol, title and count badge (a zero
// count keeps the badge's room and shows nothing), a section's header, and
// the guided tour's ring around a highlighted row.
class SidebarRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

// The sidebar list. Its selection is the navigation's destination: picking a
// row sets it, and a destination set elsewhere selects its row (or none).
class SidebarView : public QListView
{
    Q_OBJECT
public:
    SidebarView(SidebarModel &model, NavigationState &navigation, QWidget *parent = nullptr);

    // The row shown as selected; -1 for none.
    int selectedRow() const;

private:
    void selectDestinationRow();
    void selectionDidChange();

    SidebarModel &m_model;
    NavigationState &m_navigation;
    bool m_syncing = false;
};

} // namespace tessaline
