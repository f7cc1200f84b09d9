// A library on a file system that cannot be written: the real tessaline
// binary, started in a mount namespace of its own where the library's folder
// is bound read-only (which stops root too, unlike a chmod), says so, shows
// the library and leaves its files exactly as they were; a change refused
// there is said in one alert. Skipped where no such namespace can be made.
#include "../support/ProcessEnd.h"
#include "../support/X11WindowManager.h"
#include "AppProcess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>
#include <unistd.h>

using namespace tessaline::e2e;

namespace {

QStringList visibleWindows(qint64 pid, const QString &name = QStringLiteral("^Tessaline$"))
{
    const QString ids = output(QStringLiteral("xdotool"),
                               {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
                                QStringLiteral("--pid"), QString::number(pid), QStringLiteral("--name"), name});
    return ids.isEmpty() ? QStringList() : ids.split(u'\n');
}

// The alerts on screen: every window of the process but the main one.
int alerts(qint64 pid)
{
    return int(visibleWindows(pid, QStringLiteral(".")).size()) - int(visibleWindows(pid).size());
}

bool keys(const QString &name)
{
    return run(QStringLiteral("xdotool"), {QStringLiteral("key"), name});
}

// Every file of the folder with a digest of its bytes.
QMap<QString, QByteArray> contents(const QString &folder)
{
    QMap<QString, QByteArray> files;
    for (const QFileInfo &info : QDir(folder).entryInfoList(QDir::Files)) {
        QFile file(info.filePath());
        if (file.open(QIODevice::ReadOnly))
            files.insert(info.fileName(), QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256));
    }
    return files;
}

} // namespace

class ReadOnlyLibraryTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void opensForReadingAndWritesNothing();
};

void ReadOnlyLibraryTest::opensForReadingAndWritesNothing()
{
    const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
    if (unshare.isEmpty())
        QSKIP("unshare is not installed");
    // Root makes a mount namespace; anyone else one inside a user namespace
    // of their own, where the kernel lets them.
    const QStringList namespaces = ::geteuid() == 0 ? QStringList{QStringLiteral("-m")} : QStringList{QStringLiteral("-rm")};
    if (!run(unshare, namespaces + QStringList{QStringLiteral("true")}))
        QSKIP("no mount namespace can be made here");

    const std::optional<tessaline::X11Connection> x11 = tessaline::X11Connection::application();
    QVERIFY(x11);
    tessaline::testing::X11WindowManager windowManager;
    QVERIFY(windowManager.start(*x11));
    QTemporaryDir home;
    QTemporaryDir runtime;
    QVERIFY(home.isValid() && runtime.isValid());
    QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString folder = home.filePath(QStringLiteral(".local/share/Tessaline"));
    const QString store = folder + QStringLiteral("/Tessaline.sqlite");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    environment.remove(QStringLiteral("XDG_DATA_HOME"));
    environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));

    // A library made by a first start, which then ends abruptly: its log is
    // still beside it.
    {
        QProcess first;
        first.setProcessEnvironment(environment);
        first.start(QStringLiteral(TESSALINE_BINARY), {});
        QVERIFY(first.waitForStarted(5000));
        QTRY_COMPARE_WITH_TIMEOUT(queryValue(store, QStringLiteral("SELECT COUNT(*) FROM Board")).toInt(), 2, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!visibleWindows(first.processId()).isEmpty(), 20000);
        // Past the setup sheet of a first start, as a user can.
        const auto skipped = [&] {
            QFile settings(home.filePath(QStringLiteral(".config/Tessaline/Tessaline.conf")));
            return keys(QStringLiteral("Escape")) && settings.open(QIODevice::ReadOnly)
                && settings.readAll().contains("onboardingPreferences");
        };
        QTRY_VERIFY_WITH_TIMEOUT(skipped(), 20000);
        tessaline::endProcess(first);
    }
    const QMap<QString, QByteArray> before = contents(folder);
    QVERIFY(before.contains(QStringLiteral("Tessaline.sqlite")));

    QProcess reader;
    reader.setProcessEnvironment(environment);
    reader.start(unshare, namespaces + QStringList{QStringLiteral("sh"), QStringLiteral("-c"),
                                                   QStringLiteral("mount --bind \"$0\" \"$0\" && "
                                                                  "mount -o remount,bind,ro \"$0\" \"$0\" && exec \"$1\""),
                                                   folder, QStringLiteral(TESSALINE_BINARY)});
    QVERIFY(reader.waitForStarted(5000));
    QString errors;
    QTRY_VERIFY_WITH_TIMEOUT((errors += QString::fromUtf8(reader.readAllStandardError())).contains(
                                 QStringLiteral("can only be read")),
                             20000);
    QVERIFY2(errors.contains(store), qPrintable(errors));
    QTRY_VERIFY_WITH_TIMEOUT(!visibleWindows(reader.processId()).isEmpty(), 20000);
    // Still running once it has shown the library (it does not end on the
    // refused seeding or migration).
    QVERIFY(reader.state() == QProcess::Running);

    // The word of the start, dismissed; then a first change (a star for
    // the open note) is refused, and said once, not by two alerts at once.
    QTRY_COMPARE_WITH_TIMEOUT(alerts(reader.processId()), 1, 20000);
    // Return only while the alert is up: in the note it would be a change.
    const auto dismissed = [&] { return alerts(reader.processId()) == 0 || (keys(QStringLiteral("Return")) && false); };
    QTRY_VERIFY_WITH_TIMEOUT(dismissed(), 20000);
    const QString window = visibleWindows(reader.processId()).constFirst();
    const QStringList geometry =
        output(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window})
            .split(u'\n');
    int width = 0;
    for (const QString &line : geometry)
        if (line.startsWith(QStringLiteral("WIDTH=")))
            width = line.mid(6).toInt();
    QVERIFY(width > 0);
    // The star sits near the right end of the note's header.
    QVERIFY(run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QStringLiteral("--window"), window,
                                            QString::number(width - 75), QStringLiteral("97"),
                                            QStringLiteral("click"), QStringLiteral("1")}));
    QTRY_VERIFY_WITH_TIMEOUT(alerts(reader.processId()) > 0, 20000);
    QCOMPARE(alerts(reader.processId()), 1);
    tessaline::endProcess(reader);
    QCOMPARE(contents(folder), before);
}

QTEST_MAIN(ReadOnlyLibraryTest)
#include "tst_readonlylibrary.moc"
