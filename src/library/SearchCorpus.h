#pragma once

#include "library/SearchMatching.h"

#include <QDateTime>
#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUuid>

#include <deque>
#include <memory>
#include <vector>

class QThreadPool;

namespace tessaline {

class Board;
class CanvasCard;
class LibraryQuery;
class MappedScratchFile;
class PersistentEntity;

// What one search over a screen's lists is made of, kept from one keystroke
// to the next: each note's and card's folded text, the cards grouped under
// their notes, and the candidates for each hit list already in result order.
// Folding (case, accents, width) and decoding a note's writing are most of
// a search's work, sorting and grouping most of the rest; with all of it
// kept, a keystroke only scans texts. Any write to an entity of the lists,
// or its end, drops what was kept for it and regroups the lists; other
// lists than the last ones are grouped afresh.
//
// A save that only added entities to the library's lists (a capture) reads
// and folds only those; what a large library is grouped by is kept from
// one save to the next, and only the rows of entities written or added are
// read again. Writes taken back (which no write announces) read again every
// entity written since the last save; any other change of the lists reads
// them all again.
//
// The window keeps one corpus over its library for as long as it lives
// (`of`): that one folds on a worker thread, from the moment it is made and
// after every change, so neither showing the Search screen nor the first
// keystroke waits for a pass over every text. The long texts of cards the
// model has not read are read from the library file there, on a connection
// of the worker's own, so they are held once (folded here) and not also by
// the model. What the worker folds of such a library is kept in a scratch
// file beside it and read through memory: file pages, which are in the
// process only while searches read them, and which the kernel may drop when
// memory is short. A search asked for before a large fold is in finds what
// is folded so far; `prepared` then says the hits may have grown.
class SearchCorpus : public QObject
{
    Q_OBJECT
public:
    // Over the lists each `find` is handed; folds as it finds.
    explicit SearchCorpus(QObject *parent = nullptr);
    // Over the library's lists, folded ahead on a worker thread.
    explicit SearchCorpus(LibraryQuery &library, QObject *parent = nullptr);
    ~SearchCorpus() override;

    // The library's one corpus, made on the first call and kept with it.
    static SearchCorpus &of(LibraryQuery &library);

    // The hits of `query` (trimmed, not yet folded) in `scope` over these
    // lists, in result order. A query that extends the last one's folded
    // text over unchanged lists and the same scope only looks again at the
    // last hits: a text holding the longer needle holds the shorter one.
    using Found = SearchHits;
    Found find(const QList<Board *> &boards, const QList<CanvasCard *> &cards, const QString &query, SearchScope scope);
    // Over the followed library's lists.
    Found find(const QString &query, SearchScope scope);
    // The same, worked out on a worker over the texts as last grouped and
    // delivered to `receiver` (FutureDelivery), for a search that must not
    // hold up a frame: any over a large library, whose scan the worker
    // shares among the pool's threads. Finds nothing while nothing is
    // grouped; `prepared` follows once it is.
    QFuture<Found> findInBackground(QObject *receiver, const QString &query, SearchScope scope);

    // Notes and cards whose folded texts are kept.
    qsizetype keptCount() const;
    // What the kept texts and what they are grouped by hold of the heap, in
    // bytes (the hashes' share reckoned from their sizes), and what of the
    // texts is kept in the scratch file instead.
    struct HeldBytes
    {
        qint64 texts = 0;
        qint64 bookkeeping = 0;
        qint64 textsInFile = 0;
    };
    HeldBytes heldBytes() const;
    // Whether every text of the followed library is folded and grouped
    // (always true for a corpus that folds as it finds).
    bool isPrepared() const;
    // Lists of more notes and cards than this are grouped on the worker, and
    // searched as last grouped until that is in; fewer, a search groups them
    // itself.
    void setLargeLibrary(qsizetype entities) { m_largeLibrary = entities; }
    // Whether the followed library's lists are more than that.
    bool isLarge() const;
    // Takes the pages searches have read of the scratch file out of the
    // process, as happens on its own a while after the last search; the
    // texts stay readable.
    void dropFilePages();

    // Where folded texts are kept: bytes on the heap, or a range of the
    // corpus's scratch file read through memory.
    class TextBlock;

    // A folded text as it is scanned: in UTF-8, which for text that is
    // nearly all ASCII once accents are dropped halves what is kept and what
    // each keystroke reads, also when a dash or a quotation mark stands in
    // it. A needle in UTF-8 is found in UTF-8 exactly where it stands in the
    // text, as no character's bytes start inside another's. Text that UTF-8
    // cannot hold (a lone surrogate) stays as folded.
    class ScanText
    {
    public:
        ScanText() = default;
        explicit ScanText(const QString &folded);
        bool isNarrow() const { return !m_wide; }
        QByteArrayView narrow() const { return QByteArrayView(bytes(), m_size); }
        QStringView wide() const { return QStringView(reinterpret_cast<const char16_t *>(bytes()), m_size / 2); }

