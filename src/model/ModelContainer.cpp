#include "model/ModelContainer.h"

#include "model/ModelContext.h"
#include "model/StoreSchema.h"
#include "platform/PlatformTexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUuid>
#include <QVersionNumber>

namespace tessaline {
namespace {

StoreError notALibrary(const QString &path)
{
    return StoreError{QStringLiteral("The file “%1” is not a Tessaline library.").arg(path)};
}

// Reads the file's first bytes without opening it as a database, so a file
// of any other kind is never touched.
bool looksLikeSQLite(const QString &path)
{
    QFile file(path);
    if (!file.exists() || file.size() == 0)
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return file.read(16) == QByteArray("SQLite format 3\0", 16);
}

Expected<void, StoreError> prepareSchema(QSqlDatabase &db, const QString &displayPath)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'")))
        return unexpected(notALibrary(displayPath));
    QStringList tables;
    while (query.next())
        tables.append(query.value(0).toString());
    query.finish();

    if (tables.contains(QStringLiteral("Metadata"))) {
        if (!query.exec(QStringLiteral("SELECT value FROM Metadata WHERE key = 'schemaVersion'")) || !query.next())
            return unexpected(notALibrary(displayPath));
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

    if (!db.transaction())
        return unexpected(StoreError{db.lastError().text()});
    QStringList statements = storeschema::creationStatements();
    statements.append(QStringLiteral("INSERT INTO Metadata (key, value) VALUES ('schemaVersion', '%1')")
                          .arg(ModelContainer::schemaVersion()));
    for (const QString &statement : std::as_const(statements)) {
        if (!query.exec(statement)) {
            const QString reason = query.lastError().text();
            db.rollback();
            return unexpected(
                StoreError{QStringLiteral("The library “%1” could not be created: %2").arg(displayPath, reason)});
        }
    }
    if (!db.commit())
        return unexpected(StoreError{
            QStringLiteral("The library “%1” could not be created: %2").arg(displayPath, db.lastError().text())});
    return {};
}

} // namespace

ModelContainer::ModelContainer(const QString &connectionName, const QString &filePath)
    : m_connectionName(connectionName)
    , m_filePath(filePath)
    , m_context(new ModelContext(connectionName, this))
{
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
    if (configuration.cloudKitContainerIdentifier) {
        return unexpected(StoreError{PlatformTexts::cloudSyncUnavailable()});
    }

    QString path;
    if (!configuration.isStoredInMemoryOnly) {
        QString directory = configuration.directory;
        if (directory.isEmpty())
            directory = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        if (!QDir().mkpath(directory))
            return unexpected(StoreError{QStringLiteral("The folder “%1” could not be created.").arg(directory)});
        path = QDir(directory).filePath(configuration.name + QStringLiteral(".sqlite"));
        if (!looksLikeSQLite(path))
            return unexpected(notALibrary(path));
    }

    const QString connectionName = QStringLiteral("tessaline-store-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        db.setDatabaseName(path.isEmpty() ? QStringLiteral(":memory:") : path);
        const QString displayPath = path.isEmpty() ? QStringLiteral("in-memory library") : path;
        const Expected<void, StoreError> prepared = db.open()
            ? prepareSchema(db, displayPath)
            : unexpected(StoreError{
                QStringLiteral("The library “%1” could not be opened: %2").arg(displayPath, db.lastError().text())});
        if (prepared) {
            QSqlQuery pragma(db);
            pragma.exec(QStringLiteral("PRAGMA journal_mode = WAL"));
            pragma.exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
        } else {
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(connectionName);
            return unexpected(prepared.error());
        }
    }
    return std::unique_ptr<ModelContainer>(new ModelContainer(connectionName, path));
}

} // namespace tessaline
