#include "library/SnipGallerySequence.h"

#include "model/CanvasCard.h"

#include <QSet>

#include <algorithm>
#include <vector>

namespace tessaline {

namespace {

QList<QUuid> keptOnce(const QList<QUuid> &ids, const QSet<QUuid> &available)
{
    QList<QUuid> kept;
    QSet<QUuid> seen;
    for (const QUuid &id : ids) {
        if (available.contains(id) && !seen.contains(id)) {
            seen.insert(id);
            kept.append(id);
        }
    }
    return kept;
}

bool isPageable(const CanvasCard *card)
{
    return card->kind() == CardKind::snip && card->isLive() && card->hasOriginalImageData();
}

} // namespace

SnipGallerySequence::SnipGallerySequence(const QUuid &currentID, const std::optional<QList<QUuid>> &browseIDs,
                                         const QList<QUuid> &availableIDs, const QList<QUuid> &defaultIDs)
    : m_currentID(currentID)
{
    const QSet<QUuid> available(availableIDs.cbegin(), availableIDs.cend());
    if (browseIDs) {
        QList<QUuid> browse = keptOnce(*browseIDs, available);
        if (browse.contains(currentID)) {
            m_orderedIDs = std::move(browse);
            m_fromBrowse = true;
            return;
        }
    }
    m_orderedIDs = keptOnce(defaultIDs, available);
}

std::optional<qsizetype> SnipGallerySequence::currentIndex() const
{
    const qsizetype index = m_orderedIDs.indexOf(m_currentID);
    if (index < 0)
        return std::nullopt;
    return index;
}

QString SnipGallerySequence::positionText() const
{
    const std::optional<qsizetype> index = currentIndex();
    if (!index)
        return QString();
    return QStringLiteral("%1 of %2").arg(*index + 1).arg(m_orderedIDs.size());
}

std::optional<QUuid> SnipGallerySequence::step(bool forward) const
{
    const std::optional<qsizetype> index = currentIndex();
    if (!index)
        return std::nullopt;
    const qsizetype next = forward ? *index + 1 : *index - 1;
    if (next < 0 || next >= m_orderedIDs.size())
        return std::nullopt;
    return m_orderedIDs.at(next);
}

std::optional<SnipGallerySequence> SnipGallerySequence::shownAt(const QUuid &id) const
{
    if (!m_fromBrowse || !m_orderedIDs.contains(id))
        return std::nullopt;
    SnipGallerySequence moved = *this;
    moved.m_currentID = id;
    return moved;
}

CanvasCard *SnipGallerySequence::currentCard(const QList<CanvasCard *> &cards, const QUuid &id)
{
    for (CanvasCard *card : cards) {
        if (card->id() == id && card->kind() == CardKind::snip && card->isLive())
            return card;
    }
    return nullptr;
}

QList<QUuid> SnipGallerySequence::availableSnipIDs(const QList<CanvasCard *> &cards)
{
    QList<QUuid> ids;
    for (const CanvasCard *card : cards) {
        if (isPageable(card))
            ids.append(card->id());
    }
    return ids;
}

QList<CanvasCard *> SnipGallerySequence::defaultSequenceCards(const QList<CanvasCard *> &cards,
                                                              const CanvasCard *current)
{
    if (!current)
        return {};
    // Each card's keys are worked out once: the identifier's bytes in
    // network order sort exactly as its upper-case text does.
    struct Keyed
    {
        qint64 date;
        QByteArray id;
        CanvasCard *card;
    };
    std::vector<Keyed> keyed;
    for (CanvasCard *card : cards) {
        if (card->boardID() == current->boardID() && isPageable(card))
            keyed.push_back({card->capturedAt().value_or(card->createdAt()).toMSecsSinceEpoch(), card->id().toRfc4122(),
                             card});
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed &a, const Keyed &b) {
        if (a.date != b.date)
            return a.date < b.date;
        return a.id < b.id;
    });
    QList<CanvasCard *> ordered;
    ordered.reserve(qsizetype(keyed.size()));
    for (const Keyed &entry : keyed)
        ordered.append(entry.card);
    return ordered;
}

SnipGallerySequence SnipGallerySequence::forCards(const QList<CanvasCard *> &cards, const QUuid &currentID,
                                                  const std::optional<QList<QUuid>> &browseIDs)
{
    QList<QUuid> defaultIDs;
    for (const CanvasCard *card : defaultSequenceCards(cards, currentCard(cards, currentID)))
        defaultIDs.append(card->id());
    if (browseIDs && browseIDs->contains(currentID)) {
        // The opener's list of tens of thousands of snips is kept to the
        // pageable ones in one set: each id is taken out of it as it is
        // kept, so a repeated id finds it gone.
        QSet<QUuid> pageable;
        pageable.reserve(browseIDs->size());
        for (const CanvasCard *card : cards) {
            if (isPageable(card))
                pageable.insert(card->id());
        }
        QList<QUuid> browse;
        browse.reserve(browseIDs->size());
        for (const QUuid &id : *browseIDs) {
            if (pageable.remove(id))
                browse.append(id);
        }
        if (browse.contains(currentID)) {
            SnipGallerySequence sequence(currentID, std::nullopt, {}, {});
            sequence.m_orderedIDs = std::move(browse);
            sequence.m_fromBrowse = true;
            return sequence;
        }
    }
    // The note's list is of pageable snips already, each once.
    return SnipGallerySequence(currentID, std::nullopt, defaultIDs, defaultIDs);
}

} // namespace tessaline
