#pragma once

#include "platform/Expected.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <thread>

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

    // The longest side of a stored thumbnail: a result icon needs no more,
    // and the library keeps the full picture.
    static constexpr int thumbnailSide = 256;

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

    std::optional<SearchableItem> item(const QString &uniqueIdentifier);
    // Identifiers of the items whose title, description, keywords or
    // creator hold every word of the text, ignoring case, accents and width,
    // in no particular order. Words are whitespace-separated and matched
    // anywhere in a word; a word without a letter or digit is left out, and
    // no word left matches nothing. Nothing when the index cannot be read.
    QStringList search(const QString &text);
    QStringList search(const QStringList &words);
    // Those of the identifiers whose item holds every word of the text, as
    // search() matches them, in the order given: a few rows checked rather
    // than every row looked in.
    QStringList searchAmong(const QString &text, const QStringList &identifiers);
    qsizetype count();

private:
    Expected<void, SearchIndexError> open();
    Expected<void, SearchIndexError> upgrade();
    Expected<void, SearchIndexError> buildTrigrams();

    QString m_filePath;
    Creation m_creation;
    QString m_connectionName;
    bool m_isOpen = false;
    bool m_hasTrigrams = false;
    bool m_buildsTrigramsHere = false;
    // A reader's building of the trigram table, on a thread of its own.
    std::jthread m_trigramBuild;
};

} // namespace tessaline
