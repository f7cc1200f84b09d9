#include "FakeModelServer.h"
#include "ScriptedIntelligenceBackend.h"

#include "../model/StoreFixture.h"

#include "assistant/AskSuggestionModel.h"
#include "assistant/LocalModelServerBackend.h"
#include "assistant/SystemIntelligenceService.h"
#include "model/ModelContext.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <memory>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

const QByteArray oneModel = R"({"models":[{"name":"tiny:1b","size":1}]})";

// A loopback port nothing listens on.
quint16 closedPort()
{
    FakeModelServer server;
    return server.port();
}

// The most that may lie between the server and the reader's limit: the
// server's and the reader's socket buffers, a few hundred kilobytes. A
// reader that left its receive buffer to the kernel let the server write
// 13 to 24 MB here for a limit of 4 MiB.
constexpr qint64 connectionBufferBytes = 1024 * 1024;

LocalModelServerBackend::Timeouts shortTimeouts()
{
    LocalModelServerBackend::Timeouts timeouts;
    timeouts.probeMilliseconds = 300;
    timeouts.generationMilliseconds = 300;
    return timeouts;
}

} // namespace

class LocalModelServerBackendTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void availabilityFollowsTheServer_data();
    void availabilityFollowsTheServer();
    void answers_data();
    void answers();
    void onlyLoopbackAddressesAreAsked_data();
    void onlyLoopbackAddressesAreAsked();
    void endlessAnswersStopAtTheLimit_data();
    void endlessAnswersStopAtTheLimit();
    void sheetShowsTheServersAnswerAsOnDevice();
    void closingTheSheetFreesTheWorker();
};

void LocalModelServerBackendTest::availabilityFollowsTheServer_data()
{
    QTest::addColumn<int>("status"); // -1: nothing listens, 0: no word back
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<std::optional<IntelligenceUnavailableReason>>("reason");

    using R = IntelligenceUnavailableReason;
    QTest::newRow("nothing listens") << -1 << QByteArray() << std::optional(R::unsupportedOperatingSystem);
    QTest::newRow("no word back") << 0 << QByteArray() << std::optional(R::unsupportedOperatingSystem);
    QTest::newRow("server error") << 500 << QByteArray(R"({"error":"x"})") << std::optional(R::unsupportedOperatingSystem);
    QTest::newRow("another program") << 200 << QByteArray("<html></html>") << std::optional(R::unsupportedOperatingSystem);
    QTest::newRow("no model installed") << 200 << QByteArray(R"({"models":[]})") << std::optional(R::modelNotReady);
    QTest::newRow("a model") << 200 << oneModel << std::optional<R>();
}

void LocalModelServerBackendTest::availabilityFollowsTheServer()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(std::optional<IntelligenceUnavailableReason>, reason);
    FakeModelServer server;
    if (status == 0)
        server.stayQuiet("/api/tags");
    else
        server.answer("/api/tags", status, body);

    LocalModelServerBackend backend(status == -1 ? closedPort() : server.port(), shortTimeouts());
    const IntelligenceAvailability availability = backend.availability({});

    QCOMPARE(availability, reason ? IntelligenceAvailability::fallback(*reason) : IntelligenceAvailability::onDevice());
    if (status != -1) {
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(server.requests().constFirst().method, QByteArray("GET"));
    }
}

