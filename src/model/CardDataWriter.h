#pragma once

#include "model/CanvasCard.h"
#include "model/StoreError.h"
#include "platform/Expected.h"

#include <QByteArray>
#include <QFuture>
#include <QString>

#include <memory>
#include <optional>

class QObject;

namespace tessaline {

class SerialExecutor;

// Bytes of a card written into the library ahead of the card itself, under
// the card row they were given. A row of 0 means nothing was written ahead
// (a library in memory): the card's save writes the bytes as usual.
struct StagedCardData
{
    qint64 cardRow = 0;
    CanvasCard::Blob blob = CanvasCard::OriginalImageBlob;

    friend bool operator==(const StagedCardData &, const StagedCardData &) = default;
};

// Writes a card's large bytes (a capture's picture) into the library file
// before the card is saved, on a worker thread with a connection of its
// own: copying megabytes into the file and syncing them would hold the main
// thread for several frames. The bytes go under a card row reserved in the
// same transaction (the card table's row counter is moved past it), so no
// card saved meanwhile, by this process or another, can take that row.
//
// Also copies the write-ahead log into the file (the checkpoint) off the
// main thread, when asked and after a discard, unless another picture
// waits to be written (the save of its card asks again): after a picture
// that copy costs as much as writing it, and SQLite would otherwise do it
// inside whichever commit crossed the log's limit, the main thread's too.
class CardDataWriter
{
public:
    explicit CardDataWriter(const QString &filePath);
    // A write that has begun is finished; those not begun are dropped, and
    // their futures finish cancelled.
    ~CardDataWriter();

    CardDataWriter(const CardDataWriter &) = delete;
    CardDataWriter &operator=(const CardDataWriter &) = delete;

    // Stores the bytes in one transaction, synced to disk before the answer
    // is delivered to the receiver as `deliveredTo` does. On failure nothing
    // is stored.
    QFuture<Expected<StagedCardData, StoreError>> write(QObject *receiver, CanvasCard::Blob blob,
                                                       const QByteArray &bytes);
    // Removes bytes written ahead whose card was not saved; bytes a card
    // holds by now stay.
    void discard(const StagedCardData &staged);
    void checkpoint();
    // Whether a job that may take the library's write lock is waiting or
    // under way: a save on another connection then waits for the lock, as
    // it does not for another program's.
    bool mayHoldWriteLock() const;
    // Makes what the library's other connections committed to the log
    // without a sync (a deferred save) survive a power loss, after the
    // writes handed over before it. Answers, to the receiver as
    // `deliveredTo` does, whether the disk took it.
    QFuture<Expected<void, StoreError>> syncLog(QObject *receiver);
    // Copies the whole log into the file and starts the log over, for when
    // the library has gone quiet. The log's file is cut back to the size
    // limit by the next write rather than emptied: the next picture then
    // overwrites blocks the file already has. Waits for readers of the log
    // to be done, here on the worker thread.
    void checkpointAndTruncate();
    // Copies the whole log into the file and empties the log's file, as
    // checkpointAndTruncate() does not: the pages of rows deleted for good
    // are gone from it then. Answers, to the receiver as `deliveredTo`
    // does, whether it got that far; a reader still in the log stops it.
    QFuture<bool> emptyLog(QObject *receiver);
    // Reads a card's bytes as the file holds them, on the worker, delivered
    // to the receiver as `deliveredTo` does; none when there are none.
    QFuture<std::optional<QByteArray>> read(QObject *receiver, qint64 cardRow, CanvasCard::Blob blob);

private:
    struct Worker;
    std::shared_ptr<Worker> m_worker;
    std::unique_ptr<SerialExecutor> m_executor;
};

} // namespace tessaline
