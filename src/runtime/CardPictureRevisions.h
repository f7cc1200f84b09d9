#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QUuid>

namespace tessaline {

class CanvasCard;

// Counts, card by card, the changes to what a card's picture is drawn from:
// its stored picture, its thumbnail and its annotations. A picture drawn for
// one count stays right until the count moves; the card's other edits (a
// move, a favourite mark, the words read from its picture) leave it as it
// is, where its change stamp would have it decoded again, a 5K picture
// being a read of megabytes and a tenth of a second of decoding.
class CardPictureRevisions : public QObject
{
    Q_OBJECT
public:
    explicit CardPictureRevisions(QObject *parent = nullptr);

    // Watches the card from its first call on.
    int revision(const CanvasCard &card);
    // Whether the card has been asked about.
    bool watches(const QUuid &cardID) const { return m_cards.contains(cardID); }

private:
    struct Watched
    {
        QPointer<const CanvasCard> card;
        int revision = 0;
    };
    QHash<QUuid, Watched> m_cards;
};

} // namespace tessaline
