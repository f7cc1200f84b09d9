#include "platform/SearchIndex.h"

#include "platform/ImageDecoder.h"
#include "platform/Json.h"
#include "platform/PngEncoder.h"
#include "platform/PrivateFolder.h"
#include "platform/TextUtilities.h"

#include <QDir>
#include <QJsonArray>
#include <QRegularExpression>
#include <QSet>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <thread>

namespace tessaline {

namespace {

std::atomic<int> connectionSerial{0};

SearchIndexError failure(const QString &what, const QSqlError &error)
{
    return SearchIndexError{what + QLatin1Char(' ') + error.text()};
}

// The error is taken before the rollback, which would replace the
// connection's own.
Unexpected<SearchIndexError> rolledBack(QSqlDatabase &db, const QString &what, const QSqlError &error)
{
    const SearchIndexError failed = failure(what, error);
    db.rollback();
    return unexpected(failed);
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

// Every three characters of the folded words, so a word found anywhere in
// them is looked up rather than scanned for. It reads the text from
// item_words, and the triggers keep it in step with that table whichever
// connection writes.
const char *const trigramStatements[] = {
    "CREATE VIRTUAL TABLE item_trigrams USING fts5(folded, content='item_words', content_rowid='item',"
    " tokenize='trigram case_sensitive 1')",
    "CREATE TRIGGER item_words_added AFTER INSERT ON item_words BEGIN"
    " INSERT INTO item_trigrams (rowid, folded) VALUES (new.item, new.folded); END",
    "CREATE TRIGGER item_words_removed AFTER DELETE ON item_words BEGIN"
    " INSERT INTO item_trigrams (item_trigrams, rowid, folded) VALUES ('delete', old.item, old.folded); END",
    "CREATE TRIGGER item_words_changed AFTER UPDATE ON item_words BEGIN"
    " INSERT INTO item_trigrams (item_trigrams, rowid, folded) VALUES ('delete', old.item, old.folded);"
    " INSERT INTO item_trigrams (rowid, folded) VALUES (new.item, new.folded); END",
    "INSERT INTO item_trigrams (item_trigrams) VALUES ('rebuild')",
};

bool hasTrigrams(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    return query.exec(QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = 'item_trigrams'")) && query.next();
}

// The trigram table finds a word of three characters or more; a shorter one
// has no trigram to look up.
bool hasTrigram(const QString &needle)
{
    qsizetype characters = 0;
    for (qsizetype i = 0; i < needle.size() && characters < 3; ++i) {
        if (!needle.at(i).isLowSurrogate())
            ++characters;
    }
    return characters >= 3;
}

// The word as one FTS5 string: whatever it holds (quotes, stars, AND, NEAR,
// colons) is text to find, never query syntax.
QString ftsString(const QString &needle)
{
    QString quoted = needle;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
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
        // connection of its own. A write lock is waited for long enough to
        // outlast another process building the trigrams of a large index
        // (some 5 s at 50,000 snips), so a snip's entry is not lost to it.
        "PRAGMA busy_timeout=15000",
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
    m_hasTrigrams = hasTrigrams(db);
    if (!m_hasTrigrams) {
        // Without the table every search scans, as before it was there: a
        // build that fails (the file read-only, another connection writing
        // long) leaves the index usable.
        if (m_creation == Creation::createWhenMissing || m_buildsTrigramsHere) {
            m_hasTrigrams = bool(buildTrigrams());
        } else if (!m_trigramBuild.joinable()) {
            // A reader answers on the main thread: the words are scanned
            // while a connection of its own builds the table, once.
            m_trigramBuild = std::jthread([path = m_filePath] {
                SearchIndex builder(path, Creation::existingOnly);
                builder.m_buildsTrigramsHere = true;
                (void)builder.open();
            });
        }
    }
    m_isOpen = true;
    return {};
}

Expected<void, SearchIndexError> SearchIndex::buildTrigrams()
{
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    QSqlQuery query(db);
    const auto fail = [&db](const QSqlQuery &failed) {
        return rolledBack(db, QStringLiteral("The search index could not be prepared."), failed.lastError());
    };
    // Derived from item_words alone, so building it again is always safe;
    // whoever takes the write lock first builds it, the other finds it.
    if (!query.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return fail(query);
    if (hasTrigrams(db)) {
        db.commit();
        return {};
    }
    for (const char *statement : trigramStatements) {
        if (!query.exec(QString::fromLatin1(statement)))
            return fail(query);
    }
    if (!db.commit()) {
        return rolledBack(db, QStringLiteral("The search index could not be prepared."), db.lastError());
    }
    return {};
}

Expected<void, SearchIndexError> SearchIndex::upgrade()
{
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    QSqlQuery query(db);
    const auto fail = [&db](const QSqlQuery &failed) {
        return rolledBack(db, QStringLiteral("The search index could not be prepared."), failed.lastError());
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
        return rolledBack(db, QStringLiteral("The search index could not be prepared."), db.lastError());
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
    if (m_trigramBuild.joinable())
        m_trigramBuild.join();
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    // Taking the write lock first waits for another writer; a read turned
    // into a write later would fail at once instead.
    if (QSqlQuery begin(db); !begin.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return unexpected(failure(QStringLiteral("The search index could not be updated."), begin.lastError()));
    auto abort = [&db](const QSqlQuery &query) {
        return rolledBack(db, QStringLiteral("The search index could not be updated."), query.lastError());
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

        // An update rather than a replace: a replace's delete fires no
        // trigger, and the trigram table would keep the old words.
        query.prepare(QStringLiteral("INSERT INTO item_words (item, identifier, folded) VALUES (?, ?, ?)"
                                     " ON CONFLICT (item) DO UPDATE SET identifier = excluded.identifier,"
                                     " folded = excluded.folded"));
        query.addBindValue(rowId);
        query.addBindValue(text(item.uniqueIdentifier));
        query.addBindValue(foldedWords(item.title, item.contentDescription, item.keywords,
                                       item.creator.value_or(QString())));
        if (!query.exec())
            return abort(query);
    }
    if (!db.commit()) {
        return rolledBack(db, QStringLiteral("The search index could not be updated."), db.lastError());
    }
    return {};
}

Expected<void, SearchIndexError> SearchIndex::deleteItems(const QStringList &uniqueIdentifiers)
{
    if (auto opened = open(); !opened)
        return opened;
    if (m_trigramBuild.joinable())
        m_trigramBuild.join();
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    // Taking the write lock first waits for another writer; a read turned
    // into a write later would fail at once instead.
    if (QSqlQuery begin(db); !begin.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return unexpected(failure(QStringLiteral("The search index could not be updated."), begin.lastError()));
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
            return rolledBack(db, QStringLiteral("The search index could not be updated."), query.lastError());
        }
    }
    if (!db.commit()) {
        return rolledBack(db, QStringLiteral("The search index could not be updated."), db.lastError());
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

namespace {

// The words as the folded text is searched for them: a word of punctuation
// alone says nothing about what is wanted.
QStringList needlesOf(const QStringList &words)
{
    QStringList needles;
    for (const QString &word : words) {
        if (std::any_of(word.cbegin(), word.cend(), [](QChar c) { return c.isLetterOrNumber(); })) {
            const QString needle = foldedSearchText(word.trimmed());
            if (!needle.isEmpty() && !needles.contains(needle))
                needles << needle;
        }
    }
    return needles;
}

QStringList splitWords(const QString &text)
{
    return text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

} // namespace

QStringList SearchIndex::search(const QString &text)
{
    return search(splitWords(text));
}

QStringList SearchIndex::searchAmong(const QString &text, const QStringList &identifiers)
{
    const QStringList needles = needlesOf(splitWords(text));
    if (needles.isEmpty() || identifiers.isEmpty() || !open())
        return {};
    const QString placeholders = QStringList(identifiers.size(), QStringLiteral("?")).join(QLatin1Char(','));
    QStringList conditions{QStringLiteral("items.identifier IN (") + placeholders + QLatin1Char(')')};
    for (qsizetype i = 0; i < needles.size(); ++i)
        conditions << QStringLiteral("item_words.folded GLOB ?");
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT items.identifier FROM items JOIN item_words ON item_words.item = items.id WHERE ")
                  + conditions.join(QStringLiteral(" AND ")));
    for (const QString &identifier : identifiers)
        query.addBindValue(identifier);
    for (const QString &needle : needles)
        query.addBindValue(QLatin1Char('*') + globLiteral(needle) + QLatin1Char('*'));
    if (!query.exec())
        return {};
    QSet<QString> matched;
    while (query.next())
        matched.insert(query.value(0).toString());
    QStringList found;
    for (const QString &identifier : identifiers) {
        if (matched.contains(identifier))
            found << identifier;
    }
    return found;
}

QStringList SearchIndex::search(const QStringList &words)
{
    QStringList needles = needlesOf(words);
    if (needles.isEmpty() || !open())
        return {};
    // The longest word first: it rules out the most rows for the least work.
    std::stable_sort(needles.begin(), needles.end(),
                     [](const QString &a, const QString &b) { return a.size() > b.size(); });
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    // Built since it opened, by a reader's thread or another connection.
    if (!m_hasTrigrams)
        m_hasTrigrams = hasTrigrams(db);
    QStringList looked;
    QStringList scanned;
    for (const QString &needle : std::as_const(needles))
        (m_hasTrigrams && hasTrigram(needle) ? looked : scanned) << needle;
    // The words of three characters or more are looked up; a shorter one is
    // scanned for in the rows they let through, or in every row when all
    // are short. GLOB, as both sides are folded already: it scans a third
    // faster than instr() and, unlike LIKE, folds nothing itself.
    QStringList conditions;
    QStringList ftsStrings;
    for (const QString &needle : std::as_const(looked))
        ftsStrings << ftsString(needle);
    if (!looked.isEmpty())
        conditions << QStringLiteral("item IN (SELECT rowid FROM item_trigrams WHERE item_trigrams MATCH ?)");
    for (qsizetype i = 0; i < scanned.size(); ++i)
        conditions << QStringLiteral("folded GLOB ?");
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT identifier FROM item_words WHERE ") + conditions.join(QStringLiteral(" AND "))
                  + QStringLiteral(" ORDER BY item"));
    if (!looked.isEmpty())
        query.addBindValue(ftsStrings.join(QLatin1Char(' ')));
    for (const QString &needle : std::as_const(scanned))
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
