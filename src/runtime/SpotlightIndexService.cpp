#include "runtime/SpotlightIndexService.h"

#include "platform/SerialExecutor.h"
#include "platform/UuidText.h"

#include <QPointer>

namespace tessaline {

// Lives on the worker thread: the index connection belongs there.
struct SpotlightIndexService::WorkerState
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

SearchIndexError unavailable()
{
    return SearchIndexError{QStringLiteral("The search index is not available.")};
}

} // namespace

SpotlightIndexService::SpotlightIndexService(IndexFactory factory, QString domainIdentifier)
    : m_domainIdentifier(std::move(domainIdentifier)),
      m_state(std::make_shared<WorkerState>()),
      m_executor(std::make_unique<SerialExecutor>(QStringLiteral("Search index")))
{
    m_state->factory = std::move(factory);
    m_executor->runAtShutdown([state = m_state]() { state->index.reset(); });
}

SpotlightIndexService::~SpotlightIndexService() = default;

SpotlightIndexService::IndexFactory SpotlightIndexService::defaultIndexFactory()
{
    return []() -> std::unique_ptr<SearchIndexing> {
        return std::make_unique<SearchIndex>(SearchIndex::defaultFilePath());
    };
}

QString SpotlightIndexService::defaultDomainIdentifier()
{
    return QStringLiteral("org.tessaline.Tessaline.cards");
}

SearchableItem SpotlightIndexService::searchableItem(const SpotlightRecord &record, const QString &domainIdentifier)
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

void SpotlightIndexService::index(const SpotlightRecord &record, QObject *receiver, Completion completion)
{
    const SearchableItem item = searchableItem(record, m_domainIdentifier);
    m_executor->run([state = m_state, item, receiver = QPointer<QObject>(receiver), completion]() {
        SearchIndexing *index = state->ensureIndex();
        const std::optional<SearchIndexError> error = index ? index->indexItems({item}) : unavailable();
        deliverTo(receiver, [completion, error]() { completion(error); });
    });
}

void SpotlightIndexService::remove(const QUuid &cardID, QObject *receiver, Completion completion)
{
    m_executor->run([state = m_state, identifier = uuidText(cardID), receiver = QPointer<QObject>(receiver),
                     completion]() {
        SearchIndexing *index = state->ensureIndex();
        const std::optional<SearchIndexError> error = index ? index->deleteItems({identifier}) : unavailable();
        deliverTo(receiver, [completion, error]() { completion(error); });
    });
}

} // namespace tessaline
