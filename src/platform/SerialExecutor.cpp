#include "platform/SerialExecutor.h"

namespace tessaline {

SerialExecutor::SerialExecutor(const QString &name) : m_context(new QObject)
{
    m_thread.setObjectName(name);
    m_context->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_context, &QObject::deleteLater);
    m_thread.start();
}

SerialExecutor::~SerialExecutor()
{
    m_stopping = true;
    // Waits behind the jobs already queued (which now return at once), so the
    // worker's state is released on its own thread before the thread ends.
    // No job ever waits for the caller's thread, so this cannot deadlock.
    if (m_shutdownJob)
        QMetaObject::invokeMethod(m_context, m_shutdownJob, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void SerialExecutor::run(std::function<void()> job)
{
    QMetaObject::invokeMethod(
        m_context,
        [this, job = std::move(job)]() {
            if (!m_stopping)
                job();
        },
        Qt::QueuedConnection);
}

void SerialExecutor::runAtShutdown(std::function<void()> job)
{
    m_shutdownJob = std::move(job);
}

} // namespace tessaline
