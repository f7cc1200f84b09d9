#include "shell/SidebarModel.h"

#include "runtime/LibraryChangeFilter.h"
#include "runtime/LibraryQuery.h"
#include "model/Board.h"
#include "model/CanvasCard.h"
#include "runtime/OnboardingCoordinator.h"

#include <QCollator>
#include <QSet>

#include <algorithm>

namespace tessaline {

SidebarModel::SidebarModel(LibraryQuery &library, OnboardingCoordinator *onboarding, QObject *parent)
    : QAbstractListModel(parent)
    , m_library(library)
    , m_onboarding(onboarding)
    // The inbox, the deleted notes and cards, and the folder names of the
    // live notes.
    , m_changes(new LibraryChangeFilter(library,
                                        {Board::IdProperty, Board::IsInboxProperty,
                                         Board::SortIndexProperty, Board::DeletedAtProperty, Board::FolderNameProperty},
                                        {CanvasCard::IdProperty, CanvasCard::BoardIDProperty, CanvasCard::DeletedAtProperty},
                                        this))
{
    connect(&m_library, &LibraryQuery::changed, this, &SidebarModel::refresh);
    if (m_onboarding)
        connect(m_onboarding, &OnboardingCoordinator::tourStepChanged, this, &SidebarModel::refresh);
    m_changes->takeChange();
    m_counts = countsOf(m_library.boards(), m_library.cards());
    m_rows = rowsFor(m_counts, m_onboarding ? m_onboarding->tourStep() : std::nullopt);
}

int SidebarModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant SidebarModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const SidebarRow &row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return row.title;
    case Qt::AccessibleTextRole:
        if (row.count && *row.count > 0)
            return QStringLiteral("%1, %2").arg(row.title, QString::number(*row.count));
        return row.title;
    case SystemImageRole:
        return row.systemImage;
    case CountRole:
        return row.count ? QVariant(*row.count) : QVariant();
    case IsSectionRole:
        return row.type == SidebarRow::Type::section;
    case IsTourHighlightedRole:
        return row.isTourHighlighted;
    default:
        return {};
    }
}

Qt::ItemFlags SidebarModel::flags(const QModelIndex &index) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return Qt::NoItemFlags;
    if (m_rows.at(index.row()).type == SidebarRow::Type::section)
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

int SidebarModel::rowForDestination(const std::optional<SidebarDestination> &destination) const
{
    if (!destination)
        return -1;
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_rows.at(row).destination == destination)
            return row;
    }
    return -1;
}

std::optional<SidebarDestination> SidebarModel::destinationAt(int row) const
{
    if (row < 0 || row >= m_rows.size())
        return std::nullopt;
    return m_rows.at(row).destination;
}

