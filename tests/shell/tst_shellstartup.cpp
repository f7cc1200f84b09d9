#include "../support/RuntimeRig.h"

#include "shell/MenuBarView.h"
#include "shell/TessalineApp.h"
#include "runtime/UpdateService.h"

#include <QFile>
#include <QMenu>

using namespace tessaline;
using namespace tessaline::testing;

class ShellStartupTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void opensTheLocalLibrary();
    void cloudRequestFallsBackToTheLocalLibrary();
    void nowhereToKeepTheLibraryIsFatal();
    void fullDiskIsNamed_data();
    void fullDiskIsNamed();
    void libraryOpenElsewhereIsSaidPlainly();
    void folderNameNotInUtf8IsFatal_data();
    void folderNameNotInUtf8IsFatal();
    void trayMenuEntries();
    void trayMenuNotesAndToggles();
    void relaunchTakesTheHotKeysBackWhenNoInstanceStarts_data();
    void relaunchTakesTheHotKeysBackWhenNoInstanceStarts();
};

void ShellStartupTest::opensTheLocalLibrary()
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("settings.ini"));
    const auto library = TessalineApp::openLibrary(defaults, dir.filePath("data"));
    QVERIFY(library);
    QVERIFY(library->container);
    QVERIFY(!library->startupMessage);
    QVERIFY(QFile::exists(dir.filePath("data/Tessaline.sqlite")));
}

void ShellStartupTest::cloudRequestFallsBackToTheLocalLibrary()
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("settings.ini"));
    defaults.setBoolean("cloudSyncEnabled", true);
    const auto library = TessalineApp::openLibrary(defaults, dir.filePath("data"));
    QVERIFY(library);
    QCOMPARE(library->startupMessage,
             std::optional<QString>("Cloud sync could not start, so Tessaline opened the local library instead. "
                                    "Cloud sync is not available on this system."));
    QCOMPARE(defaults.optionalBoolean("cloudSyncEnabled"), std::optional(false));
}

void ShellStartupTest::nowhereToKeepTheLibraryIsFatal()
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("settings.ini"));
    QFile blocker(dir.filePath("data"));
    QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    const auto library = TessalineApp::openLibrary(defaults, dir.filePath("data"));
    QVERIFY(!library);
    QVERIFY2(library.error().startsWith("Tessaline could not create its local store: "), qPrintable(library.error()));
}

// SQLite reports a full disk at the library's opening as an I/O error; the
// message names the disk only when it really is (nearly) full.
void ShellStartupTest::fullDiskIsNamed_data()
{
    QTest::addColumn<QString>("reason");
    QTest::addColumn<qint64>("bytesFree");
    QTest::addColumn<bool>("named");
    const QString ioError = QStringLiteral("disk I/O error");
    QTest::newRow("nothing left") << ioError << qint64(0) << true;
    QTest::newRow("a few megabytes") << ioError << qint64(3 * 1024 * 1024) << true;
    QTest::newRow("gigabytes") << ioError << qint64(40) * 1024 * 1024 * 1024 << false;
    QTest::newRow("not known") << ioError << qint64(-1) << false;
    // Told as a full disk by SQLite: said once, not twice.
    QTest::newRow("said full already") << QStringLiteral("The library could not be created: the disk is full. Free "
                                                         "some space, then try again.")
                                       << qint64(0) << false;
}

void ShellStartupTest::fullDiskIsNamed()
{
    QFETCH(QString, reason);
    QFETCH(qint64, bytesFree);
    QFETCH(bool, named);
    const QString message = TessalineApp::storeFailureMessage(reason, bytesFree);
    QVERIFY(message.startsWith(QStringLiteral("Tessaline could not create its local store: ") + reason));
    QCOMPARE(message.contains(QStringLiteral("The disk that holds the library is full.")), named);
}

// The app's own opening holds the library; a second one, as another
// session's start would, gets the reason as it stands, whether or not cloud
// sync was asked for first.
void ShellStartupTest::libraryOpenElsewhereIsSaidPlainly()
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("settings.ini"));
    const auto holder = TessalineApp::openLibrary(defaults, dir.filePath("data"));
    QVERIFY(holder);
    QVERIFY(!holder->startupMessage);
    for (const bool cloud : {false, true}) {
        defaults.setBoolean("cloudSyncEnabled", cloud);
        const auto second = TessalineApp::openLibrary(defaults, dir.filePath("data"));
        QVERIFY(!second);
        QCOMPARE(second.error(), ModelContainer::libraryInUse(dir.filePath("data/Tessaline.sqlite")).message);
    }
}

