#include "../support/PngBytes.h"

#include "platform/SearchIndex.h"
#include "platform/TextUtilities.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <algorithm>

#include <sys/stat.h>

using namespace tessaline;

namespace {

QByteArray png(QSize size)
{
    return testing::pngOf(Qt::darkCyan, size);
}

SearchableItem card(const QString &id, const QString &title, const QString &text)
{
    SearchableItem item;
    item.uniqueIdentifier = id;
    item.domainIdentifier = QStringLiteral("org.tessaline.Tessaline.cards");
    item.title = title;
    item.contentDescription = text;
    item.keywords = {QStringLiteral("Research"), QStringLiteral("Firefox")};
    item.creator = QStringLiteral("Firefox");
    item.thumbnailData = png(QSize(40, 30));
    return item;
}

const QString first = QStringLiteral("0F8FAD5B-D9CB-469F-A165-70867728950E");
const QString second = QStringLiteral("7C9E6679-7425-40DE-944B-E07FC1F90AE7");
const QString budget = QStringLiteral("9A1B5F0E-3C4D-4E5F-8A9B-0C1D2E3F4A5B");
const QString meeting = QStringLiteral("1B2C3D4E-5F60-4718-89A0-B1C2D3E4F506");
const QString dessert = QStringLiteral("2C3D4E5F-6071-4829-9AB1-C2D3E4F50617");
const QString tiny = QStringLiteral("3D4E5F60-7182-493A-ABC2-D3E4F5061728");

// The test's own connection to an index file, to look at it from outside.
class RawIndex
{
public:
    explicit RawIndex(const QString &path)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        QVERIFY(db.open());
    }
    ~RawIndex()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlQuery query() const { return QSqlQuery(QSqlDatabase::database(m_name, false)); }

    // What a scan of every row finds: the rows holding each folded word.
    QStringList scan(const QStringList &words) const
    {
        QStringList conditions{QStringLiteral("1")};
        for (qsizetype i = 0; i < words.size(); ++i)
            conditions << QStringLiteral("instr(folded, ?) > 0");
        QSqlQuery q = query();
        q.prepare(QStringLiteral("SELECT identifier FROM item_words WHERE ") + conditions.join(QStringLiteral(" AND ")));
        for (const QString &word : words)
            q.addBindValue(foldedSearchText(word));
        QStringList found;
        if (q.exec()) {
            while (q.next())
                found << q.value(0).toString();
        }
        found.sort();
        return found;
    }
    bool hasTrigramTable() const
    {
        QSqlQuery q = query();
        return q.exec(QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = 'item_trigrams'")) && q.next();
    }
    // FTS5 compares its index with the rows it was built from (without the
    // rank of 1 it checks only the index's own structure).
    bool trigramsInStep() const
    {
        return query().exec(
            QStringLiteral("INSERT INTO item_trigrams (item_trigrams, rank) VALUES ('integrity-check', 1)"));
    }
    // Whether the word's first trigram, in the order terms are stored, is
    // anywhere in the trigram table's pages, live or superseded. It is
    // stored whole where the term before it shares no byte with it: for a
    // word in a script no other text uses.
    bool trigramStored(const QString &word) const
    {
        QList<QByteArray> trigrams;
        for (qsizetype i = 0; i + 3 <= word.size(); ++i)
            trigrams << word.mid(i, 3).toUtf8();
        std::sort(trigrams.begin(), trigrams.end());
        QSqlQuery q = query();
        q.prepare(QStringLiteral("SELECT 1 FROM item_trigrams_data WHERE instr(block, ?) > 0"));
        q.addBindValue(trigrams.value(0));
        return q.exec() && q.next();
    }
    qint64 rowOf(const QString &identifier) const
    {
        QSqlQuery q = query();
        q.prepare(QStringLiteral("SELECT id FROM items WHERE identifier = ?"));
        q.addBindValue(identifier);
        return q.exec() && q.next() ? q.value(0).toLongLong() : -1;
    }

private:
    QString m_name = QStringLiteral("raw-%1").arg(quintptr(this));
};

} // namespace

class SearchIndexTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void roundTrip();
    void search_data();
    void search();
    void replaceKeepsOneEntry();
    void removeForgetsEverything();
    void survivesReopening();
    void unwritableLocationFails();
    void indexFolderIsItsOwnersAlone();
    void thumbnails_data();
    void thumbnails();
    void upgradesTheFirstLayout();
    void readerNeverCreatesOrBreaks_data();
    void readerNeverCreatesOrBreaks();
    void appMakesADamagedIndexAnew_data();
    void appMakesADamagedIndexAnew();
    void lookupFindsWhatTheScanFinds_data();
    void lookupFindsWhatTheScanFinds();
    void trigramsFollowChanges();
    void olderFileGetsTrigrams_data();
    void olderFileGetsTrigrams();
    void readerStopsItsBuildRatherThanWait_data();
    void readerStopsItsBuildRatherThanWait();
    void upkeepLeavesNoRemovedWords();
    void changedEntryLeavesNothingOfBefore_data();
    void changedEntryLeavesNothingOfBefore();
    void olderBuildsReplaceIsMended_data();
    void olderBuildsReplaceIsMended();
    void firstMatchingKeepsTheGivenOrder_data();
    void firstMatchingKeepsTheGivenOrder();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SearchIndex> m_index;
};

