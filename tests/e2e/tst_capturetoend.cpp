// Starts the real tessaline binary on an empty home directory under a window
// manager and a tray, captures a region of a window showing known text with
// the global hot key and a mouse drag, and checks what was stored: the card,
// its image at the dragged size, its recognised text and its search entry.
#include "AppProcess.h"
#include "../capture/X11TestSupport.h"
#include "../support/X11WindowManager.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLockFile>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

using namespace tessaline::e2e;
using tessaline::X11Connection;
using tessaline::testing::X11WindowManager;
using tessaline::x11test::overlayShown;
using tessaline::x11test::screenShows;

namespace {

// The visible windows of one process (the app names all its windows
// "Tessaline").
QStringList visibleWindows(const Helper &process)
{
    return output(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                              QStringLiteral("--pid"), QString::number(process.processId())})
        .split(u'\n', Qt::SkipEmptyParts);
}

// A home and a runtime directory of their own for one run of the app, so
// the run is another session as far as the app can tell: it neither hands
// over to a Tessaline the developer has running nor reaches its library.
// The capture shortcut is one that instance does not hold.
class AppHome
{
public:
    static constexpr const char *captureKeys = "ctrl+alt+super+5";

    explicit AppHome(const QVariantMap &settings = {})
    {
        QFile::setPermissions(m_runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QSettings file(configDirectory() + QStringLiteral("/Tessaline.conf"), QSettings::IniFormat);
        for (auto it = settings.cbegin(); it != settings.cend(); ++it)
            file.setValue(it.key(), it.value());
        // Ctrl+Alt+Super+5 captures; no quick-note shortcut.
        file.setValue(QStringLiteral("tessaline.shortcuts.configuration.v2"),
                      QByteArray(R"({"capture":{"keyCode":23,"modifiers":7}})"));
    }

    bool isValid() const { return m_home.isValid() && m_runtime.isValid(); }
    QString filePath(const QString &name) const { return m_home.filePath(name); }
    QString configDirectory() const { return m_home.filePath(QStringLiteral(".config/Tessaline")); }
    QString dataDirectory() const { return m_home.filePath(QStringLiteral(".local/share/Tessaline")); }
    QString store() const { return dataDirectory() + QStringLiteral("/Tessaline.sqlite"); }

    QProcessEnvironment environment() const
    {
        return sessionOfItsOwn(m_home.path(), m_runtime.path(), QStringLiteral("xcb"));
    }

private:
    QTemporaryDir m_home;
    QTemporaryDir m_runtime;
};

// Another Tessaline, as a developer would have running in the session that
// runs the tests: the test process's own runtime directory, the default
// shortcuts.
QProcessEnvironment runningElsewhere(const QTemporaryDir &home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.remove(QStringLiteral("XDG_DATA_HOME"));
    environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return environment;
}

// Whether a Tessaline already holds the session's runtime directory (the
// developer's own, on a desktop). A second one started there would only hand
// over to it and bring its window forward.
bool sessionHasTessaline()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    QLockFile lock(QDir(runtime).filePath(QStringLiteral("tessaline.lock")));
    lock.setStaleLockTime(0);
    if (lock.tryLock(0)) {
        lock.unlock();
        return false;
    }
    return lock.error() == QLockFile::LockFailedError;
}

// Presses the capture shortcut until the region overlay is up. The app takes
// its hot keys while it starts, which shows nowhere outside it, so a press
// that came too early is made again; a press while a capture is under way
// changes nothing.
bool startRegionCapture()
{
    const X11Connection x11 = *X11Connection::application();
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (!run(QStringLiteral("xdotool"), {QStringLiteral("key"), QString::fromLatin1(AppHome::captureKeys)}))
            return false;
        if (QTest::qWaitFor([&] { return overlayShown(x11); }, 5000))
            return true;
    }
    return false;
}

} // namespace

class CaptureToEndTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void hotKeyRegionCaptureIsStoredRecognisedAndIndexed();
    void regionCaptureIsAnnotatedInItsReviewAndKept();
    void startsAtTheSameMomentMakeOneInstance();
};

