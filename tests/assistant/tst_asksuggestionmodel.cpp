#include "ScriptedIntelligenceBackend.h"

#include "../model/StoreFixture.h"

#include "assistant/AskSuggestionModel.h"
#include "assistant/SystemIntelligenceService.h"
#include "model/ModelContext.h"

#include <QPromise>
#include <QSignalSpy>
#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

struct CardSetup
{
    QString title;
    bool placed = false;
    bool trashed = false;
};

// A note with cards, and a sheet asking about some of them.
struct SheetRig
{
    explicit SheetRig(IntelligenceAvailability availability = IntelligenceAvailability::onDevice())
        : store(memoryStore()), context(*store->mainContext()),
          backend(std::make_shared<ScriptedIntelligenceBackend>(availability))
    {
        note = addNote(context, "Note", at(0));
        otherNote = addNote(context, "Other", at(0));
    }

    CanvasCard *add(const CardSetup &setup, Board *owner = nullptr)
    {
        CanvasCard *card = addCard(context, owner ? owner : note, CardKind::snip, at(cardCount++));
        card->setTitle(setup.title);
        card->setIsPlaced(setup.placed);
        if (setup.trashed)
            card->moveToTrash(at(100));
        return card;
    }

    AskSuggestionModel &open(const QList<QUuid> &asked)
    {
        if (!context.save())
            qFatal("the rig's store did not save");
        model = std::make_unique<AskSuggestionModel>(context, note->id(), asked,
                                                     std::make_unique<SystemIntelligenceService>(backend));
        model->setClock([] { return at(500); });
        return *model;
    }

    QList<CanvasCard *> thoughts() const
    {
        QList<CanvasCard *> result;
        for (CanvasCard *card : *context.fetchCards()) {
            if (card->isAIGenerated())
                result << card;
        }
        return result;
    }

    std::unique_ptr<ModelContainer> store;
    ModelContext &context;
    std::shared_ptr<ScriptedIntelligenceBackend> backend;
    Board *note = nullptr;
    Board *otherNote = nullptr;
    int cardCount = 0;
    std::unique_ptr<AskSuggestionModel> model;
};

// Asks and waits for the reflection to show.
bool generateAndWait(AskSuggestionModel &model)
{
    model.generate();
    return QTest::qWaitFor([&model] { return model.stage() == AskSuggestionModel::Stage::preview; }, 20'000);
}

} // namespace

class AskSuggestionModelTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void reflectionComesBackEditable_data();
    void reflectionComesBackEditable();
    void answerAfterCloseIsDropped();
    void tryAgainReplacesThePreviewWithEachAnswerInTurn();
    void anAnswerOvertakenByANewerOneIsDropped();
    void emptyStateCountsTheLiveSelectedCards_data();
    void emptyStateCountsTheLiveSelectedCards();
    void keptThoughtLandsAfterThePlacedCards_data();
    void keptThoughtLandsAfterThePlacedCards();
    void failedKeepStoresNothingAndSaysWhy_data();
    void failedKeepStoresNothingAndSaysWhy();
};

void AskSuggestionModelTest::reflectionComesBackEditable_data()
{
    QTest::addColumn<bool>("onDevice");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("answerFails");
    QTest::addColumn<QString>("badge");
    QTest::addColumn<QString>("text");
    QTest::addColumn<IntelligenceProvider>("provider");
    QTest::addColumn<std::optional<IntelligenceUnavailableReason>>("reason");

    const QString fallback = "**Possible connection:** Alpha and Beta may serve the same goal. What shared constraint "
                             "or outcome links them?";
    QTest::newRow("model answers") << true << " The model's thought \n" << false << "On-device"
                                   << "The model's thought" << IntelligenceProvider::onDeviceModel
                                   << std::optional<IntelligenceUnavailableReason>();
    QTest::newRow("model answers blank") << true << " \n\t" << false << "On-device" << fallback
                                         << IntelligenceProvider::deterministic
                                         << std::optional(IntelligenceUnavailableReason::generationFailed);
    QTest::newRow("model fails") << true << QString() << true << "On-device" << fallback
                                 << IntelligenceProvider::deterministic
                                 << std::optional(IntelligenceUnavailableReason::generationFailed);
    QTest::newRow("no model") << false << QString() << false << "Local reflection" << fallback
                              << IntelligenceProvider::deterministic
                              << std::optional(IntelligenceUnavailableReason::unsupportedOperatingSystem);
}