void SearchIndexTest::init()
{
    m_index.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    m_index = std::make_unique<SearchIndex>(m_dir->filePath(QStringLiteral("SearchIndex.sqlite")));
    QVERIFY(m_index->indexItems({card(first, QStringLiteral("Quarterly revenue chart"),
                                       QStringLiteral("Revenue grew 12% in Zürich")),
                                  card(second, QStringLiteral("Login screen"), QStringLiteral("Password field"))}));
}

void SearchIndexTest::roundTrip()
{
    SearchableItem bare;
    bare.uniqueIdentifier = QStringLiteral("1B4E28BA-2FA1-11D2-883F-0016D3CCA427");
    bare.domainIdentifier = QStringLiteral("d");
    bare.title = QStringLiteral("t");
    bare.keywords = {QString()}; // an empty note name stays a keyword
    QVERIFY(m_index->indexItems({bare}));
    QCOMPARE(m_index->item(bare.uniqueIdentifier), std::optional<SearchableItem>(bare));
    const SearchableItem full = card(first, QStringLiteral("Quarterly revenue chart"), QStringLiteral("Revenue grew 12% in Zürich"));
    QCOMPARE(m_index->item(first), std::optional<SearchableItem>(full));
    QCOMPARE(m_index->count(), 3);
}

void SearchIndexTest::search_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("title word") << "revenue" << QStringList{first};
    QTest::newRow("prefix") << "quart" << QStringList{first};
    QTest::newRow("description") << "password" << QStringList{second};
    QTest::newRow("keyword matches both") << "research" << QStringList{first, second};
    QTest::newRow("every word must match") << "login password" << QStringList{second};
    QTest::newRow("diacritics folded") << "zurich" << QStringList{first};
    QTest::newRow("no match") << "giraffe" << QStringList{};
    QTest::newRow("blank") << "   " << QStringList{};
    QTest::newRow("syntax is plain text") << "\"login\" OR NEAR( *" << QStringList{};
    QTest::newRow("quote inside word") << "log\"in" << QStringList{};
    QTest::newRow("punctuation-only word left out") << "revenue * -" << QStringList{first};
    QTest::newRow("inside a word") << "venue" << QStringList{first};
    QTest::newRow("wildcards are plain characters") << "12% gr?w" << QStringList{};
    QTest::newRow("a percent sign is a character") << "12%" << QStringList{first};
    QTest::newRow("a star is a character") << "rev*" << QStringList{};
    QTest::newRow("a bracket is a character") << "[revenue" << QStringList{};
    QTest::newRow("case and width folded") << "\uFF32\uFF25\uFF36enue" << QStringList{first};
    QTest::newRow("accent in the query folded") << "z\u00FCrich QUARTERLY" << QStringList{first};
    QTest::newRow("words from different fields") << "chart revenue grew" << QStringList{first};
    QTest::newRow("across two fields is no word") << "chartrevenue" << QStringList{};
}

void SearchIndexTest::search()
{
    QFETCH(QString, query);
    QFETCH(QStringList, expected);
    QStringList found = m_index->search(query);
    found.sort();
    expected.sort();
    QCOMPARE(found, expected);
}

void SearchIndexTest::replaceKeepsOneEntry()
{
    QVERIFY(m_index->indexItems({card(first, QStringLiteral("Pipeline diagram"), QStringLiteral("stages"))}));
    QCOMPARE(m_index->count(), 2);
    QCOMPARE(m_index->search(QStringLiteral("revenue")), QStringList{});
    QCOMPARE(m_index->search(QStringLiteral("pipeline")), QStringList{first});
    QCOMPARE(m_index->item(first)->title, QStringLiteral("Pipeline diagram"));
}

void SearchIndexTest::removeForgetsEverything()
{
    const QString log = m_dir->filePath(QStringLiteral("SearchIndex.sqlite-wal"));
    const auto logHolds = [&log](const QByteArray &text) {
        QFile file(log);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains(text);
    };
    QVERIFY(logHolds("Revenue grew"));
    QVERIFY(m_index->deleteItems({first, QStringLiteral("not-there")}));
    // Nothing of the removed entry waits in the log for a later checkpoint.
    QVERIFY(!logHolds("Revenue grew"));
    QVERIFY(!m_index->item(first));
    QCOMPARE(m_index->search(QStringLiteral("revenue")), QStringList{});
    QCOMPARE(m_index->search(QStringLiteral("research")), QStringList{second});
    QCOMPARE(m_index->count(), 1);
}

void SearchIndexTest::survivesReopening()
{
    const QString path = m_index->filePath();
    m_index.reset();
    SearchIndex reopened(path);
    QCOMPARE(reopened.count(), 2);
    QCOMPARE(reopened.search(QStringLiteral("login")), QStringList{second});
}

