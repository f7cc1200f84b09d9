#include "library/TrashModel.h"

#include "library/TrashCardPass.h"

#include "runtime/BoardCollectionPreview.h"
#include "runtime/LibraryChangeFilter.h"
#include "runtime/LibraryQuery.h"
#include "runtime/TrashActions.h"
#include "design/QuietSurfaces.h"
#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/CardSummary.h"
#include "model/FetchedList.h"
#include "platform/TextUtilities.h"
#include "platform/UuidText.h"

#include <algorithm>
#include <ranges>

namespace tessaline {

namespace {

// Newest deletion first; a missing date is the distant past; equal dates
// by the id's text.
template<typename T>
bool trashOrder(const T *a, const T *b)
{
    const auto da = a->deletedAt();
    const auto db = b->deletedAt();
    if (da.has_value() != db.has_value())
        return da.has_value();
    if (da && *da != *db)
        return *da > *db;
    return uuidTextLess(a->id(), b->id());
}

// The same for cards: a large library's trash holds thousands, whose dates
// are compared as the numbers they are stored as, not made into dates for
// every comparison.
bool cardTrashOrder(const CanvasCard *a, const CanvasCard *b)
{
    const qint64 da = a->deletedAtOrderKey();
    const qint64 db = b->deletedAtOrderKey();
    return da != db ? da > db : uuidTextLess(a->id(), b->id());
}

// Counted with its deleted note as what it shows there; suggestions are
// left out.
void countWithNote(TrashContents::CardPass &pass, TrashContents::CardCounts &counts, const CanvasCard *card)
{
    const bool snip = card->kindRawValue() == u"snip";
    if (!snip && card->kindRawValue() == u"ghost")
        return;
    ++(snip ? counts.snips : counts.thoughts);
    pass.counted.insert(card, {card->boardID(), snip});
}

} // namespace

TrashContents TrashContents::from(const QList<Board *> &boards, const QList<CanvasCard *> &cards)
{
    return from(boards, [&cards](const QSet<QUuid> &deletedBoardIDs) { return cardPassOf(cards, deletedBoardIDs); });
}

TrashContents TrashContents::from(const QList<Board *> &boards,
                                  const std::function<CardPass(const QSet<QUuid> &deletedBoardIDs)> &cardPass)
{
    TrashContents contents;
    QSet<QUuid> deletedIDs;
    for (Board *board : boards) {
        auto stored = contents.boardsByID.find(board->id());
        if (stored == contents.boardsByID.end())
            contents.boardsByID.insert(board->id(), board);
        else if (board->updatedAt() > (*stored)->updatedAt())
            *stored = board;
        if (!board->isLive()) {
            contents.deletedBoards << board;
            deletedIDs.insert(board->id());
        }
    }
    std::stable_sort(contents.deletedBoards.begin(), contents.deletedBoards.end(), trashOrder<Board>);
    CardPass cards = cardPass(deletedIDs);
    contents.deletedCards = std::move(cards.deletedCards);
    contents.deletedBoardCards = std::move(cards.deletedBoardCards);
    return contents;
}

TrashContents::CardPass TrashContents::cardPassOf(const QList<CanvasCard *> &cards, const QSet<QUuid> &deletedBoardIDs)
{
    CardPass pass;
    for (const QUuid &id : deletedBoardIDs)
        pass.deletedBoardCards.insert(id, {});
    // One pass over a large library's cards for both sections.
    walkCards(cards, 0, [&pass, &deletedBoardIDs](qsizetype, CanvasCard *card) {
        const auto counts = deletedBoardIDs.isEmpty() ? pass.deletedBoardCards.end()
                                                      : pass.deletedBoardCards.find(card->boardID());
        if (counts == pass.deletedBoardCards.end()) {
            if (!card->isLive())
                pass.deletedCards << card;
        } else {
            countWithNote(pass, *counts, card);
        }
    });
    std::stable_sort(pass.deletedCards.begin(), pass.deletedCards.end(), cardTrashOrder);
    return pass;
}

bool TrashContents::countAgain(CardPass &pass, const QList<CanvasCard *> &cards)
{
    const QSet<const CanvasCard *> written(cards.cbegin(), cards.cend());
    pass.deletedCards.removeIf([&written](const CanvasCard *card) { return written.contains(card); });
    for (const CanvasCard *card : cards) {
        const auto counted = pass.counted.constFind(card);
        if (counted == pass.counted.cend())
            continue;
        const auto counts = pass.deletedBoardCards.find(counted->first);
        if (counts == pass.deletedBoardCards.end())
            return false;
        --(counted->second ? counts->snips : counts->thoughts);
        pass.counted.erase(counted);
    }
    for (CanvasCard *card : cards) {
        const auto counts = pass.deletedBoardCards.find(card->boardID());
        if (counts == pass.deletedBoardCards.end()) {
            if (card->isLive())
                continue;
            const auto at = std::lower_bound(pass.deletedCards.cbegin(), pass.deletedCards.cend(), card, cardTrashOrder);
            // Another card of the same id and date: where the pass over
            // every card puts it depends on their places in the library.
            if (at != pass.deletedCards.cend() && !cardTrashOrder(card, *at))
                return false;
            pass.deletedCards.insert(at, card);
        } else {
            countWithNote(pass, *counts, card);
        }
    }
    return true;
}

QString TrashContents::subtitle() const
{
    const int n = count();
    if (n == 0)
        return TrashModel::tr("Deleted items can be restored");
    return n == 1 ? TrashModel::tr("%1 recoverable item").arg(n) : TrashModel::tr("%1 recoverable items").arg(n);
}

QDateTime TrashCardTexts::displayDate(const CanvasCard &card)
{
    return card.capturedAt().value_or(card.updatedAt());
}

bool TrashCardTexts::sourceIsBoard(const std::optional<QString> &boardTitle)
{
    return boardTitle && !boardTitle->isEmpty();
}

QString TrashCardTexts::source(const CanvasCard &card, const std::optional<QString> &boardTitle)
{
    if (sourceIsBoard(boardTitle))
        return *boardTitle;
    return card.sourceApplicationName().value_or(QString());
}

QString TrashCardTexts::accessibilitySummary(const CanvasCard &card, const std::optional<QString> &boardTitle)
{
    QStringList items{CardSummary::kindLabel(card), card.displayTitle()};
    if (sourceIsBoard(boardTitle))
        items << QStringLiteral("Board: ") + *boardTitle;
    return items.join(QStringLiteral(", "));
}

TrashItemModel::TrashItemModel(Section section, QObject *parent)
    : QAbstractListModel(parent)
    , m_section(section)
{
}

void TrashItemModel::setContents(const TrashContents &contents, bool cardsWritten)
{
    // After an item is deleted for good, the grid moves up the tiles after
    // it rather than making every tile again, and the other grid is left
    // as it is.
    const auto taken = m_section == Section::boards ? takenFromFetched(contents.deletedBoards, m_boards)
                                                    : takenFromFetched(contents.deletedCards, m_cards);
    if (!m_listed || !taken || (m_section == Section::cards && cardsWritten)) {
        listAgain(contents);
        return;
    }
    m_counts = contents.deletedBoardCards;
    removeRows(*taken);
    if (m_section == Section::boards) {
        for (qsizetype row = 0; row < m_boards.size(); ++row) {
            BoardCollectionPreview tile = tileOf(*m_boards.at(row));
            if (tile == m_boardTiles.at(row))
                continue;
            m_boardTiles[row] = std::move(tile);
            Q_EMIT dataChanged(index(int(row)), index(int(row)));
        }
        return;
    }
    bool retitled = false;
    for (auto title = m_boardTitles.begin(); title != m_boardTitles.end();) {
        const Board *board = contents.boardsByID.value(title.key());
        if (!board) {
            title = m_boardTitles.erase(title);
            retitled = true;
            continue;
        }
        if (board->title() != *title) {
            *title = board->title();
            retitled = true;
        }
        ++title;
    }
    if (retitled && !m_cards.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(m_cards.size()) - 1));
}

