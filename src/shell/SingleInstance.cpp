#include "shell/SingleInstance.h"

#include "platform/PrivateFolder.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <algorithm>

#include <unistd.h>

namespace tessaline {

namespace {

// How long a start waits for a running instance to answer, or for a
// quitting one (a relaunch) to be gone.
constexpr int answerTimeout = 10'000;
// How often an instance whose lock is held by a start meanwhile tries again.
constexpr int restoreRetryMilliseconds = 200;

// A process's start, in clock ticks since boot (the 22nd field of its
// stat, after the command name, which may hold spaces and parentheses).
std::optional<qulonglong> startTicks(const QString &process)
{
    QFile stat(process + QStringLiteral("/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.sliced(line.lastIndexOf(')') + 2).split(' ');
    bool ok = false;
    const qulonglong ticks = fields.value(19).toULongLong(&ok);
    return ok ? std::optional(ticks) : std::nullopt;
}

// The value of a variable in a process's starting environment.
QByteArray environmentOf(const QString &process, const QByteArray &name)
{
    QFile environment(process + QStringLiteral("/environ"));
    if (!environment.open(QIODevice::ReadOnly))
        return QByteArray();
    for (const QByteArray &entry : environment.readAll().split('\0')) {
        if (entry.startsWith(name + '='))
            return entry.sliced(name.size() + 1);
    }
    return QByteArray();
}

// Whether this program runs in another process of this user and session
// (the same runtime directory) started before this one: an instance whose
// runtime directory was taken away, or a start of a moment ago.
bool olderInstanceOfThisSession()
{
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    const std::optional<qulonglong> ownStart = startTicks(QStringLiteral("/proc/self"));
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (self.isEmpty() || !ownStart || runtime.isEmpty())
        return false;
    const QString ownPid = QString::number(::getpid());
    for (const QFileInfo &entry : QDir(QStringLiteral("/proc")).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isNumber = false;
        entry.fileName().toLongLong(&isNumber);
        if (!isNumber || entry.fileName() == ownPid || entry.ownerId() != ::getuid())
            continue;
        const QString process = entry.filePath();
        if (QFileInfo(process + QStringLiteral("/exe")).symLinkTarget() != self)
            continue;
        const std::optional<qulonglong> start = startTicks(process);
        if (start && *start < *ownStart && environmentOf(process, "XDG_RUNTIME_DIR") == runtime)
            return true;
    }
    return false;
}

} // namespace

QString SingleInstance::defaultName()
{
    // The session's private runtime directory, so that another session of
    // the same user (or a test run with its own) never reaches this one.
    // Without one, Qt makes a private folder of its own.
    return QDir(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)).filePath(QStringLiteral("tessaline"));
}

SingleInstance::SingleInstance(const QString &name, QObject *parent)
    : QObject(parent)
    , m_name(name)
    , m_lock(std::make_unique<QLockFile>(name + QStringLiteral(".lock")))
{
    // The lock is held for the life of the process, however long: it only
    // counts as stale once its process is gone.
    m_lock->setStaleLockTime(0);
}

namespace {

// Tokens are opaque, but printable and short; anything else is not one.
bool isActivationToken(const QByteArray &token)
{
    if (token.isEmpty() || token.size() > 200)
        return false;
    return std::all_of(token.cbegin(), token.cend(), [](char c) { return c > ' ' && c < 127; });
}

} // namespace

SingleInstance::~SingleInstance() = default;

bool SingleInstance::askRunningInstance(const QByteArray &request)
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(500))
        return false;
    if (!request.isEmpty()) {
        socket.write(request);
        socket.waitForBytesWritten(500);
    }
    socket.disconnectFromServer();
    return true;
}

void SingleInstance::handleLine(const QByteArray &line)
{
    if (line == "activate") {
        Q_EMIT activationRequested(QString());
    } else if (line.startsWith("activate ") && isActivationToken(line.mid(9))) {
        Q_EMIT activationRequested(QString::fromLatin1(line.mid(9)));
    } else if (line.startsWith("command ")) {
        if (const auto command = captureCommandFromOption(QString::fromLatin1(line.mid(8))))
            Q_EMIT commandRequested(*command);
    }
}

