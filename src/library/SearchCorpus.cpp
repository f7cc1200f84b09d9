#include "library/SearchCorpus.h"

#include "model/Board.h"
#include "model/CanvasCard.h"
#include "platform/FutureDelivery.h"
#include "platform/UuidText.h"
#include "runtime/LibraryQuery.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <bit>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace tessaline {

namespace {

// The walk over the library's lists gives the event loop a turn this often,
// so that neither a large library's first walk nor any later one holds up
// a frame.
constexpr qint64 walkSliceMs = 6;
// Folded texts a worker takes at once: a large library's first fold is
// shared among the pool's threads.
constexpr size_t foldBatchSize = 2048;
// This many texts or fewer, written since the worker last folded, a search
// folds itself, so that an edit shows in the hits at once; more are left to
// the worker and found once it is done.
constexpr qsizetype foldsOnTheSpot = 256;

// Whether `units` hold `needle`. A keystroke scans megabytes for a needle
// of a few letters, too short for skipping ahead to pay: the candidates are
// the places where the needle's first and last units both stand, tested a
// register's width at a time, and only those are compared whole.
template<typename Unit>
bool holdsUnits(const Unit *units, qsizetype size, const Unit *needle, qsizetype length)
{
    if (length == 0 || size < length)
        return false;
    const Unit first = needle[0];
    const Unit last = needle[length - 1];
    const auto middleMatches = [&](const Unit *at) {
        return length < 3 || std::memcmp(at + 1, needle + 1, size_t(length - 2) * sizeof(Unit)) == 0;
    };
    // Places where the needle may start.
    const qsizetype places = size - length + 1;
    qsizetype at = 0;
#ifdef __SSE2__
    constexpr qsizetype lanes = 16 / sizeof(Unit);
    const auto sameUnits = [](__m128i a, __m128i b) {
        if constexpr (sizeof(Unit) == 1)
            return _mm_cmpeq_epi8(a, b);
        else
            return _mm_cmpeq_epi16(a, b);
    };
    const auto everyLane = [](Unit unit) {
        if constexpr (sizeof(Unit) == 1)
            return _mm_set1_epi8(char(unit));
        else
            return _mm_set1_epi16(short(unit));
    };
    const __m128i firsts = everyLane(first);
    const __m128i lasts = everyLane(last);
    // One mask bit for each byte of a lane.
    constexpr unsigned laneBits = sizeof(Unit) == 1 ? 1u : 3u;
    for (; at + lanes <= places; at += lanes) {
        const __m128i starts = _mm_loadu_si128(reinterpret_cast<const __m128i *>(units + at));
        const __m128i ends = _mm_loadu_si128(reinterpret_cast<const __m128i *>(units + at + length - 1));
        unsigned candidates = unsigned(_mm_movemask_epi8(_mm_and_si128(sameUnits(starts, firsts), sameUnits(ends, lasts))));
        while (candidates != 0) {
            const int bit = std::countr_zero(candidates);
            if (middleMatches(units + at + bit / int(sizeof(Unit))))
                return true;
            candidates &= ~(laneBits << bit);
        }
    }
#endif
    for (; at < places; ++at) {
        if (units[at] == first && units[at + length - 1] == last && middleMatches(units + at))
            return true;
    }
    return false;
}

bool fitsOneByte(QStringView text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x100; });
}

// One folded needle, looked for in many scan texts.
class NeedleFinder
{
public:
    explicit NeedleFinder(const QString &needle)
        : m_wide(needle)
        , m_fitsOneByte(fitsOneByte(needle))
        , m_narrow(m_fitsOneByte ? needle.toLatin1() : QByteArray())
    {
    }

