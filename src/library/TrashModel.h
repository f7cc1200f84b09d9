#pragma once

#include "runtime/BoardCollectionPreview.h"

#include <QAbstractListModel>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QUuid>

#include <functional>
#include <optional>
#include <utility>

namespace tessaline {

class Board;
class CanvasCard;
class LibraryChangeFilter;
class LibraryQuery;
class TrashActions;

// What the Recently Deleted screen shows, worked out afresh from the live
// lists: the deleted notes, the deleted cards whose note is not itself
// deleted (those come back with their note), each newest deletion first.
struct TrashContents
{
    struct CardCounts
    {
        int snips = 0;
        int thoughts = 0;
    };

    QList<Board *> deletedBoards;
    QList<CanvasCard *> deletedCards;
    // Every note by id; of two with one id the later change wins.
    QHash<QUuid, Board *> boardsByID;
    // What each deleted note holds, its deleted cards included, suggestions
    // left out.
    QHash<QUuid, CardCounts> deletedBoardCards;

    static TrashContents from(const QList<Board *> &boards, const QList<CanvasCard *> &cards);

    // The pass over every card, which is all of the work in a large library:
    // the deleted cards of the notes not deleted, newest deletion first, and
    // what each deleted note holds.
    struct CardPass
    {
        QList<CanvasCard *> deletedCards;
        QHash<QUuid, CardCounts> deletedBoardCards;
        // How each card was counted with a deleted note, so one written
        // since is taken out as it was counted: the note's id, and whether
        // as a snip (else as a thought).
        QHash<const CanvasCard *, std::pair<QUuid, bool>> counted;
    };
    static CardPass cardPassOf(const QList<CanvasCard *> &cards, const QSet<QUuid> &deletedBoardIDs);
    // Brings the pass along for cards written or added since, over the same
    // deleted notes: false when that cannot tell it, the pass then half
    // changed.
    static bool countAgain(CardPass &pass, const QList<CanvasCard *> &cards);
    // The contents with the card pass handed in, made over these notes'
    // deleted ids.
    static TrashContents from(const QList<Board *> &boards,
                              const std::function<CardPass(const QSet<QUuid> &deletedBoardIDs)> &cardPass);

    int count() const { return int(deletedBoards.size() + deletedCards.size()); }
    bool isEmpty() const { return count() == 0; }
    // The header's line under "Trash".
    QString subtitle() const;
};

// The texts a card tile shows, shared with other compact card tiles.
struct TrashCardTexts
{
    // The kind, its symbol and the excerpt come from CardSummary.
    static QDateTime displayDate(const CanvasCard &card);
    // The note's name when it may be shown, else the source app, else empty.
    static QString source(const CanvasCard &card, const std::optional<QString> &boardTitle);
    static bool sourceIsBoard(const std::optional<QString> &boardTitle);
    static QString accessibilitySummary(const CanvasCard &card, const std::optional<QString> &boardTitle);
};

// One grid of the screen: the deleted notes or the deleted cards. Rows
// carry what the tile paints, read from the entities on each request.
class TrashItemModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum class Section { boards, cards };
    enum Role {
        IdRole = Qt::UserRole + 1,
        BoardIdRole,
        TitleRole,
        // A note's focus question, or a card's excerpt.
        DetailRole,
        HasDetailRole,
        KindLabelRole,   // a card's kind, a note's status
        KindSymbolRole,
        ShowsTagRole,    // a parked or done note, and every card
        IsSnipRole,
        IsAIGeneratedRole,
        ToneRole,        // QuietCardTone as int
        SnipCountRole,
        ThoughtCountRole,
        SourceRole,
        SourceSymbolRole,
        DateRole,
    };

    explicit TrashItemModel(Section section, QObject *parent = nullptr);