void SearchIndexTest::unwritableLocationFails()
{
    QFile blocker(m_dir->filePath(QStringLiteral("file")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    SearchIndex index(m_dir->filePath(QStringLiteral("file/SearchIndex.sqlite")));
    const auto indexed = index.indexItems({card(first, QStringLiteral("a"), QStringLiteral("b"))});
    QVERIFY(!indexed);
    QVERIFY(!indexed.error().message.isEmpty());
    QVERIFY(!index.item(first));
}

// The index keeps the snips' texts and pictures: the folder it makes lets
// nobody else in, whatever the umask.
void SearchIndexTest::indexFolderIsItsOwnersAlone()
{
    const QString folder = m_dir->filePath(QStringLiteral("share/Tessaline"));
    const mode_t umaskBefore = ::umask(022);
    SearchIndex index(QDir(folder).filePath(QStringLiteral("SearchIndex.sqlite")));
    const auto indexed = index.indexItems({card(first, QStringLiteral("Revenue"), QStringLiteral("grew"))});
    ::umask(umaskBefore);
    QVERIFY(indexed);
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
        | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    QCOMPARE(QFileInfo(folder).permissions() & others, QFileDevice::Permissions());
    QVERIFY(QFileInfo(folder).permissions().testFlag(QFileDevice::WriteOwner));
}

void SearchIndexTest::thumbnails_data()
{
    QTest::addColumn<QByteArray>("given");
    QTest::addColumn<QSize>("stored"); // invalid: none stored
    QTest::addColumn<bool>("sameBytes");
    QTest::newRow("small PNG kept as it is") << png(QSize(60, 40)) << QSize(60, 40) << true;
    QTest::newRow("screenshot shrunk to fit") << png(QSize(1920, 1080)) << QSize(64, 36) << false;
    QTest::newRow("thumbnail of an earlier version shrunk") << png(QSize(256, 144)) << QSize(64, 36) << false;
    QTest::newRow("tall picture shrunk to fit") << png(QSize(300, 1200)) << QSize(16, 64) << false;
    QTest::newRow("unreadable bytes left out") << QByteArray("\x89PNG\0\1\2", 7) << QSize() << false;
}

void SearchIndexTest::thumbnails()
{
    QFETCH(QByteArray, given);
    QFETCH(QSize, stored);
    QFETCH(bool, sameBytes);
    SearchableItem item = card(first, QStringLiteral("t"), QStringLiteral("d"));
    item.thumbnailData = given;
    QVERIFY(m_index->indexItems({item}));
    const std::optional<QByteArray> kept = m_index->item(first)->thumbnailData;
    QCOMPARE(kept.has_value(), stored.isValid());
    if (!kept)
        return;
    QCOMPARE(QImage::fromData(*kept, "PNG").size(), stored);
    QCOMPARE(*kept == given, sameBytes);
}

void SearchIndexTest::upgradesTheFirstLayout()
{
    // An index as the first version wrote it: an FTS5 table of the words and
    // a full-size copy of each picture.
    const QString path = m_dir->filePath(QStringLiteral("Old.sqlite"));
    // Noise, so the copy is as large as a real screenshot's.
    QImage noise(QSize(800, 600), QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < noise.height(); ++y) {
        auto *line = reinterpret_cast<quint32 *>(noise.scanLine(y));
        for (int x = 0; x < noise.width(); ++x)
            line[x] = random.generate();
    }
    QByteArray screenshot;
    QBuffer buffer(&screenshot);
    buffer.open(QIODevice::WriteOnly);
    noise.save(&buffer, "PNG");
    const QByteArray small = png(QSize(60, 40));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("old"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral(
            "CREATE TABLE items (id INTEGER PRIMARY KEY, identifier TEXT NOT NULL UNIQUE, domain TEXT NOT NULL,"
            " title TEXT NOT NULL, description TEXT NOT NULL, keywords TEXT NOT NULL, creator TEXT, thumbnail BLOB)")));
        QVERIFY(query.exec(QStringLiteral("CREATE VIRTUAL TABLE items_text USING fts5(title, description, keywords,"
                                          " creator, tokenize='unicode61 remove_diacritics 2')")));
        const QList<std::tuple<QString, QString, QVariant>> rows{
            {first, QStringLiteral("Café menu"), screenshot},
            {second, QStringLiteral("Login screen"), small},
        };
        for (const auto &[identifier, title, thumbnail] : rows) {
            query.prepare(QStringLiteral("INSERT INTO items (identifier, domain, title, description, keywords,"
                                         " creator, thumbnail) VALUES (?, 'd', ?, 'Prices', '[\"Research\",\"Firefox\"]',"
                                         " 'Firefox', ?)"));
            query.addBindValue(identifier);
            query.addBindValue(title);
            query.addBindValue(thumbnail);
            QVERIFY(query.exec());
        }
        QVERIFY(query.exec(QStringLiteral("INSERT INTO items_text SELECT title, description, keywords, creator FROM items")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("old"));
    const qint64 oldSize = QFileInfo(path).size();

    SearchIndex index(path, SearchIndex::Creation::existingOnly);
    QCOMPARE(index.search(QStringLiteral("cafe research")), QStringList{first});
    QCOMPARE(index.search(QStringLiteral("firefox")).size(), 2);
    QCOMPARE(index.item(first)->thumbnailData, std::nullopt);
    QCOMPARE(index.item(second)->thumbnailData, std::optional<QByteArray>(small));
    QCOMPARE(index.item(first)->keywords, (QStringList{QStringLiteral("Research"), QStringLiteral("Firefox")}));
    QVERIFY2(QFileInfo(path).size() < oldSize - screenshot.size() / 2, "the full-size copy's pages are given back");

    // Indexing goes on in the new layout.
    QVERIFY(index.indexItems({card(first, QStringLiteral("Café menu"), QStringLiteral("Lunch"))}));
    QCOMPARE(index.search(QStringLiteral("lunch")), QStringList{first});
    QCOMPARE(index.search(QStringLiteral("prices")), QStringList{second});
}

void SearchIndexTest::readerNeverCreatesOrBreaks_data()
{
    QTest::addColumn<QByteArray>("contents"); // null: no file at all
    QTest::newRow("missing") << QByteArray();
    QTest::newRow("not a database") << QByteArray("this is no index, only some words of text\n").repeated(200);
    QTest::newRow("cut short") << QByteArray("SQLite format 3\0", 16);
    QTest::newRow("empty") << QByteArray("");
}

void SearchIndexTest::readerNeverCreatesOrBreaks()
{
    QFETCH(QByteArray, contents);
    const QString path = m_dir->filePath(QStringLiteral("Reader.sqlite"));
    if (!contents.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }
    SearchIndex reader(path, SearchIndex::Creation::existingOnly);
    QCOMPARE(reader.search(QStringLiteral("revenue")), QStringList{});
    QVERIFY(!reader.item(first));
    QCOMPARE(reader.count(), 0);
    QCOMPARE(QFileInfo::exists(path), !contents.isNull());
    // A reader only reads: what is there stays as it was, and no log.
    QCOMPARE(QFileInfo(path).size(), qint64(contents.size()));
    QVERIFY(!QFileInfo::exists(path + QStringLiteral("-wal")));
}

void SearchIndexTest::appMakesADamagedIndexAnew_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::newRow("not a database") << QByteArray("this is no index, only some words of text\n").repeated(200);
    QTest::newRow("cut short") << QByteArray("SQLite format 3\0", 16);
    QTest::newRow("catalogue overwritten") << QByteArray();
}

// The index is made from the library and holds nothing else: the app's own
// opening of one found damaged makes it anew, so the snips indexed from then
// on reach the desktop's search.
void SearchIndexTest::appMakesADamagedIndexAnew()
{
    QFETCH(QByteArray, contents);
    const QString path = m_dir->filePath(QStringLiteral("SearchIndex.sqlite"));
    m_index.reset();
    QFile file(path);
    if (contents.isNull()) {
        // The first page after the file header holds the catalogue.
        QVERIFY(file.open(QIODevice::ReadWrite));
        file.seek(100);
        file.write(QByteArray(400, '\xA5'));
    } else {
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(contents);
    }
    file.close();

    SearchIndex index(path);
    QVERIFY(index.indexItems({card(second, QStringLiteral("Login screen"), QStringLiteral("Password field"))}));
    const auto identifiers = index.itemIdentifiers();
    QVERIFY(identifiers);
    QCOMPARE(*identifiers, QStringList{second});
    QCOMPARE(index.search(QStringLiteral("password")), QStringList{second});
    SearchIndex reader(path, SearchIndex::Creation::existingOnly);
    QCOMPARE(reader.search(QStringLiteral("login")), QStringList{second});
}

void SearchIndexTest::lookupFindsWhatTheScanFinds_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("one character") << "b" << QStringList{budget, dessert, tiny};
    QTest::newRow("two characters") << "ev" << QStringList{first, budget};
    QTest::newRow("three characters") << "voi" << QStringList{budget};
    QTest::newRow("a long word inside a word") << "sswor" << QStringList{second};
    QTest::newRow("long and short words") << "research en" << QStringList{first, second};
    QTest::newRow("short words alone") << "re 12" << QStringList{first};
    QTest::newRow("several long words") << "budget invoice total" << QStringList{budget};
    QTest::newRow("one long word missing") << "budget zebra" << QStringList{};
    QTest::newRow("accents and case folded") << "BRÛLÉE creme Su" << QStringList{dessert};
    QTest::newRow("accent in the text") << "zurich" << QStringList{first};
    QTest::newRow("quotes") << "\"quoted\"" << QStringList{budget};
    QTest::newRow("an unpaired quote") << "\"quoted" << QStringList{budget};
    QTest::newRow("a star") << "bud*" << QStringList{};
    QTest::newRow("AND as a word") << "AND" << QStringList{budget, dessert};
    QTest::newRow("NEAR group") << "NEAR(total)" << QStringList{budget};
    QTest::newRow("an open NEAR") << "near(" << QStringList{budget};
    QTest::newRow("a minus") << "-more" << QStringList{budget};
    QTest::newRow("a column filter") << "folded:budget" << QStringList{};
    QTest::newRow("a colon") << "invoice:" << QStringList{budget};
    QTest::newRow("three CJK characters") << "議事録" << QStringList{meeting};
    QTest::newRow("two CJK characters") << "会議" << QStringList{meeting};
    QTest::newRow("CJK and latin") << "予算 memo" << QStringList{meeting};
    QTest::newRow("CJK found nowhere") << "議事会" << QStringList{};
}

