#include "model/ModelContext.h"

#include "model/StoreSchema.h"
#include "platform/FutureDelivery.h"
#include "platform/SqliteRows.h"
#include "platform/UuidText.h"

#include <QFile>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QThreadPool>
#include <QTimeZone>
#include <QTimer>
#include <QVariant>
#include <QPromise>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <type_traits>
#include <utility>
#include <vector>

#include <sys/stat.h>

namespace tessaline {
namespace {

StoreError queryError(const QSqlQuery &query)
{
    return StoreError{QStringLiteral("The library could not be read or written: %1")
                          .arg(storeschema::failureReason(query.lastError()))};
}

// SQLite found the file damaged where it read it (SQLITE_CORRUPT,
// SQLITE_NOTADB).
bool isDamage(int code)
{
    return code == 11 || code == 26;
}

// The store refused this one row for what it holds (SQLITE_CONSTRAINT, with
// or without its extended part): the rest of the save can go on without it.
// Anything else (a full disk, a file that cannot be written) would fail for
// every row alike.
bool isRowRefusal(const QSqlQuery &query)
{
    bool ok = false;
    const int code = query.lastError().nativeErrorCode().toInt(&ok);
    return ok && (code & 0xff) == 19;
}

// A card's long texts, read when first asked for (CanvasCard::readTexts).
const QStringList &laterCardColumns()
{
    static const QStringList columns = storeschema::longCardColumns();
    return columns;
}

// With `where`, only the rows it lets through.
template <typename T>
QString selectStatement(const QString &where = QString())
{
    const T *tag = nullptr;
    QStringList columns = storeschema::columns(tag);
    // An empty text stands in for each, so the row reads as any other.
    if constexpr (std::is_same_v<T, CanvasCard>) {
        for (QString &column : columns) {
            if (laterCardColumns().contains(column))
                column = QStringLiteral("''");
        }
    }
    return QStringLiteral("SELECT row, %1 FROM %2 %3 ORDER BY row")
        .arg(columns.join(u", "), storeschema::tableName(tag), where);
}

// With `withRow`, the row is given as the first value.
template <typename T>
QString insertStatement(bool withRow = false)
{
    const T *tag = nullptr;
    QStringList columns = storeschema::columns(tag);
    if (withRow)
        columns.prepend(QStringLiteral("row"));
    QStringList marks;
    for (const QString &column : std::as_const(columns))
        marks.append(storeschema::placeholder(column));
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(storeschema::tableName(tag), columns.join(u", "), marks.join(u", "));
}

template <typename T>
QString updateStatement(const QStringList &columns)
{
    const T *tag = nullptr;
    QStringList assignments;
    const QStringList kept = storeschema::keptWhenNull();
    const QStringList flagged = storeschema::keptWhenFlagged();
    for (const QString &column : columns) {
        const QString mark = storeschema::placeholder(column);
        if (kept.contains(column))
            assignments.append(QStringLiteral("%1 = COALESCE(%2, %1)").arg(column, mark));
        else if (flagged.contains(column))
            assignments.append(QStringLiteral("%1 = CASE WHEN ? THEN %1 ELSE %2 END").arg(column, mark));
        else
            assignments.append(QStringLiteral("%1 = %2").arg(column, mark));
    }
    return QStringLiteral("UPDATE %1 SET %2 WHERE row = ?").arg(storeschema::tableName(tag), assignments.join(u", "));
}

Board::Values readValues(SqliteRows &rows, const Board *) { return storeschema::readBoard(rows); }
CanvasCard::Values readValues(SqliteRows &rows, const CanvasCard *) { return storeschema::readCard(rows); }
Connection::Values readValues(SqliteRows &rows, const Connection *) { return storeschema::readConnection(rows); }

std::atomic<int> readAheadSerial{0};

// Two workers, taking the parts in the order they were handed in: more
// would only take the processor from the window being built meanwhile.
// Kept for the process; a context waits for its own parts when it goes.
QThreadPool &readAheadPool()
{
    static QThreadPool *pool = [] {
        auto *made = new QThreadPool;
        made->setMaxThreadCount(std::min(2, std::max(1, QThread::idealThreadCount() / 2)));
        return made;
    }();
    return *pool;
}

// The connection's commits synced as `durability` asks while it lives:
// SQLite syncs a commit or not by the connection's setting at the time, and
// every other commit stays synced.
class CommitSync
{
public:
    CommitSync(const QSqlDatabase &db, SaveDurability durability)
        : m_db(db)
        , m_deferred(durability == SaveDurability::deferred)
    {
        if (m_deferred)
            QSqlQuery(m_db).exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
    }
    ~CommitSync()
    {
        if (m_deferred)
            QSqlQuery(m_db).exec(QStringLiteral("PRAGMA synchronous = FULL"));
    }
    CommitSync(const CommitSync &) = delete;
    CommitSync &operator=(const CommitSync &) = delete;

private:
    QSqlDatabase m_db;
    bool m_deferred;
};

// How long the connection waits for another's write lock while this lives;
// the usual wait afterwards.
class LockWait
{
public:
    LockWait(const QSqlDatabase &db, int milliseconds) : m_db(db)
    {
        QSqlQuery(m_db).exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(milliseconds));
    }
    ~LockWait() { QSqlQuery(m_db).exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(storeschema::lockWaitMs)); }
    LockWait(const LockWait &) = delete;
    LockWait &operator=(const LockWait &) = delete;

private:
    QSqlDatabase m_db;
};

} // namespace

struct ModelContext::ReadAheadPart
{
    virtual ~ReadAheadPart() = default;
    // True for the one caller that is to read the part.
    bool take() { return !taken.exchange(true); }
    virtual void read(const QSqlDatabase &db) = 0;

    std::atomic<bool> taken{false};
};

template <typename T>
struct ModelContext::TablePartReadAhead final : ReadAheadPart
{
    TablePartReadAhead(ModelContext *owner, QString select, qsizetype rows)
        : context(owner)
        , home(owner->thread())
        , statement(std::move(select))
        , expected(rows)
    {
    }
    void read(const QSqlDatabase &db) override
    {
        // Let go of once read: the rows are then held by their future
        // alone, and go with it.
        QPromise<RowsReadAhead<T>> reading = std::move(promise);
        reading.start();
        reading.addResult(rows(db));
        reading.finish();
    }
    // The entities are made here, on the thread that reads (a worker's
    // processor time rather than the waiting thread's), and handed to the
    // context's thread all at once, with their holder.
    RowsReadAhead<T> rows(const QSqlDatabase &db) const
    {
        RowsReadAhead<T> read;
        if (!db.isOpen()) {
            const QString reason = db.lastError().text();
            read.error = reason.isEmpty() ? QStringLiteral("the library could not be opened") : reason;
            return read;
        }
        read.holder = std::make_unique<QObject>();
        // Grown entity by entity, the list would copy what it holds at each
        // doubling.
        read.entities.reserve(expected);
        SqliteRows rows(db, statement);
        while (rows.next()) {
            read.entities.append(entityOfRow<T>(context, read.holder.get(), rows.integer(0),
                                                readValues(rows, static_cast<const T *>(nullptr))));
        }
        read.error = rows.errorText();
        read.holder->moveToThread(home);
        return read;
    }

    ModelContext *const context;
    QThread *const home;
    const QString statement;
    const qsizetype expected;
    // Dropped unread, it leaves its rows' future cancelled.
    QPromise<RowsReadAhead<T>> promise;
};

struct ModelContext::ReadAheadWork
{
    QString filePath;
    QList<std::shared_ptr<ReadAheadPart>> parts;
    std::atomic<bool> stopped{false};
};

