#include "model/ModelContainer.h"

#include "model/ModelContext.h"
#include "model/StoreSchema.h"
#include "platform/FileLock.h"
#include "platform/PlatformTexts.h"
#include "platform/PrivateFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUrl>
#include <QUuid>
#include <QVersionNumber>
#include <QtEndian>

#include <unistd.h>

#include <algorithm>

namespace tessaline {
namespace {

StoreError notALibrary(const QString &path)
{
    return StoreError{QStringLiteral("The file “%1” is not a Tessaline library.").arg(path)};
}

StoreError damagedLibrary(const QString &path)
{
    return StoreError{QStringLiteral("The library “%1” is damaged and cannot be opened. "
                                     "The file has been left untouched.")
                          .arg(path)};
}

StoreError logUnreadable(const QString &path)
{
    return StoreError{QStringLiteral("The library “%1” cannot be opened here: its latest changes are in its log "
                                     "“%1-wal”, which can be read only where a file can be made beside it, and its "
                                     "folder cannot be written. Make the folder writable, then start Tessaline "
                                     "again. The files have been left untouched.")
                          .arg(path)};
}

StoreError libraryBusy(const QString &path)
{
    return StoreError{QStringLiteral("The library “%1” is being changed by another program. Close that program, "
                                     "then start Tessaline again. The file has been left untouched.")
                          .arg(path)};
}

// A read of a file with an SQLite header failed: damage when SQLite says
// so (SQLITE_CORRUPT, SQLITE_NOTADB), another program's lock when it says
// SQLITE_BUSY, a log it cannot read when it cannot open what it needs beside
// one (SQLITE_CANTOPEN: the shared-memory file, in a folder that cannot be
// written), otherwise whatever kept it from reading.
StoreError readFailure(const QString &path, const QSqlError &error)
{
    const QString code = error.nativeErrorCode();
    if (code == u"11" || code == u"26")
        return damagedLibrary(path);
    if (storeschema::isBusy(error))
        return libraryBusy(path);
    if (code == u"14" && QFileInfo(path + QStringLiteral("-wal")).size() > 0)
        return logUnreadable(path);
    return StoreError{QStringLiteral("The library “%1” could not be opened: %2").arg(path, error.text())};
}

StoreError readOnlyLibrary(const QString &path)
{
    return StoreError{QStringLiteral("The library “%1” can only be read: Tessaline cannot write its file or folder. "
                                     "You can look at everything in it, but changes will not be kept.")
                          .arg(path)};
}

// How long the opening waits for another program's lock on the library
// before saying so, rather than the whole wait of each later statement.
constexpr int openingLockWaitMs = 1000;

// Another program holding the library's write lock (an SQLite shell left
// in a transaction, say) would have every save of the session wait for it
// and then fail, the window coming up only after one such wait per save of
// the start: found at the opening, it is said once, and nothing is written.
Expected<void, StoreError> takesWriteLock(const QSqlDatabase &db, const QString &path)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return unexpected(readFailure(path, query.lastError()));
    query.exec(QStringLiteral("ROLLBACK"));
    return {};
}

const QByteArray sqliteMagic("SQLite format 3\0", 16);

StoreError logWithoutLibrary(const QString &path)
{
    return StoreError{QStringLiteral("The file of the library “%1” is missing or empty, but its log “%1-wal” is "
                                     "still there, and a new library would replace it. Put the library's file back, "
                                     "or move the log away to begin a new library. Both have been left untouched.")
                          .arg(path)};
}

enum class FileKind { absentOrEmpty, logWithoutFile, sqlite, damagedSQLite, other };

// Whether an SQLite file ends before the last page its header counts.
// SQLite reads a file cut within its last pages as it stands and finds the
// cut only where a read reaches those pages, after saves have written into
// the file. The header's count stands only while the change counter beside
// it matches (bytes 24 and 92, as SQLite checks), and a log beside the file
// may still hold pages to be copied into it.
bool endsBeforeItsLastPage(QFile &file, const QString &path)
{
    const QByteArray header = file.read(100);
    if (header.size() < 100 || header.mid(24, 4) != header.mid(92, 4)
        || QFileInfo(path + QStringLiteral("-wal")).size() > 0)
        return false;
    const quint16 storedPageSize = qFromBigEndian<quint16>(header.constData() + 16);
    // 1 stands for 65536, which two bytes cannot hold.
    const qint64 pageSize = storedPageSize == 1 ? 65536 : storedPageSize;
    const qint64 pages = qFromBigEndian<quint32>(header.constData() + 28);
    return pageSize * pages > file.size();
}

// Reads the file's first bytes without opening it as a database, so a file
// of any other kind is never touched. A file cut short within the header's
// first bytes or before its last page is a damaged library; damage further
// in is found by SQLite when the file is read.
FileKind fileKind(const QString &path)
{
    QFile file(path);
    if (!file.exists() || file.size() == 0) {
        // The file went (deleted, emptied) while its log stayed: SQLite
        // would make a new library there and drop the log with what it holds.
        return QFileInfo(path + QStringLiteral("-wal")).size() > 0 ? FileKind::logWithoutFile
                                                                   : FileKind::absentOrEmpty;
    }
    if (!file.open(QIODevice::ReadOnly))
        return FileKind::other;
    const QByteArray start = file.peek(sqliteMagic.size());
    if (start == sqliteMagic)
        return endsBeforeItsLastPage(file, path) ? FileKind::damagedSQLite : FileKind::sqlite;
    return start.size() < sqliteMagic.size() && sqliteMagic.startsWith(start) ? FileKind::damagedSQLite
                                                                               : FileKind::other;
}

Expected<void, StoreError> prepareSchema(QSqlDatabase &db, const QString &displayPath)
{
    // The file has an SQLite header by now: a catalogue or a metadata table
    // that cannot be read is damage, not a file of another kind.
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'")))
        return unexpected(readFailure(displayPath, query.lastError()));
    QStringList tables;
    while (query.next())
        tables.append(query.value(0).toString());
    if (query.lastError().isValid())
        return unexpected(readFailure(displayPath, query.lastError()));
    query.finish();

    if (tables.contains(QStringLiteral("Metadata"))) {
        if (!query.exec(QStringLiteral("SELECT value FROM Metadata WHERE key = 'schemaVersion'")))
            return unexpected(readFailure(displayPath, query.lastError()));
        if (!query.next())
            return unexpected(query.lastError().isValid() ? readFailure(displayPath, query.lastError())
                                                          : notALibrary(displayPath));
        const QString stored = query.value(0).toString();
        query.finish();
        const QVersionNumber storedVersion = QVersionNumber::fromString(stored);
        if (storedVersion.isNull())
            return unexpected(notALibrary(displayPath));
        if (storedVersion > QVersionNumber::fromString(ModelContainer::schemaVersion())) {
            return unexpected(StoreError{QStringLiteral("The library “%1” was made by a newer version of Tessaline "
                                                        "(schema %2) and cannot be opened by this one.")
                                             .arg(displayPath, stored)});
        }
        return {};
    }
    if (!tables.isEmpty())
        return unexpected(notALibrary(displayPath));

    if (const auto notBegun = storeschema::runTransactionStatement(db, QStringLiteral("BEGIN")))
        return unexpected(StoreError{QStringLiteral("The library “%1” could not be created: %2")
                                         .arg(displayPath, storeschema::failureReason(*notBegun))});
    QStringList statements = storeschema::creationStatements();
    statements.append(QStringLiteral("INSERT INTO Metadata (key, value) VALUES ('schemaVersion', '%1')")
                          .arg(ModelContainer::schemaVersion()));
    for (const QString &statement : std::as_const(statements)) {
        if (!query.exec(statement)) {
            const QString reason = storeschema::failureReason(query.lastError());
            db.rollback();
            return unexpected(
                StoreError{QStringLiteral("The library “%1” could not be created: %2").arg(displayPath, reason)});
        }
    }
    if (const auto notCommitted = storeschema::runTransactionStatement(db, QStringLiteral("COMMIT"))) {
        db.rollback();
        return unexpected(StoreError{QStringLiteral("The library “%1” could not be created: %2")
                                         .arg(displayPath, storeschema::failureReason(*notCommitted))});
    }
    return {};
}

// Bytes staged ahead of a card the app never got to save (it ended in
// between) belong to nothing, and go. Staging takes a row beyond every row
// taken so far, so only bytes beyond the last sweep's rows can be unclaimed:
// the sweep looks at those alone, instead of at every card's bytes at every
// start. The mark is moved on only now and then, as writing it costs a
// commit while looking at a few rows again costs next to nothing.
void sweepUnclaimedCardData(const QSqlDatabase &db)
{
    constexpr qint64 markStep = 1000;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    qint64 sweptThrough = 0;
    if (query.exec(QStringLiteral("SELECT value FROM Metadata WHERE key = 'cardDataSweptThrough'")) && query.next())
        sweptThrough = std::max<qint64>(0, query.value(0).toLongLong());
    query.finish();
    query.prepare(QStringLiteral("DELETE FROM CanvasCardData WHERE cardRow > ? "
                                 "AND cardRow NOT IN (SELECT row FROM CanvasCard)"));
    query.addBindValue(sweptThrough);
    if (!query.exec())
        return;
    if (!query.exec(QStringLiteral("SELECT MAX(IFNULL((SELECT seq FROM sqlite_sequence WHERE name = 'CanvasCard'), 0), "
                                   "IFNULL((SELECT MAX(row) FROM CanvasCard), 0))"))
        || !query.next())
        return;
    const qint64 taken = query.value(0).toLongLong();
    query.finish();
    if (taken - sweptThrough < markStep)
        return;
    query.prepare(QStringLiteral("INSERT OR REPLACE INTO Metadata (key, value) VALUES ('cardDataSweptThrough', ?)"));
    query.addBindValue(QString::number(taken));
    query.exec();
}

// Writing kept aside from a note is shown with that note alone, and goes
// when the note is deleted for good. Builds before that left it behind:
// words of notes the user deleted, which no screen could reach.
void sweepWritingOfDeletedNotes(const QSqlDatabase &db)
{
    QSqlQuery(db).exec(QStringLiteral("DELETE FROM WritingRecovery WHERE boardID NOT IN (SELECT id FROM Board)"));
}

} // namespace

