// A second start of the real tessaline binary in the headless KDE session
// brings the running app's window forward, also over another app's
// full-screen window that has the focus: KWin refuses a window that asks
// for the focus then, and keeps the full-screen one above the others.
#include "../support/KWinTestScript.h"
#include "../support/WaylandTestSupport.h"
#include "AppProcess.h"

#include <QJsonArray>
#include <QTest>
#include <QWidget>

using namespace tessaline::e2e;
using namespace tessaline::waylandtest;

namespace {

// One window as KWin shows it.
struct KWinWindow
{
    qint64 pid = 0;
    QString caption;
    bool active = false;
    bool fullScreen = false;
    int stackingOrder = 0;
};

// The normal windows of two processes, as KWin stacks them.
QList<KWinWindow> windowsOf(qint64 first, qint64 second)
{
    QList<KWinWindow> windows;
    const QList<QJsonArray> reported = kwinReport(QStringLiteral(
        "const list = workspace.clientList();"
        "for (let i = 0; i < list.length; ++i) { const c = list[i];"
        " if ((c.pid == %1 || c.pid == %2) && c.normalWindow)"
        "  report([c.pid, c.caption, c.active, c.fullScreen, c.stackingOrder]); }")
                                                      .arg(first)
                                                      .arg(second));
    for (const QJsonArray &w : reported)
        windows.append({w.at(0).toInteger(), w.at(1).toString(), w.at(2).toBool(), w.at(3).toBool(), w.at(4).toInt()});
    return windows;
}

// Whether a window of `pid` has the focus and stands above every window of
// `other`.
bool inFrontOf(qint64 pid, qint64 other)
{
    const QList<KWinWindow> windows = windowsOf(pid, other);
    int top = -1;
    int topOfOther = -1;
    bool active = false;
    for (const KWinWindow &window : windows) {
        if (window.pid == pid) {
            top = std::max(top, window.stackingOrder);
            active = active || window.active;
        } else {
            topOfOther = std::max(topOfOther, window.stackingOrder);
        }
    }
    return active && top > topOfOther;
}

} // namespace

class WaylandSecondStartTest : public QObject
{
    Q_OBJECT
public:
    static void initMain() { runOffscreenWithoutSession(); }

private Q_SLOTS:
    void initTestCase()
    {
        if (const QString missing = missingSession(); !missing.isEmpty())
            TESSALINE_SKIP_WITHOUT_SESSION(qPrintable(missing));
    }

    void secondStartComesForwardOverAFullScreenWindow()
    {
        const OldHandOnWayland place;
        QVERIFY(place.prepared);
        const QProcessEnvironment environment = place.environment();
        Helper app(QStringLiteral(TESSALINE_BINARY), {}, environment);
        QVERIFY(app.isRunning());
        const qint64 self = QCoreApplication::applicationPid();
        QTRY_VERIFY_WITH_TIMEOUT(!windowsOf(app.processId(), 0).isEmpty(), patience);

        // Another app's full-screen window, with the focus.
        const QString caption = QStringLiteral("Full screen of the test");
        QWidget fullScreen;
        fullScreen.setWindowTitle(caption);
        fullScreen.showFullScreen();
        QVERIFY(QTest::qWaitForWindowExposed(&fullScreen, patience));
        const auto fullScreenInFront = [&] {
            const QList<KWinWindow> windows = windowsOf(self, 0);
            return !windows.isEmpty() && windows.constFirst().fullScreen && inFrontOf(self, app.processId());
        };
        kwinActivate(self, caption);
        QTRY_VERIFY_WITH_TIMEOUT(fullScreenInFront(), patience);

        QProcess second;
        second.setProcessEnvironment(environment);
        second.start(QStringLiteral(TESSALINE_BINARY), QStringList());
        QVERIFY(second.waitForFinished(patience));
        QCOMPARE(second.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(inFrontOf(app.processId(), self), patience);
        app.stop();
    }
};

QTEST_MAIN(WaylandSecondStartTest)
#include "tst_waylandsecondstart.moc"
