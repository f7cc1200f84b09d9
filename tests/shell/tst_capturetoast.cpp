#include "../support/RuntimeRig.h"

#include "shell/CaptureCompletionToastView.h"
#include "shell/CaptureToastModel.h"
#include "shell/CaptureToastWindowController.h"
#include "model/ThinkingSessionService.h"
#include "platform/BackgroundPool.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QThreadPool>
#include <QTimer>

using namespace tessaline;
using namespace tessaline::testing;

class CaptureToastTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void describesTheCard();
    void captionIsStoredTrimmedAndOnlyWhenChanged();
    void actionsRouteTheMainWindow();
    void returnOpensTheNoteFromAnywhereInTheToast();
    void openShowsAQuickCaptureWhereItIsListed();
    void copyFailureIsReported();
    void failureAlertSaysWhatFailed();
    void copyTheDesktopWouldDropIsNotClaimed();
    void trashedCardClosesTheToast();
    void thumbnailIsNeverDecodedOnTheMainThread();
    void placement_data();
    void placement();
    void onlyOneToastAtATime();
    void reusedToastShowsOnlyTheNewSnip();
    void everyTextFitsAtDesktopFontSizes_data();
    void everyTextFitsAtDesktopFontSizes();
};

namespace {

QUuid storedSnip(Rig &rig, CaptureMode mode = CaptureMode::window)
{
    rig.runtime->start();
    return *rig.handle(rig.capture(mode));
}

} // namespace

void CaptureToastTest::describesTheCard()
{
    Rig rig;
    const QUuid cardID = storedSnip(rig);
    CaptureToastModel model(cardID, *rig.runtime);
    model.loadInitialState();
    QVERIFY(model.isCopied()); // the runtime copied it already
    QCOMPARE(model.noteTitle(), QStringLiteral("Welcome to Tessaline"));
    QCOMPARE(model.sourceDescription(), QStringLiteral("From Text Editor \u00B7 notes.txt"));

    CanvasCard *card = rig.card(cardID);
    card->setSourceWindowTitle(QString());
    QCOMPARE(model.sourceDescription(), QStringLiteral("From Text Editor"));
    card->setSourceApplicationName(std::nullopt);
    QCOMPARE(model.sourceDescription(), QString());
    card->setBoardID(QUuid::createUuid());
    QCOMPARE(model.noteTitle(), QStringLiteral("Tessaline"));
}

void CaptureToastTest::captionIsStoredTrimmedAndOnlyWhenChanged()
{
    Rig rig;
    const QUuid cardID = storedSnip(rig);
    CaptureToastModel model(cardID, *rig.runtime);
    model.loadInitialState();
    QSignalSpy saved(&rig.context(), &ModelContext::didSave);
    model.setContextText(QStringLiteral("  A caption \n"));
    QVERIFY(model.commitCaption());
    QCOMPARE(rig.card(cardID)->contextText(), QStringLiteral("A caption"));
    QCOMPARE(saved.count(), 1);
    model.setContextText(QStringLiteral("A caption   "));
    QVERIFY(model.commitCaption()); // trims to what is stored: nothing written
    QCOMPARE(saved.count(), 1);
    model.setContextText(QStringLiteral("   "));
    QVERIFY(model.commitCaption());
    QCOMPARE(rig.card(cardID)->contextText(), QString());
}