void SearchIndexTest::lookupFindsWhatTheScanFinds()
{
    QFETCH(QString, query);
    QFETCH(QStringList, expected);
    SearchableItem withSyntax = card(budget, QStringLiteral("Budget review 2024"),
                                     QStringLiteral("Invoice: NEAR(total) \"quoted\" AND -more"));
    withSyntax.keywords = {QStringLiteral("Planning")};
    withSyntax.creator = QStringLiteral("Files");
    SearchableItem cjk = card(meeting, QStringLiteral("東京の会議メモ"), QStringLiteral("議事録 予算 memo"));
    cjk.keywords = {};
    SearchableItem accented = card(dessert, QStringLiteral("Crème brûlée"), QStringLiteral("SUGAR and cream"));
    accented.keywords = {};
    accented.creator = std::nullopt;
    SearchableItem shortest = card(tiny, QStringLiteral("Ab"), QStringLiteral("x"));
    shortest.keywords = {};
    shortest.creator = std::nullopt;
    QVERIFY(m_index->indexItems({withSyntax, cjk, accented, shortest}));

    QStringList found = m_index->search(query);
    found.sort();
    expected.sort();
    QCOMPARE(found, expected);
    // The words kept are those with a letter or digit, as the search keeps.
    QStringList words;
    for (const QString &word : query.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (std::any_of(word.cbegin(), word.cend(), [](QChar c) { return c.isLetterOrNumber(); }))
            words << word;
    }
    RawIndex raw(m_index->filePath());
    QCOMPARE(found, raw.scan(words));
}

