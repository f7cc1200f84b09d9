#pragma once

#include "platform/Expected.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QVariantList>

#include <memory>
#include <optional>

class QSqlDatabase;
class QSqlQuery;
struct sqlite3_stmt;

namespace tessaline {

// The rows of one statement, read with SQLite's own calls on the connection
// Qt's driver holds. Reading a whole library through QSqlQuery costs a
// variant per value and a conversion of every text to UTF-16 inside SQLite;
// this reads each value as stored, and texts as the UTF-8 they are kept in.
// Where the driver carries an SQLite of its own rather than the system's
// (a Qt built with its bundled copy), its connection cannot be handed to
// another copy's calls, and the rows are read through QSqlQuery instead,
// with the same answers. On the thread that uses the connection.
class SqliteRows
{
public:
    enum class Access {
        direct, // when the driver uses this process's SQLite
        throughDriver, // always through QSqlQuery
    };

    SqliteRows(const QSqlDatabase &database, const QString &statement, Access access = Access::direct);
    ~SqliteRows();

    SqliteRows(const SqliteRows &) = delete;
    SqliteRows &operator=(const SqliteRows &) = delete;

    // Whether this reads straight through SQLite.
    bool isDirect() const { return m_statement != nullptr; }

    // Steps to the next row; false at the end and on an error, which
    // errorText() then names.
    bool next();
    // Empty while nothing has gone wrong: the statement was prepared and
    // every step so far succeeded.
    QString errorText() const { return m_error; }
    // SQLite's primary result code of that error (SQLITE_CORRUPT for a
    // damaged file, say); 0 while there is none, -1 when it is not known.
    int errorCode() const { return m_errorCode; }

    // The current row's values, by column from 0.
    bool isNull(int column) const;
    // A stored integer or real number; none for text, a blob or NULL.
    std::optional<double> number(int column) const;
    // As SQLite converts the value: 0 for NULL, text read as a number.
    qint64 integer(int column) const;
    // Null for NULL, empty for a stored empty text.
    QString text(int column) const;
    // The text's UTF-8 bytes, valid until the next step (or the next call,
    // when read through the driver).
    QByteArrayView utf8(int column) const;
    // The text, as one buffer shared with every equal text this has read
    // this way: texts that repeat from row to row (kinds, source apps,
    // folders) would otherwise each hold a buffer of their own, which in a
    // large library adds up to much of what the rows take. Looked up by
    // the stored bytes, so a repeat costs no conversion.
    QString sharedText(int column);
    // The text as pooled for the process (TextPool), for texts that repeat
    // across the library as much as across rows; none for NULL. Looked up
    // by the stored bytes as sharedText is.
    const QString *pooledText(int column);

private:
    void failedThroughDriver();

    sqlite3_stmt *m_statement = nullptr;
    std::unique_ptr<QSqlQuery> m_query;
    mutable QByteArray m_utf8;
    QHash<QByteArray, QString> m_shared;
    QHash<QByteArray, const QString *> m_pooled;
    QString m_error;
    int m_errorCode = 0;
    bool m_done = false;
};

// Inserts a row holding a large blob with SQLite's own calls on the
// connection Qt's driver holds: `statement` inserts into `table`, binding
// `values` (integers and texts) in order and then the blob's size, which it
// hands to zeroblob() for `column`; the bytes are then written into the
// blob's pages where they lie. A bound value is first copied whole into a
// record, which for a picture of 17 MB means as many fresh pages and a
// copy. None when the driver's SQLite cannot be reached from here (bind
// the bytes then); the error's text when the insert failed, inside the
// caller's transaction, which the caller then ends.
std::optional<Expected<void, QString>> insertBlobInPlace(const QSqlDatabase &database, const QString &statement,
                                                         const QVariantList &values, const QString &table,
                                                         const QString &column, QByteArrayView bytes);

// Reads the blob of `column` in row `rowid` of `table` straight into one
// buffer with SQLite's own calls: a SELECT copies a large value twice
// (SQLite's copy, then the driver's), 34 MB of fresh pages for a 5K
// picture. None when the driver's SQLite cannot be reached from here (read
// it with a SELECT then); the error's text when the row is not there or
// cannot be read.
std::optional<Expected<QByteArray, QString>> readBlobInPlace(const QSqlDatabase &database, const QString &table,
                                                             const QString &column, qint64 rowid);

} // namespace tessaline