ModelContext::ModelContext(const QString &connectionName, QObject *parent)
    : QObject(parent)
    , m_connectionName(connectionName)
    , m_idleCheckpoint(new QTimer(this))
{
    // Saves come in bursts (typing, dragging); once they have quiet down the
    // log is folded into the file and emptied, so it does not stay at the
    // size of its busiest moment.
    m_idleCheckpoint->setSingleShot(true);
    m_idleCheckpoint->setInterval(3000);
    connect(m_idleCheckpoint, &QTimer::timeout, this, [this] {
        // Always on the writer's thread, made for it if no picture has been
        // staged yet: the copy syncs the file and the log, which on a busy
        // disk would hold this thread for a tenth of a second and more.
        if (cardDataWriter()) {
            // The worker's connection may be at work; it waits there. The
            // log keeps its size for the next picture, except after rows
            // were deleted for good: their pages from before (a snip's
            // picture and words) would stay readable in it while the app
            // runs, and in the log a crash leaves behind. With no picture
            // yet, there is nothing to keep room for.
            const bool removed = std::exchange(m_logHoldsRemovedRows, false);
            if (removed || !m_picturesStaged) {
                m_cardDataWriter->emptyLog(this).then(this, [this, removed](bool emptied) {
                    // Tried again once the next save has quieted down.
                    if (!emptied && removed)
                        m_logHoldsRemovedRows = true;
                });
                return;
            }
            m_cardDataWriter->checkpointAndTruncate();
            return;
        }
        QSqlQuery checkpoint(QSqlDatabase::database(m_connectionName, false));
        checkpoint.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    });
}

void ModelContext::setIdleCheckpointDelay(int milliseconds)
{
    m_idleCheckpoint->setInterval(milliseconds);
}

ModelContext::~ModelContext()
{
    // No worker is left reading this library once its context is gone (the
    // app quitting just after it started): the parts not started are
    // dropped, those under way finished.
    if (m_readAheadWork.isEmpty())
        return;
    for (const auto &work : std::as_const(m_readAheadWork))
        work->stopped = true;
    readAheadPool().waitForDone();
}

std::optional<StoreError> ModelContext::takeInjectedFetchFailure()
{
    std::optional<StoreError> failure;
    std::swap(failure, m_failNextFetch);
    return failure;
}

template <typename T>
void ModelContext::adopt(Table<T> &table, T *entity)
{
    entity->setParent(this);
    entity->m_context = this;
    Q_UNUSED(table);
}

template <typename T>
T *ModelContext::entityOfRow(ModelContext *context, QObject *parent, qint64 row, typename T::Values &&values)
{
    T *entity = new T(StoredRow(), std::move(values), parent);
    if constexpr (std::is_same_v<T, CanvasCard>)
        entity->m_textsUnread = true;
    entity->m_rowID = row;
    entity->m_context = context;
    return entity;
}

// Rows read with the same id (copied by hand, a merge gone wrong) are all
// kept apart: the first in the store keeps the id, the later ones go by
// stand-ins, so that none is reached, opened or written in place of
// another. What is stored stays as it is.
template <typename T>
void ModelContext::separateSharedIDs(const QList<T *> &rows)
{
    QSet<QUuid> seen;
    seen.reserve(rows.size());
    for (T *entity : rows) {
        if (!seen.contains(entity->m_values.id)) {
            seen.insert(entity->m_values.id);
            continue;
        }
        entity->m_values.id = storeschema::standInID(storeschema::tableName(entity), entity->m_rowID);
        entity->m_values.damagedProperties |= 1u << int(T::IdProperty);
        seen.insert(entity->m_values.id);
    }
}

template <typename T>
Expected<void, StoreError> ModelContext::loadTable(Table<T> &table)
{
    // Entities saved before the table was first read are already in memory.
    QHash<qint64, T *> known;
    for (T *entity : std::as_const(table.saved))
        known.insert(entity->m_rowID, entity);

    QList<T *> rows;
    QList<QObject *> holders;
    if (takeReadAhead(table, [&](RowsReadAhead<T> &&part) {
            QObject *holder = part.holder.release();
            holder->setParent(this);
            holders.append(holder);
            if (known.isEmpty()) {
                rows.append(part.entities);
                return;
            }
            for (T *entity : std::as_const(part.entities)) {
                if (T *existing = known.value(entity->m_rowID)) {
                    rows.append(existing);
                    delete entity;
                } else {
                    rows.append(entity);
                }
            }
        })) {
        separateSharedIDs(rows);
        table.saved = std::move(rows);
        table.loaded = true;
        table.idsKnown = false;
        ++table.listRevision;
        return {};
    }
    // Made from rows read ahead before a part of them turned out unreadable.
    qDeleteAll(holders);
    rows.clear();

    SqliteRows query(QSqlDatabase::database(m_connectionName, false), selectStatement<T>());
    while (query.next()) {
        const qint64 row = query.integer(0);
        if (T *existing = known.value(row)) {
            rows.append(existing);
            continue;
        }
        rows.append(entityOfRow<T>(this, this, row, readValues(query, static_cast<const T *>(nullptr))));
    }
    // A table that cannot be read to its end (damage found on the way) is
    // not shown in part: the fetch fails as one that cannot start does.
    if (!query.errorText().isEmpty()) {
        for (T *entity : std::as_const(rows)) {
            if (!known.contains(entity->m_rowID))
                delete entity;
        }
        if (isDamage(query.errorCode()))
            return unexpected(stopWritingDamagedLibrary());
        return unexpected(StoreError{
            QStringLiteral("The library could not be read or written: %1").arg(query.errorText())});
    }
    separateSharedIDs(rows);
    table.saved = rows;
    table.loaded = true;
    table.idsKnown = false;
    ++table.listRevision;
    return {};
}

template <typename T>
void ModelContext::startReadingAhead(Table<T> &table, ReadAheadWork &work, qint64 rowsPerPart)
{
    if (table.loaded || !table.ahead.isEmpty())
        return;
    table.aheadSince = m_saves;
    auto readPart = [&](const QString &where) {
        auto part = std::make_shared<TablePartReadAhead<T>>(this, selectStatement<T>(where), rowsPerPart);
        table.ahead.append({part->promise.future(), part});
        work.parts.append(part);
    };
    if (rowsPerPart <= 0)
        return readPart(QString());
    const T *tag = nullptr;
    QSqlQuery span(QSqlDatabase::database(m_connectionName, false));
    span.setForwardOnly(true);
    // Apart, so each is one step down the table's tree: MIN and MAX side by
    // side are worked out by reading every row.
    if (!span.exec(QStringLiteral("SELECT IFNULL((SELECT MIN(row) FROM %1), 0), IFNULL((SELECT MAX(row) FROM %1), 0)")
                       .arg(storeschema::tableName(tag)))
        || !span.next())
        return readPart(QString());
    const qint64 last = span.value(1).toLongLong();
    // Spans of row numbers, which are near equal numbers of rows: rows are
    // numbered as they are saved, and few are deleted.
    qint64 from = span.value(0).toLongLong();
    for (; from + rowsPerPart <= last; from += rowsPerPart)
        readPart(QStringLiteral("WHERE row >= %1 AND row < %2").arg(from).arg(from + rowsPerPart));
    // The last part takes the rest, rows saved after this too: none are
    // taken while any are (see takeReadAhead).
    readPart(QStringLiteral("WHERE row >= %1").arg(from));
}

template <typename T, typename Take>
bool ModelContext::takeReadAhead(Table<T> &table, Take take)
{
    QList<typename Table<T>::Part> parts = std::exchange(table.ahead, {});
    if (parts.isEmpty())
        return false;
    // Whatever is left when this returns: parts not begun are left to no
    // worker, and those under way are waited for, so that the entities they
    // made go here, on the thread they belong to, and never on a worker.
    const auto settle = qScopeGuard([&parts] {
        for (auto &part : parts) {
            // A part taken in is no longer valid.
            if (part.rows.isValid() && !part.work->take())
                part.rows.waitForFinished();
        }
    });
    // Rows read before a save may not be what is stored now.
    if (table.aheadSince != m_saves)
        return false;
    // The parts are taken in order, each as soon as it is there. While the
    // next is still being read, this thread reads a part no worker has
    // begun, from the far end, on its own connection, instead of waiting:
    // on a busy processor the workers may hardly run, and the rows are then
    // read here as they would be without them.
    const QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    qsizetype farthest = parts.size() - 1;
    for (qsizetype next = 0; next < parts.size();) {
        QFuture<RowsReadAhead<T>> &rows = parts[next].rows;
        if (!rows.isFinished()) {
            while (farthest > next && !parts[farthest].work->take())
                --farthest;
            if (farthest > next)
                parts[farthest--].work->read(db);
            else if (parts[next].work->take())
                parts[next].work->read(db);
            else
                rows.waitForFinished();
            continue;
        }
        if (rows.isCanceled() || rows.resultCount() == 0)
            return false;
        RowsReadAhead<T> read = rows.takeResult();
        if (!read.error.isEmpty())
            return false;
        take(std::move(read));
        ++next;
    }
    return true;
}

