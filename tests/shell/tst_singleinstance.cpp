// A later start reaches the running instance: to bring it forward, or to run
// a capture command given on its command line.
#include "shell/SingleInstance.h"

#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

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
};

QTEST_MAIN(SingleInstanceTest)
#include "tst_singleinstance.moc"
