#include "ScriptedIntelligenceBackend.h"

#include "../model/StoreFixture.h"

#include "assistant/AskSuggestionModel.h"
#include "assistant/AskSuggestionView.h"
#include "assistant/SystemIntelligenceService.h"
#include "design/StudioActionButton.h"
#include "design/StudioCompactButton.h"
#include "design/StudioEmptyState.h"
#include "design/StudioTag.h"
#include "design/StudioText.h"
#include "design/TessalinePrimaryButton.h"
#include "model/ModelContext.h"

#include <QComboBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>

#include <memory>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

// A note with two placed cards and an open sheet asking about both, with no
// model on this computer unless one is given.
struct ViewRig
{
    explicit ViewRig(std::shared_ptr<IntelligenceBackend> backend = nullptr)
        : store(memoryStore())
        , context(*store->mainContext())
    {
        if (!backend)
            backend = std::make_shared<ScriptedIntelligenceBackend>(
                IntelligenceAvailability::fallback(IntelligenceUnavailableReason::unsupportedOperatingSystem));
        note = addNote(context, "Note", at(0));
        for (const char *title : {"Alpha", "Beta"}) {
            CanvasCard *card = addCard(context, note, CardKind::snip, at(1));
            card->setTitle(QString::fromLatin1(title));
            card->setIsPlaced(true);
            asked << card->id();
        }
        if (!context.save())
            qFatal("the rig's store did not save");
        view = std::make_unique<AskSuggestionView>(context, note->id(), asked,
                                                   std::make_unique<SystemIntelligenceService>(std::move(backend)));
        view->show();
    }

    bool generate()
    {
        view->emptyState()->actionButton()->click();
        return QTest::qWaitFor([this] { return view->editor()->isVisible(); }, 20'000);
    }

    int thoughts() const
    {
        int count = 0;
        for (const CanvasCard *card : *context.fetchCards())
            count += card->isAIGenerated() ? 1 : 0;
        return count;
    }

    std::unique_ptr<ModelContainer> store;
    ModelContext &context;
    Board *note = nullptr;
    QList<QUuid> asked;
    std::unique_ptr<AskSuggestionView> view;
};

} // namespace

class AskSuggestionViewTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void askEditAndKeepWithTheKeyboard();
    void escapeClosesWithoutStoring();
    void failedKeepShowsTheAlertAndStaysOpen();
    void longAnswerShowsAndKeepsItsStart();
};

