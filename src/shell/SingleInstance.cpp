#include "shell/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

namespace tessaline {

namespace {

// How long a start waits for a running instance to answer, or for a
// quitting one (a relaunch) to be gone.
constexpr int answerTimeout = 10'000;

} // namespace

QString SingleInstance::defaultDirectory()
{
    // Falls back to a private folder of Qt's making when the session has none.
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

SingleInstance::SingleInstance(const QString &directory, QObject *parent)
    : QObject(parent)
    , m_name(QDir(directory).filePath(QStringLiteral("tessaline.socket")))
    , m_lock(std::make_unique<QLockFile>(QDir(directory).filePath(QStringLiteral("tessaline.lock"))))
{
    // The lock is held for the life of the process, however long: it only
    // counts as stale once its process is gone.
    m_lock->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::askRunningInstance()
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(500))
        return false;
    socket.write("activate\n");
    socket.waitForBytesWritten(500);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::claim(bool replacePrevious)
{
    // Whoever holds the lock is the instance; taking it is the one step two
    // starts at the same moment cannot both win.
    if (!m_lock->tryLock(replacePrevious ? answerTimeout : 0)) {
        // Nothing to share a lock through (no runtime directory): run anyway
        // rather than not at all.
        if (m_lock->error() != QLockFile::LockFailedError)
            return true;
        // The holder listens, or is about to; it may also be on its way out.
        const QDeadlineTimer deadline(answerTimeout);
        while (!deadline.hasExpired()) {
            if (askRunningInstance())
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
                if (socket->readAll().startsWith("activate"))
                    Q_EMIT activationRequested();
            });
        }
    });
    return true;
}

} // namespace tessaline
