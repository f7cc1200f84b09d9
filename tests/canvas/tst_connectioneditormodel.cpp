#include "../model/StoreFixture.h"

#include "canvas/ConnectionEditorModel.h"

#include <QSignalSpy>

using namespace tessaline;
using namespace tessaline::testing;

class ConnectionEditorModelTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<ModelContainer> store;
    ModelContext *context = nullptr;
    Board *note = nullptr;
    CanvasCard *snip = nullptr;
    CanvasCard *thought = nullptr;

    QList<Connection *> connections() const
    {
        QList<Connection *> live;
        for (Connection *connection : *context->fetchConnections()) {
            if (connection->isLive())
                live.append(connection);
        }
        return live;
    }

private Q_SLOTS:
    void init()
    {
        store = memoryStore();
        context = store->mainContext();
        note = addNote(*context, QStringLiteral("Map"), at(0));
        snip = addCard(*context, note, CardKind::snip, at(1));
        snip->setTitle(QStringLiteral("Chart"));
        thought = addCard(*context, note, CardKind::thought, at(2));
        thought->setTitle(QStringLiteral("Claim"));
        QVERIFY(context->save());
    }

    void connectStoresTheLabelAsTyped_data()
    {
        QTest::addColumn<QString>("label");
        QTest::newRow("left empty") << QString();
        QTest::newRow("with spaces") << QStringLiteral("  supports ");
    }

    void connectStoresTheLabelAsTyped()
    {
        QFETCH(QString, label);
        ConnectionEditorModel model(*context, thought->id(), snip->id(), [] { return at(9); });
        QCOMPARE(model.sourceChipText(), QStringLiteral("Claim"));
        QCOMPARE(model.destinationChipText(), QStringLiteral("Chart"));
        QCOMPARE(ConnectionEditorModel::chipTone(model.sourceCard()), QuietCardTone::thought);
        QCOMPARE(ConnectionEditorModel::chipTone(model.destinationCard()), QuietCardTone::snip);
        model.setLabel(label);
        QVERIFY(model.connectCards());
        QVERIFY(model.connectCards()); // the same two cards again: a second record
        const QList<Connection *> made = connections();
        QCOMPARE(made.size(), 2);
        QCOMPARE(made.first()->sourceCardID(), thought->id());
        QCOMPARE(made.first()->destinationCardID(), snip->id());
        QCOMPARE(made.first()->label(), std::optional(label));
        QVERIFY(!context->hasChanges());
    }

    void refusalsAndFailuresLeaveNothingHalfMade_data()
    {
        QTest::addColumn<int>("situation");
        QTest::addColumn<QString>("message");
        QTest::newRow("the same card twice") << 0 << "Connections require two different cards on the same board.";
        QTest::newRow("cards of two notes") << 1 << "Connections require two different cards on the same board.";
        QTest::newRow("save fails") << 2 << "disk full";
    }

    void refusalsAndFailuresLeaveNothingHalfMade()
    {
        QFETCH(int, situation);
        QFETCH(QString, message);
        QUuid destination = snip->id();
        if (situation == 0)
            destination = thought->id();
        if (situation == 1) {
            Board *other = addNote(*context, QStringLiteral("Other"), at(0));
            destination = addCard(*context, other, CardKind::snip, at(3))->id();
            QVERIFY(context->save());
        }
        if (situation == 2)
            context->failNextSave(StoreError{message});
        ConnectionEditorModel model(*context, thought->id(), destination);
        model.setLabel(QStringLiteral("leads to"));
        QSignalSpy errors(&model, &ConnectionEditorModel::errorMessageChanged);
        QVERIFY(!model.connectCards());
        QCOMPARE(model.errorMessage(), std::optional(message));
        QCOMPARE(errors.count(), 1);
        QCOMPARE(model.label(), QStringLiteral("leads to"));
        QVERIFY(connections().isEmpty());
        QVERIFY(!context->hasChanges());
        model.clearErrorMessage();
        QCOMPARE(model.errorMessage(), std::nullopt);
    }

    void aTrashedCardBecomesItsPlaceholder()
    {
        ConnectionEditorModel model(*context, thought->id(), snip->id());
        QSignalSpy changed(&model, &ConnectionEditorModel::cardsChanged);
        snip->moveToTrash(at(5));
        QVERIFY(context->save());
        QVERIFY(changed.count() >= 1);
        QCOMPARE(model.destinationChipText(), QStringLiteral("Second card"));
        QCOMPARE(ConnectionEditorModel::chipTone(model.destinationCard()), QuietCardTone::thought);
        QVERIFY(!model.canConnect());
        QVERIFY(!model.connectCards());
        QCOMPARE(model.errorMessage(), std::nullopt);
        QVERIFY(connections().isEmpty());
    }
};

QTEST_GUILESS_MAIN(ConnectionEditorModelTest)
#include "tst_connectioneditormodel.moc"
