#pragma once

#include "library/SearchMatching.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <vector>

namespace tessaline {

class Board;
class CanvasCard;
class PersistentEntity;

// What one search over a screen's lists is made of, kept from one keystroke
// to the next: each note's and card's folded text, the cards grouped under
// their notes, and the candidates for each hit list already in result order.
// Folding (case, accents, width) and decoding a note's writing are most of
// a search's work, sorting and grouping most of the rest; with all of it
// kept, a keystroke only scans texts. Any write to an entity of the lists,
// or its end, drops what was kept for it and regroups the lists; other
// lists than the last ones are grouped afresh.
class SearchCorpus : public QObject
{
    Q_OBJECT
public:
    explicit SearchCorpus(QObject *parent = nullptr);
    ~SearchCorpus() override;

    // The hits of `query` (trimmed, not yet folded) in `scope` over these
    // lists, in result order. A query that extends the last one's folded
    // text over unchanged lists and the same scope only looks again at the
    // last hits: a text holding the longer needle holds the shorter one.
    struct Found
    {
        QHash<QUuid, Board *> boardsByID;
        QHash<QUuid, QList<CanvasCard *>> cardsByBoardID;
        QList<Board *> notes;
        QList<CanvasCard *> snips;
    };
    Found find(const QList<Board *> &boards, const QList<CanvasCard *> &cards, const QString &query, SearchScope scope);

    // Notes and cards whose folded texts are kept.
    qsizetype keptCount() const;

    // A folded text as it is scanned: a byte a unit when every unit fits in
    // one, as nearly all text does once accents are dropped, which halves
    // what each keystroke reads; else as folded.
    class ScanText
    {
    public:
        ScanText() = default;
        explicit ScanText(const QString &folded);
        bool isNarrow() const { return m_wide.isNull(); }
        const QByteArray &narrow() const { return m_narrow; }
        const QString &wide() const { return m_wide; }

    private:
        QByteArray m_narrow;
        QString m_wide;
    };

private:
    friend class SearchResults;
    // For a single search: nothing outlives it, so nothing is watched.
    struct SingleSearch
    {
    };
    explicit SearchCorpus(SingleSearch);

    struct Kept
    {
        ScanText text;
        // A note's title alone: snips are found by their note's title too.
        ScanText title;
        bool folded = false;
        quint32 mark = 0;
    };
    struct NoteEntry
    {
        Board *note;
        ScanText text;
        ScanText title;
        // Into m_searchable: the note's live, non-suggestion cards.
        std::vector<int> cards;
    };
    struct CardEntry
    {
        CanvasCard *card;
        ScanText text;
    };
    struct SnipEntry
    {
        CanvasCard *card;
        int searchable;
        int note;
    };

    bool holdsLists(const QList<Board *> &boards, const QList<CanvasCard *> &cards) const;
    void group(const QList<Board *> &boards, const QList<CanvasCard *> &cards);
    Kept &keep(PersistentEntity &entity);
    void forget(const QObject *entity, bool ended);

    bool m_watches = true;
    QHash<const QObject *, Kept> m_kept;
    quint32 m_mark = 0;

    // Valid while m_grouped holds: the lists they were made from and what
    // was worked out of them.
    bool m_grouped = false;
    QList<Board *> m_boards;
    QList<CanvasCard *> m_cards;
    QHash<QUuid, Board *> m_boardsByID;
    QHash<QUuid, QList<CanvasCard *>> m_cardsByBoardID;
    std::vector<CardEntry> m_searchable;
    std::vector<NoteEntry> m_noteOrder;
    std::vector<SnipEntry> m_snipOrder;

    // The last search over the grouped lists, for narrowing.
    QString m_lastNeedle;
    SearchScope m_lastScope = SearchScope::all;
    std::vector<int> m_lastNotes;
    std::vector<int> m_lastSnips;
};

} // namespace tessaline
