#include "platform/SearchIndex.h"

#include "platform/ImageDecoder.h"
#include "platform/Json.h"
#include "platform/PngEncoder.h"
#include "platform/PrivateFolder.h"
#include "platform/TextUtilities.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonArray>
#include <QRegularExpression>
#include <QSet>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <limits>
#include <thread>

namespace tessaline {

namespace {

std::atomic<int> connectionSerial{0};

// Pages of the trigram table merged in one step of upkeep: some 15 ms of
// holding the write lock (40 on a busy machine), some 160 steps to merge the
// table of 50,000 snips.
constexpr int upkeepPages = 128;

SearchIndexError failure(const QString &what, const QSqlError &error)
{
    return SearchIndexError{what + QLatin1Char(' ') + error.text()};
}

// Whether SQLite finds the file damaged (SQLITE_CORRUPT, SQLITE_NOTADB) as
// it reads the file's catalogue: one page, however large the index.
bool catalogueDamaged(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    if (query.exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master")))
        return false;
    const int code = query.lastError().nativeErrorCode().toInt() & 0xff;
    return code == 11 || code == 26;
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
    // Read straight into the small picture: a 5K capture in full is 60 MB,
    // indexed while the next capture's text is being read.
    const int side = SearchIndex::thumbnailSide;
    const auto small = ImageDecoder::decodeFitted(picture, QSize(side, side));
    if (!small || small->isNull())
        return std::nullopt;
    PngEncoderOptions options;
    options.compressionLevel = 9;
    options.maxThreads = 1;
    return encodePng(*small, options);
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

// Every three characters of the folded words, where they stand, so a word
// found anywhere in them is looked up rather than scanned for. Without the
// positions (detail=none) the table would be a sixth of the size, but a word
// whose trigrams are all common and that stands nowhere (a typo) would leave
// most rows to be checked one by one: some 80 ms at 50,000 snips rather
// than 15. It reads the text from item_words, and the triggers keep it in
// step with that table whichever connection writes. An older build of the
// app replaces a row of item_words (INSERT OR REPLACE), whose delete fires
// no trigger: the row's old words would stay. That is seen coming and
// marked, and the table is built again.
const char *const trigramStatements[] = {
    "DROP TRIGGER IF EXISTS item_words_added",
    "DROP TRIGGER IF EXISTS item_words_removed",
    "DROP TRIGGER IF EXISTS item_words_changed",
    "DROP TRIGGER IF EXISTS item_words_replacing",
    "DROP TABLE IF EXISTS item_trigrams",
    "DROP TABLE IF EXISTS trigram_upkeep",
    "CREATE VIRTUAL TABLE item_trigrams USING fts5(folded, content='item_words', content_rowid='item',"
    " tokenize='trigram case_sensitive 1')",
    // stale: a row was replaced behind the triggers' back; merge: words a
    // snip no longer holds (removed with it, or changed) wait in older
    // segments.
    "CREATE TABLE trigram_upkeep (stale INTEGER NOT NULL, merge INTEGER NOT NULL)",
    "INSERT INTO trigram_upkeep (stale, merge) VALUES (0, 0)",
    "CREATE TRIGGER item_words_added AFTER INSERT ON item_words BEGIN"
    " INSERT INTO item_trigrams (rowid, folded) VALUES (new.item, new.folded); END",
    "CREATE TRIGGER item_words_removed AFTER DELETE ON item_words BEGIN"
    " INSERT INTO item_trigrams (item_trigrams, rowid, folded) VALUES ('delete', old.item, old.folded);"
    " UPDATE trigram_upkeep SET merge = 1; END",
    "CREATE TRIGGER item_words_changed AFTER UPDATE ON item_words BEGIN"
    " INSERT INTO item_trigrams (item_trigrams, rowid, folded) VALUES ('delete', old.item, old.folded);"
    " INSERT INTO item_trigrams (rowid, folded) VALUES (new.item, new.folded); END",
    // This build never inserts over a row that is there.
    "CREATE TRIGGER item_words_replacing BEFORE INSERT ON item_words"
    " WHEN EXISTS (SELECT 1 FROM item_words WHERE item = new.item) BEGIN"
    " UPDATE trigram_upkeep SET stale = 1; END",
};

// Rows whose trigrams are put in the new table at a time: a build asked to
// stop leaves within a slice (some 25 ms of a busy machine's time).
constexpr int trigramSlice = 256;

bool holdsItems(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    return query.exec(QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = 'items'")) && query.next();
}

// The trigram table and the one a build of this layout makes with it; an
// older table of trigrams without it is made again.
bool hasTrigrams(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    return query.exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE name IN ('item_trigrams', 'trigram_upkeep')"))
        && query.next() && query.value(0).toInt() == 2;
}

// Whether the trigram table was left out of step: unknown (nullopt) when
// the file cannot say.
std::optional<bool> trigramsStale(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT stale FROM trigram_upkeep")) || !query.next())
        return std::nullopt;
    return query.value(0).toInt() != 0;
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
    // The index holds nothing the library does not. One the app writes that
    // SQLite finds damaged is made anew: kept, no capture after the damage
    // would reach the desktop's search, and the text of each, waiting to be
    // indexed, would be read again at every start. A reader leaves it be.
    if (m_creation == Creation::createWhenMissing && catalogueDamaged(db)) {
        db.close();
        for (const char *suffix : {"", "-wal", "-shm", "-journal"})
            QFile::remove(m_filePath + QLatin1String(suffix));
        if (!db.open())
            return unexpected(failure(QStringLiteral("The search index could not be opened."), db.lastError()));
    }
    QSqlQuery query(db);
    const char *statements[] = {
        // The index's worker writes while the desktop's search reads on a
        // connection of its own. A write lock is waited for long enough to
        // outlast another process building the trigrams of a large index
        // (some 5 s at 50,000 snips), so a snip's entry is not lost to it.
        "PRAGMA busy_timeout=15000",
        // The log's mode is kept in the file: a reader finds it set.
        "PRAGMA journal_mode=WAL",
        // An entry removed with its snip leaves no words or picture behind.
        "PRAGMA secure_delete=ON",
        "PRAGMA synchronous=NORMAL",
    };
    for (const char *statement : statements) {
        if (m_creation == Creation::existingOnly && qstrcmp(statement, "PRAGMA journal_mode=WAL") == 0)
            continue;
        if (!query.exec(QString::fromLatin1(statement))) {
            const SearchIndexError error = failure(QStringLiteral("The search index could not be prepared."), query.lastError());
            db.close();
            return unexpected(error);
        }
    }
    // A file without the index's table (left empty, or made by someone
    // else) is no index yet to a reader, which never writes one there.
    if (m_creation == Creation::existingOnly && !holdsItems(db)) {
        db.close();
        return unexpected(SearchIndexError{QStringLiteral("There is no search index yet.")});
    }
    if (auto upgraded = upgrade(); !upgraded) {
        db.close();
        return upgraded;
    }
    m_hasTrigrams = hasTrigrams(db) && trigramsStale(db) == false;
    if (!m_hasTrigrams) {
        // Without the table every search scans, as before it was there: a
        // build that fails (the file read-only, another connection writing
        // long) leaves the index usable.
        if (m_creation == Creation::createWhenMissing || m_buildsTrigramsHere)
            m_hasTrigrams = bool(buildTrigrams());
        else
            startTrigramBuild();
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
    const auto stopped = [&db] {
        db.rollback();
        return unexpected(SearchIndexError{QStringLiteral("The search index's preparation was stopped.")});
    };
    // Derived from item_words alone, so building it again is always safe;
    // whoever takes the write lock first builds it, the other finds it.
    if (!beginWriting(query))
        return m_stop.stop_requested() ? stopped() : fail(query);
    if (hasTrigrams(db) && trigramsStale(db) == false) {
        db.commit();
        return {};
    }
    for (const char *statement : trigramStatements) {
        if (!query.exec(QString::fromLatin1(statement)))
            return fail(query);
    }
    // The rows' words in slices, in the order of the rows.
    QSqlQuery sliceEnd(db);
    sliceEnd.setForwardOnly(true);
    sliceEnd.prepare(QStringLiteral("SELECT item FROM item_words WHERE item > ? ORDER BY item LIMIT 1 OFFSET %1")
                         .arg(trigramSlice - 1));
    QSqlQuery fill(db);
    fill.prepare(QStringLiteral("INSERT INTO item_trigrams (rowid, folded) SELECT item, folded FROM item_words"
                                " WHERE item > ? AND item <= ?"));
    for (qint64 after = std::numeric_limits<qint64>::min(); after < std::numeric_limits<qint64>::max();) {
        if (m_stop.stop_requested())
            return stopped();
        sliceEnd.addBindValue(after);
        if (!sliceEnd.exec())
            return fail(sliceEnd);
        const qint64 last = sliceEnd.next() ? sliceEnd.value(0).toLongLong() : std::numeric_limits<qint64>::max();
        sliceEnd.finish();
        fill.addBindValue(after);
        fill.addBindValue(last);
        if (!fill.exec())
            return fail(fill);
        fill.finish();
        after = last;
    }
    sliceEnd.finish();
    if (!db.commit()) {
        return rolledBack(db, QStringLiteral("The search index could not be prepared."), db.lastError());
    }
    return {};
}

bool SearchIndex::beginWriting(QSqlQuery &query)
{
    if (!m_stop.stop_possible())
        return query.exec(QStringLiteral("BEGIN IMMEDIATE"));
    // A build that may be asked to stop waits for another writer in short
    // turns, looking between them; as long in all as any writer waits.
    QSqlQuery wait(QSqlDatabase::database(m_connectionName, false));
    (void)wait.exec(QStringLiteral("PRAGMA busy_timeout=50"));
    const QDeadlineTimer deadline(std::chrono::seconds(15));
    bool begun = false;
    while (!(begun = query.exec(QStringLiteral("BEGIN IMMEDIATE"))) && !m_stop.stop_requested()
           && !deadline.hasExpired() && (query.lastError().nativeErrorCode().toInt() & 0xff) == 5) {
    }
    (void)wait.exec(QStringLiteral("PRAGMA busy_timeout=15000"));
    return begun && !m_stop.stop_requested();
}

void SearchIndex::startTrigramBuild()
{
    // A reader answers on the main thread: the words are scanned while a
    // connection of its own builds the table, once at a time.
    if (m_trigramBuild.joinable()) {
        if (!m_trigramBuildDone->load())
            return;
        m_trigramBuild.join();
    }
    m_trigramBuildStopped = false;
    m_trigramBuildDone = std::make_shared<std::atomic<bool>>(false);
    m_trigramBuild = std::jthread([path = m_filePath, done = m_trigramBuildDone](std::stop_token stop) {
        {
            SearchIndex builder(path, Creation::existingOnly);
            builder.m_buildsTrigramsHere = true;
            builder.m_stop = std::move(stop);
            (void)builder.open();
        }
        done->store(true);
    });
}

void SearchIndex::stopTrigramBuild()
{
    if (!m_trigramBuild.joinable())
        return;
    m_trigramBuildStopped = !m_trigramBuildDone->load();
    m_trigramBuild.request_stop();
    m_trigramBuild.join();
}

bool SearchIndex::trigramsUsable()
{
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    // Built since it opened, by a reader's thread or another connection, or
    // left out of step by an older build since.
    const std::optional<bool> stale = trigramsStale(db);
    m_hasTrigrams = stale == false;
    if (m_creation == Creation::existingOnly && (stale == true || (!m_hasTrigrams && m_trigramBuildStopped)))
        startTrigramBuild();
    return m_hasTrigrams;
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
    // A write waits for no build of this reader's: the build stops, and
    // is begun again at the next search.
    stopTrigramBuild();
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    m_rowNumbersVersion.reset();
    // Taking the write lock first waits for another writer; a read turned
    // into a write later would fail at once instead.
    if (QSqlQuery begin(db); !begin.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return unexpected(failure(QStringLiteral("The search index could not be updated."), begin.lastError()));
    auto abort = [&db](const QSqlQuery &query) {
        return rolledBack(db, QStringLiteral("The search index could not be updated."), query.lastError());
    };
    bool replacedContent = false;
    for (const SearchableItem &item : items) {
        const std::optional<QByteArray> keywords = keywordsJson(item.keywords);
        if (!keywords) {
            db.rollback();
            return unexpected(
                SearchIndexError{QStringLiteral("The search index could not be updated. A keyword is not valid text.")});
        }
        QSqlQuery query(db);
        query.prepare(QStringLiteral("SELECT id, domain, title, description, keywords, creator, thumbnail"
                                     " FROM items WHERE identifier = ?"));
        query.addBindValue(item.uniqueIdentifier);
        if (!query.exec())
            return abort(query);
        const bool exists = query.next();
        const qint64 existingId = exists ? query.value(0).toLongLong() : 0;
        const QVariantList before = exists ? QVariantList{query.value(1), query.value(2), query.value(3), query.value(4),
                                                          query.value(5), query.value(6)}
                                           : QVariantList();
        query.finish();

        const QVariant creator = item.creator ? QVariant(*item.creator) : QVariant(QMetaType::fromType<QString>());
        const std::optional<QByteArray> thumbnailData = item.thumbnailData ? smallThumbnail(*item.thumbnailData)
                                                                           : std::nullopt;
        const QVariant thumbnail =
            thumbnailData ? QVariant(*thumbnailData) : QVariant(QMetaType::fromType<QByteArray>());
        // What an entry held before (words a redaction hid, a picture it
        // no longer shows, the name of a note deleted for good) stays in
        // the trigram table's older segments and in the log until the
        // upkeep merges the one and empties the other.
        if (exists && !replacedContent) {
            const QVariantList after{text(item.domainIdentifier), text(item.title), text(item.contentDescription),
                                     QString::fromUtf8(*keywords), creator, thumbnail};
            for (qsizetype i = 0; i < after.size() && !replacedContent; ++i) {
                const bool wasNull = before.at(i).isNull();
                replacedContent = wasNull != after.at(i).isNull() || (!wasNull && before.at(i) != after.at(i));
            }
        }
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

        // An update where the row is there, never an insert over it: a
        // replace's delete fires no trigger, and the trigram table would
        // keep the old words (the triggers take it for an older build's).
        const QString folded = foldedWords(item.title, item.contentDescription, item.keywords,
                                           item.creator.value_or(QString()));
        query.prepare(QStringLiteral("UPDATE item_words SET identifier = ?, folded = ? WHERE item = ?"));
        query.addBindValue(text(item.uniqueIdentifier));
        query.addBindValue(folded);
        query.addBindValue(rowId);
        if (!query.exec())
            return abort(query);
        if (query.numRowsAffected() == 0) {
            query.prepare(QStringLiteral("INSERT INTO item_words (item, identifier, folded) VALUES (?, ?, ?)"));
            query.addBindValue(rowId);
            query.addBindValue(text(item.uniqueIdentifier));
            query.addBindValue(folded);
            if (!query.exec())
                return abort(query);
        }
    }
    if (replacedContent && hasTrigrams(db)) {
        QSqlQuery upkeep(db);
        if (!upkeep.exec(QStringLiteral("UPDATE trigram_upkeep SET merge = 1")))
            return abort(upkeep);
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
    // A write waits for no build of this reader's: the build stops, and
    // is begun again at the next search.
    stopTrigramBuild();
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    m_rowNumbersVersion.reset();
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
    // The log still holds the removed entries' pages as they were, their
    // recognised text among them: they go into the file, where secure_delete
    // has cleared them, and the log is emptied now rather than when the app
    // is next idle.
    (void)QSqlQuery(db).exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    return {};
}

Expected<QStringList, SearchIndexError> SearchIndex::itemIdentifiers()
{
    // An index not made yet holds nothing, and asking makes none.
    if (!m_isOpen && !QFileInfo::exists(m_filePath))
        return QStringList();
    if (auto opened = open(); !opened)
        return unexpected(opened.error());
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT identifier FROM items")))
        return unexpected(failure(QStringLiteral("The search index could not be read."), query.lastError()));
    QStringList identifiers;
    while (query.next())
        identifiers << query.value(0).toString();
    return identifiers;
}

Expected<QHash<QString, QStringList>, SearchIndexError> SearchIndex::itemKeywords()
{
    if (!m_isOpen && !QFileInfo::exists(m_filePath))
        return QHash<QString, QStringList>();
    if (auto opened = open(); !opened)
        return unexpected(opened.error());
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT identifier, keywords FROM items")))
        return unexpected(failure(QStringLiteral("The search index could not be read."), query.lastError()));
    QHash<QString, QStringList> keywords;
    while (query.next())
        keywords.insert(query.value(0).toString(), keywordsFromJson(query.value(1).toString()));
    return keywords;
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

namespace {

QString globPattern(const QString &needle)
{
    return QLatin1Char('*') + globLiteral(needle) + QLatin1Char('*');
}

QString placeholders(qsizetype count)
{
    return QStringList(count, QStringLiteral("?")).join(QLatin1Char(','));
}

// The longest word first: it rules out the most rows for the least work.
QStringList longestFirst(QStringList needles)
{
    std::stable_sort(needles.begin(), needles.end(),
                     [](const QString &a, const QString &b) { return a.size() > b.size(); });
    return needles;
}

// Those of the identifiers whose words hold every needle, in the order given.
QStringList holdingAmong(const QSqlDatabase &db, const QStringList &identifiers, const QStringList &needles)
{
    QStringList conditions{QStringLiteral("items.identifier IN (") + placeholders(identifiers.size())
                           + QLatin1Char(')')};
    for (qsizetype i = 0; i < needles.size(); ++i)
        conditions << QStringLiteral("item_words.folded GLOB ?");
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT items.identifier FROM items JOIN item_words ON item_words.item = items.id WHERE ")
                  + conditions.join(QStringLiteral(" AND ")));
    for (const QString &identifier : identifiers)
        query.addBindValue(identifier);
    for (const QString &needle : needles)
        query.addBindValue(globPattern(needle));
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

} // namespace

std::optional<std::vector<qint64>> SearchIndex::rowsWithWords(const QStringList &needles, int limit)
{
    QStringList phrases;
    for (const QString &needle : needles)
        phrases << ftsString(needle);
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT rowid FROM item_trigrams WHERE item_trigrams MATCH ? ORDER BY rowid LIMIT ?"));
    query.addBindValue(phrases.join(QLatin1Char(' ')));
    query.addBindValue(limit);
    if (!query.exec())
        return std::nullopt;
    std::vector<qint64> rows;
    while (query.next())
        rows.push_back(query.value(0).toLongLong());
    return rows;
}

QSet<qint64> SearchIndex::rowsHolding(const QList<qint64> &rows, const QStringList &needles)
{
    QStringList conditions{QStringLiteral("item IN (") + placeholders(rows.size()) + QLatin1Char(')')};
    for (qsizetype i = 0; i < needles.size(); ++i)
        conditions << QStringLiteral("folded GLOB ?");
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT item FROM item_words WHERE ") + conditions.join(QStringLiteral(" AND ")));
    for (const qint64 row : rows)
        query.addBindValue(row);
    for (const QString &needle : needles)
        query.addBindValue(globPattern(needle));
    QSet<qint64> holding;
    if (query.exec()) {
        while (query.next())
            holding.insert(query.value(0).toLongLong());
    }
    return holding;
}

bool SearchIndex::loadRowNumbers()
{
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    // The counter moves whenever another connection commits; this one's own
    // writes forget the numbers.
    if (!query.exec(QStringLiteral("PRAGMA data_version")) || !query.next())
        return false;
    const qint64 version = query.value(0).toLongLong();
    query.finish();
    if (m_rowNumbersVersion == version)
        return true;
    m_rowNumbersVersion.reset();
    m_rowNumbers.clear();
    if (!query.exec(QStringLiteral("SELECT identifier, id FROM items")))
        return false;
    while (query.next())
        m_rowNumbers.insert(query.value(0).toString(), query.value(1).toLongLong());
    m_rowNumbersVersion = version;
    return true;
}

QStringList SearchIndex::firstMatching(const QStringList &words, const QStringList &identifiers, qsizetype limit)
{
    const QStringList needles = longestFirst(needlesOf(words));
    if (needles.isEmpty() || identifiers.isEmpty() || limit <= 0 || !open())
        return {};
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    QStringList looked;
    if (trigramsUsable()) {
        for (const QString &needle : needles) {
            if (hasTrigram(needle))
                looked << needle;
        }
    }
    // Words many items hold fill the list from the first few alone: checked
    // one by one, they cost less than a lookup of every row holding them.
    // Words no row holds end it at once.
    constexpr qsizetype firstFew = 64;
    QStringList found;
    qsizetype checked = 0;
    for (const qsizetype upTo : {firstFew, 4 * firstFew}) {
        const qsizetype count = std::min(upTo, identifiers.size()) - checked;
        found += holdingAmong(db, identifiers.mid(checked, count), needles);
        checked += count;
        if (found.size() >= limit)
            return found.first(limit);
        if (checked == identifiers.size())
            return found;
        if (upTo == firstFew && !looked.isEmpty()) {
            const std::optional<std::vector<qint64>> any = rowsWithWords(looked, 1);
            if (any && any->empty())
                return found;
        }
    }

    const std::optional<std::vector<qint64>> rows =
        looked.isEmpty() ? std::nullopt : rowsWithWords(looked);
    if (rows && rows->empty())
        return found;
    if (rows && loadRowNumbers()) {
        // The rows holding the words, in the order given, until the list is
        // full; each checked once more against its words, a few at a time,
        // in case postings an older build left behind are read before the
        // table is built again.
        QList<qint64> batch;
        QStringList batchIdentifiers;
        const auto checkBatch = [&] {
            const QSet<qint64> holding = rowsHolding(batch, needles);
            for (qsizetype i = 0; i < batch.size() && found.size() < limit; ++i) {
                if (holding.contains(batch.at(i)))
                    found << batchIdentifiers.at(i);
            }
            batch.clear();
            batchIdentifiers.clear();
        };
        for (qsizetype i = checked; i < identifiers.size() && found.size() < limit; ++i) {
            const auto row = m_rowNumbers.constFind(identifiers.at(i));
            if (row == m_rowNumbers.cend() || !std::binary_search(rows->cbegin(), rows->cend(), *row))
                continue;
            batch << *row;
            batchIdentifiers << identifiers.at(i);
            if (batch.size() >= 2 * (limit - found.size()) + 8)
                checkBatch();
        }
        if (!batch.isEmpty())
            checkBatch();
        return found;
    }
    // Short words alone, or no table to look them up in: the rest are
    // scanned in growing slices, so a common word ends the scan early.
    for (qsizetype slice = 256; checked < identifiers.size() && found.size() < limit;
         slice = std::min<qsizetype>(slice * 4, 8192)) {
        const qsizetype count = std::min(slice, identifiers.size() - checked);
        found += holdingAmong(db, identifiers.mid(checked, count), needles);
        checked += count;
    }
    return found.first(std::min(limit, found.size()));
}

QStringList SearchIndex::search(const QStringList &words)
{
    const QStringList needles = longestFirst(needlesOf(words));
    if (needles.isEmpty() || !open())
        return {};
    // The words of three characters or more are looked up; every word is
    // then found in the rows they let through (a short one, and a long one
    // against postings an older build left behind), or in every row when
    // all are short. GLOB, as both sides are folded already: it scans a
    // third faster than instr() and, unlike LIKE, folds nothing itself.
    QStringList terms;
    if (trigramsUsable()) {
        for (const QString &needle : needles) {
            if (hasTrigram(needle))
                terms << ftsString(needle);
        }
    }
    QStringList conditions;
    if (!terms.isEmpty())
        conditions << QStringLiteral("item IN (SELECT rowid FROM item_trigrams WHERE item_trigrams MATCH ?)");
    for (qsizetype i = 0; i < needles.size(); ++i)
        conditions << QStringLiteral("folded GLOB ?");
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT identifier FROM item_words WHERE ") + conditions.join(QStringLiteral(" AND "))
                  + QStringLiteral(" ORDER BY item"));
    if (!terms.isEmpty())
        query.addBindValue(terms.join(QLatin1Char(' ')));
    for (const QString &needle : needles)
        query.addBindValue(globPattern(needle));
    QStringList identifiers;
    if (!query.exec())
        return identifiers;
    while (query.next())
        identifiers << query.value(0).toString();
    return identifiers;
}

bool SearchIndex::upkeepDue()
{
    // An index not made yet has nothing to tidy, and asking makes none.
    if (!m_isOpen && !QFileInfo::exists(m_filePath))
        return false;
    if (!open())
        return false;
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    return query.exec(QStringLiteral("SELECT stale OR merge FROM trigram_upkeep")) && query.next()
        && query.value(0).toBool();
}

Expected<bool, SearchIndexError> SearchIndex::upkeepStep()
{
    if (auto opened = open(); !opened)
        return unexpected(opened.error());
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (trigramsStale(db) == true) {
        // An older build replaced rows behind the triggers' back: the table
        // is made again from the words, in one go.
        if (auto built = buildTrigrams(); !built)
            return unexpected(built.error());
        m_hasTrigrams = true;
        return false;
    }
    QSqlQuery query(db);
    query.setForwardOnly(true);
    const auto fail = [&db](const QSqlQuery &failed) {
        return rolledBack(db, QStringLiteral("The search index could not be tidied."), failed.lastError());
    };
    const auto changes = [&query]() -> std::optional<qint64> {
        if (!query.exec(QStringLiteral("SELECT total_changes()")) || !query.next())
            return std::nullopt;
        const qint64 total = query.value(0).toLongLong();
        query.finish();
        return total;
    };
    if (!query.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return fail(query);
    if (!query.exec(QStringLiteral("SELECT merge FROM trigram_upkeep")) || !query.next())
        return fail(query);
    const bool due = query.value(0).toBool();
    query.finish();
    bool more = false;
    if (due) {
        // Merging every segment into one leaves no removed row's words in
        // any: a negative budget asks for that, a bounded number of pages at
        // a time. A step that changes fewer than two rows found nothing left.
        const std::optional<qint64> before = changes();
        if (!before || !query.exec(QStringLiteral("INSERT INTO item_trigrams (item_trigrams, rank) VALUES ('merge', %1)")
                                       .arg(-upkeepPages)))
            return fail(query);
        const std::optional<qint64> after = changes();
        if (!after)
            return fail(query);
        more = *after - *before >= 2;
        if (!more && !query.exec(QStringLiteral("UPDATE trigram_upkeep SET merge = 0")))
            return fail(query);
    }
    if (!db.commit())
        return rolledBack(db, QStringLiteral("The search index could not be tidied."), db.lastError());
    // The log still holds the pages as they were before the removals and
    // the merge, a removed snip's words and picture among them: emptied, so
    // nothing of it stays in the files. A reader of the desktop's search
    // in the middle of a read keeps it for the next time.
    if (!more)
        (void)QSqlQuery(db).exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    return more;
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
