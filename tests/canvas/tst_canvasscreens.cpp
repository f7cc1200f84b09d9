#include "../support/MainWindowRig.h"

#include "canvas/BoardMapModel.h"
#include "canvas/BoardMapView.h"
#include "canvas/CanvasScreens.h"
#include "canvas/CardInspectorView.h"
#include "canvas/StudioSelectionPalette.h"
#include "design/StudioIconButton.h"
#include "model/StoreUndoStack.h"
#include "runtime/LibraryQuery.h"
#include "runtime/ScreenRegistry.h"
#include "runtime/TrashActions.h"

#include <QDialog>
#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;

class CanvasScreensTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void mapAndInspectorComeFromTheRegistry_data()
    {
        QTest::addColumn<bool>("assistant");
        QTest::newRow("with the assistant") << true;
        QTest::newRow("without it") << false;
    }

    void mapAndInspectorComeFromTheRegistry()
    {
        QFETCH(bool, assistant);
        MainWindowRig rig;
        Board *note = rig.addNote(QStringLiteral("Map"));
        CanvasCard *card = rig.addCard(note, CardKind::snip);
        card->setIsPlaced(true);
        QVERIFY(rig.context().save());
        LibraryQuery library(rig.context());
        TrashActions trash(library, rig.navigation(), nullptr);
        ScreenContext window(*rig.runtime, library, trash);
        StoreUndoStack undo;
        window.setUndoStack(&undo);

        ScreenRegistry registry;
        canvas::registerScreens(registry);
        if (assistant) {
            registry.registerSheet(SheetKind::askSuggestion,
                                   [](ScreenContext &, const SheetRequest &, QWidget *parent) { return new QDialog(parent); });
        }
        window.setRegistry(&registry);

        QWidget host;
        std::unique_ptr<BoardMap> map(registry.makeBoardMap(window, note->id(), &host));
        auto *view = qobject_cast<BoardMapView *>(map.get());
        QVERIFY(view);
        std::unique_ptr<QWidget> inspector(registry.makeInspector(window, &host));
        QVERIFY(qobject_cast<CardInspectorView *>(inspector.get()));

        // Edits land on the window's history; Ask follows the assistant.
        rig.navigation().select(card->id(), false);
        view->model().moveCard(*card, QPointF(200, 100));
        QCOMPARE(undo.count(), 1);
        QCOMPARE(view->palette()->button(StudioSelectionAction::ask)->isEnabled(), assistant);
        view->model().handleSelectionAction(StudioSelectionAction::ask);
        QCOMPARE(rig.navigation().askSuggestion().has_value(), assistant);
    }
};

QTEST_MAIN(CanvasScreensTest)
#include "tst_canvasscreens.moc"
