#include "SnipsLibraryRig.h"

#include "design/StudioEmptyState.h"
#include "design/StudioIconButton.h"
#include "library/SnipGalleryInfoPanel.h"
#include "library/SnipGalleryView.h"
#include "library/ZoomableSnipView.h"
#include "runtime/SnipPictureLoader.h"

#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

using namespace tessaline;
using namespace tessaline::testing;

using InfoRows = QList<SnipGalleryModel::InfoRow>;
Q_DECLARE_METATYPE(InfoRows)

namespace {

// A pasteboard that refuses every write.
class RefusingPasteboard : public RecordingPasteboard
{
public:
    bool setData(const QByteArray &, const QString &) override { return false; }
};

// Notes Atlas (three pictured snips, captured 10, 20, 30) and Quick
// Captures (one); the gallery opened on Atlas's middle snip.
struct Gallery
{
    explicit Gallery(bool reduceMotion = true)
    {
        atlas = rig.addNote(QStringLiteral("Atlas"));
        inbox = rig.addNote(QStringLiteral("Quick Captures"), true);
        first = pictured(atlas, QStringLiteral("First"), 10, Qt::red);
        middle = pictured(atlas, QStringLiteral("Middle"), 20, Qt::green);
        last = pictured(atlas, QStringLiteral("Last"), 30, Qt::blue);
        inboxSnip = pictured(inbox, QStringLiteral("Inbox snip"), 40, Qt::yellow);
        rig.save();
        rig.navigation->openGallery(middle->id(), std::nullopt);
        open(pasteboard, reduceMotion);
    }

    CanvasCard *pictured(const Board *note, const QString &title, qint64 captured, const QColor &colour)
    {
        CanvasCard *card = rig.addSnip(note->id(), title, 1, captured);
        card->setOriginalImageData(pngOf(colour, QSize(320, 200)));
        return card;
    }

    void open(Pasteboard &board, bool reduceMotion)
    {
        SnipGalleryServices services;
        services.pasteboard = &board;
        services.reducesMotion = [reduceMotion] { return reduceMotion; };
        services.saveImage = [this](const QImage &image, const QString &name, SaveFileFlow::Completion done) {
            saved.append({image, name});
            pendingSave = std::move(done);
        };
        view = std::make_unique<SnipGalleryView>(*rig.library, *rig.navigation, *rig.navigation->galleryCardID(),
                                                 services);
        view->resize(1000, 700);
        view->show();
        view->activateWindow();
        if (!QTest::qWaitForWindowActive(view.get()))
            qFatal("gallery not active");
        settle();
    }

    // Every picture asked for so far has been handed back.
    void settle() { model()->pictures().waitForPending(); }
    SnipGalleryModel *model() const { return view->model(); }
    QUuid current() const { return model()->currentCardID(); }

    SnipsLibraryRig rig;
    Board *atlas, *inbox;
    CanvasCard *first, *middle, *last, *inboxSnip;
    RecordingPasteboard pasteboard;
    QList<std::pair<QImage, QString>> saved;
    SaveFileFlow::Completion pendingSave;
    std::unique_ptr<SnipGalleryView> view;
};

// A point under the covering rectangle's 60-pixel stroke.
QColor underTheStroke(const QByteArray &png)
{
    const QImage image = QImage::fromData(png);
    return image.pixelColor(5, image.height() / 2);
}

} // namespace

class SnipGalleryViewTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void keys_data();
    void keys();
    void goingAwayClearsOnlyWhatItAskedFor_data();
    void goingAwayClearsOnlyWhatItAskedFor();
    void pagingFitsAgainAndForgetsTheCopy();
    void copyExportsTheAnnotatedSnipOrSaysWhyNot();
    void saveReportsAFailureAndTakesOneAtATime();
    void handOffClosesFirst_data();
    void handOffClosesFirst();
    void aSnipThatGoesAwayIsUnavailable();
    void pagingTheOpenersListFollowsEverySave();
    void noteMenu();
    void infoRows_data();
    void infoRows();
    void capturedTimeHasNoSeconds_data();
    void capturedTimeHasNoSeconds();
    void infoPanelSections();
    void zoomableViewGestures();
};

