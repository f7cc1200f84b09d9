#include "design/ContentFadeEffect.h"

#include <QPainter>
#include <QTest>
#include <QVBoxLayout>

using namespace tessaline;

namespace {

// Content that counts how often it is painted.
class Counted : public QWidget
{
public:
    using QWidget::QWidget;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent *) override
    {
        ++paints;
        QPainter(this).fillRect(rect(), Qt::darkCyan);
    }
};

} // namespace

class ContentFadeTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The content is painted once for the fade's steps, not once a step;
    // moved or resized meanwhile, or at full opacity, it is painted anew.
    void stepsShowOnePicture()
    {
        QWidget window;
        window.resize(400, 300);
        auto *layout = new QVBoxLayout(&window);
        auto *content = new Counted;
        layout->addWidget(content);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *effect = new ContentFadeEffect;
        effect->setOpacity(0);
        content->setGraphicsEffect(effect);
        content->paints = 0;

        window.repaint();
        QCOMPARE(content->paints, 0);
        for (const qreal step : {0.25, 0.5, 0.75, 0.9}) {
            effect->setOpacity(step);
            window.repaint();
        }
        QCOMPARE(content->paints, 1);
        QVERIFY(effect->drewKeptPicture());

        layout->setContentsMargins(30, 30, 30, 30);
        layout->activate();
        window.repaint();
        QCOMPARE(content->paints, 2);
        QVERIFY(!effect->drewKeptPicture());

        effect->setOpacity(1);
        content->repaint();
        content->repaint();
        QCOMPARE(content->paints, 4);
    }

    void fadeInEndsWithoutTheEffect()
    {
        QWidget content;
        content.resize(200, 100);
        content.show();
        QVERIFY(QTest::qWaitForWindowExposed(&content));
        ContentFadeEffect *effect = ContentFadeEffect::fadeIn(&content);
        QCOMPARE(content.graphicsEffect(), effect);
        QCOMPARE(effect->opacity(), 0.0);
        QTRY_VERIFY(!content.graphicsEffect());
    }
};

QTEST_MAIN(ContentFadeTest)
#include "tst_contentfadeeffect.moc"
