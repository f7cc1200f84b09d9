#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace tessaline {

// One running Tessaline per user: the first instance listens on a local
// socket; a later one asks it to come forward and then leaves.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    static QString defaultName();

    explicit SingleInstance(const QString &name = defaultName(), QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process is now the instance. False when another one
    // runs (it has been asked to come forward). With `replacePrevious`, an
    // instance that is quitting (a relaunch) is waited for, up to a timeout.
    bool claim(bool replacePrevious = false);

Q_SIGNALS:
    // Another start asked this instance to come forward.
    void activationRequested();

private:
    bool askRunningInstance();

    QString m_name;
    QLocalServer *m_server = nullptr;
};

} // namespace tessaline
