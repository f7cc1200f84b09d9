#include "runtime/NoteCardGroups.h"

#include "model/CanvasCard.h"
#include "model/FetchedList.h"

#include <algorithm>

namespace tessaline {

const QHash<QUuid, NoteCardGroups::Group> &NoteCardGroups::groups(const QList<CanvasCard *> &cards)
{
    // Comparing the lists costs far less than counting a large library's
    // cards again after every save: a save that added cards at the end, or
    // wrote some, counts only those again.
    if (!m_valid || !extendsFetched(cards, m_groupedCards))
        groupCards(cards);
    else if (cards.size() > m_groupedCards.size() || !m_writtenCards.isEmpty())
        regroupChangedCards(cards);
    return m_groups;
}

void NoteCardGroups::groupCards(const QList<CanvasCard *> &cards)
{
    m_wholeRevision = ++m_revision;
    // About as many notes have cards as last time: room for them at once
    // rather than growing through every size on the way.
    const qsizetype notesWithCards = m_groups.size();
    m_groups.clear();
    m_groups.reserve(notesWithCards);
    // Cards mostly come a note's worth at a time: the last group is looked
    // up again only when the note changes.
    Group *group = nullptr;
    QUuid groupNoteID;
    walkCards(cards, 0, [&](qsizetype i, const CanvasCard *card) {
        const QUuid noteID = card->boardID();
        if (!group || noteID != groupNoteID) {
            groupNoteID = noteID;
            group = &m_groups[noteID];
            group->revision = m_revision;
        }
        group->cards.append(qint32(i));
        countIn(*group, *card);
    });
    m_groupedCards = cards;
    m_writtenCards.clear();
    m_valid = true;
}

void NoteCardGroups::countIn(Group &group, const CanvasCard &card) const
{
    group.revision = m_revision;
    if (!card.isLive())
        return;
    if (card.isSnip())
        ++group.snipCount;
    // On equal dates the first card in the library's order stays.
    const QDateTime updatedAt = card.updatedAt();
    if (!group.latest || updatedAt > group.latestUpdatedAt) {
        group.latest = &card;
        group.latestUpdatedAt = updatedAt;
    }
}

void NoteCardGroups::recount(Group &group)
{
    group.snipCount = 0;
    group.latest = nullptr;
    group.latestUpdatedAt = QDateTime();
    group.revision = m_revision;
    for (qint32 at : std::as_const(group.cards))
        countIn(group, *m_groupedCards.at(at));
}

void NoteCardGroups::regroupChangedCards(const QList<CanvasCard *> &cards)
{
    ++m_revision;
    const qsizetype counted = m_groupedCards.size();
    m_groupedCards = cards;
    for (qsizetype i = counted; i < cards.size(); ++i) {
        Group &group = m_groups[cards.at(i)->boardID()];
        group.cards.append(qint32(i));
        countIn(group, *cards.at(i));
    }
    const auto holds = [](const Group &group, qint32 at) {
        return std::binary_search(group.cards.cbegin(), group.cards.cend(), at);
    };
    for (const CanvasCard *card : std::as_const(m_writtenCards)) {
        // Not listed: a card yet to be saved comes with the list that adds
        // it, and one gone for good with a list counted whole.
        const qsizetype found = m_groupedCards.indexOf(card);
        if (found < 0)
            continue;
        const qint32 at = qint32(found);
        const QUuid noteID = card->boardID();
        auto now = m_groups.find(noteID);
        if (now != m_groups.end() && holds(*now, at)) {
            recount(*now);
            continue;
        }
        // Moved from another note: counted there no more. The group stays,
        // empty, so whoever lists that note sees it changed.
        for (auto before = m_groups.begin(); before != m_groups.end(); ++before) {
            if (!holds(*before, at))
                continue;
            before->cards.removeOne(at);
            recount(*before);
            break;
        }
        Group &group = m_groups[noteID];
        group.cards.insert(std::lower_bound(group.cards.cbegin(), group.cards.cend(), at), at);
        recount(group);
    }
    m_writtenCards.clear();
}

} // namespace tessaline