void AskSuggestionModelTest::reflectionComesBackEditable()
{
    QFETCH(bool, onDevice);
    QFETCH(QString, answer);
    QFETCH(bool, answerFails);
    QFETCH(QString, badge);
    QFETCH(QString, text);
    QFETCH(IntelligenceProvider, provider);
    QFETCH(std::optional<IntelligenceUnavailableReason>, reason);

    SheetRig rig(onDevice ? IntelligenceAvailability::onDevice()
                          : IntelligenceAvailability::fallback(IntelligenceUnavailableReason::unsupportedOperatingSystem));
    const CanvasCard *alpha = rig.add({"Alpha", true});
    const CanvasCard *beta = rig.add({"Beta", false});
    rig.backend->script(answerFails ? ScriptedIntelligenceBackend::Answer(unexpected(IntelligenceBackendError{"down"}))
                                    : ScriptedIntelligenceBackend::Answer(answer));
    rig.backend->setGated(true);
    // The order asked in does not matter: the store's order does.
    AskSuggestionModel &model = rig.open({beta->id(), alpha->id()});

    QCOMPARE(model.badgeTitle(), QStringLiteral("Local reflection"));
    QCOMPARE(model.stage(), AskSuggestionModel::Stage::empty);
    model.appear();
    QTRY_COMPARE(model.badgeTitle(), badge);

    model.generate();
    // Without a model the answer may be back before the call returns.
    if (onDevice) {
        QCOMPARE(model.stage(), AskSuggestionModel::Stage::generating);
        QVERIFY(!model.hasSuggestion());
    }
    rig.backend->release();
    QTRY_COMPARE(model.stage(), AskSuggestionModel::Stage::preview);

    const GhostSuggestion suggestion = *model.suggestion();
    QCOMPARE(suggestion.markdownText, text);
    QCOMPARE(model.editableText(), text);
    QCOMPARE(suggestion.provider, provider);
    QCOMPARE(suggestion.fallbackReason, reason);
    QCOMPARE(suggestion.sourceCardIDs, (QList<QUuid>{alpha->id(), beta->id()}));
    QVERIFY(model.canKeep());
    QVERIFY(rig.thoughts().isEmpty());
}

void AskSuggestionModelTest::answerAfterCloseIsDropped()
{
    SheetRig rig;
    const CanvasCard *alpha = rig.add({"Alpha", true});
    rig.backend->script(QStringLiteral("Too late"));
    rig.backend->setGated(true);
    AskSuggestionModel &model = rig.open({alpha->id()});
    QSignalSpy dismissed(&model, &AskSuggestionModel::dismissRequested);
    QSignalSpy changed(&model, &AskSuggestionModel::changed);

    model.generate();
    QTRY_COMPARE(rig.backend->prompts().size(), 1);
    model.dismiss();
    QCOMPARE(dismissed.size(), 1);
    const qsizetype changesAtClose = changed.size();

    rig.backend->release();
    QTRY_COMPARE(rig.backend->answered(), 1);
    QVERIFY(drainAssistantWorker());

    QVERIFY(model.isClosed());
    QVERIFY(!model.hasSuggestion());
    QVERIFY(model.editableText().isEmpty());
    QCOMPARE(changed.size(), changesAtClose);
    model.keep();
    QVERIFY(rig.thoughts().isEmpty());
    QCOMPARE(dismissed.size(), 1);
}

