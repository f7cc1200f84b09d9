#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace tessaline::bench {

// One figure of a process's /proc status (VmRSS, VmHWM, RssAnon, RssFile,
// RssShmem...), in kilobytes; 0 when the process or the field is not there.
// `pid` 0 reads this process.
qint64 processStatusKilobytes(qint64 pid, const QByteArray &field);

inline double processStatusMiB(qint64 pid, const QByteArray &field)
{
    return double(processStatusKilobytes(pid, field)) / 1024.0;
}

} // namespace tessaline::bench
