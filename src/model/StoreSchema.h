#pragma once

#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/Connection.h"

#include <QSqlQuery>
#include <QStringList>

// How each entity's stored properties map to its table's columns. Kept in
// one place so the schema, inserts, updates and reads cannot drift apart.
namespace tessaline::storeschema {

// Statements that create an empty library, in order.
QStringList creationStatements();

QString tableName(const Board *);
QString tableName(const CanvasCard *);
QString tableName(const Connection *);

QStringList columns(const Board *);
QStringList columns(const CanvasCard *);
QStringList columns(const Connection *);

// Binds the values positionally, in column order, from `first` on.
void bind(QSqlQuery &query, const Board::Values &values);
void bind(QSqlQuery &query, const CanvasCard::Values &values);
void bind(QSqlQuery &query, const Connection::Values &values);

// Reads the values from a row selected as `row, <columns…>`.
Board::Values readBoard(const QSqlQuery &query);
CanvasCard::Values readCard(const QSqlQuery &query);
Connection::Values readConnection(const QSqlQuery &query);

QString blobFieldName(CanvasCard::Blob blob);

} // namespace tessaline::storeschema
