#include "library/SearchCorpus.h"

#include "library/PartsOnPool.h"

#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/CardCatalog.h"
#include "model/FetchedList.h"
#include "model/ModelContext.h"
#include "platform/FutureDelivery.h"
#include "platform/MappedScratchFile.h"
#include "platform/UuidText.h"
#include "runtime/LibraryQuery.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSet>
#include <QStringEncoder>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace tessaline {

namespace {

// Orders as QDateTime does, an invalid date before every valid one.
qint64 dateOrder(const QDateTime &date)
{
    return date.isValid() ? date.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
}

// The walk over the library's lists gives the event loop a turn this often,
// so that neither a large library's first walk nor any later one holds up
// a frame.
constexpr qint64 walkSliceMs = 4;
// Folded texts a worker takes at once: a large library's first fold is
// shared among the pool's threads.
constexpr size_t foldBatchSize = 2048;
// This many texts or fewer, written since the worker last folded, a search
// folds itself, so that an edit shows in the hits at once; more are left to
// the worker and found once it is done.
constexpr qsizetype foldsOnTheSpot = 256;

// Folded text of fewer bytes than this stays on the heap: each block in the
// scratch file is a mapping of its own.
constexpr qsizetype smallestFileBlock = 64 * 1024;
// How long the pages of the scratch file a search read stay in the process
// after the last search: a user types on for a while, then leaves Search
// for a long time.
constexpr int filePagesKeptMs = 20 * 1000;
// How long a large library's lists stay as they are before they are grouped
// again, unless a search asks first.
constexpr int settlingMs = 400;

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

bool holdsText(QStringView haystack, QStringView needle)
{
    return holdsUnits(reinterpret_cast<const char16_t *>(haystack.utf16()), haystack.size(),
                      reinterpret_cast<const char16_t *>(needle.utf16()), needle.size());
}

// One folded needle, looked for in many scan texts.
class NeedleFinder
{
public:
    explicit NeedleFinder(const QString &needle)
        : m_wide(needle)
        , m_wholeCharacters(QStringView(needle).isValidUtf16())
        , m_narrow(m_wholeCharacters ? needle.toUtf8() : QByteArray())
    {
    }

    bool isIn(const SearchCorpus::ScanText &text) const
    {
        if (!text.isNarrow())
            return holdsText(text.wide(), m_wide);
        if (m_wholeCharacters)
            return holdsUnits(text.narrow().constData(), text.narrow().size(), m_narrow.constData(), m_narrow.size());
        // Half of a surrogate pair may stand at the needle's end; only the
        // text's own units can tell.
        return holdsText(QString::fromUtf8(text.narrow()), m_wide);
    }

private:
    const QString &m_wide;
    bool m_wholeCharacters;
    QByteArray m_narrow;
};

} // namespace

class SearchCorpus::TextBlock
{
public:
    explicit TextBlock(QByteArray bytes)
        : m_heap(std::move(bytes))
        , m_data(m_heap.constData())
    {
    }
    explicit TextBlock(std::unique_ptr<MappedScratchFile::Range> range)
        : m_range(std::move(range))
        , m_data(m_range->data())
    {
    }
    const char *data() const { return m_data; }
    bool isInFile() const { return m_range != nullptr; }
    void dropPages() const
    {
        if (m_range)
            m_range->dropPages();
    }
    qint64 bytes() const { return m_range ? m_range->size() : m_heap.capacity() + qint64(sizeof(QArrayData)); }

private:
    QByteArray m_heap;
    std::unique_ptr<MappedScratchFile::Range> m_range;
    const char *m_data;
};

SearchCorpus::ScanText::ScanText(const QString &folded)
{
    QByteArray bytes;
    if (QStringView(folded).isValidUtf16()) {
        // Made for three bytes a unit, which it is kept for long after.
        bytes = folded.toUtf8();
        bytes.squeeze();
    } else {
        bytes = QByteArray(reinterpret_cast<const char *>(folded.utf16()), folded.size() * qsizetype(sizeof(char16_t)));
        m_wide = true;
    }
    m_size = quint32(bytes.size());
    if (!bytes.isEmpty())
        m_block = std::make_shared<const TextBlock>(std::move(bytes));
}

const char *SearchCorpus::ScanText::bytes() const
{
    return m_block ? m_block->data() + m_offset : "";
}

SearchCorpus::SearchCorpus(QObject *parent) : QObject(parent) {}

SearchCorpus::SearchCorpus(SingleSearch) : m_watches(false) {}

