#include "assistant/LocalModelServerBackend.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace tessaline {

namespace {

// How often a waiting call looks whether its answer is still wanted.
constexpr int cancellationPollMilliseconds = 50;
// What the socket, and the kernel beneath it, may hold of an answer that is
// not read yet; beyond it the server waits.
constexpr qint64 readBufferBytes = 64 * 1024;

IntelligenceBackendError failure(const QString &description) { return IntelligenceBackendError{description}; }

// The first model the server lists; empty when it lists none, nothing when
// the answer is no list of models (another program holds the port).
std::optional<QString> firstModelName(const QByteArray &tags)
{
    const QJsonValue models = QJsonDocument::fromJson(tags).object().value(QStringLiteral("models"));
    if (!models.isArray())
        return std::nullopt;
    for (const QJsonValue &model : models.toArray()) {
        const QString name = model.toObject().value(QStringLiteral("name")).toString();
        if (!name.isEmpty())
            return name;
    }
    return QString();
}

// Reasoning models answer with their working first, between <think> tags:
// pages of "the user wants…" that are no reflection on the cards. What
// follows the block is the answer; working that never ends gives none.
std::optional<QString> withoutThinking(const QString &response)
{
    static const QString open = QStringLiteral("<think>");
    static const QString close = QStringLiteral("</think>");
    qsizetype start = 0;
    while (start < response.size() && response.at(start).isSpace())
        ++start;
    if (!QStringView(response).sliced(start).startsWith(open))
        return response;
    const qsizetype end = response.indexOf(close, start + open.size());
    if (end < 0)
        return std::nullopt;
    return response.sliced(end + close.size());
}

// An HTTP/1.1 answer as its bytes arrive: the status, then a body sized
// by its length, sent in chunks, or ending with the connection. It is
// finished once whole, once its body runs past `maximumBytes`, or once it
// cannot be read.
class HttpAnswer
{
public:
    explicit HttpAnswer(qint64 maximumBytes) : m_maximumBytes(maximumBytes) {}

    bool isFinished() const { return m_stage >= Stage::complete; }
    bool isComplete() const { return m_stage == Stage::complete; }
    bool isTooLong() const { return m_stage == Stage::tooLong; }
    bool isMalformed() const { return m_stage == Stage::malformed; }
    int status() const { return m_status; }
    QByteArray body() const { return m_body; }

    void take(const QByteArray &bytes)
    {
        m_pending += bytes;
        while (!isFinished() && step()) {
        }
    }

    // The server closed the connection: the end of a body that has no
    // length, else an answer cut short.
    void closed()
    {
        if (!isFinished())
            m_stage = m_stage == Stage::bodyUntilClose ? Stage::complete : Stage::malformed;
    }

private:
    enum class Stage { head, sizedBody, chunkSize, chunkData, chunkEnd, trailer, bodyUntilClose, complete, tooLong, malformed };

    // Far more than any server's head or chunk line needs.
    static constexpr qsizetype longestLine = 16 * 1024;

    // One step on with what is pending; false when more must arrive first.
    bool step()
    {
        switch (m_stage) {
        case Stage::head: return readHead();
        case Stage::sizedBody:
        case Stage::chunkData:
        case Stage::bodyUntilClose: return readBody();
        case Stage::chunkSize:
        case Stage::chunkEnd:
        case Stage::trailer: return readChunkLine();
        case Stage::complete:
        case Stage::tooLong:
        case Stage::malformed: break;
        }
        return false;
    }

    bool readHead()
    {
        const qsizetype end = m_pending.indexOf("\r\n\r\n");
        if (end < 0)
            return failIfLonger(4 * longestLine);
        const QList<QByteArray> lines = m_pending.first(end).split('\n');
        m_pending.remove(0, end + 4);
        const QList<QByteArray> statusLine = lines.constFirst().trimmed().split(' ');
        bool isNumber = false;
        m_status = statusLine.value(1).toInt(&isNumber);
        if (!statusLine.constFirst().startsWith("HTTP/1.") || !isNumber)
            return fail(Stage::malformed);
        std::optional<qint64> length;
        bool chunked = false;
        for (const QByteArray &line : lines.sliced(1)) {
            const qsizetype colon = line.indexOf(':');
            const QByteArray name = line.first(std::max<qsizetype>(colon, 0)).trimmed().toLower();
            const QByteArray value = line.sliced(colon + 1).trimmed().toLower();
            if (name == "content-length") {
                length = value.toLongLong(&isNumber);
                if (!isNumber || *length < 0)
                    return fail(Stage::malformed);
            } else if (name == "transfer-encoding") {
                chunked = value.endsWith("chunked");
            } else if (name == "content-encoding" && value != "identity") {
                return fail(Stage::malformed);
            }
        }
        if (chunked) {
            m_stage = Stage::chunkSize;
        } else if (length) {
            if (*length > m_maximumBytes)
                return fail(Stage::tooLong);
            m_remaining = *length;
            m_stage = m_remaining == 0 ? Stage::complete : Stage::sizedBody;
        } else {
            m_stage = Stage::bodyUntilClose;
        }
        return true;
    }

