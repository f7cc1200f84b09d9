#include "support/ProcessStatus.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>

namespace tessaline::bench {

qint64 processStatusKilobytes(qint64 pid, const QByteArray &field)
{
    QFile status(pid == 0 ? QStringLiteral("/proc/self/status") : QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray prefix = field + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').constFirst().toLongLong();
    }
    return 0;
}

qint64 processMinorFaults(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    // The name in parentheses may hold spaces: fields are counted after it.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    constexpr int minorFaults = 7; // the tenth field, the eighth after the name
    return fields.size() > minorFaults ? fields.at(minorFaults).toLongLong() : 0;
}

QString runtimeDirectoryTemplate()
{
    for (const QString &base : {qEnvironmentVariable("XDG_RUNTIME_DIR"), QStringLiteral("/dev/shm")}) {
        const QFileInfo folder(base);
        if (!base.isEmpty() && folder.isDir() && folder.isWritable())
            return QDir(base).filePath(QStringLiteral("tessaline-bench-XXXXXX"));
    }
    return QDir(QDir::tempPath()).filePath(QStringLiteral("tessaline-bench-XXXXXX"));
}

} // namespace tessaline::bench
