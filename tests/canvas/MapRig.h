#pragma once

#include "../model/StoreFixture.h"

#include "canvas/BoardMapModel.h"
#include "model/StoreUndoStack.h"
#include "platform/UserDefaults.h"
#include "runtime/NavigationState.h"

#include <QTemporaryDir>

namespace tessaline::testing {

// A note in an in-memory library with the window's navigation and undo
// history, and a map model over it; the clock stands still unless moved.
struct MapRig
{
    MapRig()
    {
        defaults = std::make_unique<UserDefaults>(dir.filePath(QStringLiteral("settings.ini")));
        navigation = std::make_unique<NavigationState>(*defaults);
        store = memoryStore();
        context = store->mainContext();
        note = addNote(*context, QStringLiteral("Map"), at(0));
        other = addNote(*context, QStringLiteral("Elsewhere"), at(0));
        QVERIFY(context->save());
        map = std::make_unique<BoardMapModel>(*context, *navigation, note->id(), &stack, [this] { return clock; });
    }

    CanvasCard *card(CardKind kind, qint64 created, bool placed = false, const Board *owner = nullptr)
    {
        CanvasCard *made = addCard(*context, owner ? owner : note, kind, at(created));
        made->setIsPlaced(placed);
        made->setTitle(QStringLiteral("Card %1").arg(created));
        return made;
    }

    QTemporaryDir dir;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<NavigationState> navigation;
    std::unique_ptr<ModelContainer> store;
    ModelContext *context = nullptr;
    Board *note = nullptr;
    Board *other = nullptr;
    StoreUndoStack stack;
    QDateTime clock = at(5000);
    std::unique_ptr<BoardMapModel> map;
};

} // namespace tessaline::testing
