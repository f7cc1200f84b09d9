#pragma once

#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/Connection.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <optional>

namespace tessaline {
class SqliteRows;
}

// How each entity's stored properties map to its table's columns. Kept in
// one place so the schema, inserts, updates and reads cannot drift apart.
namespace tessaline::storeschema {

// The most the write-ahead log keeps of its size once it is reset (in
// bytes): room for a capture's picture (a busy 5K desktop is 17 to 18 MB),
// so writing the next one overwrites blocks the log's file already has
// instead of having the file system find new ones, which adds a third to
// the picture's write and sync. A larger moment (an import) is cut back to
// this at the next reset; without a limit the log would keep the size of
// its largest moment for good.
constexpr qint64 journalSizeLimit = 32 * 1024 * 1024;

// The page size a new library is made with (in bytes; SQLite's largest).
constexpr int newLibraryPageSize = 65536;

// How long a statement waits for another connection's lock on the library
// before it fails (SQLite's busy timeout, in milliseconds).
constexpr int lockWaitMs = 5000;

// Whether a statement failed because another connection held the lock it
// needed (SQLITE_BUSY, with or without its extended part).
bool isBusy(const QSqlError &error);
// What kept a statement from writing, in words the user can act on where
// SQLite's own ("database or disk is full Unable to commit transaction")
// would leave them guessing; otherwise SQLite's.
QString failureReason(const QSqlError &error);
// failureReason()'s words for a full disk.
QString diskFullReason();
// Runs a statement that begins or ends a transaction ("BEGIN", "BEGIN
// IMMEDIATE", "COMMIT") on the connection; the failure, none when it ran.
// QSqlDatabase's own transaction calls keep SQLite's words but drop its
// result code, and a disk that fills up shows only at the commit, where the
// log is written: failureReason() could not tell it for what it is.
std::optional<QSqlError> runTransactionStatement(const QSqlDatabase &db, const QString &statement);

// Statements that create an empty library, in order.
QStringList creationStatements();

// A card's long texts: most of what a card row holds, and what start-up
// leaves unread.
QStringList longCardColumns();
// Makes, unless there, the index that holds every card column but the long
// texts. Reading every card at start-up walks it instead of the table, whose
// pages are mostly long texts: in a library of snips with recognised text
// it has about a seventh of the table's pages. Libraries made before it get
// it when next opened for writing; one that can only be read is read from
// the table, as before.
QString cardOutlineIndexStatement();
// Makes, unless there, the table of cards whose text is yet to be
// recognised (by card row), so a capture whose text was not read before the
// app ended is read at its next start. Libraries made before it get it when
// next opened for writing; a version of the app that predates it leaves it
// alone.
QString textRecognitionPendingStatement();

QString tableName(const Board *);
QString tableName(const CanvasCard *);
QString tableName(const Connection *);

// What a note's update writes: every column, or all but its writing, which
// then stays as stored. A note's writing is by far the largest value in the
// library (a Quick Captures note of thousands of captures holds hundreds of
// kilobytes), and most saves of a note change only its dates or flags:
// opening it stamps it.
enum class BoardColumns { all, withoutWriting };

QStringList columns(const Board *, BoardColumns which = BoardColumns::all);
QStringList columns(const CanvasCard *);
QStringList columns(const Connection *);

// Columns an update sets as `column = COALESCE(?, column)`: given NULL, the
// stored value stays, so a damaged number or identifier that nobody has set
// since it was read is never overwritten, and a save never fails on it.
QStringList keptWhenNull();

// Optional text columns an update sets as `column = CASE WHEN ? THEN column
// ELSE ? END`, bound with whether the property is damaged first: a stored
// text that could not be read as UTF-8 stays as it is until it is set.
QStringList keptWhenFlagged();

// The identifier a row whose own is not a valid one, or is another row's
// too, goes by in memory: the same at every reading, so what refers to it
// meanwhile finds it again, and never stored in the row itself.
QUuid standInID(const QString &table, qint64 row);

// What stands for the column's value in a statement: a bare `?`, or, for a
// text kept as UTF-8 (a note's writing), a cast of the bytes bound as they
// are, which the store takes as they come, its own text being UTF-8 too.
QString placeholder(const QString &column);

// Binds the values positionally, in column order, from `first` on. With
// `keepDamaged` (updates), a damaged number or identifier nobody has set is
// bound as NULL, and a column kept when flagged gets its flag first.
void bind(QSqlQuery &query, const Board::Values &values, bool keepDamaged = false,
          BoardColumns which = BoardColumns::all);
void bind(QSqlQuery &query, const CanvasCard::Values &values, bool keepDamaged = false);
void bind(QSqlQuery &query, const Connection::Values &values, bool keepDamaged = false);

// Reads the values from a row selected as `row, <columns…>`.
// Texts that repeat from row to row share one buffer within a reading.
Board::Values readBoard(SqliteRows &rows);
CanvasCard::Values readCard(SqliteRows &rows);
Connection::Values readConnection(SqliteRows &rows);

QString blobFieldName(CanvasCard::Blob blob);

} // namespace tessaline::storeschema
