// The real tessaline binary started by the session bus for the desktop's
// search: the build installed under a prefix of the test's own, a private
// dbus-daemon finds the installed D-Bus service file in that prefix's
// XDG_DATA_DIRS, starts the installed binary for the first call, and the
// start answers without a window; a picked result, or a later plain start,
// brings the window up. Run on the X server, where windows can be looked
// for by process id.
#include "AppProcess.h"
#include "../support/LibraryBuilder.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "platform/SearchIndex.h"
#include "runtime/CapturePipeline.h"
#include "platform/UuidText.h"
#include "runtime/AppRuntime.h"
#include "runtime/DesktopSearchIndexService.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>

using namespace tessaline;
using namespace tessaline::e2e;
using namespace tessaline::testing;

namespace {

// The process's windows on screen whose title matches; every Qt window has
// one, and an empty pattern would match the root window too.
int visibleWindows(qint64 pid, const QString &name = QStringLiteral("."))
{
    const QStringList arguments{QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                                QString::number(pid), QStringLiteral("--name"), name};
    const QString ids = output(QStringLiteral("xdotool"), arguments);
    return ids.isEmpty() ? 0 : int(ids.split(u'\n').size());
}

// Resident memory of a process, in KiB, from the kernel's own account.
qint64 residentKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// The build installed as `cmake --install build --prefix P` installs it,
// once for the test's run.
QString installedPrefix()
{
    static QTemporaryDir prefix;
    static const bool installed = [] {
        QProcess install;
        install.setProcessChannelMode(QProcess::ForwardedChannels);
        install.start(QStringLiteral(TESSALINE_CMAKE),
                      {QStringLiteral("--install"), QStringLiteral(TESSALINE_BUILD_DIR), QStringLiteral("--prefix"),
                       prefix.path()});
        return prefix.isValid() && install.waitForFinished(120'000) && install.exitStatus() == QProcess::NormalExit
            && install.exitCode() == 0;
    }();
    return installed ? prefix.path() : QString();
}

// A home with a library of two snips and their index, a session bus of its
// own that starts services from the installed app's service file, and a
// runtime folder of its own (so no other Tessaline is the instance).
class SearchSession
{
public:
    bool start()
    {
        if (!m_root.isValid() || installedPrefix().isEmpty())
            return false;
        const QString data = m_root.filePath(QStringLiteral("home/.local/share/Tessaline"));
        QDir().mkpath(data);
        if (!makeLibrary(data))
            return false;

        // The tests' private bus, made to start services the way a
        // desktop session does: from dbus-1/services under XDG_DATA_DIRS.
        QFile privateBus(QStringLiteral(TESSALINE_PRIVATE_BUS_CONFIG));
        QFile config(m_root.filePath(QStringLiteral("bus.conf")));
        if (!privateBus.open(QIODevice::ReadOnly) || !config.open(QIODevice::WriteOnly))
            return false;
        QByteArray text = privateBus.readAll();
        text.replace("</busconfig>", "  <standard_session_servicedirs/>\n"
                                     "  <limit name=\"service_start_timeout\">120000</limit>\n</busconfig>\n");
        config.write(text);
        config.close();

        const QString runtime = m_root.filePath(QStringLiteral("runtime"));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(QStringLiteral("HOME"), m_root.filePath(QStringLiteral("home")));
        m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        m_environment.insert(QStringLiteral("XDG_DATA_DIRS"), installedPrefix() + QStringLiteral("/share"));
        m_environment.remove(QStringLiteral("XDG_DATA_HOME"));
        m_environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
        m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        // A loaded machine may leave a long gap between two calls of a test.
        if (!m_environment.contains(QStringLiteral("TESSALINE_SEARCH_PROVIDER_IDLE_MS")))
            m_environment.insert(QStringLiteral("TESSALINE_SEARCH_PROVIDER_IDLE_MS"), QStringLiteral("600000"));

        // What the bus starts inherits the bus's environment, and writes to
        // its output: both go to the test's own, never to a pipe that fills.
        const QString socket = m_root.filePath(QStringLiteral("bus"));
        m_address = QStringLiteral("unix:path=") + socket;
        m_daemon.setProcessEnvironment(m_environment);
        m_daemon.setProcessChannelMode(QProcess::ForwardedChannels);
        m_daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config.fileName(),
                                                       QStringLiteral("--nofork"), QStringLiteral("--address=") + m_address});
        if (!m_daemon.waitForStarted(5000) || !QTest::qWaitFor([&socket] { return QFileInfo::exists(socket); }, 10000))
            return false;
        m_environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
        m_bus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(m_address, m_root.path()));
        return m_bus->isConnected();
    }

    ~SearchSession()
    {
        // The app the bus started first, by its process id, then the bus.
        if (m_appPid > 0) {
            ::kill(pid_t(m_appPid), SIGTERM);
            (void)QTest::qWaitFor([pid = m_appPid] { return residentKiB(pid) <= 0; }, 10000);
        }
        if (m_bus)
            QDBusConnection::disconnectFromBus(m_root.path());
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.terminate();
            m_daemon.waitForFinished(5000);
        }
    }

    QDBusMessage call(const QString &method, const QVariantList &arguments)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.tessaline.Tessaline"),
                                                              QStringLiteral("/org/tessaline/Tessaline/SearchProvider"),
                                                              QStringLiteral("org.gnome.Shell.SearchProvider2"), method);
        message.setArguments(arguments);
        // Long enough for a start on a loaded machine.
        return m_bus->call(message, QDBus::Block, 120'000);
    }

    // The binary the process that holds the app's bus name runs.
    QString appBinary()
    {
        return QFileInfo(QStringLiteral("/proc/%1/exe").arg(appPid())).canonicalFilePath();
    }

    // The process that holds the app's bus name, remembered to end it.
    qint64 appPid()
    {
        const QDBusReply<uint> pid = m_bus->interface()->servicePid(QStringLiteral("org.tessaline.Tessaline"));
        if (pid.isValid())
            m_appPid = pid.value();
        return pid.isValid() ? qint64(pid.value()) : -1;
    }

    const QProcessEnvironment &environment() const { return m_environment; }
    QString snip(const QString &name) const { return m_snips.value(name); }

