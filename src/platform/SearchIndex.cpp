#include "platform/SearchIndex.h"

#include "platform/Json.h"

#include <QDir>
#include <QJsonArray>
#include <QRegularExpression>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <algorithm>
#include <atomic>

namespace tessaline {

namespace {

std::atomic<int> connectionSerial{0};

SearchIndexError failure(const QString &what, const QSqlError &error)
{
    return SearchIndexError{what + QLatin1Char(' ') + error.text()};
}

QString ftsPhrase(const QString &word)
{
    QString escaped = word;
    escaped.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + escaped + QStringLiteral("\"*");
}

// SQLite tells NULL from '' and the columns are NOT NULL; a null QString
// would bind as NULL.
QString text(const QString &value)
{
    return value.isNull() ? QStringLiteral("") : value;
}

std::optional<QByteArray> keywordsJson(const QStringList &keywords)
{
    return writeJson(QJsonArray::fromStringList(keywords));
}

} // namespace

SearchIndex::SearchIndex(const QString &filePath)
    : m_filePath(filePath),
      m_connectionName(QStringLiteral("tessaline-search-%1").arg(connectionSerial.fetch_add(1)))
{
}

SearchIndex::~SearchIndex()
{
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

QString SearchIndex::defaultFilePath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(QStringLiteral("SearchIndex.sqlite"));
}

Expected<void, SearchIndexError> SearchIndex::open()
{
    if (m_isOpen)
        return {};
    if (!QDir().mkpath(QFileInfo(m_filePath).absolutePath()))
        return unexpected(SearchIndexError{QStringLiteral("The search index folder could not be created.")});
    QSqlDatabase db = QSqlDatabase::contains(m_connectionName)
                          ? QSqlDatabase::database(m_connectionName, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    db.setDatabaseName(m_filePath);
    if (!db.open())
        return unexpected(failure(QStringLiteral("The search index could not be opened."), db.lastError()));
    QSqlQuery query(db);
    const char *statements[] = {
        "PRAGMA journal_mode=WAL",
        "PRAGMA synchronous=NORMAL",
        "CREATE TABLE IF NOT EXISTS items ("
        " id INTEGER PRIMARY KEY,"
        " identifier TEXT NOT NULL UNIQUE,"
        " domain TEXT NOT NULL,"
        " title TEXT NOT NULL,"
        " description TEXT NOT NULL,"
        " keywords TEXT NOT NULL,"
        " creator TEXT,"
        " thumbnail BLOB)",
        "CREATE VIRTUAL TABLE IF NOT EXISTS items_text USING fts5("
        " title, description, keywords, creator, tokenize='unicode61 remove_diacritics 2')",
    };
    for (const char *statement : statements) {
        if (!query.exec(QString::fromLatin1(statement))) {
            const SearchIndexError error = failure(QStringLiteral("The search index could not be prepared."), query.lastError());
            db.close();
            return unexpected(error);
        }
    }
    m_isOpen = true;
    return {};
}

Expected<void, SearchIndexError> SearchIndex::indexItems(const QList<SearchableItem> &items)
{
    if (auto opened = open(); !opened)
        return opened;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (!db.transaction())
        return unexpected(failure(QStringLiteral("The search index could not be updated."), db.lastError()));
    auto abort = [&db](const QSqlQuery &query) {
        const SearchIndexError error = failure(QStringLiteral("The search index could not be updated."), query.lastError());
        db.rollback();
        return unexpected(error);
    };
    for (const SearchableItem &item : items) {
        const std::optional<QByteArray> keywords = keywordsJson(item.keywords);
        if (!keywords) {
            db.rollback();
            return unexpected(
                SearchIndexError{QStringLiteral("The search index could not be updated. A keyword is not valid text.")});
        }
        QSqlQuery query(db);
        query.prepare(QStringLiteral("SELECT id FROM items WHERE identifier = ?"));
        query.addBindValue(item.uniqueIdentifier);
        if (!query.exec())
            return abort(query);
        const bool exists = query.next();
        const qint64 existingId = exists ? query.value(0).toLongLong() : 0;
        query.finish();

        const QVariant creator = item.creator ? QVariant(*item.creator) : QVariant(QMetaType::fromType<QString>());
        const QVariant thumbnail =
            item.thumbnailData ? QVariant(*item.thumbnailData) : QVariant(QMetaType::fromType<QByteArray>());
        if (exists) {
            query.prepare(QStringLiteral("UPDATE items SET domain = ?, title = ?, description = ?, keywords = ?,"
                                         " creator = ?, thumbnail = ? WHERE id = ?"));
        } else {
            query.prepare(QStringLiteral("INSERT INTO items (domain, title, description, keywords, creator, thumbnail,"
                                         " identifier) VALUES (?, ?, ?, ?, ?, ?, ?)"));
        }
        query.addBindValue(text(item.domainIdentifier));
        query.addBindValue(text(item.title));
        query.addBindValue(text(item.contentDescription));
        query.addBindValue(QString::fromUtf8(*keywords));
        query.addBindValue(creator);
        query.addBindValue(thumbnail);
        if (exists)
            query.addBindValue(existingId);
        else
            query.addBindValue(text(item.uniqueIdentifier));
        if (!query.exec())
            return abort(query);
        const qint64 rowId = exists ? existingId : query.lastInsertId().toLongLong();

        query.prepare(QStringLiteral("DELETE FROM items_text WHERE rowid = ?"));
        query.addBindValue(rowId);
        if (!query.exec())
            return abort(query);
        query.prepare(QStringLiteral("INSERT INTO items_text (rowid, title, description, keywords, creator)"
                                     " VALUES (?, ?, ?, ?, ?)"));
        query.addBindValue(rowId);
        query.addBindValue(text(item.title));
        query.addBindValue(text(item.contentDescription));
        query.addBindValue(item.keywords.join(QLatin1Char('\n')));
        query.addBindValue(text(item.creator.value_or(QString())));
        if (!query.exec())
            return abort(query);
    }
    if (!db.commit()) {
        const SearchIndexError error = failure(QStringLiteral("The search index could not be updated."), db.lastError());
        db.rollback();
        return unexpected(error);
    }
    return {};
}

Expected<void, SearchIndexError> SearchIndex::deleteItems(const QStringList &uniqueIdentifiers)
{
    if (auto opened = open(); !opened)
        return opened;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (!db.transaction())
        return unexpected(failure(QStringLiteral("The search index could not be updated."), db.lastError()));
    for (const QString &identifier : uniqueIdentifiers) {
        QSqlQuery query(db);
        query.prepare(QStringLiteral("DELETE FROM items_text WHERE rowid IN (SELECT id FROM items WHERE identifier = ?)"));
        query.addBindValue(identifier);
        bool ok = query.exec();
        if (ok) {
            query.prepare(QStringLiteral("DELETE FROM items WHERE identifier = ?"));
            query.addBindValue(identifier);
            ok = query.exec();
        }
        if (!ok) {
            const SearchIndexError error = failure(QStringLiteral("The search index could not be updated."), query.lastError());
            db.rollback();
            return unexpected(error);
        }
    }
    if (!db.commit()) {
        const SearchIndexError error = failure(QStringLiteral("The search index could not be updated."), db.lastError());
        db.rollback();
        return unexpected(error);
    }
    return {};
}

std::optional<SearchableItem> SearchIndex::item(const QString &uniqueIdentifier)
{
    if (!open())
        return std::nullopt;
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT identifier, domain, title, description, keywords, creator, thumbnail"
                                 " FROM items WHERE identifier = ?"));
    query.addBindValue(uniqueIdentifier);
    if (!query.exec() || !query.next())
        return std::nullopt;
    SearchableItem item;
    item.uniqueIdentifier = query.value(0).toString();
    item.domainIdentifier = query.value(1).toString();
    item.title = query.value(2).toString();
    item.contentDescription = query.value(3).toString();
    const std::optional<QJsonValue> keywords = parseJson(query.value(4).toString().toUtf8());
    if (keywords && keywords->isArray()) {
        for (const QJsonValue &keyword : keywords->toArray())
            item.keywords << keyword.toString();
    }
    if (!query.isNull(5))
        item.creator = query.value(5).toString();
    if (!query.isNull(6))
        item.thumbnailData = query.value(6).toByteArray();
    return item;
}

QStringList SearchIndex::search(const QString &text)
{
    QStringList phrases;
    for (const QString &word : text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
        // A word of punctuation alone holds no token and would make the
        // whole query fail; it is left out.
        if (std::any_of(word.cbegin(), word.cend(), [](QChar c) { return c.isLetterOrNumber(); }))
            phrases << ftsPhrase(word);
    }
    if (phrases.isEmpty() || !open())
        return {};
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT items.identifier FROM items_text JOIN items ON items.id = items_text.rowid"
                                 " WHERE items_text MATCH ? ORDER BY rank"));
    query.addBindValue(phrases.join(QStringLiteral(" AND ")));
    QStringList identifiers;
    if (!query.exec())
        return identifiers;
    while (query.next())
        identifiers << query.value(0).toString();
    return identifiers;
}

qsizetype SearchIndex::count()
{
    if (!open())
        return 0;
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM items")) || !query.next())
        return 0;
    return query.value(0).toLongLong();
}

} // namespace tessaline
