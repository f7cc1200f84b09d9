#include "model/AnnotatedCardRenderer.h"
#include "model/CanvasCard.h"

#include <QBuffer>
#include <QTest>

using namespace tessaline;

namespace {

QByteArray whitePng()
{
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray item(const QByteArray &tool, const QByteArray &id)
{
    return R"({"id":")" + id + R"(","tool":")" + tool
        + R"(","points":[{"x":0,"y":0},{"x":1,"y":1}],"color":{"red":0,"green":0,"blue":0,"alpha":1},"lineWidth":40})";
}

QByteArray document(const QList<QByteArray> &items)
{
    return R"({"version":2,"items":[)" + items.join(',') + "]}";
}

} // namespace

class AnnotatedCardRendererTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rendersOrRefuses_data();
    void rendersOrRefuses();
};

void AnnotatedCardRendererTest::rendersOrRefuses_data()
{
    QTest::addColumn<std::optional<QByteArray>>("picture");
    QTest::addColumn<std::optional<QByteArray>>("annotations");
    // -1 for a picture; the error otherwise.
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("drawnOver");

    const std::optional<QByteArray> png = whitePng();
    const QByteArray rectangle = item("rectangle", "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D");
    const QByteArray unknown = item("blur", "FEDCBA98-7654-4321-8FED-CBA987654321");
    const int unreadable = int(AnnotatedCardError::annotationsUnreadable);
    const int noPicture = int(AnnotatedCardError::pictureUnreadable);

    QTest::newRow("no annotation data") << png << std::optional<QByteArray>() << -1 << false;
    QTest::newRow("zero annotation bytes") << png << std::optional<QByteArray>(QByteArray()) << -1 << false;
    QTest::newRow("no items") << png << std::optional<QByteArray>(document({})) << -1 << false;
    QTest::newRow("a rectangle") << png << std::optional<QByteArray>(document({rectangle})) << -1 << true;
    QTest::newRow("malformed annotations") << png << std::optional<QByteArray>("{\"version\":2,") << unreadable << false;
    QTest::newRow("an unknown tool beside a known one")
        << png << std::optional<QByteArray>(document({rectangle, unknown})) << unreadable << false;
    QTest::newRow("unreadable picture") << std::optional<QByteArray>("not a png") << std::optional<QByteArray>()
                                        << noPicture << false;
    QTest::newRow("no picture") << std::optional<QByteArray>() << std::optional<QByteArray>(document({rectangle}))
                                << noPicture << false;
    QTest::newRow("no picture, unreadable annotations")
        << std::optional<QByteArray>() << std::optional<QByteArray>(document({unknown})) << unreadable << false;
}

void AnnotatedCardRendererTest::rendersOrRefuses()
{
    QFETCH(std::optional<QByteArray>, picture);
    QFETCH(std::optional<QByteArray>, annotations);
    QFETCH(int, error);
    QFETCH(bool, drawnOver);

    CanvasCard::Init init;
    init.kind = CardKind::snip;
    init.originalImageData = picture;
    init.annotationDocumentData = annotations;
    const CanvasCard card(init);
    const auto rendered = renderAnnotatedCard(card);
    if (error >= 0) {
        QVERIFY(!rendered);
        QCOMPARE(int(rendered.error()), error);
        QVERIFY(!message(rendered.error()).isEmpty());
        return;
    }
    QVERIFY(rendered);
    QCOMPARE(rendered->size(), QSize(40, 20));
    // The rectangle's 40-pixel stroke covers the whole picture's border.
    QCOMPARE(rendered->pixelColor(0, 0) != QColor(Qt::white), drawnOver);
}

QTEST_MAIN(AnnotatedCardRendererTest)
#include "tst_annotatedcardrenderer.moc"
