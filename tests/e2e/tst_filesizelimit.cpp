// A write past the file-size limit (`ulimit -f`, which a login shell, a
// desktop session or a service unit may set) fails as a full disk does and
// is reported, instead of the kernel's SIGXFSZ ending the app before it can
// say or keep anything. The real tessaline binary starts with a limit too
// small for a new library.
#include "AppEnvironment.h"
#include "../support/ProcessEnd.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

class FileSizeLimitTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void libraryPastTheLimitIsReported();
};

void FileSizeLimitTest::libraryPastTheLimitIsReported()
{
    QTemporaryDir home;
    QTemporaryDir runtime;
    QVERIFY(home.isValid() && runtime.isValid());
    QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QProcessEnvironment environment
        = tessaline::e2e::sessionOfItsOwn(home.path(), runtime.path(), QStringLiteral("offscreen"));

    QProcess app;
    app.setProcessEnvironment(environment);
    // A new library's first transaction is larger than this.
    app.setChildProcessModifier([] {
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 16 * 1024;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    app.start(QStringLiteral(TESSALINE_BINARY), {});
    QVERIFY(app.waitForStarted(5000));
    QString errors;
    QTRY_VERIFY2_WITH_TIMEOUT(app.state() != QProcess::Running
                                  || (errors += QString::fromUtf8(app.readAllStandardError()))
                                         .contains(QStringLiteral("could not create its local store")),
                              qPrintable(errors), 30000);
    errors += QString::fromUtf8(app.readAllStandardError());
    // Still up, showing why it cannot go on; not ended by a signal.
    QVERIFY2(app.state() == QProcess::Running,
             qPrintable(QStringLiteral("ended (%1, code %2): %3")
                            .arg(app.exitStatus() == QProcess::CrashExit ? QStringLiteral("by a signal")
                                                                         : QStringLiteral("by itself"))
                            .arg(app.exitCode())
                            .arg(errors)));
    QVERIFY2(errors.contains(QStringLiteral("could not be created")), qPrintable(errors));
    tessaline::endProcess(app);
}

QTEST_GUILESS_MAIN(FileSizeLimitTest)
#include "tst_filesizelimit.moc"