    Section section() const { return m_section; }
    // Rows that only left the listing (deleted for good, restored) are
    // removed, and rows whose tile changed are said to; any other change
    // lists every row again, as does any card written (`cardsWritten`).
    void setContents(const TrashContents &contents, bool cardsWritten = true);
    // The cards grid after a change that wrote or added these cards alone,
    // the notes as they were: their rows are taken out and put in where
    // they stand now, the other rows left as they are.
    void setCards(const TrashContents &contents, const QList<CanvasCard *> &cardsWritten);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    // The card of a row of the cards grid; null elsewhere.
    CanvasCard *cardAt(int row) const { return m_cards.value(row); }
    // Where the item of this id is listed now; -1 when it is not.
    int rowOf(const QUuid &id) const;
    // The stored title of the card's note, none when the note is not known.
    std::optional<QString> boardTitle(const CanvasCard &card) const;

private:
    QVariant boardData(const Board &board, const BoardCollectionPreview &tile, int role) const;
    QVariant cardData(const CanvasCard &card, int role) const;
    void listAgain(const TrashContents &contents);
    // Takes out the rows of the cards written and puts them in where they
    // stand now; false, changing nothing, when the other cards' rows would
    // not stay as they are.
    bool moveRows(const TrashContents &contents, const QList<CanvasCard *> &written);
    void addBoardTitle(const TrashContents &contents, const CanvasCard &card);
    // Removes the rows at `taken`, ascending.
    void removeRows(const QList<qsizetype> &taken);
    BoardCollectionPreview tileOf(const Board &board) const;

    Section m_section;
    QList<Board *> m_boards;
    // What each listed note's tile shows, made with the listing.
    QList<BoardCollectionPreview> m_boardTiles;
    QList<CanvasCard *> m_cards;
    QHash<QUuid, TrashContents::CardCounts> m_counts;
    QHash<QUuid, QString> m_boardTitles;
    bool m_listed = false;
};

// The screen's state and rules above the widgets: the two grids kept in
// step with the library, the deletion waiting for confirmation, and the six
// actions the main window hands in. The screen changes nothing by itself.
class TrashModel : public QObject
{
    Q_OBJECT
public:
    struct Actions
    {
        std::function<void(const QUuid &)> openBoard;
        // The note's id, then the card's.
        std::function<void(const QUuid &, const QUuid &)> openCard;
        std::function<void(const QUuid &)> restoreBoard;
        std::function<void(const QUuid &)> restoreCard;
        // Either may be left empty; its delete controls are then not shown.
        std::function<void(const QUuid &)> deleteBoardPermanently;
        std::function<void(const QUuid &)> deleteCardPermanently;
    };

    struct PendingDeletion
    {
        TrashItemModel::Section section;
        QUuid id;
        friend bool operator==(const PendingDeletion &, const PendingDeletion &) = default;
    };

    // The main window's six trash actions, all of them.
    static Actions windowActions(TrashActions &actions);

    TrashModel(LibraryQuery &library, Actions actions, QObject *parent = nullptr);

    const TrashContents &contents() const { return m_contents; }
    TrashItemModel *boards() const { return m_boards; }
    TrashItemModel *cards() const { return m_cards; }
    bool canDelete(TrashItemModel::Section section) const;

    void open(TrashItemModel::Section section, int row);
    void restore(TrashItemModel::Section section, int row);
    // Asks for confirmation; no-op when that section cannot delete.
    void requestDeletion(TrashItemModel::Section section, int row);
    // The same for an item picked earlier (from a menu left open while the
    // lists changed): it acts on that item while it is still listed, never
    // on whatever has taken its row since.
    void restore(TrashItemModel::Section section, const QUuid &id);
    void requestDeletion(TrashItemModel::Section section, const QUuid &id);
    QUuid idAt(TrashItemModel::Section section, int row) const { return idAt(section, row, nullptr); }

    std::optional<PendingDeletion> pendingDeletion() const { return m_pending; }
    // Runs the waiting deletion, if any, then clears it.
    void confirmDeletion();
    // Cancel or any other dismissal.
    void cancelDeletion();

Q_SIGNALS:
    void contentsChanged();
    void pendingDeletionChanged();

private:
    void refresh();
    QUuid idAt(TrashItemModel::Section section, int row, QUuid *boardID) const;
    int rowOf(TrashItemModel::Section section, const QUuid &id) const;

    LibraryQuery &m_library;
    Actions m_actions;
    // The lists are worked out again only after a save that changed what
    // they show.
    LibraryChangeFilter *m_changes;
    TrashContents m_contents;
    TrashItemModel *m_boards;
    TrashItemModel *m_cards;
    std::optional<PendingDeletion> m_pending;
    quint64 m_cardWritesSeen = 0;
};

} // namespace tessaline