void SearchIndexTest::trigramsFollowChanges()
{
    QVERIFY(m_index->indexItems({card(first, QStringLiteral("Pipeline diagram"), QStringLiteral("stages"))}));
    QCOMPARE(m_index->search(QStringLiteral("revenue")), QStringList{});
    QCOMPARE(m_index->search(QStringLiteral("pipeline stag")), QStringList{first});
    QVERIFY(m_index->deleteItems({second}));
    QCOMPARE(m_index->search(QStringLiteral("password")), QStringList{});
    QCOMPARE(m_index->search(QStringLiteral("research")), QStringList{first});
    QVERIFY(m_index->indexItems({card(second, QStringLiteral("Login again"), QStringLiteral("Password"))}));
    QCOMPARE(m_index->search(QStringLiteral("password")), QStringList{second});
    RawIndex raw(m_index->filePath());
    QVERIFY(raw.hasTrigramTable());
    QVERIFY(raw.trigramsInStep());
}

void SearchIndexTest::olderFileGetsTrigrams_data()
{
    QTest::addColumn<SearchIndex::Creation>("opening");
    QTest::addColumn<bool>("withPositions"); // the first trigram table: no upkeep, every position kept
    QTest::newRow("words alone, by the app") << SearchIndex::Creation::createWhenMissing << false;
    QTest::newRow("words alone, by the desktop's search") << SearchIndex::Creation::existingOnly << false;
    QTest::newRow("trigrams with positions, by the app") << SearchIndex::Creation::createWhenMissing << true;
    QTest::newRow("trigrams with positions, by the desktop's search") << SearchIndex::Creation::existingOnly << true;
}

