#pragma once

#include <QStyledItemDelegate>

class QAbstractItemView;

namespace tessaline {

// Paints a row of the note list: the title (with a star for a favourite),
// the excerpt on one line or, when it runs on, two, then the relative date
// and the snip count. A row is as tall as its excerpt needs; measuring one
// looks at no more of the excerpt than two lines can show, so a list of
// thousands lays out quickly.
class NoteListRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    static constexpr int outerInset = 8;
    static constexpr int innerPadding = 10;
    static constexpr int verticalPadding = 5;
    static constexpr int lineSpacing = 5;

    // Paints the rows of `view`, and watches it to know how its focus came.
    explicit NoteListRowDelegate(QAbstractItemView *view);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // The height of a row whose excerpt takes one or two lines.
    static int rowHeight(int excerptLines);
    // How many lines (1 or 2) an excerpt takes in a column of text `width`.
    static int excerptLines(const QString &excerpt, qreal width);
    // The width the row's text has in a list whose rows are `rowWidth` wide.
    static qreal textWidth(qreal rowWidth) { return rowWidth - 2 * outerInset - 2 * innerPadding; }
    // The width the title has beside a favourite's star, or without one.
    static qreal titleWidth(qreal rowWidth, bool favorite);
    // The whole title, for a row too narrow to show it uncut; empty when it
    // fits, as the row then says everything already.
    static QString titleToolTip(const QString &title, qreal rowWidth, bool favorite);

    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QAbstractItemView *m_view;
    // Kept apart from the view: the filter also hears the viewport's
    // destruction, when the view is half destroyed and no longer a scroll
    // area whose viewport could be asked for.
    QWidget *m_viewport;
    // The focus ring shows while the keyboard is in use in the list, not
    // after a click, which the selection already answers.
    bool m_keyboardFocus = false;
};

} // namespace tessaline