    private:
        friend class SearchCorpus;
        const char *bytes() const;
        // The texts folded together share one block, so that a library's
        // texts are not each an allocation of their own among the ones
        // made on the way; a block goes once none of its texts is kept. A
        // text kept as folded has a block of its own. Kept for every note
        // and card, so kept small.
        std::shared_ptr<const TextBlock> m_block;
        qint32 m_offset = 0;
        quint32 m_size : 31 = 0;
        quint32 m_wide : 1 = 0;
    };

Q_SIGNALS:
    // Texts folded on the worker are in: the same search may now find more.
    void prepared();

private:
    friend class SearchResults;
    // For a single search: nothing outlives it, so nothing is watched.
    struct SingleSearch
    {
    };
    explicit SearchCorpus(SingleSearch);

    // Kept for every note and card, so kept small.
    struct Kept
    {
        ScanText text;
        quint32 mark = 0;
        // Where the entity stands in the kept rows of a large library; -1
        // for none.
        qint32 row = -1;
        // Counts writes, so a fold of an older state is not taken in.
        quint32 generation : 29 = 0;
        quint32 folded : 1 = 0;
        // Handed to the worker and not back yet.
        quint32 folding : 1 = 0;
        // The library file did not give the card's long texts: the model
        // reads them.
        quint32 textsFromModel : 1 = 0;
        // For the followed library, whose entities are not watched one by
        // one: whether this is still the entity it was kept for.
        QPointer<QObject> entity;
    };
    // What the worker folds for one entity, read on this thread.
    struct Unfolded
    {
        const QObject *entity;
        quint32 generation;
        bool isNote;
        // A note's title, focus question and folder, and its writing.
        QStringList parts;
        QByteArray writingStorage;
        CardSearchFields card;
        // A card whose long texts the model has not read: the worker reads
        // them from this row of the library file, so they are not kept
        // twice (by the model, and folded here).
        qint64 textsRow = 0;
    };
    struct Folded
    {
        const QObject *entity = nullptr;
        quint32 generation = 0;
        ScanText text;
        ScanText title;
        // The row was not there or the file could not be read.
        bool unread = false;
    };
    static Unfolded unfolded(const QObject *key, quint32 generation, const Board *board, const CanvasCard *card,
                             bool textsFromFile);
    // An entity's folded text, and a note's folded title.
    static std::pair<QString, QString> foldedOf(const Unfolded &entity);
    static std::vector<Folded> foldedBatch(std::vector<Unfolded> batch, const QString &filePath,
                                           const std::shared_ptr<MappedScratchFile> &textFile);
    // What grouping reads of a note or card, taken on this thread.
    struct NoteRow
    {
        Board *note;
        QUuid id;
        // The change date as milliseconds since the epoch, an invalid one
        // before every other: a large library's sort compares them tens of
        // thousands of times.
        qint64 updatedAt;
        bool live;
        ScanText text;
        ScanText title;
    };
    struct CardRow
    {
        CanvasCard *card;
        QUuid id;
        QUuid boardID;
        qint64 updatedAt;
        // Live and not a suggestion.
        bool searchable;
        bool snip;
        ScanText text;
    };
    struct Rows
    {
        QList<Board *> boardList;
        QList<CanvasCard *> cardList;
        // In blocks: the kept rows of a large library grow by a capture's
        // card at a time, which must not move (nor double) all the others.
        std::deque<NoteRow> notes;
        std::deque<CardRow> cards;
    };
    struct NoteEntry
    {
        Board *note;
        ScanText text;
        ScanText title;
        // Into `searchable`: the note's live, non-suggestion cards.
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
    // The lists and what was worked out of them; made on any thread, read
    // only once made.
    struct Grouping
    {
        QList<Board *> boards;
        QList<CanvasCard *> cards;
        QHash<QUuid, Board *> boardsByID;
        QHash<QUuid, QList<CanvasCard *>> cardsByBoardID;
        std::vector<CardEntry> searchable;
        std::vector<NoteEntry> noteOrder;
        std::vector<SnipEntry> snipOrder;
    };

