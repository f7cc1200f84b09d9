// Real Tesseract on text rendered with QPainter.

#include "platform/TesseractRecognizer.h"

#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QTemporaryFile>
#include <QTest>

#include <unistd.h>

using namespace tessaline;

namespace {

QImage rendered(const QStringList &lines, QColor background, QColor ink, int pixelSize)
{
    QImage image(pixelSize * 30, (lines.size() + 2) * pixelSize * 2, QImage::Format_RGB32);
    image.fill(background);
    QPainter painter(&image);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    painter.setFont(font);
    painter.setPen(ink);
    for (int i = 0; i < lines.size(); ++i)
        painter.drawText(QPoint(pixelSize * 2, (i + 1) * pixelSize * 2 + pixelSize / 2), lines.at(i));
    return image;
}

QStringList readLines(const TextRecognitionOutcome &outcome)
{
    QStringList lines;
    for (const TextObservation &observation : outcome.value_or(QList<TextObservation>())) {
        if (observation.topCandidate)
            lines << *observation.topCandidate;
    }
    return lines;
}

// What the process writes to its standard error while `work` runs.
template <typename Work>
QByteArray standardErrorOf(Work work)
{
    QTemporaryFile capture;
    if (!capture.open())
        return QByteArrayLiteral("(could not capture)");
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(capture.handle(), STDERR_FILENO);
    work();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    capture.seek(0);
    return capture.readAll();
}

} // namespace

class TesseractRecognizerTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void readsLinesInOrder_data();
    void readsLinesInOrder();
    void blankImageHasNoText();
    void thinAndTinyPicturesReadQuietly_data();
    void thinAndTinyPicturesReadQuietly();
    void missingLanguageDataIsAnError();
};

void TesseractRecognizerTest::readsLinesInOrder_data()
{
    QTest::addColumn<QColor>("background");
    QTest::addColumn<QColor>("ink");
    QTest::addColumn<int>("pixelSize");
    QTest::newRow("dark on light") << QColor(Qt::white) << QColor(Qt::black) << 28;
    QTest::newRow("screen-sized text") << QColor(246, 246, 248) << QColor(40, 40, 46) << 16;
    QTest::newRow("light on dark") << QColor(30, 30, 34) << QColor(230, 230, 230) << 24;
}

void TesseractRecognizerTest::readsLinesInOrder()
{
    QFETCH(QColor, background);
    QFETCH(QColor, ink);
    QFETCH(int, pixelSize);
    const QStringList lines{QStringLiteral("Quarterly revenue grew again"),
                            QStringLiteral("Keep every capture beside the note"),
                            QStringLiteral("Review the board on Monday morning")};
    TesseractRecognizer recognizer;
    const TextRecognitionOutcome outcome = recognizer.recognize(rendered(lines, background, ink, pixelSize));
    QVERIFY2(outcome, qPrintable(outcome ? QString() : outcome.error().message));
    QCOMPARE(readLines(outcome), lines);
    QVERIFY(!recognizer.dataPath().isEmpty());

    // Each line's words, left to right, with boxes on the line they were
    // drawn on: what redaction goes by.
    for (int i = 0; i < outcome->size(); ++i) {
        const QList<RecognizedWord> &words = outcome->at(i).words;
        QStringList texts;
        const int baseline = (i + 1) * pixelSize * 2 + pixelSize / 2;
        for (int w = 0; w < words.size(); ++w) {
            texts << words.at(w).text;
            const QRect box = words.at(w).box;
            QVERIFY2(box.top() >= baseline - pixelSize && box.bottom() <= baseline + pixelSize / 2,
                     qPrintable(words.at(w).text));
            QVERIFY(w == 0 || box.left() > words.at(w - 1).box.right());
        }
        QCOMPARE(texts.join(QLatin1Char(' ')), lines.at(i));
    }
}

void TesseractRecognizerTest::blankImageHasNoText()
{
    QImage blank(640, 200, QImage::Format_RGB32);
    blank.fill(Qt::white);
    TesseractRecognizer recognizer;
    const TextRecognitionOutcome outcome = recognizer.recognize(blank);
    QVERIFY(outcome);
    QVERIFY(readLines(outcome).isEmpty());
}

void TesseractRecognizerTest::thinAndTinyPicturesReadQuietly_data()
{
    QTest::addColumn<QSize>("size");
    // Slivers of text like these made the image library complain about
    // boxes outside the picture.
    QTest::newRow("thin column") << QSize(7, 3000);
    QTest::newRow("thin row") << QSize(3000, 8);
    QTest::newRow("narrow strip") << QSize(30, 3000);
    QTest::newRow("tiny") << QSize(5, 5);
    QTest::newRow("one pixel high") << QSize(400, 1);
}

void TesseractRecognizerTest::thinAndTinyPicturesReadQuietly()
{
    QFETCH(QSize, size);
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(std::max(3, std::min(size.width(), size.height()) * 2 / 3 + 2));
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("Wg lo and more text here"));
    }
    quint32 seed = 7;
    for (int i = 0; i < size.width() * size.height() / 8; ++i) {
        seed = seed * 1103515245u + 12345u;
        image.setPixel(int((seed >> 8) % quint32(size.width())), int((seed >> 16) % quint32(size.height())),
                       qRgb(0, 0, 0));
    }
    QImage blank(640, 200, QImage::Format_RGB32);
    blank.fill(Qt::white);
    TesseractRecognizer recognizer(QByteArray(), 2);
    QVERIFY(recognizer.recognize(blank)); // the engines are loaded outside the capture

    std::optional<TextRecognitionOutcome> outcome;
    const QByteArray printed = standardErrorOf([&] { outcome = recognizer.recognize(image); });
    QVERIFY2(printed.isEmpty(), printed.constData());
    QVERIFY(outcome && *outcome);
    if (std::min(size.width(), size.height()) < 8)
        QVERIFY((*outcome)->isEmpty());
}

void TesseractRecognizerTest::missingLanguageDataIsAnError()
{
    TesseractRecognizer recognizer(QByteArrayLiteral("/nonexistent/tessdata"));
    QImage image(10, 10, QImage::Format_RGB32);
    image.fill(Qt::white);
    const TextRecognitionOutcome first = recognizer.recognize(image);
    QVERIFY(!first);
    QVERIFY(!first.error().message.isEmpty());
    QVERIFY(!recognizer.recognize(image));
}

QTEST_MAIN(TesseractRecognizerTest)
#include "tst_tesseractrecognizer.moc"
