#include "platform/SerialExecutor.h"

#include <algorithm>
#include <cerrno>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tessaline {

namespace {

// Weighs about a tenth of an ordinary thread where both want a processor.
constexpr int backgroundNiceness = 10;

} // namespace

SerialExecutor::SerialExecutor(const QString &name, Urgency urgency) : m_context(new QObject)
{
    m_thread.setObjectName(name);
    m_context->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_context, &QObject::deleteLater);
    m_thread.start();
    if (urgency == Urgency::background) {
        // Linux keeps a niceness per thread, and threads made from this one
        // start with its value. Qt's own priorities change nothing for
        // ordinary threads here. Only ever raised, which needs no rights.
        run([] {
            const pid_t thread = pid_t(::syscall(SYS_gettid));
            errno = 0;
            const int current = ::getpriority(PRIO_PROCESS, id_t(thread));
            if (errno == 0)
                ::setpriority(PRIO_PROCESS, id_t(thread), std::min(current + backgroundNiceness, 19));
        });
    }
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
