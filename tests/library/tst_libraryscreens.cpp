#include "../support/MainWindowRig.h"
#include "../support/FileDialogs.h"

#include "library/CompactCardPreview.h"
#include "library/LibraryScreens.h"
#include "library/SearchCorpus.h"
#include "library/SearchView.h"
#include "library/SnipsLibraryModel.h"
#include "library/SnipsLibraryView.h"
#include "library/TrashView.h"
#include "runtime/GuidedTourTarget.h"
#include "runtime/LibraryQuery.h"
#include "runtime/ScreenRegistry.h"
#include "runtime/TrashActions.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
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

    // The ring stands round the tile, in the tour's colour, only when lit.
    const CompactCardPreview preview(*newest, note->title(), true);
    QImage canvas(300, CompactCardPreview::height(true) + 40, QImage::Format_ARGB32);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    const QRectF tile(20, 20, 260, CompactCardPreview::height(true));
    preview.paint(&painter, tile, QPixmap(), QPalette(), false, QDateTime::currentDateTimeUtc(),
                  ring->opacity(newest->id()));
    painter.end();
    const QPoint outside(int(tile.left()) - 3, int(tile.center().y()));
    QCOMPARE(canvas.pixelColor(outside).alpha() > 0, lit);
}

QTEST_MAIN(LibraryScreensTest)
#include "tst_libraryscreens.moc"
