#include "platform/FileWriteback.h"

#include <QFile>

#include <chrono>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace tessaline {

FileWriteback::FileWriteback(const QString &filePath)
{
    m_fd = ::open(QFile::encodeName(filePath).constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        return;
    try {
        m_thread = std::thread([this] { run(); });
    } catch (const std::system_error &) {
        // No thread to be had: the sync writes everything, as without this.
    }
}

FileWriteback::~FileWriteback()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_stopped.notify_one();
    if (m_thread.joinable())
        m_thread.join();
    if (m_fd >= 0)
        ::close(m_fd);
}

void FileWriteback::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        lock.unlock();
        // Starts writing whatever is dirty and returns; the pages of any
        // handle on the file are the same pages.
        ::sync_file_range(m_fd, 0, 0, SYNC_FILE_RANGE_WRITE);
        lock.lock();
        m_stopped.wait_for(lock, std::chrono::milliseconds(1), [this] { return m_stop; });
    }
}

} // namespace tessaline
