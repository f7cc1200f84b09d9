#include "runtime/RelativeDate.h"

#include <QTest>

using namespace tessaline;

class RelativeDateTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void text_data();
    void text();
};

void RelativeDateTest::text_data()
{
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<QString>("expected");
    QTest::newRow("now") << qint64(0) << QStringLiteral("0 seconds ago");
    QTest::newRow("one second") << qint64(1) << QStringLiteral("1 second ago");
    QTest::newRow("minutes round down") << qint64(179) << QStringLiteral("2 minutes ago");
    QTest::newRow("five minutes, written out") << qint64(300) << QStringLiteral("5 minutes ago");
    QTest::newRow("one hour") << qint64(3600) << QStringLiteral("1 hour ago");
    QTest::newRow("days") << qint64(3 * 86400 + 5) << QStringLiteral("3 days ago");
    QTest::newRow("weeks") << qint64(15 * 86400) << QStringLiteral("2 weeks ago");
    QTest::newRow("months") << qint64(65 * 86400) << QStringLiteral("2 months ago");
    QTest::newRow("years") << qint64(800 * 86400) << QStringLiteral("2 years ago");
    QTest::newRow("future") << qint64(-7200) << QStringLiteral("in 2 hours");
    QTest::newRow("moments ahead are ahead") << qint64(-30) << QStringLiteral("in 30 seconds");
    QTest::newRow("a day ahead") << qint64(-86400) << QStringLiteral("in 1 day");
}

void RelativeDateTest::text()
{
    QFETCH(qint64, offset);
    QFETCH(QString, expected);
    const QDateTime now = QDateTime::fromSecsSinceEpoch(1'900'000'000, Qt::UTC);
    QCOMPARE(RelativeDate::text(now.addSecs(-offset), now), expected);
}

QTEST_GUILESS_MAIN(RelativeDateTest)
#include "tst_relativedate.moc"
