// The same user in two sessions (two runtime directories, one home): the
// real tessaline binary started in the second while the first runs says that
// the library is open in another session and leaves it alone; once the first
// has been killed outright, a new start opens the library as usual.
#include "../support/ProcessEnd.h"
#include "AppProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>

using namespace tessaline::e2e;

namespace {

// The process's visible windows with this exact title.
QStringList windowsOf(qint64 pid, const QString &title)
{
    const QString ids =
        output(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                                           QString::number(pid), QStringLiteral("--name"), QStringLiteral("^%1$").arg(title)});
    return ids.isEmpty() ? QStringList() : ids.split(u'\n');
}

// A private runtime directory, as a login session has.
std::unique_ptr<QTemporaryDir> runtimeDirectory()
{
    auto directory = std::make_unique<QTemporaryDir>();
    QFile::setPermissions(directory->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return directory;
}

class Session
{
public:
    Session(const QString &home, const QString &runtime, const QStringList &arguments = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home);
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        environment.remove(QStringLiteral("XDG_DATA_HOME"));
        environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        m_process.setProcessEnvironment(environment);
        m_process.setProgram(QStringLiteral(TESSALINE_BINARY));
        m_process.setArguments(arguments);
        m_process.start();
        m_process.waitForStarted(5000);
    }
    ~Session() { signal(SIGTERM); }
    void signal(int number) { tessaline::endProcess(m_process, number); }
    qint64 pid() const { return m_process.processId(); }
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    int exitCode() const { return m_process.exitCode(); }
    QString errors()
    {
        m_errors += QString::fromUtf8(m_process.readAllStandardError());
        return m_errors;
    }

private:
    QProcess m_process;
    QString m_errors;
};

} // namespace

class TwoSessionsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void secondSessionLeavesTheLibraryAlone();
    void startAfterTheRuntimeFolderWentReachesTheInstance();
};

void TwoSessionsTest::secondSessionLeavesTheLibraryAlone()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QString store = home.filePath(QStringLiteral(".local/share/Tessaline/Tessaline.sqlite"));
    const auto firstRuntime = runtimeDirectory();
    const auto secondRuntime = runtimeDirectory();

    auto first = std::make_unique<Session>(home.path(), firstRuntime->path());
    QVERIFY(first->isRunning());
    QTRY_COMPARE_WITH_TIMEOUT(queryValue(store, QStringLiteral("SELECT COUNT(*) FROM Board")).toInt(), 2, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(!windowsOf(first->pid(), QStringLiteral("Tessaline")).isEmpty(), 20000);

    // The second session's start: a message naming the reason, nothing else.
    {
        Session second(home.path(), secondRuntime->path());
        QTRY_VERIFY_WITH_TIMEOUT(second.errors().contains(QStringLiteral("is open in Tessaline in another session")),
                                 20000);
        QVERIFY(second.errors().contains(store));
        // Its one window is that message, a dialog: no main window (with
        // the same title) comes up behind it.
        QTRY_COMPARE_WITH_TIMEOUT(windowsOf(second.pid(), QStringLiteral("Tessaline")).size(), 1, 20000);
        const QString box = windowsOf(second.pid(), QStringLiteral("Tessaline")).constFirst();
        QVERIFY(output(QStringLiteral("xprop"), {QStringLiteral("-id"), box, QStringLiteral("_NET_WM_WINDOW_TYPE")})
                    .contains(QStringLiteral("_NET_WM_WINDOW_TYPE_DIALOG")));
        QVERIFY(second.isRunning());
        QCOMPARE(queryValue(store, QStringLiteral("SELECT COUNT(*) FROM Board")).toInt(), 2);
    }
    QVERIFY(first->isRunning());

    // Killed outright, the first leaves no lock behind.
    first->signal(SIGKILL);
    first.reset();
    Session third(home.path(), secondRuntime->path());
    QTRY_VERIFY_WITH_TIMEOUT(!windowsOf(third.pid(), QStringLiteral("Tessaline")).isEmpty(), 20000);
    QVERIFY(third.isRunning());
    QVERIFY2(!third.errors().contains(QStringLiteral("another session")), qPrintable(third.errors()));
    QCOMPARE(queryValue(store, QStringLiteral("SELECT COUNT(*) FROM Board")).toInt(), 2);
    // And now it is the one that holds the library.
    const auto fourthRuntime = runtimeDirectory();
    Session fourth(home.path(), fourthRuntime->path());
    QTRY_VERIFY_WITH_TIMEOUT(fourth.errors().contains(QStringLiteral("is open in Tessaline in another session")),
                             20000);
}

// The runtime folder emptied while Tessaline runs (a session manager, a
// user cleaning up): a capture command from a key binding right after, and
// a plain start later, still reach the running instance of this session,
// which makes its socket again; neither calls the library open in another
// session.
void TwoSessionsTest::startAfterTheRuntimeFolderWentReachesTheInstance()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const auto runtimeParent = runtimeDirectory();
    const QString runtime = runtimeParent->filePath(QStringLiteral("runtime"));
    QVERIFY(QDir().mkpath(runtime));
    QVERIFY(QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    const QString store = home.filePath(QStringLiteral(".local/share/Tessaline/Tessaline.sqlite"));

    Session first(home.path(), runtime);
    QTRY_COMPARE_WITH_TIMEOUT(queryValue(store, QStringLiteral("SELECT COUNT(*) FROM Board")).toInt(), 2, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(!windowsOf(first.pid(), QStringLiteral("Tessaline")).isEmpty(), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(runtime + QStringLiteral("/tessaline")), 20000);

    QVERIFY(QDir(runtime).removeRecursively());
    {
        Session command(home.path(), runtime, {QStringLiteral("--capture-region")});
        QTRY_VERIFY_WITH_TIMEOUT(!command.isRunning(), 30000);
        QCOMPARE(command.exitCode(), 0);
        QVERIFY2(!command.errors().contains(QStringLiteral("another session")), qPrintable(command.errors()));
    }
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(runtime + QStringLiteral("/tessaline")), 20000);
    {
        Session later(home.path(), runtime);
        QTRY_VERIFY_WITH_TIMEOUT(!later.isRunning(), 30000);
        QCOMPARE(later.exitCode(), 0);
        QVERIFY2(!later.errors().contains(QStringLiteral("another session")), qPrintable(later.errors()));
    }
    QVERIFY(first.isRunning());
}

QTEST_MAIN(TwoSessionsTest)
#include "tst_twosessions.moc"