void CaptureToEndTest::hotKeyRegionCaptureIsStoredRecognisedAndIndexed()
{
    // A first user who turned the review off, so a capture ends with the toast.
    AppHome home({{QStringLiteral("automaticallyOpensRegionCaptureReview"), false}});
    QVERIFY(home.isValid());
    const QString dataDir = home.dataDirectory();

    // A Tessaline already running in the session: the developer's own, or
    // one started here to stand for it.
    QTemporaryDir otherHome;
    const QString otherStore = otherHome.filePath(QStringLiteral(".local/share/Tessaline/Tessaline.sqlite"));
    std::optional<Helper> other;
    if (!sessionHasTessaline()) {
        other.emplace(QStringLiteral(TESSALINE_BINARY), QStringList{}, runningElsewhere(otherHome));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(otherStore), 20000);
    }

    X11WindowManager windowManager;
    QVERIFY(windowManager.start(*X11Connection::application()));
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

    Helper app(QStringLiteral(TESSALINE_BINARY), {}, home.environment());
    QVERIFY(app.isRunning());

    const QString store = home.store();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(store), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(queryValue(store, QStringLiteral("SELECT COUNT(*) FROM Board")).toInt(), 2, 20000);
    QCOMPARE(queryValue(store, QStringLiteral("SELECT title FROM Board WHERE isInbox = 1")).toString(),
             QStringLiteral("Quick Captures"));
    // The main window and, for a first launch, the setup sheet over it.
    QTRY_VERIFY_WITH_TIMEOUT(visibleWindows(app).size() >= 2, 20000);
    saveScreenshot(QStringLiteral("main-window.png"));
    const qsizetype windowsBefore = visibleWindows(app).size();

    target.raise();
    target.activateWindow();
    // On top of them: the strip above its text shows its own white.
    const QRect strip(target.geometry().x() + 5, target.geometry().y() + 3, target.width() - 10, 20);
    QTRY_VERIFY_WITH_TIMEOUT(screenShows(strip, Qt::white), 10000);
    QVERIFY(startRegionCapture());
    const QPoint from(210, 320);
    const QPoint to(1150, 430);
    QVERIFY(xdotoolDrag(from, to));

    QTRY_COMPARE_WITH_TIMEOUT(queryValue(store, QStringLiteral("SELECT COUNT(*) FROM CanvasCard")).toInt(), 1, 20000);
    // The toast is a window of its own.
    QTRY_VERIFY_WITH_TIMEOUT(visibleWindows(app).size() > windowsBefore, 10000);
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
    // Found by a word of its recognised text, with a small picture beside it.
    QCOMPARE(queryValue(index, QStringLiteral("SELECT COUNT(*) FROM item_words WHERE folded LIKE '%revenue%'")).toInt(),
             1);
    const QImage thumbnail = QImage::fromData(
        queryValue(index, QStringLiteral("SELECT thumbnail FROM items WHERE identifier = '%1'").arg(cardID)).toByteArray());
    QVERIFY(!thumbnail.isNull());
    QVERIFY(qMax(thumbnail.width(), thumbnail.height()) <= 256);

    // The other Tessaline went on by itself, and was never asked for anything.
    QVERIFY(app.isRunning());
    if (other) {
        QVERIFY(other->isRunning());
        QCOMPARE(queryValue(otherStore, QStringLiteral("SELECT COUNT(*) FROM CanvasCard")).toInt(), 0);
        other->stop();
    }
    app.stop();
    tray.stop();
}

