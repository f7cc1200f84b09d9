#pragma once

#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/CardDataWriter.h"
#include "model/Connection.h"
#include "model/ModelChangeScope.h"
#include "model/StoreError.h"
#include "platform/Expected.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QSqlError>

class QSqlDatabase;
class QTimer;
class QSqlQuery;

#include <atomic>
#include <memory>
#include <optional>

namespace tessaline {

class ModelContainer;

// The main-thread view of the library: one object per stored row (so screens
// that hold an entity see every change to it), inserts and deletions pending
// until `save`, which writes all of them in one transaction.
//
// Unsaved edits may wait here by design (an editor closed without saving), so
// an operation that fails undoes only its own changes, through a
// ModelChangeScope; rollback() is for the rare caller that means to drop
// every unsaved edit.
//
// The app is the only writer of its store file (one instance per user), so
// once a type has been read, later fetches are answered from the objects in
// memory instead of reading the file again.
class ModelContext : public QObject
{
    Q_OBJECT
public:
    ~ModelContext() override;

    // All entities of a type, saved ones in the order they were first saved,
    // then pending inserts in the order they were inserted; pending
    // deletions are left out.
    Expected<QList<Board *>, StoreError> fetchBoards();
    Expected<QList<CanvasCard *>, StoreError> fetchCards();
    Expected<QList<Connection *>, StoreError> fetchConnections();
    // The cards fetchCards() lists that hold this id, in its order: nearly
    // always one. Found at once, where a walk would look at every card of
    // a large library. Reads the cards first when they were never read,
    // failing as fetchCards() does.
    Expected<QList<CanvasCard *>, StoreError> fetchCards(const QUuid &id);
    // The same over the cards read already, for a reader that holds a list
    // fetchCards() gave: none before the cards were first read.
    QList<CanvasCard *> cardsWithID(const QUuid &id);
    // Moves on whenever fetchCards() may list other cards or another order
    // (an insert, a deletion, either taken back or saved, the cards read
    // again); a card's id written leaves it. A reader whose list was
    // fetched at this count lists what fetchCards() would list now.
    quint64 cardListRevision() const { return m_cards.listRevision; }
    // The notes fetchBoards() lists that hold this id, as fetchCards(id).
    Expected<QList<Board *>, StoreError> fetchBoards(const QUuid &id);

    // The context takes ownership.
    void insert(Board *board);
    void insert(CanvasCard *card);
    void insert(Connection *connection);

    // Writes a large byte value of a card that is yet to be inserted (a
    // capture's picture) into the library file now, on a worker thread, so
    // the save that stores the card, on this thread, writes only light rows.
    // The answer is delivered to the receiver as `deliveredTo` does.
    QFuture<Expected<StagedCardData, StoreError>> stageCardData(QObject *receiver, CanvasCard::Blob blob,
                                                               const QByteArray &bytes);
    // Inserts a card whose bytes were staged; it holds the same bytes, which
    // are what it shows until saved. Its save checks, in the transaction that
    // writes the card, that the staged bytes are there, and fails otherwise.
    void insert(CanvasCard *card, const StagedCardData &staged);
    // A card's large byte value as `CanvasCard` reads it, but read from the
    // library file on the store's worker: megabytes for a capture's picture,
    // which would hold this thread for frames. Delivered to the receiver as
    // `deliveredTo` does.
    QFuture<std::optional<QByteArray>> readCardData(QObject *receiver, const CanvasCard &card, CanvasCard::Blob blob);
    // Removes staged bytes whose card was not saved (an insert undone, a
    // save that failed, a card never inserted); bytes of a saved card stay.
    void discardStagedCardData(const StagedCardData &staged);

    // Deletes for good at the next save. The object stays valid (detached)
    // for as long as the context lives, so a screen holding it cannot crash.
    void remove(PersistentEntity *entity);

