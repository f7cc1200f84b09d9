#include "notes/NoteList.h"

#include "model/Board.h"
#include "model/CanvasCard.h"
#include "platform/TextUtilities.h"
#include "platform/UuidText.h"

#include <QCollator>
#include <QSet>

#include <algorithm>
#include <vector>

namespace tessaline {

namespace {

bool sameText(const QByteArray &a, const QByteArray &b)
{
    // Unchanged writing shares its buffer with the copy kept here.
    return (a.constData() == b.constData() && a.size() == b.size()) || a == b;
}

} // namespace

bool NoteList::matches(const Board &note, const NoteListFilter &filter)
{
    if (!note.isLive())
        return false;
    switch (filter.kind()) {
    case NoteListFilter::Kind::all:
        return !note.isInbox();
    case NoteListFilter::Kind::favorites:
        return !note.isInbox() && note.isFavorite();
    case NoteListFilter::Kind::quickCaptures:
        return note.isInbox();
    case NoteListFilter::Kind::folder:
        return !note.isInbox() && note.folderName() && *note.folderName() == filter.folderName();
    }
    return false;
}

bool NoteList::isListedBefore(const Board &a, const Board &b)
{
    if (a.updatedAt() != b.updatedAt())
        return a.updatedAt() > b.updatedAt();
    return uuidTextLess(a.id(), b.id());
}

QString NoteList::displayTitle(const Board &note)
{
    return isBlank(note.title()) ? QStringLiteral("Untitled Note") : note.title();
}

std::optional<QString> NoteList::writingExcerpt(const BoardWritingDocument &document)
{
    for (const BoardWritingBlock &block : document.blocks) {
        if (block.isParagraph() && !isBlank(block.text)) {
            QString text = block.text;
            text.replace(QLatin1Char('\n'), QLatin1Char(' '));
            return text;
        }
    }
    return std::nullopt;
}

QStringList NoteList::folderNames(const QList<Board *> &boards)
{
    QStringList names;
    QSet<QString> seen;
    for (const Board *board : boards) {
        if (!board->isLive() || !board->folderName())
            continue;
        const QString name = *board->folderName();
        if (seen.contains(name))
            continue;
        seen.insert(name);
        names.append(name);
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(names.begin(), names.end(),
                     [&collator](const QString &a, const QString &b) { return collator.compare(a, b) < 0; });
    return names;
}

void NoteList::groupCards(const QList<CanvasCard *> &cards)
{
    // About as many notes have cards as last time: room for them at once
    // rather than growing through every size on the way.
    const qsizetype notesWithCards = m_groups.size();
    m_groups.clear();
    m_groups.reserve(notesWithCards);
    // Cards mostly come a note's worth at a time: the last group is looked
    // up again only when the note changes.
    CardGroup *group = nullptr;
    QUuid groupNoteID;
    // A large library's cards are far apart in memory and each is looked at
    // only briefly: the fields read here are asked for some cards ahead, so
    // their fetches overlap instead of waiting one after another.
    constexpr qsizetype ahead = 8;
    const auto prefetch = [](const CanvasCard *card) {
        const CanvasCardValues &values = static_cast<const ValueEntity<CanvasCardValues, 30> &>(*card).values();
        __builtin_prefetch(&values.boardID);
        __builtin_prefetch(&values.kindRawValue);
        __builtin_prefetch(&values.updatedAt);
        __builtin_prefetch(&values.deletedAt);
    };
    for (qsizetype i = 0; i < std::min(ahead, cards.size()); ++i)
        prefetch(cards.at(i));
    for (qsizetype i = 0; i < cards.size(); ++i) {
        if (i + ahead < cards.size())
            prefetch(cards.at(i + ahead));
        const CanvasCard *card = cards.at(i);
        const QUuid noteID = card->boardID();
        if (!group || noteID != groupNoteID) {
            groupNoteID = noteID;
            group = &m_groups[noteID];
        }
        group->cards.append(qint32(i));
        countIn(*group, *card);
    }
    m_groupedCards = cards;
    m_writtenCards.clear();
    m_groupsValid = true;
}

void NoteList::countIn(CardGroup &group, const CanvasCard &card)
{
    if (!card.isLive())
        return;
    if (card.isSnip())
        ++group.snipCount;
    // On equal dates the first card in the library's order stays.
    const QDateTime updatedAt = card.updatedAt();
    if (!group.latest || updatedAt > group.latestUpdatedAt) {
        group.latest = &card;
        group.latestUpdatedAt = updatedAt;
    }
}

void NoteList::recount(CardGroup &group)
{
    group.snipCount = 0;
    group.latest = nullptr;
    group.latestUpdatedAt = QDateTime();
    for (qint32 at : std::as_const(group.cards))
        countIn(group, *m_groupedCards.at(at));
}

void NoteList::regroupChangedCards(const QList<CanvasCard *> &cards)
{
    const qsizetype counted = m_groupedCards.size();
    m_groupedCards = cards;
    for (qsizetype i = counted; i < cards.size(); ++i) {
        CardGroup &group = m_groups[cards.at(i)->boardID()];
        group.cards.append(qint32(i));
        countIn(group, *cards.at(i));
    }
    const auto holds = [](const CardGroup &group, qint32 at) {
        return std::binary_search(group.cards.cbegin(), group.cards.cend(), at);
    };
    for (const CanvasCard *card : std::as_const(m_writtenCards)) {
        // Not listed: a card yet to be saved comes with the list that adds
        // it, and one gone for good with a list counted whole.
        const qsizetype found = m_groupedCards.indexOf(card);
        if (found < 0)
            continue;
        const qint32 at = qint32(found);
        const QUuid noteID = card->boardID();
        auto now = m_groups.find(noteID);
        if (now != m_groups.end() && holds(*now, at)) {
            recount(*now);
            continue;
        }
        // Moved from another note: counted there no more.
        for (auto before = m_groups.begin(); before != m_groups.end(); ++before) {
            if (!holds(*before, at))
                continue;
            before->cards.removeOne(at);
            if (before->cards.isEmpty())
                m_groups.erase(before);
            else
                recount(*before);
            break;
        }
        CardGroup &group = m_groups[noteID];
        group.cards.insert(std::lower_bound(group.cards.cbegin(), group.cards.cend(), at), at);
        recount(group);
    }
    m_writtenCards.clear();
}

namespace {

struct CachedParagraph
{
    QByteArray storage;
    std::optional<QString> paragraph;
};

// A note's first paragraph follows from its stored writing alone, so an
// entry serves whichever list asks, and a note made anew at the address of
// one gone is read again unless its writing is the same.
QHash<const Board *, CachedParagraph> &paragraphs()
{
    static QHash<const Board *, CachedParagraph> cache;
    return cache;
}

} // namespace

const std::optional<QString> &NoteList::firstParagraph(const Board &note)
{
    QHash<const Board *, CachedParagraph> &cache = paragraphs();
    const QByteArray &storage = note.writingDocumentUtf8();
    auto cached = cache.find(&note);
    if (cached != cache.end() && sameText(cached->storage, storage)) {
        // Sharing already, the copy is left alone: taking it again touches
        // the text's buffer, a miss of the processor's cache for each note.
        if (cached->storage.constData() != storage.constData())
            cached->storage = storage;
        return cached->paragraph;
    }
    // The same as writingExcerpt(note.writingDocument()), without making
    // every block of every note the first time the list is built.
    std::optional<QString> paragraph = BoardWritingDocument::firstWrittenParagraph(QByteArrayView(storage));
    if (paragraph)
        paragraph->replace(QLatin1Char('\n'), QLatin1Char(' '));
    CachedParagraph entry{storage, std::move(paragraph)};
    return cache.insert(&note, std::move(entry))->paragraph;
}

QList<NoteListRow> NoteList::rows(const QList<Board *> &boards, const QList<CanvasCard *> &cards,
                                  const NoteListFilter &filter)
{
    // Sorted on each note's date read once: reading both notes' dates at
    // every comparison made the sorting most of what a list of thousands
    // of notes cost after every save.
    struct Listed
    {
        qint64 updatedAt;
        Board *note;
    };
    std::vector<Listed> keyed;
    bool datesValid = true;
    for (Board *board : boards) {
        if (!matches(*board, filter))
            continue;
        const QDateTime updatedAt = board->updatedAt();
        datesValid = datesValid && updatedAt.isValid();
        keyed.push_back({updatedAt.isValid() ? updatedAt.toMSecsSinceEpoch() : 0, board});
    }
    if (datesValid) {
        std::sort(keyed.begin(), keyed.end(), [](const Listed &a, const Listed &b) {
            if (a.updatedAt != b.updatedAt)
                return a.updatedAt > b.updatedAt;
            return uuidTextLess(a.note->id(), b.note->id());
        });
    } else {
        std::sort(keyed.begin(), keyed.end(), [](const Listed &a, const Listed &b) { return isListedBefore(*a.note, *b.note); });
    }
    QList<Board *> listed;
    listed.reserve(qsizetype(keyed.size()));
    for (const Listed &entry : keyed)
        listed.append(entry.note);

    // Comparing the lists costs a pass over pointers only, far less than
    // counting a large library's cards again after every save: a save that
    // added cards at the end, or wrote some, counts only those again.
    const bool extended = cards.size() >= m_groupedCards.size()
        && std::equal(m_groupedCards.cbegin(), m_groupedCards.cend(), cards.cbegin());
    if (!m_groupsValid || !extended)
        groupCards(cards);
    else if (cards.size() > m_groupedCards.size() || !m_writtenCards.isEmpty())
        regroupChangedCards(cards);

    QList<NoteListRow> rows;
    rows.reserve(listed.size());
    for (Board *board : std::as_const(listed)) {
        const CardGroup group = m_groups.value(board->id());
        NoteListRow row;
        row.note = board;
        row.id = board->id();
        row.title = displayTitle(*board);
        if (const std::optional<QString> &paragraph = firstParagraph(*board))
            row.excerpt = *paragraph;
        else if (group.latest)
            row.excerpt = group.latest->displayTitle();
        else
            row.excerpt = QStringLiteral("Start writing…");
        row.snipCount = group.snipCount;
        row.isFavorite = board->isFavorite();
        row.updatedAt = board->updatedAt();
        rows.append(std::move(row));
    }
    // Notes gone from the library take their cached paragraph with them.
    QHash<const Board *, CachedParagraph> &cache = paragraphs();
    if (cache.size() > boards.size()) {
        const QSet<const Board *> kept(boards.cbegin(), boards.cend());
        for (auto entry = cache.begin(); entry != cache.end();) {
            if (kept.contains(entry.key()))
                ++entry;
            else
                entry = cache.erase(entry);
        }
    }
    return rows;
}

} // namespace tessaline
