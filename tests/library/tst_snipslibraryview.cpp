#include "SnipsLibraryRig.h"
#include "../support/PaintedRects.h"
#include "../support/TextRunRecorder.h"

#include "design/StudioActionButton.h"
#include "design/StudioEmptyState.h"
#include "design/TessalinePrimaryButton.h"
#include "library/SnipsLibraryModel.h"
#include "library/SnipsLibraryView.h"
#include "runtime/SnipImageCache.h"

#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <QSignalSpy>
#include <QTimer>

#include <algorithm>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

// Three snips of one note with pictures in plain colours, a fourth without
// any picture, and the screen over them, shown at a desktop size.
struct Screen
{
    explicit Screen(bool withSnips = true)
    {
        note = rig.addNote(QStringLiteral("Atlas"));
        other = rig.addNote(QStringLiteral("Budget"));
        if (withSnips) {
            red = rig.addSnip(note->id(), QStringLiteral("Red"), 1, 400);
            red->setOriginalImageData(pngOf(Qt::red, QSize(160, 100)));
            green = rig.addSnip(note->id(), QStringLiteral("Green"), 1, 300);
            green->setOriginalImageData(pngOf(Qt::green, QSize(160, 100)));
            marked = rig.addSnip(note->id(), QStringLiteral("Marked"), 1, 200);
            marked->setOriginalImageData(pngOf(Qt::white, QSize(160, 100)));
            marked->setAnnotationDocumentData(coveringRectangle({0, 0, 1, 1}));
            bare = rig.addSnip(note->id(), QStringLiteral("Bare"), 1, 100);
        }
        rig.save();
        SnipsLibraryServices services;
        services.captureRegion = [this] { ++captures; };
        services.pasteboard = &pasteboard;
        services.pinCard = [this](const CanvasCard &card) { pins.append(card.id()); };
        view = std::make_unique<SnipsLibraryView>(*rig.library, *rig.navigation, services);
        view->resize(1100, 800);
        view->show();
        if (!QTest::qWaitForWindowExposed(view.get()))
            qFatal("library not shown");
    }

    QRect tileRect(int row) const
    {
        return view->grid()->visualRect(view->model()->index(row));
    }

    QImage shownGrid()
    {
        // The first paint asks for the pictures; the second shows them.
        view->grid()->viewport()->grab();
        view->imageCache()->waitForPending();
        QCoreApplication::processEvents();
        return view->grid()->viewport()->grab().toImage();
    }

    static QAction *entry(QMenu *menu, const QString &title)
    {
        for (QAction *action : menu->actions()) {
            if (action->text() == title)
                return action;
        }
        return nullptr;
    }

    SnipsLibraryRig rig;
    Board *note = nullptr;
    Board *other = nullptr;
    CanvasCard *red = nullptr, *green = nullptr, *marked = nullptr, *bare = nullptr;
    RecordingPasteboard pasteboard;
    int captures = 0;
    QList<QUuid> pins;
    std::unique_ptr<SnipsLibraryView> view;
};

bool near(const QColor &color, const QColor &expected)
{
    return std::abs(color.red() - expected.red()) < 40 && std::abs(color.green() - expected.green()) < 40
        && std::abs(color.blue() - expected.blue()) < 40;
}

} // namespace

