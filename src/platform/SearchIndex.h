#pragma once

#include "platform/Expected.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

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

// The index as an SQLite file with an FTS5 table over title, description,
// keywords and creator. Not thread-safe: create and use it on one thread
// (its database connection belongs to the thread that opened it).
class SearchIndex final : public SearchIndexing
{
public:
    explicit SearchIndex(const QString &filePath);
    ~SearchIndex() override;

    SearchIndex(const SearchIndex &) = delete;
    SearchIndex &operator=(const SearchIndex &) = delete;

    // SearchIndex.sqlite beside the library store (~/.local/share/Tessaline).
    static QString defaultFilePath();

    QString filePath() const { return m_filePath; }

    Expected<void, SearchIndexError> indexItems(const QList<SearchableItem> &items) override;
    Expected<void, SearchIndexError> deleteItems(const QStringList &uniqueIdentifiers) override;

    std::optional<SearchableItem> item(const QString &uniqueIdentifier);
    // Identifiers of the items matching every word of the text (each word
    // also as a prefix), best match first. Query syntax is never
    // interpreted: quotes, stars and operators in the text are plain words.
    QStringList search(const QString &text);
    qsizetype count();

private:
    Expected<void, SearchIndexError> open();

    QString m_filePath;
    QString m_connectionName;
    bool m_isOpen = false;
};

} // namespace tessaline
