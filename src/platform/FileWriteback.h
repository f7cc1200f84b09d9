#pragma once

#include <QString>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace tessaline {

// While it lives, keeps asking the kernel to start writing a file's changed
// pages to the disk as they come, rather than all at the sync that follows:
// that sync then waits only for the last of them. Writing a capture's 17 MB
// picture into the library's log and syncing it takes about a quarter less
// time so. Nothing is promised about durability until that sync; nothing is done
// when the file cannot be opened.
class FileWriteback
{
public:
    explicit FileWriteback(const QString &filePath);
    ~FileWriteback();

    FileWriteback(const FileWriteback &) = delete;
    FileWriteback &operator=(const FileWriteback &) = delete;

private:
    void run();

    int m_fd = -1;
    std::mutex m_mutex;
    std::condition_variable m_stopped;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace tessaline
