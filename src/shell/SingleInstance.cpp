#include "shell/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

#include <algorithm>

namespace tessaline {

namespace {

// How long a start waits for a running instance to answer, or for a
// quitting one (a relaunch) to be gone.
constexpr int answerTimeout = 10'000;

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

    // A socket left behind by a crashed instance would make listen fail.
    QLocalServer::removeServer(m_name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name))
        return true; // no socket: run anyway rather than not at all
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
    return true;
}

} // namespace tessaline
