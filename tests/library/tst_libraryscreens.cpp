#include "../support/MainWindowRig.h"
#include "../support/FileDialogs.h"

#include "library/CompactCardPreview.h"
#include "library/LibraryScreens.h"
#include "library/SearchCorpus.h"
#include "library/SearchView.h"
#include "library/SnipsLibraryModel.h"
#include "library/SnipsLibraryView.h"
#include "library/TrashView.h"
#include "design/SemanticColors.h"
#include "runtime/GuidedTourTarget.h"
#include "runtime/LibraryQuery.h"
#include "runtime/ScreenRegistry.h"
#include "runtime/TrashActions.h"

#include <QApplication>
#include <QFileDialog>
#include <QListView>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

QAction *entry(QMenu *menu, const QString &title)
{
    for (QAction *action : menu->actions()) {
        if (action->text() == title)
            return action;
    }
    return nullptr;
}

} // namespace

// The library's screens as the main window gets them from the folder's
// registration, with the services it wires in.
class LibraryScreensTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void failedSaveAsShowsTheReason();
    void cardTilesWearTheTourRing_data();
    void cardTilesWearTheTourRing();
    void searchTourRingStandsWholeInItsGrid_data();
    void searchTourRingStandsWholeInItsGrid();
    void searchFoldsFromTheStart();
};

// Once the window is up, the library is folded for Search before the
// screen is ever shown, and every showing searches that one corpus.
void LibraryScreensTest::searchFoldsFromTheStart()
{
    MainWindowRig rig;
    Board *note = rig.addNote(QStringLiteral("Harbour walk"));
    rig.addCard(note, CardKind::snip)->setOcrText(QStringLiteral("Tide tables"));
    QVERIFY(rig.context().save());
    LibraryQuery library(rig.context());
    TrashActions trash(library, rig.navigation(), nullptr);
    ScreenContext window(*rig.runtime, library, trash);
    ScreenRegistry screens;
    library::registerScreens(screens);
    QCOMPARE(library.findChild<SearchCorpus *>(), nullptr);

    screens.prepare(window);
    auto *corpus = library.findChild<SearchCorpus *>();
    QVERIFY(corpus);
    QTRY_VERIFY(corpus->isPrepared());
    QCOMPARE(corpus->keptCount(), 2);
    for (int visit = 0; visit < 2; ++visit) {
        rig.navigation().setSearchText(QStringLiteral("tide"));
        std::unique_ptr<QWidget> screen(screens.makeDetail(window, DetailScreen::search(), nullptr));
        auto *view = qobject_cast<SearchView *>(screen.get());
        QVERIFY(view);
        QCOMPARE(&SearchCorpus::of(library), corpus);
        QCOMPARE(view->model().snipResults().size(), 1);
    }
    QCOMPARE(library.findChildren<SearchCorpus *>().size(), 1);
}

void LibraryScreensTest::failedSaveAsShowsTheReason()
{
    MainWindowRig rig;
    Board *note = rig.addNote(QStringLiteral("Atlas"));
    CanvasCard *snip = rig.addCard(note, CardKind::snip);
    snip->setOriginalImageData(pngOf(Qt::darkCyan));
    QVERIFY(rig.context().save());

    LibraryQuery library(rig.context());
    TrashActions trash(library, rig.navigation(), nullptr);
    ScreenContext window(*rig.runtime, library, trash);
    ScreenRegistry screens;
    library::registerScreens(screens);
    std::unique_ptr<QWidget> screen(screens.makeDetail(window, DetailScreen::snipsLibrary(), nullptr));
    auto *view = qobject_cast<SnipsLibraryView *>(screen.get());
    QVERIFY(view);
    view->resize(900, 600);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view));

    std::unique_ptr<QMenu> menu(view->cardMenu(snip, nullptr));
    entry(menu.get(), QStringLiteral("Save As…"))->trigger();
    QTRY_VERIFY(shownFileDialog());
    QFileDialog *dialog = shownFileDialog();
    // A name longer than Linux allows fails to write even for root; typed
    // into the name field, as the dialog has the focus.
    QTemporaryDir folder;
    auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QVERIFY(name);
    name->setText(folder.filePath(QString(300, u'n') + QStringLiteral(".png")));
    static_cast<QDialog *>(dialog)->done(QDialog::Accepted);

    QTRY_VERIFY(view->alert());
    QVERIFY(view->model()->errorMessage().has_value());
    QVERIFY(!view->alert()->informativeText().isEmpty());
    QCOMPARE(view->alert()->informativeText(), *view->model()->errorMessage());
    QVERIFY(QDir(folder.path()).isEmpty());
}

void LibraryScreensTest::cardTilesWearTheTourRing_data()
{
    QTest::addColumn<bool>("search");
    QTest::addColumn<int>("step");
    QTest::addColumn<bool>("lit");
    for (const bool search : {false, true}) {
        const char *screen = search ? "search" : "recently deleted";
        QTest::addRow("%s, no tour", screen) << search << -1 << false;
        QTest::addRow("%s, capture", screen) << search << int(GuidedTourStep::capture) << false;
        QTest::addRow("%s, boards", screen) << search << int(GuidedTourStep::boards) << false;
        QTest::addRow("%s, snip preview", screen) << search << int(GuidedTourStep::snipPreview) << true;
    }
}

