#include "platform/SwayIpc.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonArray>
#include <QJsonObject>

#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tessaline::SwayIpc {

namespace {

// The compositor answers in well under a millisecond; one that hangs must
// not keep a capture, which waits for the answer, from starting.
constexpr int answerTimeout = 300;

enum MessageType : quint32 { runCommand = 0, getOutputs = 3, getTree = 4 };

constexpr char magic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr qsizetype headerSize = sizeof(magic) + 2 * sizeof(quint32);

class Socket
{
public:
    explicit Socket(const QString &path)
    {
        const QByteArray name = QFile::encodeName(path);
        sockaddr_un address{};
        if (name.isEmpty() || size_t(name.size()) >= sizeof(address.sun_path))
            return;
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd >= 0 && ::connect(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~Socket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;

    bool isOpen() const { return m_fd >= 0; }

    bool write(const QByteArray &bytes, const QDeadlineTimer &deadline)
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            if (!wait(POLLOUT, deadline))
                return false;
            const ssize_t sent = ::send(m_fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
            if (sent < 0 && errno != EINTR && errno != EAGAIN)
                return false;
            done += std::max<ssize_t>(sent, 0);
        }
        return true;
    }

    std::optional<QByteArray> read(qsizetype count, const QDeadlineTimer &deadline)
    {
        QByteArray bytes(count, Qt::Uninitialized);
        qsizetype done = 0;
        while (done < count) {
            if (!wait(POLLIN, deadline))
                return std::nullopt;
            const ssize_t got = ::recv(m_fd, bytes.data() + done, size_t(count - done), 0);
            if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN))
                return std::nullopt;
            done += std::max<ssize_t>(got, 0);
        }
        return bytes;
    }

private:
    bool wait(short events, const QDeadlineTimer &deadline)
    {
        for (;;) {
            pollfd watched{m_fd, events, 0};
            const int ready = ::poll(&watched, 1, int(std::max<qint64>(deadline.remainingTime(), 0)));
            if (ready > 0)
                return true;
            if (ready == 0 || errno != EINTR)
                return false;
        }
    }

    int m_fd = -1;
};

QByteArray header(quint32 length, quint32 type)
{
    QByteArray bytes(magic, sizeof(magic));
    bytes.append(reinterpret_cast<const char *>(&length), sizeof(length));
    bytes.append(reinterpret_cast<const char *>(&type), sizeof(type));
    return bytes;
}

// One message and sway's answer to it (host byte order, as sway reads it).
std::optional<QJsonDocument> ask(MessageType type, const QByteArray &payload = {})
{
    const QString path = socketPath();
    if (path.isEmpty())
        return std::nullopt;
    Socket socket(path);
    const QDeadlineTimer deadline(answerTimeout);
    if (!socket.isOpen() || !socket.write(header(quint32(payload.size()), type) + payload, deadline))
        return std::nullopt;
    const auto head = socket.read(headerSize, deadline);
    if (!head || !head->startsWith(QByteArray(magic, sizeof(magic))))
        return std::nullopt;
    quint32 length = 0;
    quint32 answered = 0;
    std::memcpy(&length, head->constData() + sizeof(magic), sizeof(length));
    std::memcpy(&answered, head->constData() + sizeof(magic) + sizeof(length), sizeof(answered));
    // A get_tree answer of a busy desktop runs to some hundred kilobytes.
    constexpr quint32 largestAnswer = 64 * 1024 * 1024;
    if (answered != type || length > largestAnswer)
        return std::nullopt;
    const auto body = socket.read(qsizetype(length), deadline);
    if (!body)
        return std::nullopt;
    QJsonParseError error{};
    QJsonDocument document = QJsonDocument::fromJson(*body, &error);
    if (error.error != QJsonParseError::NoError)
        return std::nullopt;
    return document;
}

} // namespace

QString socketPath()
{
    const QString path = qEnvironmentVariable("SWAYSOCK");
    return !path.isEmpty() && QFile::exists(path) ? path : QString();
}

namespace {

std::optional<QString> focusedOutputIn(const QJsonDocument &outputs)
{
    const QJsonArray list = outputs.array();
    for (const QJsonValue output : list) {
        const QJsonObject object = output.toObject();
        if (object.value(QStringLiteral("focused")).toBool() && object.value(QStringLiteral("active")).toBool(true)) {
            const QString name = object.value(QStringLiteral("name")).toString();
            if (!name.isEmpty())
                return name;
        }
    }
    return std::nullopt;
}

// The container of the window: among this process's windows of the title
// that float or not as it does, the one of its size, else the first.
std::optional<qint64> windowIn(const QJsonDocument &tree, const WindowKey &window)
{
    std::optional<qint64> first;
    QList<std::pair<QJsonObject, bool>> nodes{{tree.object(), false}};
    while (!nodes.isEmpty()) {
        const auto [node, floating] = nodes.takeLast();
        if (node.value(QStringLiteral("pid")).toInteger() == window.processID
            && node.value(QStringLiteral("name")).toString() == window.title && floating == window.floating) {
            const QJsonObject rect = node.value(QStringLiteral("window_rect")).toObject();
            const QSize size(rect.value(QStringLiteral("width")).toInt(), rect.value(QStringLiteral("height")).toInt());
            if (!window.floating || size == window.size)
                return node.value(QStringLiteral("id")).toInteger();
            if (!first)
                first = node.value(QStringLiteral("id")).toInteger();
        }
        for (const QJsonValue child : node.value(QStringLiteral("nodes")).toArray())
            nodes.append({child.toObject(), floating});
        for (const QJsonValue child : node.value(QStringLiteral("floating_nodes")).toArray())
            nodes.append({child.toObject(), true});
    }
    return first;
}

} // namespace

std::optional<QString> focusedOutput()
{
    const auto outputs = ask(getOutputs);
    return outputs ? focusedOutputIn(*outputs) : std::nullopt;
}

bool runOnWindow(const WindowKey &window, const QString &command)
{
    const auto tree = ask(getTree);
    const auto container = tree ? windowIn(*tree, window) : std::nullopt;
    if (!container)
        return false;
    const auto answer = ask(runCommand, QStringLiteral("[con_id=%1] %2").arg(*container).arg(command).toUtf8());
    // One result per command: [{"success": true}].
    return answer && answer->array().first().toObject().value(QStringLiteral("success")).toBool();
}

bool focusWindow(const WindowKey &window)
{
    return runOnWindow(window, QStringLiteral("focus"));
}

} // namespace tessaline::SwayIpc
