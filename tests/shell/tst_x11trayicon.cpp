// The tray icon on a real X server, with a real tray (trayer) started after
// Tessaline, as a panel of a login often is.

#include "../support/ProcessEnd.h"
#include "../support/RuntimeRig.h"

#include "runtime/UpdateService.h"
#include "shell/MenuBarView.h"

#include <QMenu>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTest>

#include <csignal>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

// A tray of its own, ended by its process id.
class Tray
{
public:
    Tray()
    {
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start(QStringLiteral("trayer"), {QStringLiteral("--edge"), QStringLiteral("bottom"),
                                                   QStringLiteral("--align"), QStringLiteral("right"),
                                                   QStringLiteral("--widthtype"), QStringLiteral("pixel"),
                                                   QStringLiteral("--width"), QStringLiteral("120")});
    }
    ~Tray() { endProcess(m_process); }
    bool started() { return m_process.waitForStarted(5000); }

private:
    QProcess m_process;
};

} // namespace

class X11TrayIconTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void iconComesWithALateTray();
};

void X11TrayIconTest::iconComesWithALateTray()
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        QSKIP("a tray already runs on this display");
    Rig rig;
    rig.runtime->start();
    UpdateService updates;
    MenuBarView view(*rig.runtime, updates);
    QVERIFY(!view.installTrayIcon());
    QVERIFY(!view.trayIcon());

    Tray tray;
    QVERIFY(tray.started());
    // The tray is found within a few checks, the icon shown and docked in
    // it, with the menu behind it.
    QTRY_VERIFY_WITH_TIMEOUT(view.trayIcon() && view.trayIcon()->isVisible(), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(!view.trayIcon()->geometry().isEmpty(), 20000);
    QCOMPARE(view.trayIcon()->contextMenu(), view.menu());
    QVERIFY(!view.menu()->actions().isEmpty());
}

QTEST_MAIN(X11TrayIconTest)
#include "tst_x11trayicon.moc"
