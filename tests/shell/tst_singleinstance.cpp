#include "shell/SingleInstance.h"

#include <QFile>
#include <QFuture>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QtConcurrent/QtConcurrentRun>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tessaline;

class SingleInstanceTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void oneInstancePerRuntimeDirectory();
    void aStartWhileTheInstanceIsNotListeningYetWaitsForIt();
    void aLockLeftByAGoneProcessIsTakenOver();
};

void SingleInstanceTest::oneInstancePerRuntimeDirectory()
{
    QTemporaryDir session;
    QTemporaryDir otherSession;
    SingleInstance first(session.path());
    QVERIFY(first.claim());
    QVERIFY(first.serverName().startsWith(session.path()));
    QSignalSpy forward(&first, &SingleInstance::activationRequested);

    // A second start in the same session asks the first to come forward.
    SingleInstance second(session.path());
    QVERIFY(!second.claim());
    QVERIFY(forward.wait(5000));

    // Another session's start is an instance of its own, and the first
    // hears nothing of it.
    SingleInstance elsewhere(otherSession.path());
    QVERIFY(elsewhere.claim());
    QCoreApplication::processEvents();
    QCOMPARE(forward.count(), 1);
}

void SingleInstanceTest::aStartWhileTheInstanceIsNotListeningYetWaitsForIt()
{
    // Two starts at the same moment: one has taken the lock and is about to
    // listen when the other looks. The other must hand over, never listen
    // itself.
    QTemporaryDir session;
    QLockFile taken(session.filePath(QStringLiteral("tessaline.lock")));
    QVERIFY(taken.tryLock(0));
    SingleInstance second(session.path());
    QFuture<bool> claimed = QtConcurrent::run([&second] { return second.claim(); });

    QLocalServer first;
    QVERIFY(first.listen(second.serverName()));
    QByteArray heard;
    connect(&first, &QLocalServer::newConnection, this, [&] {
        QLocalSocket *socket = first.nextPendingConnection();
        connect(socket, &QLocalSocket::readyRead, this, [&heard, socket] { heard += socket->readAll(); });
    });
    QTRY_VERIFY_WITH_TIMEOUT(claimed.isFinished(), 15000);
    QVERIFY(!claimed.result());
    QTRY_COMPARE(heard, QByteArray("activate\n"));
}

void SingleInstanceTest::aLockLeftByAGoneProcessIsTakenOver()
{
    // A crashed instance leaves its lock file and its socket behind: the
    // lock names a process that is no longer there.
    QTemporaryDir session;
    {
        QFile lock(session.filePath(QStringLiteral("tessaline.lock")));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write("999999999\ntessaline\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        QFile socket(session.filePath(QStringLiteral("tessaline.socket")));
        QVERIFY(socket.open(QIODevice::WriteOnly));
    }
    SingleInstance next(session.path());
    QVERIFY(next.claim());
    SingleInstance later(session.path());
    QVERIFY(!later.claim());
}

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "tst_singleinstance.moc"
