#include "library/SnipsLibraryModel.h"

#include "library/PartsOnPool.h"
#include "library/SnipsGridOrder.h"

#include "runtime/LibraryQuery.h"
#include "runtime/NavigationState.h"
#include "runtime/SnipPictureReading.h"
#include "model/Board.h"
#include "model/CardCatalog.h"
#include "model/CanvasCard.h"
#include "model/ModelContext.h"
#include "model/ThinkingSessionService.h"
#include "platform/BackgroundPool.h"
#include "platform/FutureDelivery.h"
#include "platform/MemoryRelease.h"
#include "platform/TextUtilities.h"
#include "platform/UuidText.h"

#include <QCollator>
#include <QHash>
#include <QSet>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <span>
#include <vector>

namespace tessaline {

namespace {

// A snip whose note is gone is shown as filed in the inbox.
QString titleOfNote(const Board *note)
{
    return note ? note->title() : QStringLiteral("Quick Captures");
}

// A large library's filter works on a share of the processors: the main
// thread goes on painting the grid meanwhile, and Qt's painting waits for
// its own image conversions on other threads, which a filter taking every
// processor (and the memory's bandwidth, in a scan of megabytes) slows.
PoolShare filterShare(size_t smallest)
{
    return {&backgroundPool(), smallest, size_t(std::max(2, QThread::idealThreadCount() / 3))};
}

// The filter's test of one snip, its title's test first: letter case is
// ignored, diacritics are not.
template<typename TitleHolds>
bool snipHolds(const CaseInsensitiveNeedle &needle, TitleHolds titleHolds, const QString &caption,
               const QString &recognized, const QString &application, const QString &note)
{
    const auto holds = [&needle](const QString &field) { return needle.isFoundIn(field); };
    return titleHolds() || holds(caption) || holds(recognized) || holds(application) || holds(note);
}

// Titles in the order a person reads them: runs of digits by their value
// ("Note 2" before "Note 10"), the text between them by the locale's
// collation with letter case set aside.
int naturalCompare(const QString &a, const QString &b, const QCollator &collator)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        const bool digitA = a.at(i).isDigit();
        const bool digitB = b.at(j).isDigit();
        qsizetype endA = i;
        while (endA < a.size() && a.at(endA).isDigit() == digitA)
            ++endA;
        qsizetype endB = j;
        while (endB < b.size() && b.at(endB).isDigit() == digitB)
            ++endB;
        const QStringView runA = QStringView(a).mid(i, endA - i);
        const QStringView runB = QStringView(b).mid(j, endB - j);
        int order = 0;
        if (digitA && digitB) {
            QStringView valueA = runA;
            QStringView valueB = runB;
            while (valueA.size() > 1 && valueA.front() == u'0')
                valueA = valueA.mid(1);
            while (valueB.size() > 1 && valueB.front() == u'0')
                valueB = valueB.mid(1);
            order = valueA.size() != valueB.size() ? (valueA.size() < valueB.size() ? -1 : 1)
                                                   : valueA.compare(valueB);
        } else {
            order = collator.compare(runA, runB);
            if (order == 0)
                order = runA.compare(runB, Qt::CaseInsensitive);
        }
        if (order != 0)
            return order < 0 ? -1 : 1;
        i = endA;
        j = endB;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

QDateTime libraryDate(const CanvasCard *card)
{
    return card->capturedAt().value_or(card->createdAt());
}

} // namespace

SnipsLibraryModel::SnipsLibraryModel(LibraryQuery &library, NavigationState &navigation, QObject *parent)
    : QAbstractListModel(parent), m_library(library), m_navigation(navigation)
{
    connect(&m_library, &LibraryQuery::changed, this, &SnipsLibraryModel::libraryChanged);
    rebuild();
}

SnipsLibraryModel::~SnipsLibraryModel()
{
    dropFilterTexts();
}

void SnipsLibraryModel::dropFilterTexts()
{
    // Every snip's recognised text, read on the worker: tens of megabytes in
    // a large library, which the worker's heap would keep after they are
    // freed. Read again when a filter text is typed again.
    m_making.reset();
    if (!holdsFilterTexts())
        return;
    m_candidates.reset();
    m_hits.reset();
    backgroundPool().start(&releaseFreedMemory);
}

bool SnipsLibraryModel::isFilterPending() const
{
    return m_pendingRound.has_value();
}

void SnipsLibraryModel::setClock(Clock clock)
{
    m_clock = std::move(clock);
    if (!m_cards.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(m_cards.size()) - 1), {DateTextRole});
}

