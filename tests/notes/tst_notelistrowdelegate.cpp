#include "notes/NoteListRowDelegate.h"

#include <QApplication>
#include <QTest>

using namespace tessaline;

class NoteListRowDelegateTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // A row cuts a long title short; hovering it tells the whole, and only
    // then: the star of a favourite takes room the title would have had.
    void titleToolTip_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("rowWidth");
        QTest::addColumn<bool>("favorite");
        QTest::addColumn<bool>("tells");

        const QString longTitle = QStringLiteral("A very long note title about the quarterly roadmap review");
        QTest::newRow("short title fits") << QStringLiteral("Plan") << 260 << false << false;
        QTest::newRow("long title is cut") << longTitle << 260 << false << true;
        QTest::newRow("right-to-left title is cut")
            << QStringLiteral("סיכום פגישה עם הלקוח על תוכנית העבודה לרבעון הבא") << 260 << false << true;
        QTest::newRow("wide row shows it whole") << longTitle << 2000 << false << false;
        QTest::newRow("empty title") << QString() << 260 << true << false;
    }
    void titleToolTip()
    {
        QFETCH(QString, title);
        QFETCH(int, rowWidth);
        QFETCH(bool, favorite);
        QFETCH(bool, tells);
        QCOMPARE(NoteListRowDelegate::titleToolTip(title, rowWidth, favorite), tells ? title : QString());
    }

    void starTakesRoomFromTheTitle()
    {
        // A title that just fits a plain row is cut beside the star.
        const int rowWidth = 260;
        QString title = QStringLiteral("W");
        while (NoteListRowDelegate::titleToolTip(title + QLatin1Char('W'), rowWidth, false).isEmpty())
            title += QLatin1Char('W');
        QVERIFY(NoteListRowDelegate::titleToolTip(title, rowWidth, false).isEmpty());
        QCOMPARE(NoteListRowDelegate::titleToolTip(title, rowWidth, true), title);
    }
};

QTEST_MAIN(NoteListRowDelegateTest)
#include "tst_notelistrowdelegate.moc"
