#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QPointer>
#include <QUuid>
#include <QWidget>

class QLabel;
class QListView;
class QStackedWidget;

namespace tessaline {

class BoardMapModel;
class CanvasCard;
class CardPictures;

// The tray's snips, newest first: one row per unplaced snip of the note.
// A row drags as the card's id in plain text, which the map places.
class SnipTrayModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role { CardIDRole = Qt::UserRole + 1 };

    explicit SnipTrayModel(BoardMapModel &map, QObject *parent = nullptr);

    void refresh();
    CanvasCard *card(const QModelIndex &index) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

private:
    BoardMapModel &m_map;
    QList<QPointer<CanvasCard>> m_cards;
};

// The strip of the note's unplaced snips under the map: a click places a
// snip in the next grid slot, a drag places it where it is dropped.
class SnipTrayView : public QWidget
{
    Q_OBJECT
public:
    SnipTrayView(BoardMapModel &map, CardPictures &pictures, QWidget *parent = nullptr);

    SnipTrayModel &trayModel() const { return *m_model; }
    QListView *list() const { return m_list; }
    QLabel *emptyText() const { return m_empty; }

Q_SIGNALS:
    void closeRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refresh();

    BoardMapModel &m_map;
    SnipTrayModel *m_model;
    QStackedWidget *m_content;
    QListView *m_list;
    QLabel *m_empty;
};

} // namespace tessaline