void SnipGalleryViewTest::keys_data()
{
    QTest::addColumn<QString>("focused");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("closed");
    // Buttons never take these keys, even with the focus forced onto one.
    QTest::newRow("right") << "" << QList<int>{Qt::Key_Right} << "Last" << false;
    QTest::newRow("left, then left at the start") << "" << QList<int>{Qt::Key_Left, Qt::Key_Left} << "First" << false;
    QTest::newRow("right past the end: nothing, no wrap") << "" << QList<int>{Qt::Key_Right, Qt::Key_Right}
                                                          << "Last" << false;
    QTest::newRow("space on the focused next button closes") << "next" << QList<int>{Qt::Key_Space} << "Middle"
                                                             << true;
    QTest::newRow("right with the copy button focused pages") << "copy" << QList<int>{Qt::Key_Right} << "Last"
                                                              << false;
    QTest::newRow("escape") << "" << QList<int>{Qt::Key_Escape} << "Middle" << true;
}

void SnipGalleryViewTest::keys()
{
    QFETCH(QString, focused);
    QFETCH(QList<int>, keys);
    QFETCH(QString, shown);
    QFETCH(bool, closed);
    Gallery gallery;
    QSignalSpy copies(gallery.view->copyButton(), &QAbstractButton::clicked);
    QWidget *target = gallery.view.get();
    if (focused == QLatin1String("next"))
        target = gallery.view->nextButton();
    else if (focused == QLatin1String("copy"))
        target = gallery.view->copyButton();
    target->setFocus();
    for (const int key : keys)
        QTest::keyClick(target, Qt::Key(key));
    QCOMPARE(gallery.model()->title(), shown);
    QCOMPARE(gallery.view->titleLabel()->text(), shown);
    QCOMPARE(copies.count(), 0);
    if (closed) {
        QVERIFY(!gallery.view->isVisible());
        QCOMPARE(gallery.rig.navigation->galleryCardID(), std::nullopt);
        QCOMPARE(gallery.rig.navigation->galleryBrowseCardIDs(), std::nullopt);
    } else {
        QVERIFY(gallery.view->isVisible());
        QCOMPARE(gallery.rig.navigation->galleryCardID(), std::optional(gallery.current()));
    }
}

void SnipGalleryViewTest::goingAwayClearsOnlyWhatItAskedFor_data()
{
    QTest::addColumn<bool>("paged");
    QTest::addColumn<bool>("pointedElsewhere");
    QTest::addColumn<bool>("cleared");
    QTest::newRow("its own snip") << false << false << true;
    QTest::newRow("a snip it paged to") << true << false << true;
    QTest::newRow("pointed at another snip meanwhile") << false << true << false;
    QTest::newRow("paged, then pointed elsewhere") << true << true << false;
}

// The window goes without its own close (its owner took it down): the
// navigation it set is cleared, a snip asked for by someone else is not.
void SnipGalleryViewTest::goingAwayClearsOnlyWhatItAskedFor()
{
    QFETCH(bool, paged);
    QFETCH(bool, pointedElsewhere);
    QFETCH(bool, cleared);
    Gallery gallery;
    const QList<QUuid> browse{gallery.inboxSnip->id(), gallery.middle->id(), gallery.last->id()};
    gallery.rig.navigation->openGallery(gallery.middle->id(), browse);
    if (paged) {
        QTest::keyClick(gallery.view.get(), Qt::Key_Right);
        QCOMPARE(gallery.current(), gallery.last->id());
    }
    if (pointedElsewhere)
        gallery.rig.navigation->setGalleryCardID(gallery.inboxSnip->id());
    gallery.view.reset();
    if (cleared) {
        QCOMPARE(gallery.rig.navigation->galleryCardID(), std::nullopt);
        QCOMPARE(gallery.rig.navigation->galleryBrowseCardIDs(), std::nullopt);
    } else {
        QCOMPARE(gallery.rig.navigation->galleryCardID(), std::optional(gallery.inboxSnip->id()));
        QCOMPARE(gallery.rig.navigation->galleryBrowseCardIDs(), std::optional(browse));
    }
}

