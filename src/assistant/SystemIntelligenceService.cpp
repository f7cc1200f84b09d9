#include "assistant/SystemIntelligenceService.h"

#include "assistant/IntelligenceBackend.h"
#include "assistant/LocalModelServerBackend.h"
#include "platform/TextUtilities.h"

#include <QCoreApplication>
#include <QStringList>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

namespace tessaline {

namespace {

QList<QUuid> sourceIDs(const QList<CardExcerpt> &excerpts)
{
    QList<QUuid> ids;
    ids.reserve(excerpts.size());
    for (const CardExcerpt &excerpt : excerpts)
        ids << excerpt.id;
    return ids;
}

GhostSuggestion suggestion(const QString &text, ThinkingPrompt prompt, const QList<CardExcerpt> &excerpts,
                           IntelligenceProvider provider, std::optional<IntelligenceUnavailableReason> reason)
{
    return GhostSuggestion{QUuid::createUuid(), text,   prompt, sourceIDs(excerpts),
                           provider,            reason, QDateTime::currentDateTimeUtc()};
}

Expected<GhostSuggestion, IntelligenceBackendError> generateOnDevice(IntelligenceBackend &backend, ThinkingPrompt prompt,
                                                                     const QList<CardExcerpt> &excerpts,
                                                                     const IntelligenceBackend::Cancelled &cancelled)
{
    const auto answer = backend.respond(SystemIntelligenceService::instructions(),
                                        SystemIntelligenceService::makePrompt(prompt, excerpts), cancelled);
    if (!answer)
        return unexpected(answer.error());
    const QString text = trimmedWhitespace(*answer);
    if (text.isEmpty())
        return unexpected(IntelligenceBackendError{QStringLiteral("The model answered with nothing.")});
    return suggestion(text, prompt, excerpts, IntelligenceProvider::onDeviceModel, std::nullopt);
}

} // namespace

SystemIntelligenceService::SystemIntelligenceService(std::shared_ptr<IntelligenceBackend> backend)
    : m_backend(std::move(backend)), m_cancelled(std::make_shared<std::atomic<bool>>(false))
{
}

SystemIntelligenceService::~SystemIntelligenceService()
{
    m_cancelled->store(true);
}

std::shared_ptr<IntelligenceBackend> SystemIntelligenceService::defaultBackend()
{
    return std::make_shared<LocalModelServerBackend>();
}

namespace {

// Set as the app quits: every call still waiting gives up.
std::atomic<bool> &applicationQuitting()
{
    static std::atomic<bool> quitting{false};
    return quitting;
}

// How long quitting waits for a call to give up: one look at its flag.
constexpr int quitWaitMilliseconds = 2000;

} // namespace

QThreadPool &SystemIntelligenceService::worker()
{
    struct SerialPool : QThreadPool
    {
        SerialPool()
        {
            setMaxThreadCount(1);
            // A call waits on the worker's own event loop, which hears
            // nothing once the application object is gone: a question to a
            // slow model server would then hold the ended app, and the
            // single-instance lock with it, until the server answered. The
            // calls are told to give up while the app still runs.
            if (QCoreApplication *application = QCoreApplication::instance())
                QObject::connect(application, &QCoreApplication::aboutToQuit, application, [this] {
                    applicationQuitting().store(true);
                    waitForDone(quitWaitMilliseconds);
                });
        }
    };
    static SerialPool pool;
    return pool;
}

IntelligenceBackend::Cancelled SystemIntelligenceService::cancellation() const
{
    return [cancelled = m_cancelled] { return cancelled->load() || applicationQuitting().load(); };
}

QFuture<IntelligenceAvailability> SystemIntelligenceService::availability()
{
    return QtConcurrent::run(&worker(), [backend = m_backend, isCancelled = cancellation()]() {
        return backend->availability(isCancelled);
    });
}

QFuture<GhostSuggestion> SystemIntelligenceService::generate(ThinkingPrompt prompt, const QList<CardExcerpt> &excerpts)
{
    return QtConcurrent::run(&worker(), [backend = m_backend, isCancelled = cancellation(), prompt, excerpts]() {
        const IntelligenceAvailability availability = backend->availability(isCancelled);
        if (const auto reason = availability.fallbackReason())
            return fallbackSuggestion(prompt, excerpts, *reason);
        auto onDevice = generateOnDevice(*backend, prompt, excerpts, isCancelled);
        if (!onDevice)
            return fallbackSuggestion(prompt, excerpts, IntelligenceUnavailableReason::generationFailed);
        return std::move(onDevice).value();
    });
}

QString SystemIntelligenceService::question(ThinkingPrompt prompt)
{
    switch (prompt) {
    case ThinkingPrompt::connections: return QStringLiteral("What connects these?");
    case ThinkingPrompt::conflicts: return QStringLiteral("What conflicts here?");
    case ThinkingPrompt::question: return QStringLiteral("What question does this raise?");
    case ThinkingPrompt::missing: return QStringLiteral("What might be missing?");
    case ThinkingPrompt::nextStep: return QStringLiteral("What is the next useful step?");
    }
    return QString();
}

QString SystemIntelligenceService::instructions()
{
    return QStringLiteral("You help someone think with their own visual notes. Stay grounded only in the supplied "
                          "source cards. Return one concise Markdown thought of at most 80 words. Do not invent facts, "
                          "issue commands, or claim certainty. Prefer a useful question, tension, connection, or next "
                          "step. Do not add a heading.");
}

QString SystemIntelligenceService::makePrompt(ThinkingPrompt prompt, const QList<CardExcerpt> &excerpts)
{
    QString sources;
    if (excerpts.isEmpty()) {
        sources = QStringLiteral("No source text was available; offer a question that asks the user to add context.");
    } else {
        QStringList blocks;
        for (int index = 0; index < std::min<qsizetype>(excerpts.size(), maximumSources); ++index)
            blocks << sourceBlock(index, excerpts.at(index));
        sources = blocks.join(QStringLiteral("\n\n"));
    }
    return QStringLiteral("Reflection requested: ") + question(prompt) + QStringLiteral("\n\n") + sources
        + QStringLiteral("\n\nUse only the material above. Make the relationship to the source cards clear.");
}

QString SystemIntelligenceService::sourceBlock(int index, const CardExcerpt &excerpt)
{
    return QStringLiteral("Source ") + QString::number(index + 1) + QStringLiteral(" \u2014 ")
        + graphemePrefix(trimmedWhitespace(excerpt.title), maximumTitleLength) + QStringLiteral(":\n")
        + graphemePrefix(trimmedWhitespace(excerpt.text), maximumTextLength);
}

GhostSuggestion SystemIntelligenceService::fallbackSuggestion(ThinkingPrompt prompt, const QList<CardExcerpt> &excerpts,
                                                              IntelligenceUnavailableReason reason)
{
    QStringList titles;
    for (const CardExcerpt &excerpt : excerpts) {
        const QString title = trimmedWhitespace(excerpt.title);
        if (!title.isEmpty())
            titles << title;
    }
    const QString x = titles.size() > 0 ? titles.at(0) : QStringLiteral("this idea");
    const QString y = titles.size() > 1 ? titles.at(1) : QStringLiteral("the surrounding context");

    QString text;
    switch (prompt) {
    case ThinkingPrompt::connections:
        text = QStringLiteral("**Possible connection:** ") + x + QStringLiteral(" and ") + y
            + QStringLiteral(" may serve the same goal. What shared constraint or outcome links them?");
        break;
    case ThinkingPrompt::conflicts:
        text = QStringLiteral("**Potential tension:** Compare ") + x + QStringLiteral(" with ") + y
            + QStringLiteral(". Which assumption cannot remain true in both?");
        break;
    case ThinkingPrompt::question:
        text = QStringLiteral("**Question:** What would need to be true for ") + x
            + QStringLiteral(" to become useful\u2014and what evidence would change your mind?");
        break;
    case ThinkingPrompt::missing:
        text = QStringLiteral("**Missing piece:** Add the constraint, evidence, or perspective that would most change "
                              "how you interpret ")
            + x + QStringLiteral(".");
        break;
    case ThinkingPrompt::nextStep:
        text = QStringLiteral("**Next step:** Turn ") + x
            + QStringLiteral(" into one small test or decision, then name the result that would change what you do "
                             "next.");
        break;
    }
    return suggestion(text, prompt, excerpts, IntelligenceProvider::deterministic, reason);
}

} // namespace tessaline