bool ModelContext::isReadingAhead() const
{
    const auto reading = [](const auto &table) {
        return std::any_of(table.ahead.cbegin(), table.ahead.cend(),
                           [](const auto &part) { return !part.rows.isFinished(); });
    };
    return reading(m_boards) || reading(m_cards) || reading(m_connections);
}

void ModelContext::readAhead()
{
    if (m_readOnly)
        return;
    const QString path = filePath();
    if (path.isEmpty())
        return;
    auto work = std::make_shared<ReadAheadWork>();
    work->filePath = path;
    // In parts, in order, so this thread can take in one part while the
    // next ones are read. A note's row holds its whole writing, a card's
    // and a connection's far less.
    startReadingAhead(m_boards, *work, 100);
    startReadingAhead(m_cards, *work, 1000);
    startReadingAhead(m_connections, *work, 4000);
    if (work->parts.isEmpty())
        return;
    m_readAheadWork.append(work);
    // Each worker opens one connection for all the parts it reads: opening
    // one reads the library's schema anew, as much work as reading a part.
    const qsizetype workers = std::min<qsizetype>(readAheadPool().maxThreadCount(), work->parts.size());
    for (qsizetype i = 0; i < workers; ++i) {
        // Each worker's first part is its own from now: a worker takes a
        // while to start and to open its connection, and the thread that
        // wants the rows next would otherwise read them itself meanwhile.
        work->parts.at(i)->take();
        readAheadPool().start([work, first = i] {
            const QString name = QStringLiteral("tessaline-read-ahead-%1").arg(readAheadSerial.fetch_add(1));
            bool added = false;
            {
                QSqlDatabase db;
                for (qsizetype index = first; index < work->parts.size() && !work->stopped; ++index) {
                    ReadAheadPart &part = *work->parts.at(index);
                    if (index != first && !part.take())
                        continue;
                    if (!added) {
                        added = true;
                        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
                        db.setDatabaseName(work->filePath);
                        if (db.open())
                            QSqlQuery(db).exec(QStringLiteral("PRAGMA query_only = 1"));
                    }
                    // One that cannot be opened fails the part it took, and
                    // the rows are read as without reading ahead; the other
                    // parts are left to the others.
                    part.read(db);
                    if (!db.isOpen())
                        break;
                }
                db.close();
            }
            if (added)
                QSqlDatabase::removeDatabase(name);
        });
    }
}

template <typename T>
Expected<void, StoreError> ModelContext::readIfNeverRead(Table<T> &table)
{
    if (auto failure = takeInjectedFetchFailure())
        return unexpected(*failure);
    return table.loaded ? Expected<void, StoreError>() : loadTable(table);
}

template <typename T>
Expected<QList<T *>, StoreError> ModelContext::fetch(Table<T> &table)
{
    if (auto read = readIfNeverRead(table); !read)
        return unexpected(read.error());
    // Only entities waiting in m_removed are marked removed among the saved
    // ones. With none waiting, the saved list is handed out as it is, shared
    // rather than copied: a large library is fetched after every save, and
    // looking at each of its entities in turn costs a miss of the processor's
    // cache apiece.
    if (m_removed.isEmpty() && table.inserted.isEmpty())
        return table.saved;
    QList<T *> result;
    result.reserve(table.saved.size() + table.inserted.size());
    if (m_removed.isEmpty()) {
        result.append(table.saved);
    } else {
        for (T *entity : std::as_const(table.saved)) {
            if (!entity->m_removed)
                result.append(entity);
        }
    }
    result.append(table.inserted);
    return result;
}

Expected<QList<Board *>, StoreError> ModelContext::fetchBoards() { return fetch(m_boards); }
Expected<QList<CanvasCard *>, StoreError> ModelContext::fetchCards() { return fetch(m_cards); }
Expected<QList<Connection *>, StoreError> ModelContext::fetchConnections() { return fetch(m_connections); }

Expected<QList<CanvasCard *>, StoreError> ModelContext::fetchCards(const QUuid &id)
{
    if (auto read = readIfNeverRead(m_cards); !read)
        return unexpected(read.error());
    return withID(m_cards, id);
}

QList<CanvasCard *> ModelContext::cardsWithID(const QUuid &id) { return withID(m_cards, id); }

Expected<QList<Board *>, StoreError> ModelContext::fetchBoards(const QUuid &id)
{
    if (auto read = readIfNeverRead(m_boards); !read)
        return unexpected(read.error());
    return withID(m_boards, id);
}

template <typename T>
QList<T *> ModelContext::withID(Table<T> &table, const QUuid &id)
{
    QList<T *> found;
    if (!table.loaded)
        return found;
    if (!table.idsKnown) {
        table.byID.clear();
        table.laterByID.clear();
        table.byID.reserve(table.saved.size() + table.inserted.size());
        table.idsKnown = true;
        for (T *entity : std::as_const(table.saved))
            index(table, entity);
        for (T *entity : std::as_const(table.inserted))
            index(table, entity);
    }
    const auto first = table.byID.constFind(id);
    if (first == table.byID.cend())
        return found;
    if (!(*first)->m_removed)
        found.append(*first);
    for (auto later = table.laterByID.constFind(id); later != table.laterByID.cend() && later.key() == id; ++later) {
        if (!(*later)->m_removed)
            found.append(*later);
    }
    if (found.size() > 1) {
        // Saved entities stand in row order, pending inserts after them in
        // the order they were inserted.
        const auto place = [&table](const T *entity) {
            const auto pending = std::find(table.inserted.cbegin(), table.inserted.cend(), entity);
            return pending == table.inserted.cend() ? std::pair<int, qint64>(0, entity->m_rowID)
                                                     : std::pair<int, qint64>(1, pending - table.inserted.cbegin());
        };
        std::sort(found.begin(), found.end(), [&place](const T *a, const T *b) { return place(a) < place(b); });
    }
    return found;
}

template <typename T>
void ModelContext::index(Table<T> &table, T *entity)
{
    if (!table.idsKnown)
        return;
    const QUuid id = entity->id();
    if (table.byID.contains(id))
        table.laterByID.insert(id, entity);
    else
        table.byID.insert(id, entity);
}

template <typename T>
void ModelContext::unindex(Table<T> &table, T *entity)
{
    if (!table.idsKnown)
        return;
    // While the index is known, no id was written since the entity was
    // indexed: it stands under the id it holds.
    const QUuid id = entity->id();
    const auto first = table.byID.find(id);
    if (first == table.byID.end() || *first != entity) {
        table.laterByID.remove(id, entity);
        return;
    }
    const auto later = table.laterByID.find(id);
    if (later == table.laterByID.end()) {
        table.byID.erase(first);
        return;
    }
    *first = *later;
    table.laterByID.erase(later);
}

void ModelContext::followWrite(PersistentEntity *entity, int property)
{
    withTable(entity, [property](auto &table, auto *typed) {
        if (property == std::remove_pointer_t<decltype(typed)>::IdProperty)
            table.idsKnown = false;
    });
    Q_EMIT entityWritten(entity, property);
}

void ModelContext::insert(Board *board)
{
    adopt(m_boards, board);
    m_boards.inserted.append(board);
    m_dirty.insert(board);
    index(m_boards, board);
    ++m_boards.listRevision;
    recordStep({ModelChangeScope::Step::inserted, board});
}

void ModelContext::insert(CanvasCard *card)
{
    adopt(m_cards, card);
    m_cards.inserted.append(card);
    m_dirty.insert(card);
    index(m_cards, card);
    ++m_cards.listRevision;
    recordStep({ModelChangeScope::Step::inserted, card});
}