void CaptureToastTest::actionsRouteTheMainWindow()
{
    Rig rig;
    const QUuid cardID = storedSnip(rig);
    NavigationState &navigation = rig.runtime->navigation();
    const QUuid noteID = rig.card(cardID)->boardID();
    navigation.setActiveBoardID(QUuid::createUuid());
    navigation.setDestination(SidebarDestination::captures());

    CaptureToastModel model(cardID, *rig.runtime);
    QSignalSpy closed(&model, &CaptureToastModel::closeRequested);
    model.setContextText(QStringLiteral("why it matters"));
    model.openNote();
    QCOMPARE(navigation.destination(), std::optional(SidebarDestination::notes()));
    QCOMPARE(navigation.activeBoardID(), std::optional(noteID));
    QCOMPARE(rig.card(cardID)->contextText(), QStringLiteral("why it matters"));
    QCOMPARE(closed.count(), 1);

    model.openReview();
    QCOMPARE(navigation.captureReviewCardID(), std::optional(cardID));
    model.openFrameComposer();
    QCOMPARE(navigation.frameComposerCardID(), std::optional(cardID));
    QCOMPARE(closed.count(), 3);
    QCOMPARE(rig.windowing.raised, 3);

    // Another snip's review or composer is up, maybe with annotations or a
    // frame not kept yet: it stays and comes forward; the toast stays too.
    const QUuid otherID = storedSnip(rig);
    CaptureToastModel other(otherID, *rig.runtime);
    QSignalSpy otherClosed(&other, &CaptureToastModel::closeRequested);
    other.openReview();
    QCOMPARE(navigation.captureReviewCardID(), std::optional(cardID));
    other.openFrameComposer();
    QCOMPARE(navigation.frameComposerCardID(), std::optional(cardID));
    QCOMPARE(otherClosed.count(), 0);
    QCOMPARE(rig.windowing.raised, 5);
    // Once that one is done, this snip follows.
    navigation.setCaptureReviewCardID(std::nullopt);
    navigation.setFrameComposerCardID(std::nullopt);
    other.openReview();
    QCOMPARE(navigation.captureReviewCardID(), std::optional(otherID));
    QCOMPARE(otherClosed.count(), 1);
}

// Open is the default action: Return takes it from the caption, storing
// what was typed, and from a button the user clicked before, which does
// not take it for itself.
void CaptureToastTest::returnOpensTheNoteFromAnywhereInTheToast()
{
    Rig rig;
    const QUuid cardID = storedSnip(rig);
    NavigationState &navigation = rig.runtime->navigation();
    const QUuid noteID = rig.card(cardID)->boardID();
    for (const bool fromCaption : {true, false}) {
        navigation.setActiveBoardID(QUuid::createUuid());
        CaptureCompletionToastView view(cardID, *rig.runtime);
        QSignalSpy closed(&view, &CaptureCompletionToastView::closeRequested);
        view.show();
        view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        QWidget *target = view.captionField();
        if (!fromCaption) {
            for (QAbstractButton *button : view.findChildren<QAbstractButton *>()) {
                if (button->text() == QStringLiteral("Annotate"))
                    target = button;
            }
            QVERIFY(target != view.captionField());
        }
        target->setFocus();
        QTRY_VERIFY(target->hasFocus());
        if (fromCaption)
            QTest::keyClicks(target, QStringLiteral(" why "));
        QTest::keyClick(target, Qt::Key_Return);
        QCOMPARE(closed.count(), 1);
        QCOMPARE(navigation.activeBoardID(), std::optional(noteID));
        QCOMPARE(navigation.captureReviewCardID(), std::nullopt);
        QCOMPARE(rig.card(cardID)->contextText(), QStringLiteral("why"));
    }
}

// "Notes" does not list the Quick Captures note: opened there, its snip
// would leave the window on an empty page.
void CaptureToastTest::openShowsAQuickCaptureWhereItIsListed()
{
    Rig rig;
    const QUuid cardID = storedSnip(rig);
    const auto notes = rig.context().fetchBoards();
    QVERIFY(notes);
    const auto inbox = std::find_if(notes->cbegin(), notes->cend(), [](const Board *note) { return note->isInbox(); });
    QVERIFY(inbox != notes->cend());
    rig.card(cardID)->setBoardID((*inbox)->id());
    QVERIFY(rig.context().save());
    NavigationState &navigation = rig.runtime->navigation();
    navigation.setDestination(SidebarDestination::captures());

    CaptureToastModel model(cardID, *rig.runtime);
    model.openNote();
    QCOMPARE(navigation.destination(), std::optional(SidebarDestination::inbox()));
    QCOMPARE(navigation.activeBoardID(), std::optional((*inbox)->id()));
}

