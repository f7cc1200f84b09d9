#include "runtime/DesktopSearch.h"

#include "model/CardCatalog.h"
#include "platform/ImageDecoder.h"
#include "platform/SearchIndex.h"
#include "platform/UuidText.h"

#include <QSet>

namespace tessaline {

DesktopSearch::DesktopSearch(std::unique_ptr<SearchIndex> index, std::unique_ptr<CardCatalog> catalog,
                             QObject *parent)
    : QObject(parent)
    , m_index(std::move(index))
    , m_catalog(std::move(catalog))
{
}

DesktopSearch::~DesktopSearch() = default;

std::unique_ptr<DesktopSearch> DesktopSearch::forDataDirectory(QObject *parent)
{
    return std::make_unique<DesktopSearch>(
        std::make_unique<SearchIndex>(SearchIndex::defaultFilePath(), SearchIndex::Creation::existingOnly),
        std::make_unique<CardCatalog>(CardCatalog::defaultFilePath()), parent);
}

QStringList DesktopSearch::resultIdentifiers(const QStringList &terms)
{
    Q_EMIT asked();
    const QString text = terms.join(QLatin1Char(' '));
    // The index keeps what was indexed; the library says what is still there.
    const QStringList live = m_catalog->liveSnipsNewestFirst();
    // Words most snips hold fill the list from the newest few alone: those
    // are checked first, before every snip holding them is looked up.
    constexpr qsizetype newestChecked = 64;
    if (live.size() > newestChecked) {
        const QStringList newest = m_index->searchAmong(text, live.first(newestChecked));
        if (newest.size() >= maximumResultCount)
            return newest.first(maximumResultCount);
    }
    const QStringList matching = m_index->search(text);
    if (matching.isEmpty())
        return {};
    const QSet<QString> matched(matching.cbegin(), matching.cend());
    QStringList results;
    for (const QString &identifier : live) {
        if (!matched.contains(identifier))
            continue;
        results << identifier;
        if (results.size() == maximumResultCount)
            break;
    }
    return results;
}

QList<DesktopSearchResult> DesktopSearch::results(const QStringList &identifiers)
{
    Q_EMIT asked();
    QList<DesktopSearchResult> results;
    for (const QString &identifier : identifiers) {
        // Asked for after the answer: the snip may have gone meanwhile.
        if (!m_catalog->isLiveSnip(identifier))
            continue;
        const std::optional<SearchableItem> item = m_index->item(identifier);
        if (!item)
            continue;
        DesktopSearchResult result;
        result.identifier = identifier;
        result.name = item->title;
        QStringList where;
        for (const QString &keyword : item->keywords) {
            if (!keyword.trimmed().isEmpty())
                where << keyword;
        }
        result.description = where.join(QStringLiteral(" \u00B7 "));
        if (item->thumbnailData) {
            if (auto icon = ImageDecoder::decode(*item->thumbnailData))
                result.icon = *icon;
        }
        results << result;
    }
    return results;
}

void DesktopSearch::activateResult(const QString &identifier)
{
    const std::optional<QUuid> cardID = parseUuid(identifier);
    if (cardID && m_catalog->isLiveSnip(uuidText(*cardID)))
        Q_EMIT snipActivated(*cardID);
}

void DesktopSearch::launchSearch(const QStringList &terms)
{
    Q_EMIT searchRequested(terms.join(QLatin1Char(' ')));
}

} // namespace tessaline
