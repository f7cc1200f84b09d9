#pragma once

#include "capture/CaptureCommand.h"

#include <QObject>
#include <QString>

#include <optional>

class QLocalServer;

namespace tessaline {

// One running Tessaline per user: the first instance listens on a local
// socket; a later one asks it to come forward, or to run a command given on
// its command line, and then leaves.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    static QString defaultName();

    explicit SingleInstance(const QString &name = defaultName(), QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process is now the instance. False when another one
    // runs (it has been asked to come forward, or to run `command`). With
    // `replacePrevious`, an instance that is quitting (a relaunch) is waited
    // for, up to a timeout.
    bool claim(bool replacePrevious = false, std::optional<CaptureCommand> command = std::nullopt);

Q_SIGNALS:
    // Another start asked this instance to come forward.
    void activationRequested();
    // Another start asked this instance to run a command.
    void commandRequested(tessaline::CaptureCommand command);

private:
    bool askRunningInstance(const std::optional<CaptureCommand> &command);
    void handleLine(const QByteArray &line);

    QString m_name;
    QLocalServer *m_server = nullptr;
};

} // namespace tessaline
