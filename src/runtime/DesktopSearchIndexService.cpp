#include "runtime/DesktopSearchIndexService.h"

#include "model/Board.h"
#include "model/CanvasCard.h"
#include "platform/SerialExecutor.h"
#include "platform/UuidText.h"

#include <QSet>
#include <QTimer>

namespace tessaline {

// Lives on the worker thread: the index connection belongs there.
struct DesktopSearchIndexService::WorkerState
{
    IndexFactory factory;
    std::unique_ptr<SearchIndexing> index;
    std::chrono::milliseconds upkeepDelay{0};
    std::unique_ptr<QTimer> upkeepTimer;

    SearchIndexing *ensureIndex()
    {
        if (!index && factory)
            index = factory();
        return index.get();
    }

    // After each call: upkeep waits for a pause in the calls, so a run of
    // removals is tidied once.
    void called()
    {
        if (index && index->upkeepDue())
            scheduleUpkeep(upkeepDelay);
    }

    void scheduleUpkeep(std::chrono::milliseconds delay)
    {
        if (!upkeepTimer) {
            upkeepTimer = std::make_unique<QTimer>();
            upkeepTimer->setSingleShot(true);
            QObject::connect(upkeepTimer.get(), &QTimer::timeout, upkeepTimer.get(), [this] { upkeepStep(); });
        }
        upkeepTimer->start(delay);
    }

    void upkeepStep()
    {
        if (!index)
            return;
        // The next step queues behind calls that came meanwhile; a call
        // puts it off until the next pause. A failed step (the file locked
        // by another process for long) waits for the next call.
        const Expected<bool, SearchIndexError> more = index->upkeepStep();
        if (more && *more)
            scheduleUpkeep(std::chrono::milliseconds(0));
    }
};

namespace {

auto unavailable()
{
    return unexpected(SearchIndexError{QStringLiteral("The search index is not available.")});
}

// Calls visit(cardID, identifier) for each of the index's entries named by
// a card's id; entries named otherwise are not the app's. Nothing is
// gathered: the worker's memory, once touched, stays with the process.
template <typename Visit>
Expected<void, SearchIndexError> visitCardEntries(SearchIndexing &index, Visit &&visit)
{
    const auto identifiers = index.itemIdentifiers();
    if (!identifiers)
        return unexpected(identifiers.error());
    for (const QString &identifier : *identifiers) {
        if (const std::optional<QUuid> cardID = parseUuid(identifier))
            visit(*cardID, identifier);
    }
    return {};
}

// Calls visit(identifier, noteName) for each of the index's entries that
// names a note: an entry's first keyword is its note's name
// (searchableItem()).
template <typename Visit>
Expected<void, SearchIndexError> visitEntryNoteNames(SearchIndexing &index, Visit &&visit)
{
    const auto keywords = index.itemKeywords();
    if (!keywords)
        return unexpected(keywords.error());
    for (auto entry = keywords->cbegin(); entry != keywords->cend(); ++entry) {
        if (!entry->isEmpty())
            visit(entry.key(), entry->constFirst());
    }
    return {};
}

// What an entry names as its note when the card's note is not there.
QString missingNoteName()
{
    return QStringLiteral("Tessaline");
}

} // namespace

DesktopSearchIndexService::DesktopSearchIndexService(IndexFactory factory, QString domainIdentifier,
                                                     std::chrono::milliseconds upkeepDelay)
    : m_domainIdentifier(std::move(domainIdentifier)),
      m_state(std::make_shared<WorkerState>()),
      m_executor(std::make_unique<SerialExecutor>(QStringLiteral("Search index"), SerialExecutor::Urgency::background))
{
    m_state->factory = std::move(factory);
    m_state->upkeepDelay = upkeepDelay;
    m_executor->runAtShutdown([state = m_state]() {
        state->upkeepTimer.reset();
        state->index.reset();
    });
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
        Outcome outcome = index ? index->indexItems({item}) : unavailable();
        state->called();
        return outcome;
    });
}

QFuture<DesktopSearchIndexService::Outcome> DesktopSearchIndexService::remove(const QUuid &cardID, QObject *receiver)
{
    return remove(QList<QUuid>{cardID}, receiver);
}

QFuture<DesktopSearchIndexService::Outcome> DesktopSearchIndexService::remove(const QList<QUuid> &cardIDs,
                                                                             QObject *receiver)
{
    QStringList identifiers;
    identifiers.reserve(cardIDs.size());
    for (const QUuid &cardID : cardIDs)
        identifiers.append(uuidText(cardID));
    return m_executor->submit(receiver, [state = m_state, identifiers = std::move(identifiers)]() {
        SearchIndexing *index = state->ensureIndex();
        Outcome outcome = index ? index->deleteItems(identifiers) : unavailable();
        state->called();
        return outcome;
    });
}