void LibraryScreensTest::cardTilesWearTheTourRing()
{
    QFETCH(bool, search);
    QFETCH(int, step);
    QFETCH(bool, lit);
    MainWindowRig rig;
    Board *note = rig.addNote(QStringLiteral("Atlas"));
    CanvasCard *older = rig.addCard(note, CardKind::snip, 1);
    CanvasCard *newest = rig.addCard(note, CardKind::snip, 2);
    for (CanvasCard *card : {older, newest})
        card->setOcrText(QStringLiteral("Lighthouse keeper"));
    QVERIFY(rig.context().save());
    rig.navigation().setSearchText(QStringLiteral("lighthouse"));

    LibraryQuery library(rig.context());
    TrashActions trash(library, rig.navigation(), nullptr);
    ScreenContext window(*rig.runtime, library, trash);
    GuidedTourTarget tour(rig.onboarding.get(), library);
    window.setGuidedTour(&tour);
    ScreenRegistry screens;
    library::registerScreens(screens);
    std::unique_ptr<QWidget> screen(
        screens.makeDetail(window, search ? DetailScreen::search() : DetailScreen::trash(), nullptr));
    screen->show();
    QVERIFY(QTest::qWaitForWindowExposed(screen.get()));
    const CompactCardPreview::TourRing *ring = nullptr;
    if (auto *searchView = qobject_cast<SearchView *>(screen.get())) {
        QTRY_COMPARE(searchView->model().snipResults().size(), 2);
        ring = searchView->tourRing();
    } else {
        auto *trashView = qobject_cast<TrashView *>(screen.get());
        QVERIFY(trashView);
        ring = trashView->cardsGrid()->tourRing();
    }

    rig.onboarding->setTourStep(step < 0 ? std::nullopt : std::optional(GuidedTourStep(step)));
    QCOMPARE(tour.previewCardID(), std::optional(newest->id()));
    if (lit)
        QTRY_COMPARE(ring->opacity(newest->id()), 1.0);
    QCOMPARE(ring->opacity(newest->id()), lit ? 1.0 : 0.0);
    QCOMPARE(ring->opacity(older->id()), 0.0);

}

// The ring on the Search screen as the screen shows it: all four sides
// stand round the tile, in the first column and in the next, though they lie
// outside the tile and its grid.
void LibraryScreensTest::searchTourRingStandsWholeInItsGrid_data()
{
    QTest::addColumn<int>("column");
    QTest::newRow("first column, first row") << 0;
    QTest::newRow("second column") << 1;
}

void LibraryScreensTest::searchTourRingStandsWholeInItsGrid()
{
    QFETCH(int, column);
    MainWindowRig rig;
    Board *note = rig.addNote(QStringLiteral("Atlas"));
    CanvasCard *toured = rig.addCard(note, CardKind::snip, 20);
    CanvasCard *other = rig.addCard(note, CardKind::snip, 10);
    CanvasCard *third = rig.addCard(note, CardKind::snip, 5);
    for (CanvasCard *card : {toured, other, third})
        card->setOcrText(QStringLiteral("Lighthouse keeper"));
    // Search lists the most recently changed first; the tour points at the
    // newest capture.
    if (column == 1)
        other->setUpdatedAt(at(30));
    QVERIFY(rig.context().save());
    rig.navigation().setSearchText(QStringLiteral("lighthouse"));

    LibraryQuery library(rig.context());
    TrashActions trash(library, rig.navigation(), nullptr);
    ScreenContext window(*rig.runtime, library, trash);
    GuidedTourTarget tour(rig.onboarding.get(), library);
    window.setGuidedTour(&tour);
    ScreenRegistry screens;
    library::registerScreens(screens);
    std::unique_ptr<QWidget> screen(screens.makeDetail(window, DetailScreen::search(), nullptr));
    auto *view = qobject_cast<SearchView *>(screen.get());
    QVERIFY(view);
    view->resize(1100, 900);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view));
    QListView *grid = view->snipList();
    QTRY_COMPARE(grid->model()->rowCount(), 3);
    const QModelIndex tile = grid->model()->index(int(view->model().snipResults().indexOf(toured)), 0);
    QVERIFY(tile.isValid());
    const QRect rect(grid->viewport()->mapTo(view, grid->visualRect(tile).topLeft()), grid->visualRect(tile).size());
    QCOMPARE(rect.left(), grid->viewport()->mapTo(view, QPoint(0, 0)).x() + column * (rect.width() + 14));

    // Midway along each side, between the ring's outer and inner edge.
    const QPoint sides[] = {{rect.center().x(), rect.top() - 3},
                            {rect.center().x(), rect.bottom() + 3},
                            {rect.left() - 3, rect.center().y()},
                            {rect.right() + 3, rect.center().y()}};
    const QColor ring = semanticColor(SemanticColor::primary, view->palette());
    const auto isRing = [&](const QImage &shown, QPoint at) {
        const QColor pixel = shown.pixelColor(at);
        return std::abs(pixel.red() - ring.red()) + std::abs(pixel.green() - ring.green())
            + std::abs(pixel.blue() - ring.blue()) < 60;
    };
    const QImage before = view->grab().toImage();
    for (const QPoint &side : sides)
        QVERIFY2(!isRing(before, side), "the tour's colour stands round the tile before the tour does");

    rig.onboarding->setTourStep(GuidedTourStep::snipPreview);
    QTRY_COMPARE(view->tourRing()->opacity(toured->id()), 1.0);
    const QImage lit = view->grab().toImage();
    const char *names[] = {"top", "bottom", "left", "right"};
    for (int side = 0; side < 4; ++side)
        QVERIFY2(isRing(lit, sides[side]), qPrintable(QStringLiteral("the ring's %1 side is missing").arg(names[side])));
}

QTEST_MAIN(LibraryScreensTest)
#include "tst_libraryscreens.moc"