void SnipGalleryViewTest::pagingFitsAgainAndForgetsTheCopy()
{
    // Browsing the library's list, newest first, whatever the note.
    Gallery gallery;
    gallery.rig.navigation->openGallery(gallery.middle->id(),
                                        QList<QUuid>{gallery.inboxSnip->id(), gallery.middle->id(), gallery.first->id()});
    QCOMPARE(gallery.view->positionLabel()->text(), QStringLiteral("2 of 3"));

    QTest::keyClick(gallery.view.get(), Qt::Key_Equal, Qt::ControlModifier);
    QTest::keyClick(gallery.view.get(), Qt::Key_Equal, Qt::ControlModifier);
    QCOMPARE(gallery.model()->zoomMode().kind(), SnipZoomMode::Kind::custom);
    QVERIFY(gallery.model()->copyRenderedSnip());
    QCOMPARE(gallery.view->copyButton()->title(), QStringLiteral("Copied"));

    QTest::keyClick(gallery.view.get(), Qt::Key_Right);
    QCOMPARE(gallery.current(), gallery.first->id());
    QCOMPARE(gallery.model()->zoomMode(), SnipZoomMode::fit());
    QCOMPARE(gallery.view->copyButton()->title(), QStringLiteral("Copy rendered snip"));
    QCOMPARE(gallery.view->positionLabel()->text(), QStringLiteral("3 of 3"));
    QVERIFY(!gallery.view->nextButton()->isEnabled());
    // The neighbour was loaded ahead: its picture is there at once.
    gallery.settle();
    QVERIFY(gallery.view->zoomableView()->picture());
    QCOMPARE(gallery.view->zoomableView()->shownLayout().effectiveScale, gallery.model()->fitScale());
    QCOMPARE(gallery.view->zoomMenuButton()->text(),
             SnipZoom::percentageText(gallery.view->zoomableView()->fitScale()));
}

void SnipGalleryViewTest::copyExportsTheAnnotatedSnipOrSaysWhyNot()
{
    Gallery gallery;
    gallery.middle->setAnnotationDocumentData(coveringRectangle(AnnotationColor{0, 0, 0, 1}));
    gallery.rig.save();
    gallery.settle();
    QVERIFY(gallery.model()->picture());
    QVERIFY(gallery.model()->copyRenderedSnip());
    // The redaction travels with the copy: black, not the green beneath.
    const QColor copied = underTheStroke(gallery.pasteboard.entries.value(QStringLiteral("image/png")));
    QVERIFY2(copied.lightness() < 40, qPrintable(copied.name()));

    RefusingPasteboard refusing;
    gallery.view.reset();
    gallery.rig.navigation->openGallery(gallery.middle->id(), std::nullopt);
    gallery.open(refusing, true);
    QVERIFY(!gallery.model()->copyRenderedSnip());
    QVERIFY(!gallery.model()->isCopied());
    QCOMPARE(gallery.view->copyButton()->title(), QStringLiteral("Copy rendered snip"));
    QTRY_VERIFY(gallery.view->alert());
    QCOMPARE(gallery.view->alert()->informativeText(), QStringLiteral("The image could not be encoded as PNG."));
}

