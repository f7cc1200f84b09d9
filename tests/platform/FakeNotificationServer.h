#pragma once

// A stand-in for the desktop's notification server: registers
// org.freedesktop.Notifications on the session bus through a connection of
// its own, so the code under test reaches it over the real bus daemon.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

struct ReceivedNotification
{
    QString appName;
    QString summary;
    QString body;
    QVariantMap hints;
    int expireTimeout = 0;
    QStringList actions;
};

class FakeNotificationServer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    explicit FakeNotificationServer(const QString &connectionName = QStringLiteral("fake-notification-server"))
        : m_connection(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName))
    {
    }
    ~FakeNotificationServer() override { stop(); }

    bool start()
    {
        return m_connection.isConnected()
            && m_connection.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                           QDBusConnection::ExportAllSlots)
            && m_connection.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }
    void stop()
    {
        if (!m_connection.isConnected())
            return;
        m_connection.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        m_connection.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    }

    QList<ReceivedNotification> received;

    // The user clicks notification `id`: the server's activation token and
    // then the default action, sent to everyone on the bus as some servers
    // do.
    bool click(uint id, const QString &token)
    {
        const QString path = QStringLiteral("/org/freedesktop/Notifications");
        const QString interface = QStringLiteral("org.freedesktop.Notifications");
        QDBusMessage activation = QDBusMessage::createSignal(path, interface, QStringLiteral("ActivationToken"));
        activation << id << token;
        QDBusMessage invoked = QDBusMessage::createSignal(path, interface, QStringLiteral("ActionInvoked"));
        invoked << id << QStringLiteral("default");
        return m_connection.send(activation) && m_connection.send(invoked);
    }

    // Notification `id` goes, closed by the user (reason 2) or by a
    // CloseNotification call (reason 3).
    bool close(uint id, uint reason = 2)
    {
        QDBusMessage closed = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                         QStringLiteral("org.freedesktop.Notifications"),
                                                         QStringLiteral("NotificationClosed"));
        closed << id << reason;
        return m_connection.send(closed);
    }

    QList<uint> closeRequests;

public Q_SLOTS:
    void CloseNotification(uint id)
    {
        closeRequests.append(id);
        close(id, 3);
    }
    QStringList GetCapabilities() { return {QStringLiteral("body"), QStringLiteral("sound")}; }
    QString GetServerInformation(QString &vendor, QString &version, QString &specVersion)
    {
        vendor = QStringLiteral("Tessaline tests");
        version = QStringLiteral("1");
        specVersion = QStringLiteral("1.2");
        return QStringLiteral("fake");
    }
    uint Notify(const QString &appName, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &actions, const QVariantMap &hints, int expireTimeout)
    {
        received.append({appName, summary, body, hints, expireTimeout, actions});
        return uint(received.size());
    }

private:
    QDBusConnection m_connection;
};
