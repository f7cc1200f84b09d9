#include "MapRig.h"

#include "canvas/CardInspectorModel.h"
#include "canvas/CardInspectorView.h"
#include "design/StudioEmptyState.h"
#include "runtime/KeptChanges.h"
#include "runtime/LibraryQuery.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QToolButton>

using namespace tessaline;
using namespace tessaline::testing;

class CardInspectorViewTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<MapRig> rig;
    std::unique_ptr<LibraryQuery> library;
    std::unique_ptr<CardInspectorView> view;

    QStringList shownTexts() const
    {
        QStringList texts;
        for (const QLabel *label : view->currentContent()->findChildren<QLabel *>()) {
            if (label->isVisibleTo(view.get()) && !label->text().isEmpty())
                texts.append(label->text());
        }
        return texts;
    }

private Q_SLOTS:
    void init()
    {
        rig = std::make_unique<MapRig>();
        library = std::make_unique<LibraryQuery>(*rig->context);
        view = std::make_unique<CardInspectorView>(*library, *rig->navigation);
        view->resize(300, 600);
        view->show();
    }

    void cleanup()
    {
        view.reset();
        library.reset();
    }

    void contentFollowsTheSelection()
    {
        MapRig &r = *rig;
        CanvasCard *snip = r.card(CardKind::snip, 1);
        CanvasCard *trashed = r.card(CardKind::thought, 2);
        trashed->moveToTrash(at(3));
        CanvasCard *elsewhere = r.card(CardKind::thought, 4, false, r.other);
        QVERIFY(r.context->save());
        QVERIFY(view->currentContent()->findChild<StudioEmptyState *>());

        // A trashed card is skipped: the live one's form shows.
        r.navigation->setSelectedCardIDs({snip->id(), trashed->id()});
        QCOMPARE(view->model().content(), CardInspectorModel::Content::card);
        QVERIFY(view->titleField());
        QVERIFY(!view->kindPicker());

        // Cards of two notes count alike.
        r.navigation->setSelectedCardIDs({snip->id(), elsewhere->id()});
        QVERIFY(shownTexts().contains(QStringLiteral("2 cards selected")));
    }

    // What the inspector shows is kept between keystrokes, yet follows a
    // selected card leaving for Recently Deleted (before its save too),
    // coming back, and a selected card that only now is saved.
    void selectionFollowsCardsAsTheyChange()
    {
        MapRig &r = *rig;
        CanvasCard *first = r.card(CardKind::thought, 1);
        CanvasCard *second = r.card(CardKind::thought, 2);
        QVERIFY(r.context->save());
        r.navigation->setSelectedCardIDs({first->id(), second->id()});
        QCOMPARE(view->model().content(), CardInspectorModel::Content::multiple);

        first->moveToTrash(at(3));
        QCOMPARE(view->model().card(), second);
        view->model().setTitle(QStringLiteral("Typed"));
        QCOMPARE(view->model().card(), second);
        QCOMPARE(second->title(), std::optional<QString>(QStringLiteral("Typed")));

        first->restoreFromTrash(at(4));
        QCOMPARE(view->model().content(), CardInspectorModel::Content::multiple);
        QVERIFY(r.context->save());
        QCOMPARE(view->model().content(), CardInspectorModel::Content::multiple);

        CanvasCard *later = r.card(CardKind::thought, 5);
        r.navigation->setSelectedCardIDs({later->id()});
        QCOMPARE(view->model().content(), CardInspectorModel::Content::nothing);
        QVERIFY(r.context->save());
        QCOMPARE(view->model().card(), later);

        // Text recognised while the form is up shows, and the title being
        // typed stays where it is.
        auto recognizedGroup = [this] {
            for (const QToolButton *button : view->currentContent()->findChildren<QToolButton *>()) {
                if (button->text() == QLatin1String("Recognized text"))
                    return true;
            }
            return false;
        };
        QVERIFY(!recognizedGroup());
        QLineEdit *title = view->titleField();
        QTest::keyClicks(title, QStringLiteral(" half"));
        later->setOcrText(QStringLiteral("Read later"));
        QVERIFY(r.context->save());
        QVERIFY(recognizedGroup());
        QCOMPARE(view->titleField(), title);
        QCOMPARE(title->text(), QStringLiteral("Card 5 half"));
    }

    void formEditsAreSavedWhenTheFormGoes()
    {
        MapRig &r = *rig;
        CanvasCard *thought = r.card(CardKind::thought, 1);
        CanvasCard *other = r.card(CardKind::thought, 2);
        thought->setTitle(std::nullopt);
        other->setTitle(std::nullopt);
        thought->setSourceApplicationName(QStringLiteral("Browser"));
        thought->setCaptureModeRawValue(QStringLiteral("window"));
        thought->setSourceCardIDsStorage(CanvasCard::encodeSourceCardIDs({other->id()}));
        QVERIFY(r.context->save());
        r.navigation->select(thought->id(), false);
        QVERIFY(view->kindPicker());
        QCOMPARE(view->kindPicker()->currentText(), QStringLiteral("Thought"));
        const QStringList texts = shownTexts();
        QVERIFY(texts.contains(QStringLiteral("Browser")));
        QVERIFY(texts.contains(QStringLiteral("Window")));
        QVERIFY(texts.contains(QStringLiteral("Grounded in 1 card")));

        // Typed as it stands, written at once, saved only when the form goes.
        QSignalSpy saves(r.context, &ModelContext::didSave);
        QTest::keyClicks(view->titleField(), QStringLiteral(" Plan "));
        QCOMPARE(thought->title(), std::optional(QStringLiteral(" Plan ")));
        view->kindPicker()->activated(view->kindPicker()->findText(QStringLiteral("Next Step")));
        QCOMPARE(thought->thoughtKindRawValue(), QStringLiteral("nextStep"));
        QCOMPARE(saves.count(), 0);

        r.navigation->select(other->id(), false);
        QCOMPARE(saves.count(), 1);
        QVERIFY(!r.context->hasChanges());
        QCOMPARE(view->titleField()->text(), QString());

        // Closing the column saves the form on screen too.
        QTest::keyClicks(view->titleField(), QStringLiteral("x"));
        view->hide();
        QCOMPARE(saves.count(), 2);
        QCOMPARE(other->title(), std::optional(QStringLiteral("x")));
    }

    void formEditsThatCannotBeSavedAreReportedAndKept_data()
    {
        QTest::addColumn<bool>("columnCloses");
        QTest::newRow("another card selected") << false;
        QTest::newRow("column closed") << true;
    }

    void formEditsThatCannotBeSavedAreReportedAndKept()
    {
        QFETCH(bool, columnCloses);
        MapRig &r = *rig;
        CanvasCard *thought = r.card(CardKind::thought, 1);
        CanvasCard *other = r.card(CardKind::thought, 2);
        thought->setTitle(std::nullopt);
        QVERIFY(r.context->save());
        QStringList reported;
        view->model().setErrorReporter([&reported](const QString &message) { reported.append(message); });
        r.navigation->select(thought->id(), false);
        QTest::keyClicks(view->titleField(), QStringLiteral("Plan"));
        view->kindPicker()->activated(view->kindPicker()->findText(QStringLiteral("Decision")));

        r.context->failNextSave(StoreError{QStringLiteral("disk full")});
        if (columnCloses)
            view->hide();
        else
            r.navigation->select(other->id(), false);
        QCOMPARE(reported, QStringList{keptChangesMessage(QStringLiteral("disk full"))});
        // Still in the card, for the next save that can.
        QCOMPARE(thought->title(), std::optional(QStringLiteral("Plan")));
        QCOMPARE(thought->thoughtKindRawValue(), QStringLiteral("decision"));
        QVERIFY(r.context->hasChanges());
        QVERIFY(r.context->save());
        QVERIFY(!r.context->hasChanges());
    }
};

QTEST_MAIN(CardInspectorViewTest)
#include "tst_cardinspectorview.moc"
