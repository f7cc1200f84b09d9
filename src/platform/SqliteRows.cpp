#include "platform/SqliteRows.h"

#include "platform/TextPool.h"

#include <QMetaType>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

#include <dlfcn.h>
#include <sqlite3.h>

namespace tessaline {
namespace {

// Whether the driver's SQLite is the one this process links: then the
// driver's library finds SQLite's calls at the same addresses as this code.
// A copy inside the driver finds its own, or none that it shows.
bool driverSharesSqlite(const QSqlDriver &driver)
{
    Dl_info info{};
    if (!dladdr(driver.metaObject(), &info) || !info.dli_fname)
        return false;
    void *library = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
    if (!library)
        return false;
    const bool shared = dlsym(library, "sqlite3_prepare_v2") == reinterpret_cast<void *>(&sqlite3_prepare_v2)
        && dlsym(library, "sqlite3_step") == reinterpret_cast<void *>(&sqlite3_step);
    dlclose(library);
    return shared;
}

sqlite3 *directConnection(const QSqlDatabase &database)
{
    const QSqlDriver *driver = database.driver();
    if (!driver || !database.isOpen())
        return nullptr;
    const QVariant handle = driver->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    // One driver plugin serves every connection of the process.
    static const bool shared = driverSharesSqlite(*driver);
    return shared ? *static_cast<sqlite3 *const *>(handle.constData()) : nullptr;
}

} // namespace

SqliteRows::SqliteRows(const QSqlDatabase &database, const QString &statement, Access access)
{
    if (sqlite3 *connection = access == Access::direct ? directConnection(database) : nullptr) {
        const QByteArray text = statement.toUtf8();
        if (sqlite3_prepare_v2(connection, text.constData(), int(text.size()), &m_statement, nullptr) != SQLITE_OK) {
            m_error = QString::fromUtf8(sqlite3_errmsg(connection));
            m_errorCode = sqlite3_errcode(connection) & 0xff;
            sqlite3_finalize(m_statement);
            m_statement = nullptr;
        }
        return;
    }
    m_query = std::make_unique<QSqlQuery>(database);
    m_query->setForwardOnly(true);
    if (!m_query->exec(statement))
        failedThroughDriver();
}

void SqliteRows::failedThroughDriver()
{
    const QSqlError error = m_query->lastError();
    m_error = error.text();
    bool known = false;
    const int code = error.nativeErrorCode().toInt(&known);
    m_errorCode = known ? code & 0xff : -1;
}

SqliteRows::~SqliteRows()
{
    sqlite3_finalize(m_statement);
}

bool SqliteRows::next()
{
    if (!m_error.isEmpty())
        return false;
    if (m_query) {
        if (m_query->next())
            return true;
        if (m_query->lastError().isValid())
            failedThroughDriver();
        return false;
    }
    if (!m_statement || m_done)
        return false;
    switch (sqlite3_step(m_statement)) {
    case SQLITE_ROW:
        return true;
    case SQLITE_DONE:
        // A step after the last would start the statement over.
        m_done = true;
        return false;
    default:
        m_error = QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(m_statement)));
        m_errorCode = sqlite3_errcode(sqlite3_db_handle(m_statement)) & 0xff;
        return false;
    }
}

bool SqliteRows::isNull(int column) const
{
    if (m_query)
        return m_query->isNull(column);
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

std::optional<double> SqliteRows::number(int column) const
{
    if (m_query) {
        const QVariant value = m_query->value(column);
        const int type = value.typeId();
        if (type == QMetaType::Double || type == QMetaType::LongLong || type == QMetaType::Int)
            return value.toDouble();
        return std::nullopt;
    }
    switch (sqlite3_column_type(m_statement, column)) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        return sqlite3_column_double(m_statement, column);
    default:
        return std::nullopt;
    }
}

qint64 SqliteRows::integer(int column) const
{
    if (m_query)
        return m_query->value(column).toLongLong();
    return sqlite3_column_int64(m_statement, column);
}

QByteArrayView SqliteRows::utf8(int column) const
{
    if (m_query) {
        const QVariant value = m_query->value(column);
        m_utf8 = value.isNull() ? QByteArray() : value.toString().toUtf8();
        return m_utf8;
    }
    // The bytes are asked for after the text, as SQLite's rules for
    // converting a value want.
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    return QByteArrayView(bytes, bytes ? sqlite3_column_bytes(m_statement, column) : 0);
}

QString SqliteRows::text(int column) const
{
    if (m_query) {
        const QVariant value = m_query->value(column);
        return value.isNull() ? QString() : value.toString();
    }
    return QString::fromUtf8(utf8(column));
}