void SnipGalleryViewTest::saveReportsAFailureAndTakesOneAtATime()
{
    Gallery gallery;
    gallery.view->saveButton()->click();
    QVERIFY(gallery.model()->isExporting());
    QVERIFY(!gallery.view->saveButton()->isEnabled());
    gallery.model()->saveRenderedSnip(); // a second save while the first is open
    QCOMPARE(gallery.saved.size(), 1);
    QCOMPARE(gallery.saved.first().second, QStringLiteral("Middle"));
    QCOMPARE(gallery.saved.first().first.pixelColor(10, 10), QColor(Qt::green));

    gallery.pendingSave(unexpected(QStringLiteral("The disk is full.")));
    QVERIFY(!gallery.model()->isExporting());
    QVERIFY(gallery.view->saveButton()->isEnabled());
    QTRY_VERIFY(gallery.view->alert());
    QCOMPARE(gallery.view->alert()->informativeText(), QStringLiteral("The disk is full."));

    // A cancelled save panel says nothing.
    gallery.view->alert()->accept();
    QTRY_COMPARE(gallery.model()->errorMessage(), std::nullopt);
    gallery.view->saveButton()->click();
    gallery.pendingSave(SaveFileStatus::cancelled);
    QCOMPARE(gallery.model()->errorMessage(), std::nullopt);
}

void SnipGalleryViewTest::handOffClosesFirst_data()
{
    QTest::addColumn<bool>("reduceMotion");
    QTest::addColumn<bool>("frame");
    QTest::newRow("frame, reduced motion: at once") << true << true;
    QTest::newRow("annotate, after the pause") << false << false;
}

void SnipGalleryViewTest::handOffClosesFirst()
{
    QFETCH(bool, reduceMotion);
    QFETCH(bool, frame);
    Gallery gallery(reduceMotion);
    const QUuid id = gallery.middle->id();
    gallery.model()->closeAndPresent(frame ? SnipGalleryModel::HandOff::frameComposer
                                           : SnipGalleryModel::HandOff::annotation);
    QCOMPARE(gallery.rig.navigation->galleryCardID(), std::nullopt);
    QVERIFY(!gallery.view->isVisible());
    auto handedTo = [&] {
        return frame ? gallery.rig.navigation->frameComposerCardID() : gallery.rig.navigation->captureReviewCardID();
    };
    if (reduceMotion) {
        QCOMPARE(handedTo(), std::optional(id));
    } else {
        QCOMPARE(handedTo(), std::nullopt);
        // The hand-off outlives the gallery.
        gallery.view.reset();
        QTRY_COMPARE(handedTo(), std::optional(id));
    }
}

void SnipGalleryViewTest::aSnipThatGoesAwayIsUnavailable()
{
    Gallery gallery;
    QVERIFY(!gallery.view->unavailableState());
    gallery.middle->moveToTrash(snipTime(100));
    gallery.rig.save();
    QVERIFY(gallery.view->unavailableState());
    QCOMPARE(gallery.view->unavailableState()->title(), QStringLiteral("Snip unavailable"));
    QCOMPARE(gallery.view->titleLabel()->text(), QStringLiteral("Snip"));
    QCOMPARE(gallery.view->positionLabel()->text(), QString());
    QVERIFY(!gallery.view->previousButton()->isEnabled() && !gallery.view->nextButton()->isEnabled());
    QVERIFY(gallery.view->noteMenuButton()->isHidden());
    QVERIFY(!gallery.model()->copyRenderedSnip());
    QVERIFY(gallery.pasteboard.entries.isEmpty());
    // The navigation keeps the card until the gallery closes.
    QCOMPARE(gallery.rig.navigation->galleryCardID(), std::optional(gallery.middle->id()));

    // A card whose picture cannot be read keeps its title.
    gallery.middle->restoreFromTrash(snipTime(101));
    gallery.middle->setOriginalImageData(QByteArray("not a picture"));
    gallery.rig.save();
    gallery.settle();
    QVERIFY(gallery.view->unavailableState());
    QCOMPARE(gallery.view->titleLabel()->text(), QStringLiteral("Middle"));
    QVERIFY(!gallery.view->noteMenuButton()->isHidden());
}

