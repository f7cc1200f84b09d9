#include "../support/MainWindowRig.h"
#include "../support/PaintedRects.h"
#include "../support/SnipFixtures.h"

#include "runtime/LibraryQuery.h"
#include "runtime/SnipImageCache.h"
#include "shell/RootView.h"
#include "runtime/TrashActions.h"
#include "library/TrashView.h"
#include "design/StudioEmptyState.h"
#include "design/StudioSectionHeader.h"
#include "runtime/UpdateService.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QHelpEvent>
#include <QToolTip>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <functional>
#include <utility>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

ScreenRegistry trashScreen()
{
    ScreenRegistry screens;
    screens.registerDetail(DetailScreen::Kind::trash,
                           [](ScreenContext &window, const DetailScreen &, QWidget *parent) -> QWidget * {
                               return new TrashView(window.library(), TrashModel::windowActions(window.trashActions()),
                                                    parent);
                           });
    return screens;
}

struct Fixture
{
    Fixture()
        : view(*rig.runtime, updates, trashScreen())
    {
        view.resize(1400, 900);
    }

    bool save() { return rig.context().save().hasValue(); }

    // Shows the window on the trash destination.
    TrashView *showTrash()
    {
        view.show();
        if (!QTest::qWaitForWindowExposed(&view))
            return nullptr;
        rig.navigation().setDestination(SidebarDestination::trash());
        return qobject_cast<TrashView *>(view.detailWidget());
    }

    static void click(TrashGridView *grid, const QRect &rect)
    {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, rect.center());
    }

    static QAbstractButton *button(QMessageBox *box, const QString &text)
    {
        for (QAbstractButton *candidate : box->buttons()) {
            if (candidate->text() == text)
                return candidate;
        }
        return nullptr;
    }

    MainWindowRig rig;
    UpdateService updates;
    RootView view;
};

} // namespace

class TrashViewTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void emptyTrashShowsTheEmptyState();
    void sectionsFollowTheStore();
    void buttonsReachTheWindow();
    void deletionAsksFirst_data();
    void deletionAsksFirst();
    void contextMenus_data();
    void contextMenus();
    void aMenuLeftOpenActsOnItsOwnItem_data();
    void aMenuLeftOpenActsOnItsOwnItem();
    void enterOpensTheCurrentTile();
    void assistantMarkHasItsTooltip_data();
    void assistantMarkHasItsTooltip();
    void deletedSnipsKeepTheirAnnotations_data();
    void deletedSnipsKeepTheirAnnotations();
    void tilePicturesKeepTheirShape_data();
    void tilePicturesKeepTheirShape();
    void anArrivingPictureRepaintsItsTileAlone();
    void aNoteDeletedForGoodRepaintsItsOwnGridAlone();
    void restoreRowsLineUp();
    void theLastOfManyTilesScrolledIntoViewIsItsOwn();
    void opensAtItsSizeInItsFirstPaint();
};

void TrashViewTest::emptyTrashShowsTheEmptyState()
{
    Fixture f;
    f.rig.addNote(QStringLiteral("Live"));
    QVERIFY(f.save());
    TrashView *trash = f.showTrash();
    QVERIFY(trash);
    QCOMPARE(trash->windowTitle(), QStringLiteral("Trash"));
    QCOMPARE(trash->header()->title(), QStringLiteral("Trash"));
    QCOMPARE(trash->header()->subtitle(), std::optional<QString>(QStringLiteral("Deleted items can be restored")));
    QVERIFY(trash->emptyState()->isVisible());
    QCOMPARE(trash->emptyState()->title(), QStringLiteral("Trash is empty"));
    QVERIFY(!trash->boardsSection()->isVisible());
    QVERIFY(!trash->cardsSection()->isVisible());
}