bool SingleInstance::claim(bool replacePrevious, std::optional<CaptureCommand> command)
{
    if (command)
        return claimWith(replacePrevious, "command " + captureCommandOption(*command).toLatin1() + '\n');
    QByteArray request = "activate";
    // The token the launcher gave this start lets the running instance's
    // window come forward on a Wayland desktop; it is handed on, once.
    // GNOME Shell launches through GLib, which before 2.76 sets only the
    // startup id, and its compositor takes that id as the token.
    QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN");
    if (!isActivationToken(token))
        token = qgetenv("DESKTOP_STARTUP_ID");
    if (isActivationToken(token))
        request += ' ' + token;
    return claimWith(replacePrevious, request + '\n');
}

bool SingleInstance::claimQuietly()
{
    return claimWith(false, QByteArray());
}

bool SingleInstance::askUntilAnswered(const QByteArray &request, int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired()) {
        if (askRunningInstance(request))
            return true;
        QThread::msleep(100);
    }
    return false;
}

bool SingleInstance::claimWith(bool replacePrevious, const QByteArray &request)
{
    // Whoever holds the lock is the instance: taking it is the one step two
    // starts at the same moment cannot both win. A relaunch waits for the
    // previous instance, which started it, to quit.
    if (!m_lock->tryLock(replacePrevious ? answerTimeout : 0)) {
        // Nothing to share a lock through (no runtime directory): run anyway
        // rather than not at all.
        if (m_lock->error() != QLockFile::LockFailedError)
            return true;
        // The holder listens, or is about to; it may also be on its way out.
        const QDeadlineTimer deadline(answerTimeout);
        while (!deadline.hasExpired()) {
            if (askRunningInstance(request))
                return false;
            if (m_lock->tryLock(100))
                break;
        }
        if (!m_lock->isLocked())
            return false; // an instance that does not answer still runs
    }
    // A free lock with an instance of this session still running: its
    // runtime directory was taken away. It makes its lock and socket again
    // once this start leaves the lock to it.
    if (!replacePrevious && olderInstanceOfThisSession()) {
        m_lock->unlock();
        if (askUntilAnswered(request, answerTimeout))
            return false;
        if (!m_lock->tryLock(0))
            return false;
    }
    listen();
    return true;
}

void SingleInstance::listen()
{
    // A socket left behind by a crashed instance would make listen fail.
    QLocalServer::removeServer(m_name);
    if (!m_server) {
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(m_server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket *socket = m_server->nextPendingConnection()) {
                connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                    // A request is one short line; anything longer is not ours.
                    while (socket->canReadLine())
                        handleLine(socket->readLine(256).trimmed());
                    if (socket->bytesAvailable() > 256)
                        socket->abort();
                });
            }
        });
    }
    m_server->close();
    if (!m_server->listen(m_name))
        return; // no socket: run anyway rather than not at all
    if (!m_watcher) {
        m_watcher = new QFileSystemWatcher(this);
        connect(m_watcher, &QFileSystemWatcher::fileChanged, this, [this] {
            if (!QFileInfo::exists(m_name))
                restore();
        });
    }
    // A socket made again is a new file: the watch on the one before, which
    // its listening end keeps alive, would never hear of it going.
    if (m_watcher->files().contains(m_name))
        m_watcher->removePath(m_name);
    // Gone already: the folder was still being emptied as it was made again.
    if (!m_watcher->addPath(m_name))
        QTimer::singleShot(restoreRetryMilliseconds, this, &SingleInstance::restore);
}

void SingleInstance::restore()
{
    if (!makePrivateFolder(QFileInfo(m_name).path())) {
        QTimer::singleShot(restoreRetryMilliseconds, this, &SingleInstance::restore);
        return;
    }
    // The old lock's file is gone with its folder: unlocking it would
    // remove whatever file has its name now, another start's lock perhaps.
    // It is let go of as it is.
    if (m_lock->isLocked())
        (void)m_lock.release();
    if (!m_lock)
        m_lock = std::make_unique<QLockFile>(m_name + QStringLiteral(".lock"));
    m_lock->setStaleLockTime(0);
    // A start meanwhile holds it until it sees this instance still runs.
    if (!m_lock->tryLock(0)) {
        QTimer::singleShot(restoreRetryMilliseconds, this, &SingleInstance::restore);
        return;
    }
    listen();
}

} // namespace tessaline
