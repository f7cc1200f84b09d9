// The renderer in a process without a GUI application, as a command-line
// tool or a worker would run it: strokes and pixelation still work, a label
// is reported as a failure instead of aborting the process.

#include "model/AnnotatedCardRenderer.h"
#include "model/AnnotationRenderer.h"

#include <QBuffer>

#include <QTest>

using namespace tessaline;

class AnnotationRendererHeadlessTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void labelsNeedAGuiApplication();
};

void AnnotationRendererHeadlessTest::labelsNeedAGuiApplication()
{
    QImage source(64, 64, QImage::Format_RGB32);
    source.fill(Qt::white);

    AnnotationItem stroke;
    stroke.id = QUuid::createUuid();
    stroke.tool = AnnotationTool::freehand;
    stroke.points = {{0.1, 0.5}, {0.9, 0.5}};
    stroke.color = {0, 0, 0, 1};
    stroke.lineWidth = 4;
    const auto drawn = AnnotationRenderer::renderImage(source, {stroke});
    QVERIFY(drawn);
    QCOMPARE(qGray(drawn->pixel(32, 32)), 0);

    AnnotationItem label = stroke;
    label.tool = AnnotationTool::text;
    label.text = QStringLiteral("Hi");
    QVERIFY(!AnnotationRenderer::renderImage(source, {stroke, label}));

    // A blank label draws nothing and so needs no fonts.
    label.text = QStringLiteral("  ");
    QVERIFY(AnnotationRenderer::renderImage(source, {stroke, label}));

    // A snip with a label is never handed out without it.
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    source.save(&buffer, "PNG");
    AnnotationDocument labelled;
    label.text = QStringLiteral("Hi");
    labelled.items = {label};
    const auto card = renderAnnotatedCard(png, labelled.encode());
    QVERIFY(!card);
    QCOMPARE(card.error(), AnnotatedCardError::annotationsNotDrawable);
}

QTEST_GUILESS_MAIN(AnnotationRendererHeadlessTest)
#include "tst_annotationrendererheadless.moc"