void TrashViewTest::sectionsFollowTheStore()
{
    Fixture f;
    Board *note = f.rig.addNote(QStringLiteral("Note"));
    CanvasCard *card = f.rig.addCard(note, CardKind::snip);
    card->moveToTrash(at(1));
    QVERIFY(f.save());
    TrashView *trash = f.showTrash();
    QVERIFY(trash);
    QVERIFY(!trash->emptyState()->isVisible());
    QVERIFY(!trash->boardsSection()->isVisible());
    QVERIFY(trash->cardsSection()->isVisible());
    QCOMPARE(trash->header()->subtitle(), std::optional<QString>(QStringLiteral("1 recoverable item")));

    // Trashing the note takes its card along: only the note is listed.
    note->moveToTrash(at(2));
    QVERIFY(f.save());
    QVERIFY(trash->boardsSection()->isVisible());
    QVERIFY(!trash->cardsSection()->isVisible());
    QCOMPARE(trash->boardsGrid()->model()->rowCount(), 1);
    QVERIFY(trash->boardsGrid()->height() > TrashTileDelegate::tileHeight(TrashItemModel::Section::boards, false));
}

void TrashViewTest::buttonsReachTheWindow()
{
    Fixture f;
    Board *note = f.rig.addNote(QStringLiteral("Note"));
    note->moveToTrash(at(1));
    Board *live = f.rig.addNote(QStringLiteral("Live"));
    CanvasCard *thought = f.rig.addCard(live, CardKind::thought);
    thought->moveToTrash(at(2));
    QVERIFY(f.save());
    TrashView *trash = f.showTrash();
    QVERIFY(trash);

    // Opening a deleted thought restores it and focuses it in its note.
    Fixture::click(trash->cardsGrid(), trash->cardsGrid()->tileRect(0));
    QVERIFY(thought->isLive());
    QCOMPARE(f.rig.navigation().focusedCardID(), std::optional<QUuid>(thought->id()));
    QCOMPARE(f.rig.navigation().activeBoardID(), std::optional<QUuid>(live->id()));

    f.rig.navigation().setDestination(SidebarDestination::trash());
    trash = qobject_cast<TrashView *>(f.view.detailWidget());
    QVERIFY(trash);
    Fixture::click(trash->boardsGrid(), trash->boardsGrid()->restoreButtonRect(0));
    QVERIFY(note->isLive());
    QVERIFY(trash->emptyState()->isVisible());
}

void TrashViewTest::deletionAsksFirst_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::newRow("Delete Permanently") << true;
    QTest::newRow("Cancel") << false;
}

void TrashViewTest::deletionAsksFirst()
{
    QFETCH(bool, confirm);
    Fixture f;
    Board *live = f.rig.addNote(QStringLiteral("Live"));
    CanvasCard *card = f.rig.addCard(live, CardKind::snip);
    card->setContextText("A caption long enough to wrap over a couple of lines in the tile, with more words after it");
    card->setSourceApplicationName("Editor");
    card->moveToTrash(at(1));
    QVERIFY(f.save());
    TrashView *trash = f.showTrash();
    QVERIFY(trash);

    Fixture::click(trash->cardsGrid(), trash->cardsGrid()->deleteButtonRect(0));
    QMessageBox *box = trash->confirmation();
    QVERIFY(box);
    QTRY_VERIFY(box->isVisible());
    QCOMPARE(box->text(), QStringLiteral("Delete Permanently?"));
    QCOMPARE(box->informativeText(), QStringLiteral("This cannot be undone."));
    QCOMPARE(f.rig.context().fetchCards()->size(), 1);

    QAbstractButton *choice = Fixture::button(box, confirm ? QStringLiteral("Delete Permanently") : QStringLiteral("Cancel"));
    QVERIFY(choice);
    choice->click();
    QVERIFY(!trash->model()->pendingDeletion());
    QTRY_VERIFY(!trash->confirmation());
    QCOMPARE(f.rig.context().fetchCards()->size(), confirm ? 0 : 1);
    QCOMPARE(trash->cardsSection()->isVisible(), !confirm);
}

