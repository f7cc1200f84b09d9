// KWin's windows as the capture side reads them from our script's answer:
// their order, which are shown, where each draws, and which one the user
// works in, this app's own windows left aside.
#include "platform/KWinWindows.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTest>

#include <limits>

using namespace tessaline;

namespace {

constexpr qint64 ourProcess = 99;

// A window as the script reports it: an app's own (process 10 + its
// stacking place) unless `extra` says otherwise, shown, not active.
QJsonObject window(const QString &title, int stacking, QJsonObject extra = {})
{
    QJsonObject entry{{"id", QStringLiteral("{%1}").arg(title)},
                      {"pid", 10 + stacking},
                      {"title", title},
                      {"appID", "org.example.Editor"},
                      {"windowClass", "org.example.Editor"},
                      {"instance", ""},
                      {"x", 100},
                      {"y", 50},
                      {"width", 400},
                      {"height", 300},
                      {"active", false},
                      {"shown", true},
                      {"keepAbove", false},
                      {"stacking", stacking}};
    for (auto it = extra.begin(); it != extra.end(); ++it)
        entry.insert(it.key(), it.value());
    return entry;
}

QJsonDocument answer(const QJsonArray &windows)
{
    return QJsonDocument(windows);
}

} // namespace

class KWinWindowsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void windowsAndTheOneInFront_data()
    {
        QTest::addColumn<QJsonDocument>("answer");
        QTest::addColumn<QStringList>("order");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QString>("focused");

        const QJsonObject active{{"active", true}};
        const QJsonObject ours{{"pid", ourProcess}};
        const QJsonObject oursActive{{"pid", ourProcess}, {"active", true}};
        const QJsonObject hidden{{"shown", false}};

        QTest::newRow("another app's window active: in front, whatever its place")
            << answer({window("Lower", 1, active), window("Upper", 2)}) << QStringList{"Upper", "Lower"}
            << QStringList{"Upper", "Lower"} << QStringLiteral("Lower");
        QTest::newRow("ours active (asked from our window): the topmost window of another app")
            << answer({window("Below", 1), window("Above", 2), window("Ours", 3, oursActive)})
            << QStringList{"Ours", "Above", "Below"} << QStringList{"Ours", "Above", "Below"}
            << QStringLiteral("Above");
        QTest::newRow("ours active, another of ours below it: still another app's")
            << answer({window("Other", 1), window("Our pin", 2, ours), window("Ours", 3, oursActive)})
            << QStringList{"Ours", "Our pin", "Other"} << QStringList{"Ours", "Our pin", "Other"}
            << QStringLiteral("Other");
        QTest::newRow("ours active, the window above minimised or elsewhere: the next shown one")
            << answer({window("Shown", 1), window("Minimised", 2, hidden), window("Ours", 3, oursActive)})
            << QStringList{"Ours", "Shown", "Minimised"} << QStringList{"Ours", "Shown"} << QStringLiteral("Shown");
        QTest::newRow("ours active and no other app shown: none in front")
            << answer({window("Minimised", 1, hidden), window("Ours", 2, oursActive)})
            << QStringList{"Ours", "Minimised"} << QStringList{"Ours"} << QString();
        QTest::newRow("no app's window active (a panel or the desktop has the focus): the topmost shown one")
            << answer({window("Lower", 1), window("Upper", 2, hidden), window("Ours", 3, ours)})
            << QStringList{"Ours", "Lower", "Upper"} << QStringList{"Ours", "Lower"} << QStringLiteral("Lower");
        QTest::newRow("a window of no size is not shown")
            << answer({window("Empty", 2, {{"width", 0}, {"active", true}}), window("Other", 1)})
            << QStringList{"Other", "Empty"} << QStringList{"Other"} << QStringLiteral("Empty");
        QTest::newRow("an answer that is no list of windows")
            << QJsonDocument(QJsonObject{{"windows", 1}}) << QStringList{} << QStringList{} << QString();
    }

    void windowsAndTheOneInFront()
    {
        QFETCH(QJsonDocument, answer);
        QFETCH(QStringList, order);
        QFETCH(QStringList, shown);
        QFETCH(QString, focused);

        const QList<CompositorOutput> outputs{{QStringLiteral("Virtual-1"), QRect(0, 0, 1920, 1080), 2}};
        const CompositorTree tree = KWinWindows::treeIn(answer, ourProcess, outputs);
        QStringList seen;
        QStringList seenShown;
        QSet<qint64> ids;
        for (const CompositorWindow &each : tree.windows) {
            seen.append(each.title);
            if (each.visible)
                seenShown.append(each.title);
            ids.insert(each.id);
            // The capture side numbers windows in 32 bits.
            QVERIFY(each.id >= 0 && each.id <= qint64(std::numeric_limits<quint32>::max()));
        }
        QCOMPARE(seen, order);
        QCOMPARE(seenShown, shown);
        QCOMPARE(ids.size(), seen.size());
        const CompositorWindow *front = tree.focusedWindow();
        QCOMPARE(front ? front->title : QString(), focused);
        QCOMPARE(tree.outputs.size(), 1);
    }

    // What the script reports of a window reaches the capture side: KWin's
    // fractional places to whole pixels, its identity to the same number
    // in every answer, the app's names, and keep-above.
    void aWindowsParticulars()
    {
        const QJsonDocument first = answer({window("Editor", 1,
                                                   {{"x", 100.4},
                                                    {"y", 49.6},
                                                    {"width", 200.6},
                                                    {"height", 99.5},
                                                    {"appID", ""},
                                                    {"windowClass", "XTerm"},
                                                    {"instance", "xterm"},
                                                    {"keepAbove", true},
                                                    {"active", true}})});
        const CompositorTree tree = KWinWindows::treeIn(first, ourProcess, {});
        QCOMPARE(tree.windows.size(), 1);
        const CompositorWindow &editor = tree.windows.first();
        QCOMPARE(editor.content, QRect(100, 50, 201, 100));
        QCOMPARE(editor.processID, 11);
        QCOMPARE(editor.appID, QString());
        QCOMPARE(editor.windowClass, QStringLiteral("XTerm"));
        QCOMPARE(editor.instance, QStringLiteral("xterm"));
        QVERIFY(editor.keptAbove);
        QVERIFY(editor.focused);
        const CompositorTree later =
            KWinWindows::treeIn(answer({window("Other", 2), window("Editor", 1)}), ourProcess, {});
        QCOMPARE(later.windows.at(1).id, editor.id);
        QVERIFY(later.windows.at(0).id != editor.id);
    }
};

QTEST_GUILESS_MAIN(KWinWindowsTest)
#include "tst_kwinwindows.moc"
