#pragma once

#include <QList>
#include <QRectF>

namespace tessaline {

// One card of a map's stack, as the occlusion pass sees it.
struct StackedCard
{
    // Where the card is painted, in scene coordinates.
    QRectF frame;
    // Whether it hides what lies wholly under its frame: fully opaque and
    // at rest (not fading or growing in).
    bool isOpaque = true;
    // Whether it may be left unpainted: nothing of it reaches past its
    // frame (no drag shadow, no tour ring).
    bool mayBeHidden = true;
};

// Which cards lie wholly under an opaque card above them, so painting them
// would be overdrawn at once. A crowded map stacks hundreds of cards on a
// few spots; only the top of each pile needs painting (and its picture
// decoding). `stack` is bottom to top; the answer has one flag per card.
QList<bool> hiddenCards(const QList<StackedCard> &stack);

} // namespace tessaline
