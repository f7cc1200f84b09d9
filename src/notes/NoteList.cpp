#include "notes/NoteList.h"

#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/FetchedList.h"
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

bool NoteList::showsProperty(int property)
{
    switch (property) {
    case Board::IdProperty:
    case Board::TitleProperty:
    case Board::UpdatedAtProperty:
    case Board::IsFavoriteProperty:
    case Board::FolderNameProperty:
    case Board::DeletedAtProperty:
    case Board::IsInboxProperty:
    case Board::WritingDocumentStorageProperty:
        return true;
    default:
        return false;
    }
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

NoteListRow NoteList::rowOf(Board *note) const
{
    NoteListRow row;
    row.note = note;
    row.id = note->id();
    row.title = displayTitle(*note);
    const auto group = m_groups->constFind(row.id);
    const bool hasGroup = group != m_groups->cend();
    if (const std::optional<QString> &paragraph = firstParagraph(*note))
        row.excerpt = *paragraph;
    else if (hasGroup && group->latest)
        row.excerpt = group->latest->displayTitle();
    else
        row.excerpt = QStringLiteral("Start writing…");
    row.snipCount = hasGroup ? group->snipCount : 0;
    row.isFavorite = note->isFavorite();
    row.updatedAt = note->updatedAt();
    return row;
}

namespace {

// The list's order when every date is valid: latest first, equal dates by
// the identifier's text.
struct ListedKey
{
    qint64 updatedAt;
    QUuid id;

    static ListedKey of(const NoteListRow &row) { return {row.updatedAt.toMSecsSinceEpoch(), row.id}; }
    friend bool operator<(const ListedKey &a, const ListedKey &b)
    {
        if (a.updatedAt != b.updatedAt)
            return a.updatedAt > b.updatedAt;
        return uuidTextLess(a.id, b.id);
    }
};

} // namespace

void NoteList::listAll(const QList<Board *> &boards, const NoteListFilter &filter)
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
    QList<NoteListRow> rows;
    rows.reserve(qsizetype(keyed.size()));
    for (const Listed &entry : keyed)
        rows.append(rowOf(entry.note));
    m_rows = std::move(rows);
    m_datesValid = datesValid;
    m_boards = boards;
}

bool NoteList::followNotes(const QList<Board *> &boards)
{
    if (boards == m_boards)
        return true;
    const qsizetype listed = m_boards.size();
    QList<Board *> added;
    if (extendsFetched(boards, m_boards)) {
        added = boards.mid(listed);
    } else {
        // Moved about (a sort index written): still the same notes, and
        // maybe some more, unless one is missing.
        const QSet<const Board *> known(m_boards.cbegin(), m_boards.cend());
        qsizetype kept = 0;
        for (Board *board : boards) {
            if (known.contains(board))
                ++kept;
            else
                added.append(board);
        }
        if (kept != known.size())
            return false;
    }
    for (Board *board : std::as_const(added))
        m_writtenNotes.insert(board);
    m_boards = boards;
    return true;
}

bool NoteList::relistChangedNotes(const NoteListFilter &filter)
{
    if (m_writtenNotes.isEmpty() && m_recountedNotes.isEmpty())
        return true;
    // Many rows to move are better sorted whole.
    constexpr qsizetype mostMoved = 64;
    if (!m_datesValid || m_writtenNotes.size() > mostMoved)
        return false;
    // A note written but not in the library (one not saved yet) is not
    // listed, and may be gone from memory: it is never looked at.
    QSet<Board *> changed;
    for (Board *note : std::as_const(m_writtenNotes)) {
        if (m_boards.contains(note))
            changed.insert(note);
    }
    // Counting cards again never lists a note or takes it out: only those
    // listed already are made again.
    std::vector<const NoteListRow *> before;
    for (const NoteListRow &row : std::as_const(m_rows)) {
        if (changed.contains(row.note)) {
            before.push_back(&row);
        } else if (m_recountedNotes.contains(row.id)) {
            changed.insert(row.note);
            before.push_back(&row);
        }
    }
    if (changed.size() > mostMoved)
        return false;
    std::vector<NoteListRow> made;
    made.reserve(changed.size());
    for (Board *note : std::as_const(changed)) {
        if (!matches(*note, filter))
            continue;
        if (!note->updatedAt().isValid())
            return false;
        made.push_back(rowOf(note));
    }

    // Made again the same, each row stays where it is, and so does the list
    // (shared with whoever holds it).
    const auto unchanged = [&](const NoteListRow &row) {
        return std::any_of(before.cbegin(), before.cend(), [&](const NoteListRow *was) { return *was == row; });
    };
    if (made.size() == before.size() && std::all_of(made.cbegin(), made.cend(), unchanged))
        return true;
    std::sort(made.begin(), made.end(),
              [](const NoteListRow &a, const NoteListRow &b) { return ListedKey::of(a) < ListedKey::of(b); });
    const qsizetype rowsChanged = qsizetype(before.size());
    QList<NoteListRow> rows;
    rows.reserve(m_rows.size() - rowsChanged + qsizetype(made.size()));
    auto next = made.begin();
    for (const NoteListRow &row : std::as_const(m_rows)) {
        if (changed.contains(row.note))
            continue;
        const ListedKey key = ListedKey::of(row);
        for (; next != made.end() && ListedKey::of(*next) < key; ++next)
            rows.append(std::move(*next));
        rows.append(row);
    }
    for (; next != made.end(); ++next)
        rows.append(std::move(*next));
    m_rows = std::move(rows);
    return true;
}

QList<NoteListRow> NoteList::rows(const QList<Board *> &boards, const QList<CanvasCard *> &cards,
                                  const NoteListFilter &filter)
{
    m_groups = &m_cardGroups->groups(cards);
    const bool countedWhole = m_cardGroups->wholeRevision() > m_seenRevision;
    if (!countedWhole && m_cardGroups->revision() > m_seenRevision) {
        for (auto group = m_groups->cbegin(); group != m_groups->cend(); ++group) {
            if (group->revision > m_seenRevision)
                m_recountedNotes.insert(group.key());
        }
    }
    m_seenRevision = m_cardGroups->revision();

    if (countedWhole || !m_rowsValid || !(filter == m_filter) || !followNotes(boards) || !relistChangedNotes(filter))
        listAll(boards, filter);
    m_filter = filter;
    m_rowsValid = true;
    m_writtenNotes.clear();
    m_recountedNotes.clear();

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
    return m_rows;
}

} // namespace tessaline
