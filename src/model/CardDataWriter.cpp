#include "model/CardDataWriter.h"

#include "model/StoreSchema.h"
#include "platform/FileSync.h"
#include "platform/FileWriteback.h"
#include "platform/SerialExecutor.h"
#include "platform/SqliteRows.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QScopeGuard>
#include <QTimer>
#include <QUuid>
#include <QVariant>

#include <atomic>

namespace tessaline {
namespace {

StoreError writeFailure(const QString &reason)
{
    return StoreError{QStringLiteral("The library could not be written: %1").arg(reason)};
}

// SQLite's own page cache size, in KiB, which the connection keeps between
// pictures.
constexpr qint64 defaultCacheKiB = 2000;

// How long the page cache stays large after a picture. Its pages are
// fresh memory each time it grows again: at 5K a third of the next
// picture's write went on faulting them in and, when it shrank, on
// unmapping them (which interrupts every processor, the main thread's
// included). Kept a few seconds, a series of captures writes into pages it
// already has, also when each waits for the last one's words (5 s and more
// on a busy machine); an idle app gives them back within ten seconds.
constexpr int keepLargeCacheMs = 8000;

// The connection's page cache made large enough for a picture and its
// pages' headers while it lives; back to its usual size after, its pages
// let go.
class CacheForPicture
{
public:
    explicit CacheForPicture(const QSqlDatabase &db) : m_db(db) {}
    ~CacheForPicture()
    {
        if (m_kib == 0)
            return;
        QSqlQuery pragma(m_db);
        pragma.exec(QStringLiteral("PRAGMA cache_size = -%1").arg(defaultCacheKiB));
        pragma.exec(QStringLiteral("PRAGMA shrink_memory"));
    }
    CacheForPicture(const CacheForPicture &) = delete;
    CacheForPicture &operator=(const CacheForPicture &) = delete;

