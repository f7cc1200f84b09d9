// Starts the real tessaline binary in the headless Wayland session, asks it
// for a region capture from a second start with --capture-region (the
// command a user binds where the desktop offers apps no global shortcuts),
// drags over the overlay with injected input, and checks the stored snip.
#include "../support/WaylandTestSupport.h"
#include "AppProcess.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace tessaline::e2e;
using namespace tessaline::waylandtest;

namespace {

// Whether the compositor shows a full-screen window of a process.
bool showsFullScreenWindowOf(qint64 pid)
{
    QProcess swaymsg;
    swaymsg.start(QStringLiteral("swaymsg"), {QStringLiteral("-t"), QStringLiteral("get_tree"), QStringLiteral("-r")});
    if (!swaymsg.waitForFinished(5000))
        return false;
    QList<QJsonObject> nodes{QJsonDocument::fromJson(swaymsg.readAllStandardOutput()).object()};
    while (!nodes.isEmpty()) {
        const QJsonObject node = nodes.takeLast();
        if (node.value(QStringLiteral("pid")).toInteger() == pid && node.value(QStringLiteral("fullscreen_mode")).toInt() == 1
            && node.value(QStringLiteral("visible")).toBool())
            return true;
        for (const QString &key : {QStringLiteral("nodes"), QStringLiteral("floating_nodes")}) {
            for (const QJsonValue child : node.value(key).toArray())
                nodes.append(child.toObject());
        }
    }
    return false;
}

} // namespace

class WaylandCaptureCommandTest : public QObject
{
    Q_OBJECT
public:
    static void initMain() { runOffscreenWithoutSession(); }

private Q_SLOTS:
    void initTestCase()
    {
        if (const QString missing = missingSession(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
    }

    void commandLineRegionCaptureIsStored()
    {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        const QString configDir = home.filePath(QStringLiteral(".config/Tessaline"));
        QVERIFY(QDir().mkpath(configDir));
        {
            // The capture ends with the toast rather than the review window.
            QFile settings(configDir + QStringLiteral("/Tessaline.conf"));
            QVERIFY(settings.open(QIODevice::WriteOnly));
            settings.write("[General]\nautomaticallyOpensRegionCaptureReview=false\n");
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.remove(QStringLiteral("XDG_DATA_HOME"));
        environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));

        Helper app(QStringLiteral(TESSALINE_BINARY), {}, environment);
        QVERIFY(app.isRunning());
        const QString store = home.filePath(QStringLiteral(".local/share/Tessaline/Tessaline.sqlite"));
        // Listening for other starts comes before the store is opened.
        QTRY_COMPARE_WITH_TIMEOUT(queryValue(store, QStringLiteral("SELECT COUNT(*) FROM Board")).toInt(), 2, 20000);
        QVERIFY(input({QStringLiteral("move"), QStringLiteral("2"), QStringLiteral("2")}));

        QProcess command;
        command.setProcessEnvironment(environment);
        command.start(QStringLiteral(TESSALINE_BINARY), {QStringLiteral("--capture-region")});
        QVERIFY(command.waitForFinished(10000));
        QCOMPARE(command.exitCode(), 0);
        QVERIFY(app.isRunning());

        QTRY_VERIFY_WITH_TIMEOUT(showsFullScreenWindowOf(app.processId()), 20000);
        const QPoint from(200, 150);
        const QPoint to(700, 450);
        QVERIFY(drag(from, to));

        QTRY_COMPARE_WITH_TIMEOUT(queryValue(store, QStringLiteral("SELECT COUNT(*) FROM CanvasCard")).toInt(), 1, 20000);
        const QImage snip = QImage::fromData(queryValue(store, QStringLiteral(
            "SELECT bytes FROM CanvasCardData WHERE field = 'originalImageData'")).toByteArray());
        QCOMPARE(snip.size(), QSize(to.x() - from.x(), to.y() - from.y()));
        QCOMPARE(queryValue(store, QStringLiteral("SELECT captureModeRawValue FROM CanvasCard")).toString(),
                 QStringLiteral("region"));
        // Wayland does not say which application was in front.
        QVERIFY(queryValue(store, QStringLiteral("SELECT sourceApplicationName FROM CanvasCard")).isNull());
        app.stop();
    }
};

QTEST_MAIN(WaylandCaptureCommandTest)
#include "tst_waylandcapturecommand.moc"
