#pragma once

#include <QByteArray>
#include <QString>
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

// Where an app started by a benchmark gets its XDG_RUNTIME_DIR made: on a
// desktop that folder is in memory (systemd makes /run/user/<uid> a tmpfs),
// so the app's lock and socket there cost no disk flush. The session's own
// when there is one, else /dev/shm, else the temporary folder.
QString runtimeDirectoryTemplate();

} // namespace tessaline::bench