    bool isIn(const SearchCorpus::ScanText &text) const
    {
        if (text.isNarrow()) {
            // A unit that needs two bytes stands nowhere in such a text.
            return m_fitsOneByte && holdsUnits(text.narrow().constData(), text.narrow().size(), m_narrow.constData(), m_narrow.size());
        }
        return holdsUnits(reinterpret_cast<const char16_t *>(text.wide().utf16()), text.wide().size(),
                          reinterpret_cast<const char16_t *>(m_wide.utf16()), m_wide.size());
    }

private:
    const QString &m_wide;
    bool m_fitsOneByte;
    QByteArray m_narrow;
};

// Newest first; equal dates fall back to the id text so the order never
// depends on the store's.
template<typename Entity>
bool comesBefore(const Entity &a, const Entity &b)
{
    if (a.updatedAt() == b.updatedAt())
        return uuidTextLess(a.id(), b.id());
    return a.updatedAt() > b.updatedAt();
}

} // namespace

SearchCorpus::ScanText::ScanText(const QString &folded)
{
    if (fitsOneByte(folded))
        m_narrow = folded.toLatin1();
    else
        m_wide = folded;
}

SearchCorpus::SearchCorpus(QObject *parent) : QObject(parent) {}

SearchCorpus::SearchCorpus(SingleSearch) : m_watches(false) {}

SearchCorpus::SearchCorpus(LibraryQuery &library, QObject *parent)
    : QObject(parent)
    , m_library(&library)
{
    connect(&library, &LibraryQuery::changed, this, [this] {
        m_walks = true;
        m_walked = 0;
        schedulePreparation();
    });
    m_walks = true;
    schedulePreparation();
}

SearchCorpus::~SearchCorpus() = default;

SearchCorpus &SearchCorpus::of(LibraryQuery &library)
{
    auto *corpus = library.findChild<SearchCorpus *>(QString(), Qt::FindDirectChildrenOnly);
    if (!corpus)
        corpus = new SearchCorpus(library, &library);
    return *corpus;
}

qsizetype SearchCorpus::keptCount() const
{
    return std::count_if(m_kept.cbegin(), m_kept.cend(), [](const Kept &kept) { return kept.folded; });
}

bool SearchCorpus::isPrepared() const
{
    return !m_library || (!m_preparationScheduled && !m_walks && m_written.isEmpty() && m_batchesFolding == 0);
}

SearchCorpus::Kept &SearchCorpus::keep(PersistentEntity &entity)
{
    auto found = m_kept.find(&entity);
    if (found == m_kept.end()) {
        found = m_kept.insert(&entity, Kept());
        // Every entity of the lists is watched, folded or not: a trashed
        // card put back, or a card moved to another note, changes the hits
        // as much as a changed text.
        if (m_watches) {
            connect(&entity, &PersistentEntity::changed, this, &SearchCorpus::entityChanged);
            connect(&entity, &QObject::destroyed, this, &SearchCorpus::entityEnded);
        }
    }
    found->mark = m_mark;
    return *found;
}

void SearchCorpus::entityChanged()
{
    forget(sender(), false);
}

void SearchCorpus::entityEnded(QObject *entity)
{
    forget(entity, true);
}

void SearchCorpus::forget(const QObject *entity, bool ended)
{
    m_grouped = false;
    if (ended) {
        m_kept.remove(entity);
        m_written.removeAll(entity);
        return;
    }
    auto found = m_kept.find(entity);
    if (found == m_kept.end())
        return;
    found->text = ScanText();
    found->title = ScanText();
    found->folded = false;
    ++found->generation;
    if (m_library) {
        m_written.append(entity);
        schedulePreparation();
    }
}

SearchCorpus::Unfolded SearchCorpus::unfolded(const QObject *key, quint32 generation, const Board *board,
                                              const CanvasCard *card)
{
    Unfolded entity{key, generation, board != nullptr, {}, {}};
    if (board) {
        entity.parts = {board->title(), board->focusQuestion().value_or(QString()),
                        board->folderName().value_or(QString())};
        entity.writingStorage = board->writingDocumentStorage();
    } else if (card) {
        entity.parts = cardSearchParts(*card);
    }
    return entity;
}