QDateTime SnipsLibraryModel::now() const
{
    return m_clock ? m_clock() : QDateTime::currentDateTimeUtc();
}

void SnipsLibraryModel::setQuery(const QString &query)
{
    if (query == m_query)
        return;
    const QString previous = trimmedWhitespace(m_query);
    const QString text = trimmedWhitespace(query);
    m_query = query;
    if (text.isEmpty())
        dropFilterTexts();
    if (!text.isEmpty() && m_library.cards().size() >= m_largeLibrary) {
        filterInBackground(text);
    } else if (!previous.isEmpty() && text.contains(previous) && !isFilterPending()) {
        // Typing on only narrows: over the same lists, a text that holds the
        // longer query holds the shorter one, so only the snips shown can
        // stay, in the order they have.
        show(matchingCards(m_cards, m_library.boards(), text));
    } else {
        rebuild();
    }
    Q_EMIT queryChanged();
}

void SnipsLibraryModel::libraryChanged()
{
    // What was copied out for the worker, what it is working on and what is
    // being copied are of the lists as they were.
    m_candidates.reset();
    m_making.reset();
    m_hits.reset();
    const QString text = trimmedWhitespace(m_query);
    if (text.isEmpty() || m_library.cards().size() < m_largeLibrary) {
        rebuild();
        return;
    }
    // The grid keeps what it shows until the new hits are in, less any snip
    // the change took away.
    const QList<CanvasCard *> &cards = m_library.cards();
    const QSet<const CanvasCard *> present(cards.cbegin(), cards.cend());
    QList<CanvasCard *> kept;
    for (CanvasCard *card : std::as_const(m_cards)) {
        if (present.contains(card) && card->isLive())
            kept.append(card);
    }
    if (kept.size() != m_cards.size())
        show(std::move(kept));
    filterInBackground(text);
}

std::shared_ptr<const SnipsLibraryModel::Candidates> SnipsLibraryModel::candidates()
{
    if (m_candidates)
        return m_candidates;
    if (!m_making) {
        const QList<Board *> &boards = m_library.boards();
        CandidatesMade made;
        made.notes.reserve(boards.size());
        for (auto board = boards.crbegin(); board != boards.crend(); ++board)
            made.notes.insert((*board)->id(), *board);
        made.candidates = std::make_shared<Candidates>();
        made.candidates->filePath = m_textsFromModel ? QString() : m_library.context().filePath();
        made.snips = SnipsGridOrder::of(m_library).snips();
        made.candidates->list.reserve(size_t(made.snips.size()));
        m_making = std::move(made);
    }
    CandidatesMade &made = *m_making;
    const bool fromFile = !made.candidates->filePath.isEmpty();
    const qsizetype end = std::min(made.snips.size(), made.next + m_copySlice);
    for (; made.next < end; ++made.next) {
        CanvasCard *card = made.snips.at(made.next);
        Candidate candidate{card, {}, card->sourceApplicationName().value_or(QString()),
                            titleOfNote(made.notes.value(card->boardID())), 0};
        if (const qint64 row = card->unreadTextsRow(); row > 0 && fromFile) {
            candidate.title.title = card->title();
            candidate.title.kind = card->kind();
            candidate.textsRow = row;
        } else {
            candidate.title = card->titleSources();
        }
        made.candidates->list.push_back(std::move(candidate));
    }
    if (made.next < made.snips.size())
        return nullptr;
    m_candidates = std::move(made.candidates);
    m_making.reset();
    return m_candidates;
}

