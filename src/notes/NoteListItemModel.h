#pragma once

#include "notes/NoteList.h"

#include <QAbstractListModel>
#include <QDateTime>

#include <functional>

namespace tessaline {

class NotesWorkspaceModel;

// The note list's rows for a list view: one per listed note, in list order.
// A change that keeps the notes and their order updates the rows in place,
// so the selection and the scroll position stay.
class NoteListItemModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role {
        NoteIDRole = Qt::UserRole + 1,
        TitleRole,
        ExcerptRole,
        SnipCountRole,
        FavoriteRole,
        UpdatedAtRole,
        // The change date as the row shows it ("yesterday", "3 hours ago").
        DateTextRole,
    };

    explicit NoteListItemModel(NotesWorkspaceModel &workspace, QObject *parent = nullptr);

    // The moment relative dates are told from; the current time by default.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    // The row of a note, or -1.
    int rowOf(const QUuid &noteID) const;
    const NoteListRow &row(int index) const { return m_rows.at(index); }

    // What a screen reader says for the row: title, excerpt, date and snips.
    static QString accessibleText(const NoteListRow &row, const QString &dateText);

private:
    void follow();

    NotesWorkspaceModel &m_workspace;
    QList<NoteListRow> m_rows;
    std::function<QDateTime()> m_clock;
};

} // namespace tessaline
