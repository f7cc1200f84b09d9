#include "canvas/CardGestures.h"

#include <cmath>

namespace tessaline::CardGestures {

QPointF movedOrigin(const QRectF &frame, const QPointF &translation)
{
    return QPointF(std::fmax(frame.x() + translation.x(), 0), std::fmax(frame.y() + translation.y(), 0));
}

QSizeF resizedSize(const QRectF &frame, const QSizeF &change)
{
    return QSizeF(std::fmax(frame.width() + change.width(), minimumWidth),
                  std::fmax(frame.height() + change.height(), minimumHeight));
}

std::optional<CardRequest> arrowKeyRequest(int key, Qt::KeyboardModifiers modifiers, const QRectF &frame)
{
    const double step = modifiers.testFlag(Qt::ShiftModifier) ? largeKeyStep : keyStep;
    QPointF delta;
    switch (key) {
    case Qt::Key_Up: delta = QPointF(0, -step); break;
    case Qt::Key_Down: delta = QPointF(0, step); break;
    case Qt::Key_Left: delta = QPointF(-step, 0); break;
    case Qt::Key_Right: delta = QPointF(step, 0); break;
    default: return std::nullopt;
    }
    if (modifiers.testFlag(Qt::AltModifier))
        return CardRequest::resize(resizedSize(frame, QSizeF(delta.x(), delta.y())));
    return CardRequest::move(movedOrigin(frame, delta));
}

bool isOpenKey(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
}

} // namespace tessaline::CardGestures