void SnipsLibraryModel::filterInBackground(const QString &text)
{
    const quint64 round = ++m_filterRound;
    m_pendingRound = round;
    const std::shared_ptr<const Candidates> all = candidates();
    if (!all) {
        // The next slice in a later turn, for the latest key then.
        QTimer::singleShot(0, this, [this, round, text] {
            if (round == m_filterRound)
                filterInBackground(text);
        });
        return;
    }
    // Typing on looks only among the hits of the shorter query.
    std::optional<std::vector<qsizetype>> among;
    if (m_hits && m_hits->candidates == all && CaseInsensitiveNeedle(m_hits->text).isFoundIn(text))
        among = m_hits->indices;
    runInBackground(this, [all, text, among]() -> std::optional<std::vector<qsizetype>> {
        std::call_once(all->textsRead, [&all] {
            std::vector<size_t> reading;
            std::vector<qint64> rows;
            for (size_t i = 0; i < all->list.size(); ++i) {
                if (const qint64 row = all->list.at(i).textsRow; row > 0) {
                    reading.push_back(i);
                    rows.push_back(row);
                }
            }
            if (rows.empty())
                return;
            // A large library's texts are tens of megabytes: read in parts,
            // each on a connection of its own.
            std::atomic<bool> missing = false;
            inPartsOnPool(filterShare(2048), rows.size(), [&](size_t, size_t from, size_t to) {
                CardCatalog file(all->filePath);
                const std::span<const qint64> part(rows.data() + from, to - from);
                file.readStoredTexts(part, [&](size_t index, std::optional<CardCatalog::CardTexts> texts) {
                    if (!texts || missing) {
                        missing = true;
                        return false;
                    }
                    CanvasCard::TitleSources &title = all->list.at(reading.at(from + index)).title;
                    title.markdownText = std::move(texts->markdownText);
                    title.contextText = std::move(texts->contextText);
                    title.ocrText = std::move(texts->ocrText);
                    return true;
                });
            });
            all->textsMissing = missing;
        });
        if (all->textsMissing)
            return std::nullopt;
        // The candidates are only read from here on: a long list is shared
        // out, as its texts are a scan of tens of megabytes per key.
        const CaseInsensitiveNeedle needle(text);
        return hitsAmong(filterShare(1024), among ? &*among : nullptr, all->list.size(), [&](qsizetype i) {
            const Candidate &candidate = all->list.at(size_t(i));
            return snipHolds(
                needle, [&] { return CanvasCard::displayTitleContains(candidate.title, needle); },
                candidate.title.contextText, candidate.title.ocrText, candidate.application, candidate.note);
        });
    }).then(this, [this, round, all, text](const std::optional<std::vector<qsizetype>> &indices) {
        // A later key or a change of the library wins.
        if (round != m_filterRound)
            return;
        if (!indices) {
            // The file would not give the texts: the model reads them.
            m_textsFromModel = true;
            m_candidates.reset();
            m_making.reset();
            m_hits.reset();
            filterInBackground(text);
            return;
        }
        m_pendingRound.reset();
        m_hits = Hits{all, text, *indices};
        QList<CanvasCard *> cards;
        cards.reserve(qsizetype(indices->size()));
        for (const qsizetype i : *indices)
            cards.append(all->list.at(size_t(i)).card);
        show(std::move(cards));
    });
}

void SnipsLibraryModel::setErrorMessage(const std::optional<QString> &message)
{
    if (message == m_errorMessage)
        return;
    m_errorMessage = message;
    Q_EMIT errorMessageChanged();
}

void SnipsLibraryModel::rebuild()
{
    ++m_filterRound;
    m_pendingRound.reset();
    if (trimmedWhitespace(m_query).isEmpty())
        show(SnipsGridOrder::of(m_library).snips());
    else
        show(filteredCards(m_library.cards(), m_library.boards(), m_query));
}

void SnipsLibraryModel::show(QList<CanvasCard *> cards)
{
    const Content before = content();
    beginResetModel();
    m_cards = std::move(cards);
    endResetModel();
    if (content() != before)
        Q_EMIT contentChanged();
}

SnipsLibraryModel::Content SnipsLibraryModel::content() const
{
    return contentFor(!m_cards.isEmpty(), m_query);
}

