// Starts the real tessaline binary on an empty home directory under a window
// manager and a tray, captures a region of a window showing known text with
// the global hot key and a mouse drag, and checks what was stored: the card,
// its image at the dragged size, its recognised text and its search entry.
#include "AppProcess.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QScreen>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>

using namespace tessaline::e2e;

class CaptureToEndTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void hotKeyRegionCaptureIsStoredRecognisedAndIndexed();
    void regionCaptureIsAnnotatedInItsReviewAndKept();
};

void CaptureToEndTest::hotKeyRegionCaptureIsStoredRecognisedAndIndexed()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QString dataDir = home.filePath(QStringLiteral(".local/share/Tessaline"));
    const QString configDir = home.filePath(QStringLiteral(".config/Tessaline"));
    QVERIFY(QDir().mkpath(configDir));
    {
        // A first user who turned the review off, so a capture ends with the toast.
        QFile settings(configDir + QStringLiteral("/Tessaline.conf"));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write("[General]\nautomaticallyOpensRegionCaptureReview=false\n");
    }

    Helper windowManager(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    QTest::qWait(500);
    Helper tray(QStringLiteral("trayer"), {QStringLiteral("--edge"), QStringLiteral("bottom"), QStringLiteral("--align"),
                                           QStringLiteral("right")});

    // The window whose text will be captured.
    QLabel target(QStringLiteral("Quarterly revenue grew 42 percent"));
    target.setStyleSheet(QStringLiteral("background: white; color: black; font-size: 40px; padding: 30px;"));
    target.setWindowTitle(QStringLiteral("Report"));
    target.move(200, 300);
    target.resize(1000, 160);
    target.show();
    QVERIFY(QTest::qWaitForWindowExposed(&target));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.remove(QStringLiteral("XDG_DATA_HOME"));
    environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    Helper app(QStringLiteral(TESSALINE_BINARY), {}, environment);
    QVERIFY(app.isRunning());

    const QString store = dataDir + QStringLiteral("/Tessaline.sqlite");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(store), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(queryValue(store, QStringLiteral("SELECT COUNT(*) FROM Board")).toInt(), 2, 20000);
    QCOMPARE(queryValue(store, QStringLiteral("SELECT title FROM Board WHERE isInbox = 1")).toString(),
             QStringLiteral("Quick Captures"));
    QTest::qWait(1500); // the main window settles and the hot keys are registered
    saveScreenshot(QStringLiteral("main-window.png"));

    target.raise();
    target.activateWindow();
    QTest::qWait(300);
    QVERIFY(run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("ctrl+super+4")}));
    QTest::qWait(1500); // the overlay covers the screen
    const QPoint from(210, 320);
    const QPoint to(1150, 430);
    QVERIFY(xdotoolDrag(from, to));

    QTRY_COMPARE_WITH_TIMEOUT(queryValue(store, QStringLiteral("SELECT COUNT(*) FROM CanvasCard")).toInt(), 1, 20000);
    QTest::qWait(800); // the toast is on screen
    saveScreenshot(QStringLiteral("toast.png"));

    // The snip sits in the active note, which start-up chose and saved.
    const QString activeNote = queryValue(store, QStringLiteral("SELECT boardID FROM CanvasCard")).toString();
    QCOMPARE(queryValue(store, QStringLiteral("SELECT kindRawValue FROM CanvasCard")).toString(), QStringLiteral("snip"));
    QVERIFY(queryValue(store, QStringLiteral("SELECT writingDocumentStorage FROM Board WHERE id = '%1'").arg(activeNote))
                .toString()
                .contains(queryValue(store, QStringLiteral("SELECT id FROM CanvasCard")).toString()));

    const QImage snip = QImage::fromData(queryValue(store, QStringLiteral(
        "SELECT bytes FROM CanvasCardData WHERE field = 'originalImageData'")).toByteArray());
    QCOMPARE(snip.size(), QSize(to.x() - from.x(), to.y() - from.y()));

    QTRY_VERIFY_WITH_TIMEOUT(queryValue(store, QStringLiteral("SELECT ocrText FROM CanvasCard")).toString().contains(
                                 QStringLiteral("revenue")),
                             60000);
    const QString index = dataDir + QStringLiteral("/SearchIndex.sqlite");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(index), 20000);
    const QString cardID = queryValue(store, QStringLiteral("SELECT id FROM CanvasCard")).toString();
    QTRY_COMPARE_WITH_TIMEOUT(
        queryValue(index, QStringLiteral("SELECT COUNT(*) FROM items WHERE identifier = '%1'").arg(cardID)).toInt(), 1,
        20000);
    // Found by a word of its recognised text.
    QCOMPARE(queryValue(index, QStringLiteral("SELECT COUNT(*) FROM items_text WHERE items_text MATCH 'revenue'")).toInt(),
             1);

    app.stop();
    tray.stop();
    windowManager.stop();
}

