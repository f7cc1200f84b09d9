// The Search screen's grids under the real pointer of the X server
// (xdotool): a wheel turned over a grid's tiles scrolls the page.

#include "../support/MainWindowRig.h"

#include "library/SearchView.h"
#include "model/Board.h"
#include "model/CanvasCard.h"
#include "runtime/LibraryQuery.h"
#include "runtime/NavigationState.h"

#include <QLineEdit>
#include <QListView>
#include <QProcess>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

bool xdotool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

class X11SearchWheelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A grid shows every tile, so it has nothing of its own to scroll: the
    // first notch over its tiles scrolls the page, and the tiles stay put
    // in their grid.
    void wheelOverAGridScrollsThePage_data()
    {
        QTest::addColumn<bool>("snips");
        QTest::newRow("notes") << false;
        QTest::newRow("snips") << true;
    }

    void wheelOverAGridScrollsThePage()
    {
        QFETCH(bool, snips);
        MainWindowRig rig;
        Board *atlas = rig.addNote(QStringLiteral("Atlas"));
        for (int i = 0; i < 6; ++i) {
            rig.addNote(QStringLiteral("Lantern notes %1").arg(i));
            rig.addCard(atlas, CardKind::snip, 60 + i)->setContextText(QStringLiteral("Lantern %1").arg(i));
        }
        QVERIFY(rig.context().save());
        LibraryQuery library(rig.context());
        rig.navigation().setSearchText(QStringLiteral("lantern"));
        SearchView view(library, rig.navigation(), [](const QUuid &, const QUuid &) {});
        view.setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
        view.setGeometry(60, 60, 900, 560);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        QListView *grid = snips ? view.snipList() : view.noteList();
        QTRY_VERIFY(grid->model()->rowCount() >= 6);
        auto *page = view.findChild<QScrollArea *>();
        QVERIFY(page);
        QTRY_VERIFY(page->verticalScrollBar()->maximum() > 0);
        // The first row of tiles in view, with room left to scroll.
        page->ensureWidgetVisible(grid, 0, 0);
        const int pageBefore = page->verticalScrollBar()->value();
        QVERIFY(pageBefore < page->verticalScrollBar()->maximum());
        const QModelIndex first = grid->model()->index(0, 0);
        const QRect tile = grid->visualRect(first);
        const QPoint at = grid->viewport()->mapToGlobal(tile.center());
        QVERIFY(view.rect().contains(view.mapFromGlobal(at)));

        QVERIFY(xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
                         QStringLiteral("click"), QStringLiteral("5")}));
        QTRY_VERIFY2(page->verticalScrollBar()->value() > pageBefore, "the wheel did not scroll the page");
        QCOMPARE(grid->visualRect(first), tile);
        QCOMPARE(grid->verticalScrollBar()->value(), 0);
    }
};

QTEST_MAIN(X11SearchWheelTest)
#include "tst_x11searchwheel.moc"
