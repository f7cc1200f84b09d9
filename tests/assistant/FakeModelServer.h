#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

namespace tessaline::testing {

// A language-model server on a random loopback port: answers each path with
// what the test set (404 otherwise), or keeps the connection open without a
// word, and records every request it read.
class FakeModelServer : public QObject
{
public:
    struct Request
    {
        QByteArray method;
        QByteArray path;
        QByteArray body;
    };

    FakeModelServer()
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
            }
        });
    }

    quint16 port() const { return m_server.serverPort(); }
    void answer(const QByteArray &path, int status, const QByteArray &body) { m_answers[path] = {status, body}; }
    void stayQuiet(const QByteArray &path) { m_answers[path] = {0, {}}; }
    const QList<Request> &requests() const { return m_requests; }

private:
    struct Answer
    {
        int status = 404;
        QByteArray body;
    };

    void read(QTcpSocket *socket)
    {
        QByteArray &buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        qsizetype length = 0;
        for (const QByteArray &line : lines) {
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        }
        if (buffer.size() < headerEnd + 4 + length)
            return;
        const QList<QByteArray> requestLine = lines.constFirst().trimmed().split(' ');
        Request request{requestLine.value(0), requestLine.value(1), buffer.mid(headerEnd + 4, length)};
        buffer.clear();
        m_requests << request;

        const Answer answer = m_answers.value(request.path);
        if (answer.status == 0)
            return;
        socket->write("HTTP/1.1 " + QByteArray::number(answer.status) + " Status\r\nContent-Type: application/json\r\n"
                      + "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\nConnection: close\r\n\r\n"
                      + answer.body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QByteArray, Answer> m_answers;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QList<Request> m_requests;
};

} // namespace tessaline::testing