void CaptureToastTest::copyFailureIsReported()
{
    Rig rig;
    const QUuid cardID = storedSnip(rig);
    rig.card(cardID)->setOriginalImageData(QByteArray("not an image"));
    CaptureToastModel model(cardID, *rig.runtime);
    model.copyImage(rig.pasteboard);
    QTRY_COMPARE(model.errorMessage(), std::optional<QString>("The image could not be encoded as PNG."));
    QVERIFY(!model.isCopied());
    model.setErrorMessage(std::nullopt);
    bool handedOn = false;
    model.prepareSave([&](const QImage &, const QString &) { handedOn = true; });
    QVERIFY(model.isExporting()); // one dialog at most while the picture is read
    QTRY_COMPARE(model.errorMessage(), std::optional<QString>("The image could not be encoded as PNG."));
    QVERIFY(!handedOn);
    QVERIFY(!model.isExporting());
}

void CaptureToastTest::failureAlertSaysWhatFailed()
{
    Rig rig;
    const QUuid cardID = storedSnip(rig);
    rig.card(cardID)->setOriginalImageData(QByteArray("not an image"));
    CaptureCompletionToastView view(cardID, *rig.runtime);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QAbstractButton *save = nullptr;
    for (QAbstractButton *button : view.findChildren<QAbstractButton *>()) {
        if (button->text() == QStringLiteral("Save\u2026"))
            save = button;
    }
    QVERIFY(save);
    QString text;
    QString informative;
    // The alert is modal and opens once the picture was found unreadable:
    // read and close it from the event loop it runs.
    QTimer watch;
    watch.setInterval(10);
    connect(&watch, &QTimer::timeout, &view, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        watch.stop();
        text = box->text();
        informative = box->informativeText();
        box->accept();
    });
    watch.start();
    save->click();
    QTRY_VERIFY(!text.isEmpty());
    QCOMPARE(text, QStringLiteral("Couldn\u2019t finish that action"));
    QCOMPARE(informative, QStringLiteral("The image could not be encoded as PNG."));
}

void CaptureToastTest::copyTheDesktopWouldDropIsNotClaimed()
{
    Rig rig;
    rig.pasteboard.dropsUnpromptedWrites = true;
    const QUuid cardID = storedSnip(rig);
    QCOMPARE(rig.pasteboard.types, QStringList()); // nothing was written
    QCOMPARE(rig.runtime->lastAutomaticallyCopiedCardID(), std::nullopt);

    CaptureCompletionToastView view(cardID, *rig.runtime);
    const auto label = [&](const QString &text) {
        for (QLabel *each : view.findChildren<QLabel *>()) {
            if (each->text() == text)
                return each;
        }
        return static_cast<QLabel *>(nullptr);
    };
    QVERIFY(!label(QStringLiteral("Copied")));
    QVERIFY(label(QStringLiteral("Not copied")));
    QVERIFY(!label(QStringLiteral("Not copied"))->isHidden());

    // The Copy button is the user's own input: that copy stands.
    CaptureToastModel model(cardID, *rig.runtime);
    model.loadInitialState();
    QVERIFY(model.isCopyHeldBack());
    model.copyImage(rig.pasteboard);
    QTRY_VERIFY(model.isCopied());
    QVERIFY(!model.isCopyHeldBack());
    QCOMPARE(rig.pasteboard.types, (QStringList{Pasteboard::pngType(), Pasteboard::tiffType()}));

    // A region dragged over our own overlay is the user's input: copied.
    const QUuid region = *rig.handle(rig.capture(CaptureMode::region));
    QCOMPARE(rig.runtime->lastAutomaticallyCopiedCardID(), std::optional(region));
    QCOMPARE(rig.runtime->automaticCopyHeldBackCardID(), std::nullopt);

    // The next capture, with the keyboard ours again, is copied as before.
    rig.pasteboard.dropsUnpromptedWrites = false;
    const QUuid next = *rig.handle(rig.capture(CaptureMode::window));
    QCOMPARE(rig.runtime->lastAutomaticallyCopiedCardID(), std::optional(next));
    QCOMPARE(rig.runtime->automaticCopyHeldBackCardID(), std::nullopt);

    // A copy tried and refused all the same (an X11 client's, with none of
    // its windows in use) says so too.
    rig.pasteboard.failWrites = true;
    const QUuid refused = *rig.handle(rig.capture(CaptureMode::region));
    QCOMPARE(rig.runtime->lastAutomaticallyCopiedCardID(), std::nullopt);
    QCOMPARE(rig.runtime->automaticCopyHeldBackCardID(), std::optional(refused));
}

