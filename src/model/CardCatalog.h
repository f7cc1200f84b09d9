#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <span>

class QSqlQuery;

namespace tessaline {

// Which snips are live, newest change first, read straight from the
// library's file without loading the library: for readers outside the
// app's own context (the desktop's search, in a process that may hold
// nothing else). Not thread-safe: create and use it on one thread.
class CardCatalog
{
public:
    // The library file in the app's data directory.
    static QString defaultFilePath();

    explicit CardCatalog(const QString &storeFilePath);
    ~CardCatalog();

    CardCatalog(const CardCatalog &) = delete;
    CardCatalog &operator=(const CardCatalog &) = delete;

    // The identifiers (UUID text) of the snips that are not in Recently
    // Deleted, in a note that is not either: the latest change first, equal
    // dates by ascending identifier, as the app's own search lists snips.
    // Read again only when the library has changed since the last call.
    // Empty when there is no library or it cannot be read.
    QStringList liveSnipsNewestFirst();
    // Whether the identifier is among those.
    bool isLiveSnip(const QString &identifier);

    // A card's long texts as stored in its row, which the app's context
    // reads only when first asked for. None when there is no such row or
    // the library cannot be read.
    struct CardTexts
    {
        QString markdownText;
        QString contextText;
        QString ocrText;
    };
    std::optional<CardTexts> storedTexts(qint64 row);
    // The texts of many cards as storedTexts gives each, read in a few
    // passes over the table in row order rather than a statement per card.
    // Each is handed to `take` as it is read, with its row's index in
    // `rows`, and not kept: the long texts of a whole library do not fit at
    // once. Every index is handed over once, in no set order (rows in any
    // order, repeats allowed), none for a row that is not there or when the
    // library cannot be read, until `take` returns false.
    using TakeTexts = std::function<bool(size_t index, std::optional<CardTexts> texts)>;
    void readStoredTexts(std::span<const qint64> rows, const TakeTexts &take);

private:
    bool open();

    QString m_filePath;
    QString m_connectionName;
    bool m_isOpen = false;
    std::optional<qint64> m_dataVersion;
    QStringList m_snips;
    QSet<QString> m_snipSet;
    std::unique_ptr<QSqlQuery> m_textsQuery;
};

} // namespace tessaline
