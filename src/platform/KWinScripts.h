#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QHash>
#include <QTemporaryDir>

#include <memory>
#include <optional>

class QThread;

namespace tessaline {

// Runs scripts of ours inside KWin, through its scripting D-Bus interface:
// what a Wayland client may not ask for itself (a window kept above others
// and on every desktop, a window of ours brought forward while another
// app's has the focus), KWin's own scripts may do.
class KWinScripts final : public QObject
{
public:
    // The session's, or none where KWin does not run a KDE session.
    static KWinScripts *session();
    ~KWinScripts() override;

    // Loads `source` (JavaScript of KWin's scripting API) under a name of
    // this process and this run for `purpose` and starts it; the script loaded before
    // for the same purpose goes first. KWin keeps a script until told
    // otherwise: ours go as the application quits.
    void run(const QString &purpose, const QString &source);

    // Runs `source` for `purpose` as run() does and waits, for at most
    // `timeout` milliseconds, for what it passes to answer(text), a
    // function the script may call once; none when it did not answer in
    // time. The event loop does not run meanwhile.
    std::optional<QString> ask(const QString &purpose, const QString &source, int timeout);

    // The JavaScript text of a string.
    static QString quoted(const QString &text);

private:
    KWinScripts();
    // Writes the script for KWin to read, under its name for `purpose`;
    // the call that loads it, or none when it could not be written.
    std::optional<QDBusMessage> written(const QString &purpose, const QString &source);
    void stopAnswers();

    // Where KWin reads our scripts; it reads one after it has said it would
    // run it, so the files live as long as we do.
    std::unique_ptr<QTemporaryDir> m_directory;
    int m_runs = 0;
    // The name of the script loaded for each purpose.
    QHash<QString, QString> m_loaded;
    // Scripts' answers arrive on a connection and a thread of their own,
    // so the main thread can wait for one without running its event loop.
    std::unique_ptr<QThread> m_answerThread;
    QObject *m_answers = nullptr;
    std::optional<QDBusConnection> m_answerBus;
};

} // namespace tessaline