void TrashItemModel::setCards(const TrashContents &contents, const QList<CanvasCard *> &cardsWritten)
{
    if (!m_listed || !moveRows(contents, cardsWritten))
        listAgain(contents);
}

void TrashItemModel::removeRows(const QList<qsizetype> &taken)
{
    // Runs of rows from the last, so the earlier rows stay where they are.
    for (qsizetype at = taken.size() - 1; at >= 0;) {
        const qsizetype last = taken.at(at);
        qsizetype first = last;
        for (--at; at >= 0 && taken.at(at) == first - 1; --at)
            --first;
        beginRemoveRows({}, int(first), int(last));
        if (m_section == Section::boards) {
            m_boards.remove(first, last - first + 1);
            m_boardTiles.remove(first, last - first + 1);
        } else {
            m_cards.remove(first, last - first + 1);
        }
        endRemoveRows();
    }
}

BoardCollectionPreview TrashItemModel::tileOf(const Board &board) const
{
    const TrashContents::CardCounts counts = m_counts.value(board.id());
    return BoardCollectionPreview(board, counts.snips, counts.thoughts);
}

bool TrashItemModel::moveRows(const TrashContents &contents, const QList<CanvasCard *> &written)
{
    const QSet<const CanvasCard *> moved(written.cbegin(), written.cend());
    const auto stays = [&moved](const CanvasCard *card) { return !moved.contains(card); };
    // Every other card keeps its place among the others.
    if (!std::ranges::equal(m_cards | std::views::filter(stays), contents.deletedCards | std::views::filter(stays)))
        return false;
    QList<qsizetype> taken;
    for (qsizetype row = 0; row < m_cards.size(); ++row) {
        if (!stays(m_cards.at(row)))
            taken.append(row);
    }
    removeRows(taken);
    for (qsizetype row = 0; row < contents.deletedCards.size(); ++row) {
        CanvasCard *card = contents.deletedCards.at(row);
        if (stays(card))
            continue;
        beginInsertRows({}, int(row), int(row));
        m_cards.insert(row, card);
        addBoardTitle(contents, *card);
        endInsertRows();
    }
    return true;
}