private:
    bool makeLibrary(const QString &directory)
    {
        ModelContainer::Configuration configuration;
        configuration.directory = directory;
        auto container = ModelContainer::open(configuration);
        if (!container)
            return false;
        ModelContext &context = *(*container)->mainContext();
        Board *note = addNote(context, {.title = QStringLiteral("Research")});
        QList<CanvasCard *> cards;
        const std::pair<QString, int> snips[] = {{QStringLiteral("Harbour map"), 10}, {QStringLiteral("Harbour fees"), 20}};
        for (const auto &[name, changed] : snips) {
            CanvasCard *card = addCard(context, note->id(), {.title = name, .image = pngOf(Qt::darkGreen, QSize(640, 400))});
            card->setUpdatedAt(at(changed));
            m_snips.insert(name, uuidText(card->id()));
            cards << card;
        }
        if (!context.save())
            return false;
        SearchIndex index(QDir(directory).filePath(QStringLiteral("SearchIndex.sqlite")));
        QList<SearchableItem> items;
        for (const CanvasCard *card : std::as_const(cards))
            items << DesktopSearchIndexService::searchableItem(CapturePipeline::desktopSearchRecord(card, {note}),
                                                           DesktopSearchIndexService::defaultDomainIdentifier());
        return bool(index.indexItems(items));
    }

    QTemporaryDir m_root;
    QProcess m_daemon;
    QString m_address;
    std::unique_ptr<QDBusConnection> m_bus;
    QProcessEnvironment m_environment;
    QHash<QString, QString> m_snips;
    qint64 m_appPid = -1;
};

} // namespace

class DesktopSearchActivationTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void aStartForTheSearchOpensNoWindowUntilAResultIsPicked();
    void aLaterPlainStartShowsTheWindow();
    void aSearchCarriedOnComesInFrontOfTheFirstRun();
    void aStartForTheSearchLeavesWhenNotAskedAndIsStartedAgain();
};

