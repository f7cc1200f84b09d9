#include "../model/StoreFixture.h"

#include "canvas/CardInspectorForm.h"

using namespace tessaline;
using namespace tessaline::testing;

using Row = CardInspectorForm::Row;
using Rows = QList<Row>;
using OptionalText = std::optional<QString>;

class CardInspectorFormTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<ModelContainer> store;
    Board *note = nullptr;

private Q_SLOTS:
    void init()
    {
        store = memoryStore();
        note = addNote(*store->mainContext(), QStringLiteral("Map"), at(0));
    }

    void sourceRows_data()
    {
        QTest::addColumn<OptionalText>("application");
        QTest::addColumn<OptionalText>("window");
        QTest::addColumn<OptionalText>("mode");
        QTest::addColumn<OptionalText>("bundle");
        QTest::addColumn<bool>("showsSource");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("full") << OptionalText("Browser") << OptionalText("Docs") << OptionalText("region")
                              << OptionalText("org.example.browser") << true
                              << QStringList{"Application=Browser", "Window=Docs", "Capture=Region", "Bundle=org.example.browser"};
        QTest::newRow("empty window, empty mode") << OptionalText("Browser") << OptionalText("") << OptionalText("")
                                                  << OptionalText() << true
                                                  << QStringList{"Application=Browser", "Capture="};
        QTest::newRow("empty application still shows") << OptionalText("") << OptionalText() << OptionalText("display")
                                                       << OptionalText() << true
                                                       << QStringList{"Application=", "Capture=Display"};
        QTest::newRow("no application, no section") << OptionalText() << OptionalText("Docs") << OptionalText("window")
                                                    << OptionalText("x") << false << QStringList{};
    }

    void sourceRows()
    {
        QFETCH(OptionalText, application);
        QFETCH(OptionalText, window);
        QFETCH(OptionalText, mode);
        QFETCH(OptionalText, bundle);
        QFETCH(bool, showsSource);
        QFETCH(QStringList, rows);
        CanvasCard *card = addCard(*store->mainContext(), note, CardKind::snip, at(0));
        card->setSourceApplicationName(application);
        card->setSourceWindowTitle(window);
        card->setCaptureModeRawValue(mode);
        card->setSourceBundleIdentifier(bundle);
        const CardInspectorForm form = CardInspectorForm::of(*card);
        QCOMPARE(form.showsSource, showsSource);
        QStringList shown;
        for (const Row &row : form.sourceRows)
            shown.append(row.label + u'=' + row.value);
        if (form.technicalDetails)
            shown.append(form.technicalDetails->label + u'=' + form.technicalDetails->value);
        QCOMPARE(shown, rows);
        QVERIFY(!form.showsKind);
    }

    void cardTexts_data()
    {
        QTest::addColumn<int>("sources");
        QTest::addColumn<QString>("ocr");
        QTest::addColumn<OptionalText>("grounding");
        QTest::addColumn<OptionalText>("recognized");
        QTest::newRow("none") << 0 << "" << OptionalText() << OptionalText();
        QTest::newRow("one source") << 1 << " " << OptionalText("Grounded in 1 card") << OptionalText(" ");
        QTest::newRow("three sources") << 3 << "Total 42" << OptionalText("Grounded in 3 cards") << OptionalText("Total 42");
    }

    void cardTexts()
    {
        QFETCH(int, sources);
        QFETCH(QString, ocr);
        QFETCH(OptionalText, grounding);
        QFETCH(OptionalText, recognized);
        CanvasCard *card = addCard(*store->mainContext(), note, CardKind::thought, at(0));
        card->setThoughtKindRawValue(QStringLiteral("nextStep"));
        QList<QUuid> ids;
        for (int i = 0; i < sources; ++i)
            ids.append(QUuid::createUuid());
        card->setSourceCardIDsStorage(CanvasCard::encodeSourceCardIDs(ids));
        card->setOcrText(ocr);
        const CardInspectorForm form = CardInspectorForm::of(*card);
        QCOMPARE(form.groundingText, grounding);
        QCOMPARE(form.recognizedText, recognized);
        QVERIFY(form.showsKind);
        QCOMPARE(form.kind, ThoughtKind::nextStep);
    }

    void selectionSkipsTrashedAndUnknownCards()
    {
        ModelContext &context = *store->mainContext();
        CanvasCard *live = addCard(context, note, CardKind::snip, at(0));
        CanvasCard *trashed = addCard(context, note, CardKind::snip, at(1));
        trashed->moveToTrash(at(2));
        Board *other = addNote(context, QStringLiteral("Other"), at(0));
        CanvasCard *elsewhere = addCard(context, other, CardKind::thought, at(3));
        const QList<CanvasCard *> all{elsewhere, trashed, live};

        const QSet<QUuid> ids{live->id(), trashed->id(), QUuid::createUuid()};
        QCOMPARE(CardInspectorForm::selectedCards(all, ids), QList<CanvasCard *>{live});
        // Cards of any note count, in the library's order.
        const QList<CanvasCard *> two = CardInspectorForm::selectedCards(all, {live->id(), elsewhere->id()});
        QCOMPARE(two, (QList<CanvasCard *>{elsewhere, live}));
        QCOMPARE(CardInspectorForm::multipleSelectionText(two.size()), QStringLiteral("2 cards selected"));
        // The key does not depend on the order.
        QCOMPARE(CardInspectorForm::selectionKey(two), CardInspectorForm::selectionKey({live, elsewhere}));
        QCOMPARE(CardInspectorForm::selectionKey({}), QString());
    }

    void writesAreStoredAsTyped()
    {
        CanvasCard *card = addCard(*store->mainContext(), note, CardKind::thought, at(0));
        card->setTitle(QStringLiteral("Old"));
        CardInspectorForm::writeTitle(*card, QString(), at(5));
        QCOMPARE(card->title(), std::optional(QString()));
        QCOMPARE(card->updatedAt(), at(5));
        QCOMPARE(CardInspectorForm::of(*card).title, QString());
        CardInspectorForm::writeContext(*card, QStringLiteral(" why "), at(6));
        QCOMPARE(card->contextText(), QStringLiteral(" why "));
        QCOMPARE(card->updatedAt(), at(6));
    }
};

QTEST_GUILESS_MAIN(CardInspectorFormTest)
#include "tst_cardinspectorform.moc"
