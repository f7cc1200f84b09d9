#include "platform/SearchIndex.h"

#include "platform/ImageDecoder.h"
#include "platform/Json.h"
#include "platform/PngEncoder.h"
#include "platform/PrivateFolder.h"
#include "platform/TextUtilities.h"

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

// The layout this code writes; older files are brought up to it on opening.
// 0: an FTS5 table of the words and a full-size copy of every picture.
// 1: the words folded in a table of their own, thumbnails small.
constexpr int schemaVersion = 1;

const QByteArray pngSignature("\x89PNG\r\n\x1a\n", 8);

// Whether the bytes start like a PNG that already fits the thumbnail bound,
// read from its header alone (signature, then the IHDR chunk's size).
bool isSmallPng(const QByteArray &header)
{
    if (header.size() < 24 || !header.startsWith(pngSignature) || header.mid(12, 4) != "IHDR")
        return false;
    const auto number = [&header](int at) {
        return (quint32(quint8(header[at])) << 24) | (quint32(quint8(header[at + 1])) << 16)
            | (quint32(quint8(header[at + 2])) << 8) | quint32(quint8(header[at + 3]));
    };
    const quint32 width = number(16);
    const quint32 height = number(20);
    return width > 0 && height > 0 && width <= quint32(SearchIndex::thumbnailSide)
        && height <= quint32(SearchIndex::thumbnailSide);
}

std::optional<QByteArray> smallThumbnail(const QByteArray &picture)
{
    if (isSmallPng(picture))
        return picture;
    const auto image = ImageDecoder::decode(picture);
    if (!image || image->isNull())
        return std::nullopt;
    const int side = SearchIndex::thumbnailSide;
    const QImage small = image->width() <= side && image->height() <= side
                             ? *image
                             : image->scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    PngEncoderOptions options;
    options.compressionLevel = 9;
    options.maxThreads = 1;
    return encodePng(small, options);
}

// What a search looks in: every field on a line of its own, so a word never
// runs from one field into the next.
QString foldedWords(const QString &title, const QString &description, const QStringList &keywords,
                    const QString &creator)
{
    QStringList parts{title, description};
    parts += keywords;
    parts << creator;
    return foldedSearchText(parts.join(QLatin1Char('\n')));
}

// The text as a GLOB pattern that matches it alone: its wildcards and
// bracket become one-character sets.
QString globLiteral(const QString &text)
{
    QString pattern;
    pattern.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'*' || c == u'?' || c == u'[')
            pattern += QLatin1Char('[') + c + QLatin1Char(']');
        else
            pattern += c;
    }
    return pattern;
}

