#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>

namespace tessaline {

// What a card on the map asks its owner for, from the pointer and the keys.
// Requests carry absolute values: the card's origin (never negative) or its
// size (never below 180 x 120).
struct CardRequest
{
    enum class Kind { move, resize };

    Kind kind = Kind::move;
    QPointF origin;
    QSizeF size;

    static CardRequest move(const QPointF &origin) { return {Kind::move, origin, {}}; }
    static CardRequest resize(const QSizeF &size) { return {Kind::resize, {}, size}; }

    friend bool operator==(const CardRequest &, const CardRequest &) = default;
};

namespace CardGestures {

constexpr double minimumWidth = 180;
constexpr double minimumHeight = 120;
// How far the pointer travels before a press on a card becomes a drag, and
// before a press on the resize handle does.
constexpr double dragThreshold = 3;
constexpr double handleDragThreshold = 2;
constexpr double keyStep = 8;
constexpr double largeKeyStep = 24;

// `frame` is the card's stored frame (origin and size).
QPointF movedOrigin(const QRectF &frame, const QPointF &translation);
QSizeF resizedSize(const QRectF &frame, const QSizeF &change);

// An arrow key: Shift takes the long step; Alt resizes instead of moving
// (Alt+Right widens, Alt+Down makes taller). Other modifiers change nothing.
// None for any other key.
std::optional<CardRequest> arrowKeyRequest(int key, Qt::KeyboardModifiers modifiers, const QRectF &frame);

// Return and Space open the card.
bool isOpenKey(int key);

} // namespace CardGestures

} // namespace tessaline