    bool readBody()
    {
        if (m_pending.isEmpty())
            return false;
        const qsizetype taken = m_stage == Stage::bodyUntilClose ? m_pending.size()
                                                                   : qsizetype(std::min<qint64>(m_remaining, m_pending.size()));
        if (m_body.size() + taken > m_maximumBytes)
            return fail(Stage::tooLong);
        m_body += m_pending.first(taken);
        m_pending.remove(0, taken);
        if (m_stage == Stage::bodyUntilClose)
            return false;
        m_remaining -= taken;
        if (m_remaining == 0)
            m_stage = m_stage == Stage::sizedBody ? Stage::complete : Stage::chunkEnd;
        return true;
    }

    // A chunk's size line, the line break after its data, or a line of the
    // trailer, which ends at an empty one.
    bool readChunkLine()
    {
        const qsizetype end = m_pending.indexOf("\r\n");
        if (end < 0)
            return failIfLonger(longestLine);
        const QByteArray line = m_pending.first(end);
        m_pending.remove(0, end + 2);
        if (m_stage == Stage::chunkEnd) {
            if (!line.isEmpty())
                return fail(Stage::malformed);
            m_stage = Stage::chunkSize;
        } else if (m_stage == Stage::trailer) {
            if (line.isEmpty())
                m_stage = Stage::complete;
        } else {
            bool isNumber = false;
            m_remaining = line.first(line.contains(';') ? line.indexOf(';') : line.size()).trimmed().toLongLong(&isNumber, 16);
            if (!isNumber || m_remaining < 0)
                return fail(Stage::malformed);
            if (m_body.size() + m_remaining > m_maximumBytes)
                return fail(Stage::tooLong);
            m_stage = m_remaining == 0 ? Stage::trailer : Stage::chunkData;
        }
        return true;
    }

    bool failIfLonger(qsizetype longest) { return m_pending.size() > longest ? fail(Stage::malformed) : false; }
    bool fail(Stage stage)
    {
        m_stage = stage;
        return false;
    }

    qint64 m_maximumBytes;
    Stage m_stage = Stage::head;
    int m_status = 0;
    qint64 m_remaining = 0;
    QByteArray m_pending;
    QByteArray m_body;
};

} // namespace

LocalModelServerBackend::LocalModelServerBackend(quint16 port) : LocalModelServerBackend(port, Timeouts{}) {}

LocalModelServerBackend::LocalModelServerBackend(quint16 port, Timeouts timeouts) : m_timeouts(timeouts)
{
    m_base.setScheme(QStringLiteral("http"));
    m_base.setHost(QHostAddress(QHostAddress::LocalHost).toString());
    m_base.setPort(port);
}

bool LocalModelServerBackend::isLoopbackUrl(const QUrl &url)
{
    if (!url.isValid() || url.scheme() != QLatin1String("http") || !url.userInfo().isEmpty())
        return false;
    const QHostAddress address(url.host());
    return !address.isNull() && address.isLoopback();
}

IntelligenceAvailability LocalModelServerBackend::availability(const Cancelled &cancelled)
{
    m_model.clear();
    const auto tags = exchange(QStringLiteral("/api/tags"), std::nullopt, m_timeouts.probeMilliseconds,
                               maximumModelListBytes, cancelled);
    const std::optional<QString> model = tags ? firstModelName(*tags) : std::nullopt;
    if (!model)
        return IntelligenceAvailability::fallback(IntelligenceUnavailableReason::unsupportedOperatingSystem);
    m_model = *model;
    if (m_model.isEmpty())
        return IntelligenceAvailability::fallback(IntelligenceUnavailableReason::modelNotReady);
    return IntelligenceAvailability::onDevice();
}

