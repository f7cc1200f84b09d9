#include "platform/SwayIpc.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
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

QRect rectIn(const QJsonObject &node, const QString &key)
{
    const QJsonObject rect = node.value(key).toObject();
    return QRect(rect.value(QStringLiteral("x")).toInt(), rect.value(QStringLiteral("y")).toInt(),
                 rect.value(QStringLiteral("width")).toInt(), rect.value(QStringLiteral("height")).toInt());
}

// What the client draws: the container's content area, inside sway's
// title bar and borders. (A window that keeps a smaller size in a tile is
// centred in that area; sway's answer gives the size the window first
// asked for, not the size it has, so the whole area is taken.)
QRect contentOf(const QJsonObject &node)
{
    const QRect rect = rectIn(node, QStringLiteral("rect"));
    const QRect inside = rectIn(node, QStringLiteral("window_rect"));
    return QRect(rect.topLeft() + inside.topLeft(), inside.size());
}

// A container's children, the one in front first: floating containers are
// drawn in their list's order, each over the ones before; tiled ones never
// overlap, and the one focused last is the one a tabbed or stacked
// container shows.
QList<QJsonObject> frontFirst(const QJsonObject &node)
{
    QList<QJsonObject> result;
    const QJsonArray floating = node.value(QStringLiteral("floating_nodes")).toArray();
    for (qsizetype i = floating.size() - 1; i >= 0; --i)
        result.append(floating.at(i).toObject());
    QList<QJsonObject> tiled;
    for (const QJsonValue child : node.value(QStringLiteral("nodes")).toArray())
        tiled.append(child.toObject());
    for (const QJsonValue id : node.value(QStringLiteral("focus")).toArray()) {
        const auto found = std::find_if(tiled.begin(), tiled.end(), [&](const QJsonObject &child) {
            return child.value(QStringLiteral("id")).toInteger() == id.toInteger();
        });
        if (found != tiled.end()) {
            result.append(*found);
            tiled.erase(found);
        }
    }
    return result + tiled;
}

bool isWindow(const QJsonObject &node)
{
    return node.contains(QStringLiteral("shell"));
}

// The container a workspace shows full screen, over everything else on it.
std::optional<QJsonObject> fullScreenIn(const QJsonObject &workspace)
{
    QList<QJsonObject> nodes = frontFirst(workspace);
    while (!nodes.isEmpty()) {
        const QJsonObject node = nodes.takeFirst();
        if (node.value(QStringLiteral("fullscreen_mode")).toInt() != 0)
            return node;
        nodes += frontFirst(node);
    }
    return std::nullopt;
}

struct Walk
{
    Tree tree;
    // Over every output: a window full screen across all of them.
    QList<Window> overAll;
    QList<Window> shown;
    QList<Window> hidden;
    QSet<qint64> seen;
};

void collect(const QJsonObject &node, bool overAll, Walk &walk)
{
    const qint64 id = node.value(QStringLiteral("id")).toInteger();
    if (walk.seen.contains(id))
        return;
    walk.seen.insert(id);
    overAll = overAll || node.value(QStringLiteral("fullscreen_mode")).toInt() == 2;
    if (isWindow(node)) {
        Window window;
        window.id = id;
        window.processID = node.value(QStringLiteral("pid")).toInteger();
        window.title = node.value(QStringLiteral("name")).toString();
        window.appID = node.value(QStringLiteral("app_id")).toString();
        const QJsonObject properties = node.value(QStringLiteral("window_properties")).toObject();
        window.windowClass = properties.value(QStringLiteral("class")).toString();
        window.instance = properties.value(QStringLiteral("instance")).toString();
        window.content = contentOf(node);
        window.focused = node.value(QStringLiteral("focused")).toBool();
        window.visible = node.value(QStringLiteral("visible")).toBool();
        window.keptAbove = node.value(QStringLiteral("sticky")).toBool();
        (overAll && window.visible ? walk.overAll : window.visible ? walk.shown : walk.hidden).append(window);
        return;
    }
    const QString type = node.value(QStringLiteral("type")).toString();
    if (type == QLatin1String("output")) {
        const QString name = node.value(QStringLiteral("name")).toString();
        // sway's own output for the scratchpad, which shows nothing.
        if (name.startsWith(QLatin1String("__")))
            return;
        if (node.value(QStringLiteral("active")).toBool(true))
            walk.tree.outputs.append(
                Output{name, rectIn(node, QStringLiteral("rect")), node.value(QStringLiteral("scale")).toDouble(1)});
    } else if (type == QLatin1String("workspace")) {
        if (const auto full = fullScreenIn(node))
            collect(*full, overAll, walk);
    }
    for (const QJsonObject &child : frontFirst(node))
        collect(child, overAll, walk);
}

} // namespace

Tree treeIn(const QJsonDocument &answer)
{
    Walk walk;
    collect(answer.object(), false, walk);
    walk.tree.windows = walk.overAll + walk.shown + walk.hidden;
    return walk.tree;
}

std::optional<Tree> tree()
{
    const auto answer = ask(getTree);
    return answer ? std::optional(treeIn(*answer)) : std::nullopt;
}

std::optional<QString> focusedOutput()
{
    const auto outputs = ask(getOutputs);
    return outputs ? focusedOutputIn(*outputs) : std::nullopt;
}

bool run(const QString &command)
{
    const auto answer = ask(runCommand, command.toUtf8());
    // One result per command: [{"success": true}]; an empty list is no success.
    return answer && !answer->array().isEmpty()
        && answer->array().first().toObject().value(QStringLiteral("success")).toBool();
}

bool runOnWindow(const WindowKey &window, const QString &command)
{
    const auto tree = ask(getTree);
    const auto container = tree ? windowIn(*tree, window) : std::nullopt;
    return container && run(QStringLiteral("[con_id=%1] %2").arg(*container).arg(command));
}

bool focusWindow(const WindowKey &window)
{
    return runOnWindow(window, QStringLiteral("focus"));
}

} // namespace tessaline::SwayIpc
