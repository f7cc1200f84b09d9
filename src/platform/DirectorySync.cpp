#include "platform/DirectorySync.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tessaline {

Expected<void, QString> syncDirectory(const QString &directory)
{
    const int fd = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return unexpected(QString::fromLocal8Bit(std::strerror(errno)));
    int synced;
    do
        synced = ::fsync(fd);
    while (synced != 0 && errno == EINTR);
    const int error = errno;
    ::close(fd);
    // Some file systems cannot sync a folder at all; their renames are as
    // durable as they will get.
    if (synced != 0 && error != EINVAL && error != ENOTSUP)
        return unexpected(QString::fromLocal8Bit(std::strerror(error)));
    return {};
}

Expected<void, QString> syncDirectoryOf(const QString &filePath)
{
    return syncDirectory(QFileInfo(filePath).absolutePath());
}

} // namespace tessaline
