#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;

namespace tessaline {

// One running Tessaline per user session: the first instance holds a lock
// file and listens on a local socket, both in the session's runtime
// directory ($XDG_RUNTIME_DIR, private to the session); a later start in the
// same session asks it to come forward and then leaves. A start with
// another runtime directory (another session, a test run) is on its own.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    // The session's runtime directory.
    static QString defaultDirectory();

    explicit SingleInstance(const QString &directory = defaultDirectory(), QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process is now the instance. False when another one
    // runs (it has been asked to come forward). With `replacePrevious`, an
    // instance that is quitting (a relaunch) is waited for, up to a timeout.
    bool claim(bool replacePrevious = false);

    // Where the instance listens.
    QString serverName() const { return m_name; }

Q_SIGNALS:
    // Another start asked this instance to come forward.
    void activationRequested();

private:
    bool askRunningInstance();

    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
};

} // namespace tessaline