void TrashViewTest::contextMenus_data()
{
    QTest::addColumn<bool>("withDelete");
    QTest::newRow("from the main window") << true;
    QTest::newRow("without delete actions") << false;
}

void TrashViewTest::contextMenus()
{
    QFETCH(bool, withDelete);
    MainWindowRig rig;
    Board *note = rig.addNote(QStringLiteral("Note"));
    note->moveToTrash(at(1));
    Board *live = rig.addNote(QStringLiteral("Live"));
    rig.addCard(live, CardKind::thought)->moveToTrash(at(2));
    QVERIFY(rig.context().save().hasValue());
    LibraryQuery library(rig.context());
    TrashActions window(library, rig.navigation(), nullptr);
    TrashModel::Actions actions = TrashModel::windowActions(window);
    if (!withDelete) {
        actions.deleteBoardPermanently = {};
        actions.deleteCardPermanently = {};
    }
    TrashView trash(library, actions);
    trash.resize(1200, 800);
    QCOMPARE(trash.boardsGrid()->showsDelete(), withDelete);
    QCOMPARE(trash.cardsGrid()->showsDelete(), withDelete);
    QCOMPARE(trash.cardsGrid()->deleteButtonRect(0).isEmpty(), !withDelete);

    const auto texts = [](QMenu *menu) {
        QStringList result;
        for (const QAction *action : menu->actions())
            result << (action->isSeparator() ? QStringLiteral("-") : action->text());
        return result;
    };
    std::unique_ptr<QMenu> boardMenu(trash.makeContextMenu(TrashItemModel::Section::boards, 0, nullptr));
    std::unique_ptr<QMenu> cardMenu(trash.makeContextMenu(TrashItemModel::Section::cards, 0, nullptr));
    const QStringList deleteEntries = withDelete ? QStringList{"-", "Delete Permanently"} : QStringList();
    QCOMPARE(texts(boardMenu.get()), QStringList{"Restore Board"} + deleteEntries);
    QCOMPARE(texts(cardMenu.get()), QStringList{"Restore Card"} + deleteEntries);

    if (withDelete) {
        boardMenu->actions().last()->trigger();
        QVERIFY(trash.confirmation());
        QCOMPARE(trash.model()->pendingDeletion()->id, note->id());
        trash.confirmation()->reject();
        QVERIFY(!trash.model()->pendingDeletion());
        QVERIFY(library.firstBoard(note->id()));
    }
    cardMenu->actions().first()->trigger();
    QVERIFY(trash.model()->cards()->rowCount() == 0);
}

void TrashViewTest::aMenuLeftOpenActsOnItsOwnItem_data()
{
    QTest::addColumn<bool>("restore");
    QTest::addColumn<bool>("stillListed");
    QTest::newRow("restore") << true << true;
    QTest::newRow("delete permanently") << false << true;
    QTest::newRow("restore, the item restored meanwhile") << true << false;
    QTest::newRow("delete, the item restored meanwhile") << false << false;
}

// Another deletion lands while a tile's menu is open and takes its row:
// the menu still acts on the tile it was opened on, and on nothing once
// that has left the trash.
void TrashViewTest::aMenuLeftOpenActsOnItsOwnItem()
{
    QFETCH(bool, restore);
    QFETCH(bool, stillListed);
    MainWindowRig rig;
    Board *picked = rig.addNote(QStringLiteral("Picked"));
    picked->moveToTrash(at(2));
    Board *later = rig.addNote(QStringLiteral("Later"));
    QVERIFY(rig.context().save().hasValue());
    LibraryQuery library(rig.context());
    TrashActions window(library, rig.navigation(), nullptr);
    window.setClock([] { return at(9); });
    TrashView trash(library, TrashModel::windowActions(window));
    std::unique_ptr<QMenu> menu(trash.makeContextMenu(TrashItemModel::Section::boards, 0, nullptr));

    later->moveToTrash(at(3));
    if (!stillListed)
        picked->restoreFromTrash(at(4));
    QVERIFY(rig.context().save().hasValue());
    QCOMPARE(trash.model()->boards()->index(0).data(TrashItemModel::IdRole).toUuid(), later->id());

    (restore ? menu->actions().first() : menu->actions().last())->trigger();
    QVERIFY(!later->isLive());
    if (restore) {
        QVERIFY(picked->isLive());
        QCOMPARE(picked->updatedAt(), stillListed ? at(9) : at(4));
    } else {
        const std::optional<TrashModel::PendingDeletion> pending = trash.model()->pendingDeletion();
        QCOMPARE(pending.has_value(), stillListed);
        if (pending)
            QCOMPARE(pending->id, picked->id());
        QCOMPARE(trash.confirmation() != nullptr, stillListed);
    }
}