void SearchIndexTest::olderFileGetsTrigrams()
{
    QFETCH(SearchIndex::Creation, opening);
    QFETCH(bool, withPositions);
    const QString path = m_index->filePath();
    m_index.reset();
    {
        // The layout before the trigram table: the words alone.
        RawIndex raw(path);
        for (const char *statement : {"DROP TRIGGER item_words_added", "DROP TRIGGER item_words_removed",
                                      "DROP TRIGGER item_words_changed", "DROP TRIGGER item_words_replacing",
                                      "DROP TABLE item_trigrams", "DROP TABLE trigram_upkeep"})
            QVERIFY(raw.query().exec(QString::fromLatin1(statement)));
        QVERIFY(!raw.hasTrigramTable());
        const char *positioned[] = {
            "CREATE VIRTUAL TABLE item_trigrams USING fts5(folded, content='item_words', content_rowid='item',"
            " tokenize='trigram case_sensitive 1')",
            "CREATE TRIGGER item_words_added AFTER INSERT ON item_words BEGIN"
            " INSERT INTO item_trigrams (rowid, folded) VALUES (new.item, new.folded); END",
            "INSERT INTO item_trigrams (item_trigrams) VALUES ('rebuild')",
        };
        for (const char *statement : positioned) {
            if (withPositions)
                QVERIFY(raw.query().exec(QString::fromLatin1(statement)));
        }
    }
    SearchIndex reopened(path, opening);
    // Answered the same before and after the table is there.
    QCOMPARE(reopened.search(QStringLiteral("revenue zu")), QStringList{first});
    RawIndex raw(path);
    QTRY_VERIFY(raw.hasTrigramTable());
    QVERIFY(raw.trigramsInStep());
    QCOMPARE(reopened.search(QStringLiteral("revenue zu")), QStringList{first});
    QCOMPARE(reopened.search(QStringLiteral("password")), QStringList{second});
    QVERIFY(reopened.indexItems({card(first, QStringLiteral("Pipeline"), QStringLiteral("stages"))}));
    QCOMPARE(reopened.search(QStringLiteral("revenue")), QStringList{});
    QCOMPARE(reopened.search(QStringLiteral("pipeline")), QStringList{first});
    // A build the write stopped is begun again by the search.
    QTRY_VERIFY(raw.trigramsInStep());
    QCOMPARE(reopened.search(QStringLiteral("stages")), QStringList{first});
}

void SearchIndexTest::readerStopsItsBuildRatherThanWait_data()
{
    QTest::addColumn<bool>("writes"); // else it ends
    QTest::newRow("the desktop's search ends") << false;
    QTest::newRow("it writes") << true;
}

// The desktop's search opening an index of the layout before the trigram
// table builds the table on a thread of its own: a large one takes seconds.
// Neither the process leaving nor a write waits for that: the build stops,
// leaves nothing half made, and a later search begins it again.
void SearchIndexTest::readerStopsItsBuildRatherThanWait()
{
    QFETCH(bool, writes);
    const QString path = m_index->filePath();
    m_index.reset();
    {
        RawIndex raw(path);
        for (const char *statement : {"DROP TRIGGER item_words_added", "DROP TRIGGER item_words_removed",
                                      "DROP TRIGGER item_words_changed", "DROP TRIGGER item_words_replacing",
                                      "DROP TABLE item_trigrams", "DROP TABLE trigram_upkeep"})
            QVERIFY(raw.query().exec(QString::fromLatin1(statement)));
        // Some 4 MB of words: seconds of building on any machine.
        QVERIFY(raw.query().exec(QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 60000)"
            " INSERT INTO item_words (item, identifier, folded)"
            " SELECT 1000 + i, printf('filler-%d', i), hex(randomblob(250)) FROM n")));
    }
    auto reader = std::make_unique<SearchIndex>(path, SearchIndex::Creation::existingOnly);
    QCOMPARE(reader->search(QStringLiteral("password")), QStringList{second});
    if (!writes) {
        reader.reset();
        RawIndex raw(path);
        QVERIFY(!raw.hasTrigramTable());
        return;
    }
    QVERIFY(reader->indexItems({card(first, QStringLiteral("Pipeline"), QStringLiteral("stages"))}));
    {
        RawIndex raw(path);
        QVERIFY(!raw.hasTrigramTable());
    }
    QCOMPARE(reader->search(QStringLiteral("pipeline")), QStringList{first});
    RawIndex raw(path);
    QTRY_VERIFY_WITH_TIMEOUT(raw.hasTrigramTable(), 120'000);
    QVERIFY(raw.trigramsInStep());
    QCOMPARE(reader->search(QStringLiteral("stages")), QStringList{first});
}