void ModelContext::insert(Connection *connection)
{
    adopt(m_connections, connection);
    m_connections.inserted.append(connection);
    m_dirty.insert(connection);
    index(m_connections, connection);
    ++m_connections.listRevision;
    recordStep({ModelChangeScope::Step::inserted, connection});
}

void ModelContext::insert(CanvasCard *card, const StagedCardData &staged)
{
    insert(card);
    if (staged.cardRow > 0)
        m_staged.insert(card, staged);
}

QFuture<std::optional<QByteArray>> ModelContext::readCardData(QObject *receiver, const CanvasCard &card,
                                                              CanvasCard::Blob blob)
{
    const CardBlobs &stored = card.m_values.blobs;
    CardDataWriter *writer =
        stored.has(blob) && !stored.pendingBytes(blob) && card.m_rowID > 0 ? cardDataWriter() : nullptr;
    if (!writer)
        return deliveredTo(receiver, QtFuture::makeReadyFuture(card.blob(blob)));
    return writer->read(receiver, card.m_rowID, blob);
}

CardDataWriter *ModelContext::cardDataWriter()
{
    if (!m_cardDataWriter) {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        const QString path = db.databaseName();
        if (path.isEmpty() || path == u":memory:")
            return nullptr;
        m_cardDataWriter = std::make_unique<CardDataWriter>(path);
        // From now on the writer's thread copies the log into the file, so a
        // save here never ends up copying a picture staged there.
        QSqlQuery pragma(db);
        pragma.exec(QStringLiteral("PRAGMA wal_autocheckpoint = 0"));
    }
    return m_cardDataWriter.get();
}

QFuture<Expected<StagedCardData, StoreError>> ModelContext::stageCardData(QObject *receiver, CanvasCard::Blob blob,
                                                                         const QByteArray &bytes)
{
    using Staged = Expected<StagedCardData, StoreError>;
    if (m_readOnly)
        return deliveredTo(receiver, QtFuture::makeReadyFuture(Staged(unexpected(*m_readOnly))));
    if (m_failNextStaging) {
        const StoreError failure = *std::exchange(m_failNextStaging, std::nullopt);
        return deliveredTo(receiver, QtFuture::makeReadyFuture(Staged(unexpected(failure))));
    }
    if (auto inPlace = libraryFileCheck(); !inPlace)
        return deliveredTo(receiver, QtFuture::makeReadyFuture(Staged(unexpected(inPlace.error()))));
    if (CardDataWriter *writer = cardDataWriter()) {
        m_picturesStaged = true;
        return writer->write(receiver, blob, bytes);
    }
    // In memory there is no second connection to write with, and nothing
    // to sync: the card's save writes the bytes.
    return deliveredTo(receiver, QtFuture::makeReadyFuture(Staged(StagedCardData{0, blob})));
}

QFuture<Expected<void, StoreError>> ModelContext::syncDeferredSaves(QObject *receiver)
{
    if (CardDataWriter *writer = cardDataWriter())
        return writer->syncLog(receiver);
    return deliveredTo(receiver, QtFuture::makeReadyFuture(Expected<void, StoreError>()));
}

void ModelContext::discardStagedCardData(const StagedCardData &staged)
{
    if (m_cardDataWriter)
        m_cardDataWriter->discard(staged);
}

Expected<qint64, StoreError> ModelContext::insertStagedCard(const QSqlDatabase &db, CanvasCard *card,
                                                            const StagedCardData &staged, Refusals &refused)
{
    // A snip saved without its picture would be half made: the bytes must
    // still be there (another copy of the app opening the library cleans
    // up bytes no card holds).
    QSqlQuery present(db);
    present.setForwardOnly(true);
    present.prepare(QStringLiteral("SELECT 1 FROM CanvasCardData WHERE cardRow = ? AND field = ?"));
    present.addBindValue(staged.cardRow);
    present.addBindValue(storeschema::blobFieldName(staged.blob));
    if (!present.exec())
        return unexpected(queryError(present));
    if (!present.next())
        return unexpected(StoreError{QStringLiteral("The library could not be written: the picture of a new snip "
                                                    "is missing from it.")});
    QSqlQuery query(db);
    query.prepare(insertStatement<CanvasCard>(true));
    query.addBindValue(staged.cardRow);
    storeschema::bind(query, card->values());
    if (!query.exec()) {
        if (!isRowRefusal(query))
            return unexpected(queryError(query));
        refused.entities.insert(card);
        if (refused.reason.isEmpty())
            refused.reason = query.lastError().text();
        return 0;
    }
    return staged.cardRow;
}

template <typename Action>
void ModelContext::withTable(PersistentEntity *entity, Action action)
{
    if (auto *board = qobject_cast<Board *>(entity))
        action(m_boards, board);
    else if (auto *card = qobject_cast<CanvasCard *>(entity))
        action(m_cards, card);
    else if (auto *connection = qobject_cast<Connection *>(entity))
        action(m_connections, connection);
}

void ModelContext::remove(PersistentEntity *entity)
{
    if (!entity || entity->m_context != this || entity->m_removed)
        return;
    qsizetype position = -1;
    withTable(entity, [&](auto &table, auto *typed) {
        ++table.listRevision;
        position = table.inserted.indexOf(typed);
        if (position >= 0) {
            table.inserted.removeAt(position);
            unindex(table, typed);
        }
    });
    auto *card = qobject_cast<CanvasCard *>(entity);
    if (position >= 0) {
        const bool listed = m_dirty.remove(entity);
        entity->m_context = nullptr;
        recordStep({ModelChangeScope::Step::removedPendingInsert, entity, position, listed});
        return;
    }
    // Once deleted for good the card has no store to read its texts from.
    if (card)
        card->readTexts();
    entity->m_removed = true;
    m_removed.append(entity);
    recordStep({ModelChangeScope::Step::markedForDeletion, entity});
}

void ModelContext::recordStep(const ModelChangeScope::Step &step)
{
    for (ModelChangeScope *scope : std::as_const(m_scopes))
        scope->recordStep(step);
}

void ModelContext::entityWillChange(PersistentEntity *entity)
{
    std::optional<std::any> state;
    for (ModelChangeScope *scope : std::as_const(m_scopes)) {
        if (scope->m_snapshots.contains(entity))
            continue;
        if (!state)
            state = entity->pendingState();
        scope->recordWrite(entity, *state, entity->m_dirty, m_dirty.contains(entity));
    }
}

void ModelContext::undo(const QList<ModelChangeScope::Step> &steps,
                        const QHash<PersistentEntity *, ModelChangeScope::Snapshot> &snapshots)
{
    // Newest first, so an entity inserted and taken out again within the
    // scope ends up where it was before: not in the context at all. Each step
    // checks where the entity is now, because an inner scope may have put
    // part of it back already.
    for (auto step = steps.crbegin(); step != steps.crend(); ++step) {
        PersistentEntity *entity = step->entity;
        switch (step->kind) {
        case ModelChangeScope::Step::inserted:
            withTable(entity, [&](auto &table, auto *typed) {
                if (table.inserted.removeOne(typed)) {
                    m_dirty.remove(entity);
                    entity->m_context = nullptr;
                    unindex(table, typed);
                    ++table.listRevision;
                    // For good: nothing brings an undone insert back.
                    if constexpr (std::is_same_v<std::remove_pointer_t<decltype(typed)>, CanvasCard>) {
                        if (const auto staged = m_staged.take(typed); staged.cardRow > 0)
                            discardStagedCardData(staged);
                    }
                }
            });
            break;
        case ModelChangeScope::Step::removedPendingInsert:
            withTable(entity, [&](auto &table, auto *typed) {
                if (table.inserted.contains(typed))
                    return;
                table.inserted.insert(std::min(step->position, table.inserted.size()), typed);
                entity->m_context = this;
                if (step->listed)
                    m_dirty.insert(entity);
                index(table, typed);
                ++table.listRevision;
            });
            break;
        case ModelChangeScope::Step::markedForDeletion:
            if (m_removed.removeOne(entity)) {
                entity->m_removed = false;
                withTable(entity, [](auto &table, auto *) { ++table.listRevision; });
            }
            break;
        }
    }

    for (auto it = snapshots.cbegin(); it != snapshots.cend(); ++it) {
        PersistentEntity *entity = it.key();
        // One the scope inserted is gone again; its values no longer matter.
        if (entity->m_context != this)
            continue;
        entity->m_dirty = it->changed;
        if (it->listed)
            m_dirty.insert(entity);
        else
            m_dirty.remove(entity);
        QUuid id;
        withTable(entity, [&id](auto &, auto *typed) { id = typed->id(); });
        entity->restorePendingState(it->state);
        withTable(entity, [&id](auto &table, auto *typed) {
            if (typed->id() != id)
                table.idsKnown = false;
        });
    }
    if (!steps.isEmpty() || !snapshots.isEmpty())
        Q_EMIT writesTakenBack();
}

