#include "platform/FileLock.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tessaline {

FileLock::FileLock(const QString &path)
    : m_path(path)
{
}

FileLock::~FileLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

FileLock::State FileLock::tryLock()
{
    if (m_fd >= 0)
        return State::held;
    const QByteArray name = QFile::encodeName(m_path);
    // Close-on-exec: a process started from this one (a relaunch) must not
    // inherit the lock and keep it past this process's end.
    int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    // A lock file left read-only still locks: flock needs no write access.
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
        fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        m_errorText = QString::fromLocal8Bit(std::strerror(errno));
        return State::unavailable;
    }
    int locked;
    do
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        const int error = errno;
        ::close(fd);
        m_errorText = QString::fromLocal8Bit(std::strerror(error));
        return error == EWOULDBLOCK ? State::heldElsewhere : State::unavailable;
    }
    m_fd = fd;
    m_errorText.clear();
    return State::held;
}

} // namespace tessaline
