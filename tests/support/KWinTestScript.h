#pragma once

// Asks the headless KDE session's KWin what it shows, through a script of
// the test's that KWin runs.

#include "WaylandTestSupport.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

namespace tessaline::waylandtest {

// Runs `body` (JavaScript of KWin's scripting API) in KWin and returns what
// it passed to report(), each an array, in order; empty when KWin did not
// run it in time. KWin prints into its log, which the session keeps.
inline QList<QJsonArray> kwinReport(const QString &body)
{
    static int runs = 0;
    const QString marker = QStringLiteral("tessaline-test-%1-%2").arg(QCoreApplication::applicationPid()).arg(++runs);
    QTemporaryDir directory;
    QFile script(directory.filePath(QStringLiteral("report.js")));
    if (!script.open(QIODevice::WriteOnly))
        return {};
    script.write(QStringLiteral("function report(values) { print('%1 ' + JSON.stringify(values)); }"
                                "%2\nprint('%1 end');")
                     .arg(marker, body)
                     .toUtf8());
    script.close();
    // KWin runs as the session's user, who may not be the test's.
    const auto readable = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    QFile::setPermissions(directory.path(), readable | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
    script.setPermissions(readable);
    QFile log(qEnvironmentVariable("WAYLAND_SESSION_DIR") + QStringLiteral("/logs/kwin.log"));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    log.seek(log.size());
    const auto call = [](const QString &method, const QVariantList &arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.kde.KWin"), QStringLiteral("/Scripting"),
                                                              QStringLiteral("org.kde.kwin.Scripting"), method);
        message.setArguments(arguments);
        return QDBusConnection::sessionBus().call(message, QDBus::Block, patience);
    };
    call(QStringLiteral("loadScript"), {script.fileName(), marker});
    call(QStringLiteral("start"), {});
    QByteArray printed;
    const QByteArray end = (marker + QStringLiteral(" end")).toUtf8();
    [[maybe_unused]] const bool ended = QTest::qWaitFor([&] { return (printed += log.readAll()).contains(end); }, patience);
    call(QStringLiteral("unloadScript"), {marker});
    QList<QJsonArray> reported;
    for (const QByteArray &line : printed.split('\n')) {
        const qsizetype at = line.indexOf((marker + u' ').toUtf8());
        if (at < 0 || line.endsWith(" end"))
            continue;
        reported.append(QJsonDocument::fromJson(line.mid(at + marker.size() + 1)).array());
    }
    return reported;
}

// Gives the focus to the first app's window of the process (of that
// caption, when one is given, without quotes), as a user's click would.
inline void kwinActivate(qint64 pid, const QString &caption = QString())
{
    kwinReport(QStringLiteral("const list = workspace.clientList();"
                              "for (let i = 0; i < list.length; ++i) { const c = list[i];"
                              " if (c.pid == %1 && c.normalWindow && ('%2' == '' || c.caption == '%2')) {"
                              "  workspace.activeClient = c; break; } }")
                   .arg(pid)
                   .arg(caption));
}

} // namespace tessaline::waylandtest