// Paging along the opener's list keeps to it across notes, and a save
// that takes a snip out of it, or brings one back, shows at once in the
// position and in where paging stops.
void SnipGalleryViewTest::pagingTheOpenersListFollowsEverySave()
{
    Gallery gallery;
    gallery.rig.navigation->setGalleryBrowseCardIDs(
        QList<QUuid>{gallery.last->id(), gallery.middle->id(), gallery.inboxSnip->id(), gallery.first->id()});
    QCOMPARE(gallery.view->positionLabel()->text(), QStringLiteral("2 of 4"));
    QVERIFY(gallery.model()->showNeighbour(true));
    QCOMPARE(gallery.current(), gallery.inboxSnip->id());
    QCOMPARE(gallery.view->positionLabel()->text(), QStringLiteral("3 of 4"));

    gallery.first->moveToTrash(snipTime(100));
    gallery.rig.save();
    QCOMPARE(gallery.view->positionLabel()->text(), QStringLiteral("3 of 3"));
    QVERIFY(!gallery.model()->showNeighbour(true));
    QVERIFY(!gallery.view->nextButton()->isEnabled());

    gallery.first->restoreFromTrash(snipTime(101));
    gallery.rig.save();
    QVERIFY(gallery.view->nextButton()->isEnabled());
    QVERIFY(gallery.model()->showNeighbour(true));
    QCOMPARE(gallery.current(), gallery.first->id());
    QCOMPARE(gallery.view->positionLabel()->text(), QStringLiteral("4 of 4"));
    QVERIFY(gallery.model()->showNeighbour(false));
    QVERIFY(gallery.model()->showNeighbour(false));
    QCOMPARE(gallery.current(), gallery.middle->id());
}

void SnipGalleryViewTest::noteMenu()
{
    Gallery gallery;
    Board *beta = gallery.rig.addNote(QStringLiteral("beta"));
    Board *alpha10 = gallery.rig.addNote(QStringLiteral("alpha 10"));
    Board *alpha9 = gallery.rig.addNote(QStringLiteral("alpha 9"));
    Board *gone = gallery.rig.addNote(QStringLiteral("Gone"));
    gone->setDeletedAt(snipTime(5));
    gallery.rig.save();
    QCOMPARE(gallery.view->noteMenuButton()->title(), QStringLiteral("Add to Note"));
    QStringList titles;
    for (QAction *action : gallery.view->noteMenu()->actions())
        titles.append(action->text());
    QCOMPARE(titles, (QStringList{"alpha 9", "alpha 10", "beta"}));
    Q_UNUSED(alpha10)

    // The note goes to Recently Deleted while the menu is open.
    QAction *fileIntoAlpha9 = gallery.view->noteMenu()->actions().first();
    alpha9->setDeletedAt(snipTime(6));
    gallery.rig.save();
    fileIntoAlpha9->trigger();
    QCOMPARE(gallery.model()->errorMessage(), std::optional(QStringLiteral("The selected note no longer exists.")));
    QCOMPARE(gallery.middle->boardID(), gallery.atlas->id());
    gallery.model()->setErrorMessage(std::nullopt);

    // A snip of the inbox moves; afterwards its note is Atlas.
    gallery.rig.navigation->setGalleryCardID(gallery.inboxSnip->id());
    QCOMPARE(gallery.current(), gallery.inboxSnip->id());
    QCOMPARE(gallery.view->noteMenuButton()->title(), QStringLiteral("Move to Note"));
    QVERIFY(gallery.model()->addCurrentSnip(*gallery.inboxSnip, gallery.atlas->id()));
    QCOMPARE(gallery.inboxSnip->boardID(), gallery.atlas->id());
    QCOMPARE(gallery.view->noteMenuButton()->title(), QStringLiteral("Add to Note"));

    // With no other live note the menu is disabled and says so.
    for (Board *note : {beta, alpha10})
        note->setDeletedAt(snipTime(7));
    gallery.rig.save();
    QVERIFY(!gallery.view->noteMenuButton()->isEnabled());
    QCOMPARE(gallery.view->noteMenu()->actions().first()->text(), QStringLiteral("No other notes"));
}

