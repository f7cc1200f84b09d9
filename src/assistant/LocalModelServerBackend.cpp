#include "assistant/LocalModelServerBackend.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <algorithm>

namespace tessaline {

namespace {

// How often a waiting call looks whether its answer is still wanted.
constexpr int cancellationPollMilliseconds = 50;
// What the network layer may hold of an answer that is not read yet; beyond
// it the server waits, so a server that never stops costs no memory.
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

    // Made on the calling worker and gone with the call, so nothing of it
    // crosses threads.
    QNetworkAccessManager network;
    network.setProxy(QNetworkProxy::NoProxy);
    network.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    // Plain bytes only: a compressed answer could unpack far past the limit.
    request.setRawHeader("Accept-Encoding", "identity");
    QNetworkReply *reply;
    if (body) {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        reply = network.post(request, *body);
    } else {
        reply = network.get(request);
    }
    reply->setReadBufferSize(readBufferBytes);

    QEventLoop loop;
    bool timedOut = false;
    bool tooLong = false;
    QByteArray data;
    // Reads what has arrived and stops the reply the moment it runs past the
    // limit, so no more than the limit and one buffer is ever held.
    const auto readArrived = [&] {
        while (!tooLong && reply->isOpen() && reply->bytesAvailable() > 0) {
            data += reply->read(std::min(reply->bytesAvailable(), maximumBytes + 1 - data.size()));
            if (data.size() > maximumBytes) {
                tooLong = true;
                reply->abort();
            }
        }
    };
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply, [&] {
        timedOut = true;
        reply->abort();
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, reply, [&] {
        if (cancelled && cancelled())
            reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [&] {
        const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
        if (!tooLong && announced.isValid() && announced.toLongLong() > maximumBytes) {
            tooLong = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, readArrived);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    deadline.start(timeoutMilliseconds);
    poll.start(cancellationPollMilliseconds);
    if (!reply->isFinished())
        loop.exec();
    readArrived();

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError error = reply->error();
    const QString errorText = reply->errorString();
    delete reply;

    if (timedOut)
        return unexpected(failure(QStringLiteral("The model did not answer in time.")));
    if (tooLong)
        return unexpected(failure(QStringLiteral("The model's answer was too long.")));
    if (status != 0 && status != 200)
        return unexpected(failure(QStringLiteral("The model server answered with status %1.").arg(status)));
    if (error != QNetworkReply::NoError)
        return unexpected(failure(errorText));
    return data;
}

} // namespace tessaline
