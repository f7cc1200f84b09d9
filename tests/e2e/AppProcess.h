#pragma once

// Helpers for the tests that run the real tessaline binary: programs started
// for a test and ended by their process id, and reads of the store the app
// wrote.

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <signal.h>

namespace tessaline::e2e {

// A helper program started for the test and ended by its process id.
class Helper
{
public:
    Helper(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment = {})
    {
        m_process.setProgram(program);
        m_process.setArguments(arguments);
        if (!environment.isEmpty())
            m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        m_process.waitForStarted(5000);
    }
    ~Helper() { stop(); }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(m_process.processId()), SIGTERM);
        if (!m_process.waitForFinished(5000)) {
            ::kill(pid_t(m_process.processId()), SIGKILL);
            m_process.waitForFinished(2000);
        }
    }
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    int exitCode() const { return m_process.exitCode(); }
    QByteArray output() { return m_process.readAllStandardOutput(); }
    qint64 processId() const { return m_process.processId(); }

private:
    QProcess m_process;
};

// Reads one value from a SQLite file the app wrote, through a connection of
// our own that is closed again at once.
inline QVariant queryValue(const QString &path, const QString &statement)
{
    QVariant result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("e2e"));
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(statement) && query.next())
                result = query.value(0);
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("e2e"));
    return result;
}

} // namespace tessaline::e2e