    bool hasChanges() const;
    // Also fails, writing nothing, while the library's path does not lead
    // to the file opened; saves go on once it does again.
    // Another program holding the library's write lock is not waited for:
    // the save fails at once, saying so, and everything stays pending.
    Expected<void, StoreError> save(SaveDurability durability = SaveDurability::synced);
    // Whether the last save failed so, for a caller to try again later.
    bool isLockedByAnotherProgram() const { return m_lockedByAnotherProgram; }
    // Syncs what deferred saves wrote, on the store's worker, after any
    // picture being staged there: for a save the user is told of at once
    // (a capture's card), which then neither waits for the disk on this
    // thread nor stays unsynced until the log's next copy. The answer is
    // delivered to the receiver as `deliveredTo` does; a library in memory
    // has nothing to sync.
    QFuture<Expected<void, StoreError>> syncDeferredSaves(QObject *receiver);
    // A library that can only be read: every save with changes, and every
    // staging, fails with this error and writes nothing; the edits wait in
    // memory as after any failed save.
    // The library file; empty for a library held in memory only.
    QString filePath() const;
    bool isReadOnly() const { return m_readOnly.has_value(); }
    void setReadOnly(const std::optional<StoreError> &reason) { m_readOnly = reason; }
    // Drops every unsaved change, whoever made it: pending inserts are
    // detached, pending deletions undone, changed entities get their saved
    // values back. An operation undoing its own failure uses a
    // ModelChangeScope instead.
    void rollback();

    // While on, every save first checks, in the transaction that writes,
    // that the store holds no notes or cards but those this context has
    // read, and fails with writtenElsewhere() when it does, writing nothing.
    // For the first-launch seeding, which another process (a second session
    // of the same user) may be doing in the same library at the same moment.
    void setSavesCheckForOtherWriters(bool on) { m_savesCheckForOtherWriters = on; }
    static StoreError writtenElsewhere();
    // Reads every type that has been read again, taking in the rows another
    // process has written since; the objects in memory stay as they are.
    Expected<void, StoreError> readStoreAgain();
    // Starts reading the stored notes, cards and connections on worker
    // threads, in parts of consecutive rows, each worker through a
    // connection of its own: for the app's start, which has its window to
    // build meanwhile. The workers make the objects of the rows too; the
    // first fetch of a type then takes each part as it comes, and reads a
    // part itself, on this thread's connection, rather than wait. What was
    // read ahead is taken only while nothing has been saved since it began;
    // otherwise, and when any part of it could not be read, the first fetch
    // reads the store itself, as it does without this. Nothing for a library
    // in memory or one that can only be read, nor for a type already read.
    void readAhead();
    // Whether a part of that reading is still going on.
    bool isReadingAhead() const;

    // Bookkeeping of the app's own kept in the library file beside the
    // entities (what a check over the library found the last time it ran);
    // none when absent or unreadable. Written at once, outside any save.
    std::optional<QString> bookkeepingValue(const QString &key) const;
    Expected<void, StoreError> setBookkeepingValue(const QString &key, const QString &value);

    // Cards whose text is yet to be recognised, marked in the library so a
    // capture whose text was not read before the app ended (quit, crash) is
    // read at its next start. A mark set or cleared here is written by the
    // next save, in the transaction that writes the card's row (its insert,
    // or an update), and is dropped when that save fails; a card deleted for
    // good loses its mark in the same save.
    void setTextRecognitionPending(const CanvasCard &card, bool pending);
    // Clears the mark outside any save: for a card whose text can never be
    // read (its picture is gone or cannot be decoded), or whose text is
    // stored and in the desktop's index. Its sync is deferred
    // (SaveDurability): lost, the mark only has the picture read again. So
    // it never waits for the library's write lock: while another connection
    // holds it (a capture's picture being written), the mark is cleared a
    // moment later, unless the card is marked again meanwhile. Any other
    // failure is returned, and the mark is tried again with the next.
    Expected<void, StoreError> clearTextRecognitionPending(const CanvasCard &card);
    // The marked cards, oldest first. Marks whose card is gone (deleted by
    // a version of the app that knew no marks) are cleared on the way. One
    // small query over the marks alone, never over the cards; a library that
    // can only be read and predates the marks owes none.
    Expected<QList<QUuid>, StoreError> textRecognitionsPending();

    // Writing texts of a note kept aside before something replaced them (text
    // that could not be read, words a repair dropped), oldest first: the
    // stored records, then those waiting for the next save. A note's screen
    // offers these back; while the note's own text cannot be read
    // (Board::hasUnreadableWriting) that text is still the note's and is
    // offered from the note itself.
    Expected<QList<WritingRecovery>, StoreError> writingRecoveries(const QUuid &boardID);

    // For tests: the next fetch (of any type) or save fails with this error,
    // changing nothing.
    void failNextFetch(const StoreError &error);
    void failNextSave(const StoreError &error);
    // The next stageCardData fails with this error, writing nothing.
    void failNextStaging(const StoreError &error);