ModelContainer::ModelContainer(const QString &connectionName, const QString &filePath)
    : m_connectionName(connectionName)
    , m_filePath(filePath)
    , m_context(new ModelContext(connectionName, this))
{
}

QString ModelContainer::libraryFilePath(const Configuration &configuration)
{
    QString directory = configuration.directory;
    if (directory.isEmpty())
        directory = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return QDir(directory).filePath(configuration.name + QStringLiteral(".sqlite"));
}

StoreError ModelContainer::libraryInUse(const QString &filePath)
{
    return StoreError{QStringLiteral("The library “%1” is open in Tessaline in another session. "
                                     "Quit Tessaline there, then start it here again.")
                          .arg(filePath)};
}

bool ModelContainer::isWritable(const QString &filePath)
{
    // access() answers for this process as it runs: a root process may
    // write a file without write permission, and nobody may on a file
    // system mounted read-only.
    const QFileInfo file(filePath);
    if (file.exists() && ::access(QFile::encodeName(filePath).constData(), W_OK) != 0)
        return false;
    return ::access(QFile::encodeName(file.absolutePath()).constData(), W_OK) == 0;
}

bool ModelContainer::isReadOnly() const
{
    return m_context->isReadOnly();
}

StoreError ModelContainer::readOnlyError() const
{
    return readOnlyLibrary(m_filePath);
}

