#include "canvas/BoardLayoutEditor.h"

#include "canvas/CardLayoutCommand.h"
#include "model/CanvasCard.h"
#include "model/ModelContext.h"
#include "model/StoreUndoStack.h"

#include <cmath>

namespace tessaline {

BoardLayoutEditor::BoardLayoutEditor(ModelContext &context, StoreUndoStack *stack, Clock now)
    : m_context(context)
    , m_stack(stack)
    , m_now(now ? std::move(now) : Clock([] { return QDateTime::currentDateTimeUtc(); }))
{
}

Expected<void, StoreError> BoardLayoutEditor::edit(const QList<CanvasCard *> &cards, const QString &actionName,
                                                   const std::function<void(const QDateTime &)> &write)
{
    auto command = std::make_unique<CardLayoutCommand>(m_context, layoutSnapshots(cards), actionName);
    // Taken after the snapshot, once for every card of the edit.
    const QDateTime now = m_now();
    return StoreUndoStack::perform(m_stack, std::move(command), [&] { write(now); });
}

Expected<void, StoreError> BoardLayoutEditor::position(CanvasCard &card, double x, double y, const QString &actionName)
{
    return edit({&card}, actionName, [&](const QDateTime &now) {
        card.setCanvasX(x);
        card.setCanvasY(y);
        card.setIsPlaced(true);
        card.setUpdatedAt(now);
    });
}

Expected<void, StoreError> BoardLayoutEditor::placeCard(CanvasCard &card, double x, double y)
{
    return position(card, x, y, placeActionName());
}

Expected<void, StoreError> BoardLayoutEditor::moveCard(CanvasCard &card, double x, double y)
{
    return position(card, x, y, moveActionName());
}

Expected<void, StoreError> BoardLayoutEditor::resizeCard(CanvasCard &card, double width, double height)
{
    return edit({&card}, resizeActionName(), [&](const QDateTime &now) {
        card.setCanvasWidth(std::fmax(width, minimumWidth));
        card.setCanvasHeight(std::fmax(height, minimumHeight));
        card.setIsPlaced(true);
        card.setUpdatedAt(now);
    });
}

Expected<void, StoreError> BoardLayoutEditor::returnCardToTray(CanvasCard &card)
{
    return edit({&card}, returnActionName(), [&](const QDateTime &now) {
        card.setIsPlaced(false);
        card.setGroupID(std::nullopt);
        card.setUpdatedAt(now);
    });
}

Expected<void, StoreError> BoardLayoutEditor::groupCards(const QList<CanvasCard *> &cards, const QUuid &groupID)
{
    return edit(cards, groupActionName(), [&](const QDateTime &now) {
        for (CanvasCard *card : cards) {
            card->setGroupID(groupID);
            card->setUpdatedAt(now);
        }
    });
}

} // namespace tessaline