void SnipGalleryViewTest::infoRows_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("window");
    QTest::addColumn<QByteArray>("edits");
    QTest::addColumn<bool>("captured");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QStringList>("values");
    const QString whenCaptured = SnipGalleryModel::capturedText(snipTime(20));
    const QString whenCreated = SnipGalleryModel::capturedText(snipTime(1));
    // "-" stands for a missing value.
    QTest::newRow("everything") << "region" << "Spreadsheet Pro" << "Q3 plan" << QByteArray("{}") << true
                                << QSize(1440, 900)
                                << QStringList{"Captured", "Size", "Mode", "Source", "Window", "Edits"}
                                << QStringList{whenCaptured, "1440 × 900", "Region", "Spreadsheet Pro", "Q3 plan",
                                               "Annotated"};
    QTest::newRow("never captured, nothing else") << "-" << "-" << "-" << QByteArray() << false << QSize(2, 1)
                                                  << QStringList{"Captured", "Size"}
                                                  << QStringList{whenCreated, "2 × 1"};
    QTest::newRow("empty texts drop their rows, spaces do not")
        << "" << "" << "  " << QByteArray("") << true << QSize()
        << QStringList{"Captured", "Size", "Mode", "Window"} << QStringList{whenCaptured, "Unknown", "", "  "};
    QTest::newRow("window mode") << "WINDOW" << "-" << "-" << QByteArray() << true << QSize(10, 20)
                                 << QStringList{"Captured", "Size", "Mode"}
                                 << QStringList{whenCaptured, "10 × 20", "Window"};
}

void SnipGalleryViewTest::capturedTimeHasNoSeconds_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("time");
    QTest::newRow("C") << QLocale::c() << QStringLiteral("12:45");
    QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates) << QStringLiteral("12:45");
    QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany) << QStringLiteral("12:45");
    QTest::newRow("fi_FI") << QLocale(QLocale::Finnish, QLocale::Finland) << QStringLiteral("12.45");
}

void SnipGalleryViewTest::capturedTimeHasNoSeconds()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, time);
    const QLocale previous;
    QLocale::setDefault(locale);
    const QDateTime captured(QDate(2026, 12, 7), QTime(12, 45, 48), Qt::LocalTime);
    const QString text = SnipGalleryModel::capturedText(captured.toUTC());
    QLocale::setDefault(previous);
    QVERIFY2(text.contains(time), qPrintable(text));
    QVERIFY2(!text.contains(QStringLiteral("48")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("2026")), qPrintable(text));
}

void SnipGalleryViewTest::infoRows()
{
    QFETCH(QString, mode);
    QFETCH(QString, source);
    QFETCH(QString, window);
    QFETCH(QByteArray, edits);
    QFETCH(bool, captured);
    QFETCH(QSize, size);
    QFETCH(QStringList, labels);
    QFETCH(QStringList, values);
    auto optional = [](const QString &text) { return text == QLatin1String("-") ? std::nullopt : std::optional(text); };
    CanvasCard::Init init;
    init.kind = CardKind::snip;
    init.createdAt = snipTime(1);
    if (captured)
        init.capturedAt = snipTime(20);
    init.captureModeRawValue = optional(mode);
    init.sourceApplicationName = optional(source);
    init.sourceWindowTitle = optional(window);
    if (edits != "-" && !(edits.isNull()))
        init.annotationDocumentData = edits;
    const CanvasCard card(init);
    QStringList shownLabels, shownValues;
    for (const SnipGalleryModel::InfoRow &row : SnipGalleryModel::infoRows(card, size)) {
        shownLabels.append(row.label);
        shownValues.append(row.value);
    }
    QCOMPARE(shownLabels, labels);
    QCOMPARE(shownValues, values);
}