void SearchIndexTest::upkeepLeavesNoRemovedWords()
{
    // Enough rows that the trigram table spans many pages, written in
    // batches, so segments pile up.
    QRandomGenerator random(3);
    QStringList filler;
    for (int i = 0; i < 600; ++i) {
        QString word;
        for (int c = 0; c < 8; ++c)
            word.append(QChar(u'a' + char16_t(random.bounded(20))));
        filler << word;
    }
    for (int i = 0; i < 40; ++i) {
        QList<SearchableItem> items;
        for (int j = 0; j < 50; ++j)
            items << card(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(), filler.at((i * 50 + j) % 600),
                          QStringList(filler.mid((i * 7 + j) % 500, 60)).join(QLatin1Char(' ')));
        QVERIFY(m_index->indexItems(items));
    }
    // Words in scripts no other snip uses, so their trigrams are seen whole.
    QVERIFY(m_index->indexItems({card(budget, QStringLiteral("Ψωξζ"), QStringLiteral("wyvern")),
                                 card(meeting, QStringLiteral("Жщэю"), QStringLiteral("stages"))}));
    // Removed, and changed: neither the snip's words nor the old ones stay.
    QVERIFY(m_index->deleteItems({budget}));
    QVERIFY(m_index->indexItems({card(meeting, QStringLiteral("Pipeline"), QStringLiteral("stages"))}));
    RawIndex raw(m_index->filePath());
    QVERIFY2(raw.trigramStored(QStringLiteral("ψωξζ")) && raw.trigramStored(QStringLiteral("жщэю")),
             "removed words wait in older segments");
    QVERIFY(m_index->upkeepDue());

    SearchIndex reader(m_index->filePath(), SearchIndex::Creation::existingOnly);
    int steps = 0;
    for (;;) {
        const Expected<bool, SearchIndexError> more = m_index->upkeepStep();
        QVERIFY(more);
        ++steps;
        if (!*more)
            break;
        QVERIFY(steps < 1000);
        // Between steps, the app writes and the desktop reads on.
        if (steps == 2)
            QVERIFY(m_index->indexItems({card(tiny, QStringLiteral("Interlude"), QStringLiteral("between steps"))}));
        QCOMPARE(reader.search(QStringLiteral("pipeline stages")), QStringList{meeting});
    }
    QVERIFY2(steps > 2, "merged a bounded number of pages at a time");
    QVERIFY(!raw.trigramStored(QStringLiteral("ψωξζ")));
    QVERIFY(!raw.trigramStored(QStringLiteral("жщэю")));
    QVERIFY(!m_index->upkeepDue());
    QVERIFY(raw.trigramsInStep());
    QCOMPARE(m_index->search(QStringLiteral("ψωξ")), QStringList{});
    QCOMPARE(m_index->search(QStringLiteral("жщэ")), QStringList{});
    QCOMPARE(m_index->search(QStringLiteral("pipeline")), QStringList{meeting});
    QCOMPARE(reader.search(QStringLiteral("interlude")), QStringList{tiny});
    QCOMPARE(m_index->search(filler.at(0)).size(), raw.scan({filler.at(0)}).size());
}

void SearchIndexTest::changedEntryLeavesNothingOfBefore_data()
{
    QTest::addColumn<QString>("titleAfter");
    QTest::addColumn<QString>("noteAfter");
    QTest::addColumn<bool>("keepsPicture");
    // Words in scripts no other entry uses, so their trigrams are seen whole.
    const QString title = QStringLiteral("Ψωξζ");
    const QString note = QStringLiteral("Жщэю");
    QTest::newRow("words hidden by a redaction") << QStringLiteral("Pipeline") << note << true;
    QTest::newRow("picture hidden by a redaction") << title << note << false;
    QTest::newRow("note deleted, named anew") << title << QStringLiteral("Inbox") << true;
    QTest::newRow("written again as it was") << title << note << true;
}

void SearchIndexTest::changedEntryLeavesNothingOfBefore()
{
    QFETCH(QString, titleAfter);
    QFETCH(QString, noteAfter);
    QFETCH(bool, keepsPicture);
    const QString path = m_index->filePath();
    const QByteArray picture = testing::pngOf(testing::noisePicture(QSize(60, 40), 7));
    // Some bytes from the middle of the picture's compressed pixels.
    const QByteArray pictureBytes = picture.mid(picture.size() / 2, 48);
    const auto filesHold = [&path](const QByteArray &bytes) {
        for (const QString &name : {path, path + QStringLiteral("-wal")}) {
            QFile file(name);
            if (file.open(QIODevice::ReadOnly) && file.readAll().contains(bytes))
                return true;
        }
        return false;
    };
    SearchableItem entry = card(budget, QStringLiteral("Ψωξζ"), QStringLiteral("wyvern"));
    entry.keywords = {QStringLiteral("Жщэю"), QStringLiteral("Firefox")};
    entry.thumbnailData = picture;
    QVERIFY(m_index->indexItems({entry}));
    QVERIFY(filesHold(pictureBytes));
    entry.title = titleAfter;
    entry.keywords.first() = noteAfter;
    if (!keepsPicture)
        entry.thumbnailData.reset();
    QVERIFY(m_index->indexItems({entry}));

    // Once the worker has had its pause, as the app's does.
    for (int steps = 0; m_index->upkeepDue(); ++steps) {
        QVERIFY(steps < 1000);
        QVERIFY(m_index->upkeepStep());
    }
    RawIndex raw(path);
    QCOMPARE(raw.trigramStored(QStringLiteral("ψωξζ")), titleAfter == QStringLiteral("Ψωξζ"));
    QCOMPARE(raw.trigramStored(QStringLiteral("жщэю")), noteAfter == QStringLiteral("Жщэю"));
    QCOMPARE(filesHold(pictureBytes), keepsPicture);
    QVERIFY(raw.trigramsInStep());
    QCOMPARE(m_index->item(budget), std::optional<SearchableItem>(entry));
}

void SearchIndexTest::olderBuildsReplaceIsMended_data()
{
    QTest::addColumn<SearchIndex::Creation>("opening");
    QTest::addColumn<bool>("openBefore"); // already answering when the older build writes
    QTest::newRow("app opens after") << SearchIndex::Creation::createWhenMissing << false;
    QTest::newRow("app open before") << SearchIndex::Creation::createWhenMissing << true;
    QTest::newRow("desktop's search opens after") << SearchIndex::Creation::existingOnly << false;
    QTest::newRow("desktop's search open before") << SearchIndex::Creation::existingOnly << true;
}

