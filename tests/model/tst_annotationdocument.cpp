#include "model/AnnotationDocument.h"

#include "platform/UuidText.h"

#include <QSet>
#include <QTest>

#include <limits>

using namespace tessaline;

namespace {

const QUuid firstId = *parseUuid(u"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D");
const QUuid secondId = *parseUuid(u"FEDCBA98-7654-4321-8FED-CBA987654321");

QByteArray item(const QByteArray &tool, const QByteArray &textMember = QByteArray(),
                const QByteArray &id = "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d")
{
    QByteArray json = R"({"id":")" + id + R"(","tool":")" + tool
        + R"(","points":[{"x":0.25,"y":0.5}],"color":{"red":1,"green":0,"blue":0,"alpha":1},"lineWidth":4)";
    if (!textMember.isEmpty())
        json += "," + textMember;
    return json + "}";
}

QByteArray document(int version, const QList<QByteArray> &items)
{
    QByteArray json = R"({"version":)" + QByteArray::number(version) + R"(,"items":[)";
    for (qsizetype i = 0; i < items.size(); ++i)
        json += (i ? "," : "") + items.at(i);
    return json + "]}";
}

// What bytes the test holds readable read as; a document no reader makes
// (version 0, no items) when they are not, so every check on it fails.
AnnotationDocument readable(const QByteArray &data)
{
    const auto read = AnnotationDocument::decode(data);
    return read ? *read : AnnotationDocument{0, {}};
}

AnnotationItem makeItem(AnnotationTool tool, std::optional<QString> text = std::nullopt)
{
    AnnotationItem made;
    made.id = QUuid::createUuid();
    made.tool = tool;
    made.points = {{0.1, 0.2}, {0.30000000000000004, 0.7}};
    made.color = {0.1, 0.2, 0.3, 0.38};
    made.lineWidth = 3.5;
    made.text = std::move(text);
    return made;
}

} // namespace

class AnnotationDocumentTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void toolRawValues();
    void noDataIsTheEmptyDocument();
    void unreadableInputIsAnError_data();
    void unreadableInputIsAnError();
    void loneSurrogateInTextReadsAsReplacement();
    void migratesVersionOne();
    void newerVersionsReadUnchanged_data();
    void newerVersionsReadUnchanged();
    void keysInAnyOrderAndUnknownKeysIgnored();
    void nullTextReadsAbsentAndIsNotWritten();
    void roundTripIsExact();
    void writesUpperCaseIdsAndShortestNumbers();
    void refusesToWriteWhatCannotBeRead();
    void equalityAndHashing();
};

void AnnotationDocumentTest::toolRawValues()
{
    QStringList names;
    for (AnnotationTool tool : allAnnotationTools()) {
        names << rawValue(tool);
        QCOMPARE(annotationToolFromRawValue(rawValue(tool)), tool);
    }
    QCOMPARE(names, (QStringList{"select", "arrow", "rectangle", "freehand", "highlight", "text", "pixelate"}));
    QVERIFY(!annotationToolFromRawValue(u"Arrow"));
    QVERIFY(!annotationToolFromRawValue(u"circle"));
}

void AnnotationDocumentTest::noDataIsTheEmptyDocument()
{
    for (const std::optional<QByteArray> &data : {std::optional<QByteArray>(), std::optional<QByteArray>(QByteArray()),
                                                  std::optional<QByteArray>(QByteArray(""))}) {
        const auto read = AnnotationDocument::decode(data);
        QVERIFY(read);
        QCOMPARE(read->version, 2);
        QVERIFY(*read == AnnotationDocument::empty());
    }
}