void SnipGalleryViewTest::infoPanelSections()
{
    Gallery gallery;
    gallery.middle->setContextText(QStringLiteral("\n  Sales by quarter\n"));
    gallery.middle->setOcrText(QStringLiteral(" \n "));
    gallery.rig.save();
    gallery.view->infoButton()->click();
    QVERIFY(gallery.model()->showsInfo());
    QCOMPARE(gallery.view->infoButton()->title(), QStringLiteral("Hide details"));
    SnipGalleryInfoPanel *panel = gallery.view->infoPanel();
    // Its first showing eases in from the trailing edge like every other.
    const QWidget *column = panel->parentWidget()->parentWidget();
    QVERIFY2(column->width() < SnipGalleryInfoPanel::panelWidth, qPrintable(QString::number(column->width())));
    QTRY_COMPARE(column->width(), SnipGalleryInfoPanel::panelWidth);
    QCOMPARE(panel->sectionTitles(), (QStringList{"Context", "Details"}));
    QCOMPARE(panel->shownRows().at(1), std::pair(QStringLiteral("Size"), QStringLiteral("320 × 200")));

    gallery.middle->setContextText(QStringLiteral("   "));
    gallery.middle->setOcrText(QStringLiteral("Total due: 42"));
    gallery.rig.save();
    QCOMPARE(panel->sectionTitles(), (QStringList{"Details", "Recognized text"}));
    QVERIFY(!panel->isRecognizedTextExpanded());
    // Showing the details keeps the gallery's keys working.
    QTest::keyClick(gallery.view.get(), Qt::Key_Right);
    QCOMPARE(gallery.current(), gallery.last->id());
}

void SnipGalleryViewTest::zoomableViewGestures()
{
    Gallery gallery;
    ZoomableSnipView *zoomable = gallery.view->zoomableView();
    QWidget *viewport = zoomable->viewport();
    const double fit = zoomable->fitScale();
    QCOMPARE(gallery.model()->fitScale(), fit);
    QVERIFY(fit > 1.0); // a 320 × 200 picture in a large window

    QTest::mouseDClick(viewport, Qt::LeftButton, {}, viewport->rect().center());
    QCOMPARE(gallery.model()->zoomMode(), SnipZoomMode::actualSize());
    QCOMPARE(gallery.view->zoomMenuButton()->text(), QStringLiteral("100%"));
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, viewport->rect().center());
    QCOMPARE(gallery.model()->zoomMode(), SnipZoomMode::fit());

    // Ctrl+wheel: one notch in is one zoom step from what is shown.
    QWheelEvent wheel(QPointF(viewport->rect().center()), QPointF(viewport->mapToGlobal(viewport->rect().center())),
                      QPoint(), QPoint(0, 120), Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(viewport, &wheel);
    QCOMPARE(gallery.model()->zoomMode().kind(), SnipZoomMode::Kind::custom);
    QVERIFY(qFuzzyCompare(gallery.model()->zoomMode().customScale(), fit * 1.25));
    // The point under the pointer (here the middle) stays where it was,
    // scroll bars coming in included.
    QTRY_VERIFY(!zoomable->isAnimating());
    for (const QScrollBar *bar : {zoomable->horizontalScrollBar(), zoomable->verticalScrollBar()}) {
        QVERIFY(bar->maximum() > 0);
        QVERIFY2(std::abs(bar->value() - bar->maximum() / 2) <= 2,
                 qPrintable(QStringLiteral("%1 of %2").arg(bar->value()).arg(bar->maximum())));
    }

    // A smaller window fits the picture smaller, and says so.
    gallery.view->resize(900, 620);
    QTRY_VERIFY(zoomable->fitScale() < fit);
    QCOMPARE(gallery.model()->fitScale(), zoomable->fitScale());
}

QTEST_MAIN(SnipGalleryViewTest)
#include "tst_snipgalleryview.moc"
