#include "runtime/DesktopSearchIndexService.h"

#include "platform/SerialExecutor.h"
#include "platform/UuidText.h"


namespace tessaline {

// Lives on the worker thread: the index connection belongs there.
struct DesktopSearchIndexService::WorkerState
{
    IndexFactory factory;
    std::unique_ptr<SearchIndexing> index;

    SearchIndexing *ensureIndex()
    {
        if (!index && factory)
            index = factory();
        return index.get();
    }
};

namespace {

DesktopSearchIndexService::Outcome unavailable()
{
    return unexpected(SearchIndexError{QStringLiteral("The search index is not available.")});
}

} // namespace

DesktopSearchIndexService::DesktopSearchIndexService(IndexFactory factory, QString domainIdentifier)
    : m_domainIdentifier(std::move(domainIdentifier)),
      m_state(std::make_shared<WorkerState>()),
      m_executor(std::make_unique<SerialExecutor>(QStringLiteral("Search index")))
{
    m_state->factory = std::move(factory);
    m_executor->runAtShutdown([state = m_state]() { state->index.reset(); });
}

DesktopSearchIndexService::~DesktopSearchIndexService() = default;

DesktopSearchIndexService::IndexFactory DesktopSearchIndexService::defaultIndexFactory()
{
    return []() -> std::unique_ptr<SearchIndexing> {
        return std::make_unique<SearchIndex>(SearchIndex::defaultFilePath());
    };
}

QString DesktopSearchIndexService::defaultDomainIdentifier()
{
    return QStringLiteral("org.tessaline.Tessaline.cards");
}

SearchableItem DesktopSearchIndexService::searchableItem(const DesktopSearchRecord &record, const QString &domainIdentifier)
{
    SearchableItem item;
    item.uniqueIdentifier = uuidText(record.id);
    item.domainIdentifier = domainIdentifier;
    item.title = record.title;
    item.contentDescription = record.text;
    // An empty note name is still a keyword; only absent values are left out.
    if (record.boardName)
        item.keywords << *record.boardName;
    if (record.sourceApplication)
        item.keywords << *record.sourceApplication;
    item.creator = record.sourceApplication;
    item.thumbnailData = record.thumbnailData;
    return item;
}

QFuture<DesktopSearchIndexService::Outcome> DesktopSearchIndexService::index(const DesktopSearchRecord &record, QObject *receiver)
{
    return m_executor->submit(receiver, [state = m_state, item = searchableItem(record, m_domainIdentifier)]() {
        SearchIndexing *index = state->ensureIndex();
        return index ? index->indexItems({item}) : unavailable();
    });
}

QFuture<DesktopSearchIndexService::Outcome> DesktopSearchIndexService::remove(const QUuid &cardID, QObject *receiver)
{
    return m_executor->submit(receiver, [state = m_state, identifier = uuidText(cardID)]() {
        SearchIndexing *index = state->ensureIndex();
        return index ? index->deleteItems({identifier}) : unavailable();
    });
}

} // namespace tessaline
