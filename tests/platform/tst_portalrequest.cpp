// A portal request the app stops waiting for is closed at the portal, on a
// private session bus with a stand-in portal of the test's own.
#include "platform/PortalRequest.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QTest>

#include <memory>
#include <optional>

using namespace tessaline;

namespace {

const QString portalName = QStringLiteral("org.tessaline.TestPortal");

// A request the stand-in keeps open, as a portal does while its dialog is up.
class OpenRequest : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")
public:
    explicit OpenRequest(QString path, QStringList &closed, QObject *parent)
        : QObject(parent), m_path(std::move(path)), m_closed(closed)
    {
    }

public Q_SLOTS:
    void Close() { m_closed << m_path; }

private:
    QString m_path;
    QStringList &m_closed;
};

// Answers no screenshot request: each stays open until it is closed.
class SilentScreenshotPortal : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Screenshot")
public:
    SilentScreenshotPortal()
        : m_connection(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("test-portal")))
    {
    }
    ~SilentScreenshotPortal() override { QDBusConnection::disconnectFromBus(QStringLiteral("test-portal")); }

    bool start()
    {
        return m_connection.isConnected()
            && m_connection.registerObject(PortalRequest::path(), this, QDBusConnection::ExportAllSlots)
            && m_connection.registerService(portalName);
    }

    QStringList opened;
    QStringList closed;

public Q_SLOTS:
    QDBusObjectPath Screenshot(const QString &, const QVariantMap &options)
    {
        QString sender = message().service().mid(1);
        sender.replace(u'.', u'_');
        const QString path = PortalRequest::path() + QStringLiteral("/request/") + sender + u'/'
            + options.value(QStringLiteral("handle_token")).toString();
        m_connection.registerObject(path, new OpenRequest(path, closed, this), QDBusConnection::ExportAllSlots);
        opened << path;
        return QDBusObjectPath(path);
    }

private:
    QDBusConnection m_connection;
};

} // namespace

class PortalRequestTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void requestNoLongerAwaitedIsClosed_data()
    {
        QTest::addColumn<bool>("timesOut");
        QTest::newRow("waited for in vain") << true;
        QTest::newRow("asker gone first") << false;
    }

    void requestNoLongerAwaitedIsClosed()
    {
        QFETCH(bool, timesOut);
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("needs a session bus");
        SilentScreenshotPortal portal;
        QVERIFY(portal.start());

        auto context = std::make_unique<QObject>();
        std::optional<PortalAnswer> answer;
        PortalRequest::call(
            QStringLiteral("org.freedesktop.portal.Screenshot"), QStringLiteral("Screenshot"), {QString()},
            {{QStringLiteral("interactive"), false}}, context.get(),
            [&answer](const PortalAnswer &given) { answer = given; }, timesOut ? 200 : 0, portalName);
        QTRY_COMPARE(portal.opened.size(), 1);
        if (timesOut) {
            QTRY_VERIFY(answer.has_value());
            QVERIFY(answer->timedOut);
        } else {
            context.reset();
        }
        QTRY_COMPARE(portal.closed, portal.opened);
    }
};

QTEST_GUILESS_MAIN(PortalRequestTest)
#include "tst_portalrequest.moc"
