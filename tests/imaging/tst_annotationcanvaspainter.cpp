#include "imaging/AnnotationCanvasPainter.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QTest>

#include <cmath>

using namespace tessaline;

namespace {

const QSize canvasSize(500, 300);
// Where every label below is anchored: (0.1, 0.5) of the canvas.
const QPoint anchor(50, 150);

AnnotationItem label(const QString &text)
{
    AnnotationItem item;
    item.id = QUuid::createUuid();
    item.tool = AnnotationTool::text;
    item.points = {{0.1, 0.5}};
    item.color = {0, 0, 0, 1};
    item.lineWidth = 8;
    item.text = text;
    return item;
}

QImage paint(const AnnotationItem &item)
{
    QImage image(canvasSize, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    AnnotationCanvasPainter::drawItem(painter, item, QSizeF(canvasSize),
                                      AnnotationCanvasPainter::Colors::from(QGuiApplication::palette()));
    return image;
}

// The bounding box of dark pixels in the rows from `top` to `bottom`.
QRect inkBounds(const QImage &image, int top = 0, int bottom = -1)
{
    if (bottom < 0)
        bottom = image.height() - 1;
    QRect bounds;
    for (int y = std::max(0, top); y <= bottom; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 128)
                bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}

} // namespace

class AnnotationCanvasPainterTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyLineKeepsItsOwnDirection();
};

// A label shows on the canvas as it does in the kept picture: each line in
// its own direction against its own edge of the box, the box's top-left
// corner at the anchor.
void AnnotationCanvasPainterTest::everyLineKeepsItsOwnDirection()
{
    const QString hebrew = QStringLiteral("\u05E9\u05DC\u05D5\u05DD!");

    // A Hebrew label starts at the anchor too, not in front of it.
    const QRect hebrewInk = inkBounds(paint(label(hebrew)));
    QVERIFY(!hebrewInk.isEmpty());
    QVERIFY2(hebrewInk.left() >= anchor.x() - 2 && hebrewInk.left() <= anchor.x() + 8,
             qPrintable(QString::number(hebrewInk.left())));
    QVERIFY(hebrewInk.top() >= anchor.y() - 2);

    // A Latin line under a Hebrew one reads left to right from the anchor,
    // exactly as it does on its own: the Hebrew line does not turn it round.
    const QImage alone = paint(label(QStringLiteral("Hi!")));
    const QRect aloneInk = inkBounds(alone);
    const QImage mixed = paint(label(hebrew + QStringLiteral("\nHi!")));
    const QRect latinInk = inkBounds(mixed, hebrewInk.bottom() + 1);
    QVERIFY(!latinInk.isEmpty());
    QCOMPARE(inkBounds(mixed, 0, hebrewInk.bottom()), hebrewInk);
    QCOMPARE(latinInk.size(), aloneInk.size());
    QCOMPARE(latinInk.left(), aloneInk.left());
    QCOMPARE(mixed.copy(latinInk), alone.copy(aloneInk));

    // A Hebrew line under a longer Latin one stands against the box's right
    // edge, where the Latin line ends, not at the anchor.
    const QImage latinFirst = paint(label(QStringLiteral("Hello world\n") + hebrew));
    const QRect upper = inkBounds(latinFirst, 0, hebrewInk.bottom());
    const QRect lower = inkBounds(latinFirst, hebrewInk.bottom() + 1);
    QVERIFY(std::abs(lower.width() - hebrewInk.width()) <= 2);
    QVERIFY2(std::abs(lower.right() - upper.right()) <= 4,
             qPrintable(QStringLiteral("%1 %2").arg(lower.right()).arg(upper.right())));
    QVERIFY2(lower.left() > hebrewInk.left() + 40,
             qPrintable(QStringLiteral("%1 %2").arg(lower.left()).arg(hebrewInk.left())));
}

QTEST_MAIN(AnnotationCanvasPainterTest)
#include "tst_annotationcanvaspainter.moc"
