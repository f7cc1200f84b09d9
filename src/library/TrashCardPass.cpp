#include "library/TrashCardPass.h"

#include "runtime/LibraryQuery.h"
#include "model/CanvasCard.h"
#include "model/FetchedList.h"

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
    if (m_cardsRevision == m_library.cardsRevision() && deletedBoardIDs == m_deletedBoardIDs)
        return m_pass;
    if (!takeOut(deletedBoardIDs) && !countAgain(deletedBoardIDs))
        m_pass = TrashContents::cardPassOf(m_library.cards(), deletedBoardIDs);
    m_deletedBoardIDs = deletedBoardIDs;
    m_cardsRevision = m_library.cardsRevision();
    m_cards = m_library.cards();
    m_cardWritesRevision = m_library.cardWritesRevision();
    return m_pass;
}

bool TrashCardPass::takeOut(const QSet<QUuid> &deletedBoardIDs)
{
    if (!m_cardsRevision || m_cardWritesRevision != m_library.cardWritesRevision()
        || !m_deletedBoardIDs.contains(deletedBoardIDs))
        return false;
    const QList<CanvasCard *> &cards = m_library.cards();
    const auto taken = takenFromFetched(cards, m_cards);
    if (!taken)
        return false;
    // A note that left the trash with cards still listed: those are the
    // trash's own now, or no longer in it.
    for (const QUuid &id : std::as_const(m_deletedBoardIDs)) {
        if (!deletedBoardIDs.contains(id) && !m_library.cardPositionsOfNote(id).isEmpty())
            return false;
    }
    QSet<const CanvasCard *> gone;
    for (qsizetype at : *taken) {
        const CanvasCard *card = m_cards.at(at);
        gone.insert(card);
        const auto counted = m_pass.counted.constFind(card);
        if (counted == m_pass.counted.cend())
            continue;
        const auto counts = m_pass.deletedBoardCards.find(counted->first);
        if (counts != m_pass.deletedBoardCards.end())
            --(counted->second ? counts->snips : counts->thoughts);
        m_pass.counted.erase(counted);
    }
    if (!gone.isEmpty())
        m_pass.deletedCards.removeIf([&gone](const CanvasCard *card) { return gone.contains(card); });
    m_pass.deletedBoardCards.removeIf([&deletedBoardIDs](const auto &counts) { return !deletedBoardIDs.contains(counts.key()); });
    if (m_deletedBoardIDs.size() != deletedBoardIDs.size()) {
        m_pass.counted.removeIf(
            [&deletedBoardIDs](const auto &counted) { return !deletedBoardIDs.contains(counted.value().first); });
    }
    return true;
}

bool TrashCardPass::countAgain(const QSet<QUuid> &deletedBoardIDs)
{
    if (!m_cardsRevision || deletedBoardIDs != m_deletedBoardIDs)
        return false;
    const auto changed = m_library.cardsChangedSince(m_cardWritesRevision, m_cards);
    return changed && TrashContents::countAgain(m_pass, *changed);
}

} // namespace tessaline
