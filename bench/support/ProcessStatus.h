#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace tessaline::bench {

// One figure of a process's /proc status (VmRSS, VmHWM, RssAnon, RssFile,
// RssShmem...), in kilobytes; 0 when the process or the field is not there.
// `pid` 0 reads this process.
qint64 processStatusKilobytes(qint64 pid, const QByteArray &field);

// The minor page faults a process has taken so far (/proc/<pid>/stat); 0
// when it is not there. On a virtual machine each one can cost tens of
// microseconds, so a path's count says more than its time there.
qint64 processMinorFaults(qint64 pid);

inline double processStatusMiB(qint64 pid, const QByteArray &field)
{
    return double(processStatusKilobytes(pid, field)) / 1024.0;
}

} // namespace tessaline::bench