    // How long the library stays without a save before its log is copied
    // into the file and emptied.
    void setIdleCheckpointDelay(int milliseconds);

Q_SIGNALS:
    // After every successful save: screens re-read what they show.
    void didSave();
    // Every write of a stored property of an entity of this context, as the
    // entity's own `changed`: for a reader that follows every entity of the
    // library, which would otherwise need a connection to each.
    void entityWritten(tessaline::PersistentEntity *entity, int property);
    // Unsaved writes were taken back (an operation's own after its save
    // failed, or all of them by rollback): entities have their earlier
    // values again, which no entityWritten announces.
    void writesTakenBack();

private:
    // Clears the marks in m_marksToClear if the write lock is free now.
    Expected<void, StoreError> clearWaitingMarks();
    static constexpr int markClearRetryMs = 50;
    friend class ModelContainer;
    friend class ModelChangeScope;
    friend class PersistentEntity;
    friend class CanvasCard;

    explicit ModelContext(const QString &connectionName, QObject *parent = nullptr);

    // A part of the reading ahead (a run of one table's rows), read once:
    // by a worker, or by this thread when it needs the rows first.
    struct ReadAheadPart;
    template <typename T>
    struct TablePartReadAhead;
    // Every part of one reading ahead, in the order they are wanted, shared
    // by the workers that go through them on a connection each.
    struct ReadAheadWork;

    // A run of a table's rows read ahead, made into entities where they
    // were read, in row order; with the store's error when it could not be
    // read to its end. The entities are the holder's children, on this
    // context's thread.
    template <typename T>
    struct RowsReadAhead
    {
        std::unique_ptr<QObject> holder;
        QList<T *> entities;
        QString error;
    };
    // An entity made of a stored row, for `context`, which is not told of
    // it: on any thread.
    template <typename T>
    static T *entityOfRow(ModelContext *context, QObject *parent, qint64 row, typename T::Values &&values);

    template <typename T>
    struct Table
    {
        bool loaded = false;
        QList<T *> saved; // in row order
        QList<T *> inserted; // pending, in insertion order
        // Consecutive runs of rows being read ahead, each with the work of
        // reading it (for this thread to take over while no worker has),
        // and the count of saves when they began.
        struct Part
        {
            QFuture<RowsReadAhead<T>> rows;
            std::shared_ptr<ReadAheadPart> work;
        };
        QList<Part> ahead;
        quint64 aheadSince = 0;
        // Every entity of the table by its id, saved or pending, those
        // marked for deletion until the save lets go of them; the later
        // entities of an id held more than once in the second. Followed
        // through inserts, deletions and their undoing; an id written,
        // writes taken back or the table read again have it made whole
        // when next asked.
        QHash<QUuid, T *> byID;
        QMultiHash<QUuid, T *> laterByID;
        bool idsKnown = false;
        // Moves on whenever the listing of the table may change.
        quint64 listRevision = 0;
    };

    void entityWillChange(PersistentEntity *entity);
    void entityDidChange(PersistentEntity *entity);
    void recordStep(const ModelChangeScope::Step &step);
    void undo(const QList<ModelChangeScope::Step> &steps,
              const QHash<PersistentEntity *, ModelChangeScope::Snapshot> &snapshots);
    // Calls `action` with the table of the entity's type and the entity.
    template <typename Action>
    void withTable(PersistentEntity *entity, Action action);
    std::optional<QByteArray> loadBlob(const CanvasCard *card, CanvasCard::Blob which) const;
    // Reads the long texts of a card whose texts are yet unread.
    void readCardTexts(CanvasCard *card);
    // The texts of every card of the note not read yet, in one go.
    void readNoteCardTexts(const QUuid &noteID);
    std::optional<StoreError> takeInjectedFetchFailure();

