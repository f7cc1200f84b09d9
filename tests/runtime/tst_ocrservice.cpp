#include "runtime/OCRService.h"

#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QTest>
#include <QThread>

#include <atomic>

using namespace tessaline;

Q_DECLARE_METATYPE(QList<tessaline::TextObservation>)

namespace {

// Answers with fixed observations (or an error) and notes its thread.
class FakeRecognizer final : public TextRecognizing
{
public:
    TextRecognitionOutcome answer;
    std::atomic<QThread *> *thread = nullptr;
    TextRecognitionOutcome recognize(const QImage &) override
    {
        if (thread)
            *thread = QThread::currentThread();
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
    void errorsComeBackUnchanged();
    void noAnswerOnceReceiverIsGone();
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
        fake->answer.observations = {line("first"), line("second")};
        fake->thread = &workerThread;
        return fake;
    });
    QObject receiver;
    QStringList answers;
    QThread *answeredOn = nullptr;
    for (int i = 0; i < 2; ++i) {
        service.recognizeText(QImage(4, 4, QImage::Format_RGB32), &receiver, [&](const OCRResult &result) {
            QVERIFY(!result.error);
            answers << result.text;
            answeredOn = QThread::currentThread();
        });
    }
    QVERIFY(answers.isEmpty()); // never answered synchronously
    QTRY_COMPARE(answers.size(), 2);
    QCOMPARE(answers.first(), QStringLiteral("first\nsecond"));
    QCOMPARE(answeredOn, QThread::currentThread());
    QVERIFY(workerThread.load() && workerThread.load() != QThread::currentThread());
}

void OCRServiceTest::errorsComeBackUnchanged()
{
    OCRService service([]() {
        auto fake = std::make_unique<FakeRecognizer>();
        fake->answer.error = TextRecognitionError{QStringLiteral("engine failed")};
        return fake;
    });
    QObject receiver;
    std::optional<OCRResult> outcome;
    service.recognizeText(QImage(), &receiver, [&](const OCRResult &result) { outcome = result; });
    QTRY_VERIFY(outcome.has_value());
    QVERIFY(outcome->error.has_value());
    QCOMPARE(outcome->error->message, QStringLiteral("engine failed"));
    QVERIFY(outcome->text.isEmpty());
}

void OCRServiceTest::noAnswerOnceReceiverIsGone()
{
    bool answered = false;
    {
        OCRService service([]() { return std::make_unique<FakeRecognizer>(); });
        auto *receiver = new QObject;
        service.recognizeText(QImage(), receiver, [&](const OCRResult &) { answered = true; });
        delete receiver;
    }
    QTest::qWait(50);
    QVERIFY(!answered);
}

void OCRServiceTest::tesseractEndToEnd()
{
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
    service.recognizeText(image, &receiver, [&](const OCRResult &result) { outcome = result; });
    QTRY_VERIFY_WITH_TIMEOUT(outcome.has_value(), 30000);
    QVERIFY2(!outcome->error, qPrintable(outcome->error ? outcome->error->message : QString()));
    QCOMPARE(outcome->text, QStringLiteral("Snips become searchable\nonce their text is read"));
}

QTEST_MAIN(OCRServiceTest)
#include "tst_ocrservice.moc"
