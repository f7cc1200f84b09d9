#include "support/ProcessStatus.h"

#include <QFile>
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

} // namespace tessaline::bench