    bool holdsLists(const QList<Board *> &boards, const QList<CanvasCard *> &cards) const;
    // Reads the entities of the lists with their kept texts, folding the
    // missing ones when `foldsMissing` says so for their number.
    Rows rowsOf(const QList<Board *> &boards, const QList<CanvasCard *> &cards, bool (*foldsMissing)(qsizetype));
    static std::shared_ptr<const Grouping> grouped(const Rows &rows);
    // The hits over a grouping; narrowing from the last hits when `narrows`
    // says so, which then become these. Reads only the grouping's texts
    // unless the needle spans lines. A large list is shared among the
    // pool's threads when one is given.
    static Found scanned(const Grouping &grouping, const QString &needle, const QString &query, SearchScope scope,
                         bool narrows, std::vector<int> &lastNotes, std::vector<int> &lastSnips, QThreadPool *pool);
    void useGrouping(std::shared_ptr<const Grouping> grouping);
    void regroupInBackground(std::shared_ptr<const Rows> rows);
    NoteRow noteRow(Board *board, const Kept &kept) const;
    static CardRow cardRow(CanvasCard *card, const Kept &kept);
    void forgetUnlisted();
    Kept &keep(PersistentEntity &entity);
    void fold(Kept &kept, const Board *board, const CanvasCard *card);
    void forget(const QObject *entity, bool ended);
    void changedSinceGrouping();
    void entityChanged(int property);
    static bool affectsSearch(const QObject *entity, int property);
    void entityEnded(QObject *entity);
    void schedulePreparation();
    // Walks only what the library's lists gained since the walk's lists
    // when they only gained entities at their ends, and both again
    // otherwise.
    void walkChangedLists();
    // When the lists only lost entities since the walk (a note deleted for
    // good, with its cards) and no walk is under way: forgets those alone
    // and leaves their rows out of the next grouping. False otherwise.
    bool takeOutTaken(const QList<Board *> &boards, const QList<CanvasCard *> &cards);
    // When no walk is under way, the cards only gained some at their end and
    // the notes only gained some anywhere (a new note stands where its sort
    // index puts it): walks those alone. False otherwise.
    bool takeInPutAmong(const QList<Board *> &boards, const QList<CanvasCard *> &cards);
    void startWholeWalk();
    // Brings the kept rows up to date with the entities added or written
    // since.
    void bringRowsUpToDate();
    void prepare();
    void takeFolded(const std::vector<Folded> &folded);
    // Puts an entity's texts, just folded, into its kept row.
    void takeRowTexts(const QObject *entity, const Kept &kept);
    void sendGathered();

    bool m_watches = true;
    LibraryQuery *m_library = nullptr;
    // The followed library's file, which the worker reads unread card texts
    // from; empty for a library held in memory only.
    QString m_filePath;
    // Where the worker keeps what it folds of a library read from a file,
    // beside that file; made when first needed, none when it cannot be.
    std::shared_ptr<MappedScratchFile> m_textFile;
    bool m_textFileTried = false;
    // The blocks kept there, whose pages leave the process a while after
    // the last search read them.
    std::vector<std::weak_ptr<const TextBlock>> m_fileBlocks;
    QTimer m_pagesInUse;
    void searchedFileBlocks();
    bool m_preparationScheduled = false;
    // Where the walk over the library's lists goes on, and what it has
    // gathered for the worker so far. The lists walked, as far as walked:
    // a walk that only has more to walk goes on where it is.
    bool m_walks = false;
    QList<Board *> m_walkBoards;
    QList<CanvasCard *> m_walkCards;
    qsizetype m_boardsWalked = 0;
    qsizetype m_cardsWalked = 0;
    // Notes the lists gained among the walked ones, still to walk.
    QList<Board *> m_boardsPutAmong;
    // The walk under way is over everything, which only a walk over the
    // lists' ends may extend.
    bool m_wholeWalk = false;
    // Entities written since they were folded, between walks.
    QList<const QObject *> m_written;
    std::vector<Unfolded> m_gathered;
    // A large library's rows, read by the walk for the worker to group,
    // and kept for the next grouping; shared with the worker while it
    // groups them, so changed only while it does not. Entities the walks
    // met since they were last brought up to date, in list order, and
    // entities written since, are read into them before they are grouped.
    std::shared_ptr<Rows> m_rows;
    QList<Board *> m_boardsToRow;
    QList<CanvasCard *> m_cardsToRow;
    QSet<const QObject *> m_rowsWritten;
    // Rows of entities taken out of the lists since, each with its entity.
    QList<std::pair<const QObject *, qint32>> m_rowsTaken;
    // Entities written since the last save: writes taken back are among
    // these.
    QSet<const QObject *> m_unsaved;
    int m_batchesFolding = 0;
    QHash<const QObject *, Kept> m_kept;
    // A note's folded title alone, beside its kept text: snips are found by
    // their note's title too. Kept apart so that a card's entry has no room
    // for one.
    QHash<const QObject *, ScanText> m_titles;
    quint32 m_mark = 0;

    // What searches run over; current while m_grouped holds. Lists larger
    // than m_largeLibrary are grouped on the worker, and searched as last
    // grouped until that is in.
    std::shared_ptr<const Grouping> m_grouping;
    bool m_grouped = false;
    // Counts what made the grouping stale, so that one made meanwhile is
    // known as stale when it is in.
    quint64 m_changes = 0;
    bool m_regrouping = false;
    qsizetype m_largeLibrary = 4096;
    // A large library grouped before is grouped again once its lists have
    // been still for a moment, or at once when a search wants it: a save
    // at every note opened (its opening stamp) or keystroke would otherwise
    // regroup every card on the worker while the window draws what follows.
    QTimer m_settling;
    bool m_groupingWanted = false;

    // The last search over the grouping, for narrowing.
    QString m_lastNeedle;
    SearchScope m_lastScope = SearchScope::all;
    std::vector<int> m_lastNotes;
    std::vector<int> m_lastSnips;
};

} // namespace tessaline
