#include "runtime/CardPictureRevisions.h"

#include "model/CanvasCard.h"

namespace tessaline {

CardPictureRevisions::CardPictureRevisions(QObject *parent)
    : QObject(parent)
{
}

int CardPictureRevisions::revision(const CanvasCard &card)
{
    const QUuid id = card.id();
    const bool known = m_cards.contains(id);
    Watched &watched = m_cards[id];
    if (known && watched.card == &card)
        return watched.revision;
    // First seen, or the card is another object now (read from the library
    // again): what that one holds was never watched, so it counts as a
    // change.
    if (known) {
        if (watched.card)
            disconnect(watched.card, nullptr, this, nullptr);
        ++watched.revision;
    }
    watched.card = &card;
    connect(&card, &CanvasCard::changed, this, [this, id](int property) {
        if (property == CanvasCard::OriginalImageDataProperty || property == CanvasCard::ThumbnailImageDataProperty
            || property == CanvasCard::AnnotationDocumentDataProperty)
            ++m_cards[id].revision;
    });
    return watched.revision;
}

} // namespace tessaline
