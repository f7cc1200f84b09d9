// Starts the real tessaline binary on an empty home directory under a window
// manager, writes a new note the way a user does (New Note, a title, two
// lines, a region capture, the same snip again from the Insert Snip menu, a
// star and a new folder), quits from the keyboard and starts
// it again: the note, its writing and its reference are all still there.
#include "AppProcess.h"
#include "../capture/X11TestSupport.h"
#include "../support/X11WindowManager.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

using namespace tessaline;
using namespace tessaline::e2e;

namespace {

QString xdotoolOutput(const QStringList &arguments)
{
    return output(QStringLiteral("xdotool"), arguments);
}

bool xdotool(const QStringList &arguments)
{
    return run(QStringLiteral("xdotool"), arguments);
}

// The visible main window's id, or nothing while it is not mapped.
QString mainWindow()
{
    return xdotoolOutput({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                   QStringLiteral("^Tessaline$")})
        .split(u'\n')
        .constFirst();
}

// The windows of the process that are on screen, tooltips left out: one
// shown for the control just clicked, on a busy machine before the menu
// the click opens, would be taken for that menu.
QStringList visibleWindows(qint64 pid)
{
    QStringList windows = xdotoolOutput({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                         QStringLiteral("--pid"), QString::number(pid)})
                              .split(u'\n', Qt::SkipEmptyParts);
    if (const auto x11 = X11Connection::application()) {
        const xcb_atom_t tooltip = x11->atom("_NET_WM_WINDOW_TYPE_TOOLTIP");
        windows.removeIf([&](const QString &window) {
            return x11->atomListProperty(xcb_window_t(window.toULong()), "_NET_WM_WINDOW_TYPE").contains(tooltip);
        });
    }
    return windows;
}

// Whether a pop-up of the process (a menu, a picker) is on screen and can
// be typed into: another window of the app mapping first, or the keyboard
// not yet back with the app after a window of it closed, would have the
// keys meant for the pop-up typed into nowhere. Ours place themselves, past
// the window manager, and tooltips are left out already.
bool popupTakesKeys(qint64 pid)
{
    const auto x11 = X11Connection::application();
    if (!x11)
        return false;
    const QStringList windows = visibleWindows(pid);
    const bool shown = std::any_of(windows.cbegin(), windows.cend(), [&](const QString &window) {
        xcb_get_window_attributes_reply_t *attributes = xcb_get_window_attributes_reply(
            x11->connection, xcb_get_window_attributes(x11->connection, xcb_window_t(window.toULong())), nullptr);
        const bool placesItself = attributes && attributes->override_redirect;
        std::free(attributes);
        return placesItself;
    });
    xcb_get_input_focus_reply_t *focus = xcb_get_input_focus_reply(x11->connection, xcb_get_input_focus(x11->connection), nullptr);
    const bool keyboardHere = focus && windows.contains(QString::number(focus->focus));
    std::free(focus);
    return shown && keyboardHere;
}

// Clicks a point of the window, counted from its client area's corner.
bool click(const QString &window, const QPoint &at)
{
    return xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(at.x()),
                    QString::number(at.y()), QStringLiteral("click"), QStringLiteral("1")});
}

bool keys(const QStringList &names)
{
    return xdotool(QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("40")} + names);
}

bool type(const QString &text)
{
    return xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), text});
}

} // namespace

class NotesToEndTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void newNoteIsWrittenAndKeptAcrossARelaunch();
};

