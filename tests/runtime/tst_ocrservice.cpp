#include "runtime/OCRService.h"

#include "runtime/ImageExportService.h"

#include "../support/WorkerGate.h"

#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QTest>
#include <QThread>

#include <atomic>
#include <mutex>
#include <vector>

using namespace tessaline;
using tessaline::testing::WorkerGate;

Q_DECLARE_METATYPE(QList<tessaline::TextObservation>)

namespace {

// Answers with fixed observations (or an error) and notes its thread; when
// given a gate, it first says it has started, then waits until let through.
class FakeRecognizer final : public TextRecognizing
{
public:
    TextRecognitionOutcome answer = QList<TextObservation>();
    std::atomic<QThread *> *thread = nullptr;
    WorkerGate *gate = nullptr;
    std::atomic<int> *released = nullptr;
    std::atomic<QThread *> *preparedOn = nullptr;
    std::atomic<int> *prepared = nullptr;
    // The engine limit each reading ran under, in order.
    std::vector<int> *limitsRead = nullptr;
    std::mutex *limitsMutex = nullptr;
    int limit = 0;
    void setEngineLimit(int engines) override { limit = engines; }
    // When set, a reading runs until the stop flag is raised, and says here
    // whether it had one to wait for (a service that never raises it keeps
    // the reading, and the test, waiting).
    std::atomic<bool> *waitsForStop = nullptr;
    std::shared_ptr<const std::atomic<bool>> stop;
    void setStopFlag(std::shared_ptr<const std::atomic<bool>> flag) override { stop = std::move(flag); }
    void prepare() override
    {
        if (preparedOn)
            *preparedOn = QThread::currentThread();
        if (prepared)
            ++*prepared;
    }
    void releaseIdleResources() override
    {
        if (released)
            ++*released;
    }
    TextRecognitionOutcome recognize(QImage) override
    {
        if (thread)
            *thread = QThread::currentThread();
        if (limitsRead) {
            const std::lock_guard lock(*limitsMutex);
            limitsRead->push_back(limit);
        }
        if (gate)
            gate->pass();
        if (waitsForStop) {
            if (stop)
                stop->wait(false);
            *waitsForStop = stop && stop->load();
        }
        return answer;
    }
};

TextObservation line(const char *text)
{
    TextObservation observation;
    observation.topCandidate = QString::fromUtf8(text);
    return observation;
}

} // namespace

class OCRServiceTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void joining_data();
    void joining();
    void recognisesOffTheCallersThread();
    void preparesOnTheWorkerForTheImagesToCome();
    void errorsComeBackUnchanged();
    void noAnswerOnceReceiverIsGone();
    void endingStopsTheReadingUnderWay();
    void enginesGoWhenIdleAndArePreparedAgain();
    void storedPictureIsNotHeldWhileRead();
    void frugalReadingLimitsTheEnginesInTurn();
    void tesseractEndToEnd_data();
    void tesseractEndToEnd();
};

void OCRServiceTest::joining_data()
{
    QTest::addColumn<QList<TextObservation>>("observations");
    QTest::addColumn<QString>("expected");
    QTest::newRow("nothing found") << QList<TextObservation>{} << "";
    QTest::newRow("three lines in order") << QList<TextObservation>{line("A"), line("B"), line("C")} << "A\nB\nC";
    QTest::newRow("no candidate leaves no empty line")
        << QList<TextObservation>{line("A"), TextObservation{}, line("C")} << "A\nC";
    QTest::newRow("own spaces kept") << QList<TextObservation>{line("  lead"), line("trail  ")} << "  lead\ntrail  ";
    QTest::newRow("only lines without candidates") << QList<TextObservation>{TextObservation{}, TextObservation{}} << "";
}

void OCRServiceTest::joining()
{
    QFETCH(QList<TextObservation>, observations);
    QFETCH(QString, expected);
    QCOMPARE(OCRService::joinedText(observations), expected);
}

void OCRServiceTest::recognisesOffTheCallersThread()
{
    std::atomic<QThread *> workerThread{nullptr};
    OCRService service([&]() {
        auto fake = std::make_unique<FakeRecognizer>();
        fake->answer = QList<TextObservation>{line("first"), line("second")};
        fake->thread = &workerThread;
        return fake;
    });
    QObject receiver;
    QStringList answers;
    QList<QThread *> finishedOn;
    for (int i = 0; i < 2; ++i) {
        service.recognizeText(QImage(4, 4, QImage::Format_RGB32), &receiver)
            .then([&](const OCRResult &result) {
                // A continuation without a context runs where the future finishes.
                finishedOn << QThread::currentThread();
                return result;
            })
            .then(&receiver, [&](const OCRResult &result) {
                QVERIFY(result);
                answers << result->text;
            });
    }
    QVERIFY(answers.isEmpty()); // never answered synchronously
    QTRY_COMPARE(answers.size(), 2);
    QCOMPARE(answers.first(), QStringLiteral("first\nsecond"));
    QCOMPARE(finishedOn, (QList<QThread *>{QThread::currentThread(), QThread::currentThread()}));
    QVERIFY(workerThread.load() && workerThread.load() != QThread::currentThread());
}