void CaptureToEndTest::regionCaptureIsAnnotatedInItsReviewAndKept()
{
    // A new user with the default settings: a region capture opens its review.
    AppHome home;
    const QString store = home.store();
    X11WindowManager windowManager;
    QVERIFY(windowManager.start(*X11Connection::application()));
    Helper app(QStringLiteral(TESSALINE_BINARY), {}, home.environment());
    QTRY_COMPARE_WITH_TIMEOUT(queryValue(store, QStringLiteral("SELECT COUNT(*) FROM Board")).toInt(), 2, 20000);
    // A first launch opens the setup sheet over the main window; a sheet
    // that is up keeps the review away, so skip the setup as a user can.
    // The sheet is a second window; Escape reaches it once it has the focus,
    // so it is pressed until the skip is stored.
    QTRY_VERIFY_WITH_TIMEOUT(visibleWindows(app).size() >= 2, 20000);
    const QString settings = home.configDirectory() + QStringLiteral("/Tessaline.conf");
    auto skipped = [&] {
        QFile file(settings);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains("onboardingPreferences");
    };
    bool skippedSetup = false;
    for (int attempt = 0; attempt < 5 && !skippedSetup; ++attempt) {
        QVERIFY(run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Escape")}));
        skippedSetup = QTest::qWaitFor(skipped, 4000);
    }
    QVERIFY(skippedSetup);
    QTRY_COMPARE_WITH_TIMEOUT(visibleWindows(app).size(), 1, 10000); // the sheet has gone
    const QString mainWindow = visibleWindows(app).first();

    QVERIFY(startRegionCapture());
    QVERIFY(xdotoolDrag(QPoint(300, 250), QPoint(900, 650)));
    QTRY_COMPARE_WITH_TIMEOUT(queryValue(store, QStringLiteral("SELECT COUNT(*) FROM CanvasCard")).toInt(), 1, 20000);

    // The review comes up over the main window; draw an arrow across it. It
    // is found as the app's other window, not by its title: the title becomes
    // the snip's first line of text as soon as that is recognised.
    const auto reviewWindow = [&] {
        QStringList windows = visibleWindows(app);
        windows.removeAll(mainWindow);
        return windows.size() == 1 ? windows.first() : QString();
    };
    QTRY_VERIFY_WITH_TIMEOUT(!reviewWindow().isEmpty(), 10000);
    const QString review = reviewWindow();
    QVERIFY(!review.isEmpty());
    const QString geometry = output(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"),
                                                                review});
    QHash<QString, int> values;
    for (const QString &line : geometry.split(u'\n')) {
        const auto parts = line.split(u'=');
        if (parts.size() == 2)
            values[parts[0]] = parts[1].toInt();
    }
    const QPoint centre(values["X"] + values["WIDTH"] / 2, values["Y"] + values["HEIGHT"] / 2);
    const QRect stroke(centre - QPoint(120, 60), centre + QPoint(120, 60));
    const auto strokeArea = [&] {
        return QGuiApplication::primaryScreen()
            ->grabWindow(0, stroke.x(), stroke.y(), stroke.width(), stroke.height())
            .toImage();
    };
    const QImage before = strokeArea();
    QVERIFY(xdotoolDrag(stroke.topLeft(), stroke.bottomRight()));
    QTRY_VERIFY_WITH_TIMEOUT(strokeArea() != before, 10000); // the arrow is drawn
    saveScreenshot(QStringLiteral("review.png"));
    QVERIFY(run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Return")})); // Keep Snip

    QTRY_VERIFY_WITH_TIMEOUT(queryValue(store, QStringLiteral(
        "SELECT bytes FROM CanvasCardData WHERE field = 'annotationDocumentData'")).toByteArray().contains("\"arrow\""),
                             10000);
    QTRY_VERIFY_WITH_TIMEOUT(reviewWindow().isEmpty(), 10000);
    app.stop();
}

void CaptureToEndTest::startsAtTheSameMomentMakeOneInstance()
{
    AppHome home;
    QVERIFY(home.isValid());
    X11WindowManager windowManager;
    QVERIFY(windowManager.start(*X11Connection::application()));
    std::vector<std::unique_ptr<Helper>> starts;
    for (int i = 0; i < 5; ++i)
        starts.push_back(std::make_unique<Helper>(QStringLiteral(TESSALINE_BINARY), QStringList{}, home.environment()));
    auto running = [&] {
        return std::count_if(starts.begin(), starts.end(), [](const auto &start) { return start->isRunning(); });
    };

    // Four hand over to one and leave; that one seeds the library once.
    QTRY_COMPARE_WITH_TIMEOUT(running(), 1, 30000);
    for (const auto &start : starts) {
        if (!start->isRunning())
            QCOMPARE(start->exitCode(), 0);
    }
    QTRY_COMPARE_WITH_TIMEOUT(queryValue(home.store(), QStringLiteral("SELECT COUNT(*) FROM Board")).toInt(), 2, 20000);
    QCOMPARE(queryValue(home.store(), QStringLiteral("SELECT COUNT(*) FROM Board WHERE isInbox = 1")).toInt(), 1);

    // One more start in the same session does the same.
    Helper later(QStringLiteral(TESSALINE_BINARY), {}, home.environment());
    QTRY_VERIFY_WITH_TIMEOUT(!later.isRunning(), 20000);
    QCOMPARE(later.exitCode(), 0);
    QCOMPARE(running(), 1);
    QCOMPARE(queryValue(home.store(), QStringLiteral("SELECT COUNT(*) FROM Board")).toInt(), 2);
    starts.clear();
}

QTEST_MAIN(CaptureToEndTest)
#include "tst_capturetoend.moc"