void TrashViewTest::enterOpensTheCurrentTile()
{
    MainWindowRig rig;
    Board *note = rig.addNote(QStringLiteral("Note"));
    note->setStatus(BoardStatus::parked, at(1));
    note->moveToTrash(at(2));
    QVERIFY(rig.context().save().hasValue());
    LibraryQuery library(rig.context());
    TrashActions window(library, rig.navigation(), nullptr);
    TrashView trash(library, TrashModel::windowActions(window));
    trash.resize(1200, 800);
    trash.boardsGrid()->setCurrentIndex(trash.boardsGrid()->model()->index(0, 0));
    QTest::keyClick(trash.boardsGrid(), Qt::Key_Return);
    QVERIFY(note->isLive());
    QCOMPARE(note->status(), BoardStatus::active);
    QCOMPARE(rig.navigation().activeBoardID(), std::optional<QUuid>(note->id()));
    QVERIFY(trash.emptyState()->isVisibleTo(&trash));
}

void TrashViewTest::assistantMarkHasItsTooltip_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("withImage");
    QTest::newRow("thought") << int(CardKind::thought) << false;
    QTest::newRow("snip without a readable picture") << int(CardKind::snip) << false;
    QTest::newRow("snip with a picture") << int(CardKind::snip) << true;
}

void TrashViewTest::assistantMarkHasItsTooltip()
{
    QFETCH(int, kind);
    QFETCH(bool, withImage);
    Fixture f;
    Board *note = f.rig.addNote(QStringLiteral("Note"));
    std::optional<QByteArray> png;
    if (withImage) {
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(image.save(&buffer, "PNG"));
        png = buffer.data();
    }
    CanvasCard *card = testing::addCard(f.rig.context(), note->id(), CardFields{.kind = CardKind(kind), .image = png});
    card->setIsAIGenerated(true);
    card->moveToTrash(at(1));
    QVERIFY(f.save());
    TrashView *trash = f.showTrash();
    QVERIFY(trash);
    TrashGridView *grid = trash->cardsGrid();
    // The picture comes after the tile; the mark sits below it then.
    if (withImage)
        QTRY_VERIFY(!grid->picture(0).isNull());
    const QModelIndex index = grid->model()->index(0, 0);
    const QRect mark = grid->markRect(index);
    QVERIFY(grid->tileRect(0).contains(mark));

    const auto tooltipAt = [grid](const QPoint &point) {
        QHelpEvent help(QEvent::ToolTip, point, grid->viewport()->mapToGlobal(point));
        QApplication::sendEvent(grid->viewport(), &help);
        return QToolTip::text();
    };
    QTRY_COMPARE(tooltipAt(mark.center()), QStringLiteral("Kept assistant suggestion"));
    QTRY_COMPARE(tooltipAt(grid->tileRect(0).bottomLeft() + QPoint(20, -5)), QStringLiteral("Opens this deleted item"));
}

void TrashViewTest::deletedSnipsKeepTheirAnnotations_data()
{
    QTest::addColumn<QByteArray>("annotations");
    QTest::addColumn<bool>("showsPicture");
    // A black frame along the picture's edges, drawn as every other view
    // of the snip draws it.
    QTest::newRow("annotations drawn") << blackFrame() << true;
    // Annotations that cannot be read: the picture, whatever they may hide,
    // is not shown at all.
    QTest::newRow("annotations unreadable") << QByteArray("not annotations") << false;
}