void AskSuggestionModelTest::tryAgainReplacesThePreviewWithEachAnswerInTurn()
{
    SheetRig rig;
    const CanvasCard *alpha = rig.add({"Alpha", true});
    rig.backend->script(QStringLiteral("First"));
    rig.backend->script(QStringLiteral("Second"));
    rig.backend->script(QStringLiteral("Latest"));
    AskSuggestionModel &model = rig.open({alpha->id()});
    QVERIFY(generateAndWait(model));
    model.setEditableText(QStringLiteral("First, edited"));

    rig.backend->setGated(true);
    model.setPrompt(ThinkingPrompt::nextStep);
    model.generate();
    model.generate();
    // While the new answer is on its way the previous one can still be kept.
    QCOMPARE(model.stage(), AskSuggestionModel::Stage::generating);
    QVERIFY(model.hasSuggestion());
    QVERIFY(model.canKeep());

    // The first of the two answers replaces the edited preview as soon as it
    // arrives, edits and all.
    rig.backend->release();
    QTRY_COMPARE(model.editableText(), QStringLiteral("Second"));
    QCOMPARE(model.stage(), AskSuggestionModel::Stage::preview);
    model.setEditableText(QStringLiteral("Second, edited"));

    // And the second replaces it in turn.
    rig.backend->release();
    QTRY_COMPARE(model.editableText(), QStringLiteral("Latest"));
    QCOMPARE(model.stage(), AskSuggestionModel::Stage::preview);
    QCOMPARE(model.suggestion()->prompt, ThinkingPrompt::nextStep);
    QCOMPARE(model.suggestion()->markdownText, QStringLiteral("Latest"));
    QVERIFY(rig.backend->prompts().constLast().startsWith("Reflection requested: What is the next useful step?"));
}

namespace {

// A service whose answers the test hands out, in any order.
class HeldIntelligenceService final : public IntelligenceService
{
public:
    explicit HeldIntelligenceService(QList<std::shared_ptr<QPromise<GhostSuggestion>>> &pending) : m_pending(pending) {}

    QFuture<IntelligenceAvailability> availability() override
    {
        return QtFuture::makeReadyFuture(IntelligenceAvailability::onDevice());
    }
    QFuture<GhostSuggestion> generate(ThinkingPrompt, const QList<CardExcerpt> &) override
    {
        auto promise = std::make_shared<QPromise<GhostSuggestion>>();
        promise->start();
        m_pending << promise;
        return promise->future();
    }

private:
    QList<std::shared_ptr<QPromise<GhostSuggestion>>> &m_pending;
};

void answer(QPromise<GhostSuggestion> &promise, const QString &text)
{
    promise.addResult(GhostSuggestion{QUuid::createUuid(), text, ThinkingPrompt::connections, {},
                                      IntelligenceProvider::onDeviceModel, std::nullopt, at(1)});
    promise.finish();
}

} // namespace

void AskSuggestionModelTest::anAnswerOvertakenByANewerOneIsDropped()
{
    SheetRig rig;
    const CanvasCard *alpha = rig.add({"Alpha", true});
    QVERIFY(rig.context.save());
    QList<std::shared_ptr<QPromise<GhostSuggestion>>> pending;
    AskSuggestionModel model(rig.context, rig.note->id(), {alpha->id()},
                             std::make_unique<HeldIntelligenceService>(pending));
    model.generate();
    model.generate();
    QCOMPARE(pending.size(), 2);

    answer(*pending[1], QStringLiteral("Newer"));
    QTRY_COMPARE(model.editableText(), QStringLiteral("Newer"));
    QCOMPARE(model.stage(), AskSuggestionModel::Stage::preview);

    // The older request's answer comes last: it must not bring back what
    // the newer one replaced.
    answer(*pending[0], QStringLiteral("Older"));
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QCOMPARE(model.editableText(), QStringLiteral("Newer"));
    QCOMPARE(model.suggestion()->markdownText, QStringLiteral("Newer"));
}

void AskSuggestionModelTest::emptyStateCountsTheLiveSelectedCards_data()
{
    QTest::addColumn<QList<CardSetup>>("cards");
    QTest::addColumn<QString>("message");

    QTest::newRow("all trashed") << QList<CardSetup>{{"A", true, true}, {"B", false, true}}
                                 << "Tessaline stays grounded in the 0 selected cards.";
    QTest::newRow("one") << QList<CardSetup>{{"A", true}, {"B", false, true}}
                         << "Tessaline stays grounded in the 1 selected card.";
    QTest::newRow("two") << QList<CardSetup>{{"A", true}, {"B"}} << "Tessaline stays grounded in the 2 selected cards.";
}