void AnnotationDocumentTest::unreadableInputIsAnError_data()
{
    QTest::addColumn<std::optional<QByteArray>>("data");
    const QByteArray good = item("arrow");
    auto with = [&](const char *from, const char *to) {
        QByteArray changed = good;
        changed.replace(from, to);
        return std::optional<QByteArray>(document(2, {changed}));
    };

    QTest::newRow("only whitespace") << std::optional<QByteArray>(" \n");
    QTest::newRow("empty object") << std::optional<QByteArray>("{}");
    QTest::newRow("array") << std::optional<QByteArray>("[]");
    QTest::newRow("malformed") << std::optional<QByteArray>(document(2, {good}).chopped(1));
    QTest::newRow("no version") << std::optional<QByteArray>(R"({"items":[]})");
    QTest::newRow("no items") << std::optional<QByteArray>(R"({"version":2})");
    QTest::newRow("version as text") << std::optional<QByteArray>(R"({"version":"2","items":[]})");
    QTest::newRow("fractional version") << std::optional<QByteArray>(R"({"version":2.5,"items":[]})");
    QTest::newRow("version beyond exact integers")
        << std::optional<QByteArray>(R"({"version":1152921504606846977,"items":[]})");
    QTest::newRow("unknown tool") << with("\"arrow\"", "\"circle\"");
    QTest::newRow("no lineWidth") << with(",\"lineWidth\":4", "");
    QTest::newRow("lineWidth as text") << with("\"lineWidth\":4", "\"lineWidth\":\"4\"");
    QTest::newRow("id not a UUID") << with("0a1b2c3d-4e5f", "0a1b2c3d-4e5g");
    QTest::newRow("id in braces") << with("\"0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d\"",
                                         "\"{0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d}\"");
    QTest::newRow("point without y") << with(",\"y\":0.5", "");
    QTest::newRow("point not an object") << with("{\"x\":0.25,\"y\":0.5}", "[0.25,0.5]");
    QTest::newRow("colour without alpha") << with(",\"alpha\":1", "");
    QTest::newRow("text as number") << with("\"lineWidth\":4", "\"lineWidth\":4,\"text\":5");
    QTest::newRow("number out of range") << with("\"lineWidth\":4", "\"lineWidth\":1e400");
    QTest::newRow("item not an object") << std::optional<QByteArray>(R"({"version":2,"items":[1]})");
    // A tool of a newer version next to one this version knows: the known
    // item alone would be a document without the other's redaction.
    QTest::newRow("one unknown item among known ones")
        << std::optional<QByteArray>(document(2, {item("pixelate", {}, "fedcba98-7654-4321-8fed-cba987654321"),
                                                  item("blur")}));
}

void AnnotationDocumentTest::unreadableInputIsAnError()
{
    QFETCH(std::optional<QByteArray>, data);
    const auto read = AnnotationDocument::decode(data);
    QVERIFY(!read);
    QCOMPARE(read.error(), AnnotationDocumentError::unreadable);
    QVERIFY(!message(read.error()).isEmpty());
}

void AnnotationDocumentTest::loneSurrogateInTextReadsAsReplacement()
{
    // Read as U+FFFD, the label can be written again like any other.
    const auto read = AnnotationDocument::decode(document(2, {item("text", R"("text":"a\ud800b")")}));
    QVERIFY(read);
    QCOMPARE(read->items.first().text, std::optional<QString>(u"a\uFFFDb"_qs));
    QVERIFY(read->encode());
}

void AnnotationDocumentTest::migratesVersionOne()
{
    const QByteArray texts = document(1, {
        item("text", R"("text":"Text")"),
        item("text", R"("text":"  ")"),
        item("text"),
        item("text", R"("text":" Text\n")"),
        item("text", R"("text":"Texts")"),
        item("text", R"("text":"text")"),
        item("text", R"("text":null)"),
        item("arrow", R"("text":"Text")"),
        item("pixelate"),
    });
    for (int version : {1, 0, -3}) {
        QByteArray data = texts;
        data.replace("\"version\":1", "\"version\":" + QByteArray::number(version));
        const AnnotationDocument read = readable(data);
        QCOMPARE(read.version, 2);
        QCOMPARE(read.items.size(), 4);
        QCOMPARE(read.items.at(0).text, std::optional<QString>(u"Texts"_qs));
        QCOMPARE(read.items.at(1).text, std::optional<QString>(u"text"_qs));
        QCOMPARE(read.items.at(2).tool, AnnotationTool::arrow);
        QCOMPARE(read.items.at(2).text, std::optional<QString>(u"Text"_qs));
        QCOMPARE(read.items.at(3).tool, AnnotationTool::pixelate);
        QCOMPARE(read.items.at(0).id, firstId);
    }

    // A surviving label keeps its untrimmed text.
    const AnnotationDocument padded = readable(document(1, {item("text", R"("text":"  Hi\n")")}));
    QCOMPARE(padded.items.size(), 1);
    QCOMPARE(padded.items.first().text, std::optional<QString>(u"  Hi\n"_qs));
}

void AnnotationDocumentTest::newerVersionsReadUnchanged_data()
{
    QTest::addColumn<int>("version");
    QTest::newRow("current") << 2;
    QTest::newRow("future") << 7;
}

void AnnotationDocumentTest::newerVersionsReadUnchanged()
{
    QFETCH(int, version);
    const AnnotationDocument read = readable(
        document(version, {item("text", R"("text":"Text")"), item("text", R"("text":"  ")"), item("text")}));
    QCOMPARE(read.version, version);
    QCOMPARE(read.items.size(), 3);
    QCOMPARE(read.items.at(0).text, std::optional<QString>(u"Text"_qs));
    QVERIFY(!read.items.at(2).text);
}

