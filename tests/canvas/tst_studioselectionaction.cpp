#include "../model/StoreFixture.h"

#include "canvas/StudioSelectionAction.h"

using namespace tessaline;
using namespace tessaline::testing;

using A = StudioSelectionAction;
using ActionSet = QSet<StudioSelectionAction>;
Q_DECLARE_METATYPE(ActionSet)

class StudioSelectionActionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rawValuesRoundTrip()
    {
        QStringList raws;
        for (A action : allSelectionActions()) {
            raws.append(rawValue(action));
            QCOMPARE(selectionActionFromRawValue(rawValue(action)), std::optional(action));
        }
        QCOMPARE(raws, (QStringList{"annotate", "connect", "ask", "group", "more"}));
        QCOMPARE(selectionActionFromRawValue(QStringLiteral("Annotate")), std::nullopt);
        QCOMPARE(title(A::group), QStringLiteral("Group"));
        QCOMPARE(systemImage(A::group), QStringLiteral("square.3.layers.3d"));
    }

    void disabledActions_data()
    {
        QTest::addColumn<QStringList>("kinds"); // the selected cards of the note
        QTest::addColumn<bool>("assistant");
        QTest::addColumn<ActionSet>("disabled");
        QTest::newRow("nothing of this note") << QStringList{} << true << ActionSet{A::annotate, A::connect, A::ask, A::group};
        QTest::newRow("one snip") << QStringList{"snip"} << true << ActionSet{A::connect};
        QTest::newRow("one thought") << QStringList{"thought"} << true << ActionSet{A::annotate, A::connect};
        QTest::newRow("two snips") << QStringList{"snip", "snip"} << true << ActionSet{A::annotate};
        QTest::newRow("three") << QStringList{"snip", "thought", "ghost"} << true << ActionSet{A::annotate, A::connect};
        QTest::newRow("no assistant yet") << QStringList{"snip"} << false << ActionSet{A::connect, A::ask};
    }

    void disabledActions()
    {
        QFETCH(QStringList, kinds);
        QFETCH(bool, assistant);
        QFETCH(ActionSet, disabled);
        auto store = memoryStore();
        Board *note = addNote(*store->mainContext(), QStringLiteral("Map"), at(0));
        QList<CanvasCard *> selected;
        for (const QString &kind : kinds) {
            CanvasCard *card = addCard(*store->mainContext(), note, CardKind::thought, at(1));
            card->setKindRawValue(kind);
            selected.append(card);
        }
        QCOMPARE(disabledSelectionActions(selected, assistant), disabled);
    }

    void paletteTexts()
    {
        QVERIFY(!SelectionPaletteTexts::showsCaption(1));
        QVERIFY(SelectionPaletteTexts::showsCaption(2));
        QCOMPARE(SelectionPaletteTexts::captionDescription(3), QStringLiteral("3 cards selected"));
        QCOMPARE(SelectionPaletteTexts::tooltip(A::ask, true), QStringLiteral("Ask"));
        // A disabled Ask says why.
        QVERIFY(SelectionPaletteTexts::tooltip(A::ask, false).contains(QStringLiteral("not available")));
        QCOMPARE(SelectionPaletteTexts::tooltip(A::more, false), QStringLiteral("More"));
    }
};

QTEST_GUILESS_MAIN(StudioSelectionActionTest)
#include "tst_studioselectionaction.moc"