void SearchIndexTest::olderBuildsReplaceIsMended()
{
    QFETCH(SearchIndex::Creation, opening);
    QFETCH(bool, openBefore);
    const QString path = m_index->filePath();
    m_index.reset();
    std::unique_ptr<SearchIndex> index;
    if (openBefore) {
        index = std::make_unique<SearchIndex>(path, opening);
        QCOMPARE(index->search(QStringLiteral("revenue")), QStringList{first});
    }
    {
        // As the build before the trigram table writes a changed snip: the
        // row of words replaced, whose delete fires no trigger.
        RawIndex raw(path);
        QSqlQuery q = raw.query();
        q.prepare(QStringLiteral("INSERT OR REPLACE INTO item_words (item, identifier, folded) VALUES (?, ?, ?)"));
        q.addBindValue(raw.rowOf(first));
        q.addBindValue(first);
        q.addBindValue(foldedSearchText(QStringLiteral("Pipeline diagram\nstages")));
        QVERIFY(q.exec());
        QVERIFY(!raw.trigramsInStep());
    }
    if (!index)
        index = std::make_unique<SearchIndex>(path, opening);
    // Never an answer from the words it no longer holds, never one missed.
    QCOMPARE(index->search(QStringLiteral("revenue")), QStringList{});
    QCOMPARE(index->firstMatching({QStringLiteral("revenue")}, {first, second}, 10), QStringList{});
    QCOMPARE(index->search(QStringLiteral("pipeline stages")), QStringList{first});
    QCOMPARE(index->firstMatching({QStringLiteral("diagram")}, {second, first}, 10), QStringList{first});
    if (opening == SearchIndex::Creation::createWhenMissing && openBefore) {
        // Opening builds the table again; an app already open does in its
        // upkeep.
        QVERIFY(index->upkeepDue());
        QVERIFY(index->upkeepStep());
    }
    RawIndex raw(path);
    QTRY_VERIFY(raw.trigramsInStep());
    QCOMPARE(index->search(QStringLiteral("pipeline stages")), QStringList{first});
    QCOMPARE(index->search(QStringLiteral("password research")), QStringList{second});
}

void SearchIndexTest::firstMatchingKeepsTheGivenOrder_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("limit");
    QTest::newRow("a word most hold") << "alpha" << 10;
    QTest::newRow("a word few hold, not among the first") << "zircon" << 10;
    QTest::newRow("two words") << "alpha bravo" << 10;
    QTest::newRow("a long word among more than the limit") << "bravo" << 25;
    QTest::newRow("short words alone") << "ch" << 10;
    QTest::newRow("a short word few hold") << "zi" << 10;
    QTest::newRow("long and short") << "zircon ch" << 10;
    QTest::newRow("inside a word") << "irco" << 10;
    QTest::newRow("found nowhere") << "quokka" << 10;
    QTest::newRow("all of them") << "alpha" << 1000;
    // One needle holding a space: the words next to each other, in order.
    QTest::newRow("a phrase") << "|alpha charlie" << 10;
    QTest::newRow("a phrase whose words all hold, apart") << "|echo alpha" << 10;
}

void SearchIndexTest::firstMatchingKeepsTheGivenOrder()
{
    QFETCH(QString, query);
    QFETCH(int, limit);
    // Many more items than are checked one by one first, written in an
    // order other than the one asked in.
    QRandomGenerator random(17);
    const QStringList words{"alpha", "bravo", "charlie", "delta", "echo"};
    QList<SearchableItem> items;
    QStringList order;
    for (int i = 0; i < 600; ++i) {
        QStringList text;
        for (const QString &word : words) {
            if (random.bounded(100) < (word == u"alpha" ? 90 : 40))
                text << word;
        }
        if (i % 97 == 5)
            text << QStringLiteral("zircon");
        const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        items << card(id, QStringLiteral("Item %1").arg(i), text.join(QLatin1Char(' ')));
        order << id;
    }
    QVERIFY(m_index->indexItems(items));
    std::shuffle(order.begin(), order.end(), random);
    // Identifiers the index has never seen are passed over.
    order.insert(3, QStringLiteral("00000000-0000-4000-8000-000000000000"));
    order.insert(300, QStringLiteral("00000000-0000-4000-8000-000000000001"));

    const QStringList needles =
        query.startsWith(u'|') ? QStringList{query.mid(1)} : query.split(QLatin1Char(' '));
    RawIndex raw(m_index->filePath());
    const QStringList holding = raw.scan(needles);
    QStringList expected;
    for (const QString &id : std::as_const(order)) {
        if (holding.contains(id) && expected.size() < limit)
            expected << id;
    }
    if (query.startsWith(u'|'))
        QVERIFY(holding.size() < raw.scan(needles.first().split(QLatin1Char(' '))).size());
    QCOMPARE(m_index->firstMatching(needles, order, limit), expected);
}

QTEST_GUILESS_MAIN(SearchIndexTest)
#include "tst_searchindex.moc"