class TestSnipsLibraryView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void columnWidth_data()
    {
        QTest::addColumn<int>("available");
        QTest::addColumn<int>("expected");
        QTest::newRow("narrower than a column") << 150 << 210;
        QTest::newRow("one column, capped") << 430 << 300;
        QTest::newRow("two columns") << 500 << 234;
        QTest::newRow("four columns, whole cells") << 1000 << 234;
        QTest::newRow("just short of five") << 1129 << 266;
    }

    void columnWidth()
    {
        QFETCH(int, available);
        QFETCH(int, expected);
        QCOMPARE(SnipsLibraryView::columnWidth(available), expected);
    }

    void tilesSitInRowsNewestFirst()
    {
        Screen screen;
        QCOMPARE(screen.view->grid()->model()->rowCount(), 4);
        QCOMPARE(screen.view->emptyState(), nullptr);
        const QRect first = screen.tileRect(0);
        const QRect second = screen.tileRect(1);
        QCOMPARE(second.top(), first.top());
        // 1100 points hold four whole columns; none wraps early.
        QCOMPARE(screen.tileRect(3).top(), first.top());
        QVERIFY(second.left() >= first.right() + 16);
        QVERIFY(first.width() >= 210 && first.width() <= 300);
        // A tile's picture frame runs 1.6 : 1 across the tile's width.
        QVERIFY(first.height() > (first.width() - 20) / 1.6);
    }

    // A shown tile's age keeps up with the clock: the grid's one timer
    // fires when the first painted text would read otherwise, and the tiles
    // read their texts anew.
    void tileAgesKeepUpWhileShown()
    {
        Screen screen;
        QDateTime clock = snipTime(403);
        SnipsLibraryModel &model = *screen.view->model();
        model.setClock([&clock] { return clock; });
        const QModelIndex red = model.index(0);
        QCOMPARE(model.cardAt(0), screen.red);
        QCOMPARE(red.data(SnipsLibraryModel::DateTextRole).toString(), QStringLiteral("3 seconds ago"));
        screen.view->grid()->viewport()->repaint();

        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        clock = snipTime(425);
        const auto redsTextChanged = [&] {
            for (const QList<QVariant> &signal : std::as_const(changed)) {
                const auto first = signal.at(0).value<QModelIndex>(), last = signal.at(1).value<QModelIndex>();
                if (first.row() <= 0 && last.row() >= 0
                    && signal.at(2).value<QList<int>>().contains(SnipsLibraryModel::DateTextRole))
                    return true;
            }
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(redsTextChanged(), 15000);
        QCOMPARE(red.data(SnipsLibraryModel::DateTextRole).toString(), QStringLiteral("25 seconds ago"));
    }

    // At a width that four cells fill exactly, the fourth tile stays in the
    // first row instead of leaving a column's room empty beside three.
    void rowOfExactlyFittingCellsKeepsItsLastTile()
    {
        Screen screen;
        QListView *grid = screen.view->grid();
        const int scrollBar = grid->verticalScrollBar()->isVisible() ? 0 : grid->verticalScrollBar()->sizeHint().width();
        const int fourCells = 4 * (SnipsLibraryView::columnWidth(4 * 250) + 16);
        screen.view->resize(screen.view->width() + fourCells + scrollBar - grid->viewport()->width(), 800);
        QTRY_COMPARE(grid->viewport()->width() - scrollBar, fourCells);
        QTRY_COMPARE(screen.tileRect(1).left() - screen.tileRect(0).left(), grid->gridSize().width());
        QCOMPARE(screen.tileRect(3).top(), screen.tileRect(0).top());
    }

    void tilesShowTheirPictures()
    {
        Screen screen;
        const QImage grid = screen.shownGrid();
        const qreal ratio = grid.devicePixelRatio();
        // Across the picture from its left edge: 0.5 is the centre.
        auto previewAt = [&](int row, qreal across) {
            const QRect tile = screen.tileRect(row);
            const QPoint point(tile.left() + 10 + int((tile.width() - 20) * across),
                               tile.top() + 10 + int((tile.width() - 20) / 1.6 / 2));
            return grid.pixelColor(point * ratio);
        };
        auto previewCentre = [&](int row) { return previewAt(row, 0.5); };
        QVERIFY2(near(previewCentre(0), Qt::red), qPrintable(previewCentre(0).name()));
        QVERIFY2(near(previewCentre(1), Qt::green), qPrintable(previewCentre(1).name()));
        // The annotation's broad frame round the white picture shows on its tile.
        QVERIFY2(near(previewAt(2, 0.05), Qt::blue), qPrintable(previewAt(2, 0.05).name()));
        QVERIFY2(near(previewCentre(2), Qt::white), qPrintable(previewCentre(2).name()));
        // No picture at all: the placeholder, not a colour of the others.
        const QColor placeholder = previewCentre(3);
        QVERIFY(!near(placeholder, Qt::red) && !near(placeholder, Qt::green) && !near(placeholder, Qt::blue));
    }

    // Pictures come in one by one, and the pointer leaves the grid and comes
    // back (a menu opened over it and closed): each repaints its own tile,
    // not the screenful around it.
    void anArrivingPictureRepaintsItsTileAlone()
    {
        Screen screen;
        screen.shownGrid();
        QWidget *viewport = screen.view->grid()->viewport();
        const auto paintedInsideTiles = [&](const PaintedRects &painted) {
            for (const QRect &rect : std::as_const(painted.rects)) {
                const bool insideATile = std::ranges::any_of(QList<int>{0, 1, 2, 3}, [&](int row) {
                    return screen.tileRect(row).contains(rect);
                });
                if (!insideATile) {
                    qWarning() << "painted outside the tiles:" << rect;
                    return false;
                }
            }
            return true;
        };
        {
            PaintedRects painted(viewport);
            Q_EMIT screen.view->imageCache()->imageReady(screen.green->id());
            QTRY_VERIFY(painted.covers(screen.tileRect(1)));
            QVERIFY(paintedInsideTiles(painted));
        }
        QCoreApplication::processEvents();
        PaintedRects painted(viewport);
        const QPoint onTile = screen.tileRect(2).center();
        const QPointF global = viewport->mapToGlobal(QPointF(onTile));
        QHoverEvent leave(QEvent::HoverLeave, QPointF(-1, -1), global, QPointF(onTile));
        QCoreApplication::sendEvent(viewport, &leave);
        QHoverEvent enter(QEvent::HoverEnter, QPointF(onTile), global, QPointF(-1, -1));
        QCoreApplication::sendEvent(viewport, &enter);
        QTRY_VERIFY(painted.covers(screen.tileRect(2)));
        QVERIFY(paintedInsideTiles(painted));
    }

    void clickAnywhereOnTheTileOpensTheGallery_data()
    {
        QTest::addColumn<QPoint>("offset");
        QTest::newRow("centre") << QPoint(-1, -1);
        QTest::newRow("padding corner") << QPoint(3, 3);
    }

    void clickAnywhereOnTheTileOpensTheGallery()
    {
        QFETCH(QPoint, offset);
        Screen screen;
        screen.view->filterField()->setText(QStringLiteral("re")); // Red, Green, Bare
        QCOMPARE(screen.view->grid()->model()->rowCount(), 3);
        const QRect tile = screen.tileRect(1);
        const QPoint at = offset.x() < 0 ? tile.center() : tile.topLeft() + offset;
        QTest::mouseClick(screen.view->grid()->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(screen.rig.navigation->galleryCardID(), std::optional<QUuid>(screen.green->id()));
        QCOMPARE(screen.rig.navigation->galleryBrowseCardIDs(),
                 std::optional<QList<QUuid>>({screen.red->id(), screen.green->id(), screen.bare->id()}));
    }

    // A tile is a button to the keyboard too: tabbed into, the grid rings
    // the tile the arrow keys reached, and Return, Enter or Space opens it.
    void keysReachAndOpenATile_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Return") << int(Qt::Key_Return);
        QTest::newRow("Enter") << int(Qt::Key_Enter);
        QTest::newRow("Space") << int(Qt::Key_Space);
    }

    void keysReachAndOpenATile()
    {
        QFETCH(int, key);
        Screen screen;
        QListView *grid = screen.view->grid();
        screen.view->filterField()->setText(QStringLiteral("re")); // Red, Green, Bare
        QApplication::setActiveWindow(screen.view.get());
        QVERIFY(QTest::qWaitForWindowActive(screen.view.get()));
        screen.view->filterField()->setFocus(Qt::TabFocusReason);
        const QImage before = grid->viewport()->grab(screen.tileRect(1)).toImage();
        grid->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(grid->hasFocus());
        QTest::keyClick(grid, Qt::Key_Right);
        QCOMPARE(grid->currentIndex().row(), 1);
        QVERIFY(grid->viewport()->grab(screen.tileRect(1)).toImage() != before);
        QVERIFY(!screen.rig.navigation->galleryCardID());

        QTest::keyClick(grid, Qt::Key(key));
        QCOMPARE(screen.rig.navigation->galleryCardID(), std::optional<QUuid>(screen.green->id()));
        QCOMPARE(screen.rig.navigation->galleryBrowseCardIDs(),
                 std::optional<QList<QUuid>>({screen.red->id(), screen.green->id(), screen.bare->id()}));
    }

    // Far down a long grid: the keys reach the last tile, the grid scrolls
    // it into view where it is found again, and it opens its own snip with
    // every snip of the grid to page through.
    void theLastOfManyTilesIsReachedAndOpened()
    {
        Screen screen;
        CanvasCard *oldest = nullptr;
        for (int i = 0; i < 60; ++i)
            oldest = screen.rig.addSnip(screen.note->id(), QStringLiteral("Old %1").arg(i), 1, 90 - i);
        screen.rig.save();
        QListView *grid = screen.view->grid();
        QCOMPARE(grid->model()->rowCount(), 64);
        const int last = 63;
        QApplication::setActiveWindow(screen.view.get());
        QVERIFY(QTest::qWaitForWindowActive(screen.view.get()));
        grid->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(grid->hasFocus());
        QTest::keyClick(grid, Qt::Key_End);
        QCOMPARE(grid->currentIndex().row(), last);
        QTRY_VERIFY(grid->verticalScrollBar()->value() > 0);
        const QRect tile = screen.tileRect(last);
        QVERIFY(grid->viewport()->rect().contains(tile));
        QCOMPARE(grid->indexAt(tile.center()).row(), last);
        // The tiles above it keep whole rows, each row starting at the left.
        const QRect first = screen.tileRect(0);
        int columns = 0;
        while (screen.tileRect(columns).top() == first.top())
            ++columns;
        QVERIFY(columns > 1);
        QCOMPARE(screen.tileRect(last - last % columns).left(), first.left());

        QTest::keyClick(grid, Qt::Key_Return);
        QCOMPARE(screen.rig.navigation->galleryCardID(), std::optional<QUuid>(oldest->id()));
        QCOMPARE(screen.rig.navigation->galleryBrowseCardIDs()->size(), 64);
        QCOMPARE(screen.rig.navigation->galleryBrowseCardIDs()->constLast(), oldest->id());
    }

    void filterSwitchesToTheEmptyStates()
    {
        Screen screen;
        QTest::keyClicks(screen.view->filterField(), QStringLiteral("nothing like it"));
        QVERIFY(screen.view->emptyState());
        QCOMPARE(screen.view->emptyState()->title(), QStringLiteral("No matching snips"));
        QCOMPARE(screen.view->emptyState()->actionButton(), nullptr);
        screen.view->filterField()->clear();
        QCOMPARE(screen.view->emptyState(), nullptr);
        QCOMPARE(screen.view->grid()->model()->rowCount(), 4);
    }

    void emptyLibraryOffersACapture()
    {
        Screen screen(false);
        QVERIFY(screen.view->emptyState());
        QCOMPARE(screen.view->emptyState()->title(), QStringLiteral("No snips yet"));
        QVERIFY(screen.view->emptyState()->actionButton());
        screen.view->emptyState()->actionButton()->click();
        screen.view->captureButton()->click();
        QCOMPARE(screen.captures, 2);
    }

    void cardMenuEntries()
    {
        Screen screen;
        std::unique_ptr<QMenu> menu(screen.view->cardMenu(screen.red, nullptr));
        QStringList titles;
        for (const QAction *action : menu->actions())
            titles.append(action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(titles, (QStringList{"Open Preview", "Show in Note", "Add to Note", "-", "Copy", "Save As…", "Annotate",
                                      "Copy with Frame…", "Pin", "-", "Move to Recently Deleted"}));
        QAction *notes = Screen::entry(menu.get(), QStringLiteral("Add to Note"));
        QVERIFY(notes->menu() && notes->isEnabled());
        QCOMPARE(notes->menu()->actions().size(), 1);
        QCOMPARE(notes->menu()->actions().first()->iconText(), QStringLiteral("Budget"));

        // A note's name is shown as it is written, "&" and all.
        screen.other->setTitle(QStringLiteral("R&D Budget"));
        screen.rig.save();
        std::unique_ptr<QMenu> renamed(screen.view->cardMenu(screen.red, nullptr));
        const QAction *named = Screen::entry(renamed.get(), QStringLiteral("Add to Note"))->menu()->actions().first();
        QCOMPARE(named->iconText(), QStringLiteral("R&D Budget"));
    }

    void noteMenuIsDisabledWithoutOtherNotes()
    {
        Screen screen;
        screen.other->setDeletedAt(snipTime(9));
        screen.rig.save();
        std::unique_ptr<QMenu> menu(screen.view->cardMenu(screen.red, nullptr));
        QAction *notes = Screen::entry(menu.get(), QStringLiteral("Add to Note"));
        QVERIFY(!notes->isEnabled());
        QCOMPARE(notes->menu()->actions().first()->text(), QStringLiteral("No other notes"));
    }

    void menuActionsReachTheirTargets()
    {
        Screen screen;
        std::unique_ptr<QMenu> menu(screen.view->cardMenu(screen.marked, nullptr));
        Screen::entry(menu.get(), QStringLiteral("Copy"))->trigger();
        // Read, drawn and encoded off the main thread.
        QTRY_VERIFY(screen.pasteboard.entries.contains(QStringLiteral("image/png")));
        const QImage copied = QImage::fromData(screen.pasteboard.entries.value(QStringLiteral("image/png")));
        QVERIFY(near(copied.pixelColor(4, 50), Qt::blue));
        QVERIFY(near(copied.pixelColor(80, 50), Qt::white));

        Screen::entry(menu.get(), QStringLiteral("Pin"))->trigger();
        QCOMPARE(screen.pins, QList<QUuid>{screen.marked->id()});

        Screen::entry(menu.get(), QStringLiteral("Annotate"))->trigger();
        QCOMPARE(screen.rig.navigation->captureReviewCardID(), std::optional<QUuid>(screen.marked->id()));

        // The bare snip has nothing to copy or pin.
        std::unique_ptr<QMenu> bareMenu(screen.view->cardMenu(screen.bare, nullptr));
        screen.pasteboard.entries.clear();
        Screen::entry(bareMenu.get(), QStringLiteral("Copy"))->trigger();
        Screen::entry(bareMenu.get(), QStringLiteral("Pin"))->trigger();
        QVERIFY(screen.pasteboard.entries.isEmpty());
        QCOMPARE(screen.pins.size(), 1);
    }

    void movingToRecentlyDeletedLeavesTheGrid()
    {
        Screen screen;
        std::unique_ptr<QMenu> menu(screen.view->cardMenu(screen.green, nullptr));
        Screen::entry(menu.get(), QStringLiteral("Move to Recently Deleted"))->trigger();
        QCOMPARE(screen.view->grid()->model()->rowCount(), 3);
        QVERIFY(!screen.green->isLive());
    }

    void theGridKeepsItsPlaceWhenTheLibraryChanges()
    {
        Screen screen;
        for (int i = 0; i < 40; ++i)
            screen.rig.addSnip(screen.note->id(), QStringLiteral("More %1").arg(i), 1, 10 + i);
        screen.rig.save();
        QScrollBar *bar = screen.view->grid()->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 600);
        bar->setValue(600);
        std::unique_ptr<QMenu> menu(screen.view->cardMenu(screen.red, nullptr));
        Screen::entry(menu.get(), QStringLiteral("Move to Recently Deleted"))->trigger();
        QCOMPARE(screen.view->grid()->model()->rowCount(), 43);
        // The grid lays its items out again on a zero timer; one started
        // after it fires after it.
        bool laidOut = false;
        QTimer::singleShot(0, screen.view.get(), [&] { laidOut = true; });
        QTRY_VERIFY(laidOut);
        QCOMPARE(bar->value(), 600);
    }

    void failedFilingShowsTheAlert()
    {
        Screen screen;
        std::unique_ptr<QMenu> menu(screen.view->cardMenu(screen.red, nullptr));
        QAction *budget = Screen::entry(menu.get(), QStringLiteral("Add to Note"))->menu()->actions().first();
        screen.other->setDeletedAt(snipTime(9));
        screen.rig.save();
        budget->trigger();
        QVERIFY(screen.view->alert());
        QCOMPARE(screen.view->alert()->informativeText(), QStringLiteral("The selected note no longer exists."));
        screen.view->alert()->button(QMessageBox::Ok)->click();
        QCOMPARE(screen.view->model()->errorMessage(), std::nullopt);
    }

    // A tile cut short shows its ellipsis where the text runs on: at the
    // left end of a right-to-left title or note name, at the right end of
    // a left-to-right one.
    void tileTextIsCutAtTheEndItRunsTo_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("noteTitle");
        QTest::addColumn<bool>("rightToLeft");
        QTest::newRow("Arabic title, Hebrew note")
            << QStringLiteral("ملاحظة بعنوان طويل جدا لاختبار قص النص في القائمة والعنوان وما بعده من كلمات كثيرة أخرى "
                              "تكفي لسطرين كاملين وأكثر")
            << QStringLiteral("כותרת ארוכה מאוד של פתק שנחתכת בסוף השורה הצרה של האריח") << true;
        QTest::newRow("Latin title and note")
            << QStringLiteral("A recognised first line long enough to run past the two lines a narrow tile gives it")
            << QStringLiteral("A note with a title far too long for the foot of the tile") << false;
    }
    void tileTextIsCutAtTheEndItRunsTo()
    {
        QFETCH(QString, title);
        QFETCH(QString, noteTitle);
        QFETCH(bool, rightToLeft);
        SnipsLibraryRig rig;
        Board *board = rig.addNote(noteTitle);
        rig.addSnip(board->id(), title, 1);
        rig.save();
        SnipsLibraryView view(*rig.library, *rig.navigation, SnipsLibraryServices{});
        view.resize(520, 600);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTRY_COMPARE(view.grid()->model()->rowCount(), 1);
        TextRunRecorder device(view.grid()->viewport()->size());
        device.paint(view.grid()->viewport());
        const TextRunRecorder::Cuts cuts = device.cuts();
        // The title's second line and the note's name.
        QCOMPARE(cuts.cut, 2);
        QCOMPARE(cuts.atLeftEnd, rightToLeft ? 2 : 0);
    }
};

QTEST_MAIN(TestSnipsLibraryView)
#include "tst_snipslibraryview.moc"
