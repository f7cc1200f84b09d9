#pragma once

#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <functional>

namespace tessaline {

// One worker thread that runs jobs one after another, in the order they were
// handed in: the home of a service whose calls must never overlap (text
// recognition, the search index). State that belongs to the worker is
// created and destroyed inside jobs, so it never crosses threads.
class SerialExecutor
{
public:
    explicit SerialExecutor(const QString &name);
    // Jobs that have not started are dropped; the one running is finished,
    // then `finish` jobs run, then the thread ends.
    ~SerialExecutor();

    SerialExecutor(const SerialExecutor &) = delete;
    SerialExecutor &operator=(const SerialExecutor &) = delete;

    void run(std::function<void()> job);
    // Runs even while shutting down: for releasing the worker's own state.
    void runAtShutdown(std::function<void()> job);

    QThread *thread() { return &m_thread; }

private:
    QThread m_thread;
    QObject *m_context;
    std::atomic<bool> m_stopping{false};
    std::function<void()> m_shutdownJob;
};

// Hands `function` to the receiver's thread as a queued call; dropped when
// the receiver is destroyed before it runs.
template<typename Function>
void deliverTo(QObject *receiver, Function &&function)
{
    if (receiver)
        QMetaObject::invokeMethod(receiver, std::forward<Function>(function), Qt::QueuedConnection);
}

} // namespace tessaline