ModelContainer::~ModelContainer()
{
    delete m_context;
    m_context = nullptr;
    QSqlDatabase::database(m_connectionName, false).close();
    QSqlDatabase::removeDatabase(m_connectionName);
}

Expected<std::unique_ptr<ModelContainer>, StoreError> ModelContainer::open(const Configuration &configuration)
{
    if (configuration.cloudSyncContainerIdentifier) {
        return unexpected(StoreError{PlatformTexts::cloudSyncUnavailable()});
    }

    QString path;
    bool readOnly = false;
    std::unique_ptr<FileLock> lock;
    if (!configuration.isStoredInMemoryOnly) {
        path = libraryFilePath(configuration);
        const QString directory = QFileInfo(path).path();
        if (!makePrivateFolder(directory))
            return unexpected(StoreError{QStringLiteral("The folder “%1” could not be created.").arg(directory)});
        switch (fileKind(path)) {
        case FileKind::absentOrEmpty:
        case FileKind::sqlite:
            break;
        case FileKind::logWithoutFile:
            return unexpected(logWithoutLibrary(path));
        case FileKind::damagedSQLite:
            return unexpected(damagedLibrary(path));
        case FileKind::other:
            return unexpected(notALibrary(path));
        }
        readOnly = configuration.readOnly || !isWritable(path);
        if (configuration.holdsLibrary) {
            lock = std::make_unique<FileLock>(path + QStringLiteral(".lock"));
            switch (lock->tryLock()) {
            case FileLock::State::held:
                break;
            case FileLock::State::heldElsewhere:
                return unexpected(libraryInUse(path));
            case FileLock::State::unavailable:
                // Without the lock another session might be writing: this
                // one only reads.
                readOnly = true;
                break;
            }
        }
        if (readOnly && !QFileInfo::exists(path))
            return unexpected(
                StoreError{QStringLiteral("The library “%1” could not be created: its folder cannot be written.")
                               .arg(path)});
    }

    const QString connectionName = QStringLiteral("tessaline-store-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        const QString displayPath = path.isEmpty() ? QStringLiteral("in-memory library") : path;
        auto openAs = [&](const QString &name, const QString &options) -> Expected<void, StoreError> {
            db.close();
            db.setDatabaseName(name);
            db.setConnectOptions(options);
            if (!db.open())
                return unexpected(StoreError{QStringLiteral("The library “%1” could not be opened: %2")
                                                 .arg(displayPath, db.lastError().text())});
            // A new library gets SQLite's largest pages: a 5K snip's 17 MB
            // picture then goes into the log in 270 pages rather than 4,300,
            // which takes the slowest captures of a run from about 150 to 120
            // ms, while cards and notes read as fast at start. A library that
            // already has pages keeps their size (changing it rewrites the file).
            if (!options.contains(QLatin1String("READONLY")))
                QSqlQuery(db).exec(QStringLiteral("PRAGMA page_size = %1").arg(storeschema::newLibraryPageSize));
            return prepareSchema(db, displayPath);
        };
        Expected<void, StoreError> prepared;
        if (readOnly) {
            // Read through SQLite's own read-only mode, so not even its
            // housekeeping writes. A log left in WAL mode needs a shared-memory
            // file beside it, which a folder that cannot be written may not
            // let it make: then the file is read as it stands, which holds
            // everything committed, since no writer can be at work in it.
            const QString uri = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
            const QString options = QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1")
                                        .arg(openingLockWaitMs);
            prepared = openAs(uri + QStringLiteral("?mode=ro"), options);
            if (!prepared && prepared.error() != libraryBusy(displayPath)
                && !QFileInfo::exists(path + QStringLiteral("-wal")))
                prepared = openAs(uri + QStringLiteral("?mode=ro&immutable=1"), options);
        } else {
            prepared = openAs(path.isEmpty() ? QStringLiteral(":memory:") : path,
                              QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(openingLockWaitMs));
            if (prepared)
                prepared = takesWriteLock(db, displayPath);
        }
        if (prepared)
            QSqlQuery(db).exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(storeschema::lockWaitMs));
        if (prepared && !readOnly) {
            QSqlQuery pragma(db);
            pragma.exec(QStringLiteral("PRAGMA journal_mode = WAL"));
            // A save the user was told about must survive a power loss:
            // with NORMAL, WAL mode may lose the last commits then.
            pragma.exec(QStringLiteral("PRAGMA synchronous = FULL"));
            // What is deleted for good (a snip of a screen that showed a
            // password) is overwritten, not left in the file's free space,
            // whatever default SQLite was built with.
            pragma.exec(QStringLiteral("PRAGMA secure_delete = ON"));
            pragma.exec(QStringLiteral("PRAGMA journal_size_limit = %1").arg(storeschema::journalSizeLimit));
            // Once per library made before the index; the rest of the time a
            // look into the schema. Without it the cards are read all the same.
            pragma.exec(storeschema::cardOutlineIndexStatement());
            pragma.exec(storeschema::textRecognitionPendingStatement());
            sweepUnclaimedCardData(db);
            sweepWritingOfDeletedNotes(db);
        } else if (!prepared) {
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(connectionName);
            return unexpected(prepared.error());
        }
    }
    std::unique_ptr<ModelContainer> container(new ModelContainer(connectionName, path));
    container->m_lock = std::move(lock);
    if (readOnly)
        container->m_context->setReadOnly(readOnlyLibrary(path));
    else if (!path.isEmpty())
        container->m_context->rememberLibraryFile();
    return container;
}

} // namespace tessaline
