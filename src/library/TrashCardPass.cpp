#include "library/TrashCardPass.h"

#include "runtime/LibraryQuery.h"

namespace tessaline {

TrashCardPass &TrashCardPass::of(LibraryQuery &library)
{
    return keptWith<TrashCardPass>(library, [&library] { return new TrashCardPass(library); });
}

TrashCardPass::TrashCardPass(LibraryQuery &library)
    : QObject(&library)
    , m_library(library)
{
}

const TrashContents::CardPass &TrashCardPass::pass(const QSet<QUuid> &deletedBoardIDs)
{
    if (m_cardsRevision != m_library.cardsRevision() || deletedBoardIDs != m_deletedBoardIDs) {
        m_pass = TrashContents::cardPassOf(m_library.cards(), deletedBoardIDs);
        m_deletedBoardIDs = deletedBoardIDs;
        m_cardsRevision = m_library.cardsRevision();
    }
    return m_pass;
}

} // namespace tessaline