void LocalModelServerBackendTest::answers_data()
{
    QTest::addColumn<int>("status"); // 0: no word back
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<std::optional<QString>>("answer");
    QTest::addColumn<bool>("inChunks");

    QTest::newRow("answer") << 200 << QByteArray(R"({"model":"tiny:1b","response":" A thought\n","done":true})")
                            << std::optional<QString>(" A thought\n") << false;
    QTest::newRow("thinking first")
        << 200 << QByteArray(R"({"response":"\n<think>\nThe user wants a link.\n</think>\n\nA thought","done":true})")
        << std::optional<QString>("\n\nA thought") << false;
    QTest::newRow("thinking named in the answer")
        << 200 << QByteArray(R"({"response":"Skip the <think> step.","done":true})")
        << std::optional<QString>("Skip the <think> step.") << false;
    QTest::newRow("thinking that never ends")
        << 200 << QByteArray(R"({"response":"<think>The user wants","done":true})") << std::optional<QString>() << false;
    QTest::newRow("server error") << 500 << QByteArray(R"({"error":"boom"})") << std::optional<QString>() << false;
    QTest::newRow("error in the answer") << 200 << QByteArray(R"({"error":"model not found"})")
                                         << std::optional<QString>() << false;
    QTest::newRow("no response field") << 200 << QByteArray(R"({"done":true})") << std::optional<QString>() << false;
    QTest::newRow("no word back") << 0 << QByteArray() << std::optional<QString>() << false;
    QTest::newRow("too long") << 200
                              << R"({"response":")" + QByteArray(LocalModelServerBackend::maximumReplyBytes, 'x') + R"("})"
                              << std::optional<QString>() << false;
    // Answers of any length come in chunks from a server that writes as it goes.
    QTest::newRow("answer in chunks") << 200 << QByteArray(R"({"response":"A thought in chunks","done":true})")
                                      << std::optional<QString>("A thought in chunks") << true;
    QTest::newRow("too long in chunks")
        << 200 << R"({"response":")" + QByteArray(LocalModelServerBackend::maximumReplyBytes, 'x') + R"("})"
        << std::optional<QString>() << true;
}

void LocalModelServerBackendTest::answers()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(std::optional<QString>, answer);
    QFETCH(bool, inChunks);
    FakeModelServer server;
    server.answer("/api/tags", 200, oneModel);
    if (status == 0)
        server.stayQuiet("/api/generate");
    else if (inChunks)
        server.answerInChunks("/api/generate", body);
    else
        server.answer("/api/generate", status, body);
    LocalModelServerBackend backend(server.port(), shortTimeouts());
    QVERIFY(backend.availability({}).isOnDevice());

    const auto reply = backend.respond(QStringLiteral("Be brief."), QStringLiteral("Source 1 \u2014 Caf\u00e9"), {});

    QCOMPARE(reply.hasValue(), answer.has_value());
    if (answer)
        QCOMPARE(*reply, *answer);
    QCOMPARE(server.requests().size(), 2);
    const FakeModelServer::Request &request = server.requests().at(1);
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.path, QByteArray("/api/generate"));
    const QJsonObject sent = QJsonDocument::fromJson(request.body).object();
    QCOMPARE(sent.value("model").toString(), QStringLiteral("tiny:1b"));
    QCOMPARE(sent.value("system").toString(), QStringLiteral("Be brief."));
    QCOMPARE(sent.value("prompt").toString(), QStringLiteral("Source 1 \u2014 Caf\u00e9"));
    QCOMPARE(sent.value("stream"), QJsonValue(false));
}

void LocalModelServerBackendTest::onlyLoopbackAddressesAreAsked_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("allowed");

    QTest::newRow("IPv4 loopback") << "http://127.0.0.1:11434/api/generate" << true;
    QTest::newRow("elsewhere in 127/8") << "http://127.8.0.1:11434/api/generate" << true;
    QTest::newRow("IPv6 loopback") << "http://[::1]:11434/api/generate" << true;
    QTest::newRow("a name, even localhost") << "http://localhost:11434/api/generate" << false;
    QTest::newRow("a lookalike name") << "http://127.0.0.1.example.com/api/generate" << false;
    QTest::newRow("the local network") << "http://192.168.1.20:11434/api/generate" << false;
    QTest::newRow("every address") << "http://0.0.0.0:11434/api/generate" << false;
    QTest::newRow("another scheme") << "https://127.0.0.1:11434/api/generate" << false;
    QTest::newRow("credentials") << "http://user@127.0.0.1:11434/api/generate" << false;
}

void LocalModelServerBackendTest::onlyLoopbackAddressesAreAsked()
{
    QFETCH(QString, url);
    QFETCH(bool, allowed);
    QCOMPARE(LocalModelServerBackend::isLoopbackUrl(QUrl(url)), allowed);
}