bool ModelContext::hasChanges() const
{
    return !m_dirty.isEmpty() || !m_removed.isEmpty();
}

void ModelContext::entityDidChange(PersistentEntity *entity)
{
    m_dirty.insert(entity);
}

QString ModelContext::filePath() const
{
    const QString name = QSqlDatabase::database(m_connectionName, false).databaseName();
    return name.startsWith(u':') ? QString() : name;
}

void ModelContext::readCardTexts(CanvasCard *card)
{
    // A reader going through the library in store order (a suggestion over
    // every card) would pay a query a card: once it has read this many, each
    // past the one before, the rest of its way is read a window at a time.
    // Cards read here and there (those a screen shows) are read one by one,
    // so texts nobody looks at are never held.
    constexpr int runBeforeWindows = 32;
    constexpr int window = 512;
    // A screen showing all of a note's cards (its map) asks for every one
    // of them, in its own order: once it has asked for this many of one
    // note, the rest of that note's are read with them. A screenful of the
    // note's writing asks for far fewer, and reads no more.
    constexpr int runBeforeNote = 64;
    const QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    const qint64 row = card->m_rowID;
    m_cardTextRun = row > m_lastCardTextRow ? m_cardTextRun + 1 : 0;
    m_lastCardTextRow = row;
    m_noteTextRun = card->boardID() == m_lastCardTextNote ? m_noteTextRun + 1 : 1;
    m_lastCardTextNote = card->boardID();
    if (m_noteTextRun >= runBeforeNote) {
        readNoteCardTexts(card->boardID());
        if (!card->m_textsUnread)
            return;
    }
    // A run in store order within one note is that note's, not the library's.
    const bool withinOneNote = m_noteTextRun >= m_cardTextRun;
    if (m_cardTextRun < runBeforeWindows || withinOneNote) {
        if (!m_cardTextQuery) {
            m_cardTextQuery = std::make_unique<QSqlQuery>(db);
            m_cardTextQuery->setForwardOnly(true);
            m_cardTextQuery->prepare(QStringLiteral("SELECT %1 FROM CanvasCard WHERE row = ?")
                                         .arg(laterCardColumns().join(u", ")));
        }
        QSqlQuery &query = *m_cardTextQuery;
        query.addBindValue(row);
        if (query.exec() && query.next())
            card->adoptStoredTexts(query.value(0).toString(), query.value(1).toString(), query.value(2).toString());
        query.finish();
        return;
    }
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT row, %1 FROM CanvasCard WHERE row >= ? ORDER BY row LIMIT %2")
                      .arg(laterCardColumns().join(u", "))
                      .arg(window));
    query.addBindValue(row);
    if (!query.exec())
        return;
    QHash<qint64, std::array<QString, 3>> texts;
    qint64 last = row;
    while (query.next()) {
        last = query.value(0).toLongLong();
        texts.insert(last, {query.value(1).toString(), query.value(2).toString(), query.value(3).toString()});
    }
    for (CanvasCard *saved : std::as_const(m_cards.saved)) {
        if (!saved->m_textsUnread || saved->m_rowID < row || saved->m_rowID > last)
            continue;
        if (const auto stored = texts.constFind(saved->m_rowID); stored != texts.cend())
            saved->adoptStoredTexts((*stored)[0], (*stored)[1], (*stored)[2]);
    }
    // The walk goes on past the window.
    m_lastCardTextRow = last;
}

void ModelContext::readNoteCardTexts(const QUuid &noteID)
{
    QHash<qint64, CanvasCard *> unread;
    for (CanvasCard *saved : std::as_const(m_cards.saved)) {
        if (saved->m_textsUnread && saved->m_rowID > 0 && saved->boardID() == noteID)
            unread.insert(saved->m_rowID, saved);
    }
    // In parts, each one statement the store looks up row by row.
    constexpr qsizetype part = 500;
    QList<qint64> rows = unread.keys();
    std::sort(rows.begin(), rows.end());
    const QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    for (qsizetype first = 0; first < rows.size(); first += part) {
        QStringList numbers;
        for (qint64 row : rows.mid(first, part))
            numbers.append(QString::number(row));
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT row, %1 FROM CanvasCard WHERE row IN (%2)")
                            .arg(laterCardColumns().join(u", "), numbers.join(u','))))
            return;
        while (query.next()) {
            if (CanvasCard *card = unread.value(query.value(0).toLongLong()))
                card->adoptStoredTexts(query.value(1).toString(), query.value(2).toString(), query.value(3).toString());
        }
    }
}

std::optional<QByteArray> ModelContext::loadBlob(const CanvasCard *card, CanvasCard::Blob which) const
{
    if (card->m_rowID <= 0)
        return std::nullopt;
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT bytes FROM CanvasCardData WHERE cardRow = ? AND field = ?"));
    query.addBindValue(card->m_rowID);
    query.addBindValue(storeschema::blobFieldName(which));
    if (!query.exec() || !query.next())
        return std::nullopt;
    return query.value(0).toByteArray();
}

