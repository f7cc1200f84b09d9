#include "runtime/TextRedaction.h"

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

QTEST_GUILESS_MAIN(TextRedactionTest)
#include "tst_textredaction.moc"