    // Grows to hold `bytes`; a cache already as large stays as it is.
    void holdPicture(qsizetype bytes)
    {
        const qint64 kib = qint64(bytes) / 1024 * 9 / 8 + defaultCacheKiB;
        if (kib <= defaultCacheKiB * 2 || kib <= m_kib)
            return;
        m_kib = kib;
        QSqlQuery(m_db).exec(QStringLiteral("PRAGMA cache_size = -%1").arg(kib));
    }

private:
    QSqlDatabase m_db;
    qint64 m_kib = 0;
};

} // namespace

// Lives on the worker thread: its connection belongs there.
struct CardDataWriter::Worker
{
    QString filePath;
    // Pictures handed over and not yet being written.
    std::atomic<int> writesWaiting{0};
    // Jobs handed over that may take the write lock and have not ended.
    std::atomic<int> lockingJobs{0};
    QString connectionName = QStringLiteral("tessaline-card-data-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    bool added = false;
    // Set up for the picture being written. The writeback ends with the
    // job after the write, so the answer reaches the main thread first; the
    // cache goes once no picture has come for a while.
    std::optional<CacheForPicture> pictureCache;
    std::optional<FileWriteback> pictureWriteback;
    quint64 picturesWritten = 0;

    void endPictureWrite(const std::shared_ptr<Worker> &self)
    {
        pictureWriteback.reset();
        // On this thread, whose event loop runs the jobs.
        QTimer::singleShot(keepLargeCacheMs, [weak = std::weak_ptr<Worker>(self), written = picturesWritten] {
            const auto worker = weak.lock();
            if (worker && worker->picturesWritten == written && worker->writesWaiting == 0)
                worker->pictureCache.reset();
        });
    }

    Expected<QSqlDatabase, StoreError> database()
    {
        if (!added) {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
            db.setDatabaseName(filePath);
            added = true;
        }
        QSqlDatabase db = QSqlDatabase::database(connectionName, false);
        if (db.isOpen())
            return db;
        if (!db.open())
            return unexpected(writeFailure(storeschema::failureReason(db.lastError())));
        QSqlQuery pragma(db);
        // The same promise as the main connection's saves: what is reported
        // stored survives a power loss.
        pragma.exec(QStringLiteral("PRAGMA synchronous = FULL"));
        // Pictures it takes back are overwritten, as the main connection's are.
        pragma.exec(QStringLiteral("PRAGMA secure_delete = ON"));
        pragma.exec(QStringLiteral("PRAGMA wal_autocheckpoint = 0"));
        pragma.exec(QStringLiteral("PRAGMA journal_size_limit = %1").arg(storeschema::journalSizeLimit));
        return db;
    }

    Expected<StagedCardData, StoreError> write(CanvasCard::Blob blob, const QByteArray &bytes)
    {
        auto opened = database();
        if (!opened)
            return unexpected(opened.error());
        QSqlDatabase &db = *opened;
        QSqlQuery query(db);
        auto failed = [&](const QSqlQuery &failing) -> Expected<StagedCardData, StoreError> {
            const QString reason = storeschema::failureReason(failing.lastError());
            db.rollback();
            return unexpected(writeFailure(reason));
        };
        // The commit leaves the log unsynced and the log is synced after
        // it, outside the write lock: the main thread's saves wait for that
        // lock, and a slow disk's sync would add to their wait. The answer
        // still comes only once the disk has the picture.
        QSqlQuery(db).exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
        const auto syncedAfter = qScopeGuard([&db] { QSqlQuery(db).exec(QStringLiteral("PRAGMA synchronous = FULL")); });
        // The write lock first: the row is read and reserved in one step.
        if (!query.exec(QStringLiteral("BEGIN IMMEDIATE")))
            return unexpected(writeFailure(storeschema::failureReason(query.lastError())));
        // The row a card would get next, as the table's AUTOINCREMENT picks it.
        if (!query.exec(QStringLiteral("SELECT MAX(IFNULL((SELECT seq FROM sqlite_sequence WHERE name = 'CanvasCard'), 0), "
                                       "IFNULL((SELECT MAX(row) FROM CanvasCard), 0)) + 1"))
            || !query.next())
            return failed(query);
        const qint64 row = query.value(0).toLongLong();
        query.finish();
        query.prepare(QStringLiteral("UPDATE sqlite_sequence SET seq = ? WHERE name = 'CanvasCard'"));
        query.addBindValue(row);
        if (!query.exec())
            return failed(query);
        if (query.numRowsAffected() == 0) {
            query.prepare(QStringLiteral("INSERT INTO sqlite_sequence (name, seq) VALUES ('CanvasCard', ?)"));
            query.addBindValue(row);
            if (!query.exec())
                return failed(query);
        }
        // The page cache holds the whole picture until the commit, which
        // then writes each page to the log once and in order; a cache
        // smaller than the picture writes pages out half made and reads
        // them back. It shrinks back a while after the last picture.
        ++picturesWritten;
        if (!pictureCache)
            pictureCache.emplace(db);
        pictureCache->holdPicture(bytes.size());
        // The disk starts on the log's pages while the rest are written, so
        // the commit's sync waits only for the last of them.
        pictureWriteback.emplace(filePath + QStringLiteral("-wal"));
        const auto inPlace = insertBlobInPlace(
            db, QStringLiteral("INSERT INTO CanvasCardData (cardRow, field, bytes) VALUES (?, ?, zeroblob(?))"),
            {row, storeschema::blobFieldName(blob)}, QStringLiteral("CanvasCardData"), QStringLiteral("bytes"), bytes);
        if (inPlace && !*inPlace) {
            db.rollback();
            return unexpected(writeFailure(inPlace->error()));
        }
        if (!inPlace) {
            query.prepare(QStringLiteral("INSERT INTO CanvasCardData (cardRow, field, bytes) VALUES (?, ?, ?)"));
            query.addBindValue(row);
            query.addBindValue(storeschema::blobFieldName(blob));
            // Empty bytes are a value; a null array would bind as NULL.
            query.addBindValue(bytes.isNull() ? QByteArray("", 0) : bytes);
            if (!query.exec())
                return failed(query);
        }
        if (const auto notCommitted = storeschema::runTransactionStatement(db, QStringLiteral("COMMIT"))) {
            const QString reason = storeschema::failureReason(*notCommitted);
            db.rollback();
            return unexpected(writeFailure(reason));
        }
        // Committed but not durable: reported failed, so no card is saved
        // to hold the bytes, which go again.
        if (auto synced = syncFileContents(filePath + QStringLiteral("-wal")); !synced) {
            discard(StagedCardData{row, blob});
            return unexpected(writeFailure(synced.error()));
        }
        return StagedCardData{row, blob};
    }

    void discard(const StagedCardData &staged)
    {
        auto db = database();
        if (!db)
            return;
        QSqlQuery query(*db);
        query.prepare(QStringLiteral("DELETE FROM CanvasCardData WHERE cardRow = ? AND field = ? "
                                     "AND NOT EXISTS (SELECT 1 FROM CanvasCard WHERE row = ?)"));
        query.addBindValue(staged.cardRow);
        query.addBindValue(storeschema::blobFieldName(staged.blob));
        query.addBindValue(staged.cardRow);
        // Left behind when this fails, the bytes go at the library's next
        // opening, with any others no card holds.
        query.exec();
    }

    std::optional<QByteArray> read(qint64 cardRow, CanvasCard::Blob blob)
    {
        auto db = database();
        if (!db)
            return std::nullopt;
        QSqlQuery query(*db);
        query.setForwardOnly(true);
        query.prepare(QStringLiteral("SELECT rowid FROM CanvasCardData WHERE cardRow = ? AND field = ?"));
        query.addBindValue(cardRow);
        query.addBindValue(storeschema::blobFieldName(blob));
        if (!query.exec() || !query.next())
            return std::nullopt;
        const qint64 rowid = query.value(0).toLongLong();
        query.finish();
        if (auto read = readBlobInPlace(*db, QStringLiteral("CanvasCardData"), QStringLiteral("bytes"), rowid))
            return *read ? std::optional<QByteArray>(std::move(**read)) : std::nullopt;
        query.prepare(QStringLiteral("SELECT bytes FROM CanvasCardData WHERE rowid = ?"));
        query.addBindValue(rowid);
        if (!query.exec() || !query.next())
            return std::nullopt;
        return query.value(0).toByteArray();
    }

    // Whether the checkpoint ran to its end: SQLite answers busy when a
    // reader kept it from copying or starting over the whole log.
    bool checkpoint(const QString &mode)
    {
        auto db = database();
        if (!db)
            return false;
        // Housekeeping waits for nobody's write lock: another program may
        // hold it for good, and the main thread's saves wait while this
        // runs. Kept from the lock, it copies what it can and says so.
        QSqlQuery(*db).exec(QStringLiteral("PRAGMA busy_timeout = 0"));
        const auto waitAgain = qScopeGuard(
            [&db] { QSqlQuery(*db).exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(storeschema::lockWaitMs)); });
        QSqlQuery query(*db);
        if (!query.exec(QStringLiteral("PRAGMA wal_checkpoint(%1)").arg(mode)) || !query.next()
            || query.value(0).toInt() != 0)
            return false;
        // An emptied log stays empty, as asked.
        if (mode != u"TRUNCATE" && query.value(1).toInt() == query.value(2).toInt()) {
            query.finish();
            beginLogAnew(*db);
        }
        return true;
    }

