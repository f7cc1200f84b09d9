// The tray icon on a real X server, with a real tray (trayer) started after
// Tessaline, as a panel of a login often is.

#include "../support/ProcessEnd.h"
#include "../support/RuntimeRig.h"

#include "model/Board.h"
#include "model/ModelContext.h"
#include "runtime/UpdateService.h"
#include "shell/MenuBarView.h"

#include <QMenu>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTest>

#include <csignal>
#include <optional>

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
    void closedMenuFollowsWhatItShows();
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
    // The tray is found as it announces itself, the icon shown and docked
    // in it, with the menu behind it.
    QTRY_VERIFY_WITH_TIMEOUT(view.trayIcon() && view.trayIcon()->isVisible(), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(!view.trayIcon()->geometry().isEmpty(), 20000);
    QCOMPARE(view.trayIcon()->contextMenu(), view.menu());
    QVERIFY(!view.menu()->actions().isEmpty());
}

namespace {

QStringList entryTexts(const QMenu *menu)
{
    QStringList texts;
    for (const QAction *action : menu->actions())
        texts.append(action->text());
    return texts;
}

QMenu *notesMenu(const QMenu *menu)
{
    for (const QAction *action : menu->actions()) {
        if (action->text() == QStringLiteral("Capture into Note"))
            return action->menu();
    }
    return nullptr;
}

bool isChecked(const QMenu *menu, const QString &text)
{
    for (const QAction *action : menu->actions()) {
        if (action->text() == text)
            return action->isChecked();
    }
    return false;
}

} // namespace

// A tray that reads the menu over D-Bus shows what the menu held before it
// opened: what it shows is kept current while it is closed.
void X11TrayIconTest::closedMenuFollowsWhatItShows()
{
    Rig rig;
    rig.runtime->start();
    UpdateService updates;
    MenuBarView view(*rig.runtime, updates);
    std::optional<Tray> tray;
    if (!view.installTrayIcon()) {
        tray.emplace();
        QVERIFY(tray->started());
    }
    QTRY_VERIFY_WITH_TIMEOUT(view.menu(), 20000);
    QMenu *menu = view.menu();

    ModelContext &context = rig.context();
    auto *plans = new Board;
    plans->setTitle(QStringLiteral("Plans"));
    context.insert(plans);
    QVERIFY(context.save());
    QTRY_VERIFY(notesMenu(menu) && entryTexts(notesMenu(menu)).contains(QStringLiteral("Plans")));

    plans->setTitle(QStringLiteral("Plans for May"));
    QVERIFY(context.save());
    QTRY_VERIFY(entryTexts(notesMenu(menu)).contains(QStringLiteral("Plans for May")));
    QVERIFY(!entryTexts(notesMenu(menu)).contains(QStringLiteral("Plans")));

    plans->moveToTrash(QDateTime::currentDateTimeUtc());
    QVERIFY(context.save());
    QTRY_VERIFY(!entryTexts(notesMenu(menu)).contains(QStringLiteral("Plans for May")));

    const bool copies = rig.runtime->captureBehaviorPreferences().automaticallyCopiesCaptures;
    rig.runtime->setAutomaticallyCopiesCaptures(!copies);
    QTRY_COMPARE(isChecked(menu, QStringLiteral("Copy Captures to Clipboard")), !copies);
}

QTEST_MAIN(X11TrayIconTest)
#include "tst_x11trayicon.moc"
