#include "canvas/CardOcclusion.h"

#include <QHash>

#include <cmath>

namespace tessaline {

namespace {

// Cards are a few hundred points wide: a coverer spans a handful of cells.
constexpr qreal cellSize = 512;

qint64 cellKey(qint64 column, qint64 row)
{
    return (column << 32) ^ (row & 0xffffffff);
}

qint64 cellOf(qreal coordinate)
{
    return qint64(std::floor(coordinate / cellSize));
}

} // namespace

QList<bool> hiddenCards(const QList<StackedCard> &stack)
{
    QList<bool> hidden(stack.size(), false);
    // The frames of opaque cards seen so far (all above the current one),
    // by every cell each touches. A frame that holds the card holds its
    // top-left corner, so the corner's cell lists every candidate.
    QHash<qint64, QList<QRectF>> coverers;
    const auto isCovered = [&](const QRectF &frame) {
        const auto cell = coverers.constFind(cellKey(cellOf(frame.left()), cellOf(frame.top())));
        if (cell == coverers.cend())
            return false;
        for (const QRectF &above : *cell) {
            if (above.contains(frame))
                return true;
        }
        return false;
    };
    for (qsizetype i = stack.size() - 1; i >= 0; --i) {
        const StackedCard &card = stack.at(i);
        if (card.frame.isEmpty())
            continue;
        const bool covered = isCovered(card.frame);
        hidden[i] = covered && card.mayBeHidden;
        // A frame inside one already listed adds nothing: a pile of cards
        // on one spot lists its top card once.
        if (!card.isOpaque || covered)
            continue;
        for (qint64 column = cellOf(card.frame.left()); column <= cellOf(card.frame.right()); ++column) {
            for (qint64 row = cellOf(card.frame.top()); row <= cellOf(card.frame.bottom()); ++row)
                coverers[cellKey(column, row)].append(card.frame);
        }
    }
    return hidden;
}

} // namespace tessaline
