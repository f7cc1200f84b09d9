#pragma once

#include "platform/FutureDelivery.h"

#include <QObject>
#include <QPromise>
#include <QString>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <type_traits>

namespace tessaline {

// One worker thread that runs jobs one after another, in the order they were
// handed in: the home of a service whose calls must never overlap (text
// recognition, the search index). State that belongs to the worker is
// created and destroyed inside jobs, so it never crosses threads.
class SerialExecutor
{
public:
    // How the worker's thread competes for the processors. Background work
    // (reading a capture's text with an engine on every processor, indexing
    // it) yields to the main thread and to the helpers it paints with, so a
    // frame drawn meanwhile is not late; on an idle processor it runs as
    // fast as ever. Threads it starts yield as well.
    enum class Urgency { prompt, background };
    explicit SerialExecutor(const QString &name, Urgency urgency = Urgency::prompt);
    // Jobs that have not started are dropped; the one running is finished,
    // then `finish` jobs run, then the thread ends.
    ~SerialExecutor();

    SerialExecutor(const SerialExecutor &) = delete;
    SerialExecutor &operator=(const SerialExecutor &) = delete;

    void run(std::function<void()> job);
    // Runs `job` on the worker; its result is delivered to the receiver as
    // `deliveredTo` does. A job dropped at shutdown finishes cancelled.
    template <typename Job>
    auto submit(QObject *receiver, Job job) -> QFuture<std::invoke_result_t<Job &>>;
    // Runs even while shutting down: for releasing the worker's own state.
    void runAtShutdown(std::function<void()> job);

    QThread *thread() { return &m_thread; }

private:
    QThread m_thread;
    QObject *m_context;
    std::atomic<bool> m_stopping{false};
    std::function<void()> m_shutdownJob;
};

template <typename Job>
auto SerialExecutor::submit(QObject *receiver, Job job) -> QFuture<std::invoke_result_t<Job &>>
{
    using Result = std::invoke_result_t<Job &>;
    // Shared, because a queued job must be copyable; the last owner to let go
    // of an unfinished promise cancels it.
    auto promise = std::make_shared<QPromise<Result>>();
    promise->start();
    // Delivery is set up before the job is queued, so the answer never comes
    // during this call however fast the worker is.
    QFuture<Result> delivered = deliveredTo(receiver, promise->future());
    run([promise, job = std::move(job)]() mutable {
        promise->addResult(job());
        promise->finish();
    });
    return delivered;
}

} // namespace tessaline
