#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

namespace tessaline {

class BoardCanvasModel;
class CanvasCard;

// The rows of the Insert Snip picker: each section's heading followed by its
// snips, in the workspace's order, or the one row "No Snips Available". A
// library of 50,000 cards offers tens of thousands of snips here, so a row
// holds only its card; its title is read when the row is drawn.
//
// Typing narrows the rows to the snips whose display title holds the text,
// ignoring case; a section without any such snip loses its heading. In a
// large library the titles are searched on a worker thread, reading texts
// the context has not read yet from the library file there, so no key waits
// for tens of thousands of titles.
class InsertSnipListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum class RowKind { heading, snip, none };
    enum Role {
        RowKindRole = Qt::UserRole + 1,
        CardIDRole,
        // A heading below another section, drawn with a divider above it.
        FollowsSectionRole,
    };

    explicit InsertSnipListModel(BoardCanvasModel &workspace, QObject *parent = nullptr);
    ~InsertSnipListModel() override;

    // Brings the rows up to the workspace's snips when they may have changed
    // since they were made (its revision says so); otherwise nothing is done.
    void refresh();
    // Works towards a refresh that holds the event loop only briefly,
    // reading at most `cards` of the library's cards a call; true once
    // refresh() has little left to do.
    bool prepareRefresh(qsizetype cards);
    // Whether the rows follow the workspace as it changes; when not, rows of
    // a change are dropped and made again at the next refresh.
    void setLive(bool live);

    QString filterText() const { return m_filterText; }
    void setFilterText(const QString &text);
    // Whether the text narrows the rows (it is not blank).
    bool isFiltered() const;
    // Whether the rows wait for a filtering on the worker.
    bool isFilterPending() const { return m_pendingRound.has_value(); }
    // From this many snips the titles are searched on a worker thread.
    void setLargeLibrary(qsizetype snips) { m_largeLibrary = snips; }

    RowKind rowKind(int row) const;
    CanvasCard *card(int row) const;
    // The snip rows: the first, the last, and the one `step` snips away
    // from `row` (headings are passed over), stopping at either end. -1
    // when there is no snip row.
    int firstSnipRow() const;
    int lastSnipRow() const;
    int snipRowFrom(int row, int step) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

Q_SIGNALS:
    // The rows were made again for a new text or a changed library.
    void rowsRebuilt();

private:
    struct Section
    {
        QString title;
        QList<CanvasCard *> cards;
    };
    struct Row
    {
        RowKind kind;
        // The section's index for a heading, the snip's index in the order
        // of every snip for a snip; for the line that stands in for none,
        // whether a filter left nothing (1) or there is no snip at all (0).
        qsizetype index;
    };
    struct Candidates;

    void workspaceChanged();
    void rebuildRows(const std::optional<QList<qsizetype>> &hits);
    void filterNow(const QString &text);
    void filterInBackground(const QString &text);
    void copyCandidates();
    void searchCandidates(const QString &text, quint64 round);
    void forgetCandidates();
    qsizetype snipCount() const;
    CanvasCard *snipAt(qsizetype index) const;

    BoardCanvasModel &m_workspace;
    std::optional<quint64> m_revision;
    QList<Section> m_sections;
    // Each section's first snip in the order of every snip.
    QList<qsizetype> m_sectionStarts;
    QList<Row> m_rows;
    QString m_filterText;
    // The snips the text matches, as indices in the order of every snip.
    std::optional<QList<qsizetype>> m_hits;
    QString m_hitsText;
    std::shared_ptr<const Candidates> m_candidates;
    // The snips being copied for the worker, a slice at a time.
    std::shared_ptr<Candidates> m_copying;
    qsizetype m_largeLibrary = 2000;
    bool m_live = false;
    quint64 m_filterRound = 0;
    std::optional<quint64> m_pendingRound;
};

} // namespace tessaline