void NotesToEndTest::newNoteIsWrittenAndKeptAcrossARelaunch()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QString store = home.filePath(QStringLiteral(".local/share/Tessaline/Tessaline.sqlite"));
    const QString settings = home.filePath(QStringLiteral(".config/Tessaline/Tessaline.conf"));
    auto settingsText = [&] {
        QFile file(settings);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    const std::optional<X11Connection> x11 = X11Connection::application();
    QVERIFY(x11);
    tessaline::testing::X11WindowManager windowManager;
    QVERIFY(windowManager.start(*x11));
    // A runtime folder of its own, so a Tessaline the developer runs is
    // never the instance this one hands over to.
    QTemporaryDir runtime;
    QVERIFY(QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    environment.remove(QStringLiteral("XDG_DATA_HOME"));
    environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));

    auto app = std::make_unique<Helper>(QStringLiteral(TESSALINE_BINARY), QStringList{}, environment);
    QVERIFY(app->isRunning());
    // A first launch seeds the welcome note and Quick Captures.
    QTRY_COMPARE_WITH_TIMEOUT(queryValue(store, QStringLiteral("SELECT COUNT(*) FROM Board")).toInt(), 2, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(!mainWindow().isEmpty(), 20000);
    // The notes screen opens the welcome note: the first listed one.
    const QString welcome = queryValue(store, QStringLiteral("SELECT id FROM Board WHERE isInbox = 0")).toString();
    QTRY_VERIFY_WITH_TIMEOUT(settingsText().contains(QStringLiteral("activeBoardID=") + welcome), 10000);
    // Skip the setup sheet of a first launch, as a user can.
    QTRY_VERIFY_WITH_TIMEOUT(keys({QStringLiteral("Escape")})
                                 && settingsText().contains(QStringLiteral("onboardingPreferences")),
                             10000);
    saveScreenshot(QStringLiteral("notes-welcome.png"));

    const QString window = mainWindow();
    // The note list's New Note button sits at the right end of its header.
    QVERIFY(click(window, QPoint(226, 83)));
    QTRY_COMPARE_WITH_TIMEOUT(queryValue(store, QStringLiteral("SELECT COUNT(*) FROM Board")).toInt(), 3, 10000);
    const QString note = queryValue(store, QStringLiteral("SELECT id FROM Board WHERE title = 'Untitled Note'")).toString();
    QVERIFY(!note.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(settingsText().contains(QStringLiteral("activeBoardID=") + note), 10000);

    // Typing goes straight into the new note's first paragraph.
    QVERIFY(type(QStringLiteral("Pack the tent")));
    QVERIFY(keys({QStringLiteral("Return")}));
    QVERIFY(type(QStringLiteral("Book the train")));
    QTRY_VERIFY_WITH_TIMEOUT(queryValue(store, QStringLiteral("SELECT writingDocumentStorage FROM Board WHERE id = '%1'")
                                                   .arg(note))
                                 .toString()
                                 .contains(QStringLiteral("Pack the tent\\nBook the train")),
                             10000);

    // The title field, then Return to keep it.
    QVERIFY(click(window, QPoint(420, 91)));
    QVERIFY(keys({QStringLiteral("ctrl+a")}));
    QVERIFY(type(QStringLiteral("Weekend trip")));
    QVERIFY(keys({QStringLiteral("Return")}));
    QTRY_COMPARE_WITH_TIMEOUT(
        queryValue(store, QStringLiteral("SELECT title FROM Board WHERE id = '%1'").arg(note)).toString(),
        QStringLiteral("Weekend trip"), 10000);

    // A region capture lands in the open note, then its review is kept.
    // Only the overlay itself tells that the drag will reach it: another
    // window of the app (a tooltip, say) may map first.
    QVERIFY(keys({QStringLiteral("ctrl+super+4")}));
    QTRY_VERIFY_WITH_TIMEOUT(x11test::overlayShown(*x11), 10000);
    QVERIFY(xdotoolDrag(QPoint(300, 300), QPoint(700, 600)));
    QTRY_COMPARE_WITH_TIMEOUT(queryValue(store, QStringLiteral("SELECT COUNT(*) FROM CanvasCard")).toInt(), 1, 20000);
    // A read that meets the app's own write comes back empty; it is read
    // again rather than taken for the answer.
    QString snip;
    QTRY_VERIFY_WITH_TIMEOUT(!(snip = queryValue(store, QStringLiteral("SELECT id FROM CanvasCard")).toString()).isEmpty(),
                             10000);
    QTRY_COMPARE_WITH_TIMEOUT(queryValue(store, QStringLiteral("SELECT boardID FROM CanvasCard")).toString(), note, 10000);
    // The review is the app's one window besides the main one; its title
    // turns into the snip's first line of text once that is recognised.
    const auto reviewShown = [&] {
        QStringList windows = visibleWindows(app->processId());
        windows.removeAll(window);
        return windows.size() == 1;
    };
    QTRY_VERIFY_WITH_TIMEOUT(reviewShown(), 10000);
    QVERIFY(keys({QStringLiteral("Return")}));
    QTRY_VERIFY_WITH_TIMEOUT(!reviewShown(), 10000);

    // The same snip again, from the Insert Snip menu: its first entry.
    auto references = [&] {
        return queryValue(store, QStringLiteral("SELECT writingDocumentStorage FROM Board WHERE id = '%1'").arg(note))
            .toString()
            .count(snip);
    };
    QTRY_COMPARE_WITH_TIMEOUT(references(), 1, 10000);
    QVERIFY(click(window, QPoint(1031, 92)));
    QTRY_VERIFY_WITH_TIMEOUT(popupTakesKeys(app->processId()), 10000);
    QVERIFY(keys({QStringLiteral("Down"), QStringLiteral("Return")}));
    QTRY_COMPARE_WITH_TIMEOUT(references(), 2, 10000);

    // The star in the header, then a new folder from the row's menu.
    auto noteValue = [&](const char *field) {
        return queryValue(store, QStringLiteral("SELECT %1 FROM Board WHERE id = '%2'").arg(QLatin1String(field), note));
    };
    QVERIFY(click(window, QPoint(1102, 92)));
    QTRY_COMPARE_WITH_TIMEOUT(noteValue("isFavorite").toInt(), 1, 10000);
    QVERIFY(xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QStringLiteral("125"),
                     QStringLiteral("150"), QStringLiteral("click"), QStringLiteral("3")}));
    QTRY_VERIFY_WITH_TIMEOUT(popupTakesKeys(app->processId()), 10000);
    // Down to "Move to Folder", into it, down past "No Folder" to "New Folder…".
    QVERIFY(keys({QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Right"), QStringLiteral("Down"),
                  QStringLiteral("Return")}));
    QTRY_VERIFY_WITH_TIMEOUT(!xdotoolOutput({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                                      QStringLiteral("New Folder")})
                                  .isEmpty(),
                             10000);
    QVERIFY(type(QStringLiteral("Travel")));
    QVERIFY(keys({QStringLiteral("Return")}));
    QTRY_COMPARE_WITH_TIMEOUT(noteValue("folderName").toString(), QStringLiteral("Travel"), 10000);
    saveScreenshot(QStringLiteral("notes-written.png"));

    // Quit from the keyboard, then start again.
    QVERIFY(keys({QStringLiteral("ctrl+q")}));
    QVERIFY(app->waitForExit(10000));
    app = std::make_unique<Helper>(QStringLiteral(TESSALINE_BINARY), QStringList{}, environment);
    QTRY_VERIFY_WITH_TIMEOUT(!mainWindow().isEmpty(), 20000);
    saveScreenshot(QStringLiteral("notes-relaunched.png"));
    QCOMPARE(queryValue(store, QStringLiteral("SELECT COUNT(*) FROM Board")).toInt(), 3);
    QCOMPARE(queryValue(store, QStringLiteral("SELECT title FROM Board WHERE id = '%1'").arg(note)).toString(),
             QStringLiteral("Weekend trip"));
    QVERIFY(queryValue(store, QStringLiteral("SELECT writingDocumentStorage FROM Board WHERE id = '%1'").arg(note))
                .toString()
                .contains(QStringLiteral("Pack the tent\\nBook the train")));
    QCOMPARE(references(), 2);
    QCOMPARE(noteValue("isFavorite").toInt(), 1);
    QCOMPARE(noteValue("folderName").toString(), QStringLiteral("Travel"));
    QVERIFY(settingsText().contains(QStringLiteral("activeBoardID=") + note));
    app->stop();
}

QTEST_MAIN(NotesToEndTest)
#include "tst_notestoend.moc"
