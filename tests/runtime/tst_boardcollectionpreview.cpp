#include "model/Board.h"
#include "runtime/BoardCollectionPreview.h"

#include <QImage>
#include <QPainter>
#include <QTest>

using namespace tessaline;

Q_DECLARE_METATYPE(tessaline::BoardStatus)

class BoardCollectionPreviewTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void tile_data();
    void tile();
};

void BoardCollectionPreviewTest::tile_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<BoardStatus>("status");
    QTest::addColumn<std::optional<QString>>("focus");
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<bool>("tag");
    QTest::addColumn<QString>("focusText");
    QTest::addColumn<QString>("summary");
    QTest::newRow("active, no focus question") << "Atlas" << BoardStatus::active << std::optional<QString>() << "rectangle.3.group"
                                               << false << "No focus question yet" << "Atlas, Active, 1 snips, 1 thoughts";
    QTest::newRow("parked, empty focus question") << "Atlas" << BoardStatus::parked << std::optional(QString()) << "pause.circle"
                                                  << true << "No focus question yet"
                                                  << "Atlas, Parked, 1 snips, 1 thoughts";
    QTest::newRow("done, with a focus question") << "Atlas" << BoardStatus::done << std::optional(QStringLiteral(" Why now? "))
                                                 << "checkmark.circle" << true << " Why now? "
                                                 << "Atlas, Done, 1 snips, 1 thoughts";
    QTest::newRow("placeholders in the title are text") << "Budget %1 draft %2" << BoardStatus::active
                                                        << std::optional<QString>() << "rectangle.3.group" << false
                                                        << "No focus question yet"
                                                        << "Budget %1 draft %2, Active, 1 snips, 1 thoughts";
}

void BoardCollectionPreviewTest::tile()
{
    QFETCH(QString, title);
    QFETCH(BoardStatus, status);
    QFETCH(std::optional<QString>, focus);
    QFETCH(QString, symbol);
    QFETCH(bool, tag);
    QFETCH(QString, focusText);
    QFETCH(QString, summary);
    Board::Init init;
    init.title = title;
    init.status = status;
    init.focusQuestion = focus;
    init.createdAt = init.updatedAt = init.lastOpenedAt = QDateTime::currentDateTimeUtc();
    const Board board(init);
    const BoardCollectionPreview preview(board, 1, 1);
    QCOMPARE(preview.statusSymbol, symbol);
    QCOMPARE(preview.showsStatusTag, tag);
    QCOMPARE(preview.focusText, focusText);
    QCOMPARE(preview.hasFocusQuestion, focus && !focus->isEmpty());
    QCOMPARE(preview.accessibilitySummary, summary);

    // The counts row keeps to the bottom of a tile taller than its content.
    QVERIFY(BoardCollectionPreview::height() >= BoardCollectionPreview::minimumHeight());
    QImage canvas(320, 300, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    preview.paint(&painter, QRectF(0, 0, 320, 300), QPalette(), false, QDateTime::currentDateTimeUtc());
    painter.end();
    auto inkInRows = [&](int from, int to) {
        for (int y = from; y < to; ++y)
            for (int x = 20; x < 300; ++x)
                if (qAlpha(canvas.pixel(x, y)) > 0 && canvas.pixelColor(x, y) != canvas.pixelColor(2, 150))
                    return true;
        return false;
    };
    QVERIFY(inkInRows(270, 286));
    QVERIFY(!inkInRows(200, 250));
}

QTEST_MAIN(BoardCollectionPreviewTest)
#include "tst_boardcollectionpreview.moc"
