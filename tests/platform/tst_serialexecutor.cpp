#include "platform/SerialExecutor.h"

#include <QTest>

#include <cerrno>
#include <thread>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace tessaline;

namespace {

int threadNiceness()
{
    errno = 0;
    const int niceness = ::getpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid)));
    return errno == 0 ? niceness : -100;
}

} // namespace

class SerialExecutorTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Background work yields the processors to the main thread, and so do
    // the threads it starts (a recogniser's helpers); prompt work does not.
    void backgroundWorkYieldsWithItsHelpers_data()
    {
        QTest::addColumn<SerialExecutor::Urgency>("urgency");
        QTest::addColumn<bool>("yields");
        QTest::newRow("prompt") << SerialExecutor::Urgency::prompt << false;
        QTest::newRow("background") << SerialExecutor::Urgency::background << true;
    }
    void backgroundWorkYieldsWithItsHelpers()
    {
        QFETCH(SerialExecutor::Urgency, urgency);
        QFETCH(bool, yields);
        const int caller = threadNiceness();
        QVERIFY(caller != -100);
        QObject receiver;
        SerialExecutor executor(QStringLiteral("Test worker"), urgency);
        auto measured = executor.submit(&receiver, [] {
            int helper = -100;
            std::thread([&helper] { helper = threadNiceness(); }).join();
            return std::pair(threadNiceness(), helper);
        });
        QTRY_VERIFY(measured.isFinished());
        const auto [worker, helper] = measured.result();
        QCOMPARE(helper, worker);
        if (!yields)
            QCOMPARE(worker, caller);
        else if (caller < 19)
            QVERIFY2(worker > caller, qPrintable(QStringLiteral("%1 after %2").arg(worker).arg(caller)));
        else
            QCOMPARE(worker, 19);
    }
};

QTEST_GUILESS_MAIN(SerialExecutorTest)
#include "tst_serialexecutor.moc"