SearchCorpus::Folded SearchCorpus::foldedOf(const Unfolded &entity)
{
    if (!entity.isNote)
        return {entity.entity, entity.generation, ScanText(foldedSearchText(entity.parts.join(QLatin1Char('\n')))), {}};
    const QString text = entity.parts.join(QLatin1Char('\n')) + QLatin1Char('\n') + writingText(entity.writingStorage);
    return {entity.entity, entity.generation, ScanText(foldedSearchText(text)),
            ScanText(foldedSearchText(entity.parts.value(0)))};
}

void SearchCorpus::fold(Kept &kept, const Board *board, const CanvasCard *card)
{
    const Folded folded = foldedOf(unfolded(nullptr, kept.generation, board, card));
    kept.text = folded.text;
    kept.title = folded.title;
    kept.folded = true;
}

void SearchCorpus::schedulePreparation()
{
    if (m_preparationScheduled || !m_library)
        return;
    m_preparationScheduled = true;
    QTimer::singleShot(0, this, &SearchCorpus::prepare);
}

void SearchCorpus::prepare()
{
    m_preparationScheduled = false;
    QElapsedTimer clock;
    clock.start();
    const auto gather = [this](PersistentEntity *entity) {
        if (!entity)
            return;
        Kept &kept = keep(*entity);
        if (kept.folded || kept.folding)
            return;
        kept.folding = true;
        m_gathered.push_back(unfolded(entity, kept.generation, qobject_cast<const Board *>(entity),
                                      qobject_cast<const CanvasCard *>(entity)));
        if (m_gathered.size() >= foldBatchSize)
            sendGathered();
    };
    // Written entities a walk would meet anyway.
    if (m_walks)
        m_written.clear();
    while (!m_written.isEmpty()) {
        const QObject *written = m_written.takeLast();
        if (m_kept.contains(written))
            gather(static_cast<PersistentEntity *>(const_cast<QObject *>(written)));
    }
    if (m_walks) {
        const QList<Board *> &boards = m_library->boards();
        const QList<CanvasCard *> &cards = m_library->cards();
        const qsizetype total = boards.size() + cards.size();
        while (m_walked < total) {
            const qsizetype at = m_walked++;
            gather(at < boards.size() ? static_cast<PersistentEntity *>(boards.at(at))
                                      : static_cast<PersistentEntity *>(cards.at(at - boards.size())));
            if ((m_walked & 255) == 0 && clock.elapsed() >= walkSliceMs) {
                sendGathered();
                schedulePreparation();
                return;
            }
        }
        m_walks = false;
        m_walked = 0;
    }
    sendGathered();
}

void SearchCorpus::sendGathered()
{
    if (m_gathered.empty())
        return;
    ++m_batchesFolding;
    runInBackground(this, [batch = std::move(m_gathered)] {
        std::vector<Folded> folded;
        folded.reserve(batch.size());
        for (const Unfolded &entity : batch)
            folded.push_back(foldedOf(entity));
        return folded;
    }).then(this, [this](const std::vector<Folded> &folded) {
        --m_batchesFolding;
        takeFolded(folded);
    });
    m_gathered.clear();
}

void SearchCorpus::takeFolded(const std::vector<Folded> &folded)
{
    for (const Folded &entity : folded) {
        auto found = m_kept.find(entity.entity);
        if (found == m_kept.end())
            continue;
        found->folding = false;
        // Written since: the newer state is on its way or folded already.
        if (found->generation != entity.generation) {
            if (!found->folded && m_library) {
                m_written.append(entity.entity);
                schedulePreparation();
            }
            continue;
        }
        if (found->folded)
            continue;
        found->text = entity.text;
        found->title = entity.title;
        found->folded = true;
        m_grouped = false;
    }
    if (isPrepared())
        Q_EMIT prepared();
}

