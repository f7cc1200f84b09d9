#pragma once

#include "platform/Expected.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

class QSqlQuery;

#include <atomic>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace tessaline {

// One entry of the desktop-search index.
struct SearchableItem
{
    QString uniqueIdentifier;
    QString domainIdentifier;
    QString title;
    QString contentDescription;
    QStringList keywords;
    std::optional<QString> creator;
    std::optional<QByteArray> thumbnailData;

    friend bool operator==(const SearchableItem &, const SearchableItem &) = default;
};

struct SearchIndexError
{
    QString message;
};

// What the indexing service needs of an index, so tests can stand in a fake.
class SearchIndexing
{
public:
    virtual ~SearchIndexing() = default;
    // Adds the items, replacing any with the same unique identifier.
    virtual Expected<void, SearchIndexError> indexItems(const QList<SearchableItem> &items) = 0;
    virtual Expected<void, SearchIndexError> deleteItems(const QStringList &uniqueIdentifiers) = 0;
    // The unique identifier of every item; none from an index that keeps no
    // list of them.
    virtual Expected<QStringList, SearchIndexError> itemIdentifiers() { return QStringList(); }
    // Each item's keywords by its unique identifier; none from an index that
    // keeps no list of them.
    virtual Expected<QHash<QString, QStringList>, SearchIndexError> itemKeywords()
    {
        return QHash<QString, QStringList>();
    }
    // The item with that identifier, as the index holds it.
    virtual std::optional<SearchableItem> item(const QString &uniqueIdentifier)
    {
        Q_UNUSED(uniqueIdentifier);
        return std::nullopt;
    }
    // Whether writes left work to do once the index is idle.
    virtual bool upkeepDue() { return false; }
    // One short step of that work; true while more is left.
    virtual Expected<bool, SearchIndexError> upkeepStep() { return false; }
};

// The index as an SQLite file: one row per item, its thumbnail a small PNG,
// beside it the item's words folded as searches compare them, and every
// three characters of those in a full-text table, to look words up. Not
// thread-safe: create and use it on one thread (its database connection
// belongs to the thread that opened it).
class SearchIndex final : public SearchIndexing
{
public:
    // A reader outside the app (the desktop's search) must never leave an
    // empty index behind where none was: it opens an existing file only.
    enum class Creation { createWhenMissing, existingOnly };

    // The longest side of a stored thumbnail. The desktops draw a result's
    // icon at 24 to 32 px, twice that on a screen of double density; the
    // library keeps the full picture.
    static constexpr int thumbnailSide = 64;

    explicit SearchIndex(const QString &filePath, Creation creation = Creation::createWhenMissing);
    ~SearchIndex() override;

    SearchIndex(const SearchIndex &) = delete;
    SearchIndex &operator=(const SearchIndex &) = delete;

    // SearchIndex.sqlite beside the library store (~/.local/share/Tessaline).
    static QString defaultFilePath();

    QString filePath() const { return m_filePath; }

    // A thumbnail is stored as a PNG fitting `thumbnailSide`, shrunk when it
    // is larger; one that is not a readable picture is left out.
    Expected<void, SearchIndexError> indexItems(const QList<SearchableItem> &items) override;
    Expected<void, SearchIndexError> deleteItems(const QStringList &uniqueIdentifiers) override;
    Expected<QStringList, SearchIndexError> itemIdentifiers() override;
    Expected<QHash<QString, QStringList>, SearchIndexError> itemKeywords() override;

    std::optional<SearchableItem> item(const QString &uniqueIdentifier) override;
    // Identifiers of the items whose title, description, keywords or
    // creator hold every one of the needles, ignoring case, accents and
    // width, in no particular order. A needle is found anywhere in one
    // field, never across two; one without a letter or digit is left out,
    // and no needle left matches nothing. Nothing when the index cannot be
    // read.
    QStringList search(const QStringList &needles);
    // The same for each whitespace-separated word of the text.
    QStringList search(const QString &text);
    // The first `limit` of the identifiers whose item holds every needle,
    // as search() matches them, in the order given.
    QStringList firstMatching(const QStringList &needles, const QStringList &identifiers, qsizetype limit);
    qsizetype count();

    // A removed item's words stay in the trigram table's older segments
    // until they are merged away: due after any removal, by whichever build
    // of the app wrote. A step merges a bounded number of pages in a
    // transaction of its own, so a reader or writer waits little for it. A
    // table that an older build left out of step is built again instead.
    bool upkeepDue() override;
    Expected<bool, SearchIndexError> upkeepStep() override;

private:
    Expected<void, SearchIndexError> open();
    Expected<void, SearchIndexError> upgrade();
    Expected<void, SearchIndexError> buildTrigrams();
    // Whether the trigram table can be trusted now: there in this layout and
    // not left out of step by an older build's write.
    bool trigramsUsable();
    void startTrigramBuild();
    void stopTrigramBuild();
    // Takes the write lock; a build that may be asked to stop gives up
    // waiting for it once it is.
    bool beginWriting(QSqlQuery &query);
    // The rows of the items holding every word (of three characters or
    // more), ascending; the first `limit` (-1: all).
    std::optional<std::vector<qint64>> rowsWithWords(const QStringList &needles, int limit = -1);
    // Those of the rows whose words hold every needle, checked in SQL.
    QSet<qint64> rowsHolding(const QList<qint64> &rows, const QStringList &needles);
    bool loadRowNumbers();

    QString m_filePath;
    Creation m_creation;
    QString m_connectionName;
    bool m_isOpen = false;
    bool m_hasTrigrams = false;
    bool m_buildsTrigramsHere = false;
    // A reader's building of the trigram table, on a thread of its own.
    // Asked to stop (as the reader ends, or writes), it leaves the table
    // unbuilt within a slice of rows, and a later search begins it again.
    std::jthread m_trigramBuild;
    std::shared_ptr<std::atomic<bool>> m_trigramBuildDone;
    bool m_trigramBuildStopped = false;
    // The building thread's connection: whether it is asked to stop.
    std::stop_token m_stop;
    // Each item's row, as of the file's version read last, to find the
    // rows of identifiers without asking for each.
    QHash<QString, qint64> m_rowNumbers;
    std::optional<qint64> m_rowNumbersVersion;
};

} // namespace tessaline
