#pragma once

#include "runtime/NoteCardGroups.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QUuid>

#include <optional>

namespace tessaline {

class Board;
class CanvasCard;
class Connection;
class ModelContext;

// The main window's live reading of the library: every note in sort-index
// order, every card and every connection, each in the store's own order,
// read again after every save so each screen of the window sees the same
// lists. Main thread only.
class LibraryQuery : public QObject
{
    Q_OBJECT
public:
    explicit LibraryQuery(ModelContext &context, QObject *parent = nullptr);

    ModelContext &context() const { return m_context; }

    // Deleted entities included; notes ascending by sort index, equal
    // indexes in store order.
    const QList<Board *> &boards() const { return m_boards; }
    const QList<CanvasCard *> &cards() const { return m_cards; }
    const QList<Connection *> &connections() const { return m_connections; }

    // Reads the three lists again. A list whose fetch fails keeps what it
    // showed before, so a passing store error never empties a screen.
    void refresh();

    // The first note (or card) with this id, deleted or not. Notes are
    // found by their id at once (screens ask for every row they show).
    Board *firstBoard(const QUuid &id) const;
    CanvasCard *firstCard(const QUuid &id) const { return cardsWithID(id).value(0); }
    // The cards of cards() that hold this id, in its order: nearly always
    // one. Asked of the context's own index while cards() is what the
    // context lists; walked for otherwise (an insert or a deletion not
    // saved yet).
    QList<CanvasCard *> cardsWithID(const QUuid &id) const;

    // The first live inbox note in sort-index order; the sidebar, the
    // toolbar and the detail pane all use this one lookup.
    static Board *quickCapturesNote(const QList<Board *> &boards);
    Board *quickCapturesNote() const { return quickCapturesNote(m_boards); }

    // Every note's cards (groups of cards()), for every screen of the
    // window: counted whole once, then told of the cards each save wrote.
    NoteCardGroups &noteCardGroups() { return m_noteCardGroups; }
    // Where in cards() every card that may be in this note stands, ascending:
    // each card it holds as the groups counted them, and each card written
    // since in a way that may move it. A caller picks out those that are.
    QList<qint32> cardPositionsOfNote(const QUuid &noteID);
    // Where in cards() each card with one of these ids stands, ascending.
    // The ids are read at the first question and kept while cards are only
    // added at the end of the list and no card's id is written or given back.
    QList<qint32> cardPositions(const QSet<QUuid> &ids);
    // The note's connections, deleted ones too, in the order of
    // connections(): grouped at the first question, then kept while
    // connections are only added at the end of the list or taken out of it
    // and none is written to another note or given back.
    QList<Connection *> connectionsOfNote(const QUuid &noteID);
    // Whether some id is held by more than one card, read as cardPositions()
    // reads the ids. Rarely: a card found by its place needs no look-up by
    // its id to learn there is no other.
    bool cardIDsRepeat();

    // Moves on whenever cards() may hold other cards or another order, a
    // card was written or writes were taken back: what a screen worked out
    // from the cards alone still holds while this stays. A save that wrote
    // only notes (one stamped opened) leaves it.
    quint64 cardsRevision() const { return m_cardsRevision; }
    // Moves on whenever a card was written or writes were taken back, not
    // when cards() only changed: what was worked out from the cards holds
    // for those still listed while this stays.
    quint64 cardWritesRevision() const { return m_cardWritesRevision; }
    // The cards of cards() written since cardWritesRevision() was
    // `revision`, saved or not, then those added after `seen`, the list of
    // cards read then, each once: what was worked out from the cards can be
    // brought along for these alone. None when that cannot be told (cards
    // taken out of the list, writes taken back, or more written since than
    // are kept).
    std::optional<QList<CanvasCard *>> cardsChangedSince(quint64 revision, const QList<CanvasCard *> &seen);

Q_SIGNALS:
    void changed();

private:
    void sortBoards(QList<Board *> fetched);
    void readCardIDs();

    ModelContext &m_context;
    QList<Board *> m_boards;
    // The notes as the store last handed them out, and whether a sort index
    // was written (or taken back) since they were sorted.
    QList<Board *> m_fetchedBoards;
    bool m_sortIndexesWritten = true;
    // The first note of each id in m_boards: made at the first question
    // after the notes were read again, or a note's id was written or given
    // back.
    mutable QHash<QUuid, Board *> m_firstBoardByID;
    mutable bool m_boardIDsKnown = false;
    QList<CanvasCard *> m_cards;
    // The context's count of its listings when m_cards was fetched.
    quint64 m_cardsListedAt = 0;
    QList<Connection *> m_connections;
    NoteCardGroups m_noteCardGroups;
    // Cards written in a way the groups count since the last save: kept
    // until a save lands, as a failed one takes its writes back without
    // writing again and the next save may still carry them.
    QSet<const CanvasCard *> m_cardsWritten;
    // Where each card id stands in the list of cards read from, the ids more
    // than one card holds standing in the second for the later cards.
    QHash<QUuid, qint32> m_cardAtByID;
    QMultiHash<QUuid, qint32> m_laterCardsByID;
    QList<CanvasCard *> m_cardIDsFrom;
    // The connections by note, the list they were grouped from and each
    // one's note there: a connection taken out may be gone when asked.
    void groupConnections();
    QHash<QUuid, QList<Connection *>> m_connectionsByNote;
    QList<Connection *> m_connectionsGrouped;
    QList<QUuid> m_groupedConnectionNotes;
    bool m_connectionsGroupedKnown = false;
    bool m_cardIDsKnown = false;
    quint64 m_cardsRevision = 0;
    quint64 m_cardWritesRevision = 0;
    // The card of each write after m_cardWritesFrom, the most recent few
    // hundred; one deleted for good since is null.
    QList<QPointer<CanvasCard>> m_cardWrites;
    quint64 m_cardWritesFrom = 0;
};

// The one `Kept` that hangs on the library, made by `make` when first asked
// for: what every screen of the window shares, for as long as the library
// lives.
template <typename Kept, typename Make>
Kept &keptWith(LibraryQuery &library, Make make)
{
    auto *kept = library.findChild<Kept *>(QString(), Qt::FindDirectChildrenOnly);
    return kept ? *kept : *make();
}

} // namespace tessaline