void TrashItemModel::addBoardTitle(const TrashContents &contents, const CanvasCard &card)
{
    const QUuid boardID = card.boardID();
    if (m_boardTitles.contains(boardID))
        return;
    if (const Board *board = contents.boardsByID.value(boardID))
        m_boardTitles.insert(boardID, board->title());
}

void TrashItemModel::listAgain(const TrashContents &contents)
{
    m_listed = true;
    beginResetModel();
    m_boards.clear();
    m_boardTiles.clear();
    m_cards.clear();
    m_boardTitles.clear();
    m_counts = contents.deletedBoardCards;
    if (m_section == Section::boards) {
        m_boards = contents.deletedBoards;
        // A tile asks for a dozen of its texts each time it is painted:
        // worked out once for each listing, not once for each question.
        m_boardTiles.reserve(m_boards.size());
        for (const Board *board : std::as_const(m_boards))
            m_boardTiles.append(tileOf(*board));
    } else {
        m_cards = contents.deletedCards;
        // Thousands of deleted cards come from far fewer notes.
        for (const CanvasCard *card : std::as_const(m_cards))
            addBoardTitle(contents, *card);
    }
    endResetModel();
}

int TrashItemModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return int(m_section == Section::boards ? m_boards.size() : m_cards.size());
}

QVariant TrashItemModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (m_section == Section::boards)
        return boardData(*m_boards.at(index.row()), m_boardTiles.at(index.row()), role);
    return cardData(*m_cards.at(index.row()), role);
}

QVariant TrashItemModel::boardData(const Board &board, const BoardCollectionPreview &tile, int role) const
{
    // The note tile's own rules: status, focus line and spoken summary.
    switch (role) {
    case IdRole:
    case BoardIdRole:
        return board.id();
    case Qt::DisplayRole:
    case TitleRole:
        return board.title();
    case DetailRole:
        return tile.focusText;
    case HasDetailRole:
        return tile.hasFocusQuestion;
    case KindLabelRole:
        return tile.statusLabel;
    case KindSymbolRole:
        return tile.statusSymbol;
    case ShowsTagRole:
        return tile.showsStatusTag;
    case ToneRole:
        return int(QuietCardTone::thought);
    case SnipCountRole:
        return tile.snipCount;
    case ThoughtCountRole:
        return tile.thoughtCount;
    case DateRole:
        return board.updatedAt();
    case Qt::AccessibleTextRole:
        return tile.accessibilitySummary;
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole:
        return TrashModel::tr("Opens this deleted board");
    default:
        return {};
    }
}

std::optional<QString> TrashItemModel::boardTitle(const CanvasCard &card) const
{
    const auto title = m_boardTitles.constFind(card.boardID());
    return title == m_boardTitles.constEnd() ? std::nullopt : std::optional<QString>(*title);
}

int TrashItemModel::rowOf(const QUuid &id) const
{
    if (id.isNull())
        return -1;
    if (m_section == Section::boards) {
        const auto found = std::find_if(m_boards.cbegin(), m_boards.cend(),
                                        [&id](const Board *board) { return board->id() == id; });
        return found == m_boards.cend() ? -1 : int(found - m_boards.cbegin());
    }
    const auto found = std::find_if(m_cards.cbegin(), m_cards.cend(),
                                    [&id](const CanvasCard *card) { return card->id() == id; });
    return found == m_cards.cend() ? -1 : int(found - m_cards.cbegin());
}

