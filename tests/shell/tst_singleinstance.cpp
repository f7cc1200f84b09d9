// A later start reaches the running instance: to bring it forward, or to run
// a capture command given on its command line; starts in other sessions and
// starts at the same moment never make a second instance.
#include "shell/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFuture>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent/QtConcurrentRun>

using namespace tessaline;

Q_DECLARE_METATYPE(tessaline::CaptureCommand)

class SingleInstanceTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void laterStartsReachTheRunningInstance_data()
    {
        QTest::addColumn<QString>("option"); // empty: a plain start
        QTest::newRow("plain start") << QString();
        for (const CaptureCommand command : allCaptureCommands())
            QTest::newRow(qPrintable(captureCommandOption(command))) << captureCommandOption(command);
    }

    void laterStartsReachTheRunningInstance()
    {
        QFETCH(QString, option);
        QTemporaryDir directory;
        const QString name = directory.filePath(QStringLiteral("instance"));
        SingleInstance running(name);
        QVERIFY(running.claim());
        QSignalSpy activations(&running, &SingleInstance::activationRequested);
        QSignalSpy commands(&running, &SingleInstance::commandRequested);

        SingleInstance later(name);
        const auto command = captureCommandFromOption(option);
        QCOMPARE(command.has_value(), !option.isEmpty());
        QVERIFY(!later.claim(false, command));

        if (command) {
            QVERIFY(commands.wait(5000));
            QCOMPARE(commands.first().first().value<CaptureCommand>(), *command);
            QCOMPARE(activations.count(), 0);
        } else {
            QVERIFY(activations.wait(5000));
            QCOMPARE(commands.count(), 0);
        }
    }

    // A runtime directory emptied while the instance runs (by a session
    // manager, or by hand) comes back with the instance's socket and lock,
    // so a later start still reaches it, and a command from a key binding
    // still runs in it.
    void instanceOutlivesItsRuntimeDirectory()
    {
        QTemporaryDir directory;
        const QString runtime = directory.filePath(QStringLiteral("runtime"));
        QVERIFY(QDir().mkpath(runtime));
        const QString name = runtime + QStringLiteral("/instance");
        SingleInstance running(name);
        QVERIFY(running.claim());
        QSignalSpy commands(&running, &SingleInstance::commandRequested);

        QVERIFY(QDir(runtime).removeRecursively());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(name) && QFileInfo::exists(name + QStringLiteral(".lock")), 20000);
        QCOMPARE(QFileInfo(runtime).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
                 QFileDevice::Permissions());

        SingleInstance later(name);
        QVERIFY(!later.claim(false, CaptureCommand::captureRegion));
        QVERIFY(commands.wait(5000));
        QCOMPARE(commands.first().first().value<CaptureCommand>(), CaptureCommand::captureRegion);
    }

    void aStartForTheDesktopSearchAsksNothing()
    {
        QTemporaryDir directory;
        const QString name = directory.filePath(QStringLiteral("instance"));
        SingleInstance running(name);
        QVERIFY(running.claim());
        QSignalSpy activations(&running, &SingleInstance::activationRequested);
        QSignalSpy commands(&running, &SingleInstance::commandRequested);

        // Started by the bus while the app runs: it leaves the window alone.
        QVERIFY(!SingleInstance(name).claimQuietly());
        // A plain start afterwards is the one request that arrives.
        QVERIFY(!SingleInstance(name).claim());
        QVERIFY(activations.wait(5000));
        QCOMPARE(activations.count(), 1);
        QCOMPARE(commands.count(), 0);

        // With no instance running, it becomes the instance.
        QTemporaryDir other;
        SingleInstance quiet(other.filePath(QStringLiteral("instance")));
        QVERIFY(quiet.claimQuietly());
        QVERIFY(!SingleInstance(other.filePath(QStringLiteral("instance"))).claim());
    }

    // The launcher's activation token reaches the running instance, which
    // needs it to come forward on a Wayland desktop; no token, or no
    // well-formed one, reads as none. A launcher that gives only a startup
    // id (GNOME Shell through GLib 2.74) gives what its compositor takes as
    // the token.
    void activationTokenIsHandedOn_data()
    {
        QTest::addColumn<QByteArray>("token");
        QTest::addColumn<QByteArray>("startupID");
        QTest::addColumn<QString>("received");
        QTest::newRow("token") << QByteArray("0f3c_tessaline-test:7") << QByteArray() << QStringLiteral("0f3c_tessaline-test:7");
        QTest::newRow("none") << QByteArray() << QByteArray() << QString();
        QTest::newRow("with a space") << QByteArray("two words") << QByteArray() << QString();
        QTest::newRow("too long") << QByteArray(201, 'k') << QByteArray() << QString();
        QTest::newRow("startup id only") << QByteArray() << QByteArray("fbeec04d-e3b0-4fe8-9a05-63403d57db3b")
                                         << QStringLiteral("fbeec04d-e3b0-4fe8-9a05-63403d57db3b");
        QTest::newRow("token before startup id") << QByteArray("0f3c_token") << QByteArray("a1b2-startup")
                                                 << QStringLiteral("0f3c_token");
        QTest::newRow("malformed startup id") << QByteArray() << QByteArray("two words") << QString();
    }

    void activationTokenIsHandedOn()
    {
        QFETCH(QByteArray, token);
        QFETCH(QByteArray, startupID);
        QFETCH(QString, received);
        QTemporaryDir directory;
        const QString name = directory.filePath(QStringLiteral("instance"));
        SingleInstance running(name);
        QVERIFY(running.claim());
        QSignalSpy activations(&running, &SingleInstance::activationRequested);
        const QByteArray savedToken = qgetenv("XDG_ACTIVATION_TOKEN");
        const QByteArray savedStartupID = qgetenv("DESKTOP_STARTUP_ID");
        qputenv("XDG_ACTIVATION_TOKEN", token);
        qputenv("DESKTOP_STARTUP_ID", startupID);
        const bool claimed = SingleInstance(name).claim();
        qputenv("XDG_ACTIVATION_TOKEN", savedToken);
        qputenv("DESKTOP_STARTUP_ID", savedStartupID);
        QVERIFY(!claimed);
        QVERIFY(activations.wait(5000));
        QCOMPARE(activations.first().first().toString(), received);
    }

    void foreignRequestsAreIgnored()
    {
        QTemporaryDir directory;
        const QString name = directory.filePath(QStringLiteral("instance"));
        SingleInstance running(name);
        QVERIFY(running.claim());
        QSignalSpy activations(&running, &SingleInstance::activationRequested);
        QSignalSpy commands(&running, &SingleInstance::commandRequested);
        QLocalSocket socket;
        socket.connectToServer(name);
        QVERIFY(socket.waitForConnected(5000));
        socket.write("command format-disk\ncommand\nactivate-all\n" + QByteArray(300, 'x'));
        QVERIFY(socket.waitForBytesWritten(5000));
        // A well-formed request after them shows that the junk was read.
        SingleInstance later(name);
        QVERIFY(!later.claim(false, CaptureCommand::quickNote));
        QTRY_COMPARE(commands.count(), 1);
        QCOMPARE(commands.first().first().value<CaptureCommand>(), CaptureCommand::quickNote);
        QCOMPARE(activations.count(), 0);
    }

    void oneInstancePerRuntimeDirectory()
    {
        QTemporaryDir session;
        QTemporaryDir otherSession;
        SingleInstance first(session.filePath(QStringLiteral("tessaline")));
        QVERIFY(first.claim());
        QSignalSpy forward(&first, &SingleInstance::activationRequested);

        // Another session's start is an instance of its own, and the first
        // hears nothing of it.
        SingleInstance elsewhere(otherSession.filePath(QStringLiteral("tessaline")));
        QVERIFY(elsewhere.claim());
        QCoreApplication::processEvents();
        QCOMPARE(forward.count(), 0);
        QVERIFY(!SingleInstance(session.filePath(QStringLiteral("tessaline"))).claim());
        QVERIFY(forward.wait(5000));
    }

    void aStartWhileTheInstanceIsNotListeningYetWaitsForIt()
    {
        // Two starts at the same moment: one has taken the lock and is about
        // to listen when the other looks. The other must hand over, never
        // listen itself.
        QTemporaryDir session;
        const QString name = session.filePath(QStringLiteral("tessaline"));
        QLockFile taken(name + QStringLiteral(".lock"));
        QVERIFY(taken.tryLock(0));
        SingleInstance second(name);
        QFuture<bool> claimed = QtConcurrent::run([&second] { return second.claim(); });

        QLocalServer first;
        QVERIFY(first.listen(name));
        QByteArray heard;
        connect(&first, &QLocalServer::newConnection, this, [&] {
            QLocalSocket *socket = first.nextPendingConnection();
            connect(socket, &QLocalSocket::readyRead, this, [&heard, socket] { heard += socket->readAll(); });
        });
        QTRY_VERIFY_WITH_TIMEOUT(claimed.isFinished(), 15000);
        QVERIFY(!claimed.result());
        QTRY_COMPARE(heard, QByteArray("activate\n"));
    }

    void aLockLeftByAGoneProcessIsTakenOver()
    {
        // A crashed instance leaves its lock file and its socket behind: the
        // lock names a process that is no longer there.
        QTemporaryDir session;
        const QString name = session.filePath(QStringLiteral("tessaline"));
        {
            QFile lock(name + QStringLiteral(".lock"));
            QVERIFY(lock.open(QIODevice::WriteOnly));
            lock.write("999999999\ntessaline\n" + QSysInfo::machineHostName().toUtf8() + "\n");
            QFile socket(name);
            QVERIFY(socket.open(QIODevice::WriteOnly));
        }
        SingleInstance next(name);
        QVERIFY(next.claim());
        QVERIFY(!SingleInstance(name).claim());
    }
};

QTEST_MAIN(SingleInstanceTest)
#include "tst_singleinstance.moc"