CanvasCard *SnipsLibraryModel::cardAt(int row) const
{
    return row >= 0 && row < m_cards.size() ? m_cards.at(row) : nullptr;
}

int SnipsLibraryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_cards.size());
}

QVariant SnipsLibraryModel::data(const QModelIndex &index, int role) const
{
    const CanvasCard *card = cardAt(index.row());
    if (!card || index.column() != 0)
        return {};
    switch (role) {
    case CardIDRole:
        return card->id();
    case Qt::DisplayRole:
    case TileTitleRole:
        return tileTitle(card);
    case NoteTitleRole:
        return titleOfNote(m_library.firstBoard(card->boardID()));
    case DateTextRole:
        return relativeTimeText(libraryDate(card), now(), RelativeTimeStyle::numeric);
    case DateTextChangeRole: {
        const QDateTime at = now();
        return at.msecsTo(relativeTimeTextChange(libraryDate(card), at, RelativeTimeStyle::numeric));
    }
    case Qt::AccessibleTextRole:
        return card->displayTitle();
    case Qt::AccessibleDescriptionRole:
        return tr("Opens the snip preview");
    default:
        return {};
    }
}

void SnipsLibraryModel::refreshDateTexts(int firstRow, int lastRow)
{
    firstRow = std::max(firstRow, 0);
    lastRow = std::min(lastRow, int(m_cards.size()) - 1);
    if (firstRow <= lastRow)
        Q_EMIT dataChanged(index(firstRow), index(lastRow), {DateTextRole});
}

QHash<int, QByteArray> SnipsLibraryModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names[CardIDRole] = "cardID";
    names[TileTitleRole] = "tileTitle";
    names[NoteTitleRole] = "noteTitle";
    names[DateTextRole] = "dateText";
    return names;
}

QList<CanvasCard *> SnipsLibraryModel::matchingCards(const QList<CanvasCard *> &cards, const QList<Board *> &boards,
                                                     const QString &text)
{
    // The first note of an id, as `noteTitle` finds it, looked up once.
    QHash<QUuid, const Board *> notes;
    if (!text.isEmpty()) {
        notes.reserve(boards.size());
        for (auto board = boards.crbegin(); board != boards.crend(); ++board)
            notes.insert((*board)->id(), *board);
    }
    const CaseInsensitiveNeedle needle(text);
    QList<CanvasCard *> kept;
    for (CanvasCard *card : cards) {
        if (!card->isSnip() || !card->isLive())
            continue;
        if (!text.isEmpty()
            && !snipHolds(
                needle, [&] { return CanvasCard::displayTitleContains(card->titleSources(), needle); },
                card->contextText(),
                card->ocrText(), card->sourceApplicationName().value_or(QString()),
                titleOfNote(notes.value(card->boardID()))))
            continue;
        kept.append(card);
    }
    return kept;
}

QList<CanvasCard *> SnipsLibraryModel::filteredCards(const QList<CanvasCard *> &cards, const QList<Board *> &boards,
                                                     const QString &query)
{
    QList<CanvasCard *> kept = matchingCards(cards, boards, trimmedWhitespace(query));
    // The grid order of `gridOrder`, with each card's date read once and
    // no date made for it: over a large library that was most of the work.
    struct Keyed
    {
        qint64 date;
        CanvasCard *card;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(kept.size());
    for (CanvasCard *card : kept) {
        const std::optional<qint64> captured = card->capturedAtMSecs();
        keyed.push_back({captured ? *captured : card->createdAt().toMSecsSinceEpoch(), card});
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed &a, const Keyed &b) {
        if (a.date != b.date)
            return a.date > b.date;
        return uuidTextLess(a.card->id(), b.card->id());
    });
    for (qsizetype i = 0; i < kept.size(); ++i)
        kept[i] = keyed[size_t(i)].card;
    return kept;
}

bool SnipsLibraryModel::gridOrder(const CanvasCard *a, const CanvasCard *b)
{
    const QDateTime dateA = libraryDate(a);
    const QDateTime dateB = libraryDate(b);
    if (dateA != dateB)
        return dateA > dateB;
    return uuidTextLess(a->id(), b->id());
}