SearchCorpus::SearchCorpus(LibraryQuery &library, QObject *parent)
    : QObject(parent)
    , m_library(&library)
    , m_filePath(library.context().filePath())
{
    m_pagesInUse.setSingleShot(true);
    m_pagesInUse.setInterval(filePagesKeptMs);
    connect(&m_pagesInUse, &QTimer::timeout, this, &SearchCorpus::dropFilePages);
    m_settling.setSingleShot(true);
    m_settling.setInterval(settlingMs);
    connect(&m_settling, &QTimer::timeout, this, &SearchCorpus::schedulePreparation);
    connect(&library.context(), &ModelContext::entityWritten, this, [this](PersistentEntity *entity, int property) {
        if (!affectsSearch(entity, property))
            return;
        m_unsaved.insert(entity);
        if (m_kept.contains(entity))
            forget(entity, false);
    });
    connect(&library.context(), &ModelContext::didSave, this, [this] { m_unsaved.clear(); });
    connect(&library.context(), &ModelContext::writesTakenBack, this, [this] {
        // The entities written since the last save may have any of their
        // earlier values again: they are read and folded again.
        for (const QObject *entity : std::as_const(m_unsaved)) {
            if (m_kept.contains(entity))
                forget(entity, false);
        }
        m_unsaved.clear();
    });
    connect(&library, &LibraryQuery::changed, this, [this] {
        // Lists read again as they were leave the grouping as it is: what
        // was written since was dropped as it was written.
        if (sameFetched(m_library->boards(), m_walkBoards) && sameFetched(m_library->cards(), m_walkCards))
            return;
        changedSinceGrouping();
        walkChangedLists();
        schedulePreparation();
    });
    startWholeWalk();
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

namespace {

// A hash's entries and its table of where they stand: a byte a slot, and a
// span's header for every 128 slots.
template<typename Key, typename Value>
qint64 hashBytes(const QHash<Key, Value> &hash)
{
    return hash.size() * qint64(sizeof(Key) + sizeof(Value)) + hash.capacity() * qint64(1 + 24 / 128.0);
}

} // namespace

SearchCorpus::HeldBytes SearchCorpus::heldBytes() const
{
    HeldBytes held;
    QSet<const TextBlock *> blocks;
    const auto countText = [&](const ScanText &text) {
        if (!text.m_block || blocks.contains(text.m_block.get()))
            return;
        blocks.insert(text.m_block.get());
        (text.m_block->isInFile() ? held.textsInFile : held.texts) += text.m_block->bytes();
        held.bookkeeping += qint64(sizeof(TextBlock)) + 32;
    };
    for (const Kept &kept : m_kept)
        countText(kept.text);
    for (const ScanText &title : m_titles)
        countText(title);
    held.bookkeeping += hashBytes(m_kept) + hashBytes(m_titles);
    if (m_grouping) {
        const Grouping &grouping = *m_grouping;
        for (const CardEntry &entry : grouping.searchable)
            countText(entry.text);
        held.bookkeeping += hashBytes(grouping.boardsByID) + hashBytes(grouping.cardsByBoardID);
        for (const QList<CanvasCard *> &cards : grouping.cardsByBoardID)
            held.bookkeeping += cards.capacity() * qint64(sizeof(CanvasCard *));
        held.bookkeeping += qint64(grouping.searchable.capacity() * sizeof(CardEntry));
        held.bookkeeping += qint64(grouping.noteOrder.capacity() * sizeof(NoteEntry));
        for (const NoteEntry &entry : grouping.noteOrder) {
            countText(entry.text);
            countText(entry.title);
            held.bookkeeping += qint64(entry.cards.capacity() * sizeof(int));
        }
        held.bookkeeping += qint64(grouping.snipOrder.capacity() * sizeof(SnipEntry));
    }
    held.bookkeeping += qint64((m_lastNotes.capacity() + m_lastSnips.capacity()) * sizeof(int));
    // The rows kept for the next grouping share their texts with the kept
    // entities.
    if (m_rows)
        held.bookkeeping += qint64(m_rows->notes.size() * sizeof(NoteRow) + m_rows->cards.size() * sizeof(CardRow));
    return held;
}

bool SearchCorpus::isPrepared() const
{
    return !m_library
        || (!m_preparationScheduled && !m_walks && m_written.isEmpty() && m_batchesFolding == 0 && !m_regrouping
            && (m_grouped || !isLarge()));
}

SearchCorpus::Kept &SearchCorpus::keep(PersistentEntity &entity)
{
    auto found = m_kept.find(&entity);
    // One ended, and another made where it stood.
    if (found != m_kept.end() && m_library && !found->entity) {
        m_written.removeAll(&entity);
        m_titles.remove(&entity);
        m_kept.erase(found);
        found = m_kept.end();
    }
    if (found == m_kept.end()) {
        found = m_kept.insert(&entity, Kept());
        // Every entity of the lists is watched, folded or not: a trashed
        // card put back, or a card moved to another note, changes the hits
        // as much as a changed text. The followed library's writes come
        // from its context, which saves a connection for each of its
        // many entities.
        if (m_library) {
            found->entity = &entity;
        } else if (m_watches) {
            connect(&entity, &PersistentEntity::changed, this, &SearchCorpus::entityChanged);
            connect(&entity, &QObject::destroyed, this, &SearchCorpus::entityEnded);
        }
    }
    found->mark = m_mark;
    return *found;
}

bool SearchCorpus::affectsSearch(const QObject *entity, int property)
{
    if (qobject_cast<const Board *>(entity)) {
        switch (Board::Property(property)) {
        case Board::IdProperty:
        case Board::TitleProperty:
        case Board::FocusQuestionProperty:
        case Board::UpdatedAtProperty:
        case Board::DeletedAtProperty:
        case Board::WritingDocumentStorageProperty:
        case Board::FolderNameProperty:
            return true;
        default:
            return false;
        }
    }
    switch (CanvasCard::Property(property)) {
    case CanvasCard::IdProperty:
    case CanvasCard::BoardIDProperty:
    case CanvasCard::KindRawValueProperty:
    case CanvasCard::ThoughtKindRawValueProperty:
    case CanvasCard::TitleProperty:
    case CanvasCard::MarkdownTextProperty:
    case CanvasCard::ContextTextProperty:
    case CanvasCard::OcrTextProperty:
    case CanvasCard::SourceApplicationNameProperty:
    case CanvasCard::SourceWindowTitleProperty:
    case CanvasCard::UpdatedAtProperty:
    case CanvasCard::DeletedAtProperty:
        return true;
    default:
        return false;
    }
}

void SearchCorpus::entityChanged(int property)
{
    // A card dragged about on its map writes its place many times a second;
    // only what a search reads or orders by makes it look again.
    if (affectsSearch(sender(), property))
        forget(sender(), false);
}

void SearchCorpus::entityEnded(QObject *entity)
{
    forget(entity, true);
}

void SearchCorpus::changedSinceGrouping()
{
    m_grouped = false;
    ++m_changes;
    if (m_library)
        m_settling.start();
}

void SearchCorpus::forget(const QObject *entity, bool ended)
{
    changedSinceGrouping();
    if (ended) {
        m_kept.remove(entity);
        m_titles.remove(entity);
        m_written.removeAll(entity);
        return;
    }
    auto found = m_kept.find(entity);
    if (found == m_kept.end())
        return;
    found->text = ScanText();
    m_titles.remove(entity);
    found->folded = false;
    ++found->generation;
    if (m_library) {
        m_written.append(entity);
        if (m_rows)
            m_rowsWritten.insert(entity);
        schedulePreparation();
    }
}

SearchCorpus::Unfolded SearchCorpus::unfolded(const QObject *key, quint32 generation, const Board *board,
                                              const CanvasCard *card, bool textsFromFile)
{
    Unfolded entity{key, generation, board != nullptr, {}, {}, {}, 0};
    if (board) {
        entity.parts = {board->title(), board->focusQuestion().value_or(QString()),
                        board->folderName().value_or(QString())};
        entity.writingStorage = board->writingDocumentUtf8();
    } else if (card) {
        entity.textsRow = textsFromFile ? card->unreadTextsRow() : 0;
        // Asking the card for its long texts would read them into it.
        const bool readsTexts = entity.textsRow == 0;
        entity.card = {card->title(),
                       readsTexts ? card->markdownText() : QString(),
                       readsTexts ? card->contextText() : QString(),
                       readsTexts ? card->ocrText() : QString(),
                       card->sourceApplicationName(),
                       card->sourceWindowTitle(),
                       card->kind(),
                       card->thoughtKind()};
    }
    return entity;
}

std::pair<QString, QString> SearchCorpus::foldedOf(const Unfolded &entity)
{
    if (!entity.isNote)
        return {foldedSearchText(cardSearchParts(entity.card).join(QLatin1Char('\n'))), QString()};
    const QString text = entity.parts.join(QLatin1Char('\n')) + QLatin1Char('\n') + writingText(entity.writingStorage);
    return {foldedSearchText(text), foldedSearchText(entity.parts.value(0))};
}

namespace {

// A card's folded text begins with its title, most often the start of its
// text: kept for long, the title line goes when the rest holds it. A needle
// without a line break lies within one line, so that finds nothing less.
void dropHeldTitleLine(QString &text)
{
    const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'));
    if (lineEnd >= 0 && QStringView(text).sliced(lineEnd + 1).contains(QStringView(text).first(lineEnd)))
        text.remove(0, lineEnd + 1);
}

} // namespace

std::vector<SearchCorpus::Folded> SearchCorpus::foldedBatch(std::vector<Unfolded> batch, const QString &filePath,
                                                            const std::shared_ptr<MappedScratchFile> &textFile)
{
    std::vector<Folded> folded(batch.size());
    QByteArray block;
    qsizetype used = 0;
    QStringEncoder utf8(QStringEncoder::Utf8);
    const auto pack = [&](const QString &text) {
        if (!QStringView(text).isValidUtf16())
            return ScanText(text);
        ScanText scan;
        const qsizetype most = utf8.requiredSpace(text.size());
        if (block.size() < used + most)
            block.resize(std::max(used + most, 2 * block.size() + 65536));
        char *const start = block.data() + used;
        scan.m_offset = qint32(used);
        scan.m_size = quint32(utf8.appendToBuffer(start, text) - start);
        used += scan.m_size;
        return scan;
    };
    const auto fold = [&](size_t index) {
        Unfolded &entity = batch[index];
        auto [text, title] = foldedOf(entity);
        if (!entity.isNote)
            dropHeldTitleLine(text);
        folded[index] = {entity.entity, entity.generation, pack(text), pack(title)};
        // Only the folded text stays.
        entity = Unfolded{};
    };
    std::vector<qint64> rows;
    std::vector<size_t> fromFile;
    for (size_t index = 0; index < batch.size(); ++index) {
        if (batch[index].textsRow > 0) {
            rows.push_back(batch[index].textsRow);
            fromFile.push_back(index);
        } else {
            fold(index);
        }
    }
    // The texts the model has not read, a few statements for the whole
    // batch rather than one per card; on the worker's thread, as the
    // catalog's connection must be.
    if (!rows.empty()) {
        CardCatalog(filePath).readStoredTexts(rows, [&](size_t read, std::optional<CardCatalog::CardTexts> texts) {
            const size_t index = fromFile[read];
            Unfolded &entity = batch[index];
            if (!texts) {
                folded[index] = {entity.entity, entity.generation, {}, {}, true};
                return true;
            }
            entity.card.markdownText = std::move(texts->markdownText);
            entity.card.contextText = std::move(texts->contextText);
            entity.card.ocrText = std::move(texts->ocrText);
            fold(index);
            return true;
        });
    }
    // A large block goes to the scratch file; a small one (an edit's) is
    // not worth a mapping of its own.
    std::shared_ptr<const TextBlock> kept;
    if (textFile && used >= smallestFileBlock) {
        if (auto range = textFile->keep(QByteArrayView(block.constData(), used)))
            kept = std::make_shared<const TextBlock>(std::move(range));
    }
    if (!kept) {
        block.resize(used);
        block.squeeze();
        kept = std::make_shared<const TextBlock>(std::move(block));
    }
    block = QByteArray();
    for (Folded &entity : folded) {
        for (ScanText *scan : {&entity.text, &entity.title}) {
            if (scan->isNarrow() && scan->m_size > 0)
                scan->m_block = kept;
        }
    }
    return folded;
}

void SearchCorpus::fold(Kept &kept, const Board *board, const CanvasCard *card)
{
    const auto [text, title] = foldedOf(unfolded(nullptr, kept.generation, board, card, false));
    kept.text = ScanText(text);
    if (board && !title.isEmpty())
        m_titles.insert(board, ScanText(title));
    kept.folded = true;
}

void SearchCorpus::schedulePreparation()
{
    if (m_preparationScheduled || !m_library)
        return;
    m_preparationScheduled = true;
    QTimer::singleShot(0, this, &SearchCorpus::prepare);
}

void SearchCorpus::startWholeWalk()
{
    m_walks = true;
    m_wholeWalk = true;
    m_walkBoards = m_library->boards();
    m_walkCards = m_library->cards();
    m_boardsWalked = 0;
    m_cardsWalked = 0;
    m_boardsPutAmong.clear();
    m_boardsToRow.clear();
    m_cardsToRow.clear();
    m_rowsTaken.clear();
    m_rows.reset();
    ++m_mark;
    // Every listed entity is kept: growing the table as the walk goes would
    // move all kept so far, several times, inside slices of the walk.
    m_kept.reserve(m_walkBoards.size() + m_walkCards.size());
    // The texts of a large library are grouped on the worker, from rows read
    // here: a keystroke must not wait for a pass over every entity.
    if (isLarge())
        m_rows = std::make_shared<Rows>(Rows{m_walkBoards, m_walkCards, {}, {}});
}

void SearchCorpus::walkChangedLists()
{
    const QList<Board *> &boards = m_library->boards();
    const QList<CanvasCard *> &cards = m_library->cards();
    // A save that added entities leaves every other one where it was, and
    // every write to one of them was announced: only the new ones are read.
    // One that removed or reordered some is read whole, unless it only
    // removed some.
    if (!m_walks && takeOutTaken(boards, cards))
        return;
    if (!extendsFetched(boards, m_walkBoards) || !extendsFetched(cards, m_walkCards)) {
        if (m_walks || !takeInPutAmong(boards, cards))
            startWholeWalk();
        return;
    }
    m_walkBoards = boards;
    m_walkCards = cards;
    m_walks = m_boardsWalked < boards.size() || m_cardsWalked < cards.size();
}

bool SearchCorpus::takeOutTaken(const QList<Board *> &boards, const QList<CanvasCard *> &cards)
{
    const std::optional<QList<qsizetype>> boardsTaken = takenFromFetched(boards, m_walkBoards);
    const std::optional<QList<qsizetype>> cardsTaken = boardsTaken ? takenFromFetched(cards, m_walkCards) : std::nullopt;
    if (!cardsTaken)
        return false;
    const auto drop = [this](const QObject *entity) {
        const auto kept = m_kept.constFind(entity);
        if (kept != m_kept.cend() && kept->row >= 0 && m_rows)
            m_rowsTaken.append({entity, kept->row});
        forget(entity, true);
    };
    for (qsizetype at : *boardsTaken)
        drop(m_walkBoards.at(at));
    for (qsizetype at : *cardsTaken)
        drop(m_walkCards.at(at));
    m_walkBoards = boards;
    m_walkCards = cards;
    m_boardsWalked = boards.size();
    m_cardsWalked = cards.size();
    return true;
}

bool SearchCorpus::takeInPutAmong(const QList<Board *> &boards, const QList<CanvasCard *> &cards)
{
    if (!extendsFetched(cards, m_walkCards))
        return false;
    // The notes the walked ones lack, wherever their sort index put them.
    const std::optional<QList<qsizetype>> added = takenFromFetched(m_walkBoards, boards);
    if (!added)
        return false;
    for (qsizetype at : *added)
        m_boardsPutAmong.append(boards.at(at));
    m_walkBoards = boards;
    m_boardsWalked = boards.size();
    m_walkCards = cards;
    m_walks = !m_boardsPutAmong.isEmpty() || m_cardsWalked < cards.size();
    return true;
}

void SearchCorpus::bringRowsUpToDate()
{
    // The worker is done with them once the grouping is in; a copy only
    // if it is not.
    if (m_rows.use_count() > 1)
        m_rows = std::make_shared<Rows>(*m_rows);
    Rows &rows = *m_rows;
    // Rows stay where they are, so the others keep theirs: those of
    // entities no longer listed are only left out of the grouping.
    for (const auto &[entity, row] : std::as_const(m_rowsTaken)) {
        if (qobject_cast<const Board *>(entity)) {
            if (size_t(row) < rows.notes.size() && rows.notes[size_t(row)].note == entity)
                rows.notes[size_t(row)] = NoteRow{nullptr, {}, 0, false, {}, {}};
        } else if (size_t(row) < rows.cards.size() && rows.cards[size_t(row)].card == entity) {
            rows.cards[size_t(row)] = CardRow{nullptr, {}, {}, 0, false, false, {}};
        }
    }
    m_rowsTaken.clear();
    for (const QObject *written : std::as_const(m_rowsWritten)) {
        const auto kept = m_kept.constFind(written);
        if (kept == m_kept.cend() || !kept->entity || kept->row < 0)
            continue;
        if (auto *board = qobject_cast<Board *>(const_cast<QObject *>(written))) {
            if (size_t(kept->row) < rows.notes.size() && rows.notes[size_t(kept->row)].note == board)
                rows.notes[size_t(kept->row)] = noteRow(board, *kept);
        } else if (auto *card = qobject_cast<CanvasCard *>(const_cast<QObject *>(written))) {
            if (size_t(kept->row) < rows.cards.size() && rows.cards[size_t(kept->row)].card == card)
                rows.cards[size_t(kept->row)] = cardRow(card, *kept);
        }
    }
    m_rowsWritten.clear();
    for (Board *board : std::as_const(m_boardsToRow)) {
        auto kept = m_kept.find(board);
        if (kept == m_kept.end() || !kept->entity)
            continue;
        kept->row = qint32(rows.notes.size());
        rows.notes.push_back(noteRow(board, *kept));
    }
    for (CanvasCard *card : std::as_const(m_cardsToRow)) {
        auto kept = m_kept.find(card);
        if (kept == m_kept.end() || !kept->entity)
            continue;
        kept->row = qint32(rows.cards.size());
        rows.cards.push_back(cardRow(card, *kept));
    }
    m_boardsToRow.clear();
    m_cardsToRow.clear();
    rows.boardList = m_walkBoards;
    rows.cardList = m_walkCards;
}

void SearchCorpus::prepare()
{
    m_preparationScheduled = false;
    QElapsedTimer clock;
    clock.start();
    const auto gather = [this](PersistentEntity &entity, const Board *board, const CanvasCard *card) -> Kept & {
        Kept &kept = keep(entity);
        if (kept.folded || kept.folding)
            return kept;
        kept.folding = true;
        m_gathered.push_back(unfolded(&entity, kept.generation, board, card,
                                      !m_filePath.isEmpty() && !kept.textsFromModel));
        if (m_gathered.size() >= foldBatchSize)
            sendGathered();
        return kept;
    };
    while (!m_written.isEmpty()) {
        const QObject *written = m_written.takeLast();
        const auto kept = m_kept.constFind(written);
        if (kept == m_kept.cend() || (m_library && !kept->entity))
            continue;
        auto *entity = static_cast<PersistentEntity *>(const_cast<QObject *>(written));
        gather(*entity, qobject_cast<const Board *>(entity), qobject_cast<const CanvasCard *>(entity));
    }
    if (m_walks) {
        // The walk also reads what the worker groups a large library by, so
        // that reading it never holds the loop up either. A walk over
        // everything reads into fresh rows; one over entities added since
        // leaves them to be put among the kept rows, which the worker may
        // be grouping now.
        qsizetype steps = 0;
        const auto sliceOver = [&] {
            if ((++steps & 255) != 0 || clock.elapsed() < walkSliceMs)
                return false;
            sendGathered();
            schedulePreparation();
            return true;
        };
        // Never in a walk over everything, which reads them where they
        // stand; their rows follow the others', the grouping goes by the
        // list where that matters.
        while (!m_boardsPutAmong.isEmpty()) {
            Board *board = m_boardsPutAmong.takeFirst();
            gather(*board, board, nullptr);
            if (m_rows)
                m_boardsToRow.append(board);
            if (sliceOver())
                return;
        }
        while (m_boardsWalked < m_walkBoards.size()) {
            if (Board *board = m_walkBoards.at(m_boardsWalked)) {
                Kept &kept = gather(*board, board, nullptr);
                if (m_rows && m_wholeWalk) {
                    kept.row = qint32(m_rows->notes.size());
                    m_rows->notes.push_back(noteRow(board, kept));
                } else if (m_rows) {
                    m_boardsToRow.append(board);
                }
            }
            ++m_boardsWalked;
            if (sliceOver())
                return;
        }
        while (m_cardsWalked < m_walkCards.size()) {
            if (CanvasCard *card = m_walkCards.at(m_cardsWalked)) {
                Kept &kept = gather(*card, nullptr, card);
                if (m_rows && m_wholeWalk) {
                    kept.row = qint32(m_rows->cards.size());
                    m_rows->cards.push_back(cardRow(card, kept));
                } else if (m_rows) {
                    m_cardsToRow.append(card);
                }
            }
            ++m_cardsWalked;
            if (sliceOver())
                return;
        }
        m_walks = false;
        // Only a walk over everything tells what is no longer listed.
        if (std::exchange(m_wholeWalk, false))
            forgetUnlisted();
    }
    sendGathered();
    // Large lists are grouped on the worker once their texts are all in,
    // from rows brought up to date with every change since they were read;
    // without rows, they are walked again.
    if (m_batchesFolding == 0 && !m_grouped && !m_regrouping && isLarge()) {
        if (m_rows && !m_walks) {
            // Its end prepares again.
            if (m_grouping && m_settling.isActive() && !m_groupingWanted)
                return;
            m_groupingWanted = false;
            bringRowsUpToDate();
            regroupInBackground(m_rows);
        } else if (!m_walks) {
            startWholeWalk();
            schedulePreparation();
        }
    }
    if (isPrepared())
        Q_EMIT prepared();
}

void SearchCorpus::sendGathered()
{
    if (m_gathered.empty())
        return;
    ++m_batchesFolding;
    if (!m_textFileTried && !m_filePath.isEmpty()) {
        m_textFileTried = true;
        m_textFile = MappedScratchFile::create(QFileInfo(m_filePath).absolutePath());
    }
    runInBackground(this, [batch = std::move(m_gathered), filePath = m_filePath, textFile = m_textFile]() mutable {
        return foldedBatch(std::move(batch), filePath, textFile);
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
        if (found == m_kept.end() || (m_library && !found->entity))
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
        if (entity.unread) {
            found->textsFromModel = true;
            m_written.append(entity.entity);
            schedulePreparation();
            continue;
        }
        found->text = entity.text;
        if (entity.title.m_size > 0)
            m_titles.insert(entity.entity, entity.title);
        found->folded = true;
        if (m_rows && found->row >= 0)
            takeRowTexts(entity.entity, *found);
        // A batch's texts share its block, and come in together.
        const std::shared_ptr<const TextBlock> &block = entity.text.m_block;
        if (block && block->isInFile() && (m_fileBlocks.empty() || m_fileBlocks.back().lock() != block))
            m_fileBlocks.push_back(block);
        changedSinceGrouping();
    }
    // The texts are in: what is left is grouping them.
    if (m_batchesFolding == 0)
        schedulePreparation();
}

void SearchCorpus::takeRowTexts(const QObject *entity, const Kept &kept)
{
    // A walk over a large library at its start reads every row before its
    // text is folded: only the text is missing, and reading each entity
    // again to put it in would hold the loop up for one long turn.
    if (m_regrouping) {
        // The worker may be grouping these very rows: the entity is read
        // again before the next grouping.
        m_rowsWritten.insert(entity);
        return;
    }
    Rows &rows = *m_rows;
    const auto row = size_t(kept.row);
    if (row < rows.notes.size() && rows.notes[row].note == entity) {
        rows.notes[row].text = kept.text;
        rows.notes[row].title = m_titles.value(entity);
    } else if (row < rows.cards.size() && rows.cards[row].card == entity) {
        rows.cards[row].text = kept.text;
    }
}

void SearchCorpus::searchedFileBlocks()
{
    if (!m_fileBlocks.empty())
        m_pagesInUse.start();
}

void SearchCorpus::dropFilePages()
{
    std::erase_if(m_fileBlocks, [](const std::weak_ptr<const TextBlock> &kept) {
        const std::shared_ptr<const TextBlock> block = kept.lock();
        if (block)
            block->dropPages();
        return !block;
    });
}

bool SearchCorpus::holdsLists(const QList<Board *> &boards, const QList<CanvasCard *> &cards) const
{
    return m_grouping && std::equal(boards.cbegin(), boards.cend(), m_grouping->boards.cbegin(), m_grouping->boards.cend())
        && std::equal(cards.cbegin(), cards.cend(), m_grouping->cards.cbegin(), m_grouping->cards.cend());
}

bool SearchCorpus::isLarge() const
{
    return m_library && m_library->boards().size() + m_library->cards().size() > m_largeLibrary;
}

SearchCorpus::Rows SearchCorpus::rowsOf(const QList<Board *> &boards, const QList<CanvasCard *> &cards,
                                        bool (*foldsMissing)(qsizetype))
{
    ++m_mark;
    Rows rows{boards, cards, {}, {}};
    // Rows whose text is wanted and not folded yet.
    std::vector<size_t> unfoldedNotes;
    std::vector<size_t> unfoldedCards;
    for (Board *board : boards) {
        if (!board)
            continue;
        const Kept &kept = keep(*board);
        if (board->isLive() && !kept.folded)
            unfoldedNotes.push_back(rows.notes.size());
        rows.notes.push_back(noteRow(board, kept));
    }
    for (CanvasCard *card : cards) {
        if (!card)
            continue;
        const Kept &kept = keep(*card);
        rows.cards.push_back(cardRow(card, kept));
        if (rows.cards.back().searchable && !kept.folded)
            unfoldedCards.push_back(rows.cards.size() - 1);
    }
    if (foldsMissing(qsizetype(unfoldedNotes.size() + unfoldedCards.size()))) {
        for (size_t row : unfoldedNotes) {
            Kept &kept = m_kept[rows.notes[row].note];
            fold(kept, rows.notes[row].note, nullptr);
            rows.notes[row].text = kept.text;
            rows.notes[row].title = m_titles.value(rows.notes[row].note);
        }
        for (size_t row : unfoldedCards) {
            Kept &kept = m_kept[rows.cards[row].card];
            fold(kept, nullptr, rows.cards[row].card);
            rows.cards[row].text = kept.text;
        }
    }

    forgetUnlisted();
    return rows;
}

SearchCorpus::NoteRow SearchCorpus::noteRow(Board *board, const Kept &kept) const
{
    return {board, board->id(), dateOrder(board->updatedAt()), board->isLive(), kept.text, m_titles.value(board)};
}

SearchCorpus::CardRow SearchCorpus::cardRow(CanvasCard *card, const Kept &kept)
{
    return {card, card->id(), card->boardID(), dateOrder(card->updatedAt()), isSearchableCard(*card), card->kind() == CardKind::snip,
            kept.text};
}

void SearchCorpus::forgetUnlisted()
{
    // Entities no longer listed are neither watched nor kept.
    for (auto kept = m_kept.begin(); kept != m_kept.end();) {
        if (kept->mark == m_mark) {
            ++kept;
            continue;
        }
        // The followed library's entities are not connected one by one,
        // and one of them may have ended.
        if (!m_library)
            disconnect(kept.key(), nullptr, this, nullptr);
        m_written.removeAll(kept.key());
        m_titles.remove(kept.key());
        kept = m_kept.erase(kept);
    }
}

std::shared_ptr<const SearchCorpus::Grouping> SearchCorpus::grouped(const Rows &rows)
{
    auto grouping = std::make_shared<Grouping>();
    grouping->boards = rows.boardList;
    grouping->cards = rows.cardList;

    // Of live notes sharing an id, the one changed last; on equal dates the
    // one listed first. Rows stand in list order but for notes put among
    // the others since, which stand last: only such a tie asks the list.
    QHash<const Board *, qsizetype> listedAt;
    const auto listedBefore = [&](const Board *a, const Board *b) {
        if (listedAt.isEmpty()) {
            listedAt.reserve(rows.boardList.size());
            for (qsizetype at = 0; at < rows.boardList.size(); ++at)
                listedAt.insert(rows.boardList.at(at), at);
        }
        return listedAt.value(a) < listedAt.value(b);
    };
    QHash<QUuid, size_t> winners;
    winners.reserve(qsizetype(rows.notes.size()));
    for (size_t row = 0; row < rows.notes.size(); ++row) {
        const NoteRow &note = rows.notes[row];
        if (!note.live)
            continue;
        auto stored = winners.find(note.id);
        if (stored == winners.end()) {
            winners.insert(note.id, row);
            continue;
        }
        const NoteRow &held = rows.notes[*stored];
        if (held.updatedAt < note.updatedAt || (held.updatedAt == note.updatedAt && listedBefore(note.note, held.note)))
            *stored = row;
    }
    std::vector<size_t> noteRows;
    noteRows.reserve(size_t(winners.size()));
    for (size_t row : std::as_const(winners))
        noteRows.push_back(row);
    // Newest first; equal dates fall back to the id text so the order never
    // depends on the store's. Ids are distinct here, so the order is total.
    std::sort(noteRows.begin(), noteRows.end(), [&](size_t a, size_t b) {
        const NoteRow &first = rows.notes[a];
        const NoteRow &second = rows.notes[b];
        if (first.updatedAt == second.updatedAt)
            return uuidTextLess(first.id, second.id);
        return first.updatedAt > second.updatedAt;
    });
    QHash<QUuid, int> noteIndex;
    noteIndex.reserve(qsizetype(noteRows.size()));
    grouping->boardsByID.reserve(qsizetype(noteRows.size()));
    grouping->noteOrder.reserve(noteRows.size());
    for (size_t row : noteRows) {
        const NoteRow &note = rows.notes[row];
        noteIndex.insert(note.id, int(grouping->noteOrder.size()));
        grouping->boardsByID.insert(note.id, note.note);
        grouping->noteOrder.push_back({note.note, note.text, note.title, {}});
    }

    // Kept as long as the grouping: no room to spare.
    grouping->searchable.reserve(size_t(std::count_if(rows.cards.cbegin(), rows.cards.cend(),
                                                      [](const CardRow &card) { return card.searchable; })));
    std::vector<size_t> snipRows;
    for (size_t row = 0; row < rows.cards.size(); ++row) {
        const CardRow &card = rows.cards[row];
        if (!card.searchable)
            continue;
        grouping->cardsByBoardID[card.boardID].append(card.card);
        const auto note = noteIndex.constFind(card.boardID);
        if (note == noteIndex.cend())
            continue;
        const int searchable = int(grouping->searchable.size());
        grouping->searchable.push_back({card.card, card.text});
        grouping->noteOrder[size_t(*note)].cards.push_back(searchable);
        if (card.snip) {
            grouping->snipOrder.push_back({card.card, searchable, *note});
            snipRows.push_back(row);
        }
    }
    // Cards may share an id; those keep the order of the list.
    std::vector<size_t> order(snipRows.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const CardRow &first = rows.cards[snipRows[a]];
        const CardRow &second = rows.cards[snipRows[b]];
        if (first.updatedAt == second.updatedAt)
            return uuidTextLess(first.id, second.id);
        return first.updatedAt > second.updatedAt;
    });
    std::vector<SnipEntry> snips;
    snips.reserve(order.size());
    for (size_t i : order)
        snips.push_back(grouping->snipOrder[i]);
    grouping->snipOrder = std::move(snips);
    return grouping;
}

void SearchCorpus::useGrouping(std::shared_ptr<const Grouping> grouping)
{
    // A large library's grouping is many blocks of memory to give back:
    // not on this thread.
    if (m_grouping && m_grouping->cards.size() > m_largeLibrary)
        runInBackground(this, [released = std::exchange(m_grouping, {})]() mutable {
            released.reset();
            return true;
        });
    m_grouping = std::move(grouping);
    m_lastNeedle.clear();
    m_lastNotes.clear();
    m_lastSnips.clear();
}

void SearchCorpus::regroupInBackground(std::shared_ptr<const Rows> rows)
{
    m_regrouping = true;
    const quint64 changes = m_changes;
    runInBackground(this, [rows = std::move(rows)]() mutable {
        std::shared_ptr<const Grouping> grouping = grouped(*rows);
        // The rows are this thread's again once the grouping is in.
        rows.reset();
        return grouping;
    })
        .then(this, [this, changes](const std::shared_ptr<const Grouping> &grouping) {
            m_regrouping = false;
            useGrouping(grouping);
            m_grouped = changes == m_changes;
            if (!m_grouped)
                schedulePreparation();
            if (isPrepared())
                Q_EMIT prepared();
        });
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
    if (!m_grouped || !holdsLists(boards, cards)) {
        if (!m_library || !isLarge()) {
            // Small lists, or lists handed in: grouped here and now, with
            // the missing texts folded here too unless the worker has many
            // of them in hand.
            bool (*const foldsMissing)(qsizetype) = m_library ? [](qsizetype missing) { return missing <= foldsOnTheSpot; }
                                                            : [](qsizetype) { return true; };
            const quint64 changes = m_changes;
            useGrouping(grouped(rowsOf(boards, cards, foldsMissing)));
            m_grouped = changes == m_changes;
        } else {
            m_groupingWanted = true;
            schedulePreparation();
        }
    }
    if (!m_grouping)
        return {};
    searchedFileBlocks();
    const bool narrows = !m_lastNeedle.isEmpty() && scope == m_lastScope && needle.contains(m_lastNeedle);
    // On the calling thread alone: the main thread never waits for the
    // pool's, which other work or a busy machine may hold.
    Found found = scanned(*m_grouping, needle, query, scope, narrows, m_lastNotes, m_lastSnips, nullptr);
    m_lastNeedle = needle;
    m_lastScope = scope;
    return found;
}

QFuture<SearchCorpus::Found> SearchCorpus::findInBackground(QObject *receiver, const QString &query, SearchScope scope)
{
    const QString needle = foldedSearchText(query);
    // A needle across lines reads the entities, which only this thread may.
    if (!m_library || !isLarge() || needle.contains(QLatin1Char('\n')))
        return runInBackground(receiver, [found = find(query, scope)] { return found; });
    if (!m_grouped || !holdsLists(m_library->boards(), m_library->cards())) {
        m_groupingWanted = true;
        schedulePreparation();
    }
    // What the worker finds is not narrowed from by the next keystroke.
    m_lastNeedle.clear();
    searchedFileBlocks();
    return runInBackground(receiver, [grouping = m_grouping, needle, query, scope] {
        if (!grouping || needle.isEmpty())
            return Found{};
        std::vector<int> notes;
        std::vector<int> snips;
        return scanned(*grouping, needle, query, scope, false, notes, snips, QThreadPool::globalInstance());
    });
}

SearchCorpus::Found SearchCorpus::scanned(const Grouping &grouping, const QString &needle, const QString &query,
                                          SearchScope scope, bool narrows, std::vector<int> &lastNotes,
                                          std::vector<int> &lastSnips, QThreadPool *pool)
{
    Found found{grouping.boardsByID, grouping.cardsByBoardID, {}, {}};
    // A line break never occurs inside a part, so a needle without one is in
    // the joined text exactly when it is in one of the parts, and each part's
    // folded text can be kept on its own. A needle with a line break is
    // matched against the joined texts.
    const bool spansParts = needle.contains(QLatin1Char('\n'));
    const NeedleFinder finder(needle);
    std::vector<signed char> cardHits(grouping.searchable.size(), -1);
    const auto cardHolds = [&](int searchable) {
        signed char &hit = cardHits[size_t(searchable)];
        if (hit < 0)
            hit = finder.isIn(grouping.searchable[size_t(searchable)].text) ? 1 : 0;
        return hit == 1;
    };
    // Each list is looked at in result order, so its hits need no sorting.
    // A whole large list is shared among the pool's threads in runs, each
    // run's hits kept in order. Each card belongs to one note and is one
    // snip, so no two runs test the same card; a needle across lines reads
    // the entities, which only this thread may.
    const bool shares = !spansParts && pool;
    // Narrowing looks again at the last hits only, which after a first
    // letter can be nearly the whole list: they are shared out as the whole
    // list is.
    const auto keepHits = [narrows, shares, pool](std::vector<int> &last, size_t count, const auto &isHit) {
        const PoolShare share{shares ? pool : nullptr, 4096, SIZE_MAX};
        last = hitsAmong(share, narrows ? &last : nullptr, count, isHit);
    };

    if (scope != SearchScope::snips) {
        keepHits(lastNotes, grouping.noteOrder.size(), [&](int index) {
            const NoteEntry &entry = grouping.noteOrder[size_t(index)];
            if (spansParts)
                return noteMatchesQuery(*entry.note, grouping.cardsByBoardID.value(entry.note->id()), query);
            return finder.isIn(entry.text) || std::any_of(entry.cards.cbegin(), entry.cards.cend(), cardHolds);
        });
        found.notes.reserve(qsizetype(lastNotes.size()));
        for (int index : lastNotes)
            found.notes.append(grouping.noteOrder[size_t(index)].note);
    } else {
        lastNotes.clear();
    }
    if (scope != SearchScope::notes) {
        keepHits(lastSnips, grouping.snipOrder.size(), [&](int index) {
            const SnipEntry &entry = grouping.snipOrder[size_t(index)];
            const NoteEntry &note = grouping.noteOrder[size_t(entry.note)];
            if (spansParts)
                return snipMatchesQuery(*entry.card, *note.note, query);
            return cardHolds(entry.searchable) || finder.isIn(note.title);
        });
        found.snips.reserve(qsizetype(lastSnips.size()));
        for (int index : lastSnips)
            found.snips.append(grouping.snipOrder[size_t(index)].card);
    } else {
        lastSnips.clear();
    }
    return found;
}

} // namespace tessaline
