// A request to quit with changes the library will not take: the user is
// asked, and staying keeps them for a later save. The library is a real
// SQLite file; the full disk is this process's file size limit, which makes
// every write past it fail, as a full disk does.
#include "shell/QuitGuard.h"

#include "model/Board.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "model/StoreError.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <sys/resource.h>

using namespace tessaline;

namespace {

// Writes past the first byte of any file fail while it lives, with EFBIG
// rather than the signal that would end the process.
class FullDisk
{
public:
    FullDisk()
    {
        ::getrlimit(RLIMIT_FSIZE, &m_before);
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_before;
        limit.rlim_cur = 1;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FullDisk() { clear(); }
    void clear()
    {
        if (m_cleared)
            return;
        m_cleared = true;
        ::setrlimit(RLIMIT_FSIZE, &m_before);
        std::signal(SIGXFSZ, m_previousHandler);
    }

private:
    rlimit m_before{};
    void (*m_previousHandler)(int) = nullptr;
    bool m_cleared = false;
};

QString storedTitle(const QString &path)
{
    QString title;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        QSqlQuery query(db);
        if (db.open() && query.exec(QStringLiteral("SELECT title FROM Board")) && query.next())
            title = query.value(0).toString();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("reader"));
    return title;
}

// Quits through the application as the menus do; the exit code, which is
// `stayed` when the quit was turned down.
int quitApplication(int stayed)
{
    QObject run;
    QTimer::singleShot(0, &run, [&run, stayed] {
        QCoreApplication::quit();
        // Turned down, the quit leaves the loop running: this, queued
        // behind it, ends the loop then; it goes unrun with `run` otherwise.
        QMetaObject::invokeMethod(&run, [stayed] { QCoreApplication::exit(stayed); }, Qt::QueuedConnection);
    });
    return QCoreApplication::exec();
}

} // namespace

class QuitGuardTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void unsavedChangesAreSavedOrTheUserAsked_data();
    void unsavedChangesAreSavedOrTheUserAsked();
};

void QuitGuardTest::unsavedChangesAreSavedOrTheUserAsked_data()
{
    QTest::addColumn<QString>("change"); // "typed", "opened" (a note shown), or none
    QTest::addColumn<bool>("diskFull");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("quitsAnyway");
    QTest::addColumn<bool>("quits");
    QTest::addColumn<QString>("stored");
    QTest::newRow("nothing waits") << "" << false << false << false << true << "Saved";
    QTest::newRow("a change the library takes") << "typed" << false << false << false << true << "Typed";
    QTest::newRow("a full disk, the user stays") << "typed" << true << false << false << false << "Saved";
    QTest::newRow("a full disk, the user quits anyway") << "typed" << true << false << true << true << "Saved";
    // Asked too, but not promised a later save that never comes.
    QTest::newRow("opened for reading, the user stays") << "typed" << false << true << false << false << "Saved";
    QTest::newRow("opened for reading, the user quits anyway") << "typed" << false << true << true << true << "Saved";
    // Showing a note stamps it opened, the app's own note: nothing of the
    // user's is lost, and nothing is asked.
    QTest::newRow("opened for reading, a note only shown") << "opened" << false << true << false << true << "Saved";
}

void QuitGuardTest::unsavedChangesAreSavedOrTheUserAsked()
{
    QFETCH(QString, change);
    QFETCH(bool, diskFull);
    QFETCH(bool, readOnly);
    QFETCH(bool, quitsAnyway);
    QFETCH(bool, quits);
    QFETCH(QString, stored);

    QTemporaryDir dir;
    ModelContainer::Configuration configuration;
    configuration.directory = dir.path();
    auto container = ModelContainer::open(configuration);
    QVERIFY(container);
    ModelContext &context = *(*container)->mainContext();
    auto *note = new Board;
    note->setTitle(QStringLiteral("Saved"));
    context.insert(note);
    QVERIFY(context.save());
    const QString path = (*container)->filePath();

    QStringList asked;
    QuitGuard guard(context, [&](const QString &message) {
        asked << message;
        return quitsAnyway;
    });
    QCoreApplication::instance()->installEventFilter(&guard);
    const StoreError readOnlyError{QStringLiteral("The library can only be read.")};
    if (readOnly)
        context.setReadOnly(readOnlyError);
    if (change == u"typed")
        note->setTitle(QStringLiteral("Typed"));
    else if (change == u"opened")
        note->markOpened(QDateTime::currentDateTimeUtc());
    const bool keptBack = change == u"typed" && (diskFull || readOnly);
    {
        std::optional<FullDisk> full;
        if (diskFull)
            full.emplace();
        constexpr int stayed = 7;
        QCOMPARE(quitApplication(stayed) != stayed, quits);
    }
    QCOMPARE(storedTitle(path), stored);
    QCOMPARE(asked.size(), keptBack ? 1 : 0);
    if (diskFull) {
        QVERIFY2(asked.constFirst().contains(QStringLiteral("could not be saved")), qPrintable(asked.constFirst()));
        QVERIFY2(asked.constFirst().contains(QStringLiteral("library could not be written")),
                 qPrintable(asked.constFirst()));
    }
    if (readOnly && keptBack) {
        QVERIFY2(asked.constFirst().contains(readOnlyError.message), qPrintable(asked.constFirst()));
        QVERIFY2(asked.constFirst().contains(QStringLiteral("will be lost")), qPrintable(asked.constFirst()));
        QVERIFY2(!asked.constFirst().contains(QStringLiteral("once the problem is fixed")),
                 qPrintable(asked.constFirst()));
    }
    // Kept by staying, the change is saved by the next quit, once there is room.
    QCOMPARE(context.hasChanges(), keptBack && !quitsAnyway);
    if (context.hasChanges() && !readOnly) {
        QCOMPARE(quitApplication(7), 0);
        QCOMPARE(storedTitle(path), QStringLiteral("Typed"));
        QCOMPARE(asked.size(), 1);
    }
    QCoreApplication::instance()->removeEventFilter(&guard);
}

QTEST_GUILESS_MAIN(QuitGuardTest)
#include "tst_quitguard.moc"