void AnnotationDocumentTest::keysInAnyOrderAndUnknownKeysIgnored()
{
    const QByteArray shuffled = R"({"extra":{"nested":[1,2]},"items":[{"lineWidth":2.5,"text":"Hi","future":true,)"
                                R"("color":{"alpha":0.5,"blue":0.25,"green":0.125,"red":1,"hue":3},)"
                                R"("points":[{"y":0.75,"x":0.5,"z":9}],"tool":"text",)"
                                R"("id":"fedcba98-7654-4321-8fed-cba987654321"}],"version":2})";
    const AnnotationDocument read = readable(shuffled);
    QCOMPARE(read.items.size(), 1);
    const AnnotationItem &only = read.items.first();
    QCOMPARE(only.id, secondId);
    QCOMPARE(only.tool, AnnotationTool::text);
    QCOMPARE(only.points, (QList<NormalizedPoint>{{0.5, 0.75}}));
    QVERIFY(only.color == (AnnotationColor{1, 0.125, 0.25, 0.5}));
    QCOMPARE(only.lineWidth, 2.5);
    QCOMPARE(only.text, std::optional<QString>(u"Hi"_qs));
}

void AnnotationDocumentTest::nullTextReadsAbsentAndIsNotWritten()
{
    const AnnotationDocument read = readable(document(2, {item("arrow", R"("text":null)")}));
    QCOMPARE(read.items.size(), 1);
    QVERIFY(!read.items.first().text);
    const auto written = read.encode();
    QVERIFY(written);
    QVERIFY(!written->contains("\"text\""));
    QVERIFY(!written->contains("null"));
}

void AnnotationDocumentTest::roundTripIsExact()
{
    AnnotationDocument original;
    original.items = {makeItem(AnnotationTool::arrow), makeItem(AnnotationTool::text, u"  line\r\nnext 😀 \"q\" / é"_qs),
                      makeItem(AnnotationTool::text, QString()), makeItem(AnnotationTool::pixelate)};
    original.items[0].points = {{0.1, 1.0 / 3.0}, {std::nextafter(0.5, 1.0), 5e-324}, {0.0, 1e300}};
    original.items[3].points.clear();
    original.items[0].lineWidth = 0.1 + 0.2;

    const auto bytes = original.encode();
    QVERIFY(bytes);
    const AnnotationDocument read = readable(*bytes);
    QVERIFY(read == original);
    QCOMPARE(read.items[0].points[1].x, std::nextafter(0.5, 1.0));
    QCOMPARE(read.items[0].lineWidth, 0.1 + 0.2);
    QVERIFY(read.items[2].text && read.items[2].text->isEmpty());
    // Writing what was read gives the same bytes again.
    QCOMPARE(read.encode(), bytes);
}

void AnnotationDocumentTest::writesUpperCaseIdsAndShortestNumbers()
{
    AnnotationDocument single;
    AnnotationItem only;
    only.id = firstId;
    only.tool = AnnotationTool::rectangle;
    only.points = {{0.1, 0.2}};
    only.color = {1, 0, 0.5, 1};
    only.lineWidth = 4;
    single.items = {only};
    QCOMPARE(*single.encode(),
             QByteArray(R"({"items":[{"color":{"alpha":1,"blue":0.5,"green":0,"red":1},)"
                        R"("id":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D","lineWidth":4,)"
                        R"("points":[{"x":0.1,"y":0.2}],"tool":"rectangle"}],"version":2})"));
}

void AnnotationDocumentTest::refusesToWriteWhatCannotBeRead()
{
    AnnotationDocument broken;
    broken.items = {makeItem(AnnotationTool::freehand)};
    broken.items[0].points[0].x = std::numeric_limits<double>::infinity();
    QVERIFY(!broken.encode());

    broken.items = {makeItem(AnnotationTool::text, QString(QChar(0xDC00)))};
    QVERIFY(!broken.encode());
}

void AnnotationDocumentTest::equalityAndHashing()
{
    AnnotationDocument a;
    a.items = {makeItem(AnnotationTool::highlight), makeItem(AnnotationTool::text, u"x"_qs)};
    AnnotationDocument b = a;
    QVERIFY(a == b);
    QCOMPARE(qHash(a), qHash(b));

    b.items[0].color.alpha = 0.3;
    QVERIFY(a != b);

    // Absent and empty texts differ.
    b = a;
    b.items[1].text = std::nullopt;
    AnnotationDocument c = a;
    c.items[1].text = QString();
    QVERIFY(b != c);
    QVERIFY(qHash(b) != qHash(c));

    // Signed zeros compare equal and so must hash equal.
    b = a;
    c = a;
    b.items[0].points[0].x = 0.0;
    c.items[0].points[0].x = -0.0;
    QVERIFY(b == c);
    QCOMPARE(qHash(b), qHash(c));

    b = a;
    b.version = 3;
    QVERIFY(a != b);
    b = a;
    std::swap(b.items[0], b.items[1]);
    QVERIFY(a != b);

    QSet<AnnotationItem> set{a.items[0], a.items[0], a.items[1]};
    QCOMPARE(set.size(), 2);
}

QTEST_GUILESS_MAIN(AnnotationDocumentTest)
#include "tst_annotationdocument.moc"
