#include "runtime/TextRedaction.h"

#include "model/AnnotationRenderer.h"
#include "platform/TextRecognitionModule.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QTest>

using namespace tessaline;

namespace {

// A 200 × 100 picture read as two lines.
RecognizedText twoLines()
{
    auto line = [](QList<RecognizedWord> words) {
        TextObservation observation;
        QStringList texts;
        for (const RecognizedWord &word : words)
            texts << word.text;
        observation.topCandidate = texts.join(QLatin1Char(' '));
        observation.words = words;
        return observation;
    };
    RecognizedText result;
    result.imageSize = QSize(200, 100);
    result.lines = {line({{"the", QRect(10, 10, 30, 15)}, {"password", QRect(45, 10, 70, 15)}, {"hint", QRect(120, 10, 35, 15)}}),
                    line({{"blue", QRect(10, 50, 40, 15)}, {"sky", QRect(60, 50, 30, 15)}})};
    result.text = QStringLiteral("the password hint\nblue sky");
    return result;
}

// A box in the picture's pixels, dragged from one corner to the other.
AnnotationItem box(AnnotationTool tool, QPointF from, QPointF to)
{
    AnnotationItem item;
    item.id = QUuid::createUuid();
    item.tool = tool;
    item.points = {NormalizedPoint{from.x() / 200, from.y() / 100}, NormalizedPoint{to.x() / 200, to.y() / 100}};
    return item;
}

} // namespace

class TextRedactionTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void visibleText_data();
    void visibleText();
    void withoutWordBoxesNothingHiddenIsKept();
    void storedAnnotationsThatCannotBeReadHideEverything();
    void pixelatedTextCannotBeRead_data();
    void pixelatedTextCannotBeRead();
};

void TextRedactionTest::visibleText_data()
{
    using T = AnnotationTool;
    QTest::addColumn<QList<AnnotationItem>>("items");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no annotations") << QList<AnnotationItem>{} << "the password hint\nblue sky";
    QTest::newRow("box over one word") << QList<AnnotationItem>{box(T::pixelate, {40, 5}, {117, 30})}
                                       << "the hint\nblue sky";
    QTest::newRow("dragged the other way") << QList<AnnotationItem>{box(T::pixelate, {117, 30}, {40, 5})}
                                           << "the hint\nblue sky";
    QTest::newRow("box grazing a word hides it") << QList<AnnotationItem>{box(T::pixelate, {100, 20}, {150, 40})}
                                                 << "the\nblue sky";
    QTest::newRow("box over a whole line") << QList<AnnotationItem>{box(T::pixelate, {0, 45}, {200, 70})}
                                           << "the password hint";
    QTest::newRow("two boxes") << QList<AnnotationItem>{box(T::pixelate, {0, 0}, {42, 100}), box(T::pixelate, {118, 0}, {200, 100})}
                               << "password\nsky";
    QTest::newRow("box between two words") << QList<AnnotationItem>{box(T::pixelate, {115, 5}, {120, 30})}
                                           << "the password hint\nblue sky";
    QTest::newRow("box beside the text") << QList<AnnotationItem>{box(T::pixelate, {160, 70}, {200, 100})}
                                         << "the password hint\nblue sky";
    QTest::newRow("box a pixel wide is not drawn") << QList<AnnotationItem>{box(T::pixelate, {20, 0}, {21, 100})}
                                                   << "the password hint\nblue sky";
    QTest::newRow("outlines and highlights hide nothing")
        << QList<AnnotationItem>{box(T::rectangle, {40, 5}, {117, 30}), box(T::highlight, {40, 5}, {117, 30}),
                                 box(T::arrow, {40, 5}, {117, 30})}
        << "the password hint\nblue sky";
}

void TextRedactionTest::visibleText()
{
    QFETCH(QList<AnnotationItem>, items);
    QFETCH(QString, expected);
    QCOMPARE(TextRedaction::visibleText(twoLines(), items), expected);
}

void TextRedactionTest::withoutWordBoxesNothingHiddenIsKept()
{
    RecognizedText lines = twoLines();
    for (TextObservation &line : lines.lines)
        line.words.clear();
    const QList<AnnotationItem> hiding{box(AnnotationTool::pixelate, {40, 5}, {117, 30})};
    QCOMPARE(TextRedaction::visibleText(lines, hiding), QString());
    QCOMPARE(TextRedaction::visibleText(lines, QList<AnnotationItem>{}), lines.text);

    RecognizedText unsized = twoLines();
    unsized.imageSize = QSize();
    QCOMPARE(TextRedaction::visibleText(unsized, hiding), QString());
}

