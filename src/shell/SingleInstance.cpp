#include "shell/SingleInstance.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <unistd.h>

namespace tessaline {

QString SingleInstance::defaultName()
{
    return QStringLiteral("tessaline-%1").arg(::getuid());
}

SingleInstance::SingleInstance(const QString &name, QObject *parent)
    : QObject(parent)
    , m_name(name)
{
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
    } else if (askRunningInstance()) {
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
                if (socket->readAll().startsWith("activate"))
                    Q_EMIT activationRequested();
            });
        }
    });
    return true;
}

} // namespace tessaline