bool SearchCorpus::holdsLists(const QList<Board *> &boards, const QList<CanvasCard *> &cards) const
{
    return m_grouped && std::equal(boards.cbegin(), boards.cend(), m_boards.cbegin(), m_boards.cend())
        && std::equal(cards.cbegin(), cards.cend(), m_cards.cbegin(), m_cards.cend());
}

void SearchCorpus::group(const QList<Board *> &boards, const QList<CanvasCard *> &cards)
{
    ++m_mark;
    m_boards = boards;
    m_cards = cards;
    m_boardsByID.clear();
    m_cardsByBoardID.clear();
    m_searchable.clear();
    m_noteOrder.clear();
    m_snipOrder.clear();
    m_lastNeedle.clear();
    m_lastNotes.clear();
    m_lastSnips.clear();

    for (Board *board : boards) {
        if (!board)
            continue;
        keep(*board);
        if (!board->isLive())
            continue;
        auto stored = m_boardsByID.find(board->id());
        if (stored == m_boardsByID.end())
            m_boardsByID.insert(board->id(), board);
        else if ((*stored)->updatedAt() < board->updatedAt())
            *stored = board;
    }
    m_noteOrder.reserve(m_boardsByID.size());
    for (Board *board : std::as_const(m_boardsByID))
        m_noteOrder.push_back({board, {}, {}, {}});
    // Ids are distinct here, so the order is total and needs no stability.
    std::sort(m_noteOrder.begin(), m_noteOrder.end(),
              [](const NoteEntry &a, const NoteEntry &b) { return comesBefore(*a.note, *b.note); });
    QHash<QUuid, int> noteIndex;
    noteIndex.reserve(qsizetype(m_noteOrder.size()));
    for (int i = 0; i < int(m_noteOrder.size()); ++i)
        noteIndex.insert(m_noteOrder[size_t(i)].note->id(), i);

    for (CanvasCard *card : cards) {
        if (!card)
            continue;
        keep(*card);
        if (!isSearchableCard(*card))
            continue;
        m_cardsByBoardID[card->boardID()].append(card);
        const auto note = noteIndex.constFind(card->boardID());
        if (note == noteIndex.cend())
            continue;
        const int searchable = int(m_searchable.size());
        m_searchable.push_back({card, {}});
        m_noteOrder[size_t(*note)].cards.push_back(searchable);
        if (card->kind() == CardKind::snip)
            m_snipOrder.push_back({card, searchable, *note});
    }

    // The texts, folded here when few are missing (or when nothing folds
    // ahead); else those missing are left empty, found by no needle, until
    // the worker's fold is in.
    qsizetype missing = 0;
    const auto isFolded = [this](const QObject *entity) {
        const auto kept = m_kept.constFind(entity);
        return kept != m_kept.cend() && kept->folded;
    };
    for (const NoteEntry &entry : m_noteOrder)
        missing += isFolded(entry.note) ? 0 : 1;
    for (const CardEntry &entry : m_searchable)
        missing += isFolded(entry.card) ? 0 : 1;
    const bool foldsHere = !m_library || missing <= foldsOnTheSpot;
    const auto textOf = [&](PersistentEntity *entity, const Board *board, const CanvasCard *card) -> const Kept * {
        Kept &kept = m_kept[entity];
        if (!kept.folded && foldsHere)
            fold(kept, board, card);
        return kept.folded ? &kept : nullptr;
    };
    for (NoteEntry &entry : m_noteOrder) {
        if (const Kept *kept = textOf(entry.note, entry.note, nullptr)) {
            entry.text = kept->text;
            entry.title = kept->title;
        }
    }
    for (CardEntry &entry : m_searchable) {
        if (const Kept *kept = textOf(entry.card, nullptr, entry.card))
            entry.text = kept->text;
    }
    // Cards may share an id; those keep the order of the list.
    std::stable_sort(m_snipOrder.begin(), m_snipOrder.end(),
                     [](const SnipEntry &a, const SnipEntry &b) { return comesBefore(*a.card, *b.card); });

    for (auto kept = m_kept.begin(); kept != m_kept.end();) {
        if (kept->mark == m_mark) {
            ++kept;
            continue;
        }
        disconnect(kept.key(), nullptr, this, nullptr);
        kept = m_kept.erase(kept);
    }
    m_grouped = true;
}