void ShellStartupTest::folderNameNotInUtf8IsFatal_data()
{
    QTest::addColumn<QByteArray>("home");
    QTest::addColumn<QByteArray>("dataHome");
    QTest::addColumn<QByteArray>("configHome");
    QTest::addColumn<QString>("named");
    const QByteArray latin1Home("/home/jos\xe9");
    const QByteArray utf8Home("/home/jos\xc3\xa9");
    QTest::newRow("a home folder in UTF-8") << utf8Home << QByteArray() << QByteArray() << QString();
    QTest::newRow("a home folder in Latin-1") << latin1Home << QByteArray() << QByteArray() << "HOME";
    QTest::newRow("a home folder in Latin-1, data found elsewhere")
        << latin1Home << QByteArray("/data") << QByteArray() << "HOME";
    QTest::newRow("a home folder in Latin-1, data and settings found elsewhere")
        << latin1Home << QByteArray("/data") << QByteArray("/settings") << QString();
    QTest::newRow("a data folder cut within a character")
        << utf8Home << QByteArray("/data/\xc3") << QByteArray() << "XDG_DATA_HOME";
    QTest::newRow("a settings folder with stray bytes")
        << utf8Home << QByteArray() << QByteArray("/conf\xff\xfe") << "XDG_CONFIG_HOME";
}

// Names are read as UTF-8: a folder named in anything else reads back as
// another folder, where a new, empty library would be made and shown in
// place of the user's.
void ShellStartupTest::folderNameNotInUtf8IsFatal()
{
    QFETCH(QByteArray, home);
    QFETCH(QByteArray, dataHome);
    QFETCH(QByteArray, configHome);
    QFETCH(QString, named);
    const QHash<QByteArray, QByteArray> environment{
        {"HOME", home}, {"XDG_DATA_HOME", dataHome}, {"XDG_CONFIG_HOME", configHome}};
    const auto message =
        TessalineApp::unreadableFolderMessage([&](const char *name) { return environment.value(name); });
    QCOMPARE(message.has_value(), !named.isEmpty());
    if (message) {
        QVERIFY2(message->contains(QStringLiteral("(%1) is not UTF-8 text").arg(named)), qPrintable(*message));
        QVERIFY(message->contains(QStringLiteral("start Tessaline again")));
    }
}

namespace {

QStringList titles(const QMenu *menu)
{
    QStringList result;
    for (const QAction *action : menu->actions())
        result.append(action->isSeparator() ? QStringLiteral("—") : action->text());
    return result;
}

QAction *entry(const QMenu *menu, const QString &prefix)
{
    for (QAction *action : menu->actions()) {
        if (action->text().startsWith(prefix))
            return action;
    }
    return nullptr;
}

} // namespace

void ShellStartupTest::trayMenuEntries()
{
    Rig rig;
    rig.runtime->start();
    UpdateService updates;
    MenuBarView view(*rig.runtime, updates);
    QMenu menu;
    view.populate(&menu);
    QCOMPARE(titles(&menu), (QStringList{"Capture Region\tCtrl+Super+4", "Capture Frontmost Window",
                                         "Capture Display Under Pointer", "Open Region Captures for Annotation",
                                         "Copy Captures to Clipboard", "Quick Note\tCtrl+Super+N", "—",
                                         "Capture into Note", "Open Tessaline", "Settings && Shortcuts\u2026", "—",
                                         "Check for Updates\u2026", "—", "Quit Tessaline"}));
    QVERIFY(!entry(&menu, "Check for Updates")->isEnabled()); // the package manager updates the app

    // A switched-off hot key shows no key.
    GlobalShortcutConfiguration configuration = rig.runtime->shortcutConfiguration();
    configuration.quickThought.reset();
    QVERIFY(rig.runtime->updateShortcutConfiguration(configuration));
    view.populate(&menu);
    QVERIFY(entry(&menu, "Quick Note"));
    QCOMPARE(entry(&menu, "Quick Note")->text(), QStringLiteral("Quick Note"));

    // Only a key with a menu character is shown: not a function key.
    configuration.capture = GlobalShortcut{96, GlobalShortcutModifiers::command() | GlobalShortcutModifiers::control()};
    QVERIFY(rig.runtime->updateShortcutConfiguration(configuration));
    view.populate(&menu);
    QCOMPARE(titles(&menu).first(), QStringLiteral("Capture Region"));
    // Each opening builds the notes' submenu anew, and only one stays.
    QCOMPARE(menu.findChildren<QMenu *>(Qt::FindDirectChildrenOnly).size(), 1);

    entry(&menu, "Quick Note")->trigger();
    QVERIFY(rig.runtime->navigation().isQuickThoughtPresented());
    QSignalSpy quit(&view, &MenuBarView::quitRequested);
    entry(&menu, "Quit Tessaline")->trigger();
    QCOMPARE(quit.count(), 1);
}

