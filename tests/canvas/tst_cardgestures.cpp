#include "canvas/CardGestures.h"

#include <QTest>

using namespace tessaline;

Q_DECLARE_METATYPE(std::optional<CardRequest>)

namespace QTest {
template <>
char *toString(const std::optional<CardRequest> &request)
{
    if (!request)
        return qstrdup("none");
    const QString text = request->kind == CardRequest::Kind::move
        ? QStringLiteral("move to %1, %2").arg(request->origin.x()).arg(request->origin.y())
        : QStringLiteral("resize to %1 x %2").arg(request->size.width()).arg(request->size.height());
    return qstrdup(qPrintable(text));
}
} // namespace QTest

class CardGesturesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void arrowKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QRectF>("frame");
        QTest::addColumn<std::optional<CardRequest>>("request");
        const QRectF frame(100, 100, 320, 220);
        const Qt::KeyboardModifiers none;
        QTest::newRow("right moves 8") << int(Qt::Key_Right) << none << frame
                                       << std::optional(CardRequest::move({108, 100}));
        QTest::newRow("shift+up moves 24") << int(Qt::Key_Up) << Qt::KeyboardModifiers(Qt::ShiftModifier) << frame
                                           << std::optional(CardRequest::move({100, 76}));
        QTest::newRow("left stops at the edge")
            << int(Qt::Key_Left) << none << QRectF(3, 0, 320, 220) << std::optional(CardRequest::move({0, 0}));
        QTest::newRow("up at the edge still asks")
            << int(Qt::Key_Up) << none << QRectF(0, 0, 320, 220) << std::optional(CardRequest::move({0, 0}));
        QTest::newRow("ctrl does not change the step") << int(Qt::Key_Down) << Qt::KeyboardModifiers(Qt::ControlModifier)
                                                      << frame << std::optional(CardRequest::move({100, 108}));
        QTest::newRow("alt+right widens") << int(Qt::Key_Right) << Qt::KeyboardModifiers(Qt::AltModifier) << frame
                                          << std::optional(CardRequest::resize({328, 220}));
        QTest::newRow("shift+alt+right widens 24")
            << int(Qt::Key_Right) << (Qt::ShiftModifier | Qt::AltModifier) << frame
            << std::optional(CardRequest::resize({344, 220}));
        QTest::newRow("alt+down makes taller") << int(Qt::Key_Down) << Qt::KeyboardModifiers(Qt::AltModifier) << frame
                                              << std::optional(CardRequest::resize({320, 228}));
        QTest::newRow("alt+up stops at the floor")
            << int(Qt::Key_Up) << Qt::KeyboardModifiers(Qt::AltModifier) << QRectF(0, 0, 320, 120)
            << std::optional(CardRequest::resize({320, 120}));
        QTest::newRow("alt+left stops at the floor")
            << int(Qt::Key_Left) << Qt::KeyboardModifiers(Qt::AltModifier) << QRectF(0, 0, 184, 200)
            << std::optional(CardRequest::resize({180, 200}));
        QTest::newRow("other keys are not handled") << int(Qt::Key_A) << none << frame << std::optional<CardRequest>();
        QTest::newRow("nor is Tab") << int(Qt::Key_Tab) << Qt::KeyboardModifiers(Qt::AltModifier) << frame
                                    << std::optional<CardRequest>();
    }

    void arrowKeys()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QRectF, frame);
        QFETCH(std::optional<CardRequest>, request);
        QCOMPARE(CardGestures::arrowKeyRequest(key, modifiers, frame), request);
    }

    void pointerDrags_data()
    {
        QTest::addColumn<QRectF>("frame");
        QTest::addColumn<QPointF>("translation");
        QTest::addColumn<QPointF>("origin");
        QTest::addColumn<QSizeF>("size");
        QTest::newRow("past the left edge") << QRectF(10, 40, 320, 220) << QPointF(-60, 5) << QPointF(0, 45)
                                            << QSizeF(260, 225);
        QTest::newRow("past the top edge") << QRectF(10, 40, 320, 220) << QPointF(0, -90) << QPointF(10, 0)
                                           << QSizeF(320, 130);
        QTest::newRow("handle shrunk hard") << QRectF(10, 40, 320, 220) << QPointF(-300, -300) << QPointF(0, 0)
                                            << QSizeF(180, 120);
        QTest::newRow("enlarged") << QRectF(10, 40, 320, 220) << QPointF(80, 30) << QPointF(90, 70)
                                  << QSizeF(400, 250);
    }

    void pointerDrags()
    {
        QFETCH(QRectF, frame);
        QFETCH(QPointF, translation);
        QFETCH(QPointF, origin);
        QFETCH(QSizeF, size);
        QCOMPARE(CardGestures::movedOrigin(frame, translation), origin);
        QCOMPARE(CardGestures::resizedSize(frame, QSizeF(translation.x(), translation.y())), size);
    }
};

QTEST_GUILESS_MAIN(CardGesturesTest)
#include "tst_cardgestures.moc"