void AskSuggestionViewTest::askEditAndKeepWithTheKeyboard()
{
    ViewRig rig;
    AskSuggestionView &view = *rig.view;
    QSignalSpy finished(&view, &QDialog::finished);
    QCOMPARE(view.badge()->title(), QStringLiteral("Local reflection"));
    QCOMPARE(view.mainArea()->currentWidget(), view.emptyState());
    QCOMPARE(view.emptyState()->message(), QStringLiteral("Tessaline stays grounded in the 2 selected cards."));
    QVERIFY(!view.keepButton()->isVisible());
    QVERIFY(!view.tryAgainButton()->isVisible());

    QCOMPARE(view.promptPicker()->count(), 5);
    QCOMPARE(view.promptPicker()->currentText(), QStringLiteral("What connects these?"));
    view.promptPicker()->setCurrentIndex(4);
    Q_EMIT view.promptPicker()->activated(4);
    QCOMPARE(view.model().prompt(), ThinkingPrompt::nextStep);

    QVERIFY(rig.generate());
    QCOMPARE(view.editor()->toPlainText(),
             QStringLiteral("**Next step:** Turn Alpha into one small test or decision, then name the result that "
                            "would change what you do next."));
    QVERIFY(view.keepButton()->isVisible() && view.keepButton()->isEnabled());
    QVERIFY(view.tryAgainButton()->isVisible());

    // Blanks cannot be kept, by button or by Return.
    view.editor()->clear();
    QTest::keyClicks(view.editor(), QStringLiteral(" "));
    QVERIFY(!view.keepButton()->isEnabled());
    QTest::keyClick(view.editor(), Qt::Key_Return);
    QCOMPARE(finished.count(), 0);

    // Shift+Return breaks the line; Return keeps.
    view.editor()->clear();
    QTest::keyClicks(view.editor(), QStringLiteral("Line one"));
    QTest::keyClick(view.editor(), Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(view.editor(), QStringLiteral("two"));
    QTest::keyClick(view.editor(), Qt::Key_Return);

    QCOMPARE(finished.count(), 1);
    QCOMPARE(rig.thoughts(), 1);
    const QList<CanvasCard *> cards = *rig.context.fetchCards();
    QCOMPARE(cards.constLast()->markdownText(), QStringLiteral("Line one\ntwo"));
    QCOMPARE(QPointF(cards.constLast()->canvasX(), cards.constLast()->canvasY()), QPointF(830, 90));
}

void AskSuggestionViewTest::escapeClosesWithoutStoring()
{
    ViewRig rig;
    QSignalSpy finished(rig.view.get(), &QDialog::finished);
    QVERIFY(rig.generate());
    QTest::keyClick(rig.view.get(), Qt::Key_Escape);
    QCOMPARE(finished.count(), 1);
    QVERIFY(rig.view->model().isClosed());
    QCOMPARE(rig.thoughts(), 0);
}

void AskSuggestionViewTest::failedKeepShowsTheAlertAndStaysOpen()
{
    ViewRig rig;
    QSignalSpy finished(rig.view.get(), &QDialog::finished);
    QVERIFY(rig.generate());
    rig.context.failNextSave(StoreError{QStringLiteral("The disk is full.")});
    rig.view->keepButton()->click();

    QTRY_VERIFY(rig.view->alert() && rig.view->alert()->isVisible());
    QCOMPARE(rig.view->alert()->windowTitle(), QStringLiteral("Thinking assistant"));
    QCOMPARE(rig.view->alert()->informativeText(), QStringLiteral("The disk is full."));
    QCOMPARE(finished.count(), 0);
    QCOMPARE(rig.thoughts(), 0);

    rig.view->alert()->button(QMessageBox::Ok)->click();
    QCOMPARE(rig.view->model().errorMessage(), std::nullopt);
    rig.view->keepButton()->click();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(rig.thoughts(), 1);
}

void AskSuggestionViewTest::longAnswerShowsAndKeepsItsStart()
{
    // A model's answer of a few megabytes in one line, within what is read.
    QString answer;
    for (int i = 0; answer.size() < 3'000'000; ++i)
        answer += QStringLiteral("word%1 ").arg(i);
    answer += QStringLiteral("end");
    auto backend = std::make_shared<ScriptedIntelligenceBackend>();
    backend->script(answer);
    ViewRig rig(backend);
    QSignalSpy finished(rig.view.get(), &QDialog::finished);
    QVERIFY(rig.generate());

    // The editor shows the start, and says only that is kept.
    const QString shown = rig.view->editor()->toPlainText();
    QVERIFY(!shown.isEmpty());
    QVERIFY(shown.size() <= AskSuggestionModel::maximumShownCharacters);
    QVERIFY(answer.startsWith(shown));
    QVERIFY(rig.view->cutNotice()->isVisible());
    QCOMPARE(rig.view->model().editableText(), shown);

    // What is kept is what was shown, as edited: a thought of megabytes
    // would hold its note's window at every start.
    rig.view->editor()->moveCursor(QTextCursor::Start);
    QTest::keyClicks(rig.view->editor(), QStringLiteral("Edited: "));
    rig.view->keepButton()->click();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(rig.thoughts(), 1);
    QCOMPARE(rig.context.fetchCards()->constLast()->markdownText(), QStringLiteral("Edited: ") + shown);
}

QTEST_MAIN(AskSuggestionViewTest)
#include "tst_asksuggestionview.moc"
