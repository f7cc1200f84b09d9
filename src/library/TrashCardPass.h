#pragma once

#include "library/TrashModel.h"

#include <QObject>
#include <QSet>
#include <QUuid>

#include <optional>

namespace tessaline {

class LibraryQuery;

// Recently Deleted's pass over every card, kept with the window's reading of
// the library for all its Recently Deleted screens: made again only once the
// cards changed or other notes are deleted, so coming back to the screen
// after opening a note (a save that wrote only the note) walks no card, and
// a note deleted for good with its cards looks at those cards alone.
// Main thread.
class TrashCardPass : public QObject
{
    Q_OBJECT
public:
    static TrashCardPass &of(LibraryQuery &library);

    const TrashContents::CardPass &pass(const QSet<QUuid> &deletedBoardIDs);

private:
    explicit TrashCardPass(LibraryQuery &library);
    // Brings the pass along when cards were only taken out of the list
    // (deleted for good) and deleted notes only left the trash, with their
    // cards; false when that cannot tell it.
    bool takeOut(const QSet<QUuid> &deletedBoardIDs);
    // Brings it along for the cards written or added since, over the same
    // deleted notes; false when that cannot tell it.
    bool countAgain(const QSet<QUuid> &deletedBoardIDs);

    LibraryQuery &m_library;
    TrashContents::CardPass m_pass;
    QSet<QUuid> m_deletedBoardIDs;
    std::optional<quint64> m_cardsRevision;
    // The list walked, and the writes seen then.
    QList<CanvasCard *> m_cards;
    quint64 m_cardWritesRevision = 0;
};

} // namespace tessaline
