#include "ScriptedIntelligenceBackend.h"

#include "assistant/SystemIntelligenceService.h"

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QThread>
#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

QList<CardExcerpt> excerpts(const QStringList &titles, const QStringList &texts = {})
{
    QList<CardExcerpt> list;
    for (int i = 0; i < titles.size(); ++i)
        list << CardExcerpt{QUuid::createUuid(), titles.at(i), texts.value(i)};
    return list;
}

QList<QUuid> ids(const QList<CardExcerpt> &list)
{
    QList<QUuid> result;
    for (const CardExcerpt &excerpt : list)
        result << excerpt.id;
    return result;
}

// A model that takes its time, as a local server loading a large model
// does, and stops as soon as the asker gives up.
class SlowBackend final : public IntelligenceBackend
{
public:
    std::atomic<bool> asked{false};

    IntelligenceAvailability availability(const Cancelled &) override { return IntelligenceAvailability::onDevice(); }
    Expected<QString, IntelligenceBackendError> respond(const QString &, const QString &,
                                                        const Cancelled &cancelled) override
    {
        asked = true;
        QDeadlineTimer patience(20'000);
        // Asked again at once, so the answer comes as soon as the asker
        // gives up rather than at the end of a nap.
        while (!cancelled() && !patience.hasExpired())
            QThread::yieldCurrentThread();
        return unexpected(IntelligenceBackendError{QStringLiteral("Cancelled.")});
    }
};

const QString closing = QStringLiteral("\n\nUse only the material above. Make the relationship to the source cards clear.");

} // namespace

class SystemIntelligenceServiceTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void modelPrompt_data();
    void modelPrompt();
    void sourcesAreCutAtWholeCharacters_data();
    void sourcesAreCutAtWholeCharacters();
    void fallbackReflection_data();
    void fallbackReflection();
    void generationHandsTheModelEightSourcesAndKeepsEveryID();
    void generationWithoutAModelNeverAsksOne();
    // Last: once the app has said it quits, every later call gives up too.
    void quittingTellsAWaitingCallToGiveUp();
};

void SystemIntelligenceServiceTest::modelPrompt_data()
{
    QTest::addColumn<ThinkingPrompt>("prompt");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no sources") << ThinkingPrompt::connections << QStringList() << QStringList()
                                << "Reflection requested: What connects these?\n\nNo source text was available; offer a "
                                   "question that asks the user to add context."
                                       + closing;
    QTest::newRow("trimmed sources, one without text")
        << ThinkingPrompt::nextStep << QStringList{"  Alpha \n", "Beta"} << QStringList{"\n first text  ", ""}
        << "Reflection requested: What is the next useful step?\n\nSource 1 \u2014 Alpha:\nfirst text\n\nSource 2 "
           "\u2014 Beta:\n"
               + closing;
    QTest::newRow("blank title and text leave their places empty")
        << ThinkingPrompt::question << QStringList{"   "} << QStringList{" \n "}
        << "Reflection requested: What question does this raise?\n\nSource 1 \u2014 :\n" + closing;
    QTest::newRow("conflicts") << ThinkingPrompt::conflicts << QStringList{"A"} << QStringList{"x"}
                               << "Reflection requested: What conflicts here?\n\nSource 1 \u2014 A:\nx" + closing;
    QTest::newRow("missing") << ThinkingPrompt::missing << QStringList{"A"} << QStringList{"x"}
                             << "Reflection requested: What might be missing?\n\nSource 1 \u2014 A:\nx" + closing;
}

void SystemIntelligenceServiceTest::modelPrompt()
{
    QFETCH(ThinkingPrompt, prompt);
    QFETCH(QStringList, titles);
    QFETCH(QStringList, texts);
    QFETCH(QString, expected);
    QCOMPARE(SystemIntelligenceService::makePrompt(prompt, excerpts(titles, texts)), expected);
}

void SystemIntelligenceServiceTest::sourcesAreCutAtWholeCharacters_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    const QString accent = QStringLiteral("e\u0301");
    const QString flag = QStringLiteral("\U0001F1E9\U0001F1EA");
    QTest::newRow("long title") << QString(200, 'a') << "t" << "Source 1 \u2014 " + QString(160, 'a') + ":\nt";
    QTest::newRow("title ends in a combining mark")
        << QString(159, 'a') + accent + "z" << "t" << "Source 1 \u2014 " + QString(159, 'a') + accent + ":\nt";
    QTest::newRow("text ends in a flag") << "T" << QString(999, 'b') + flag + "c"
                                         << "Source 1 \u2014 T:\n" + QString(999, 'b') + flag;
    QTest::newRow("cut after trimming") << "  " + QString(160, 'a') + "b" << QString(3, ' ') + "text"
                                        << "Source 1 \u2014 " + QString(160, 'a') + ":\ntext";
}

void SystemIntelligenceServiceTest::sourcesAreCutAtWholeCharacters()
{
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(SystemIntelligenceService::sourceBlock(0, CardExcerpt{QUuid::createUuid(), title, text}), expected);
}

