#include "platform/PrivateFolder.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

namespace tessaline {

bool makePrivateFolder(const QString &path)
{
    if (!QDir().mkpath(path))
        return false;
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    if (::stat(name.constData(), &status) != 0)
        return false;
    // Only what others may do goes; the owner keeps what the owner had.
    if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        (void)::chmod(name.constData(), status.st_mode & S_IRWXU);
    return true;
}

} // namespace tessaline
