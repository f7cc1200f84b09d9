#pragma once

#include "model/StoreError.h"
#include "model/StoreUndoStack.h"
#include "platform/Expected.h"

#include <QDateTime>
#include <QList>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <functional>

namespace tessaline {

class CanvasCard;
class ModelContext;
class StoreUndoStack;

// The layout edits of a note's map. Each one writes its cards, saves, and
// registers one undo step on the window's stack; a failed save puts the
// cards back and returns the error for the screen to show. Without a stack
// the edits are saved and cannot be undone.
class BoardLayoutEditor
{
public:
    using Clock = std::function<QDateTime()>;

    static constexpr double minimumWidth = 120;
    static constexpr double minimumHeight = 80;

    static QString placeActionName() { return QStringLiteral("Place Card"); }
    static QString moveActionName() { return QStringLiteral("Move Card"); }
    static QString resizeActionName() { return QStringLiteral("Resize Card"); }
    static QString returnActionName() { return QStringLiteral("Return Card to Tray"); }
    static QString groupActionName() { return QStringLiteral("Group Cards"); }

    BoardLayoutEditor(ModelContext &context, StoreUndoStack *stack, Clock now = {});

    ModelContext &context() const { return m_context; }
    StoreUndoStack *undoStack() const { return m_stack; }
    void setUndoStack(StoreUndoStack *stack) { m_stack = stack; }

    // Positions are stored as given; callers clamp where they must.
    Expected<void, StoreError> placeCard(CanvasCard &card, double x, double y);
    Expected<void, StoreError> moveCard(CanvasCard &card, double x, double y);
    // Keeps the position; a size below 120 x 80 is raised to it.
    Expected<void, StoreError> resizeCard(CanvasCard &card, double width, double height);
    // Keeps position and size; leaves the group.
    Expected<void, StoreError> returnCardToTray(CanvasCard &card);
    // Every card gets `groupID` (replacing an earlier group), placed or not.
    Expected<void, StoreError> groupCards(const QList<CanvasCard *> &cards, const QUuid &groupID);

private:
    Expected<void, StoreError> edit(const QList<CanvasCard *> &cards, const QString &actionName,
                                    const std::function<void(const QDateTime &now)> &write);
    Expected<void, StoreError> position(CanvasCard &card, double x, double y, const QString &actionName);

    ModelContext &m_context;
    QPointer<StoreUndoStack> m_stack;
    Clock m_now;
};

} // namespace tessaline