void ShellStartupTest::trayMenuNotesAndToggles()
{
    Rig rig;
    rig.runtime->start();
    auto *trashed = new Board;
    trashed->setTitle(QStringLiteral("Old & gone"));
    trashed->moveToTrash(at(1));
    auto *plans = new Board;
    plans->setTitle(QStringLiteral("Plans & ideas"));
    plans->setLastOpenedAt(QDateTime::currentDateTimeUtc().addDays(1));
    auto *tabbed = new Board;
    tabbed->setTitle(QStringLiteral("Q3\tbudget"));
    rig.context().insert(trashed);
    rig.context().insert(plans);
    rig.context().insert(tabbed);
    QVERIFY(rig.context().save());

    UpdateService updates;
    MenuBarView view(*rig.runtime, updates);
    QMenu menu;
    view.populate(&menu);
    QMenu *notes = entry(&menu, "Capture into Note")->menu();
    QVERIFY(notes);
    const QStringList noteTitles = titles(notes);
    QCOMPARE(noteTitles.first(), QStringLiteral("Plans && ideas")); // most recently opened first, & shown as typed
    QVERIFY(!noteTitles.contains(QStringLiteral("Old && gone")));
    QVERIFY(noteTitles.contains(QStringLiteral("Q3 budget"))); // a tab would start the shortcut column
    QCOMPARE(noteTitles.size(), 4);
    int checked = 0;
    for (const QAction *action : notes->actions())
        checked += action->icon().isNull() ? 0 : 1;
    QCOMPARE(checked, 1); // the active note

    entry(notes, "Plans")->trigger();
    QCOMPARE(rig.runtime->navigation().activeBoardID(), std::optional(plans->id()));

    entry(&menu, "Copy Captures to Clipboard")->toggle();
    QCOMPARE(rig.runtime->captureBehaviorPreferences().automaticallyCopiesCaptures, false);
    QCOMPARE(rig.runtime->captureBehaviorPreferences().automaticallyOpensRegionCaptureReview, true);
    QCOMPARE(rig.defaults->optionalBoolean("automaticallyOpensRegionCaptureReview"), std::optional(true));
}

void ShellStartupTest::relaunchTakesTheHotKeysBackWhenNoInstanceStarts_data()
{
    QTest::addColumn<bool>("starts");
    QTest::newRow("new instance started") << true;
    QTest::newRow("no instance started") << false;
}

void ShellStartupTest::relaunchTakesTheHotKeysBackWhenNoInstanceStarts()
{
    QFETCH(bool, starts);
    Rig rig;
    rig.runtime->start();
    const QList<quint32> keys = rig.hotKeys->registeredKeyCodes();
    QCOMPARE(keys.size(), 2);

    bool releasedFirst = false;
    const auto launched = TessalineApp::launchReplacement(rig.runtime->captureCoordinator(), [&] {
        releasedFirst = rig.hotKeys->registered.isEmpty();
        return starts;
    });
    QVERIFY(releasedFirst); // the new instance can take them
    QCOMPARE(bool(launched), starts);
    QCOMPARE(rig.hotKeys->registeredKeyCodes(), starts ? QList<quint32>{} : keys);
    if (!starts) {
        // The app goes on, and its quick note key still works.
        QVERIFY(rig.hotKeys->press(rig.runtime->shortcutConfiguration().quickThought->keyCode));
        QTRY_VERIFY(rig.runtime->navigation().isQuickThoughtPresented());
    }
}

QTEST_MAIN(ShellStartupTest)
#include "tst_shellstartup.moc"