void SidebarModel::refresh()
{
    // A save that only added cards (a capture) counts those alone, as one
    // that only wrote some (a card trashed or moved) counts those again.
    // One that only deleted some for good (a note purged with its cards)
    // takes those out.
    const LibraryChangeFilter::Changes changes = m_changes->takeChanges();
    if (changes.cardsAddedFrom)
        countCards(m_counts, m_library.cards(), *changes.cardsAddedFrom);
    else if (changes.cardsWritten)
        countAgain(m_counts, *changes.cardsWritten);
    else if (changes.changed && !(changes.taken && takeOut(changes.taken->boards, changes.taken->cards)))
        m_counts = countsOf(m_library.boards(), m_library.cards());
    QList<SidebarRow> rows = rowsFor(m_counts, m_onboarding ? m_onboarding->tourStep() : std::nullopt);
    if (rows == m_rows)
        return;
    const bool sameShape = rows.size() == m_rows.size() && std::equal(rows.cbegin(), rows.cend(), m_rows.cbegin(),
        [](const SidebarRow &a, const SidebarRow &b) { return a.type == b.type && a.destination == b.destination && a.title == b.title; });
    if (sameShape) {
        m_rows = std::move(rows);
        Q_EMIT dataChanged(index(0), index(int(m_rows.size()) - 1));
        return;
    }
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

QList<SidebarRow> SidebarModel::makeRows(const QList<Board *> &boards, const QList<CanvasCard *> &cards,
                                         std::optional<GuidedTourStep> tourStep)
{
    return rowsFor(countsOf(boards, cards), tourStep);
}

SidebarModel::Counts SidebarModel::countsOf(const QList<Board *> &boards, const QList<CanvasCard *> &cards)
{
    // quickCapturesCount() and recentlyDeletedCount() in one walk over the
    // cards, which in a large library is most of the work.
    Counts counts = noteCountsOf(boards);
    countCards(counts, cards, 0);
    return counts;
}

SidebarModel::Counts SidebarModel::noteCountsOf(const QList<Board *> &boards)
{
    Counts counts;
    counts.folders = folderNames(boards);
    if (const Board *inbox = LibraryQuery::quickCapturesNote(boards))
        counts.inboxID = inbox->id();
    for (const Board *board : boards) {
        if (!board->isLive()) {
            counts.deletedNotes.insert(board->id());
            ++counts.deletedNoteCount;
        }
    }
    return counts;
}

bool SidebarModel::takeOut(const QList<Board *> &boards, const QList<CanvasCard *> &cards)
{
    // Counted whole again when this cannot tell them.
    Counts &counts = m_counts;
    for (const CanvasCard *card : cards) {
        counts.quickCaptures.remove(card);
        counts.deletedCards.remove(card);
    }
    if (!boards.isEmpty()) {
        const Counts notes = noteCountsOf(m_library.boards());
        if (notes.inboxID != counts.inboxID)
            return false;
        for (const Board *board : boards) {
            if (!board->isLive() && !notes.deletedNotes.contains(board->id())
                && !m_library.cardPositionsOfNote(board->id()).isEmpty())
                return false;
        }
        counts.folders = notes.folders;
        counts.deletedNotes = notes.deletedNotes;
        counts.deletedNoteCount = notes.deletedNoteCount;
    }
    return true;
}

void SidebarModel::countCards(Counts &counts, const QList<CanvasCard *> &cards, qsizetype from)
{
    walkCards(cards, from, [&counts](qsizetype, const CanvasCard *card) { countCard(counts, card); });
}

void SidebarModel::countCard(Counts &counts, const CanvasCard *card)
{
    if (card->isLive()) {
        if (counts.inboxID && card->boardID() == *counts.inboxID)
            counts.quickCaptures.insert(card);
    } else if (!counts.deletedNotes.contains(card->boardID())) {
        counts.deletedCards.insert(card);
    }
}

void SidebarModel::countAgain(Counts &counts, const QList<CanvasCard *> &written)
{
    for (const CanvasCard *card : written) {
        counts.quickCaptures.remove(card);
        counts.deletedCards.remove(card);
        countCard(counts, card);
    }
}

QList<SidebarRow> SidebarModel::rowsFor(const Counts &counts, std::optional<GuidedTourStep> tourStep)
{
    auto destinationRow = [](const QString &title, const QString &image, const SidebarDestination &destination,
                             std::optional<int> count = std::nullopt, bool highlighted = false) {
        SidebarRow row;
        row.title = title;
        row.systemImage = image;
        row.destination = destination;
        row.count = count;
        row.isTourHighlighted = highlighted;
        return row;
    };
    auto sectionRow = [](const QString &header) {
        SidebarRow row;
        row.type = SidebarRow::Type::section;
        row.title = header;
        return row;
    };

    QList<SidebarRow> rows;
    rows << destinationRow(QStringLiteral("Notes"), QStringLiteral("note.text"), SidebarDestination::notes(), std::nullopt,
                           tourStep == GuidedTourStep::today)
         << destinationRow(QStringLiteral("Quick Captures"), QStringLiteral("tray"), SidebarDestination::inbox(),
                           int(counts.quickCaptures.size()), tourStep == GuidedTourStep::boards)
         << destinationRow(QStringLiteral("Snips"), QStringLiteral("photo.on.rectangle"), SidebarDestination::captures())
         << destinationRow(QStringLiteral("Favorites"), QStringLiteral("star"), SidebarDestination::favorites());

    const QStringList &folders = counts.folders;
    if (!folders.isEmpty()) {
        rows << sectionRow(QStringLiteral("Folders"));
        for (const QString &name : folders)
            rows << destinationRow(name, QStringLiteral("folder"), SidebarDestination::folder(name));
    }
    rows << sectionRow(QString());
    rows << destinationRow(QStringLiteral("Recently Deleted"), QStringLiteral("trash"), SidebarDestination::trash(),
                           counts.recentlyDeleted());
    return rows;
}

QStringList SidebarModel::folderNames(const QList<Board *> &boards)
{
    QStringList names;
    QSet<QString> seen;
    for (const Board *board : boards) {
        if (!board->isLive() || board->isInbox())
            continue;
        const std::optional<QString> name = board->folderName();
        if (!name || seen.contains(*name))
            continue;
        seen.insert(*name);
        names.append(*name);
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(names.begin(), names.end(),
                     [&](const QString &a, const QString &b) { return collator.compare(a, b) < 0; });
    return names;
}

int SidebarModel::quickCapturesCount(const QList<Board *> &boards, const QList<CanvasCard *> &cards)
{
    const Board *inbox = LibraryQuery::quickCapturesNote(boards);
    if (!inbox)
        return 0;
    const QUuid inboxID = inbox->id();
    return int(std::count_if(cards.cbegin(), cards.cend(),
                             [&](const CanvasCard *card) { return card->boardID() == inboxID && card->isLive(); }));
}

int SidebarModel::recentlyDeletedCount(const QList<Board *> &boards, const QList<CanvasCard *> &cards)
{
    QSet<QUuid> deletedNotes;
    for (const Board *board : boards) {
        if (!board->isLive())
            deletedNotes.insert(board->id());
    }
    int count = 0;
    for (const Board *board : boards)
        count += board->isLive() ? 0 : 1;
    for (const CanvasCard *card : cards) {
        if (!card->isLive() && !deletedNotes.contains(card->boardID()))
            ++count;
    }
    return count;
}

} // namespace tessaline