void TrashViewTest::deletedSnipsKeepTheirAnnotations()
{
    QFETCH(QByteArray, annotations);
    QFETCH(bool, showsPicture);
    Fixture f;
    Board *note = f.rig.addNote(QStringLiteral("Note"));
    CanvasCard *card = testing::addCard(
        f.rig.context(), note->id(),
        CardFields{.kind = CardKind::snip, .image = pngOf(Qt::green, QSize(400, 300)), .annotations = annotations});
    card->moveToTrash(at(1));
    QVERIFY(f.save());
    TrashView *trash = f.showTrash();
    QVERIFY(trash);
    TrashGridView *grid = trash->cardsGrid();
    const QRect tile = grid->tileRect(0);
    // Counts the picture area's pixels that are pure green (the snip) and
    // black (the frame drawn over it).
    const auto count = [&](bool black) {
        const QImage shot = grid->viewport()->grab().toImage();
        const qreal ratio = shot.devicePixelRatio();
        int found = 0;
        for (int y = tile.top() + 4; y < tile.top() + 100; y += 2) {
            for (int x = tile.left() + 2; x < tile.right() - 2; x += 2) {
                const QColor pixel = shot.pixelColor(QPoint(x, y) * ratio);
                if (black ? pixel.value() < 20 : (pixel.green() > 240 && pixel.red() < 20 && pixel.blue() < 20))
                    ++found;
            }
        }
        return found;
    };
    if (showsPicture) {
        QTRY_VERIFY(count(false) > 100);
        QVERIFY(count(true) > 20);
    } else {
        QTRY_VERIFY(grid->pictures()->state(*card) == SnipImageCache::State::unavailable);
        grid->viewport()->repaint();
        QCOMPARE(count(false), 0);
        QVERIFY(grid->picture(0).isNull());
    }
}

void TrashViewTest::tilePicturesKeepTheirShape_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("a line of text") << QSize(800, 100);
    QTest::newRow("a tall column") << QSize(100, 600);
    QTest::newRow("the tile's own shape") << QSize(240, 112);
}

// The tile's band is filled by the picture at its own proportions, cut at the
// sides: a square in the picture stays a square in the tile.
void TrashViewTest::tilePicturesKeepTheirShape()
{
    QFETCH(QSize, size);
    Fixture f;
    Board *note = f.rig.addNote(QStringLiteral("Note"));
    const int side = std::min(size.width(), size.height()) / 2;
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter(&picture).fillRect(QRect(QPoint(), QSize(side, side)).translated((size.width() - side) / 2,
                                                                              (size.height() - side) / 2),
                                Qt::black);
    const QByteArray png = testing::pngOf(picture);
    CanvasCard *card = testing::addCard(f.rig.context(), note->id(), CardFields{.kind = CardKind::snip, .image = png});
    card->moveToTrash(at(1));
    QVERIFY(f.save());
    TrashView *trash = f.showTrash();
    QVERIFY(trash);
    TrashGridView *grid = trash->cardsGrid();
    QTRY_VERIFY(!grid->picture(0).isNull());
    const QImage shown = grid->picture(0).toImage();
    const auto blackRun = [&](QPoint from, QPoint step) {
        int run = 0;
        for (QPoint at = from; shown.rect().contains(at); at += step)
            run += qGray(shown.pixel(at)) < 128;
        return run;
    };
    const QPoint centre = shown.rect().center();
    const int across = blackRun(QPoint(0, centre.y()), QPoint(1, 0));
    const int down = blackRun(QPoint(centre.x(), 0), QPoint(0, 1));
    const qreal scale = std::max(qreal(shown.width()) / size.width(), qreal(shown.height()) / size.height());
    const int expected = qRound(side * scale);
    QVERIFY2(std::abs(across - std::min(expected, shown.width())) <= 2, qPrintable(QString::number(across)));
    QVERIFY2(std::abs(down - std::min(expected, shown.height())) <= 2, qPrintable(QString::number(down)));
}