SearchCorpus::Found SearchCorpus::find(const QString &query, SearchScope scope)
{
    if (!m_library)
        return {};
    return find(m_library->boards(), m_library->cards(), query, scope);
}

SearchCorpus::Found SearchCorpus::find(const QList<Board *> &boards, const QList<CanvasCard *> &cards,
                                       const QString &query, SearchScope scope)
{
    const QString needle = foldedSearchText(query);
    // Nothing to look for: the lists need not even be grouped.
    if (needle.isEmpty()) {
        m_lastNeedle.clear();
        return {};
    }
    if (!holdsLists(boards, cards))
        group(boards, cards);
    Found found{m_boardsByID, m_cardsByBoardID, {}, {}};
    const bool narrows = !m_lastNeedle.isEmpty() && scope == m_lastScope && needle.contains(m_lastNeedle);

    // A line break never occurs inside a part, so a needle without one is in
    // the joined text exactly when it is in one of the parts, and each part's
    // folded text can be kept on its own. A needle with a line break is
    // matched against the joined texts.
    const bool spansParts = needle.contains(QLatin1Char('\n'));
    const NeedleFinder finder(needle);
    std::vector<signed char> cardHits(m_searchable.size(), -1);
    const auto cardHolds = [&](int searchable) {
        signed char &hit = cardHits[size_t(searchable)];
        if (hit < 0)
            hit = finder.isIn(m_searchable[size_t(searchable)].text) ? 1 : 0;
        return hit == 1;
    };
    // Each list is looked at in result order, so its hits need no sorting.
    const auto keepHits = [narrows](std::vector<int> &last, size_t count, const auto &isHit) {
        std::vector<int> hits;
        if (narrows) {
            for (int index : last) {
                if (isHit(index))
                    hits.push_back(index);
            }
        } else {
            for (int index = 0; index < int(count); ++index) {
                if (isHit(index))
                    hits.push_back(index);
            }
        }
        last = std::move(hits);
    };

    if (scope != SearchScope::snips) {
        keepHits(m_lastNotes, m_noteOrder.size(), [&](int index) {
            const NoteEntry &entry = m_noteOrder[size_t(index)];
            if (spansParts)
                return noteMatchesQuery(*entry.note, m_cardsByBoardID.value(entry.note->id()), query);
            return finder.isIn(entry.text) || std::any_of(entry.cards.cbegin(), entry.cards.cend(), cardHolds);
        });
        found.notes.reserve(qsizetype(m_lastNotes.size()));
        for (int index : m_lastNotes)
            found.notes.append(m_noteOrder[size_t(index)].note);
    } else {
        m_lastNotes.clear();
    }
    if (scope != SearchScope::notes) {
        keepHits(m_lastSnips, m_snipOrder.size(), [&](int index) {
            const SnipEntry &entry = m_snipOrder[size_t(index)];
            const NoteEntry &note = m_noteOrder[size_t(entry.note)];
            if (spansParts)
                return snipMatchesQuery(*entry.card, *note.note, query);
            return cardHolds(entry.searchable) || finder.isIn(note.title);
        });
        found.snips.reserve(qsizetype(m_lastSnips.size()));
        for (int index : m_lastSnips)
            found.snips.append(m_snipOrder[size_t(index)].card);
    } else {
        m_lastSnips.clear();
    }
    m_lastNeedle = needle;
    m_lastScope = scope;
    return found;
}

} // namespace tessaline