// A capture has begun: the recogniser is made and prepared on the worker,
// and the images that follow are read by that same one.
void OCRServiceTest::preparesOnTheWorkerForTheImagesToCome()
{
    std::atomic<int> made{0};
    std::atomic<QThread *> preparedOn{nullptr};
    OCRService service([&]() {
        ++made;
        auto fake = std::make_unique<FakeRecognizer>();
        fake->answer = QList<TextObservation>{line("read")};
        fake->preparedOn = &preparedOn;
        return fake;
    });
    service.prepare();
    QTRY_VERIFY(preparedOn.load());
    QVERIFY(preparedOn.load() != QThread::currentThread());
    QObject receiver;
    QString answer;
    for (int i = 0; i < 2; ++i) {
        service.recognizeText(QImage(4, 4, QImage::Format_RGB32), &receiver).then(&receiver, [&](const OCRResult &result) {
            if (result)
                answer += result->text;
        });
    }
    QTRY_COMPARE(answer, QStringLiteral("readread"));
    QCOMPARE(made.load(), 1);
}

void OCRServiceTest::errorsComeBackUnchanged()
{
    OCRService service([]() {
        auto fake = std::make_unique<FakeRecognizer>();
        fake->answer = unexpected(TextRecognitionError{QStringLiteral("engine failed")});
        return fake;
    });
    QObject receiver;
    std::optional<OCRResult> outcome;
    service.recognizeText(QImage(), &receiver).then(&receiver, [&](const OCRResult &result) { outcome = result; });
    QTRY_VERIFY(outcome.has_value());
    QVERIFY(!*outcome);
    QCOMPARE(outcome->error().message, QStringLiteral("engine failed"));

    // A stored picture that cannot be decoded never reaches the engine.
    outcome.reset();
    service.recognizeStoredPicture(QByteArray("\x89PNG\r\n\x1a\n damaged", 17), &receiver)
        .then(&receiver, [&](const OCRResult &result) { outcome = result; });
    QTRY_VERIFY(outcome.has_value());
    QVERIFY(!*outcome);
    QCOMPARE(outcome->error().message, QStringLiteral("The picture could not be read."));
}

void OCRServiceTest::noAnswerOnceReceiverIsGone()
{
    WorkerGate gate;
    OCRService service([&]() {
        auto fake = std::make_unique<FakeRecognizer>();
        fake->answer = QList<TextObservation>{line("text")};
        fake->gate = &gate;
        return fake;
    });
    bool answered = false;
    auto *receiver = new QObject;
    QFuture<OCRResult> recognition = service.recognizeText(QImage(), receiver);
    recognition.then(receiver, [&](const OCRResult &) { answered = true; });
    // The worker holds the image while the receiver goes away.
    QVERIFY(gate.waitUntilEntered());
    delete receiver;
    gate.open();

    // Requests are answered in order: once a later one is, the first has
    // been dealt with.
    QObject later;
    bool laterAnswered = false;
    service.recognizeText(QImage(), &later).then(&later, [&](const OCRResult &) { laterAnswered = true; });
    QTRY_VERIFY(laterAnswered);
    QVERIFY(!answered);
    // Nor does it ever finish, so nothing attached to it looks for the
    // receiver again.
    QVERIFY(!recognition.isFinished());
}

// The service's end raises the flag its recogniser was handed, so the app's
// end does not wait for a page being read (on a loaded machine, seconds).
void OCRServiceTest::endingStopsTheReadingUnderWay()
{
    WorkerGate gate;
    std::atomic<bool> stoppedByFlag = false;
    auto service = std::make_unique<OCRService>([&]() {
        auto fake = std::make_unique<FakeRecognizer>();
        fake->gate = &gate;
        fake->waitsForStop = &stoppedByFlag;
        return fake;
    });
    QObject receiver;
    (void)service->recognizeText(QImage(), &receiver);
    QVERIFY(gate.waitUntilEntered());
    gate.open();
    service.reset();
    QVERIFY(stoppedByFlag);
}