void CaptureToastTest::trashedCardClosesTheToast()
{
    Rig rig;
    const QUuid cardID = storedSnip(rig);
    CaptureCompletionToastView view(cardID, *rig.runtime);
    QSignalSpy closed(&view, &CaptureCompletionToastView::closeRequested);
    // A caption typed and then dismissed is not stored.
    view.captionField()->setText(QStringLiteral("typed"));
    QVERIFY(ThinkingSessionService(rig.context()).moveCardToTrash(rig.card(cardID), at(300)));
    QVERIFY(closed.wait(5000));
    QCOMPARE(rig.card(cardID)->contextText(), QString());
}

// A capture's toast draws from the preview the capture made; a card
// without one has its picture decoded and reduced on the thread pool.
void CaptureToastTest::thumbnailIsNeverDecodedOnTheMainThread()
{
    Rig rig;
    rig.runtime->start();
    const auto large = [&rig] {
        CaptureResult result = rig.capture(CaptureMode::window);
        result.image = QImage(1000, 500, QImage::Format_RGB32);
        result.image.fill(Qt::darkRed);
        return result;
    };
    const QUuid first = *rig.handle(large());
    for (int i = 0; i < 4; ++i)
        QVERIFY(rig.handle(rig.capture(CaptureMode::window)));
    const QUuid latest = *rig.handle(large());

    CaptureToastModel fresh(latest, *rig.runtime);
    fresh.loadInitialState();
    QCOMPARE(fresh.thumbnailSource().size(), QSize(320, 160));
    QCOMPARE(fresh.thumbnailSource().pixelColor(10, 10), QColor(Qt::darkRed));

    CaptureToastModel older(first, *rig.runtime);
    QSignalSpy changed(&older, &CaptureToastModel::changed);
    older.loadInitialState();
    QVERIFY(older.thumbnailSource().isNull());
    QTRY_COMPARE(older.thumbnailSource().size(), QSize(320, 160));
    QCOMPARE(older.thumbnailSource().pixelColor(10, 10), QColor(Qt::darkRed));
    QCOMPARE(changed.count(), 2);
}

void CaptureToastTest::placement_data()
{
    QTest::addColumn<QPoint>("pointer");
    QTest::addColumn<QPoint>("expected");
    // Two screens side by side; the left one's top 30 px hold a panel.
    QTest::newRow("left screen") << QPoint(100, 100) << QPoint(1920 - 430 - 18, 30 + 18);
    QTest::newRow("right screen") << QPoint(2000, 500) << QPoint(1920 + 1280 - 430 - 18, 18);
    QTest::newRow("left edge of the right screen is inside") << QPoint(1920, 500) << QPoint(1920 + 1280 - 430 - 18, 18);
    QTest::newRow("top edge is outside") << QPoint(2000, 0) << QPoint(1920 - 430 - 18, 30 + 18);
    QTest::newRow("outside every screen: primary") << QPoint(-50, -50) << QPoint(1920 - 430 - 18, 30 + 18);
}

