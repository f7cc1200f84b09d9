#pragma once

#include <QFrame>
#include <QUuid>

class QLineEdit;
class QListView;

namespace tessaline {

class InsertSnipListModel;

// The Insert Snip picker: a popup with a filter field over a list of the
// library's snips under their section headings. It draws only the rows in
// sight, so it opens as fast over 50,000 cards as over a few.
//
// The field keeps the keyboard: typing narrows the list, Up and Down (and
// the page keys) move among the snips, passing over the headings, Return
// chooses the current snip and Escape closes without choosing. A click
// chooses the snip under the pointer; one outside closes it.
class InsertSnipPicker : public QFrame
{
    Q_OBJECT
public:
    explicit InsertSnipPicker(InsertSnipListModel &rows, QWidget *parent = nullptr);

    // Opens below `anchor` (global coordinates), or above it when the screen
    // has no room below, inside the screen's free area, with an empty field
    // and no snip current; in a large library, some turns of the event loop
    // later.
    void popup(const QRect &anchor);

    // How many of the library's cards are put in order at each turn of the
    // event loop while it opens.
    void setCardsPerTurn(qsizetype cards) { m_cardsPerTurn = cards; }

    QLineEdit *filterField() const { return m_field; }
    QListView *listView() const { return m_list; }
    InsertSnipListModel &rows() const { return m_rows; }
    void setVisible(bool visible) override;

Q_SIGNALS:
    // After the picker has closed.
    void snipChosen(const QUuid &cardID);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void buildList();
    void continueOpening();
    void rowsRebuilt();
    void moveCurrent(int step);
    void setCurrentRow(int row);
    void chooseRow(int row);
    void placeBelow(const QRect &anchor);
    int rowHeight() const;
    int pageRows() const;

    InsertSnipListModel &m_rows;
    QLineEdit *m_field = nullptr;
    QListView *m_list = nullptr;
    QRect m_anchor;
    qsizetype m_cardsPerTurn = 8192;
    // Where an opening is: the snips being ordered, the rows made.
    bool m_opening = false;
    bool m_preparing = false;
    bool m_rowsMade = false;
    // The snip the keys or the pointer made current, and the text the rows
    // were last made for: rows made again for the same text (the library
    // changed while the picker is open) keep that snip current.
    QUuid m_currentCard;
    QString m_rowsText;
};

} // namespace tessaline