// Pictures come in one by one; each repaints its own tile, not every tile
// in view.
void TrashViewTest::anArrivingPictureRepaintsItsTileAlone()
{
    Fixture f;
    Board *note = f.rig.addNote(QStringLiteral("Note"));
    QList<CanvasCard *> snips;
    for (const Qt::GlobalColor colour : {Qt::red, Qt::green}) {
        snips << testing::addCard(f.rig.context(), note->id(),
                                  CardFields{.kind = CardKind::snip, .image = pngOf(colour, QSize(400, 300))});
        snips.constLast()->moveToTrash(at(snips.size()));
    }
    QVERIFY(f.save());
    TrashView *trash = f.showTrash();
    QVERIFY(trash);
    TrashGridView *grid = trash->cardsGrid();
    QCOMPARE(grid->model()->rowCount(), 2);
    QTRY_VERIFY(!grid->picture(0).isNull() && !grid->picture(1).isNull());
    QCoreApplication::processEvents();

    PaintedRects painted(grid->viewport());
    const int arriving = grid->model()->index(0, 0).data(TrashItemModel::IdRole).toUuid() == snips.at(1)->id() ? 0 : 1;
    Q_EMIT grid->pictures()->imageReady(snips.at(1)->id());
    QTRY_VERIFY(painted.covers(grid->tileRect(arriving)));
    for (const QRect &rect : std::as_const(painted.rects)) {
        const bool insideATile = std::ranges::any_of(QList<int>{0, 1}, [&](int row) {
            return grid->visualRect(grid->model()->index(row, 0)).contains(rect);
        });
        QVERIFY2(insideATile, qPrintable(QStringLiteral("%1,%2 %3x%4").arg(rect.x()).arg(rect.y())
                                             .arg(rect.width()).arg(rect.height())));
    }
}

