// Work the start hands to the main window's first frame: none of it may run
// before the window is on screen, where it would hold the frame back, and
// none of it may be lost.
#include "../support/MainWindowRig.h"

#include "runtime/ScreenRegistry.h"
#include "runtime/UpdateService.h"
#include "shell/RootView.h"
#include "shell/ShellWindowing.h"

#include <QTest>
#include <QWindow>

using namespace tessaline;
using namespace tessaline::testing;

class ShellWindowingTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void workAfterTheFirstFrameWaitsForTheWindowOnScreen();
};

void ShellWindowingTest::workAfterTheFirstFrameWaitsForTheWindowOnScreen()
{
    MainWindowRig rig;
    UpdateService updates;
    RootView view(*rig.runtime, updates, ScreenRegistry());
    ShellWindowing windowing(*rig.runtime, view);
    rig.runtime->setWindowing(&windowing);
    view.winId();
    QWindow *window = view.windowHandle();
    QVERIFY(window);

    // Asked for before the window is shown, as the start asks.
    QList<bool> exposedAtEachRun;
    QObject asker;
    windowing.afterFirstFrame(&asker, [&] { exposedAtEachRun.append(window->isExposed()); });
    auto gone = std::make_unique<QObject>();
    bool ranForGone = false;
    windowing.afterFirstFrame(gone.get(), [&] { ranForGone = true; });
    gone.reset();
    QCoreApplication::processEvents();
    QVERIFY(exposedAtEachRun.isEmpty());

    view.show();
    QTRY_COMPARE(exposedAtEachRun, QList<bool>{true});
    // Asked for once the frame is up: nothing left to wait for.
    windowing.afterFirstFrame(&asker, [&] { exposedAtEachRun.append(window->isExposed()); });
    QTRY_COMPARE(exposedAtEachRun, (QList<bool>{true, true}));
    QVERIFY(!ranForGone);
}

QTEST_MAIN(ShellWindowingTest)
#include "tst_shellwindowing.moc"