Expected<QString, IntelligenceBackendError> LocalModelServerBackend::respond(const QString &instructions,
                                                                             const QString &prompt,
                                                                             const Cancelled &cancelled)
{
    if (m_model.isEmpty() && !availability(cancelled).isOnDevice())
        return unexpected(failure(QStringLiteral("No model is available.")));

    const QJsonObject request{{QStringLiteral("model"), m_model},
                              {QStringLiteral("system"), instructions},
                              {QStringLiteral("prompt"), prompt},
                              {QStringLiteral("stream"), false}};
    const auto reply = exchange(QStringLiteral("/api/generate"), QJsonDocument(request).toJson(QJsonDocument::Compact),
                                m_timeouts.generationMilliseconds, maximumReplyBytes, cancelled);
    if (!reply)
        return unexpected(reply.error());
    const QJsonObject answer = QJsonDocument::fromJson(*reply).object();
    const QJsonValue response = answer.value(QStringLiteral("response"));
    if (!response.isString())
        return unexpected(failure(answer.value(QStringLiteral("error")).toString(QStringLiteral("No answer was given."))));
    const std::optional<QString> text = withoutThinking(response.toString());
    if (!text)
        return unexpected(failure(QStringLiteral("The model gave no answer after its thinking.")));
    return *text;
}

Expected<QByteArray, IntelligenceBackendError> LocalModelServerBackend::exchange(const QString &path,
                                                                                 const std::optional<QByteArray> &body,
                                                                                 int timeoutMilliseconds,
                                                                                 qint64 maximumBytes,
                                                                                 const Cancelled &cancelled) const
{
    QUrl url = m_base;
    url.setPath(path);
    if (!isLoopbackUrl(url))
        return unexpected(failure(QStringLiteral("Only this computer's loopback address may be asked.")));
    if (cancelled && cancelled())
        return unexpected(failure(QStringLiteral("Cancelled.")));

    // Read here, with nothing between the socket and the limit: Qt's HTTP
    // client reads on a thread of its own into a buffer the kernel grows as
    // it likes, and an endless answer went on pouring in for tens of
    // megabytes, at times gigabytes, after the limit was passed.
    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    socket.setReadBufferSize(readBufferBytes);
    HttpAnswer answer(maximumBytes);
    QEventLoop loop;
    bool timedOut = false;
    bool stopped = false;
    QObject::connect(&socket, &QTcpSocket::connected, &loop, [&] {
        // What the server may write ahead of the reader; left to the
        // kernel, that grows to tens of megabytes.
        socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, int(readBufferBytes));
        QByteArray request = (body ? "POST " : "GET ") + url.path(QUrl::FullyEncoded).toLatin1()
            + " HTTP/1.1\r\nHost: " + url.authority(QUrl::FullyEncoded).toLatin1()
            // Plain bytes only: a compressed answer could unpack far past the limit.
            + "\r\nAccept-Encoding: identity\r\nConnection: close\r\n";
        if (body)
            request += "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body->size()) + "\r\n";
        socket.write(request + "\r\n" + body.value_or(QByteArray()));
    });
    // The connection is closed the moment the answer runs past its limit,
    // so a server gets no more written than the limit and the two sockets'
    // small buffers.
    const auto readArrived = [&] {
        while (!answer.isFinished() && socket.bytesAvailable() > 0)
            answer.take(socket.read(readBufferBytes));
    };
    QObject::connect(&socket, &QTcpSocket::readyRead, &loop, [&] {
        readArrived();
        if (answer.isFinished()) {
            socket.abort();
            loop.quit();
        }
    });
    // The server closing its end is the end of an answer without a length.
    QObject::connect(&socket, &QTcpSocket::disconnected, &loop, [&] {
        readArrived();
        answer.closed();
        loop.quit();
    });
    QObject::connect(&socket, &QTcpSocket::errorOccurred, &loop, [&](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::RemoteHostClosedError)
            loop.quit();
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        loop.quit();
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (cancelled && cancelled()) {
            stopped = true;
            loop.quit();
        }
    });
    deadline.start(timeoutMilliseconds);
    poll.start(cancellationPollMilliseconds);
    socket.connectToHost(QHostAddress(url.host()), quint16(url.port()));
    loop.exec();
    // At once, whatever is still on its way: the server learns it the
    // moment it writes again.
    socket.abort();

    if (answer.isTooLong())
        return unexpected(failure(QStringLiteral("The model's answer was too long.")));
    if (timedOut)
        return unexpected(failure(QStringLiteral("The model did not answer in time.")));
    if (stopped)
        return unexpected(failure(QStringLiteral("Cancelled.")));
    if (!answer.isComplete())
        return unexpected(failure(answer.isMalformed() ? QStringLiteral("The model server's answer could not be read.")
                                                       : socket.errorString()));
    if (answer.status() != 200)
        return unexpected(failure(QStringLiteral("The model server answered with status %1.").arg(answer.status())));
    return answer.body();
}

} // namespace tessaline
