#pragma once

#include "assistant/IntelligenceBackend.h"
#include "assistant/SystemIntelligenceService.h"

#include <QFuture>
#include <QMutex>
#include <QSemaphore>
#include <QStringList>
#include <QTest>

#include <atomic>
#include <deque>
#include <memory>

namespace tessaline::testing {

// A model that answers what the test scripted, in order. A gated backend
// holds each answer until the test releases it, whether or not the asker
// still wants it, so an answer can arrive late.
class ScriptedIntelligenceBackend final : public IntelligenceBackend
{
public:
    using Answer = Expected<QString, IntelligenceBackendError>;

    explicit ScriptedIntelligenceBackend(IntelligenceAvailability availability = IntelligenceAvailability::onDevice())
        : m_availability(availability)
    {
    }

    // Set up before the first call; the worker reads them later.
    void script(Answer answer) { m_answers.push_back(std::move(answer)); }
    void setGated(bool gated) { m_gated = gated; }

    void release(int count = 1) { m_gate.release(count); }
    int answered() const { return m_answered; }
    QStringList prompts() const
    {
        QMutexLocker lock(&m_mutex);
        return m_prompts;
    }
    QStringList instructions() const
    {
        QMutexLocker lock(&m_mutex);
        return m_instructions;
    }

    IntelligenceAvailability availability(const Cancelled &) override { return m_availability; }

    Answer respond(const QString &instructions, const QString &prompt, const Cancelled &) override
    {
        {
            QMutexLocker lock(&m_mutex);
            m_instructions << instructions;
            m_prompts << prompt;
        }
        // Bounded, so a test that forgets to release fails instead of hanging.
        if (m_gated)
            m_gate.tryAcquire(1, 20'000);
        QMutexLocker lock(&m_mutex);
        Answer answer = m_answers.empty() ? Answer(QStringLiteral("Unscripted")) : m_answers.front();
        if (!m_answers.empty())
            m_answers.pop_front();
        ++m_answered;
        return answer;
    }

private:
    IntelligenceAvailability m_availability;
    std::deque<Answer> m_answers;
    bool m_gated = false;
    QSemaphore m_gate;
    mutable QMutex m_mutex;
    QStringList m_prompts;
    QStringList m_instructions;
    std::atomic<int> m_answered{0};
};

// Everything handed to the assistant's worker before this call has finished,
// and its answers have been delivered, once this returns: the worker runs one
// call at a time, in order.
inline bool drainAssistantWorker()
{
    SystemIntelligenceService marker(std::make_shared<ScriptedIntelligenceBackend>());
    QFuture<IntelligenceAvailability> done = marker.availability();
    auto delivered = std::make_shared<bool>(false);
    done.then(QCoreApplication::instance(), [delivered](IntelligenceAvailability) { *delivered = true; });
    return QTest::qWaitFor([delivered] { return *delivered; }, 20'000);
}

} // namespace tessaline::testing
