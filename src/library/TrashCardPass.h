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
// after opening a note (a save that wrote only the note) walks no card.
// Main thread.
class TrashCardPass : public QObject
{
    Q_OBJECT
public:
    static TrashCardPass &of(LibraryQuery &library);

    const TrashContents::CardPass &pass(const QSet<QUuid> &deletedBoardIDs);

private:
    explicit TrashCardPass(LibraryQuery &library);

    LibraryQuery &m_library;
    TrashContents::CardPass m_pass;
    QSet<QUuid> m_deletedBoardIDs;
    std::optional<quint64> m_cardsRevision;
};

} // namespace tessaline