Expected<void, StoreError> ModelContext::writeChanges(QHash<PersistentEntity *, qint64> &newRows, Refusals &refused)
{
    const QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    auto run = [&](QSqlQuery &query) -> Expected<void, StoreError> {
        if (!query.exec())
            return unexpected(queryError(query));
        return {};
    };
    // A refused statement is undone by SQLite on its own; the transaction
    // and the other rows stay.
    auto runRow = [&](QSqlQuery &query, PersistentEntity *entity) -> Expected<void, StoreError> {
        if (query.exec())
            return {};
        if (!isRowRefusal(query))
            return unexpected(queryError(query));
        refused.entities.insert(entity);
        if (refused.reason.isEmpty())
            refused.reason = query.lastError().text();
        return {};
    };

    auto insertAll = [&](auto &table) -> Expected<void, StoreError> {
        using T = std::remove_pointer_t<typename std::decay_t<decltype(table.inserted)>::value_type>;
        if (table.inserted.isEmpty())
            return {};
        QSqlQuery query(db);
        query.prepare(insertStatement<T>());
        for (T *entity : std::as_const(table.inserted)) {
            if constexpr (std::is_same_v<T, CanvasCard>) {
                if (const auto staged = m_staged.constFind(entity); staged != m_staged.cend()) {
                    const auto row = insertStagedCard(db, entity, *staged, refused);
                    if (!row)
                        return unexpected(row.error());
                    if (*row > 0)
                        newRows.insert(entity, *row);
                    continue;
                }
            }
            storeschema::bind(query, entity->values());
            if (auto written = runRow(query, entity); !written)
                return written;
            if (!refused.entities.contains(entity))
                newRows.insert(entity, query.lastInsertId().toLongLong());
        }
        return {};
    };
    auto updateDirty = [&](auto &table) -> Expected<void, StoreError> {
        using T = std::remove_pointer_t<typename std::decay_t<decltype(table.saved)>::value_type>;
        // The changed entities alone, in row order: a save after one edit
        // of a library of tens of thousands of cards visits one.
        std::vector<T *> changed;
        for (PersistentEntity *candidate : std::as_const(m_dirty)) {
            auto *entity = dynamic_cast<T *>(candidate);
            if (entity && entity->m_dirty && !entity->m_removed && entity->m_rowID > 0)
                changed.push_back(entity);
        }
        if (changed.empty())
            return {};
        std::sort(changed.begin(), changed.end(), [](const T *a, const T *b) { return a->m_rowID < b->m_rowID; });
        Q_UNUSED(table);
        const T *tag = nullptr;
        QSqlQuery query(db);
        query.prepare(updateStatement<T>(storeschema::columns(tag)));
        // A note whose writing is as stored is saved without it: writing
        // hundreds of kilobytes out again to store a date would make opening
        // a long note cost as much as typing into it.
        [[maybe_unused]] std::optional<QSqlQuery> withoutWriting;
        for (T *entity : changed) {
            QSqlQuery *statement = &query;
            if constexpr (std::is_same_v<T, Board>) {
                if (!entity->writingChangedSinceSave()) {
                    if (!withoutWriting) {
                        withoutWriting.emplace(db);
                        withoutWriting->prepare(
                            updateStatement<T>(storeschema::columns(tag, storeschema::BoardColumns::withoutWriting)));
                    }
                    statement = &*withoutWriting;
                    storeschema::bind(*statement, entity->values(), true, storeschema::BoardColumns::withoutWriting);
                } else {
                    storeschema::bind(*statement, entity->values(), true);
                }
            } else {
                storeschema::bind(*statement, entity->values(), true);
            }
            statement->addBindValue(entity->m_rowID);
            if (auto written = runRow(*statement, entity); !written)
                return written;
        }
        return {};
    };

    const auto rows = insertAll(m_boards)
                          .and_then([&] { return insertAll(m_cards); })
                          .and_then([&] { return insertAll(m_connections); })
                          .and_then([&] { return updateDirty(m_boards); })
                          .and_then([&] { return updateDirty(m_cards); })
                          .and_then([&] { return updateDirty(m_connections); });
    if (!rows)
        return rows;

    // Card bytes: written when new, removed when cleared.
    QSqlQuery putBlob(db);
    putBlob.prepare(QStringLiteral("INSERT OR REPLACE INTO CanvasCardData (cardRow, field, bytes) VALUES (?, ?, ?)"));
    QSqlQuery dropBlob(db);
    dropBlob.prepare(QStringLiteral("DELETE FROM CanvasCardData WHERE cardRow = ? AND field = ?"));
    auto writeBlobs = [&](CanvasCard *card, qint64 row) -> Expected<void, StoreError> {
        const auto staged = m_staged.constFind(card);
        for (int i = 0; i < CanvasCard::BlobCount; ++i) {
            if (staged != m_staged.cend() && staged->blob == i)
                continue;
            const CardBlobs &blobs = card->m_values.blobs;
            const std::optional<QByteArray> &pendingBytes = blobs.pendingBytes(i);
            const QString field = storeschema::blobFieldName(CanvasCard::Blob(i));
            if (blobs.has(i) && pendingBytes) {
                putBlob.addBindValue(row);
                putBlob.addBindValue(field);
                // Present but empty is a value of its own; the driver would
                // bind a null array as NULL, which the column refuses.
                putBlob.addBindValue(pendingBytes->isNull() ? QByteArray("", 0) : *pendingBytes);
                if (auto written = run(putBlob); !written)
                    return written;
            } else if (!blobs.has(i) && card->savedValues().blobs.has(i) && card->m_rowID > 0) {
                dropBlob.addBindValue(row);
                dropBlob.addBindValue(field);
                if (auto written = run(dropBlob); !written)
                    return written;
            }
        }
        return {};
    };
    // A refused card's bytes wait with the rest of it.
    for (CanvasCard *card : std::as_const(m_cards.inserted)) {
        if (refused.entities.contains(card))
            continue;
        if (auto written = writeBlobs(card, newRows.value(card)); !written)
            return written;
    }
    std::vector<CanvasCard *> changedCards;
    for (PersistentEntity *entity : std::as_const(m_dirty)) {
        auto *card = dynamic_cast<CanvasCard *>(entity);
        if (card && card->m_dirty && !card->m_removed && card->m_rowID > 0 && !refused.entities.contains(card))
            changedCards.push_back(card);
    }
    std::sort(changedCards.begin(), changedCards.end(),
              [](const CanvasCard *a, const CanvasCard *b) { return a->m_rowID < b->m_rowID; });
    for (CanvasCard *card : changedCards) {
        if (auto written = writeBlobs(card, card->m_rowID); !written)
            return written;
    }

    for (PersistentEntity *entity : std::as_const(m_removed)) {
        QString table;
        if (auto *board = qobject_cast<Board *>(entity))
            table = storeschema::tableName(board);
        else if (auto *card = qobject_cast<CanvasCard *>(entity))
            table = storeschema::tableName(card);
        else if (auto *connection = qobject_cast<Connection *>(entity))
            table = storeschema::tableName(connection);
        QSqlQuery query(db);
        query.prepare(QStringLiteral("DELETE FROM %1 WHERE row = ?").arg(table));
        query.addBindValue(entity->m_rowID);
        if (auto written = run(query); !written)
            return written;
        if (qobject_cast<CanvasCard *>(entity)) {
            QSqlQuery data(db);
            data.prepare(QStringLiteral("DELETE FROM CanvasCardData WHERE cardRow = ?"));
            data.addBindValue(entity->m_rowID);
            if (auto written = run(data); !written)
                return written;
            // Its recognition mark goes with it.
            QSqlQuery mark(db);
            mark.prepare(QStringLiteral("DELETE FROM TextRecognitionPending WHERE cardRow = ?"));
            mark.addBindValue(entity->m_rowID);
            if (auto written = run(mark); !written)
                return written;
        } else if (auto *board = qobject_cast<Board *>(entity)) {
            // What was kept aside of a note's writing is shown with that
            // note alone: gone with it, its words leave no copy behind.
            QSqlQuery recoveries(db);
            recoveries.prepare(QStringLiteral("DELETE FROM WritingRecovery WHERE boardID = ?"));
            recoveries.addBindValue(uuidText(board->id()));
            if (auto written = run(recoveries); !written)
                return written;
        }
    }

    if (!m_recognitionMarks.isEmpty()) {
        QSqlQuery mark(db);
        mark.prepare(QStringLiteral("INSERT OR IGNORE INTO TextRecognitionPending (cardRow) VALUES (?)"));
        QSqlQuery unmark(db);
        unmark.prepare(QStringLiteral("DELETE FROM TextRecognitionPending WHERE cardRow = ?"));
        // The marked cards alone: a save in a library of tens of thousands
        // of cards visits its few, not every card.
        for (auto wanted = m_recognitionMarks.cbegin(); wanted != m_recognitionMarks.cend(); ++wanted) {
            auto *card = const_cast<CanvasCard *>(wanted.key());
            if (card->m_context != this || card->m_removed || refused.entities.contains(card))
                continue;
            const bool inserted = m_cards.inserted.contains(card);
            if (!inserted && card->m_rowID <= 0)
                continue;
            QSqlQuery &query = wanted.value() ? mark : unmark;
            query.addBindValue(inserted ? newRows.value(card) : card->m_rowID);
            if (auto written = run(query); !written)
                return written;
        }
    }

    QSqlQuery recovery(db);
    recovery.prepare(QStringLiteral("INSERT INTO WritingRecovery (boardID, savedAt, text) VALUES (?, ?, ?)"));
    auto writeRecoveries = [&](const auto &boards) -> Expected<void, StoreError> {
        for (Board *board : boards) {
            if (board->m_removed || refused.entities.contains(board))
                continue;
            for (const WritingRecovery &record : board->pendingRecoveries()) {
                recovery.addBindValue(uuidText(record.boardID));
                recovery.addBindValue(record.savedAt.toMSecsSinceEpoch());
                recovery.addBindValue(record.text);
                if (auto written = run(recovery); !written)
                    return written;
            }
        }
        return {};
    };
    // Records wait only with a note written since its last save: the
    // changed notes alone, in row order, not every note of the library.
    std::vector<Board *> written;
    for (PersistentEntity *candidate : std::as_const(m_dirty)) {
        auto *board = qobject_cast<Board *>(candidate);
        if (board && board->m_rowID > 0)
            written.push_back(board);
    }
    std::sort(written.begin(), written.end(), [](const Board *a, const Board *b) { return a->m_rowID < b->m_rowID; });
    return writeRecoveries(written).and_then([&] { return writeRecoveries(m_boards.inserted); });
}

