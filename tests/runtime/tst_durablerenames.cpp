// A file renamed into place (a settings file, an exported file) is durable
// only once its folder has been synced. The test runs its own binary under
// strace to write one of them, and reads from the system calls that the
// folder was synced after the rename.
#include "platform/UserDefaults.h"
#include "runtime/SaveFileFlow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace tessaline;

namespace {

// What the traced copy of this binary does, by the first argument.
int writeOne(const QString &kind, const QString &path)
{
    if (kind == u"settings") {
        UserDefaults defaults(path);
        defaults.setString(QStringLiteral("activeBoardID"), QStringLiteral("A"));
        // The write happens from the event loop, as in the app.
        QCoreApplication::processEvents();
        return QFile::exists(path) ? 0 : 1;
    }
    return SaveFileFlow::writeFileAtomically(path, QByteArray("exported")) ? 0 : 1;
}

} // namespace

class DurableRenamesTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void folderIsSyncedAfterTheRename_data();
    void folderIsSyncedAfterTheRename();
};

void DurableRenamesTest::folderIsSyncedAfterTheRename_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("replacing");
    QTest::newRow("settings") << "settings" << "Tessaline.conf" << false;
    QTest::newRow("settings changed") << "settings" << "Tessaline.conf" << true;
    QTest::newRow("exported file") << "export" << "Snip.png" << false;
    QTest::newRow("exported over an older file") << "export" << "Snip.png" << true;
}

void DurableRenamesTest::folderIsSyncedAfterTheRename()
{
    QFETCH(QString, kind);
    QFETCH(QString, name);
    QFETCH(bool, replacing);
    const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    if (strace.isEmpty())
        QSKIP("strace is not installed");
    QTemporaryDir dir;
    const QString folder = QDir(dir.path()).canonicalPath();
    const QString path = folder + u'/' + name;
    const QString trace = dir.filePath(QStringLiteral("trace.txt"));
    if (replacing) {
        QFile older(path);
        QVERIFY(older.open(QIODevice::WriteOnly));
        older.write(kind == u"settings" ? "[General]\nolder=1\n" : "older");
    }
    QProcess traced;
    // LeakSanitizer cannot run under a tracer: a sanitized build's child
    // leaves its leak check out rather than fail.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString sanitizer = environment.value(QStringLiteral("ASAN_OPTIONS"));
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       sanitizer.isEmpty() ? QStringLiteral("detect_leaks=0") : sanitizer + QStringLiteral(":detect_leaks=0"));
    traced.setProcessEnvironment(environment);
    traced.start(strace, {QStringLiteral("-f"), QStringLiteral("-o"), trace, QStringLiteral("-e"),
                          QStringLiteral("trace=rename,renameat,renameat2,linkat,openat,open,fsync,fdatasync"),
                          QCoreApplication::applicationFilePath(), QStringLiteral("--write"), kind, path});
    QVERIFY(traced.waitForFinished(60000));
    QFile file(trace);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString calls = QString::fromUtf8(file.readAll());
    if (traced.exitCode() != 0 && calls.isEmpty())
        QSKIP("strace may not trace here (ptrace is not allowed)");
    QCOMPARE(traced.exitCode(), 0);

    // The file put in place (renamed, or linked from an unnamed temporary
    // file), then the folder opened and synced.
    const QRegularExpression placed(
        QStringLiteral("(?:rename|renameat2?|linkat)\\(.*\"%1\"(?:, [A-Z_]+)?\\)\\s*= 0").arg(QRegularExpression::escape(path)));
    const QRegularExpressionMatch place = placed.match(calls);
    QVERIFY2(place.hasMatch(), qPrintable(calls.right(2000)));
    const qsizetype renamed = place.capturedEnd();
    const QRegularExpression openedFolder(
        QStringLiteral("open(?:at)?\\((?:AT_FDCWD, )?\"%1\", [^)]*O_DIRECTORY[^)]*\\)\\s*= (\\d+)")
            .arg(QRegularExpression::escape(folder)));
    const QRegularExpressionMatch opened = openedFolder.match(calls, renamed);
    QVERIFY2(opened.hasMatch(), qPrintable(calls.mid(renamed)));
    const QRegularExpression synced(QStringLiteral("fsync\\(%1\\)\\s*= 0").arg(opened.captured(1)));
    QVERIFY2(synced.match(calls, opened.capturedEnd()).hasMatch(), qPrintable(calls.mid(renamed)));
}

int main(int argc, char *argv[])
{
    if (argc == 4 && QByteArray(argv[1]) == "--write") {
        QCoreApplication application(argc, argv);
        return writeOne(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QCoreApplication application(argc, argv);
    DurableRenamesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_durablerenames.moc"