    // The write after a whole log was copied into the file starts the log
    // over, and syncs the log's new first block before anything else,
    // whatever the connection's sync setting. Left to the next save, that
    // sync fell to the main thread, after every capture and its words, and
    // on a busy disk held the window still for up to 700 ms. A write that
    // changes nothing (a number no version of the library uses, set to
    // what it is) starts the log over here instead.
    static void beginLogAnew(const QSqlDatabase &db)
    {
        QSqlQuery query(db);
        // Nothing of value is written: the commit's own sync can wait for
        // the next write's.
        query.exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
        if (query.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
            bool written = query.exec(QStringLiteral("PRAGMA user_version")) && query.next();
            const int version = written ? query.value(0).toInt() : 0;
            query.finish();
            written = written && query.exec(QStringLiteral("PRAGMA user_version = %1").arg(version));
            if (!written || !query.exec(QStringLiteral("COMMIT")))
                query.exec(QStringLiteral("ROLLBACK"));
        }
        query.exec(QStringLiteral("PRAGMA synchronous = FULL"));
    }

    void close()
    {
        pictureWriteback.reset();
        pictureCache.reset();
        if (!added)
            return;
        QSqlDatabase::database(connectionName, false).close();
        QSqlDatabase::removeDatabase(connectionName);
        added = false;
    }
};

CardDataWriter::CardDataWriter(const QString &filePath)
    : m_worker(std::make_shared<Worker>())
    , m_executor(std::make_unique<SerialExecutor>(QStringLiteral("Library writer")))
{
    m_worker->filePath = filePath;
    m_executor->runAtShutdown([worker = m_worker] { worker->close(); });
}

CardDataWriter::~CardDataWriter() = default;

QFuture<Expected<StagedCardData, StoreError>> CardDataWriter::write(QObject *receiver, CanvasCard::Blob blob,
                                                                   const QByteArray &bytes)
{
    // The log is copied into the file after the card's save, not now: that
    // copy's sync would hold up the sync of the save on the main thread.
    ++m_worker->writesWaiting;
    ++m_worker->lockingJobs;
    auto written = m_executor->submit(receiver, [worker = m_worker, blob, bytes] {
        --worker->writesWaiting;
        const auto ended = qScopeGuard([&worker] { --worker->lockingJobs; });
        return worker->write(blob, bytes);
    });
    m_executor->run([worker = m_worker] { worker->endPictureWrite(worker); });
    return written;
}

void CardDataWriter::discard(const StagedCardData &staged)
{
    if (staged.cardRow > 0) {
        ++m_worker->lockingJobs;
        m_executor->run([worker = m_worker, staged] {
            worker->discard(staged);
            --worker->lockingJobs;
        });
        checkpoint();
    }
}

bool CardDataWriter::mayHoldWriteLock() const
{
    return m_worker->lockingJobs > 0;
}

QFuture<std::optional<QByteArray>> CardDataWriter::read(QObject *receiver, qint64 cardRow, CanvasCard::Blob blob)
{
    return m_executor->submit(receiver, [worker = m_worker, cardRow, blob] { return worker->read(cardRow, blob); });
}

void CardDataWriter::checkpoint()
{
    // Not while another picture waits (a burst of captures): copying each
    // picture into the file as its card is saved would take as long again
    // as writing it, and hold up the next. The card saved after the last
    // picture asks again.
    ++m_worker->lockingJobs;
    m_executor->run([worker = m_worker] {
        if (worker->writesWaiting == 0)
            worker->checkpoint(QStringLiteral("PASSIVE"));
        --worker->lockingJobs;
    });
}

QFuture<Expected<void, StoreError>> CardDataWriter::syncLog(QObject *receiver)
{
    // SQLite keeps no lock on the log's own file (its readers and writers
    // meet in the -shm file), so a handle of our own on it lets go of
    // nothing when closed.
    return m_executor->submit(receiver, [worker = m_worker]() -> Expected<void, StoreError> {
        if (auto synced = syncFileContents(worker->filePath + QStringLiteral("-wal")); !synced)
            return unexpected(writeFailure(synced.error()));
        return {};
    });
}

void CardDataWriter::checkpointAndTruncate()
{
    ++m_worker->lockingJobs;
    m_executor->run([worker = m_worker] {
        worker->checkpoint(QStringLiteral("RESTART"));
        --worker->lockingJobs;
    });
}

QFuture<bool> CardDataWriter::emptyLog(QObject *receiver)
{
    ++m_worker->lockingJobs;
    return m_executor->submit(receiver, [worker = m_worker] {
        const auto ended = qScopeGuard([&worker] { --worker->lockingJobs; });
        return worker->checkpoint(QStringLiteral("TRUNCATE"));
    });
}

} // namespace tessaline
