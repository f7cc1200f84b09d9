#include "notes/NoteListItemModel.h"

#include "notes/NotesWorkspaceModel.h"
#include "platform/TextUtilities.h"

#include <utility>

namespace tessaline {

namespace {

QString counted(qint64 count, const QString &one, const QString &many)
{
    return count == 1 ? one : many.arg(count);
}

} // namespace

NoteListItemModel::NoteListItemModel(NotesWorkspaceModel &workspace, QObject *parent)
    : QAbstractListModel(parent)
    , m_workspace(workspace)
    , m_rows(workspace.rows())
    , m_clock([] { return QDateTime::currentDateTimeUtc(); })
{
    connect(&m_workspace, &NotesWorkspaceModel::rowsChanged, this, &NoteListItemModel::follow);
}

void NoteListItemModel::follow()
{
    const QList<NoteListRow> &rows = m_workspace.rows();
    bool sameNotes = rows.size() == m_rows.size();
    for (qsizetype i = 0; sameNotes && i < rows.size(); ++i)
        sameNotes = rows.at(i).id == m_rows.at(i).id;
    if (!sameNotes) {
        beginResetModel();
        m_rows = rows;
        endResetModel();
        return;
    }
    // A row is as tall as its excerpt: a changed excerpt lays the list out
    // again, anything else only redraws it.
    bool excerptsChanged = false;
    for (qsizetype i = 0; !excerptsChanged && i < rows.size(); ++i)
        excerptsChanged = rows.at(i).excerpt != m_rows.at(i).excerpt;
    if (excerptsChanged) {
        Q_EMIT layoutAboutToBeChanged();
        m_rows = rows;
        Q_EMIT layoutChanged();
        return;
    }
    // Each row that changed on its own: after a capture, the note it went
    // into, not the whole list.
    const QList<NoteListRow> before = std::exchange(m_rows, rows);
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i) == before.at(i))
            continue;
        qsizetype last = i;
        while (last + 1 < m_rows.size() && !(m_rows.at(last + 1) == before.at(last + 1)))
            ++last;
        Q_EMIT dataChanged(index(int(i)), index(int(last)));
        i = last;
    }
}

int NoteListItemModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant NoteListItemModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const NoteListRow &row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case TitleRole:
        return row.title;
    case NoteIDRole:
        return row.id;
    case ExcerptRole:
        return row.excerpt;
    case SnipCountRole:
        return row.snipCount;
    case FavoriteRole:
        return row.isFavorite;
    case UpdatedAtRole:
        return row.updatedAt;
    case DateTextRole:
        return relativeTimeText(row.updatedAt, m_clock());
    case Qt::AccessibleTextRole:
        return accessibleText(row, relativeTimeText(row.updatedAt, m_clock()));
    default:
        return {};
    }
}

QHash<int, QByteArray> NoteListItemModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names[NoteIDRole] = "noteID";
    names[TitleRole] = "title";
    names[ExcerptRole] = "excerpt";
    names[SnipCountRole] = "snipCount";
    names[FavoriteRole] = "favorite";
    names[UpdatedAtRole] = "updatedAt";
    names[DateTextRole] = "dateText";
    return names;
}

int NoteListItemModel::rowOf(const QUuid &noteID) const
{
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).id == noteID)
            return int(i);
    }
    return -1;
}

QString NoteListItemModel::accessibleText(const NoteListRow &row, const QString &dateText)
{
    QStringList parts{row.title};
    if (row.isFavorite)
        parts.append(QStringLiteral("Favorite"));
    parts.append(row.excerpt);
    parts.append(dateText);
    if (row.snipCount > 0)
        parts.append(counted(row.snipCount, QStringLiteral("1 snip"), QStringLiteral("%1 snips")));
    return parts.join(QStringLiteral(", "));
}

} // namespace tessaline
