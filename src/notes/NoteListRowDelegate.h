#pragma once

#include <QStyledItemDelegate>

namespace tessaline {

// Paints a row of the note list: the title (with a star for a favourite),
// two lines of excerpt, then the relative date and the snip count. Every
// row has the same height, so a list of thousands scrolls without measuring.
class NoteListRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    static constexpr int outerInset = 8;
    static constexpr int innerPadding = 10;
    static constexpr int verticalPadding = 5;
    static constexpr int lineSpacing = 5;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    static int rowHeight();
};

} // namespace tessaline
