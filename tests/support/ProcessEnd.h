#pragma once

#include <QProcess>

#include <csignal>

#include <sys/types.h>

namespace tessaline {

// Ends a process a test started, by its id: asked with `signal` first, then
// killed if it has not gone within five seconds, so nothing a test starts
// outlives it.
inline void endProcess(QProcess &process, int signal = SIGTERM)
{
    if (process.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(process.processId()), signal);
    if (!process.waitForFinished(5000)) {
        ::kill(pid_t(process.processId()), SIGKILL);
        process.waitForFinished(2000);
    }
}

} // namespace tessaline
