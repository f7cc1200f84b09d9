#pragma once

#include <QDateTime>
#include <QList>
#include <QUuid>

#include <optional>

namespace tessaline {

class CanvasCard;

// Where a card sits on its note's map: the seven fields that every layout
// edit may change, kept by card id only so that taking one back never needs
// the card object that was edited.
struct CanvasCardLayoutSnapshot
{
    QUuid id;
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    bool isPlaced = false;
    std::optional<QUuid> groupID;
    QDateTime updatedAt;

    friend bool operator==(const CanvasCardLayoutSnapshot &, const CanvasCardLayoutSnapshot &) = default;
};

CanvasCardLayoutSnapshot layoutSnapshot(const CanvasCard &card);
// One snapshot per distinct card id, in order of first appearance.
QList<CanvasCardLayoutSnapshot> layoutSnapshots(const QList<CanvasCard *> &cards);
// Writes the seven fields back, `updatedAt` last and as stored (not now).
void applyLayoutSnapshot(const CanvasCardLayoutSnapshot &snapshot, CanvasCard &card);

} // namespace tessaline
