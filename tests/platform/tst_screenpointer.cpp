// Which display the pointer is on, for a session that tells a client where
// the pointer is only over the client's own windows (Wayland), on a desktop
// of two displays side by side.
#include "platform/QtScreenCaptureSystem.h"

#include <QFile>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

using namespace tessaline;

namespace {

QTemporaryDir &configDir()
{
    static QTemporaryDir dir;
    return dir;
}

// The display whose frame holds a point in the screen coordinates.
int displayAt(QtScreenCaptureSystem &system, const QPointF &point)
{
    for (const SystemScreen &screen : system.screens()) {
        const QRectF &frame = screen.frame;
        if (point.x() >= frame.left() && point.x() < frame.right() && point.y() >= frame.top() && point.y() < frame.bottom())
            return int(screen.displayNumber.value_or(0));
    }
    return 0;
}

} // namespace

class ScreenPointerTest : public QObject
{
    Q_OBJECT
public:
    static void initMain()
    {
        const QString path = configDir().filePath(QStringLiteral("screens.json"));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(R"({"screens": [{"name": "left", "x": 0, "y": 0, "width": 1920, "height": 1080},
                                       {"name": "right", "x": 1920, "y": 0, "width": 1920, "height": 1080}]})");
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + path.toLocal8Bit());
    }

private Q_SLOTS:
    void pointerIsOnTheDisplayOfTheWindowInUse_data()
    {
        QTest::addColumn<int>("windowOn"); // 0: no window of ours has the focus
        QTest::addColumn<QPoint>("cursor");
        QTest::addColumn<int>("expected");
        // The pointer as the session reports it, with the window on the
        // right: placed as if that window stood on the left display.
        QTest::newRow("window on the right") << 2 << QPoint(300, 200) << 2;
        QTest::newRow("window on the right, pointer known there") << 2 << QPoint(2500, 200) << 2;
        QTest::newRow("window on the left") << 1 << QPoint(300, 200) << 1;
        QTest::newRow("no window in use") << 0 << QPoint(2500, 200) << 2;
    }

    void pointerIsOnTheDisplayOfTheWindowInUse()
    {
        QFETCH(int, windowOn);
        QFETCH(QPoint, cursor);
        QFETCH(int, expected);
        QCOMPARE(QGuiApplication::screens().size(), 2);
        QWindow window;
        if (windowOn) {
            QScreen *screen = QGuiApplication::screens().at(windowOn - 1);
            window.setScreen(screen);
            window.setGeometry(QRect(screen->geometry().topLeft() + QPoint(100, 100), QSize(400, 300)));
            window.show();
            window.requestActivate();
            QTRY_COMPARE(QGuiApplication::focusWindow(), &window);
        }
        QCursor::setPos(cursor);
        QTRY_COMPARE(QCursor::pos(), cursor);
        NullCaptureSystem system;
        QCOMPARE(displayAt(system, system.pointerLocation()), expected);
    }
};

QTEST_MAIN(ScreenPointerTest)
#include "tst_screenpointer.moc"
