#pragma once

// Helpers for the tests that run the real tessaline binary: programs started
// for a test and ended by their process id, the X tools that drive it, and
// reads of the store the app wrote.

#include "AppEnvironment.h"
#include "../support/ProcessEnd.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QPoint>
#include <QProcess>
#include <QScreen>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <signal.h>

namespace tessaline::e2e {

// How long a test waits for a program it started to start or end: on a
// machine loaded to four times its processors a start takes seconds.
constexpr int programPatience = 60'000;

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
        m_process.waitForStarted(programPatience);
    }
    ~Helper() { stop(); }
    void stop() { endProcess(m_process); }
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    // True once the program has ended by itself within the time given.
    bool waitForExit(int milliseconds) { return m_process.waitForFinished(milliseconds); }
    int exitCode() const { return m_process.exitCode(); }
    QByteArray output() { return m_process.readAllStandardOutput(); }
    qint64 processId() const { return m_process.processId(); }

private:
    QProcess m_process;
};

// Runs a program to its end; true when it ended well.
inline bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(programPatience) && process.exitCode() == 0;
}

// What a program printed, trimmed.
inline QString output(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(programPatience);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// Drags with the first button on the X server from one point to another in
// small steps, as a hand would; each step waits until the pointer is there.
inline bool xdotoolDrag(const QPoint &from, const QPoint &to)
{
    QStringList arguments{QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(from.x()),
                          QString::number(from.y()), QStringLiteral("mousedown"), QStringLiteral("1")};
    for (int step = 1; step <= 10; ++step) {
        const QPoint at = from + (to - from) * step / 10;
        arguments << QStringLiteral("mousemove") << QStringLiteral("--sync") << QString::number(at.x())
                  << QString::number(at.y());
    }
    arguments << QStringLiteral("mouseup") << QStringLiteral("1");
    return run(QStringLiteral("xdotool"), arguments);
}

#ifdef TESSALINE_ARTIFACTS
// The whole screen, kept beside the test's build for a look afterwards.
inline void saveScreenshot(const QString &name)
{
    QDir().mkpath(QStringLiteral(TESSALINE_ARTIFACTS));
    QGuiApplication::primaryScreen()->grabWindow(0).save(QStringLiteral(TESSALINE_ARTIFACTS "/") + name);
}
#endif

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
