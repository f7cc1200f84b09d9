#include "shell/SingleInstance.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <unistd.h>

namespace tessaline {

QString SingleInstance::defaultName()
{
    // The session's private runtime directory, so that another session of
    // the same user (or a test run with its own) never reaches this one.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime + QStringLiteral("/tessaline");
    return QStringLiteral("tessaline-%1").arg(::getuid());
}

SingleInstance::SingleInstance(const QString &name, QObject *parent)
    : QObject(parent)
    , m_name(name)
{
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::askRunningInstance(const std::optional<CaptureCommand> &command)
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(500))
        return false;
    socket.write(command ? "command " + captureCommandOption(*command).toLatin1() + '\n' : QByteArray("activate\n"));
    socket.waitForBytesWritten(500);
    socket.disconnectFromServer();
    return true;
}

void SingleInstance::handleLine(const QByteArray &line)
{
    if (line == "activate") {
        Q_EMIT activationRequested();
    } else if (line.startsWith("command ")) {
        if (const auto command = captureCommandFromOption(QString::fromLatin1(line.mid(8))))
            Q_EMIT commandRequested(*command);
    }
}

bool SingleInstance::claim(bool replacePrevious, std::optional<CaptureCommand> command)
{
    if (replacePrevious) {
        // The previous instance started us and is on its way out.
        const QDeadlineTimer deadline(10'000);
        while (!deadline.hasExpired()) {
            QLocalSocket probe;
            probe.connectToServer(m_name);
            if (!probe.waitForConnected(200))
                break;
            probe.disconnectFromServer();
            QThread::msleep(100);
        }
    } else if (askRunningInstance(command)) {
        return false;
    }

    // A name left behind by a crashed instance would make listen fail.
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