void DesktopSearchActivationTest::aStartForTheSearchOpensNoWindowUntilAResultIsPicked()
{
    SearchSession session;
    QVERIFY(session.start());

    // Nothing holds the name: the bus starts the app for this call.
    const QDBusMessage answer = session.call(QStringLiteral("GetInitialResultSet"), {QStringList{"harbour"}});
    QCOMPARE(answer.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(answer.arguments().value(0).toStringList(),
             (QStringList{session.snip("Harbour fees"), session.snip("Harbour map")}));
    const qint64 pid = session.appPid();
    QVERIFY(pid > 0);
    // The bus started the binary the installed service file names.
    QCOMPARE(session.appBinary(), QFileInfo(installedPrefix() + QStringLiteral("/bin/tessaline")).canonicalFilePath());
    const QDBusMessage metas = session.call(QStringLiteral("GetResultMetas"), {QStringList{session.snip("Harbour map")}});
    QCOMPARE(metas.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(visibleWindows(pid), 0);
    qInfo("Resident memory of the start made for the search: %lld KiB", residentKiB(pid));

    // Another start made by the bus while this one runs leaves at once, and
    // this one keeps answering.
    QProcess second;
    second.setProcessEnvironment(session.environment());
    second.start(installedPrefix() + QStringLiteral("/bin/tessaline"), {QStringLiteral("--search-provider")});
    QVERIFY(second.waitForFinished(30000));
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(session.appPid(), pid);
    QCOMPARE(visibleWindows(pid), 0);

    // Picking a result brings up the gallery on that snip, ahead of the
    // first-run setup this new library would show.
    const QDBusMessage picked = session.call(QStringLiteral("ActivateResult"),
                                             {session.snip("Harbour map"), QStringList{"harbour"}, 0u});
    QCOMPARE(picked.type(), QDBusMessage::ReplyMessage);
    QTRY_VERIFY_WITH_TIMEOUT(visibleWindows(pid, QStringLiteral("^Snip gallery$")) > 0, 60000);
    QCOMPARE(session.appPid(), pid);
}

void DesktopSearchActivationTest::aLaterPlainStartShowsTheWindow()
{
    SearchSession session;
    QVERIFY(session.start());
    QCOMPARE(session.call(QStringLiteral("GetInitialResultSet"), {QStringList{"fees"}}).arguments().value(0).toStringList(),
             QStringList{session.snip("Harbour fees")});
    const qint64 pid = session.appPid();
    QVERIFY(pid > 0);
    QCOMPARE(visibleWindows(pid), 0);

    // The user starts the app: the instance that answered shows its window.
    QProcess plain;
    plain.setProcessEnvironment(session.environment());
    plain.start(installedPrefix() + QStringLiteral("/bin/tessaline"), QStringList{});
    QVERIFY(plain.waitForFinished(30000));
    QCOMPARE(plain.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(visibleWindows(pid, QStringLiteral("^Tessaline$")) > 0, 60000);
    QCOMPARE(session.appPid(), pid);
}

// The app runs with its first-run setup over the window (a new library):
// the search the desktop carries on into it shows in front, not under the
// setup, which comes back at the next start.
void DesktopSearchActivationTest::aSearchCarriedOnComesInFrontOfTheFirstRun()
{
    SearchSession session;
    QVERIFY(session.start());
    QCOMPARE(session.call(QStringLiteral("GetInitialResultSet"), {QStringList{"harbour"}}).type(),
             QDBusMessage::ReplyMessage);
    const qint64 pid = session.appPid();
    QVERIFY(pid > 0);
    QProcess plain;
    plain.setProcessEnvironment(session.environment());
    plain.start(installedPrefix() + QStringLiteral("/bin/tessaline"), QStringList{});
    QVERIFY(plain.waitForFinished(30000));
    // The window and the setup's sheet over it.
    QTRY_COMPARE_WITH_TIMEOUT(visibleWindows(pid, QStringLiteral("^Tessaline$")), 2, 60000);

    QCOMPARE(session.call(QStringLiteral("LaunchSearch"), {QStringList{"harbour"}, 0u}).type(),
             QDBusMessage::ReplyMessage);
    QTRY_COMPARE_WITH_TIMEOUT(visibleWindows(pid, QStringLiteral("^Tessaline$")), 1, 60000);
}

void DesktopSearchActivationTest::aStartForTheSearchLeavesWhenNotAskedAndIsStartedAgain()
{
    // The bus hands its environment to what it starts.
    qputenv("TESSALINE_SEARCH_PROVIDER_IDLE_MS", "2000");
    SearchSession session;
    const bool started = session.start();
    qunsetenv("TESSALINE_SEARCH_PROVIDER_IDLE_MS");
    QVERIFY(started);
    QCOMPARE(session.call(QStringLiteral("GetInitialResultSet"), {QStringList{"harbour"}}).type(),
             QDBusMessage::ReplyMessage);
    const qint64 first = session.appPid();
    QVERIFY(first > 0);

    // Nothing asked: it leaves, and its name with it.
    QTRY_VERIFY_WITH_TIMEOUT(residentKiB(first) <= 0, 60000);
    QVERIFY(session.appPid() < 0);

    // The next search starts it again, and it answers as before.
    const QDBusMessage answer = session.call(QStringLiteral("GetInitialResultSet"), {QStringList{"fees"}});
    QCOMPARE(answer.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(answer.arguments().value(0).toStringList(), QStringList{session.snip("Harbour fees")});
    const qint64 second = session.appPid();
    QVERIFY(second > 0);
    QVERIFY(second != first);
}

QTEST_MAIN(DesktopSearchActivationTest)
#include "tst_desktopsearchactivation.moc"