void CaptureToastTest::placement()
{
    QFETCH(QPoint, pointer);
    QFETCH(QPoint, expected);
    const QList<QRect> screens{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    const QList<QRect> available{QRect(0, 30, 1920, 1050), QRect(1920, 0, 1280, 1024)};
    QCOMPARE(CaptureToastWindowController::toastPosition(pointer, screens, available, 0), std::optional(expected));
    QVERIFY(!CaptureToastWindowController::toastPosition(pointer, {}, {}, 0));
}

void CaptureToastTest::onlyOneToastAtATime()
{
    Rig rig;
    const QUuid first = storedSnip(rig);
    const QUuid second = *rig.handle(rig.capture(CaptureMode::window));
    CaptureToastWindowController controller;
    controller.show(first, *rig.runtime);
    QPointer<QWidget> firstPanel = controller.panel();
    QVERIFY(firstPanel && firstPanel->isVisible());
    controller.show(second, *rig.runtime);
    QVERIFY(controller.panel() && controller.panel()->isVisible());
    const auto toasts = [] {
        int shown = 0;
        for (const QWidget *each : QApplication::topLevelWidgets())
            shown += each->objectName() == QLatin1String("CaptureToast") && each->isVisible();
        return shown;
    };
    QCOMPARE(toasts(), 1);
    QVERIFY(!firstPanel || firstPanel == controller.panel());
    QCOMPARE(controller.panel()->size(), CaptureToastWindowController::fittedSize(*controller.panel()));
    QVERIFY(controller.panel()->width() >= CaptureToastWindowController::toastSize.width());
    controller.close();
    controller.close(); // twice is harmless
    QVERIFY(!controller.panel());
}

// The toast's window is made once; whatever the previous card left in it
// (a caption typed, its copy state, its source, a picture still being
// reduced) never shows with the next.
void CaptureToastTest::reusedToastShowsOnlyTheNewSnip()
{
    Rig rig;
    rig.runtime->start();
    const auto coloured = [&rig](Qt::GlobalColor colour) {
        CaptureResult result = rig.capture(CaptureMode::window);
        result.image = QImage(1000, 500, QImage::Format_RGB32);
        result.image.fill(colour);
        return *rig.handle(result);
    };
    // Old enough that its toast reduces the stored picture again.
    const QUuid older = coloured(Qt::darkRed);
    for (int i = 0; i < 3; ++i)
        QVERIFY(rig.handle(rig.capture(CaptureMode::window)));
    rig.pasteboard.dropsUnpromptedWrites = true;
    const QUuid heldBack = *rig.handle(rig.capture(CaptureMode::window));

    CaptureToastWindowController controller;
    const auto label = [&controller](const QString &text) {
        for (QLabel *each : controller.panel()->findChildren<QLabel *>()) {
            if (each->text() == text && !each->isHidden())
                return true;
        }
        return false;
    };
    controller.show(heldBack, *rig.runtime);
    QPointer<QWidget> window = controller.panel();
    auto *view = static_cast<CaptureCompletionToastView *>(window.data());
    QVERIFY(label(QStringLiteral("Not copied")));
    QVERIFY(label(QStringLiteral("From Text Editor \u00B7 notes.txt")));
    view->captionField()->setText(QStringLiteral("typed for the first"));

    rig.pasteboard.dropsUnpromptedWrites = false;
    const QUuid latest = coloured(Qt::darkBlue);
    rig.card(latest)->setSourceApplicationName(std::nullopt);

    controller.show(latest, *rig.runtime);
    QCOMPARE(controller.panel(), window.data());
    QVERIFY(window->isVisible());
    QCOMPARE(view->model().cardID(), latest);
    QCOMPARE(view->captionField()->text(), QString());
    QVERIFY(label(QStringLiteral("Copied")));
    QVERIFY(!label(QStringLiteral("Not copied")));
    QVERIFY(!label(QStringLiteral("From Text Editor \u00B7 notes.txt")));
    QCOMPARE(view->model().thumbnailSource().pixelColor(10, 10), QColor(Qt::darkBlue));
    QCOMPARE(rig.card(heldBack)->contextText(), QString()); // dismissed, not stored

    // The older card's picture, asked for and then not wanted, arrives
    // after the latest card is shown: the latest keeps its own.
    controller.show(older, *rig.runtime);
    QVERIFY(view->model().thumbnailSource().isNull());
    controller.show(latest, *rig.runtime);
    backgroundPool().waitForDone();
    for (int turn = 0; turn < 4; ++turn)
        QCoreApplication::sendPostedEvents();
    QCOMPARE(view->model().thumbnailSource().pixelColor(10, 10), QColor(Qt::darkBlue));
    QCOMPARE(controller.panel(), window.data());
    controller.close();
    QVERIFY(!controller.panel());
}

void CaptureToastTest::everyTextFitsAtDesktopFontSizes_data()
{
    QTest::addColumn<int>("pointSize");
    QTest::addColumn<QString>("noteTitle");
    QTest::newRow("10 pt") << 10 << "";
    QTest::newRow("11 pt") << 11 << "";
    QTest::newRow("14 pt") << 14 << "";
    QTest::newRow("a long note name") << 11 << "Quarterly planning notes for the northern region's second half";
}

void CaptureToastTest::everyTextFitsAtDesktopFontSizes()
{
    // Common Linux desktop fonts are wider than the toast's first design;
    // nothing in it may be cut short, whatever the size.
    QFETCH(int, pointSize);
    QFETCH(QString, noteTitle);
    const QFont previous = QApplication::font();
    QFont desktop(QStringLiteral("DejaVu Sans"));
    desktop.setPointSize(pointSize);
    QApplication::setFont(desktop);
    Rig rig;
    const QUuid cardID = storedSnip(rig);
    if (!noteTitle.isEmpty()) {
        for (Board *board : *rig.context().fetchBoards()) {
            if (board->id() == rig.card(cardID)->boardID())
                board->setTitle(noteTitle);
        }
        QVERIFY(rig.context().save());
    }
    CaptureToastWindowController controller;
    controller.show(cardID, *rig.runtime);
    QWidget *panel = controller.panel();
    QVERIFY(panel && QTest::qWaitForWindowExposed(panel));
    const QRect inside = panel->rect();

    auto visibleRect = [panel](const QWidget *widget) {
        return QRect(widget->mapTo(panel, QPoint(0, 0)), widget->size());
    };
    int buttons = 0;
    for (const QAbstractButton *button : panel->findChildren<QAbstractButton *>()) {
        if (!button->isVisible() || button->text().isEmpty())
            continue;
        ++buttons;
        QVERIFY2(button->width() >= button->sizeHint().width(), qPrintable(button->text()));
        QVERIFY2(inside.contains(visibleRect(button)), qPrintable(button->text()));
    }
    QCOMPARE(buttons, 5); // Copied, Save…, Frame…, Annotate, Open
    for (const QLabel *label : panel->findChildren<QLabel *>()) {
        if (!label->isVisible() || label->text().isEmpty())
            continue;
        // A label that wraps has the height of all its lines; one that does
        // not has the width of its text.
        if (label->wordWrap()) {
            QVERIFY2(label->height() >= label->heightForWidth(label->width()), qPrintable(label->text()));
        } else {
            const int needed = label->fontMetrics().horizontalAdvance(label->text());
            QVERIFY2(label->contentsRect().width() >= needed, qPrintable(label->text()));
        }
        QVERIFY2(inside.contains(visibleRect(label)), qPrintable(label->text()));
    }
    const QLineEdit *caption = static_cast<CaptureCompletionToastView *>(panel)->captionField();
    QVERIFY(caption->width() >= caption->fontMetrics().horizontalAdvance(caption->placeholderText()));
    controller.close();
    QApplication::setFont(previous);
}

QTEST_MAIN(CaptureToastTest)
#include "tst_capturetoast.moc"
