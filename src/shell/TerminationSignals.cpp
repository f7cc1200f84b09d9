#include "shell/TerminationSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace tessaline {

namespace {

// Written by the handler, read by the event loop: a handler may do no more
// than write a byte.
int signalSocket[2] = {-1, -1};

void onTerminationSignal(int)
{
    // The interrupted code may be about to read errno.
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalSocket[0], &byte, 1);
    errno = savedErrno;
}

// Nothing to do: being handled at all is what turns the signal into EFBIG.
void onFileSizeLimit(int) {}

} // namespace

void failWritesPastFileSizeLimit()
{
    struct sigaction action = {};
    action.sa_handler = onFileSizeLimit;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGXFSZ, &action, nullptr);
}

void quitOnTerminationSignals()
{
    if (signalSocket[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSocket) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalSocket[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(signalSocket[1], &byte, 1);
        // Not quit(), which a window that will not close (the first-run
        // setup) turns down: the session is ending either way.
        QCoreApplication::exit(0);
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &action, nullptr);
}

} // namespace tessaline