template <typename T>
Expected<bool, StoreError> ModelContext::storeHoldsWhatWasRead(const Table<T> &table) const
{
    if (!table.loaded)
        return true;
    const T *tag = nullptr;
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT COUNT(*), IFNULL(MAX(row), 0) FROM %1").arg(storeschema::tableName(tag)))
        || !query.next())
        return unexpected(queryError(query));
    qint64 lastRow = 0;
    for (const T *entity : table.saved)
        lastRow = std::max(lastRow, entity->m_rowID);
    return query.value(0).toLongLong() == table.saved.size() && query.value(1).toLongLong() == lastRow;
}

StoreError ModelContext::stopWritingDamagedLibrary()
{
    // SQLite finds its way through the file, and decides which pages a
    // write may reuse, by what the pages say: written to, a damaged library
    // could lose more than the part that cannot be read. It is kept as it
    // is from now on, as one that can only be read.
    const StoreError damaged{QStringLiteral("The library “%1” is damaged: part of it could not be read. So that "
                                            "nothing more of it is lost, Tessaline changes nothing in it and keeps "
                                            "no changes. The file has been left as it was.")
                                 .arg(filePath())};
    if (!m_readOnly)
        m_readOnly = damaged;
    return damaged;
}

Expected<void, StoreError> ModelContext::otherWriterCheck()
{
    if (!m_savesCheckForOtherWriters)
        return {};
    for (const auto &held : {storeHoldsWhatWasRead(m_boards), storeHoldsWhatWasRead(m_cards)}) {
        if (!held)
            return unexpected(held.error());
        if (!*held)
            return unexpected(writtenElsewhere());
    }
    return {};
}

void ModelContext::rememberLibraryFile()
{
    const QByteArray path = QFile::encodeName(filePath());
    struct stat status {};
    if (path.isEmpty() || ::stat(path.constData(), &status) != 0)
        return;
    m_libraryFile = LibraryFile{path, quint64(status.st_dev), quint64(status.st_ino)};
}

Expected<void, StoreError> ModelContext::libraryFileCheck() const
{
    // SQLite goes on writing the file it opened wherever that file went:
    // into a library deleted with its folder, every later save would be
    // reported done and then lost when the app ends; into one moved away,
    // it would be missed at the next start, which makes a new library at
    // the path.
    if (!m_libraryFile)
        return {};
    struct stat status {};
    if (::stat(m_libraryFile->path.constData(), &status) == 0) {
        if (quint64(status.st_dev) == m_libraryFile->device && quint64(status.st_ino) == m_libraryFile->inode)
            return {};
    } else if (errno != ENOENT && errno != ENOTDIR) {
        // A folder that can no longer be looked into still has the file
        // where it was.
        return {};
    }
    return unexpected(StoreError{
        QStringLiteral("The library “%1” was moved or deleted while Tessaline was open, so this change was not "
                       "saved. Put the library back where it was, or quit Tessaline and open it again.")
            .arg(QFile::decodeName(m_libraryFile->path))});
}

StoreError ModelContext::writtenElsewhere()
{
    return StoreError{QStringLiteral("The library was changed by another copy of Tessaline at the same moment.")};
}

Expected<void, StoreError> ModelContext::readStoreAgain()
{
    const auto reload = [this](auto &table) -> Expected<void, StoreError> {
        return table.loaded ? loadTable(table) : Expected<void, StoreError>();
    };
    return reload(m_boards).and_then([&] { return reload(m_cards); }).and_then([&] { return reload(m_connections); });
}

Expected<void, StoreError> ModelContext::save(SaveDurability durability)
{
    // Recognition marks belong to the changes of this save alone: an
    // operation whose save failed undoes its changes, and a mark left for
    // a later save would be written without them.
    const QScopeGuard dropMarks([this] { m_recognitionMarks.clear(); });
    m_lockedByAnotherProgram = false;
    if (m_failNextSave) {
        StoreError failure = *m_failNextSave;
        m_failNextSave.reset();
        return unexpected(failure);
    }
    if (!hasChanges())
        return {};
    if (m_readOnly)
        return unexpected(*m_readOnly);
    if (auto inPlace = libraryFileCheck(); !inPlace)
        return inPlace;

    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    const CommitSync sync(db, durability);
    // Another program holding the write lock (an SQLite shell left in a
    // transaction) may hold it for good: waited for, it held the window
    // still for seconds at every autosave. Only this process's own writer,
    // whose writes take tens of milliseconds, is waited for, and the
    // seeding of another copy starting at the same moment.
    const bool waits = m_savesCheckForOtherWriters || (m_cardDataWriter && m_cardDataWriter->mayHoldWriteLock());
    const LockWait lockWait(db, waits ? storeschema::lockWaitMs : 0);
    // Taking the write lock first makes a busy library fail here, before
    // anything is written, and makes the checks below and the writing one
    // step: another writer commits before a check reads, or after the save.
    const auto notBegun = storeschema::runTransactionStatement(db, QStringLiteral("BEGIN IMMEDIATE"));
    m_lockedByAnotherProgram = notBegun && storeschema::isBusy(*notBegun);
    if (notBegun)
        return unexpected(StoreError{
            QStringLiteral("The library could not be written: %1").arg(storeschema::failureReason(*notBegun))});
    if (auto unchanged = otherWriterCheck(); !unchanged) {
        db.rollback();
        return unchanged;
    }
    QHash<PersistentEntity *, qint64> newRows;
    Refusals refused;
    if (auto written = writeChanges(newRows, refused); !written) {
        db.rollback();
        return written;
    }
    if (const auto notCommitted = storeschema::runTransactionStatement(db, QStringLiteral("COMMIT"))) {
        const QString reason = storeschema::failureReason(*notCommitted);
        db.rollback();
        return unexpected(StoreError{QStringLiteral("The library could not be written: %1").arg(reason)});
    }

    ++m_saves;
    // Only now, with the transaction on disk, does memory follow. What the
    // store refused stays pending, as after a failed save, and is tried
    // again by the next one; it never holds the others back.
    const QSet<PersistentEntity *> &held = refused.entities;
    auto settle = [&](auto &table) {
        using Entity = std::remove_pointer_t<typename std::remove_reference_t<decltype(table.saved)>::value_type>;
        if (!table.inserted.isEmpty()
            || std::any_of(m_removed.cbegin(), m_removed.cend(),
                           [](PersistentEntity *entity) { return qobject_cast<Entity *>(entity); }))
            ++table.listRevision;
        for (auto *entity : std::as_const(table.inserted)) {
            if (held.contains(entity))
                continue;
            entity->m_rowID = newRows.value(entity);
            table.saved.append(entity);
        }
        table.inserted.removeIf([&](auto *entity) { return !held.contains(entity); });
        // Asking every saved entity would be a miss of the processor's cache
        // apiece in a large library, after every save; so would asking each
        // whether it was deleted, after a note's purge. The saved ones are
        // in row order (rows only grow), so each deleted one is looked up
        // by its row, and the list closes up over them in one move.
        if (m_removed.isEmpty())
            return;
        const auto byRow = [](const Entity *entity, qint64 row) { return entity->m_rowID < row; };
        QList<qsizetype> gone;
        for (PersistentEntity *entity : std::as_const(m_removed)) {
            auto *typed = qobject_cast<Entity *>(entity);
            if (!typed)
                continue;
            const auto at = std::lower_bound(table.saved.cbegin(), table.saved.cend(), typed->m_rowID, byRow);
            if (at == table.saved.cend() || *at != typed) {
                table.saved.removeIf([](auto *saved) { return saved->m_removed; });
                return;
            }
            gone.append(at - table.saved.cbegin());
        }
        if (gone.isEmpty())
            return;
        std::sort(gone.begin(), gone.end());
        gone.erase(std::unique(gone.begin(), gone.end()), gone.end());
        qsizetype kept = gone.constFirst();
        qsizetype next = 0;
        for (qsizetype at = gone.constFirst(); at < table.saved.size(); ++at) {
            if (next < gone.size() && gone.at(next) == at) {
                ++next;
                continue;
            }
            table.saved[kept++] = table.saved.at(at);
        }
        table.saved.resize(kept);
    };
    settle(m_boards);
    settle(m_cards);
    settle(m_connections);
    // Staged bytes of a pending insert taken out again belong to nothing now.
    for (auto it = m_staged.begin(); it != m_staged.end();) {
        if (held.contains(it.key())) {
            ++it;
            continue;
        }
        if (!newRows.contains(it.key()))
            discardStagedCardData(*it);
        it = m_staged.erase(it);
    }
    if (m_cardDataWriter)
        m_cardDataWriter->checkpoint();
    for (PersistentEntity *entity : std::as_const(m_dirty)) {
        if (held.contains(entity))
            continue;
        entity->markSaved();
        entity->m_dirty = false;
    }
    for (PersistentEntity *entity : std::as_const(m_removed)) {
        entity->m_context = nullptr;
        withTable(entity, [](auto &table, auto *typed) { unindex(table, typed); });
    }
    m_dirty.removeIf([&](PersistentEntity *entity) { return !held.contains(entity); });
    if (!m_removed.isEmpty())
        m_logHoldsRemovedRows = true;
    m_removed.clear();
    // What is stored is no longer any operation's to undo.
    for (ModelChangeScope *scope : std::as_const(m_scopes))
        scope->forgetAllBut(held);
    if (!QSqlDatabase::database(m_connectionName, false).databaseName().startsWith(u':'))
        m_idleCheckpoint->start();
    Q_EMIT didSave();
    if (!held.isEmpty()) {
        return unexpected(StoreError{QStringLiteral("Some changes could not be saved because the library refused them "
                                                    "(%1). Everything else was saved.")
                                         .arg(refused.reason)});
    }
    return {};
}