void AskSuggestionModelTest::emptyStateCountsTheLiveSelectedCards()
{
    QFETCH(QList<CardSetup>, cards);
    QFETCH(QString, message);
    SheetRig rig;
    QList<QUuid> asked{QUuid::createUuid()}; // a card that does not exist
    for (const CardSetup &setup : cards)
        asked << rig.add(setup)->id();
    rig.add({"Not asked about", true});
    AskSuggestionModel &model = rig.open(asked);

    QCOMPARE(model.emptyStateMessage(), message);
}

void AskSuggestionModelTest::keptThoughtLandsAfterThePlacedCards_data()
{
    QTest::addColumn<int>("placed");
    QTest::addColumn<QPointF>("point");

    QTest::newRow("empty canvas") << 0 << QPointF(90, 90);
    QTest::newRow("first row full") << 4 << QPointF(90, 350);
    QTest::newRow("five placed") << 5 << QPointF(460, 350);
}

void AskSuggestionModelTest::keptThoughtLandsAfterThePlacedCards()
{
    QFETCH(int, placed);
    QFETCH(QPointF, point);
    SheetRig rig;
    QList<QUuid> asked;
    for (int i = 0; i < placed; ++i)
        asked << rig.add({QStringLiteral("Placed %1").arg(i), true})->id();
    // None of these count: in the tray, trashed, or on another note.
    asked << rig.add({"Tray", false})->id();
    rig.add({"Trashed", true, true});
    rig.add({"Elsewhere", true}, rig.otherNote);
    rig.backend->script(QStringLiteral("Model text"));
    AskSuggestionModel &model = rig.open(asked);
    QSignalSpy dismissed(&model, &AskSuggestionModel::dismissRequested);
    QVERIFY(generateAndWait(model));

    model.setEditableText(QStringLiteral("  My own words  \n"));
    model.keep();

    QCOMPARE(dismissed.size(), 1);
    QCOMPARE(model.errorMessage(), std::nullopt);
    const QList<CanvasCard *> thoughts = rig.thoughts();
    QCOMPARE(thoughts.size(), 1);
    const CanvasCard *thought = thoughts.constFirst();
    QCOMPARE(thought->markdownText(), QStringLiteral("My own words"));
    QCOMPARE(thought->boardID(), rig.note->id());
    QCOMPARE(thought->kind(), CardKind::thought);
    QVERIFY(thought->isPlaced());
    QCOMPARE(QPointF(thought->canvasX(), thought->canvasY()), point);
    QCOMPARE(thought->sourceCardIDs(), model.suggestion()->sourceCardIDs);
    QCOMPARE(thought->createdAt(), at(500));
}

void AskSuggestionModelTest::failedKeepStoresNothingAndSaysWhy_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("saveFails");
    QTest::addColumn<QString>("message");

    QTest::newRow("blank text") << " \n " << false << "A note needs at least one character.";
    QTest::newRow("save fails") << "A thought" << true << "The disk is full.";
}

void AskSuggestionModelTest::failedKeepStoresNothingAndSaysWhy()
{
    QFETCH(QString, text);
    QFETCH(bool, saveFails);
    QFETCH(QString, message);
    SheetRig rig(IntelligenceAvailability::fallback(IntelligenceUnavailableReason::unsupportedOperatingSystem));
    const CanvasCard *alpha = rig.add({"Alpha", true});
    AskSuggestionModel &model = rig.open({alpha->id()});
    QSignalSpy dismissed(&model, &AskSuggestionModel::dismissRequested);
    QVERIFY(generateAndWait(model));
    model.setEditableText(text);
    QCOMPARE(model.canKeep(), saveFails);
    if (saveFails)
        rig.context.failNextSave(StoreError{message});

    model.keep();

    QCOMPARE(model.errorMessage(), std::optional(message));
    QCOMPARE(dismissed.size(), 0);
    QVERIFY(!model.isClosed());
    QCOMPARE(model.editableText(), text);
    QVERIFY(rig.thoughts().isEmpty());

    // Once the cause is gone, keeping again makes exactly one thought.
    model.clearErrorMessage();
    model.setEditableText(QStringLiteral("A thought"));
    model.keep();
    QCOMPARE(dismissed.size(), 1);
    QCOMPARE(rig.thoughts().size(), 1);
}

QTEST_GUILESS_MAIN(AskSuggestionModelTest)
#include "tst_asksuggestionmodel.moc"