// Confirming "Delete Permanently" for a note moves up the note tiles after
// it; the cards' grid, which did not change, is not told to, and the pointer
// coming back over it from the confirmation lights the tile it is on alone.
void TrashViewTest::aNoteDeletedForGoodRepaintsItsOwnGridAlone()
{
    Fixture f;
    Board *live = f.rig.addNote(QStringLiteral("Live"));
    // Two notes: one line of tiles in any window wide enough for two.
    for (int i = 0; i < 2; ++i)
        f.rig.addNote(QStringLiteral("Gone %1").arg(i))->moveToTrash(at(10 - i));
    for (int i = 0; i < 2; ++i)
        f.rig.addCard(live, CardKind::thought)->moveToTrash(at(1 + i));
    QVERIFY(f.save());
    TrashView *trash = f.showTrash();
    QVERIFY(trash);
    TrashGridView *boards = trash->boardsGrid();
    TrashGridView *cards = trash->cardsGrid();
    QCOMPARE(boards->model()->rowCount(), 2);
    QCOMPARE(cards->model()->rowCount(), 2);
    // Shown and laid out: the grids have their heights in their sections,
    // and keep their places from one look to the next.
    QTRY_VERIFY(boards->isVisible() && cards->isVisible());
    QWidget *section = trash->boardsSection();
    QTRY_COMPARE(section->height(), section->heightForWidth(section->width()));
    QRect placed;
    QTRY_VERIFY([&] {
        const QRect now(cards->mapTo(cards->window(), QPoint()), cards->size());
        return std::exchange(placed, now) == now;
    }());
    QCoreApplication::processEvents();
    const QString last = boards->model()->index(1, 0).data(TrashItemModel::TitleRole).toString();

    QSignalSpy cardsReset(cards->model(), &QAbstractItemModel::modelReset);
    QSignalSpy cardsChanged(cards->model(), &QAbstractItemModel::dataChanged);
    PaintedRects boardsPainted(boards->viewport());
    Fixture::click(boards, boards->deleteButtonRect(0));
    QMessageBox *box = trash->confirmation();
    QVERIFY(box);
    QTRY_VERIFY(box->isVisible());
    QAbstractButton *confirm = Fixture::button(box, QStringLiteral("Delete Permanently"));
    QVERIFY(confirm);
    confirm->click();
    QTRY_VERIFY(!trash->confirmation());
    QCOMPARE(boards->model()->rowCount(), 1);
    QCOMPARE(boards->model()->index(0, 0).data(TrashItemModel::TitleRole).toString(), last);
    QTRY_VERIFY(boardsPainted.covers(boards->tileRect(0)));
    QVERIFY(cardsReset.isEmpty() && cardsChanged.isEmpty());
    QCOMPARE(QRect(cards->mapTo(cards->window(), QPoint()), cards->size()), placed);

    // The pointer rested on a card, left the grid for the confirmation and
    // came back: that tile alone is lit again.
    QCoreApplication::processEvents();
    PaintedRects cardsPainted(cards->viewport());
    const QPoint onCard = cards->tileRect(0).center();
    const QPointF global = cards->viewport()->mapToGlobal(QPointF(onCard));
    QHoverEvent leave(QEvent::HoverLeave, QPointF(-1, -1), global, QPointF(onCard));
    QCoreApplication::sendEvent(cards->viewport(), &leave);
    QHoverEvent enter(QEvent::HoverEnter, QPointF(onCard), global, QPointF(-1, -1));
    QCoreApplication::sendEvent(cards->viewport(), &enter);
    const QRect underPointer = cards->visualRect(cards->model()->index(0, 0));
    QTRY_VERIFY(cardsPainted.covers(cards->tileRect(0)));
    for (const QRect &rect : std::as_const(cardsPainted.rects)) {
        QVERIFY2(underPointer.contains(rect), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(rect.x()).arg(rect.y())
                                                             .arg(rect.width()).arg(rect.height())));
    }
}

void TrashViewTest::restoreRowsLineUp()
{
    Fixture f;
    Board *note = f.rig.addNote(QStringLiteral("Note"));
    CanvasCard *thought = f.rig.addCard(note, CardKind::thought);
    CanvasCard *snip = f.rig.addCard(note, CardKind::snip);
    thought->moveToTrash(at(2));
    snip->moveToTrash(at(1));
    QVERIFY(f.save());
    TrashView *trash = f.showTrash();
    QVERIFY(trash);
    TrashGridView *grid = trash->cardsGrid();
    QCOMPARE(grid->model()->rowCount(), 2);
    // Side by side on one line of the grid, as tall as each other.
    QTRY_COMPARE(grid->tileRect(0).top(), grid->tileRect(1).top());
    QVERIFY(grid->tileRect(0).left() != grid->tileRect(1).left());
    QCOMPARE(grid->tileRect(0).height(), grid->tileRect(1).height());
    QCOMPARE(grid->restoreButtonRect(0).top(), grid->restoreButtonRect(1).top());
    QCOMPARE(grid->deleteButtonRect(0).top(), grid->deleteButtonRect(1).top());
}