QVariant TrashItemModel::cardData(const CanvasCard &card, int role) const
{
    switch (role) {
    case IdRole:
        return card.id();
    case BoardIdRole:
        return card.boardID();
    case Qt::DisplayRole:
    case TitleRole:
        return card.displayTitle();
    case DetailRole:
        return CardSummary::excerpt(card);
    case HasDetailRole:
        return !CardSummary::excerpt(card).isEmpty();
    case KindLabelRole:
        return CardSummary::kindLabel(card);
    case KindSymbolRole:
        return CardSummary::kindSymbol(card);
    case ShowsTagRole:
        return true;
    case IsSnipRole:
        // Asked of every deleted card to lay the grid out: the stored kind
        // compared as it is, not read into a kind first.
        return card.isSnip();
    case IsAIGeneratedRole:
        return card.isAIGenerated();
    case ToneRole:
        switch (card.kind()) {
        case CardKind::snip:
            return int(QuietCardTone::snip);
        case CardKind::ghost:
            return int(QuietCardTone::suggestion);
        case CardKind::thought:
            break;
        }
        return int(QuietCardTone::thought);
    case SourceRole:
        return TrashCardTexts::source(card, boardTitle(card));
    case SourceSymbolRole:
        return TrashCardTexts::sourceIsBoard(boardTitle(card)) ? QStringLiteral("rectangle.3.group")
                                                               : QStringLiteral("app");
    case DateRole:
        return TrashCardTexts::displayDate(card);
    case Qt::AccessibleTextRole:
        return TrashCardTexts::accessibilitySummary(card, boardTitle(card));
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole:
        return TrashModel::tr("Opens this deleted item");
    default:
        return {};
    }
}

QHash<int, QByteArray> TrashItemModel::roleNames() const
{
    auto names = QAbstractListModel::roleNames();
    names.insert(IdRole, "id");
    names.insert(BoardIdRole, "boardID");
    names.insert(TitleRole, "title");
    return names;
}

TrashModel::Actions TrashModel::windowActions(TrashActions &actions)
{
    TrashActions *window = &actions;
    Actions result;
    result.openBoard = [window](const QUuid &id) { window->openDeletedBoard(id); };
    result.openCard = [window](const QUuid &boardID, const QUuid &cardID) { window->openDeletedCard(boardID, cardID); };
    result.restoreBoard = [window](const QUuid &id) { window->restoreBoard(id); };
    result.restoreCard = [window](const QUuid &id) { window->restoreCard(id); };
    result.deleteBoardPermanently = [window](const QUuid &id) { window->deleteBoardPermanently(id); };
    result.deleteCardPermanently = [window](const QUuid &id) { window->deleteCardPermanently(id); };
    return result;
}

TrashModel::TrashModel(LibraryQuery &library, Actions actions, QObject *parent)
    : QObject(parent)
    , m_library(library)
    , m_actions(std::move(actions))
    // Everything a tile shows or the lists are made from; not where a card
    // sits on a map, nor a note's writing or how it was last opened.
    , m_changes(new LibraryChangeFilter(
          library,
          {Board::IdProperty, Board::TitleProperty, Board::FocusQuestionProperty, Board::StatusRawValueProperty,
           Board::IsInboxProperty, Board::CreatedAtProperty, Board::UpdatedAtProperty, Board::ArchivedAtProperty,
           Board::DeletedAtProperty, Board::IsFavoriteProperty, Board::FolderNameProperty},
          [] {
              QSet<int> properties;
              for (int property = CanvasCard::IdProperty; property <= CanvasCard::DeletedAtProperty; ++property)
                  properties.insert(property);
              for (int layout : {CanvasCard::CanvasXProperty, CanvasCard::CanvasYProperty, CanvasCard::CanvasWidthProperty,
                                 CanvasCard::CanvasHeightProperty, CanvasCard::IsPlacedProperty,
                                 CanvasCard::GroupIDProperty})
                  properties.remove(layout);
              return properties;
          }(),
          this))
    , m_boards(new TrashItemModel(TrashItemModel::Section::boards, this))
    , m_cards(new TrashItemModel(TrashItemModel::Section::cards, this))
{
    connect(&library, &LibraryQuery::changed, this, &TrashModel::refresh);
    refresh();
}

bool TrashModel::canDelete(TrashItemModel::Section section) const
{
    return section == TrashItemModel::Section::boards ? bool(m_actions.deleteBoardPermanently)
                                                      : bool(m_actions.deleteCardPermanently);
}

