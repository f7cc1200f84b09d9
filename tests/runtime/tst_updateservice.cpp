#include "runtime/UpdateService.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

using namespace tessaline;

namespace {

// An updater whose answers the test sets, counting what the service asks.
class FakeUpdater : public SoftwareUpdater
{
    Q_OBJECT
public:
    explicit FakeUpdater(bool canCheck)
        : m_canCheck(canCheck)
    {
    }

    void start() override { ++starts; }
    bool canCheckForUpdates() const override { return m_canCheck; }
    void checkForUpdates() override { ++checks; }
    bool automaticallyChecksForUpdates() const override { return false; }
    void setAutomaticallyChecksForUpdates(bool) override {}
    bool automaticallyDownloadsUpdates() const override { return false; }
    void setAutomaticallyDownloadsUpdates(bool) override {}
    bool allowsAutomaticUpdates() const override { return false; }

    void setCanCheck(bool canCheck)
    {
        m_canCheck = canCheck;
        Q_EMIT canCheckForUpdatesChanged(canCheck);
    }

    int starts = 0;
    int checks = 0;

private:
    bool m_canCheck;
};

} // namespace

class UpdateServiceTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startsUpdaterAndMirrorsItsAnswerAtOnce_data();
    void startsUpdaterAndMirrorsItsAnswerAtOnce();
    void followsUpdaterAndChecksOnlyWhenAllowed();
    void nullUpdaterNeverChecks();
    void releasesUpdaterWithService();
    void installedVersionText_data();
    void installedVersionText();
    void installedVersionTextOfThisApplication();
};

void UpdateServiceTest::startsUpdaterAndMirrorsItsAnswerAtOnce_data()
{
    QTest::addColumn<bool>("canCheck");
    QTest::newRow("can check") << true;
    QTest::newRow("cannot check") << false;
}

void UpdateServiceTest::startsUpdaterAndMirrorsItsAnswerAtOnce()
{
    QFETCH(bool, canCheck);
    auto updater = std::make_unique<FakeUpdater>(canCheck);
    FakeUpdater *fake = updater.get();
    const UpdateService service(std::move(updater));
    QCOMPARE(fake->starts, 1);
    QCOMPARE(service.canCheckForUpdates(), canCheck);
}

void UpdateServiceTest::followsUpdaterAndChecksOnlyWhenAllowed()
{
    auto updater = std::make_unique<FakeUpdater>(true);
    FakeUpdater *fake = updater.get();
    UpdateService service(std::move(updater));
    QSignalSpy changed(&service, &UpdateService::canCheckForUpdatesChanged);

    service.checkForUpdates();
    QCOMPARE(fake->checks, 1);

    // While a check runs the updater refuses another.
    fake->setCanCheck(false);
    QCOMPARE(changed.count(), 1);
    QVERIFY(!service.canCheckForUpdates());
    service.checkForUpdates();
    QCOMPARE(fake->checks, 1);

    fake->setCanCheck(true);
    QCOMPARE(changed.count(), 2);
    QVERIFY(service.canCheckForUpdates());
    service.checkForUpdates();
    QCOMPARE(fake->checks, 2);
}

void UpdateServiceTest::nullUpdaterNeverChecks()
{
    UpdateService service;
    QVERIFY(!service.canCheckForUpdates());
    service.checkForUpdates();
    QVERIFY(!service.canCheckForUpdates());

    SoftwareUpdater &updater = service.updater();
    QVERIFY(!updater.allowsAutomaticUpdates());
    updater.setAutomaticallyChecksForUpdates(true);
    updater.setAutomaticallyDownloadsUpdates(true);
    QVERIFY(!updater.automaticallyChecksForUpdates());
    QVERIFY(!updater.automaticallyDownloadsUpdates());
}

void UpdateServiceTest::releasesUpdaterWithService()
{
    auto updater = std::make_unique<FakeUpdater>(true);
    QPointer<FakeUpdater> watched = updater.get();
    {
        UpdateService service(std::move(updater));
        QVERIFY(watched);
    }
    QVERIFY(!watched);
}

void UpdateServiceTest::installedVersionText_data()
{
    QTest::addColumn<QVariant>("shortVersion");
    QTest::addColumn<QVariant>("build");
    QTest::addColumn<QString>("expected");
    QTest::newRow("version and build") << QVariant(QStringLiteral("2.0")) << QVariant(QStringLiteral("100"))
                                       << QStringLiteral("2.0 (100)");
    QTest::newRow("version only") << QVariant(QStringLiteral("2.0")) << QVariant() << QStringLiteral("2.0");
    QTest::newRow("build only") << QVariant() << QVariant(QStringLiteral("100")) << QStringLiteral("Unknown");
    QTest::newRow("neither") << QVariant() << QVariant() << QStringLiteral("Unknown");
    QTest::newRow("version not text") << QVariant(2) << QVariant(QStringLiteral("100")) << QStringLiteral("Unknown");
    QTest::newRow("build not text") << QVariant(QStringLiteral("1.4")) << QVariant(27) << QStringLiteral("1.4");
}

void UpdateServiceTest::installedVersionText()
{
    QFETCH(QVariant, shortVersion);
    QFETCH(QVariant, build);
    QFETCH(QString, expected);
    QCOMPARE(UpdateService::installedVersionText(shortVersion, build), expected);
}

void UpdateServiceTest::installedVersionTextOfThisApplication()
{
    QCoreApplication::setApplicationVersion(QString());
    QCOMPARE(UpdateService::installedVersionText(), QStringLiteral("Unknown"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.4"));
    QCOMPARE(UpdateService::installedVersionText(), QStringLiteral("1.4"));
    QCoreApplication::instance()->setProperty("buildVersion", QStringLiteral("27"));
    QCOMPARE(UpdateService::installedVersionText(), QStringLiteral("1.4 (27)"));
}

QTEST_GUILESS_MAIN(UpdateServiceTest)
#include "tst_updateservice.moc"
