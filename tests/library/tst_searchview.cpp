#include "../support/MainWindowRig.h"
#include "../support/PaintedRects.h"
#include "../support/PngBytes.h"
#include "../support/SnipFixtures.h"

#include "runtime/LibraryQuery.h"
#include "runtime/NavigationState.h"
#include "design/StudioEmptyState.h"
#include "design/StudioSectionHeader.h"
#include "design/StudioText.h"
#include "library/SearchView.h"
#include "model/Board.h"
#include "model/CanvasCard.h"
#include "runtime/SnipImageCache.h"

#include <QLabel>
#include <QPainter>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QTest>
#include <QToolButton>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

// Atlas with one snip, the inbox with one snip, and the screen over them,
// shown so its tiles have places to click.
struct Fixture
{
    Fixture()
    {
        atlas = rig.addNote(QStringLiteral("Project Atlas"));
        atlas->setUpdatedAt(at(10));
        inbox = rig.addNote(QStringLiteral("Quick Captures"), 1, true);
        inbox->setUpdatedAt(at(5));
        photo = rig.addCard(atlas, CardKind::snip, 20);
        photo->setContextText(QStringLiteral("Whiteboard photo"));
        scan = rig.addCard(inbox, CardKind::snip, 30);
        scan->setContextText(QStringLiteral("Receipt scan"));
        if (!rig.context().save())
            qFatal("fixture save failed");
        library = std::make_unique<LibraryQuery>(rig.context());
        view = std::make_unique<SearchView>(*library, rig.navigation(), [this](const QUuid &boardID, const QUuid &cardID) {
            opened.append({boardID, cardID});
        });
        view->resize(1200, 1400);
        view->show();
        if (!QTest::qWaitForWindowExposed(view.get()))
            qFatal("search screen not shown");
    }

    void type(const QString &text)
    {
        view->searchField()->clear();
        rig.navigation().setSearchText(QString());
        QTest::keyClicks(view->searchField(), text);
    }

    void click(QListView *list, int row)
    {
        const QModelIndex index = list->model()->index(row, 0);
        QVERIFY(index.isValid());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
    }

    MainWindowRig rig;
    Board *atlas = nullptr;
    Board *inbox = nullptr;
    CanvasCard *photo = nullptr;
    CanvasCard *scan = nullptr;
    std::unique_ptr<LibraryQuery> library;
    std::unique_ptr<SearchView> view;
    QList<QPair<QUuid, QUuid>> opened;
};

} // namespace

class SearchViewTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void typingFilters_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("subtitle");
        QTest::addColumn<QString>("emptyTitle"); // empty: results are shown
        QTest::addColumn<QString>("resultTitle");
        QTest::addColumn<int>("notes");
        QTest::addColumn<int>("snips");
        QTest::addColumn<bool>("clearShown");
        const QString idle = QStringLiteral("Everything stays searchable on this computer.");
        QTest::newRow("nothing typed") << QString() << idle << QStringLiteral("Find a note or snip") << QString() << 0 << 0 << false;
        QTest::newRow("only spaces") << QStringLiteral("   ") << idle << QStringLiteral("Find a note or snip") << QString() << 0 << 0 << true;
        QTest::newRow("phrase between spaces") << QStringLiteral(" atlas ") << QStringLiteral("Looking for \u201Catlas\u201D")
                                               << QString() << QStringLiteral("2 Results") << 1 << 1 << true;
        QTest::newRow("one hit") << QStringLiteral("WHITEBOARD") << QStringLiteral("Looking for \u201CWHITEBOARD\u201D")
                                 << QString() << QStringLiteral("2 Results") << 1 << 1 << true;
        QTest::newRow("inbox snip") << QStringLiteral("receipt") << QStringLiteral("Looking for \u201Creceipt\u201D")
                                    << QString() << QStringLiteral("2 Results") << 1 << 1 << true;
        QTest::newRow("no match") << QStringLiteral("zebra") << QStringLiteral("Looking for \u201Czebra\u201D")
                                  << QStringLiteral("No matches") << QString() << 0 << 0 << true;
    }
    void typingFilters()
    {
        QFETCH(QString, typed);
        QFETCH(QString, subtitle);
        QFETCH(QString, emptyTitle);
        QFETCH(QString, resultTitle);
        QFETCH(int, notes);
        QFETCH(int, snips);
        QFETCH(bool, clearShown);
        Fixture fixture;
        fixture.type(typed);
        SearchView &view = *fixture.view;
        QCOMPARE(fixture.rig.navigation().searchText(), typed);
        QCOMPARE(view.subtitleLabel()->text(), subtitle);
        QCOMPARE(view.emptyState()->isVisible(), !emptyTitle.isEmpty());
        if (!emptyTitle.isEmpty())
            QCOMPARE(view.emptyState()->title(), emptyTitle);
        QCOMPARE(view.resultHeader()->isVisible(), !resultTitle.isEmpty());
        if (!resultTitle.isEmpty())
            QCOMPARE(view.resultHeader()->title(), resultTitle);
        QCOMPARE(view.noteList()->model()->rowCount(), notes);
        QCOMPARE(view.snipList()->model()->rowCount(), snips);
        QCOMPARE(view.notesHeader()->isVisible(), notes > 0);
        QCOMPARE(view.snipsHeader()->isVisible(), snips > 0);
        if (notes > 0)
            QCOMPARE(view.notesHeader()->subtitle(), QStringLiteral("1 match"));
        QCOMPARE(view.clearButton()->isVisible(), clearShown);
    }

    void scopeNarrowsTheHits()
    {
        Fixture fixture;
        fixture.type(QStringLiteral("whiteboard"));
        SearchView &view = *fixture.view;
        QTest::mouseClick(view.scopeButton(SearchScope::notes), Qt::LeftButton);
        QCOMPARE(view.scope(), SearchScope::notes);
        QCOMPARE(view.noteList()->model()->rowCount(), 1);
        QVERIFY(!view.snipsHeader()->isVisible());
        QTest::mouseClick(view.scopeButton(SearchScope::snips), Qt::LeftButton);
        QCOMPARE(view.noteList()->model()->rowCount(), 0);
        QCOMPARE(view.snipList()->model()->rowCount(), 1);
        QCOMPARE(view.resultHeader()->title(), QStringLiteral("1 Result"));
        QVERIFY(!view.notesHeader()->isVisible());
    }

    void choosingASnipOpensItsCard()
    {
        Fixture fixture;
        fixture.type(QStringLiteral("whiteboard"));
        fixture.click(fixture.view->snipList(), 0);
        QCOMPARE(fixture.opened.size(), 1);
        QCOMPARE(fixture.opened.first().first, fixture.atlas->id());
        QCOMPARE(fixture.opened.first().second, fixture.photo->id());
    }

    // The hits are buttons to the keyboard too: tabbed into, a list rings
    // the hit the arrow keys reached, and Return, Enter or Space opens it.
    void keysReachAndOpenAHit_data()
    {
        QTest::addColumn<bool>("snips");
        QTest::addColumn<int>("key");
        QTest::newRow("a note, Return") << false << int(Qt::Key_Return);
        QTest::newRow("a note, Space") << false << int(Qt::Key_Space);
        QTest::newRow("a snip, Enter") << true << int(Qt::Key_Enter);
        QTest::newRow("a snip, Space") << true << int(Qt::Key_Space);
    }
    void keysReachAndOpenAHit()
    {
        QFETCH(bool, snips);
        QFETCH(int, key);
        Fixture fixture;
        NavigationState &navigation = fixture.rig.navigation();
        navigation.setDestination(SidebarDestination::search());
        fixture.type(snips ? QStringLiteral("whiteboard") : QStringLiteral("project"));
        fixture.view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(fixture.view.get()));
        QListView *list = snips ? fixture.view->snipList() : fixture.view->noteList();
        const QModelIndex hit = list->model()->index(0, 0);
        QTRY_VERIFY(list->visualRect(hit).isValid());
        fixture.view->searchField()->setFocus(Qt::TabFocusReason);
        list->setCurrentIndex(hit);
        const QImage unfocused = list->viewport()->grab(list->visualRect(hit)).toImage();
        list->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(list->hasFocus());
        QVERIFY(list->viewport()->grab(list->visualRect(hit)).toImage() != unfocused);

        QTest::keyClick(list, Qt::Key(key));
        if (snips) {
            QCOMPARE(fixture.opened, (QList<QPair<QUuid, QUuid>>{{fixture.atlas->id(), fixture.photo->id()}}));
        } else {
            QCOMPARE(navigation.destination(), SidebarDestination::notes());
            QCOMPARE(navigation.activeBoardID(), fixture.atlas->id());
        }
    }

    void choosingANoteOpensIt_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("isInbox");
        QTest::newRow("note") << QStringLiteral("project") << false;
        QTest::newRow("Quick Captures") << QStringLiteral("quick") << true;
    }
    void choosingANoteOpensIt()
    {
        QFETCH(QString, typed);
        QFETCH(bool, isInbox);
        Fixture fixture;
        NavigationState &navigation = fixture.rig.navigation();
        navigation.setDestination(SidebarDestination::search());
        navigation.setActiveWritingAnchorID(QUuid::createUuid());
        navigation.setSelectedCardIDs({fixture.photo->id()});
        fixture.type(typed);
        fixture.click(fixture.view->noteList(), 0);
        const Board *note = isInbox ? fixture.inbox : fixture.atlas;
        QCOMPARE(navigation.destination(), isInbox ? SidebarDestination::inbox() : SidebarDestination::notes());
        QCOMPARE(navigation.activeBoardID(), note->id());
        QCOMPARE(navigation.activeWritingAnchorID(), std::nullopt);
        QVERIFY(navigation.selectedCardIDs().isEmpty());
        QCOMPARE(navigation.searchText(), typed);
        QVERIFY(fixture.opened.isEmpty());
    }

    void openItemsOfTheContextMenus()
    {
        Fixture fixture;
        fixture.type(QStringLiteral("atlas"));
        SearchView &view = *fixture.view;
        std::unique_ptr<QMenu> snipMenu(view.contextMenu(view.snipList(), view.snipList()->model()->index(0, 0)));
        QVERIFY(snipMenu);
        QCOMPARE(snipMenu->actions().size(), 1);
        QCOMPARE(snipMenu->actions().first()->text(), QStringLiteral("Open Snip"));
        snipMenu->actions().first()->trigger();
        fixture.click(view.snipList(), 0);
        QCOMPARE(fixture.opened.size(), 2);
        QCOMPARE(fixture.opened[0], fixture.opened[1]);
        QCOMPARE(fixture.opened[0].second, fixture.photo->id());

        std::unique_ptr<QMenu> noteMenu(view.contextMenu(view.noteList(), view.noteList()->model()->index(0, 0)));
        QVERIFY(noteMenu);
        QCOMPARE(noteMenu->actions().first()->text(), QStringLiteral("Open Note"));
        noteMenu->actions().first()->trigger();
        QCOMPARE(fixture.rig.navigation().activeBoardID(), fixture.atlas->id());
        QCOMPARE(view.contextMenu(view.noteList(), QModelIndex()), nullptr);
    }

    void noteTileReadsWithItsExcerpt()
    {
        Fixture fixture;
        BoardWritingDocument writing;
        writing.blocks = {BoardWritingBlock::paragraph(QStringLiteral("Intro")),
                          BoardWritingBlock::paragraph(QStringLiteral("  Budget for the atlas print  "))};
        QVERIFY(fixture.atlas->updateWritingDocument(writing, at(50)));
        QVERIFY(fixture.rig.context().save());
        fixture.library->refresh();
        fixture.type(QStringLiteral("budget"));
        const QModelIndex tile = fixture.view->noteList()->model()->index(0, 0);
        QCOMPARE(tile.data(Qt::AccessibleTextRole).toString(),
                 QStringLiteral("Note, Project Atlas, Budget for the atlas print"));
    }

    // A snip's picture fills its tile's band at its own proportions: a
    // square in a wide snip is painted square, not squeezed to the band.
    void snipTilePictureKeepsItsShape()
    {
        Fixture fixture;
        QImage picture(1600, 100, QImage::Format_RGB32);
        picture.fill(Qt::white);
        QPainter(&picture).fillRect(QRect(775, 25, 50, 50), Qt::black);
        const QByteArray png = testing::pngOf(picture);
        CanvasCard *wide = testing::addCard(fixture.rig.context(), fixture.atlas->id(),
                                            CardFields{.kind = CardKind::snip, .image = png});
        wide->setContextText(QStringLiteral("Banner"));
        QVERIFY(fixture.rig.context().save());
        fixture.type(QStringLiteral("banner"));
        QListView *list = fixture.view->snipList();
        QCOMPARE(list->model()->rowCount(), 1);
        const QRect tile = list->visualRect(list->model()->index(0, 0));
        // Black pixels along the band's middle line, and down its middle.
        const auto blackRuns = [&] {
            const QImage shot = list->viewport()->grab().toImage();
            const qreal ratio = shot.devicePixelRatio();
            const int middleY = tile.top() + 56;
            int across = 0;
            int down = 0;
            for (int x = tile.left() + 4; x <= tile.right() - 4; ++x)
                across += qGray(shot.pixel((QPointF(x, middleY) * ratio).toPoint())) < 128 ? 1 : 0;
            for (int y = tile.top() + 4; y < tile.top() + 108; ++y)
                down += qGray(shot.pixel((QPointF(tile.center().x(), y) * ratio).toPoint())) < 128 ? 1 : 0;
            return std::pair(across, down);
        };
        QTRY_VERIFY(blackRuns().first > 0);
        const auto [across, down] = blackRuns();
        QVERIFY2(std::abs(across - down) <= 2, qPrintable(QStringLiteral("%1 x %2").arg(across).arg(down)));

        // A picture that comes in repaints its own tile, not the whole list.
        PaintedRects painted(list->viewport());
        auto *pictures = fixture.view->findChild<SnipImageCache *>();
        QVERIFY(pictures);
        Q_EMIT pictures->imageReady(wide->id());
        QTRY_VERIFY(!painted.rects.isEmpty());
        for (const QRect &rect : std::as_const(painted.rects))
            QVERIFY2(tile.contains(rect), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(rect.x()).arg(rect.y())
                                                         .arg(rect.width()).arg(rect.height())));
    }

    void fieldTakesTheFocusWhenShown()
    {
        Fixture fixture;
        fixture.view->activateWindow();
        QTRY_VERIFY(fixture.view->searchField()->hasFocus());
    }

    void clearEmptiesTheField()
    {
        Fixture fixture;
        fixture.type(QStringLiteral("  "));
        fixture.view->activateWindow();
        fixture.view->clearButton()->setFocus();
        QTest::mouseClick(fixture.view->clearButton(), Qt::LeftButton);
        QTRY_VERIFY(fixture.view->searchField()->hasFocus());
        QCOMPARE(fixture.rig.navigation().searchText(), QString());
        QCOMPARE(fixture.view->searchField()->text(), QString());
        QVERIFY(!fixture.view->clearButton()->isVisible());
    }

    void textSetElsewhereShowsInTheField()
    {
        Fixture fixture;
        fixture.rig.navigation().setSearchText(QStringLiteral("receipt"));
        QCOMPARE(fixture.view->searchField()->text(), QStringLiteral("receipt"));
        QCOMPARE(fixture.view->snipList()->model()->rowCount(), 1);
    }

    // Each query shows every hit of both grids as a whole tile on its own
    // place, also when a later query needs more rows than an earlier one.
    void everyHitShows_data()
    {
        QTest::addColumn<int>("width");
        QTest::newRow("roomy") << 1200;
        // Beside the sidebar on a 1080-line screen at twice the scale.
        QTest::newRow("narrow") << 640;
        QTest::newRow("one column") << 420;
    }

    void everyHitShows()
    {
        QFETCH(int, width);
        Fixture fixture;
        fixture.view->resize(width, 1400);
        const auto addNote = [&](const QString &title) { return fixture.rig.addNote(title); };
        const auto addSnip = [&](Board *note, const QString &context) {
            fixture.rig.addCard(note, CardKind::snip, 60)->setContextText(context);
        };
        Board *harbour = addNote(QStringLiteral("Harbour walk"));
        addNote(QStringLiteral("Lantern festival"));
        addNote(QStringLiteral("Lantern repairs"));
        Board *tides = addNote(QStringLiteral("Tide tables"));
        addNote(QStringLiteral("Tide pools"));
        addSnip(harbour, QStringLiteral("Harbour map"));
        addSnip(harbour, QStringLiteral("Lantern by the harbour"));
        for (int i = 0; i < 3; ++i)
            addSnip(tides, QStringLiteral("Lantern poster %1").arg(i));
        for (int i = 0; i < 5; ++i)
            addSnip(tides, QStringLiteral("Tide chart %1").arg(i));
        QVERIFY(fixture.rig.context().save());

        SearchView &view = *fixture.view;
        const struct
        {
            QString typed;
            int notes;
            int snips;
        } queries[] = {{QStringLiteral("harbour"), 1, 2}, {QStringLiteral("lantern"), 4, 4}, {QStringLiteral("tide"), 2, 8}};
        for (const auto &query : queries) {
            fixture.type(query.typed);
            QCOMPARE(view.notesHeader()->subtitle(), searchMatchCountText(query.notes));
            QCOMPARE(view.snipsHeader()->subtitle(), searchMatchCountText(query.snips));
            for (auto [list, expected] : {std::pair(view.noteList(), query.notes), std::pair(view.snipList(), query.snips)}) {
                QCOMPARE(list->model()->rowCount(), expected);
                QTRY_VERIFY(!list->viewport()->size().isEmpty());
                QList<QRect> tiles;
                for (int row = 0; row < expected; ++row) {
                    const QRect tile = list->visualRect(list->model()->index(row, 0));
                    QVERIFY2(list->viewport()->rect().contains(tile),
                             qPrintable(QStringLiteral("%1: tile %2 of %3 lies outside its grid")
                                            .arg(query.typed).arg(row + 1).arg(expected)));
                    for (const QRect &other : std::as_const(tiles))
                        QVERIFY(!other.intersects(tile));
                    tiles.append(tile);
                }
            }
        }
    }

    // The clear button stands inside the field, and typing does not narrow
    // the field.
    void clearButtonSitsInsideTheField()
    {
        Fixture fixture;
        SearchView &view = *fixture.view;
        QLineEdit *field = view.searchField();
        const int emptyWidth = field->width();
        fixture.type(QStringLiteral("atlas"));
        QTRY_VERIFY(view.clearButton()->isVisible());
        QCOMPARE(field->width(), emptyWidth);
        const QRect button(view.clearButton()->mapTo(field, QPoint(0, 0)), view.clearButton()->size());
        QVERIFY2(field->rect().contains(button), "the clear button lies outside the field");
        QVERIFY(button.center().x() > field->width() / 2);
        QCOMPARE(view.clearButton()->toolTip(), QStringLiteral("Clear Search"));
    }

    void storeChangesUpdateTheHits()
    {
        Fixture fixture;
        fixture.type(QStringLiteral("receipt"));
        QCOMPARE(fixture.view->snipList()->model()->rowCount(), 1);
        fixture.scan->moveToTrash(at(40));
        QVERIFY(fixture.rig.context().save());
        fixture.library->refresh();
        QCOMPARE(fixture.view->snipList()->model()->rowCount(), 0);
        QCOMPARE(fixture.view->emptyState()->title(), QStringLiteral("No matches"));
    }
};

QTEST_MAIN(SearchViewTest)
#include "tst_searchview.moc"