void TrashModel::refresh()
{
    const LibraryChangeFilter::Changes changes = m_changes->takeChanges();
    if (!changes.changed)
        return;
    // Cards added alive to notes not deleted (a capture) change nothing
    // here: not worth a pass over every card.
    if (changes.cardsAddedFrom) {
        const QList<CanvasCard *> &cards = m_library.cards();
        const auto inTrash = [this](const CanvasCard *card) {
            return !card->isLive()
                || std::any_of(m_contents.deletedBoards.cbegin(), m_contents.deletedBoards.cend(),
                               [card](const Board *board) { return board->id() == card->boardID(); });
        };
        const bool touchesTrash = std::any_of(cards.cbegin() + *changes.cardsAddedFrom, cards.cend(), inTrash);
        if (!touchesTrash)
            return;
    }
    if (changes.cardsWritten) {
        // The notes are as they were: only what the cards give is worked
        // out again.
        QSet<QUuid> deletedBoardIDs;
        for (const Board *board : std::as_const(m_contents.deletedBoards))
            deletedBoardIDs.insert(board->id());
        const TrashContents::CardPass &pass = TrashCardPass::of(m_library).pass(deletedBoardIDs);
        m_contents.deletedCards = pass.deletedCards;
        m_contents.deletedBoardCards = pass.deletedBoardCards;
    } else {
        m_contents = TrashContents::from(m_library.boards(), [this](const QSet<QUuid> &deletedBoardIDs) {
            return TrashCardPass::of(m_library).pass(deletedBoardIDs);
        });
    }
    // A deleted card's tile reads the card as it paints: one written since
    // is listed again, where it stands now when it is known.
    const quint64 cardWrites = m_library.cardWritesRevision();
    const bool cardsWritten = cardWrites != m_cardWritesSeen;
    m_cardWritesSeen = cardWrites;
    m_boards->setContents(m_contents);
    if (changes.cardsWritten)
        m_cards->setCards(m_contents, *changes.cardsWritten);
    else
        m_cards->setContents(m_contents, cardsWritten);
    Q_EMIT contentsChanged();
}

QUuid TrashModel::idAt(TrashItemModel::Section section, int row, QUuid *boardID) const
{
    const TrashItemModel *model = section == TrashItemModel::Section::boards ? m_boards : m_cards;
    const QModelIndex index = model->index(row);
    if (!index.isValid())
        return {};
    if (boardID)
        *boardID = index.data(TrashItemModel::BoardIdRole).toUuid();
    return index.data(TrashItemModel::IdRole).toUuid();
}

void TrashModel::open(TrashItemModel::Section section, int row)
{
    QUuid boardID;
    const QUuid id = idAt(section, row, &boardID);
    if (id.isNull())
        return;
    if (section == TrashItemModel::Section::boards) {
        if (m_actions.openBoard)
            m_actions.openBoard(id);
    } else if (m_actions.openCard) {
        m_actions.openCard(boardID, id);
    }
}

void TrashModel::restore(TrashItemModel::Section section, int row)
{
    restore(section, idAt(section, row));
}

void TrashModel::requestDeletion(TrashItemModel::Section section, int row)
{
    requestDeletion(section, idAt(section, row));
}

int TrashModel::rowOf(TrashItemModel::Section section, const QUuid &id) const
{
    return (section == TrashItemModel::Section::boards ? m_boards : m_cards)->rowOf(id);
}

void TrashModel::restore(TrashItemModel::Section section, const QUuid &id)
{
    // Only what is still in the trash: a menu may outlive its item there.
    if (rowOf(section, id) < 0)
        return;
    const auto &action = section == TrashItemModel::Section::boards ? m_actions.restoreBoard : m_actions.restoreCard;
    if (action)
        action(id);
}

void TrashModel::requestDeletion(TrashItemModel::Section section, const QUuid &id)
{
    if (rowOf(section, id) < 0 || !canDelete(section))
        return;
    m_pending = PendingDeletion{section, id};
    Q_EMIT pendingDeletionChanged();
}

void TrashModel::confirmDeletion()
{
    if (!m_pending)
        return;
    const PendingDeletion pending = *m_pending;
    // Cleared first: the purge refreshes the lists, which must not see a
    // confirmation still waiting for an item that is gone.
    m_pending.reset();
    const auto &action = pending.section == TrashItemModel::Section::boards ? m_actions.deleteBoardPermanently
                                                                            : m_actions.deleteCardPermanently;
    if (action)
        action(pending.id);
    Q_EMIT pendingDeletionChanged();
}

void TrashModel::cancelDeletion()
{
    if (!m_pending)
        return;
    m_pending.reset();
    Q_EMIT pendingDeletionChanged();
}

} // namespace tessaline
