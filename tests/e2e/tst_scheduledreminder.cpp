// The weekly reminder as the systemd timer's service shows it: the real
// tessaline binary started with the service's command line, on the test's
// session bus beside a fake notification server, without a display, in a
// runtime directory where the test plays the Tessaline already running. A
// click on the reminder brings that one forward with the click's token; a
// dismissed reminder ends the start with nothing more.
#include "../platform/FakeNotificationServer.h"
#include "platform/ScheduledReminder.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace tessaline;

class ScheduledReminderTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("needs a session bus (run under dbus-run-session)");
    }

    void clickBringsTessalineForward_data()
    {
        QTest::addColumn<bool>("clicked");
        QTest::newRow("clicked") << true;
        QTest::newRow("dismissed") << false;
    }

    void clickBringsTessalineForward()
    {
        QFETCH(const bool, clicked);
        FakeNotificationServer server;
        QVERIFY(server.start());
        QTemporaryDir home;
        QTemporaryDir runtime;
        QVERIFY(home.isValid() && runtime.isValid());
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        // The Tessaline that runs: it holds the instance's lock and listens
        // beside it for what later starts ask of it.
        QLockFile lock(runtime.filePath(QStringLiteral("tessaline.lock")));
        QVERIFY(lock.tryLock(0));
        QLocalServer instance;
        QVERIFY(instance.listen(runtime.filePath(QStringLiteral("tessaline"))));
        QByteArray asked;
        connect(&instance, &QLocalServer::newConnection, this, [&] {
            while (QLocalSocket *socket = instance.nextPendingConnection()) {
                connect(socket, &QLocalSocket::readyRead, this, [&asked, socket] { asked += socket->readAll(); });
                connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            }
        });

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                                 "XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID"})
            environment.remove(QString::fromLatin1(name));
        // What a click starts has the window system a desktop session has;
        // the reminder's own start needs none.
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess reminder;
        reminder.setProcessEnvironment(environment);
        reminder.setProcessChannelMode(QProcess::ForwardedChannels);
        reminder.start(QStringLiteral(TESSALINE_BINARY),
                       ScheduledReminder::arguments(QStringLiteral("A note may be worth continuing"),
                                                    QStringLiteral("Open Tessaline to return to it."), false));
        QVERIFY(reminder.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(server.received.size(), 1, 20000);
        QCOMPARE(server.received.at(0).summary, QStringLiteral("A note may be worth continuing"));
        QCOMPARE(server.received.at(0).body, QStringLiteral("Open Tessaline to return to it."));
        QCOMPARE(server.received.at(0).actions.value(0), QStringLiteral("default"));
        QVERIFY(!server.received.at(0).hints.contains(QStringLiteral("suppress-sound")));

        if (clicked) {
            QVERIFY(server.click(1, QStringLiteral("token-of-the-click")));
            QTRY_COMPARE_WITH_TIMEOUT(asked, QByteArray("activate token-of-the-click\n"), 20000);
        } else {
            QVERIFY(server.close(1));
        }
        QTRY_COMPARE_WITH_TIMEOUT(reminder.state(), QProcess::NotRunning, 20000);
        QCOMPARE(reminder.exitStatus(), QProcess::NormalExit);
        QCOMPARE(reminder.exitCode(), 0);
        if (!clicked)
            QCOMPARE(asked, QByteArray());
    }
};

QTEST_GUILESS_MAIN(ScheduledReminderTest)
#include "tst_scheduledreminder.moc"