void OCRServiceTest::enginesGoWhenIdleAndArePreparedAgain()
{
    WorkerGate gate;
    std::atomic<int> released{0};
    std::atomic<int> prepared{0};
    OCRService service([&]() {
        auto fake = std::make_unique<FakeRecognizer>();
        fake->answer = QList<TextObservation>{line("text")};
        fake->gate = &gate;
        fake->released = &released;
        fake->prepared = &prepared;
        return fake;
    });
    service.setReleaseIntervals(20, 40);
    QObject receiver;
    int answers = 0;
    auto ask = [&] {
        service.recognizeText(QImage(), &receiver).then(&receiver, [&](const OCRResult &result) {
            QVERIFY(result);
            ++answers;
        });
    };
    // A second image asked for while the first is read: nothing is let go
    // in between, only after both.
    ask();
    QVERIFY(gate.waitUntilEntered());
    ask();
    gate.open();
    QTRY_COMPARE(answers, 2);
    QTRY_COMPARE(released.load(), 1);
    // What comes after still reads, and lets go again once idle.
    ask();
    QTRY_COMPARE(answers, 3);
    QTRY_COMPARE(released.load(), 2);

    // A capture begins after that: the engine is prepared again on the
    // worker, and let go again when no image follows.
    service.prepare();
    QTRY_COMPARE(prepared.load(), 1);
    QTRY_COMPARE(released.load(), 3);
    // Prepared, then read: let go once, after the image.
    service.prepare();
    ask();
    QTRY_COMPARE(answers, 4);
    QTRY_COMPARE(released.load(), 4);
    QCOMPARE(prepared.load(), 2);
}

// A stored 5K picture is 17 MB of bytes: once decoded, the worker lets them
// go rather than holding them while the engines read.
void OCRServiceTest::storedPictureIsNotHeldWhileRead()
{
    WorkerGate gate;
    OCRService service([&]() {
        auto fake = std::make_unique<FakeRecognizer>();
        fake->answer = QList<TextObservation>{line("text")};
        fake->gate = &gate;
        return fake;
    });
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::white);
    QByteArray bytes = ImageExportService::pngData(image).value_or(QByteArray());
    QVERIFY(!bytes.isEmpty());
    QObject receiver;
    bool answered = false;
    service.recognizeStoredPicture(bytes, &receiver).then(&receiver, [&](const OCRResult &result) {
        QVERIFY(result);
        answered = true;
    });
    // Whether the job still shares them at this point is up to how fast the
    // worker got to it; once the engine reads, it must not.
    QVERIFY(gate.waitUntilEntered());
    QVERIFY(bytes.isDetached()); // read: only the caller's copy is left
    gate.open();
    QTRY_VERIFY(answered);
}

void OCRServiceTest::tesseractEndToEnd_data()
{
    QTest::addColumn<bool>("fromStoredPicture");
    QTest::newRow("picture") << false;
    // As a capture is read: its PNG read back from the library, decoded on
    // the worker when its turn comes.
    QTest::newRow("stored picture") << true;
}

void OCRServiceTest::tesseractEndToEnd()
{
    QFETCH(bool, fromStoredPicture);
    QImage image(900, 200, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(26);
    painter.setFont(font);
    painter.drawText(QPoint(30, 70), QStringLiteral("Snips become searchable"));
    painter.drawText(QPoint(30, 130), QStringLiteral("once their text is read"));
    painter.end();

    OCRService service; // Tesseract
    QObject receiver;
    std::optional<OCRResult> outcome;
    const auto answered = [&](const OCRResult &result) { outcome = result; };
    if (fromStoredPicture) {
        const std::optional<QByteArray> png = ImageExportService::pngData(image);
        QVERIFY(png);
        service.recognizeStoredPicture(*png, &receiver).then(&receiver, answered);
    } else {
        service.recognizeText(image, &receiver).then(&receiver, answered);
    }
    // Under the sanitizers on a busy machine one reading has taken fifty
    // seconds.
    QTRY_VERIFY_WITH_TIMEOUT(outcome.has_value(), 120000);
    QVERIFY2(*outcome, qPrintable(*outcome ? QString() : outcome->error().message));
    QCOMPARE((*outcome)->text, QStringLiteral("Snips become searchable\nonce their text is read"));
}

// The limit goes with the readings in the order they were asked for: one
// asked before the switch reads as before, whenever the switch reaches the
// worker; one set before the recogniser exists holds once it is made.
void OCRServiceTest::frugalReadingLimitsTheEnginesInTurn()
{
    WorkerGate gate;
    std::vector<int> limits;
    std::mutex limitsMutex;
    OCRService service([&]() {
        auto fake = std::make_unique<FakeRecognizer>();
        fake->limitsRead = &limits;
        fake->limitsMutex = &limitsMutex;
        fake->gate = &gate;
        return fake;
    });
    QObject receiver;
    int answers = 0;
    auto ask = [&] { service.recognizeText(QImage(), &receiver).then(&receiver, [&](const OCRResult &) { ++answers; }); };
    const int frugal = OCRService::frugalEngineLimit();
    QVERIFY(frugal >= 1 && frugal <= 4);

    service.setReadingFrugally(true);
    ask();
    QVERIFY(gate.waitUntilEntered());
    service.setReadingFrugally(false);
    ask();
    service.setReadingFrugally(true);
    service.setReadingFrugally(true); // no change
    ask();
    gate.open();
    QTRY_COMPARE(answers, 3);
    const std::lock_guard lock(limitsMutex);
    QCOMPARE(limits, (std::vector<int>{frugal, 0, frugal}));
}

QTEST_MAIN(OCRServiceTest)
#include "tst_ocrservice.moc"
