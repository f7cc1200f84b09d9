#pragma once

#include "runtime/SidebarDestination.h"

#include <QDateTime>
#include <QObject>
#include <QUuid>

#include <functional>

namespace tessaline {

class CanvasCard;
class LibraryQuery;
class ModelChangeScope;
class NavigationState;
class DesktopSearchIndexService;
class SearchIndexRestorer;

// What the Recently Deleted and search screens ask the main window to do:
// restore, purge or open a note or card, by identifier. Items are looked up
// in the window's live queries; a missing one changes nothing in the store.
// Nothing here asks for confirmation (the trash screen does), and these are
// the only operations that take entities out of the library for good.
//
// Each store change is saved at once. A failed save takes back that change
// alone, so the screens never show a change the library does not hold, and
// says why through `failed`. A card purged for good also leaves the desktop-search index,
// once the purge is saved; a snip restored (or restored with its note) that
// has no entry there gets one.
class TrashActions : public QObject
{
    Q_OBJECT
public:
    TrashActions(LibraryQuery &library, NavigationState &navigation, DesktopSearchIndexService *index,
                 QObject *parent = nullptr);
    ~TrashActions() override;

    // Dates stamped on restored entities; the current time by default.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    // False only when the restore could not be saved (an item that is gone
    // has nothing to restore).
    bool restoreBoard(const QUuid &boardID);
    void openDeletedBoard(const QUuid &boardID);
    bool restoreCard(const QUuid &cardID);
    void openDeletedCard(const QUuid &boardID, const QUuid &cardID);
    // The Quick Captures note is never purged.
    void deleteBoardPermanently(const QUuid &boardID);
    void deleteCardPermanently(const QUuid &cardID);
    // A snip opens in the gallery over the search results; anything else
    // opens its editor on the notes screen with its note active.
    void openSearchResult(const QUuid &boardID, const QUuid &cardID);

Q_SIGNALS:
    // A purged card's index entry is gone (or could not be removed).
    void indexEntryRemoved(const QUuid &cardID);
    // A change could not be saved and was taken back; the message says why.
    void failed(const QString &message);

private:
    bool saveOrUndo(ModelChangeScope &scope);
    void removeIndexEntries(const QList<QUuid> &cardIDs);
    // Snips that went to Recently Deleted before their entry was written
    // (or whose entry could not be) are found in no search until then.
    void indexRestored(const QList<CanvasCard *> &cards);
    void openCard(const QUuid &cardID);

    LibraryQuery &m_library;
    NavigationState &m_navigation;
    DesktopSearchIndexService *m_index;
    SearchIndexRestorer *m_restorer = nullptr;
    std::function<QDateTime()> m_clock;
};

} // namespace tessaline
