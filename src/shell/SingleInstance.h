#pragma once

#include "capture/CaptureCommand.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class QFileSystemWatcher;
class QLocalServer;
class QLockFile;

namespace tessaline {

// One running Tessaline per user session: the first instance holds a lock
// file and listens on a local socket beside it, both in the session's
// private runtime directory ($XDG_RUNTIME_DIR); a later start in the same
// session asks it to come forward, or to run a command given on its command
// line, and then leaves. A start with another runtime directory (another
// session, a test run) is on its own.
//
// The runtime directory may be emptied while the instance runs (a session
// manager or a user cleaning up): the instance then makes its lock and
// socket again, and a start meanwhile that finds an older Tessaline of this
// session still running leaves the lock to it and waits for it to answer,
// rather than taking the library for one open in another session.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    // The socket's path in the session's runtime directory.
    static QString defaultName();

    // The lock file is the socket's path with ".lock" added.
    explicit SingleInstance(const QString &name = defaultName(), QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process is now the instance. False when another one
    // runs (it has been asked to come forward, or to run `command`). With
    // `replacePrevious`, an instance that is quitting (a relaunch) is waited
    // for, up to a timeout.
    bool claim(bool replacePrevious = false, std::optional<CaptureCommand> command = std::nullopt);
    // The same, for a start that wants nothing of a running instance (one
    // made only to answer the desktop's search): that one is left alone.
    bool claimQuietly();

Q_SIGNALS:
    // Another start asked this instance to come forward. A Wayland
    // compositor lets a window come forward with the activation token it
    // gave the start that asked (empty when it gave none).
    void activationRequested(const QString &activationToken);
    // Another start asked this instance to run a command.
    void commandRequested(tessaline::CaptureCommand command);

private:
    // An empty request only checks that the instance listens.
    bool askRunningInstance(const QByteArray &request);
    bool claimWith(bool replacePrevious, const QByteArray &request);
    // Until the deadline, asks whoever listens; true once one answered.
    bool askUntilAnswered(const QByteArray &request, int milliseconds);
    void listen();
    // The lock and the socket again, once their folder was taken away.
    void restore();
    void handleLine(const QByteArray &line);

    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
    QFileSystemWatcher *m_watcher = nullptr;
};

} // namespace tessaline