void CaptureToEndTest::regionCaptureIsAnnotatedInItsReviewAndKept()
{
    // A new user with the default settings: a region capture opens its review.
    QTemporaryDir home;
    const QString store = home.filePath(QStringLiteral(".local/share/Tessaline/Tessaline.sqlite"));
    Helper windowManager(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    QTest::qWait(500);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.remove(QStringLiteral("XDG_DATA_HOME"));
    environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    Helper app(QStringLiteral(TESSALINE_BINARY), {}, environment);
    QTRY_COMPARE_WITH_TIMEOUT(queryValue(store, QStringLiteral("SELECT COUNT(*) FROM Board")).toInt(), 2, 20000);
    QTest::qWait(1500);
    // A first launch opens the setup sheet over the main window; a sheet
    // that is up keeps the review away, so skip the setup as a user can.
    const QString settings = home.filePath(QStringLiteral(".config/Tessaline/Tessaline.conf"));
    auto settingsText = [&] {
        QFile file(settings);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    QVERIFY(run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Escape")}));
    QTRY_VERIFY_WITH_TIMEOUT(settingsText().contains(QStringLiteral("onboardingPreferences")), 10000);
    QTest::qWait(500);

    QVERIFY(run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("ctrl+super+4")}));
    QTest::qWait(1500);
    QVERIFY(xdotoolDrag(QPoint(300, 250), QPoint(900, 650)));
    QTRY_COMPARE_WITH_TIMEOUT(queryValue(store, QStringLiteral("SELECT COUNT(*) FROM CanvasCard")).toInt(), 1, 20000);

    // The review comes up over the main window; draw an arrow across it.
    QString review;
    QTRY_VERIFY_WITH_TIMEOUT(!(review = output(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                                             QStringLiteral("--name"), QStringLiteral("Untitled Snip")}))
                                  .isEmpty(),
                             10000);
    const QString geometry = output(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"),
                                                                review.split(u'\n').first()});
    QHash<QString, int> values;
    for (const QString &line : geometry.split(u'\n')) {
        const auto parts = line.split(u'=');
        if (parts.size() == 2)
            values[parts[0]] = parts[1].toInt();
    }
    const QPoint centre(values["X"] + values["WIDTH"] / 2, values["Y"] + values["HEIGHT"] / 2);
    QVERIFY(xdotoolDrag(centre - QPoint(120, 60), centre + QPoint(120, 60)));
    QTest::qWait(300);
    saveScreenshot(QStringLiteral("review.png"));
    QVERIFY(run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Return")})); // Keep Snip

    QTRY_VERIFY_WITH_TIMEOUT(queryValue(store, QStringLiteral(
        "SELECT bytes FROM CanvasCardData WHERE field = 'annotationDocumentData'")).toByteArray().contains("\"arrow\""),
                             10000);
    QTRY_VERIFY_WITH_TIMEOUT(output(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                                QStringLiteral("--name"), QStringLiteral("Untitled Snip")})
                                 .isEmpty(),
                             10000);
    app.stop();
    windowManager.stop();
}

QTEST_MAIN(CaptureToEndTest)
#include "tst_capturetoend.moc"
