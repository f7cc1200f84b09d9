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
    // A list that only lost cards (a note deleted for good) takes those out
    // of their groups.
    if (!m_valid) {
        groupCards(cards);
    } else if (!extendsFetched(cards, m_groupedCards)) {
        if (const auto taken = takenFromFetched(cards, m_groupedCards))
            takeOut(*taken, cards);
        else
            groupCards(cards);
    }
    if (cards.size() > m_groupedCards.size() || !m_writtenCards.isEmpty())
        regroupChangedCards(cards);
    return m_groups;
}

void NoteCardGroups::takeOut(const QList<qsizetype> &taken, const QList<CanvasCard *> &cards)
{
    ++m_revision;
    const auto holds = [](const Group &group, qint32 at) {
        return std::binary_search(group.cards.cbegin(), group.cards.cend(), at);
    };
    QList<Group *> lost;
    for (qsizetype at : taken) {
        const qint32 position = qint32(at);
        auto group = m_groups.find(m_groupedCards.at(at)->boardID());
        // Its note written since it was counted: looked for in every group.
        if (group == m_groups.end() || !holds(*group, position)) {
            group = std::find_if(m_groups.begin(), m_groups.end(),
                                 [&](const Group &candidate) { return holds(candidate, position); });
            if (group == m_groups.end())
                continue;
        }
        group->cards.erase(std::lower_bound(group->cards.cbegin(), group->cards.cend(), position));
        if (!lost.contains(&*group))
            lost.append(&*group);
    }
    // The cards after one taken out move up by one: where every other card
    // stands changes, what each group counts does not.
    const qsizetype first = taken.constFirst();
    for (Group &group : m_groups) {
        // Most notes' cards all stand before the first taken out (a note
        // deleted for good is often a recent one): left untouched.
        if (group.cards.isEmpty() || group.cards.constLast() <= first)
            continue;
        for (qint32 &at : group.cards) {
            if (at > first)
                at -= qint32(std::upper_bound(taken.cbegin(), taken.cend(), qsizetype(at)) - taken.cbegin());
        }
    }
    m_groupedCards = cards;
    for (Group *group : std::as_const(lost))
        recount(*group);
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