QStringList keywordsFromJson(const QString &json)
{
    QStringList keywords;
    const std::optional<QJsonValue> parsed = parseJson(json.toUtf8());
    if (parsed && parsed->isArray()) {
        for (const QJsonValue &keyword : parsed->toArray())
            keywords << keyword.toString();
    }
    return keywords;
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

SearchIndex::SearchIndex(const QString &filePath, Creation creation)
    : m_filePath(filePath),
      m_creation(creation),
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
    if (m_creation == Creation::existingOnly && !QFileInfo(m_filePath).isFile())
        return unexpected(SearchIndexError{QStringLiteral("There is no search index yet.")});
    if (!makePrivateFolder(QFileInfo(m_filePath).absolutePath()))
        return unexpected(SearchIndexError{QStringLiteral("The search index folder could not be created.")});
    QSqlDatabase db = QSqlDatabase::contains(m_connectionName)
                          ? QSqlDatabase::database(m_connectionName, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    db.setDatabaseName(m_filePath);
    if (!db.open())
        return unexpected(failure(QStringLiteral("The search index could not be opened."), db.lastError()));
    QSqlQuery query(db);
    const char *statements[] = {
        // The index's worker writes while the desktop's search reads on a
        // connection of its own; a write lock is waited for, briefly.
        "PRAGMA busy_timeout=2000",
        "PRAGMA journal_mode=WAL",
        // An entry removed with its snip leaves no words or picture behind.
        "PRAGMA secure_delete=ON",
        "PRAGMA synchronous=NORMAL",
    };
    for (const char *statement : statements) {
        if (!query.exec(QString::fromLatin1(statement))) {
            const SearchIndexError error = failure(QStringLiteral("The search index could not be prepared."), query.lastError());
            db.close();
            return unexpected(error);
        }
    }
    if (auto upgraded = upgrade(); !upgraded) {
        db.close();
        return upgraded;
    }
    m_isOpen = true;
    return {};
}

Expected<void, SearchIndexError> SearchIndex::upgrade()
{
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    QSqlQuery query(db);
    const auto fail = [&db](const QSqlQuery &failed) {
        const SearchIndexError error = failure(QStringLiteral("The search index could not be prepared."), failed.lastError());
        db.rollback();
        return unexpected(error);
    };
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return fail(query);
    if (query.value(0).toInt() >= schemaVersion)
        return {};
    query.finish();
    // Whoever takes the write lock first brings the file up to date; the
    // other finds it done.
    if (!query.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return fail(query);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return fail(query);
    if (query.value(0).toInt() >= schemaVersion) {
        query.finish();
        db.commit();
        return {};
    }
    query.finish();
    const char *statements[] = {
        "CREATE TABLE IF NOT EXISTS items ("
        " id INTEGER PRIMARY KEY,"
        " identifier TEXT NOT NULL UNIQUE,"
        " domain TEXT NOT NULL,"
        " title TEXT NOT NULL,"
        " description TEXT NOT NULL,"
        " keywords TEXT NOT NULL,"
        " creator TEXT,"
        " thumbnail BLOB)",
        // Searched row by row, so it holds nothing else: the pictures stay
        // out of the pages a search reads.
        "CREATE TABLE IF NOT EXISTS item_words ("
        " item INTEGER PRIMARY KEY,"
        " identifier TEXT NOT NULL,"
        " folded TEXT NOT NULL)",
    };
    for (const char *statement : statements) {
        if (!query.exec(QString::fromLatin1(statement)))
            return fail(query);
    }

    // A file of the first layout: its words are folded once, and only the
    // thumbnails that are already small stay. Shrinking the full-size copies
    // would mean decoding every picture; dropping them is cheap, and the
    // library keeps the pictures.
    bool droppedPictures = false;
    if (!query.exec(QStringLiteral("SELECT id, identifier, title, description, keywords, creator,"
                                   " substr(thumbnail, 1, 24), thumbnail IS NULL FROM items")))
        return fail(query);
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT OR REPLACE INTO item_words (item, identifier, folded) VALUES (?, ?, ?)"));
    QSqlQuery drop(db);
    drop.prepare(QStringLiteral("UPDATE items SET thumbnail = NULL WHERE id = ?"));
    while (query.next()) {
        const qint64 row = query.value(0).toLongLong();
        insert.addBindValue(row);
        insert.addBindValue(query.value(1).toString());
        insert.addBindValue(foldedWords(query.value(2).toString(), query.value(3).toString(),
                                        keywordsFromJson(query.value(4).toString()), query.value(5).toString()));
        if (!insert.exec())
            return fail(insert);
        if (!query.value(7).toBool() && !isSmallPng(query.value(6).toByteArray())) {
            drop.addBindValue(row);
            if (!drop.exec())
                return fail(drop);
            droppedPictures = true;
        }
    }
    query.finish();
    if (!query.exec(QStringLiteral("DROP TABLE IF EXISTS items_text"))
        || !query.exec(QStringLiteral("PRAGMA user_version = %1").arg(schemaVersion)))
        return fail(query);
    if (!db.commit()) {
        const SearchIndexError error = failure(QStringLiteral("The search index could not be prepared."), db.lastError());
        db.rollback();
        return unexpected(error);
    }
    // The pages the pictures held go back to the disk. Cheap now: only the
    // small rows are left to copy. When another connection is reading, it
    // waits for a later opening.
    if (droppedPictures && query.exec(QStringLiteral("VACUUM")))
        query.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
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
        const std::optional<QByteArray> thumbnailData = item.thumbnailData ? smallThumbnail(*item.thumbnailData)
                                                                           : std::nullopt;
        const QVariant thumbnail =
            thumbnailData ? QVariant(*thumbnailData) : QVariant(QMetaType::fromType<QByteArray>());
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

        query.prepare(QStringLiteral("INSERT OR REPLACE INTO item_words (item, identifier, folded) VALUES (?, ?, ?)"));
        query.addBindValue(rowId);
        query.addBindValue(text(item.uniqueIdentifier));
        query.addBindValue(foldedWords(item.title, item.contentDescription, item.keywords,
                                       item.creator.value_or(QString())));
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
        query.prepare(QStringLiteral("DELETE FROM item_words WHERE item IN (SELECT id FROM items WHERE identifier = ?)"));
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
    item.keywords = keywordsFromJson(query.value(4).toString());
    if (!query.isNull(5))
        item.creator = query.value(5).toString();
    if (!query.isNull(6))
        item.thumbnailData = query.value(6).toByteArray();
    return item;
}

QStringList SearchIndex::search(const QString &text)
{
    return search(text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts));
}

QStringList SearchIndex::search(const QStringList &words)
{
    QStringList needles;
    for (const QString &word : words) {
        // A word of punctuation alone says nothing about what is wanted.
        if (std::any_of(word.cbegin(), word.cend(), [](QChar c) { return c.isLetterOrNumber(); })) {
            const QString needle = foldedSearchText(word.trimmed());
            if (!needle.isEmpty() && !needles.contains(needle))
                needles << needle;
        }
    }
    if (needles.isEmpty() || !open())
        return {};
    // The longest word first: it rules out the most rows for the least work.
    std::stable_sort(needles.begin(), needles.end(),
                     [](const QString &a, const QString &b) { return a.size() > b.size(); });
    // GLOB, as both sides are folded already: it scans a third faster than
    // instr() and, unlike LIKE, folds nothing itself.
    QStringList conditions;
    for (qsizetype i = 0; i < needles.size(); ++i)
        conditions << QStringLiteral("folded GLOB ?");
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT identifier FROM item_words WHERE ") + conditions.join(QStringLiteral(" AND ")));
    for (const QString &needle : std::as_const(needles))
        query.addBindValue(QLatin1Char('*') + globLiteral(needle) + QLatin1Char('*'));
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
