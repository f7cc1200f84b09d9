#pragma once

#include "runtime/NoteCardGroups.h"
#include "runtime/NoteListFilter.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace tessaline {

class Board;
class CanvasCard;
struct BoardWritingDocument;

// One row of the note list: the note and what its row shows.
struct NoteListRow
{
    Board *note = nullptr;
    QUuid id;
    // The stored title, or "Untitled Note" when it is blank.
    QString title;
    QString excerpt;
    int snipCount = 0;
    bool isFavorite = false;
    QDateTime updatedAt;

    friend bool operator==(const NoteListRow &, const NoteListRow &) = default;
};

// Which notes a filter lists, in which order, and what each row says. The
// rows follow the library from one call to the next: the notes said to be
// written, added to the library or whose cards were counted again have
// their rows made again and moved into place, the others stay as they
// were; a library that lost notes, another filter, or cards counted again
// whole make every row again. A note's first paragraph is read from its
// writing only when that writing changed (for all lists at once).
class NoteList
{
public:
    // Never a note in Recently Deleted; the inbox only under Quick Captures.
    static bool matches(const Board &note, const NoteListFilter &filter);
    // Latest change first; equal dates by the identifier's text, ascending.
    static bool isListedBefore(const Board &a, const Board &b);
    static QString displayTitle(const Board &note);
    // The first paragraph with any text, line feeds made spaces; none when
    // every paragraph is blank.
    static std::optional<QString> writingExcerpt(const BoardWritingDocument &document);
    // Every folder a live note carries (the inbox's too), each name once,
    // sorted the way people read them, ignoring case.
    static QStringList folderNames(const QList<Board *> &boards);
    // Whether a write of this property of a note (Board::Property) may
    // change where or how the note is listed.
    static bool showsProperty(int property);

    // Counting the cards on a list's own, told of written cards through
    // cardsWritten().
    NoteList() = default;
    // Counting with groups kept for every list of the window, which are told
    // of written cards elsewhere.
    explicit NoteList(NoteCardGroups &groups)
        : m_cardGroups(&groups)
    {
    }
    NoteList(const NoteList &) = delete;
    NoteList &operator=(const NoteList &) = delete;

    // The listed notes in order, with their excerpts and snip counts.
    QList<NoteListRow> rows(const QList<Board *> &boards, const QList<CanvasCard *> &cards,
                            const NoteListFilter &filter);
    // This note was written, or it may have been given back an earlier
    // value: the next rows make its row again. Until then, and for every
    // other note, the row made last stays.
    void noteWritten(Board *note) { m_writtenNotes.insert(note); }
    // A card of this note had its title or texts written: the excerpt it
    // gives the row may differ.
    void cardTextsWritten(const QUuid &noteID) { m_recountedNotes.insert(noteID); }
    void invalidateNotes() { m_rowsValid = false; }
    // These cards' note, kind, date or deletion was written, or may have
    // been given back its earlier value: the next rows count them again,
    // and the notes they were counted under. Cards added at the end of the
    // list are counted as they come; a list that lost or reordered cards
    // is counted again whole, as after invalidateCards(). Until then a
    // note's own edits, and saves that touched no card, reuse the last count.
    void cardsWritten(const QSet<const CanvasCard *> &cards) { m_cardGroups->cardsWritten(cards); }
    void invalidateCards() { m_cardGroups->invalidate(); }

private:
    NoteListRow rowOf(Board *note) const;
    void listAll(const QList<Board *> &boards, const NoteListFilter &filter);
    // Takes in the notes added to the library since the last rows; false
    // when it lost any.
    bool followNotes(const QList<Board *> &boards);
    // Makes again the rows of the notes written or counted again; false
    // when they cannot be placed the way listAll() places them.
    bool relistChangedNotes(const NoteListFilter &filter);

    // Kept for every list of the process, by note, while its writing stays
    // the same: each sidebar destination makes a list of its own, and the
    // writing of thousands of notes would otherwise be read at each.
    static const std::optional<QString> &firstParagraph(const Board &note);
    NoteCardGroups m_ownCardGroups;
    NoteCardGroups *m_cardGroups = &m_ownCardGroups;
    // The groups rows are made from, and the revision of them last listed.
    const QHash<QUuid, NoteCardGroups::Group> *m_groups = nullptr;
    quint64 m_seenRevision = 0;

    QList<NoteListRow> m_rows;
    NoteListFilter m_filter = NoteListFilter::all();
    // The library's notes as last listed.
    QList<Board *> m_boards;
    QSet<Board *> m_writtenNotes;
    // Notes whose cards were counted again, or whose cards' texts changed.
    QSet<QUuid> m_recountedNotes;
    // Rows on an invalid date are sorted by the dates themselves, which
    // only a whole list does.
    bool m_datesValid = true;
    bool m_rowsValid = false;
};

} // namespace tessaline