QString SqliteRows::sharedText(int column)
{
    const QByteArrayView bytes = utf8(column);
    // Null and empty are left as they are read: a pool would take one for
    // the other.
    if (bytes.isEmpty())
        return text(column);
    const auto found = m_shared.constFind(QByteArray::fromRawData(bytes.data(), bytes.size()));
    if (found != m_shared.cend())
        return *found;
    const QString read = QString::fromUtf8(bytes);
    m_shared.insert(bytes.toByteArray(), read);
    return read;
}

const QString *SqliteRows::pooledText(int column)
{
    if (isNull(column))
        return nullptr;
    const QByteArrayView bytes = utf8(column);
    const auto found = m_pooled.constFind(QByteArray::fromRawData(bytes.data(), bytes.size()));
    if (found != m_pooled.cend())
        return *found;
    const QString *pooled = TextPool::pooled(QString::fromUtf8(bytes));
    m_pooled.insert(bytes.toByteArray(), pooled);
    return pooled;
}

std::optional<Expected<void, QString>> insertBlobInPlace(const QSqlDatabase &database, const QString &statement,
                                                         const QVariantList &values, const QString &table,
                                                         const QString &column, QByteArrayView bytes)
{
    sqlite3 *connection = directConnection(database);
    if (!connection)
        return std::nullopt;
    const auto failed = [connection]() -> Expected<void, QString> {
        return unexpected(QString::fromUtf8(sqlite3_errmsg(connection)));
    };
    sqlite3_stmt *insert = nullptr;
    const QByteArray text = statement.toUtf8();
    if (sqlite3_prepare_v2(connection, text.constData(), int(text.size()), &insert, nullptr) != SQLITE_OK) {
        sqlite3_finalize(insert);
        return failed();
    }
    int parameter = 0;
    for (const QVariant &value : values) {
        ++parameter;
        if (value.typeId() == QMetaType::QString) {
            const QByteArray utf8 = value.toString().toUtf8();
            sqlite3_bind_text(insert, parameter, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        } else {
            sqlite3_bind_int64(insert, parameter, value.toLongLong());
        }
    }
    sqlite3_bind_int64(insert, parameter + 1, bytes.size());
    const bool inserted = sqlite3_step(insert) == SQLITE_DONE;
    sqlite3_finalize(insert);
    if (!inserted)
        return failed();

    sqlite3_blob *blob = nullptr;
    if (sqlite3_blob_open(connection, "main", table.toUtf8().constData(), column.toUtf8().constData(),
                          sqlite3_last_insert_rowid(connection), 1, &blob)
        != SQLITE_OK) {
        sqlite3_blob_close(blob);
        return failed();
    }
    constexpr qsizetype piece = qsizetype(1) << 26;
    for (qsizetype at = 0; at < bytes.size(); at += piece) {
        const int size = int(std::min(piece, bytes.size() - at));
        if (sqlite3_blob_write(blob, bytes.data() + at, size, int(at)) != SQLITE_OK) {
            const auto failure = failed();
            sqlite3_blob_close(blob);
            return failure;
        }
    }
    if (sqlite3_blob_close(blob) != SQLITE_OK)
        return failed();
    return Expected<void, QString>();
}

std::optional<Expected<QByteArray, QString>> readBlobInPlace(const QSqlDatabase &database, const QString &table,
                                                             const QString &column, qint64 rowid)
{
    sqlite3 *connection = directConnection(database);
    if (!connection)
        return std::nullopt;
    sqlite3_blob *blob = nullptr;
    if (sqlite3_blob_open(connection, "main", table.toUtf8().constData(), column.toUtf8().constData(), rowid, 0, &blob)
        != SQLITE_OK) {
        const QString reason = QString::fromUtf8(sqlite3_errmsg(connection));
        sqlite3_blob_close(blob);
        return unexpected(reason);
    }
    const int size = sqlite3_blob_bytes(blob);
    // Empty is a value, not NULL.
    QByteArray bytes(size, Qt::Uninitialized);
    if (size > 0 && bytes.size() != size) {
        sqlite3_blob_close(blob);
        return unexpected(QStringLiteral("out of memory"));
    }
    if (size > 0 && sqlite3_blob_read(blob, bytes.data(), size, 0) != SQLITE_OK) {
        const QString reason = QString::fromUtf8(sqlite3_errmsg(connection));
        sqlite3_blob_close(blob);
        return unexpected(reason);
    }
    sqlite3_blob_close(blob);
    return bytes;
}

} // namespace tessaline