void TextRedactionTest::storedAnnotationsThatCannotBeReadHideEverything()
{
    const QByteArray unreadable("{\"items\":[{\"tool\":\"laser\"}],\"version\":2}");
    const QByteArray pixelated = *AnnotationDocument{2, {box(AnnotationTool::pixelate, {40, 5}, {117, 30})}}.encode();
    const QByteArray outlined = *AnnotationDocument{2, {box(AnnotationTool::rectangle, {40, 5}, {117, 30})}}.encode();
    QCOMPARE(TextRedaction::visibleText(twoLines(), std::optional(unreadable)), QString());
    QCOMPARE(TextRedaction::visibleText(twoLines(), std::optional(pixelated)), QStringLiteral("the hint\nblue sky"));
    QCOMPARE(TextRedaction::visibleText(twoLines(), std::optional<QByteArray>()), twoLines().text);

    QVERIFY(TextRedaction::mayHidePicture(unreadable));
    QVERIFY(TextRedaction::mayHidePicture(pixelated));
    QVERIFY(!TextRedaction::mayHidePicture(outlined));
    QVERIFY(!TextRedaction::mayHidePicture(std::nullopt));

    const QSize size(200, 100);
    QVERIFY(TextRedaction::hidesOtherAreas(std::nullopt, pixelated, size));
    QVERIFY(TextRedaction::hidesOtherAreas(pixelated, outlined, size));
    QVERIFY(TextRedaction::hidesOtherAreas(outlined, unreadable, size));
    QVERIFY(!TextRedaction::hidesOtherAreas(std::nullopt, outlined, size));
    QVERIFY(!TextRedaction::hidesOtherAreas(pixelated, pixelated, size));
}

QTEST_MAIN(TextRedactionTest)
void TextRedactionTest::pixelatedTextCannotBeRead_data()
{
    QTest::addColumn<int>("pixelSize");
    for (int size : {12, 20, 36, 60, 90, 120})
        QTest::addRow("%d px", size) << size;
}

// Real text recognition, as later window captures that show the snip get
// it, reads nothing from a pixelation box drawn round the words, however
// large they are.
void TextRedactionTest::pixelatedTextCannotBeRead()
{
    QFETCH(int, pixelSize);
    const QString words = QStringLiteral("7:15 Pay 4821");
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    const QFontMetrics metrics(font);
    QImage picture(metrics.horizontalAdvance(words) + 8 * pixelSize, 6 * pixelSize, QImage::Format_RGB32);
    picture.fill(Qt::white);
    const QPoint origin(4 * pixelSize, 3 * pixelSize);
    {
        QPainter painter(&picture);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(origin, words);
    }
    const auto readText = [](const QImage &image) {
        TextRecognitionModule reader;
        const TextRecognitionOutcome outcome = reader.recognize(image);
        QStringList lines;
        if (outcome) {
            for (const TextObservation &line : *outcome)
                lines << line.topCandidate.value_or(QString());
        }
        return lines.join(QLatin1Char(' '));
    };
    // The words can be read before the box goes over them.
    QVERIFY2(readText(picture).contains(QStringLiteral("4821")), qPrintable(readText(picture)));

    // The box as a user draws it: round the ink, a little margin each side.
    const QRect ink = metrics.tightBoundingRect(words).translated(origin);
    const QRectF box = QRectF(ink).adjusted(-pixelSize / 4.0 - 2, -pixelSize / 4.0 - 2, pixelSize / 4.0 + 2,
                                           pixelSize / 4.0 + 2);
    AnnotationItem pixelation;
    pixelation.id = QUuid::createUuid();
    pixelation.tool = AnnotationTool::pixelate;
    pixelation.points = {NormalizedPoint{box.left() / picture.width(), box.top() / picture.height()},
                         NormalizedPoint{box.right() / picture.width(), box.bottom() / picture.height()}};
    const std::optional<QImage> redacted = AnnotationRenderer::renderImage(picture, {pixelation});
    QVERIFY(redacted);
    const QString read = readText(*redacted);
    for (const QString &part : {QStringLiteral("7"), QStringLiteral("15"), QStringLiteral("Pay"), QStringLiteral("48"),
                                QStringLiteral("21")})
        QVERIFY2(!read.contains(part, Qt::CaseInsensitive), qPrintable(QStringLiteral("read \"%1\"").arg(read)));
}

#include "tst_textredaction.moc"
