#include "library/SnipsGridOrder.h"

#include "library/SnipsLibraryModel.h"
#include "runtime/LibraryQuery.h"

namespace tessaline {

SnipsGridOrder &SnipsGridOrder::of(LibraryQuery &library)
{
    return keptWith<SnipsGridOrder>(library, [&library] { return new SnipsGridOrder(library); });
}

SnipsGridOrder::SnipsGridOrder(LibraryQuery &library)
    : QObject(&library)
    , m_library(library)
{
}

const QList<CanvasCard *> &SnipsGridOrder::snips()
{
    if (m_cardsRevision != m_library.cardsRevision()) {
        // Without a query the notes play no part.
        m_snips = SnipsLibraryModel::filteredCards(m_library.cards(), {}, QString());
        m_cardsRevision = m_library.cardsRevision();
    }
    return m_snips;
}

} // namespace tessaline