// A long trash is laid out line by line down to its last tile: scrolled to
// the bottom, that tile is in view, is found where it is painted, and its
// Restore button restores that card and no other.
void TrashViewTest::theLastOfManyTilesScrolledIntoViewIsItsOwn()
{
    Fixture f;
    Board *note = f.rig.addNote(QStringLiteral("Note"));
    QList<CanvasCard *> cards;
    for (int i = 0; i < 45; ++i) {
        CanvasCard *card = f.rig.addCard(note, i % 3 == 0 ? CardKind::snip : CardKind::thought);
        // Newest deletion first: the last card made is listed last.
        card->moveToTrash(at(100 - i));
        cards << card;
    }
    QVERIFY(f.save());
    TrashView *trash = f.showTrash();
    QVERIFY(trash);
    TrashGridView *grid = trash->cardsGrid();
    const int last = grid->model()->rowCount() - 1;
    QCOMPARE(last, 44);
    auto *scroll = trash->findChild<QScrollArea *>();
    QVERIFY(scroll);
    QTRY_VERIFY(scroll->verticalScrollBar()->maximum() > 0);
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());

    const QRect tile = grid->tileRect(last);
    QVERIFY(grid->rect().contains(tile));
    const QPoint shownAt = grid->viewport()->mapTo(scroll->viewport(), tile.center());
    QVERIFY2(scroll->viewport()->rect().contains(shownAt), qPrintable(QStringLiteral("%1,%2").arg(shownAt.x()).arg(shownAt.y())));
    QCOMPARE(grid->indexAt(tile.center()).row(), last);
    // The lines above hold whole rows of tiles, each line starting at the left.
    int columns = 0;
    while (columns <= last && grid->tileRect(columns).top() == grid->tileRect(0).top())
        ++columns;
    QVERIFY(columns > 1);
    QCOMPARE(grid->tileRect(columns).left(), grid->tileRect(0).left());
    QVERIFY(grid->tileRect(columns).top() > grid->tileRect(0).bottom());

    Fixture::click(grid, grid->restoreButtonRect(last));
    QVERIFY(cards.last()->isLive());
    QVERIFY(std::none_of(cards.cbegin(), cards.cend() - 1, [](const CanvasCard *card) { return card->isLive(); }));
}

// The grids are as tall as their lines of tiles at the width they get: the
// page is painted with every section at the height it keeps, not first with
// the notes a column of single tiles and then again once that was mended.
void TrashViewTest::opensAtItsSizeInItsFirstPaint()
{
    Fixture f;
    Board *live = f.rig.addNote(QStringLiteral("Live"));
    for (int i = 0; i < 7; ++i)
        f.rig.addNote(QStringLiteral("Gone %1").arg(i))->moveToTrash(at(20 - i));
    for (int i = 0; i < 9; ++i)
        f.rig.addCard(live, CardKind::thought)->moveToTrash(at(1 + i));
    QVERIFY(f.save());
    TrashView *trash = f.showTrash();
    QVERIFY(trash);
    auto *scroll = trash->findChild<QScrollArea *>();
    QVERIFY(scroll && scroll->widget());

    struct Seen
    {
        int boards;
        int cards;
        int page;
        bool operator==(const Seen &) const = default;
    };
    QList<Seen> seen;
    struct PagePaints : QObject
    {
        std::function<void()> painted;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint)
                painted();
            return false;
        }
    } pagePaints;
    pagePaints.painted = [&] {
        seen.append({trash->boardsGrid()->height(), trash->cardsGrid()->height(), scroll->widget()->height()});
    };
    scroll->widget()->installEventFilter(&pagePaints);

    QTRY_VERIFY(!seen.isEmpty());
    // Settled: nothing moves from one look to the next.
    Seen settled{-1, -1, -1};
    const auto unchanged = [&] {
        QCoreApplication::processEvents();
        const Seen now = {trash->boardsGrid()->height(), trash->cardsGrid()->height(), scroll->widget()->height()};
        return std::exchange(settled, now) == now;
    };
    QTRY_VERIFY(unchanged());
    // Seven notes at this width lie on more than one line and fewer than seven.
    const int boardLine = trash->boardsGrid()->tileRect(0).height() + TrashTileDelegate::buttonGap
        + TrashTileDelegate::buttonRowHeight;
    QVERIFY(settled.boards > boardLine && settled.boards < 7 * boardLine);
    for (const Seen &paint : std::as_const(seen)) {
        QCOMPARE(paint.boards, settled.boards);
        QCOMPARE(paint.cards, settled.cards);
        QCOMPARE(paint.page, settled.page);
    }
}

QTEST_MAIN(TrashViewTest)
#include "tst_trashview.moc"
