#pragma once

#include "runtime/SidebarDestination.h"
#include "runtime/OnboardingState.h"

#include <QAbstractListModel>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace tessaline {

class Board;
class CanvasCard;
class LibraryChangeFilter;
class LibraryQuery;
class OnboardingCoordinator;

// One line of the sidebar: a destination row, or the start of a section
// (with its header text, empty for a section without one).
struct SidebarRow
{
    enum class Type { destination, section };

    Type type = Type::destination;
    QString title;
    QString systemImage;
    std::optional<SidebarDestination> destination;
    // None: no badge. A number: the badge, which shows nothing below 1.
    std::optional<int> count;
    bool isTourHighlighted = false;

    friend bool operator==(const SidebarRow &, const SidebarRow &) = default;
};

// The sidebar's rows: Notes, Quick Captures, Snips and Favorites; a Folders
// section with one row per folder name of the live notes; Recently Deleted.
// Recomputed from the window's live queries and the guided tour's step
// whenever either changes.
class SidebarModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role {
        SystemImageRole = Qt::UserRole + 1,
        CountRole,         // int, or invalid when the row has no badge
        IsSectionRole,     // bool
        IsTourHighlightedRole,
    };

    SidebarModel(LibraryQuery &library, OnboardingCoordinator *onboarding, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    const QList<SidebarRow> &rows() const { return m_rows; }
    // The row showing this destination; -1 when it has none (search, a
    // single note, today, boards, archive) or when there is no destination.
    int rowForDestination(const std::optional<SidebarDestination> &destination) const;
    std::optional<SidebarDestination> destinationAt(int row) const;

    // Recomputes the rows; counts and highlights change in place, a
    // different set of rows resets the model.
    void refresh();

    static QList<SidebarRow> makeRows(const QList<Board *> &boards, const QList<CanvasCard *> &cards,
                                      std::optional<GuidedTourStep> tourStep);
    // Folder names of live, non-inbox notes, as stored, without exact
    // duplicates, in case-insensitive collation order.
    static QStringList folderNames(const QList<Board *> &boards);
    // Live cards of the Quick Captures note; 0 when it does not exist.
    static int quickCapturesCount(const QList<Board *> &boards, const QList<CanvasCard *> &cards);
    // Deleted notes, plus deleted cards that are not counted with a deleted
    // note of theirs.
    static int recentlyDeletedCount(const QList<Board *> &boards, const QList<CanvasCard *> &cards);

private:
    // What the rows show of the library, worked out in one go.
    struct Counts
    {
        QStringList folders;
        // What the cards are counted by, from the notes.
        std::optional<QUuid> inboxID;
        QSet<QUuid> deletedNotes;
        int deletedNoteCount = 0;
        // The cards counted, so one written is taken out as it was counted
        // before it is counted again: the inbox's live cards, and the
        // deleted cards not counted with a deleted note of theirs.
        QSet<const CanvasCard *> quickCaptures;
        QSet<const CanvasCard *> deletedCards;

        int recentlyDeleted() const { return deletedNoteCount + int(deletedCards.size()); }
    };
    static Counts countsOf(const QList<Board *> &boards, const QList<CanvasCard *> &cards);
    // What the notes alone give: folders, the inbox, the deleted notes.
    static Counts noteCountsOf(const QList<Board *> &boards);
    // Takes notes and cards deleted for good out of the counts; false, the
    // counts then half changed, when that cannot tell them (the inbox went,
    // or a deleted note went and left cards the counts now take in).
    bool takeOut(const QList<Board *> &boards, const QList<CanvasCard *> &cards);
    // Counts cards added since, the notes unchanged.
    static void countCards(Counts &counts, const QList<CanvasCard *> &cards, qsizetype from);
    static void countCard(Counts &counts, const CanvasCard *card);
    // Counts written cards again, the notes unchanged.
    static void countAgain(Counts &counts, const QList<CanvasCard *> &written);
    static QList<SidebarRow> rowsFor(const Counts &counts, std::optional<GuidedTourStep> tourStep);

    LibraryQuery &m_library;
    OnboardingCoordinator *m_onboarding;
    // Counted again only when a save changed what they count.
    LibraryChangeFilter *m_changes;
    Counts m_counts;
    QList<SidebarRow> m_rows;
};

} // namespace tessaline