void ModelContext::rollback()
{
    auto dropInserted = [&](auto &table) {
        for (auto *entity : std::as_const(table.inserted)) {
            entity->m_context = nullptr;
            m_dirty.remove(entity);
        }
        table.inserted.clear();
        // Saved values put back may hold other ids.
        table.idsKnown = false;
        ++table.listRevision;
    };
    dropInserted(m_boards);
    dropInserted(m_cards);
    dropInserted(m_connections);
    for (const StagedCardData &staged : std::as_const(m_staged))
        discardStagedCardData(staged);
    m_staged.clear();

    for (PersistentEntity *entity : std::as_const(m_removed))
        entity->m_removed = false;
    m_removed.clear();

    const QSet<PersistentEntity *> dirty = std::exchange(m_dirty, {});
    for (PersistentEntity *entity : dirty) {
        entity->m_dirty = false;
        entity->revertToSaved();
    }
    for (ModelChangeScope *scope : std::as_const(m_scopes))
        scope->forget();
    Q_EMIT writesTakenBack();
}

std::optional<QString> ModelContext::bookkeepingValue(const QString &key) const
{
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT value FROM Metadata WHERE key = ?"));
    query.addBindValue(key);
    if (!query.exec() || !query.next())
        return std::nullopt;
    return query.value(0).toString();
}

Expected<void, StoreError> ModelContext::setBookkeepingValue(const QString &key, const QString &value)
{
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.prepare(QStringLiteral("INSERT OR REPLACE INTO Metadata (key, value) VALUES (?, ?)"));
    query.addBindValue(key);
    query.addBindValue(value);
    if (!query.exec())
        return unexpected(queryError(query));
    return {};
}

void ModelContext::setTextRecognitionPending(const CanvasCard &card, bool pending)
{
    m_recognitionMarks.insert(&card, pending);
    // A clear still waiting would take away the mark this save writes.
    if (pending && card.m_rowID > 0)
        m_marksToClear.remove(card.m_rowID);
}

Expected<void, StoreError> ModelContext::clearTextRecognitionPending(const CanvasCard &card)
{
    if (m_readOnly)
        return unexpected(*m_readOnly);
    if (card.m_rowID <= 0)
        return {};
    m_marksToClear.insert(card.m_rowID);
    return clearWaitingMarks();
}

Expected<void, StoreError> ModelContext::clearWaitingMarks()
{
    if (m_marksToClear.isEmpty())
        return {};
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    const CommitSync sync(db, SaveDurability::deferred);
    // Waiting here would hold the window still for as long as a picture
    // takes to write, tens of milliseconds and more on a busy disk.
    const LockWait lockWait(db, 0);
    QSqlQuery query(db);
    bool cleared = query.exec(QStringLiteral("BEGIN IMMEDIATE"));
    const bool busy = !cleared && storeschema::isBusy(query.lastError());
    if (cleared) {
        query.prepare(QStringLiteral("DELETE FROM TextRecognitionPending WHERE cardRow = ?"));
        for (const qint64 row : std::as_const(m_marksToClear)) {
            query.addBindValue(row);
            if (!(cleared = query.exec()))
                break;
        }
        cleared = cleared && query.exec(QStringLiteral("COMMIT"));
    }
    const StoreError failure = queryError(query);
    if (!cleared && !busy)
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    if (busy) {
        if (!m_markClearRetry) {
            m_markClearRetry = new QTimer(this);
            m_markClearRetry->setSingleShot(true);
            m_markClearRetry->setInterval(markClearRetryMs);
            // A failure here keeps the marks for the next clear, which
            // its caller hears of.
            connect(m_markClearRetry, &QTimer::timeout, this, [this] { (void)clearWaitingMarks(); });
        }
        m_markClearRetry->start();
        return {};
    }
    // Marks that could not be cleared (a full disk) are tried again with the
    // next one to clear, rather than read again at every start.
    if (!cleared)
        return unexpected(failure);
    m_marksToClear.clear();
    return {};
}

Expected<QList<QUuid>, StoreError> ModelContext::textRecognitionsPending()
{
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    // A library that can only be read may predate the table: nothing is owed.
    if (!query.exec(QStringLiteral("SELECT p.cardRow, c.id FROM TextRecognitionPending p "
                                   "LEFT JOIN CanvasCard c ON c.row = p.cardRow ORDER BY p.cardRow"))) {
        if (m_readOnly)
            return QList<QUuid>();
        return unexpected(queryError(query));
    }
    QList<QUuid> cards;
    QList<qint64> orphans;
    while (query.next()) {
        if (query.isNull(1))
            orphans.append(query.value(0).toLongLong());
        else if (const auto id = parseUuid(query.value(1).toString()))
            cards.append(*id);
    }
    query.finish();
    if (!m_readOnly) {
        query.prepare(QStringLiteral("DELETE FROM TextRecognitionPending WHERE cardRow = ?"));
        for (const qint64 row : std::as_const(orphans)) {
            query.addBindValue(row);
            query.exec();
        }
    }
    return cards;
}

Expected<QList<WritingRecovery>, StoreError> ModelContext::writingRecoveries(const QUuid &boardID)
{
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT savedAt, text FROM WritingRecovery WHERE boardID = ? ORDER BY row"));
    query.addBindValue(uuidText(boardID));
    if (!query.exec())
        return unexpected(queryError(query));
    QList<WritingRecovery> records;
    while (query.next()) {
        records.append(WritingRecovery{boardID, QDateTime::fromMSecsSinceEpoch(query.value(0).toLongLong(), Qt::UTC),
                                       query.value(1).toString()});
    }
    // A screen asking before the next save must see what was kept aside too.
    for (const QList<Board *> *boards : {&m_boards.saved, &m_boards.inserted}) {
        for (const Board *board : *boards) {
            if (board->id() == boardID && !board->m_removed)
                records.append(board->pendingRecoveries());
        }
    }
    return records;
}

void ModelContext::failNextFetch(const StoreError &error)
{
    m_failNextFetch = error;
}

void ModelContext::failNextSave(const StoreError &error)
{
    m_failNextSave = error;
}

void ModelContext::failNextStaging(const StoreError &error)
{
    m_failNextStaging = error;
}

} // namespace tessaline