QFuture<DesktopSearchIndexService::Outcome> DesktopSearchIndexService::keepOnly(const QList<QUuid> &cardIDs,
                                                                             QObject *receiver)
{
    return m_executor->submit(receiver, [state = m_state, cardIDs]() -> Outcome {
        SearchIndexing *index = state->ensureIndex();
        if (!index)
            return unavailable();
        const QSet<QUuid> kept(cardIDs.cbegin(), cardIDs.cend());
        QStringList gone;
        const auto listed = visitCardEntries(*index, [&](const QUuid &cardID, const QString &identifier) {
            if (!kept.contains(cardID))
                gone << identifier;
        });
        if (!listed)
            return unexpected(listed.error());
        // Called at each start: upkeep an earlier session left undone (the
        // app ended before its worker's pause) is done now, or the words it
        // was to merge away would wait for the next removal.
        Outcome outcome = gone.isEmpty() ? Outcome() : index->deleteItems(gone);
        state->called();
        return outcome;
    });
}

QFuture<Expected<QList<QUuid>, SearchIndexError>> DesktopSearchIndexService::unindexed(QList<QUuid> cardIDs,
                                                                                     QObject *receiver)
{
    return m_executor->submit(
        receiver, [state = m_state, cardIDs = std::move(cardIDs)]() -> Expected<QList<QUuid>, SearchIndexError> {
            SearchIndexing *index = state->ensureIndex();
            if (!index)
                return unavailable();
            QSet<QUuid> held;
            const auto listed = visitCardEntries(*index, [&held](const QUuid &cardID, const QString &) {
                held.insert(cardID);
            });
            if (!listed)
                return unexpected(listed.error());
            QList<QUuid> missing;
            for (const QUuid &cardID : cardIDs) {
                if (!held.contains(cardID))
                    missing.append(cardID);
            }
            state->called();
            return missing;
        });
}

QFuture<DesktopSearchIndexService::Outcome> DesktopSearchIndexService::renameNotes(NoteNaming naming,
                                                                                 QObject *receiver)
{
    return m_executor->submit(receiver, [state = m_state, naming = std::move(naming)]() -> Outcome {
        QHash<QUuid, QString> noteNames;
        noteNames.reserve(qsizetype(naming.cardNotes.size()));
        for (const auto &[cardID, boardID] : naming.cardNotes) {
            const auto title = naming.titles.constFind(boardID);
            noteNames.insert(cardID, title != naming.titles.cend() ? *title : missingNoteName());
        }
        SearchIndexing *index = state->ensureIndex();
        if (!index)
            return unavailable();
        QList<SearchableItem> renamed;
        const auto listed = visitEntryNoteNames(*index, [&](const QString &identifier, const QString &noteName) {
            const std::optional<QUuid> cardID = parseUuid(identifier);
            const auto name = cardID ? noteNames.constFind(*cardID) : noteNames.cend();
            if (name == noteNames.cend() || noteName == *name)
                return;
            std::optional<SearchableItem> item = index->item(identifier);
            if (!item || item->keywords.isEmpty())
                return;
            item->keywords.first() = *name;
            renamed << *std::move(item);
        });
        if (!listed)
            return unexpected(listed.error());
        if (renamed.isEmpty())
            return {};
        Outcome outcome = index->indexItems(renamed);
        state->called();
        return outcome;
    });
}

QFuture<Expected<QList<QUuid>, SearchIndexError>> DesktopSearchIndexService::entriesNaming(QString noteTitle,
                                                                                         QObject *receiver)
{
    return m_executor->submit(
        receiver, [state = m_state, noteTitle = std::move(noteTitle)]() -> Expected<QList<QUuid>, SearchIndexError> {
            SearchIndexing *index = state->ensureIndex();
            if (!index)
                return unavailable();
            QList<QUuid> naming;
            const auto listed = visitEntryNoteNames(*index, [&](const QString &identifier, const QString &noteName) {
                if (noteName != noteTitle)
                    return;
                if (const std::optional<QUuid> cardID = parseUuid(identifier))
                    naming.append(*cardID);
            });
            if (!listed)
                return unexpected(listed.error());
            state->called();
            return naming;
        });
}

QString DesktopSearchIndexService::noteName(const CanvasCard &card, const QList<Board *> &boards)
{
    for (const Board *board : boards) {
        if (board->id() == card.boardID())
            return board->title();
    }
    return missingNoteName();
}

DesktopSearchIndexService::NoteNaming DesktopSearchIndexService::noteNaming(const QList<Board *> &boards,
                                                                           const QList<CanvasCard *> &cards)
{
    NoteNaming naming;
    naming.titles.reserve(boards.size());
    for (const Board *board : boards)
        naming.titles.insert(board->id(), board->title());
    naming.cardNotes.reserve(size_t(cards.size()));
    walkCards(cards, 0, [&](qsizetype, const CanvasCard *card) { naming.cardNotes.emplace_back(card->id(), card->boardID()); });
    return naming;
}

} // namespace tessaline
