#pragma once

#include "assistant/IntelligenceBackend.h"
#include "assistant/IntelligenceService.h"

#include <atomic>
#include <memory>

class QThreadPool;

namespace tessaline {

// Reflections from the model of this computer when one answers, else from
// fixed sentence patterns over the cards' titles.
//
// Every call runs on the assistant's one worker, after the calls handed in
// before it. Destroying the service tells its unfinished calls to give up;
// it never waits for them, so closing a sheet never blocks the window.
class SystemIntelligenceService final : public IntelligenceService
{
public:
    // By default the language-model server on the loopback address.
    explicit SystemIntelligenceService(std::shared_ptr<IntelligenceBackend> backend = defaultBackend());
    ~SystemIntelligenceService() override;

    static std::shared_ptr<IntelligenceBackend> defaultBackend();

    QFuture<IntelligenceAvailability> availability() override;
    QFuture<GhostSuggestion> generate(ThinkingPrompt prompt, const QList<CardExcerpt> &excerpts) override;

    // The question a prompt stands for, as the user reads it and the model
    // is asked it.
    static QString question(ThinkingPrompt prompt);
    // What the model is told before any prompt.
    static QString instructions();
    // At most eight sources reach the model, each cut to a bounded length.
    static QString makePrompt(ThinkingPrompt prompt, const QList<CardExcerpt> &excerpts);
    static QString sourceBlock(int index, const CardExcerpt &excerpt);
    // The reflection written without a model: it names the first two
    // non-blank titles and ignores the cards' texts.
    static GhostSuggestion fallbackSuggestion(ThinkingPrompt prompt, const QList<CardExcerpt> &excerpts,
                                              IntelligenceUnavailableReason reason);

    static constexpr int maximumSources = 8;
    static constexpr int maximumTitleLength = 160;
    static constexpr int maximumTextLength = 1000;

private:
    // Shared by every sheet's service: one serial worker for the assistant.
    static QThreadPool &worker();
    // True once this service is gone or the app quits.
    IntelligenceBackend::Cancelled cancellation() const;

    std::shared_ptr<IntelligenceBackend> m_backend;
    std::shared_ptr<std::atomic<bool>> m_cancelled;
};

} // namespace tessaline