void LocalModelServerBackendTest::endlessAnswersStopAtTheLimit_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<qint64>("limit");
    QTest::newRow("list of models") << QByteArray("/api/tags") << LocalModelServerBackend::maximumModelListBytes;
    QTest::newRow("answer") << QByteArray("/api/generate") << LocalModelServerBackend::maximumReplyBytes;
}

void LocalModelServerBackendTest::endlessAnswersStopAtTheLimit()
{
    QFETCH(QByteArray, path);
    QFETCH(qint64, limit);
    EndlessModelServer server(path);
    server.answer("/api/tags", oneModel);
    server.start();
    // Patience far beyond this test's: only the limit may end the reading.
    LocalModelServerBackend backend(server.port(), LocalModelServerBackend::Timeouts{600'000, 600'000});

    if (path == "/api/tags") {
        QCOMPARE(backend.availability({}),
                 IntelligenceAvailability::fallback(IntelligenceUnavailableReason::unsupportedOperatingSystem));
    } else {
        QVERIFY(backend.availability({}).isOnDevice());
        const auto reply = backend.respond(QStringLiteral("Be brief."), QStringLiteral("Source 1"), {});
        QVERIFY(!reply);
        QCOMPARE(reply.error().description, QStringLiteral("The model's answer was too long."));
    }
    // The reader hung up; what the server got written is the limit plus
    // what the connection's buffers on both ends hold, not what a fast
    // server could pour out meanwhile.
    QTRY_VERIFY(server.endlessAnswerClosed());
    qInfo("sent %lld bytes for a limit of %lld", server.endlessBytesSent(), limit);
    QCOMPARE_LT(server.endlessBytesSent(), limit + connectionBufferBytes);
}

void LocalModelServerBackendTest::sheetShowsTheServersAnswerAsOnDevice()
{
    FakeModelServer server;
    server.answer("/api/tags", 200, oneModel);
    server.answer("/api/generate", 200, R"({"response":"**Link:** both cards chase one deadline.","done":true})");
    auto store = memoryStore();
    ModelContext &context = *store->mainContext();
    Board *note = addNote(context, "Note", at(0));
    CanvasCard *card = addCard(context, note, CardKind::snip, at(1));
    card->setTitle(QStringLiteral("Launch checklist"));
    QVERIFY(context.save());

    AskSuggestionModel model(context, note->id(), {card->id()},
                             std::make_unique<SystemIntelligenceService>(
                                 std::make_shared<LocalModelServerBackend>(server.port())));
    model.appear();
    QTRY_COMPARE(model.badgeTitle(), QStringLiteral("On-device"));
    QCOMPARE(model.badgeSystemImage(), QStringLiteral("apple.intelligence"));

    model.generate();
    QTRY_COMPARE(model.stage(), AskSuggestionModel::Stage::preview);
    QCOMPARE(model.editableText(), QStringLiteral("**Link:** both cards chase one deadline."));
    QCOMPARE(model.suggestion()->provider, IntelligenceProvider::onDeviceModel);
    const QJsonObject sent = QJsonDocument::fromJson(server.requests().constLast().body).object();
    QVERIFY(sent.value("prompt").toString().contains(QStringLiteral("Source 1 \u2014 Launch checklist:")));
}

void LocalModelServerBackendTest::closingTheSheetFreesTheWorker()
{
    FakeModelServer server;
    server.answer("/api/tags", 200, oneModel);
    server.stayQuiet("/api/generate");
    auto store = memoryStore();
    ModelContext &context = *store->mainContext();
    Board *note = addNote(context, "Note", at(0));
    QVERIFY(context.save());
    // The product's patience: far longer than this test may wait.
    auto model = std::make_unique<AskSuggestionModel>(
        context, note->id(), QList<QUuid>{},
        std::make_unique<SystemIntelligenceService>(std::make_shared<LocalModelServerBackend>(server.port())));

    model->generate();
    QTRY_COMPARE(server.requests().size(), 2);
    model.reset();

    // The next sheet's calls are not stuck behind the abandoned answer.
    QVERIFY(drainAssistantWorker());
}

QTEST_GUILESS_MAIN(LocalModelServerBackendTest)
#include "tst_localmodelserverbackend.moc"