    template <typename T>
    Expected<QList<T *>, StoreError> fetch(Table<T> &table);
    template <typename T>
    Expected<void, StoreError> readIfNeverRead(Table<T> &table);
    // The table's entities that fetch() lists holding this id, in its order.
    template <typename T>
    QList<T *> withID(Table<T> &table, const QUuid &id);
    // Keeping a table's index by id: an entity taken into the context or
    // let go of it, and a write (an id written).
    template <typename T>
    static void index(Table<T> &table, T *entity);
    template <typename T>
    static void unindex(Table<T> &table, T *entity);
    void followWrite(PersistentEntity *entity, int property);
    template <typename T>
    static void separateSharedIDs(const QList<T *> &rows);
    template <typename T>
    Expected<void, StoreError> loadTable(Table<T> &table);
    // Found damaged as it is read: the library is written no more, as one
    // that can only be read. What to tell the user.
    StoreError stopWritingDamagedLibrary();
    // In parts of about `rowsPerPart` rows; one part for none. The parts
    // are added to `work`.
    template <typename T>
    void startReadingAhead(Table<T> &table, ReadAheadWork &work, qint64 rowsPerPart);
    // Hands every part read ahead, in row order, to `take`, waiting for the
    // parts still being read; false when they cannot be taken (something
    // saved since, a part that could not be read), with some parts perhaps
    // handed over already.
    template <typename T, typename Take>
    bool takeReadAhead(Table<T> &table, Take take);
    template <typename T>
    void adopt(Table<T> &table, T *entity);
    // Entities whose own row the store refused (a constraint of the table)
    // are left out and named in `refused`, with the first refusal's reason;
    // the rest is written.
    struct Refusals
    {
        QSet<PersistentEntity *> entities;
        QString reason;
    };
    Expected<void, StoreError> writeChanges(QHash<PersistentEntity *, qint64> &newRows, Refusals &refused);
    // 0 when the store refused the card's row.
    Expected<qint64, StoreError> insertStagedCard(const QSqlDatabase &db, CanvasCard *card,
                                                  const StagedCardData &staged, Refusals &refused);
    CardDataWriter *cardDataWriter();
    // Whether the store still holds exactly the rows of `table` read last.
    template <typename T>
    Expected<bool, StoreError> storeHoldsWhatWasRead(const Table<T> &table) const;
    // Fails when another copy of the app wrote the store since it was read.
    Expected<void, StoreError> otherWriterCheck();
    // Taken when the library is opened for writing: the file its path led
    // to then.
    void rememberLibraryFile();
    // Fails when the path no longer leads to that file (the file or its
    // folder deleted, moved away or put in its place by another).
    Expected<void, StoreError> libraryFileCheck() const;

    QString m_connectionName;
    Table<Board> m_boards;
    Table<CanvasCard> m_cards;
    Table<Connection> m_connections;
    QSet<PersistentEntity *> m_dirty;
    QList<PersistentEntity *> m_removed;
    std::optional<StoreError> m_failNextFetch;
    std::optional<StoreError> m_failNextSave;
    std::optional<StoreError> m_failNextStaging;
    // Pending inserts whose bytes were staged, by card.
    QHash<CanvasCard *, StagedCardData> m_staged;
    // Made at the first staging; none for a library in memory.
    std::unique_ptr<CardDataWriter> m_cardDataWriter;
    bool m_savesCheckForOtherWriters = false;
    std::optional<StoreError> m_readOnly;
    // The library file's path, device and inode when it was opened.
    struct LibraryFile
    {
        QByteArray path;
        quint64 device = 0;
        quint64 inode = 0;
    };
    std::optional<LibraryFile> m_libraryFile;
    QTimer *m_idleCheckpoint = nullptr;
    // Rows were deleted for good since the log's file was last emptied.
    bool m_logHoldsRemovedRows = false;
    bool m_lockedByAnotherProgram = false;
    // Whether a picture was written ahead in this session: the log then
    // keeps room for the next one when it is copied into the file.
    bool m_picturesStaged = false;
    std::unique_ptr<QSqlQuery> m_cardTextQuery;
    // The row of the card whose texts were read last, and how many reads in
    // a row went past the one before.
    qint64 m_lastCardTextRow = 0;
    int m_cardTextRun = 0;
    // The note of the card whose texts were read last, and how many reads
    // in a row, that one included, were of its cards.
    QUuid m_lastCardTextNote;
    int m_noteTextRun = 0;
    QList<ModelChangeScope *> m_scopes; // open, oldest first
    // Successful saves with changes, for telling rows read ahead from stale.
    quint64 m_saves = 0;
    // Every reading ahead begun, for the workers to be stopped when this goes.
    QList<std::shared_ptr<ReadAheadWork>> m_readAheadWork;
    // Recognition marks for the next save to write (true) or clear, by card.
    QHash<const CanvasCard *, bool> m_recognitionMarks;
    // Card rows whose marks wait for the write lock, tried again on a timer.
    QSet<qint64> m_marksToClear;
    QTimer *m_markClearRetry = nullptr;
};

} // namespace tessaline