QString SnipsLibraryModel::noteTitle(const CanvasCard *card, const QList<Board *> &boards)
{
    const auto found = std::find_if(boards.cbegin(), boards.cend(),
                                    [card](const Board *board) { return board->id() == card->boardID(); });
    return titleOfNote(found == boards.cend() ? nullptr : *found);
}

QString SnipsLibraryModel::tileTitle(const CanvasCard *card)
{
    const QString caption = card->contextText();
    return caption.isEmpty() ? card->displayTitle() : caption;
}

QList<Board *> SnipsLibraryModel::noteTargets(const CanvasCard *card, const QList<Board *> &boards)
{
    QList<Board *> targets;
    for (Board *board : boards) {
        if (board->isLive() && !board->isInbox() && board->id() != card->boardID())
            targets.append(board);
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(targets.begin(), targets.end(), [&](const Board *a, const Board *b) {
        const int order = naturalCompare(a->title(), b->title(), collator);
        if (order != 0)
            return order < 0;
        return uuidTextLess(a->id(), b->id());
    });
    return targets;
}

QString SnipsLibraryModel::noteMenuTitle(const CanvasCard *card, const QList<Board *> &boards)
{
    for (const Board *board : boards) {
        if (board->id() == card->boardID())
            return board->isInbox() ? tr("Move to Note") : tr("Add to Note");
    }
    return tr("Add to Note");
}

SnipsLibraryModel::Content SnipsLibraryModel::contentFor(bool hasCards, const QString &query)
{
    if (hasCards)
        return Content::grid;
    return query.isEmpty() ? Content::noSnips : Content::noMatches;
}

void SnipsLibraryModel::openPreview(const CanvasCard *card)
{
    // The grid shows the filtered list already, unless hits of the filter
    // text are still being looked for.
    const QList<CanvasCard *> shown = isFilterPending()
        ? filteredCards(m_library.cards(), m_library.boards(), m_query)
        : m_cards;
    QList<QUuid> ids;
    ids.reserve(shown.size());
    for (const CanvasCard *each : shown)
        ids.append(each->id());
    m_navigation.openGallery(card->id(), ids);
}

void SnipsLibraryModel::showInNote(const CanvasCard *card)
{
    m_navigation.setDestination(SidebarDestination::listing(m_library.firstBoard(card->boardID())));
    m_navigation.setActiveBoardID(card->boardID());
}

void SnipsLibraryModel::setNavigationCardID(const CanvasCard *card, NavigationTarget target)
{
    switch (target) {
    case NavigationTarget::captureReview:
        m_navigation.setCaptureReviewCardID(card->id());
        break;
    case NavigationTarget::frameComposer:
        m_navigation.setFrameComposerCardID(card->id());
        break;
    }
}

void SnipsLibraryModel::moveToTrash(CanvasCard *card)
{
    // A card left marked deleted but never written would vanish from the grid
    // and come back at the next launch; only this mark is taken back, other
    // edits waiting for their save stay.
    ModelChangeScope scope(m_library.context());
    card->moveToTrash(now());
    if (auto saved = scope.saveOrUndo(); !saved)
        setErrorMessage(saved.error().message);
}

void SnipsLibraryModel::addSnip(const CanvasCard *card, const Board *note)
{
    ThinkingSessionService service(m_library.context());
    const auto outcome = service.addSnipToNote(card->id(), note->id(), std::nullopt, now());
    if (!outcome)
        setErrorMessage(outcome.error().message);
}

QList<Board *> SnipsLibraryModel::noteTargets(const CanvasCard *card) const
{
    return noteTargets(card, m_library.boards());
}

QString SnipsLibraryModel::noteMenuTitle(const CanvasCard *card) const
{
    return noteMenuTitle(card, m_library.boards());
}

void SnipsLibraryModel::copyImage(const CanvasCard *card, Pasteboard &pasteboard, std::function<void(bool copied)> done)
{
    copySnipPicture(this, *card, pasteboard, std::move(done));
}

} // namespace tessaline
