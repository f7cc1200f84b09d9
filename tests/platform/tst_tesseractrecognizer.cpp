// Real Tesseract on text rendered with QPainter.

#include "platform/TesseractRecognizer.h"

#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QTest>

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

} // namespace

class TesseractRecognizerTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void readsLinesInOrder_data();
    void readsLinesInOrder();
    void blankImageHasNoText();
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
