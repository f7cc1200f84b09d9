#pragma once

#include "platform/SearchIndex.h"

#include <QByteArray>
#include <QFuture>
#include <QHash>
#include <QObject>
#include <QString>
#include <QUuid>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace tessaline {

class Board;
class CanvasCard;
class SerialExecutor;

// What the desktop search learns about one card.
struct DesktopSearchRecord
{
    QUuid id;
    QString title;
    QString text;
    std::optional<QString> boardName;
    std::optional<QString> sourceApplication;
    std::optional<QByteArray> thumbnailData;
};

// Puts cards into the desktop-search index, one item per card identified by
// the card's UUID text, and takes them out again when a card is deleted for
// good. Calls run one at a time on a worker thread of the service's own;
// each outcome's future finishes on the receiver's thread while the receiver
// lives: attach the follow-up with `then(receiver, ...)`. Once no call has
// come for `upkeepDelay`, the worker does the index's upkeep in short steps,
// each behind the calls queued meanwhile.
class DesktopSearchIndexService
{
public:
    using IndexFactory = std::function<std::unique_ptr<SearchIndexing>()>;
    using Outcome = Expected<void, SearchIndexError>;

    // The index is made by `factory` on the worker thread, at first use.
    static constexpr std::chrono::milliseconds defaultUpkeepDelay{5000};

    explicit DesktopSearchIndexService(IndexFactory factory = defaultIndexFactory(),
                                   QString domainIdentifier = defaultDomainIdentifier(),
                                   std::chrono::milliseconds upkeepDelay = defaultUpkeepDelay);
    ~DesktopSearchIndexService();

    static IndexFactory defaultIndexFactory();
    static QString defaultDomainIdentifier();

    QString domainIdentifier() const { return m_domainIdentifier; }

    // The index item of a record: title, text as the description, note name
    // and source application as keywords, the source application as creator.
    static SearchableItem searchableItem(const DesktopSearchRecord &record, const QString &domainIdentifier);

    QFuture<Outcome> index(const DesktopSearchRecord &record, QObject *receiver);
    QFuture<Outcome> remove(const QUuid &cardID, QObject *receiver);
    // The cards of a note deleted for good, in one call: each call is a
    // wake of the worker, and the window waits on handing each over.
    QFuture<Outcome> remove(const QList<QUuid> &cardIDs, QObject *receiver);
    // Removes every entry but those of the given cards: given every card the
    // library holds, trashed ones included, what remains of cards deleted
    // for good whose own removal never ran (the app ended first, or the
    // index could not be written then). Entries not named by a card's id
    // are not the app's to judge and stay.
    QFuture<Outcome> keepOnly(const QList<QUuid> &cardIDs, QObject *receiver);
    // Of the given cards, those without an entry: a library restored or
    // copied without the index file beside it.
    QFuture<Expected<QList<QUuid>, SearchIndexError>> unindexed(QList<QUuid> cardIDs, QObject *receiver);
    // Each card's note, as a library gives it: the note titles by id and
    // each card's id with its note's. Only ids are copied on the caller's
    // thread; the names are matched up on the index's worker, as a library
    // of fifty thousand cards makes that a frame's work.
    struct NoteNaming
    {
        QHash<QUuid, QString> titles;
        std::vector<std::pair<QUuid, QUuid>> cardNotes;
    };
    static NoteNaming noteNaming(const QList<Board *> &boards, const QList<CanvasCard *> &cards);

    // Has each entry name its card's note as `naming` names it now, where it
    // names another: the title of a note deleted for good then stays in no
    // entry of its snips that went on in other notes. Entries of cards not
    // given stay as they are.
    QFuture<Outcome> renameNotes(NoteNaming naming, QObject *receiver);

    // The cards whose entries name a note of this title: looked for on the
    // worker, so that a note deleted for good has only its own names looked
    // up here (mostly none), not every card's.
    QFuture<Expected<QList<QUuid>, SearchIndexError>> entriesNaming(QString noteTitle, QObject *receiver);

    // The note an entry names: its card's note's title, or the app's name
    // for a card whose note is not there.
    static QString noteName(const CanvasCard &card, const QList<Board *> &boards);

private:
    struct WorkerState;

    QString m_domainIdentifier;
    std::shared_ptr<WorkerState> m_state;
    std::unique_ptr<SerialExecutor> m_executor;
};

} // namespace tessaline
