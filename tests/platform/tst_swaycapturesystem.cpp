// sway's tree as the capture side reads it: which window has the focus,
// the windows front to back, what of each can be captured and where, and
// which application each belongs to.
#include "platform/SwayCaptureSystem.h"
#include "platform/SwayIpc.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace tessaline;

namespace {

QJsonObject rect(const QRect &r)
{
    return {{"x", r.x()}, {"y", r.y()}, {"width", r.width()}, {"height", r.height()}};
}

QJsonArray ids(const QList<qint64> &list)
{
    QJsonArray array;
    for (const qint64 id : list)
        array.append(id);
    return array;
}

// A window as sway describes it: a native Wayland one unless `extra` says
// otherwise. Its content lies 2 points in and, tiled or floating, below a
// title bar 24 high, as sway's default decorations put it.
QJsonObject view(qint64 id, const QRect &frame, bool visible, QJsonObject extra = {})
{
    QJsonObject node{{"id", id},
                     {"type", "con"},
                     {"name", QStringLiteral("Window %1").arg(id)},
                     {"app_id", "org.example.Editor"},
                     {"shell", "xdg_shell"},
                     {"pid", 4000 + id},
                     {"focused", false},
                     {"visible", visible},
                     {"fullscreen_mode", 0},
                     {"sticky", false},
                     {"rect", rect(frame)},
                     {"window_rect", rect(QRect(2, 24, frame.width() - 4, frame.height() - 26))},
                     // The size it first asked for, not the one it has.
                     {"geometry", rect(QRect(0, 0, 640, 480))},
                     {"nodes", QJsonArray()},
                     {"floating_nodes", QJsonArray()},
                     {"focus", QJsonArray()}};
    for (auto it = extra.begin(); it != extra.end(); ++it)
        node.insert(it.key(), it.value());
    return node;
}

QJsonObject focused(QJsonObject node)
{
    node.insert("focused", true);
    return node;
}

QJsonObject container(qint64 id, const QJsonArray &nodes, const QList<qint64> &focus)
{
    return {{"id", id}, {"type", "con"}, {"layout", "splitv"}, {"nodes", nodes}, {"floating_nodes", QJsonArray()},
            {"focus", ids(focus)}, {"fullscreen_mode", 0}};
}

QJsonObject workspace(qint64 id, const QString &name, const QJsonArray &tiled, const QJsonArray &floating,
                      const QList<qint64> &focus)
{
    // sway marks every workspace full screen in its answer.
    return {{"id", id}, {"type", "workspace"}, {"name", name}, {"nodes", tiled}, {"floating_nodes", floating},
            {"focus", ids(focus)}, {"fullscreen_mode", 1}};
}

QJsonObject output(qint64 id, const QString &name, const QRect &frame, const QJsonArray &workspaces,
                   const QString &current, double scale = 1)
{
    return {{"id", id}, {"type", "output"}, {"name", name}, {"active", true}, {"scale", scale},
            {"rect", rect(frame)}, {"current_workspace", current}, {"nodes", workspaces},
            {"floating_nodes", QJsonArray()}, {"focus", QJsonArray()}};
}

// The whole answer: sway's scratchpad output first, as it sends it, with a
// window of its own that shows nowhere.
QJsonDocument answerWith(const QJsonArray &outputs)
{
    QJsonArray all{output(2147483647, "__i3", QRect(0, 0, 1920, 1080),
                          {workspace(2147483646, "__i3_scratch", {}, {view(99, QRect(0, 0, 300, 200), false)}, {99})},
                          "__i3_scratch")};
    for (const QJsonValue each : outputs)
        all.append(each);
    return QJsonDocument(QJsonObject{{"id", 1}, {"type", "root"}, {"name", "root"}, {"rect", rect(QRect(0, 0, 3840, 1080))},
                                     {"nodes", all}, {"floating_nodes", QJsonArray()}, {"focus", QJsonArray()}});
}

QJsonDocument oneOutput(const QJsonArray &tiled, const QJsonArray &floating, const QList<qint64> &focus)
{
    return answerWith({output(3, "HEADLESS-1", QRect(0, 0, 1920, 1080), {workspace(4, "1", tiled, floating, focus)}, "1")});
}

} // namespace

class SwayCaptureSystemTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void windowsFrontToBack_data()
    {
        QTest::addColumn<QJsonDocument>("answer");
        QTest::addColumn<QList<qint64>>("order");
        QTest::addColumn<qint64>("focused");
        QTest::addColumn<QList<qint64>>("onScreen");
        QTest::addColumn<qint64>("framed");
        // Where that window's picture is cut from, in layout coordinates;
        // empty for a window not shown.
        QTest::addColumn<QRect>("frame");

        QTest::newRow("tiled side by side: the one focused last in front")
            << oneOutput({view(10, QRect(0, 0, 960, 1080), true), focused(view(11, QRect(960, 0, 960, 1080), true))}, {},
                         {11, 10})
            << QList<qint64>{11, 10} << qint64(11) << QList<qint64>{11, 10} << qint64(11)
            << QRect(962, 24, 956, 1054);
        QTest::newRow("floating above tiled, the last drawn on top")
            << oneOutput({view(10, QRect(0, 0, 1920, 1080), true)},
                         {focused(view(20, QRect(100, 100, 400, 300), true)),
                          view(21, QRect(300, 200, 400, 300), true, {{"sticky", true}})},
                         {20, 10, 21})
            << QList<qint64>{21, 20, 10} << qint64(20) << QList<qint64>{21, 20, 10} << qint64(20)
            << QRect(102, 124, 396, 274);
        QTest::newRow("an X client's window")
            << oneOutput({focused(view(30, QRect(0, 0, 1920, 1080), true,
                                       {{"shell", "xwayland"},
                                        {"app_id", QJsonValue::Null},
                                        {"window_properties", QJsonObject{{"class", "XTerm"}, {"instance", "xterm"}}}}))},
                         {}, {30})
            << QList<qint64>{30} << qint64(30) << QList<qint64>{30} << qint64(30) << QRect(2, 24, 1916, 1054);
        QTest::newRow("focused inside a nested container")
            << oneOutput({container(40, {view(41, QRect(0, 0, 960, 540), true), focused(view(42, QRect(0, 540, 960, 540), true))},
                                    {42, 41}),
                          view(43, QRect(960, 0, 960, 1080), true)},
                         {}, {40, 43})
            << QList<qint64>{42, 41, 43} << qint64(42) << QList<qint64>{42, 41, 43} << qint64(42)
            << QRect(2, 564, 956, 514);
        QTest::newRow("a workspace not shown")
            << answerWith({output(3, "HEADLESS-1", QRect(0, 0, 1920, 1080),
                            {workspace(4, "1", {focused(view(50, QRect(0, 0, 1920, 1080), true))}, {}, {50}),
                             workspace(5, "2", {view(51, QRect(0, 0, 1920, 1080), false)},
                                       {view(52, QRect(10, 10, 200, 100), false)}, {51, 52})},
                            "1")})
            << QList<qint64>{50, 52, 51} << qint64(50) << QList<qint64>{50} << qint64(51) << QRect();
        QTest::newRow("full screen over the floating windows of its workspace")
            << oneOutput({view(60, QRect(0, 0, 960, 1080), false),
                          focused(view(61, QRect(0, 0, 1920, 1080), true,
                                       {{"fullscreen_mode", 1},
                                        {"window_rect", rect(QRect(0, 0, 1920, 1080))}}))},
                         {view(62, QRect(100, 100, 400, 300), false)}, {61, 62, 60})
            << QList<qint64>{61, 62, 60} << qint64(61) << QList<qint64>{61} << qint64(61) << QRect(0, 0, 1920, 1080);
        QTest::newRow("floating over the edge of two outputs: cut to the one showing most of it")
            << answerWith({output(3, "HEADLESS-1", QRect(0, 0, 1920, 1080),
                            {workspace(4, "1", {view(80, QRect(0, 0, 1920, 1080), true)},
                                       {focused(view(81, QRect(1720, 100, 604, 326), true))}, {81, 80})},
                            "1"),
                     output(5, "HEADLESS-2", QRect(1920, 0, 1920, 1080),
                            {workspace(6, "2", {view(82, QRect(1920, 0, 1920, 1080), true)}, {}, {82})}, "2", 2)})
            << QList<qint64>{81, 80, 82} << qint64(81) << QList<qint64>{81, 80, 82} << qint64(81)
            << QRect(1920, 124, 402, 300);
        QTest::newRow("nothing focused but an empty workspace")
            << oneOutput({}, {}, {}) << QList<qint64>{} << qint64(0) << QList<qint64>{} << qint64(0) << QRect();
    }

    void windowsFrontToBack()
    {
        QFETCH(QJsonDocument, answer);
        QFETCH(QList<qint64>, order);
        QFETCH(qint64, focused);
        QFETCH(QList<qint64>, onScreen);
        QFETCH(qint64, framed);
        QFETCH(QRect, frame);

        const SwayIpc::Tree tree = SwayIpc::treeIn(answer);
        const SwayIpc::Window *focus = tree.focusedWindow();
        QCOMPARE(focus ? focus->id : 0, focused);
        // The primary display's corner is the capture system's origin.
        const CoordinateSpaces spaces(QRectF(0, 0, 1920, 1080));
        const QList<SystemWindow> windows = SwayCaptureSystem::windowsOf(tree, spaces);
        QList<qint64> seen;
        QList<qint64> shown;
        for (const SystemWindow &window : windows) {
            seen.append(window.windowID);
            if (window.isOnScreen)
                shown.append(window.windowID);
            QCOMPARE(window.owningProcessID, std::optional<qint64>(4000 + window.windowID));
            QCOMPARE(window.title, std::optional(QStringLiteral("Window %1").arg(window.windowID)));
            // One stuck to every workspace counts as kept above the others.
            QCOMPARE(window.windowLayer, window.windowID == 21 ? 3 : 0);
        }
        QCOMPARE(seen, order);
        QCOMPARE(shown, onScreen);
        if (!framed)
            return;
        const SwayIpc::Window *window = tree.window(framed);
        QVERIFY(window);
        QCOMPARE(SwayCaptureSystem::shownPart(tree, *window), frame);
        if (!frame.isEmpty()) {
            const auto listed = std::find_if(windows.begin(), windows.end(),
                                             [&](const SystemWindow &w) { return w.windowID == framed; });
            QCOMPARE(listed->frame, QRectF(frame));
        }
        QCOMPARE(tree.desktop(), tree.outputs.size() == 2 ? QRect(0, 0, 3840, 1080) : QRect(0, 0, 1920, 1080));
    }

    // sway's scratchpad shows nothing, and an output that is off shows
    // nothing either.
    void theOutputsShown()
    {
        QJsonObject off = output(5, "HEADLESS-2", QRect(1920, 0, 1920, 1080), {}, "2");
        off.insert("active", false);
        const SwayIpc::Tree tree = SwayIpc::treeIn(
            answerWith({output(3, "HEADLESS-1", QRect(0, 0, 1920, 1080), {}, "1", 1.5), off}));
        QCOMPARE(tree.outputs.size(), 1);
        QCOMPARE(tree.outputs.first().name, QStringLiteral("HEADLESS-1"));
        QCOMPARE(tree.outputs.first().scale, 1.5);
        QCOMPARE(tree.outputShowing(QRect(1900, 0, 100, 100)), &tree.outputs.first());
        QCOMPARE(tree.outputShowing(QRect(2000, 0, 100, 100)), nullptr);
    }

    void applicationOfAWindow_data()
    {
        QTest::addColumn<QString>("appID");
        QTest::addColumn<QString>("windowClass");
        QTest::addColumn<QString>("instance");
        QTest::addColumn<std::optional<QString>>("name");
        QTest::addColumn<std::optional<QString>>("identifier");

        QTest::newRow("app_id names the desktop file")
            << QStringLiteral("org.example.Editor") << QString() << QString()
            << std::optional(QStringLiteral("Example Editor")) << std::optional(QStringLiteral("org.example.Editor"));
        QTest::newRow("app_id matches a desktop file's window class")
            << QStringLiteral("example-viewer") << QString() << QString()
            << std::optional(QStringLiteral("Example Viewer")) << std::optional(QStringLiteral("org.example.Viewer"));
        QTest::newRow("an X client by its WM_CLASS")
            << QString() << QStringLiteral("ExampleTerm") << QStringLiteral("exampleterm")
            << std::optional(QStringLiteral("Example Terminal")) << std::optional(QStringLiteral("org.example.Terminal"));
        QTest::newRow("app_id of no desktop file")
            << QStringLiteral("org.example.Unknown") << QString() << QString()
            << std::optional(QStringLiteral("Unknown")) << std::optional(QStringLiteral("org.example.Unknown"));
        QTest::newRow("app_id of no desktop file, not a domain")
            << QStringLiteral("sketch-2.10") << QString() << QString()
            << std::optional(QStringLiteral("sketch-2.10")) << std::optional(QStringLiteral("sketch-2.10"));
        QTest::newRow("no app_id nor class: the process's name")
            << QString() << QString() << QString()
            // The kernel keeps the first 15 bytes of a program's name.
            << std::optional(QFileInfo(QCoreApplication::applicationFilePath()).fileName().left(15))
            << std::optional<QString>();
    }

    void applicationOfAWindow()
    {
        QFETCH(QString, appID);
        QFETCH(QString, windowClass);
        QFETCH(QString, instance);
        QFETCH(std::optional<QString>, name);
        QFETCH(std::optional<QString>, identifier);

        QTemporaryDir data;
        QVERIFY(data.isValid());
        const QString applications = data.filePath(QStringLiteral("applications"));
        QVERIFY(QDir().mkpath(applications));
        const auto write = [&](const QString &file, const QByteArray &text) {
            QFile desktop(applications + u'/' + file);
            return desktop.open(QIODevice::WriteOnly) && desktop.write(text) == text.size();
        };
        QVERIFY(write(QStringLiteral("org.example.Editor.desktop"), "[Desktop Entry]\nType=Application\nName=Example Editor\n"));
        QVERIFY(write(QStringLiteral("org.example.Viewer.desktop"),
                      "[Desktop Entry]\nType=Application\nName=Example Viewer\nStartupWMClass=example-viewer\n"));
        QVERIFY(write(QStringLiteral("org.example.Terminal.desktop"),
                      "[Desktop Entry]\nType=Application\nName=Example Terminal\nStartupWMClass=ExampleTerm\n"));
        qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
        qputenv("XDG_DATA_DIRS", data.filePath(QStringLiteral("none")).toLocal8Bit());

        SwayIpc::Window window;
        window.processID = QCoreApplication::applicationPid();
        window.appID = appID;
        window.windowClass = windowClass;
        window.instance = instance;
        const SystemApplication application = SwayCaptureSystem::applicationOf(window);
        QCOMPARE(application.localizedName, name);
        QCOMPARE(application.bundleIdentifier, identifier);
        QCOMPARE(application.processIdentifier, QCoreApplication::applicationPid());
    }
};

QTEST_GUILESS_MAIN(SwayCaptureSystemTest)
#include "tst_swaycapturesystem.moc"
