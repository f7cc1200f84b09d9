#include "runtime/DesktopSearch.h"

#include "model/CardCatalog.h"
#include "platform/ImageDecoder.h"
#include "platform/SearchIndex.h"
#include "platform/UuidText.h"

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
    // The index keeps what was indexed; the library says what is still
    // there, and in which order: the newest live snips holding the phrase.
    return m_index->firstMatching({phrase(terms)}, m_catalog->liveSnipsNewestFirst(), maximumResultCount);
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
        // An earlier version stored larger thumbnails: each is brought to
        // the size the desktops draw, not sent whole at every keystroke.
        if (item->thumbnailData) {
            const QSize side(SearchIndex::thumbnailSide, SearchIndex::thumbnailSide);
            if (auto icon = ImageDecoder::decodeFitted(*item->thumbnailData, side))
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
    Q_EMIT searchRequested(phrase(terms));
}

QString DesktopSearch::phrase(const QStringList &terms)
{
    return terms.join(QLatin1Char(' '));
}

} // namespace tessaline
