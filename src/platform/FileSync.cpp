#include "platform/FileSync.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tessaline {

namespace {

// The sync's errno, or 0.
int syncInterrupted(int fd, int (*sync)(int))
{
    int synced;
    do
        synced = sync(fd);
    while (synced != 0 && errno == EINTR);
    return synced == 0 ? 0 : errno;
}

} // namespace

Expected<void, QString> syncDirectory(const QString &directory)
{
    const int fd = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return unexpected(QString::fromLocal8Bit(std::strerror(errno)));
    const int error = syncInterrupted(fd, ::fsync);
    ::close(fd);
    // Some file systems cannot sync a folder at all; their renames are as
    // durable as they will get.
    if (error != 0 && error != EINVAL && error != ENOTSUP)
        return unexpected(QString::fromLocal8Bit(std::strerror(error)));
    return {};
}

Expected<void, QString> syncDirectoryOf(const QString &filePath)
{
    return syncDirectory(QFileInfo(filePath).absolutePath());
}

Expected<void, QString> syncFileContents(const QString &filePath)
{
    const int fd = ::open(QFile::encodeName(filePath).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return {};
        return unexpected(QString::fromLocal8Bit(std::strerror(errno)));
    }
    const int error = syncInterrupted(fd, ::fdatasync);
    ::close(fd);
    if (error != 0)
        return unexpected(QString::fromLocal8Bit(std::strerror(error)));
    return {};
}

Expected<void, QString> flushBeforeCommit(QSaveFile &file)
{
    errno = 0;
    if (file.flush())
        return {};
    const int error = errno;
    const QString reason = error != 0 ? QString::fromLocal8Bit(std::strerror(error)) : file.errorString();
    file.cancelWriting();
    return unexpected(reason);
}

} // namespace tessaline
