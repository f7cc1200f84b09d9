#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

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
    // Sent in chunks of a few bytes, without a length, as a server that
    // writes as it goes does.
    void answerInChunks(const QByteArray &path, const QByteArray &body) { m_answers[path] = {200, body, true}; }
    void stayQuiet(const QByteArray &path) { m_answers[path] = {0, {}}; }
    const QList<Request> &requests() const { return m_requests; }

private:
    struct Answer
    {
        int status = 404;
        QByteArray body;
        bool chunked = false;
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
        QByteArray head = "HTTP/1.1 " + QByteArray::number(answer.status) + " Status\r\nContent-Type: application/json\r\n";
        if (!answer.chunked) {
            socket->write(head + "Content-Length: " + QByteArray::number(answer.body.size())
                          + "\r\nConnection: close\r\n\r\n" + answer.body);
        } else {
            socket->write(head + "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n");
            constexpr qsizetype chunk = 7;
            for (qsizetype at = 0; at < answer.body.size(); at += chunk) {
                const QByteArray part = answer.body.mid(at, chunk);
                socket->write(QByteArray::number(part.size(), 16) + ";part\r\n" + part + "\r\n");
            }
            socket->write("0\r\nX-Trailer: 1\r\n\r\n");
        }
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QByteArray, Answer> m_answers;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QList<Request> m_requests;
};

// A language-model server on a random loopback port, on a thread of its
// own so it writes as fast as the connection takes it: one path is answered
// by a body that never ends, every other path by what the test set before
// start(). It counts the bytes of body it got written into the connection;
// it stops writing when the other end closes.
class EndlessModelServer
{
public:
    explicit EndlessModelServer(QByteArray endlessPath) : m_endlessPath(std::move(endlessPath))
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || ::listen(m_listener, 4) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            qFatal("the endless server could not listen");
        m_port = ntohs(address.sin_port);
    }

    ~EndlessModelServer()
    {
        m_stopping = true;
        ::shutdown(m_listener, SHUT_RDWR);
        if (const int client = m_client.load(); client >= 0)
            ::shutdown(client, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_listener);
    }

    void answer(const QByteArray &path, const QByteArray &body) { m_answers[path] = body; }
    void start()
    {
        m_thread = std::thread([this] { run(); });
    }

    quint16 port() const { return m_port; }
    qint64 endlessBytesSent() const { return m_sent; }
    bool endlessAnswerClosed() const { return m_closed; }

private:
    void run()
    {
        while (!m_stopping) {
            const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                return;
            // A small fixed send buffer: what the server has written is then
            // what the reader's side holds, not what the kernel let pile up
            // on the way out.
            const int sendBuffer = 64 * 1024;
            ::setsockopt(client, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
            m_client = client;
            serve(client);
            m_client = -1;
            ::close(client);
        }
    }

    bool send(int client, const QByteArray &bytes)
    {
        qsizetype written = 0;
        while (written < bytes.size()) {
            const ssize_t n = ::send(client, bytes.constData() + written, size_t(bytes.size() - written), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            written += n;
        }
        return true;
    }

    void serve(int client)
    {
        QByteArray request;
        char buffer[4096];
        qsizetype headerEnd = -1;
        qsizetype length = 0;
        while (headerEnd < 0 || request.size() < headerEnd + 4 + length) {
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            request.append(buffer, n);
            if (headerEnd < 0 && (headerEnd = request.indexOf("\r\n\r\n")) >= 0) {
                for (const QByteArray &line : request.left(headerEnd).split('\n')) {
                    if (line.toLower().startsWith("content-length:"))
                        length = line.mid(15).trimmed().toLongLong();
                }
            }
        }
        const QByteArray path = request.left(request.indexOf('\n')).split(' ').value(1);
        if (path != m_endlessPath) {
            const QByteArray body = m_answers.value(path);
            send(client, "HTTP/1.1 " + QByteArray(m_answers.contains(path) ? "200" : "404")
                             + " Status\r\nContent-Type: application/json\r\nContent-Length: "
                             + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
            return;
        }
        // No length: the answer ends only when the connection does.
        if (!send(client, "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\n\r\n"
                          "{\"models\":[{\"name\":\"tiny:1b\"},{\"response\":\""))
            return;
        const QByteArray chunk(64 * 1024, 'x');
        while (!m_stopping && send(client, chunk))
            m_sent += chunk.size();
        m_closed = !m_stopping;
    }

    QByteArray m_endlessPath;
    QHash<QByteArray, QByteArray> m_answers; // set before start(), read by the thread
    int m_listener = -1;
    quint16 m_port = 0;
    std::thread m_thread;
    std::atomic<int> m_client{-1};
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_closed{false};
    std::atomic<qint64> m_sent{0};
};

} // namespace tessaline::testing