void SystemIntelligenceServiceTest::fallbackReflection_data()
{
    QTest::addColumn<ThinkingPrompt>("prompt");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QString>("expected");

    QTest::newRow("connection of two titles")
        << ThinkingPrompt::connections << QStringList{"Alpha", "Beta", "Gamma"}
        << "**Possible connection:** Alpha and Beta may serve the same goal. What shared constraint or outcome links them?";
    QTest::newRow("connection of one title")
        << ThinkingPrompt::connections << QStringList{" Alpha "}
        << "**Possible connection:** Alpha and the surrounding context may serve the same goal. What shared "
           "constraint or outcome links them?";
    QTest::newRow("blank titles move the next up")
        << ThinkingPrompt::conflicts << QStringList{"  ", "Alpha", " \n", "Beta"}
        << "**Potential tension:** Compare Alpha with Beta. Which assumption cannot remain true in both?";
    QTest::newRow("question without cards")
        << ThinkingPrompt::question << QStringList()
        << "**Question:** What would need to be true for this idea to become useful\u2014and what evidence would "
           "change your mind?";
    QTest::newRow("missing piece") << ThinkingPrompt::missing << QStringList{"Alpha"}
                                   << "**Missing piece:** Add the constraint, evidence, or perspective that would most "
                                      "change how you interpret Alpha.";
    QTest::newRow("next step keeps a long title whole")
        << ThinkingPrompt::nextStep << QStringList{QString(200, 'x')}
        << "**Next step:** Turn " + QString(200, 'x')
               + " into one small test or decision, then name the result that would change what you do next.";
}

void SystemIntelligenceServiceTest::fallbackReflection()
{
    QFETCH(ThinkingPrompt, prompt);
    QFETCH(QStringList, titles);
    QFETCH(QString, expected);
    const QList<CardExcerpt> sources = excerpts(titles, QStringList(titles.size(), "ignored text"));

    const GhostSuggestion suggestion = SystemIntelligenceService::fallbackSuggestion(
        prompt, sources, IntelligenceUnavailableReason::modelNotReady);
    QCOMPARE(suggestion.markdownText, expected);
    QCOMPARE(suggestion.prompt, prompt);
    QCOMPARE(suggestion.sourceCardIDs, ids(sources));
    QCOMPARE(suggestion.provider, IntelligenceProvider::deterministic);
    QCOMPARE(suggestion.fallbackReason, std::optional(IntelligenceUnavailableReason::modelNotReady));
    QVERIFY(!suggestion.id.isNull());
}

void SystemIntelligenceServiceTest::generationHandsTheModelEightSourcesAndKeepsEveryID()
{
    auto backend = std::make_shared<ScriptedIntelligenceBackend>();
    backend->script(QStringLiteral("\n  A grounded thought.  \n"));
    SystemIntelligenceService service(backend);
    QStringList titles;
    for (int i = 1; i <= 10; ++i)
        titles << QStringLiteral("Card %1").arg(i);
    const QList<CardExcerpt> sources = excerpts(titles, titles);

    QFuture<GhostSuggestion> answer = service.generate(ThinkingPrompt::missing, sources);
    QTRY_VERIFY(answer.isFinished());

    const GhostSuggestion suggestion = answer.result();
    QCOMPARE(suggestion.markdownText, QStringLiteral("A grounded thought."));
    QCOMPARE(suggestion.provider, IntelligenceProvider::onDeviceModel);
    QCOMPARE(suggestion.fallbackReason, std::nullopt);
    QCOMPARE(suggestion.sourceCardIDs, ids(sources));

    QCOMPARE(backend->prompts(), QStringList{SystemIntelligenceService::makePrompt(ThinkingPrompt::missing, sources)});
    QVERIFY(backend->prompts().constFirst().contains("Source 8 \u2014 Card 8:\nCard 8\n\nUse only"));
    QVERIFY(!backend->prompts().constFirst().contains("Source 9"));
    QCOMPARE(backend->instructions(), QStringList{SystemIntelligenceService::instructions()});
    QCOMPARE(SystemIntelligenceService::instructions().toUtf8().size(), 297);
}

void SystemIntelligenceServiceTest::generationWithoutAModelNeverAsksOne()
{
    auto backend = std::make_shared<ScriptedIntelligenceBackend>(
        IntelligenceAvailability::fallback(IntelligenceUnavailableReason::unsupportedOperatingSystem));
    SystemIntelligenceService service(backend);

    QFuture<IntelligenceAvailability> availability = service.availability();
    QFuture<GhostSuggestion> answer = service.generate(ThinkingPrompt::connections, excerpts({"Alpha"}));
    QTRY_VERIFY(answer.isFinished());
    QVERIFY(availability.isFinished());

    QCOMPARE(availability.result(),
             IntelligenceAvailability::fallback(IntelligenceUnavailableReason::unsupportedOperatingSystem));
    QCOMPARE(answer.result().provider, IntelligenceProvider::deterministic);
    QCOMPARE(answer.result().fallbackReason, std::optional(IntelligenceUnavailableReason::unsupportedOperatingSystem));
    QVERIFY(answer.result().markdownText.startsWith("**Possible connection:** Alpha and the surrounding context"));
    QVERIFY(backend->prompts().isEmpty());
}

void SystemIntelligenceServiceTest::quittingTellsAWaitingCallToGiveUp()
{
    // The sheet, and so its service, may still be there when the app quits;
    // once the application object is gone the worker hears nothing more, so
    // the call must have given up by then, or the ended app lingers.
    auto backend = std::make_shared<SlowBackend>();
    SystemIntelligenceService service(backend);
    QFuture<GhostSuggestion> answer = service.generate(ThinkingPrompt::connections, excerpts({"Alpha"}));
    QTRY_VERIFY(backend->asked);

    QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit", Qt::DirectConnection));
    QVERIFY(answer.isFinished());
    QCOMPARE(answer.result().fallbackReason, std::optional(IntelligenceUnavailableReason::generationFailed));
}

QTEST_GUILESS_MAIN(SystemIntelligenceServiceTest)
#include "tst_systemintelligenceservice.moc"
