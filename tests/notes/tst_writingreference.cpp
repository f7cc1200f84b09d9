#include "../support/LibraryBuilder.h"

#include "runtime/NavigationState.h"
#include "design/StudioIconButton.h"
#include "model/AnnotationDocument.h"
#include "model/CanvasCard.h"
#include "model/ModelContainer.h"
#include "notes/BoardMissingWritingReferenceView.h"
#include "notes/BoardWritingReferenceView.h"
#include "runtime/SnipImageCache.h"
#include "runtime/SnipPictureReading.h"
#include "notes/WritingReferencePresentation.h"
#include "platform/Pasteboard.h"
#include "platform/UserDefaults.h"
#include "platform/UuidText.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QEnterEvent>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <QTextLayout>
#include <QTimeZone>

#include <memory>

using namespace tessaline;
using tessaline::testing::pngOf;
namespace Presentation = WritingReferencePresentation;

namespace {

class FakePasteboard final : public Pasteboard
{
public:
    QStringList types;
    QString refusedType;
    void clearContents() override { types.clear(); }
    void declareTypes(const QStringList &) override {}
    bool setData(const QByteArray &, const QString &type) override
    {
        if (type == refusedType)
            return false;
        types << type;
        return true;
    }
};

std::unique_ptr<CanvasCard> snipCard(const QString &caption = QString(), std::optional<QByteArray> image = std::nullopt)
{
    CanvasCard::Init init;
    init.kind = CardKind::snip;
    init.title = QStringLiteral("Checkout & pay");
    init.contextText = caption;
    init.originalImageData = image;
    init.createdAt = QDateTime(QDate(2026, 2, 2), QTime(10, 0), QTimeZone::utc());
    return std::make_unique<CanvasCard>(init);
}

std::unique_ptr<CanvasCard> thoughtCard(ThoughtKind kind, const QString &text)
{
    CanvasCard::Init init;
    init.kind = CardKind::thought;
    init.thoughtKind = kind;
    init.title = QStringLiteral("Why now");
    init.markdownText = text;
    init.createdAt = QDateTime(QDate(2026, 2, 2), QTime(10, 0), QTimeZone::utc());
    return std::make_unique<CanvasCard>(init);
}

QStringList menuTitles(QMenu *menu)
{
    QStringList titles;
    for (QAction *action : menu->actions()) {
        if (action->isSeparator())
            titles << QStringLiteral("—");
        else
            titles << action->text();
    }
    return titles;
}

QAction *menuAction(QMenu *menu, const QString &title)
{
    for (QAction *action : menu->actions()) {
        if (action->text() == title)
            return action;
    }
    return nullptr;
}

} // namespace

class WritingReferenceTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fittedImageSize_data();
    void fittedImageSize();
    void snipCaption_data();
    void snipCaption();
    void thoughtSymbolsAndNames();
    void actionsMenuContent_data();
    void actionsMenuContent();
    void menuOfASnipRunsItsActions();
    void copyMarksTheRowAsCopied();
    void copyWithoutImageOrWithRefusedPasteboardChangesNothing();
    void thoughtMenuAndOpen();
    void thoughtTextShowsWholeLines_data();
    void thoughtTextShowsWholeLines();
    void hoverShowsTheActionsButton();
    void secondaryClickAnywhereOnTheCardBringsItsMenu_data();
    void secondaryClickAnywhereOnTheCardBringsItsMenu();
    void smallSnipWithoutCaptionShowsTitleAndHint();
    void contentIsMadeAgainOnlyWhenWhatItShowsChanges();
    void missingReference();
    void referenceAccessibleActions();
    void imageCacheDecodesOncePerVersion();
    void imageCacheReadsStoredPicturesInTurn();
    void annotatedImageDrawsAnnotationsOrNothing();
};

void WritingReferenceTest::fittedImageSize_data()
{
    QTest::addColumn<QSizeF>("image");
    QTest::addColumn<qreal>("available");
    QTest::addColumn<int>("size");
    QTest::addColumn<QSizeF>("expected");

    QTest::newRow("wide medium limited by width") << QSizeF(1120, 400) << 900.0 << int(NoteAttachmentSize::medium)
                                                  << QSizeF(560, 200);
    QTest::newRow("tall medium limited by height") << QSizeF(300, 990) << 900.0 << int(NoteAttachmentSize::medium)
                                                   << QSizeF(100, 330);
    QTest::newRow("tiny picture grows to fit") << QSizeF(22, 14.5) << 900.0 << int(NoteAttachmentSize::small)
                                               << QSizeF(220, 145);
    QTest::newRow("narrow column") << QSizeF(1000, 100) << 300.0 << int(NoteAttachmentSize::medium) << QSizeF(300, 30);
    QTest::newRow("full width fills the column") << QSizeF(1800, 300) << 900.0 << int(NoteAttachmentSize::fullWidth)
                                                 << QSizeF(900, 150);
    QTest::newRow("full width stops at 460 high") << QSizeF(1000, 1000) << 900.0 << int(NoteAttachmentSize::fullWidth)
                                                  << QSizeF(460, 460);
    QTest::newRow("no picture: 1.6 to 1") << QSizeF() << 900.0 << int(NoteAttachmentSize::medium) << QSizeF(528, 330);
}

void WritingReferenceTest::fittedImageSize()
{
    QFETCH(QSizeF, image);
    QFETCH(qreal, available);
    QFETCH(int, size);
    QFETCH(QSizeF, expected);
    const std::optional<QSizeF> known = image.isEmpty() ? std::nullopt : std::optional<QSizeF>(image);
    const QSizeF fitted = Presentation::fittedImageSize(known, available, NoteAttachmentSize(size));
    QCOMPARE(fitted.width(), expected.width());
    QCOMPARE(fitted.height(), expected.height());
}

void WritingReferenceTest::snipCaption_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");

    using Kind = Presentation::SnipCaption::Kind;
    QTest::newRow("caption kept with its blank lines") << QStringLiteral("\n\nThe total\n\n") << int(NoteAttachmentSize::medium)
                                                       << int(Kind::caption) << QStringLiteral("\n\nThe total\n\n");
    QTest::newRow("blank caption, small") << QStringLiteral(" \n\t") << int(NoteAttachmentSize::small)
                                          << int(Kind::titleAndHint) << QStringLiteral("Checkout & pay");
    QTest::newRow("blank caption, medium") << QStringLiteral(" \n") << int(NoteAttachmentSize::medium) << int(Kind::nothing)
                                           << QString();
    QTest::newRow("no caption, full width") << QString() << int(NoteAttachmentSize::fullWidth) << int(Kind::nothing) << QString();
}

void WritingReferenceTest::snipCaption()
{
    QFETCH(QString, caption);
    QFETCH(int, size);
    QFETCH(int, kind);
    QFETCH(QString, text);
    const auto card = snipCard(caption);
    const Presentation::SnipCaption result = Presentation::snipCaption(*card, NoteAttachmentSize(size));
    QCOMPARE(int(result.kind), kind);
    QCOMPARE(result.text, text);
    QCOMPARE(result.hint.isEmpty(), kind != int(Presentation::SnipCaption::Kind::titleAndHint));
}

void WritingReferenceTest::thoughtSymbolsAndNames()
{
    QCOMPARE(Presentation::thoughtSymbol(ThoughtKind::thought), QStringLiteral("text.bubble"));
    QCOMPARE(Presentation::thoughtSymbol(ThoughtKind::question), QStringLiteral("questionmark.circle"));
    QCOMPARE(Presentation::thoughtSymbol(ThoughtKind::decision), QStringLiteral("checkmark.seal"));
    QCOMPARE(Presentation::thoughtSymbol(ThoughtKind::nextStep), QStringLiteral("arrow.right.circle"));
    const auto snip = snipCard();
    const auto thought = thoughtCard(ThoughtKind::decision, QString());
    QCOMPARE(Presentation::accessibleName(*snip), QStringLiteral("Reference to Checkout & pay"));
    QCOMPARE(Presentation::accessibleDescription(*snip), QStringLiteral("Opens the original Snip"));
    QCOMPARE(Presentation::accessibleDescription(*thought), QStringLiteral("Opens the original Thought"));
    const QUuid id(QStringLiteral("{3f2504e0-4f89-11d3-9a0c-0305e82c3301}"));
    QCOMPARE(Presentation::missingAccessibleValue(id), QStringLiteral("3F2504E0-4F89-11D3-9A0C-0305E82C3301"));
    QCOMPARE(Presentation::missingAccessibleValue(std::nullopt), QStringLiteral("Missing identifier"));
}

void WritingReferenceTest::actionsMenuContent_data()
{
    QTest::addColumn<bool>("snip");
    QTest::addColumn<bool>("copied");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("snip") << true << false
                          << QStringList{QStringLiteral("Open Preview eye"), QStringLiteral("Copy doc.on.doc"),
                                         QStringLiteral("Save As… square.and.arrow.down"), QStringLiteral("Annotate pencil.tip"),
                                         QStringLiteral("Copy with Frame… rectangle.inset.filled"),
                                         QStringLiteral("View As rectangle.expand.vertical"), QStringLiteral(" "),
                                         QStringLiteral("Remove from Note link.badge.minus !")};
    QTest::newRow("copied snip") << true << true
                                 << QStringList{QStringLiteral("Open Preview eye"), QStringLiteral("Copied checkmark"),
                                                QStringLiteral("Save As… square.and.arrow.down"),
                                                QStringLiteral("Annotate pencil.tip"),
                                                QStringLiteral("Copy with Frame… rectangle.inset.filled"),
                                                QStringLiteral("View As rectangle.expand.vertical"), QStringLiteral(" "),
                                                QStringLiteral("Remove from Note link.badge.minus !")};
    QTest::newRow("thought") << false << false
                             << QStringList{QStringLiteral("Open Preview eye"), QStringLiteral(" "),
                                            QStringLiteral("Remove from Note link.badge.minus !")};
}

void WritingReferenceTest::actionsMenuContent()
{
    QFETCH(bool, snip);
    QFETCH(bool, copied);
    QFETCH(QStringList, entries);
    const auto card = snip ? snipCard() : thoughtCard(ThoughtKind::question, QString());
    const QList<Presentation::MenuEntry> content = Presentation::actionsMenuContent(*card, NoteAttachmentSize::small, copied);
    QStringList actual;
    for (const Presentation::MenuEntry &entry : content)
        actual << (entry.title + QLatin1Char(' ') + entry.systemImage + (entry.isDestructive ? QStringLiteral(" !") : QString()));
    QCOMPARE(actual, entries);
    if (snip) {
        const Presentation::MenuEntry &viewAs = content.at(5);
        QStringList sizes;
        for (const auto &choice : viewAs.sizes)
            sizes << choice.title + QLatin1Char(' ') + choice.systemImage;
        QCOMPARE(sizes, (QStringList{QStringLiteral("Small checkmark"), QStringLiteral("Medium rectangle"),
                                     QStringLiteral("Full Width rectangle")}));
    }
}

void WritingReferenceTest::menuOfASnipRunsItsActions()
{
    QTemporaryDir directory;
    UserDefaults defaults(directory.filePath(QStringLiteral("settings.ini")));
    NavigationState navigation(defaults);
    SnipImageCache images;
    auto card = snipCard(QString(), pngOf(Qt::red, QSize(40, 20)));
    BoardWritingReferenceView view(card.get(), NoteAttachmentSize::medium, &images);
    view.setNavigation(&navigation);
    QStringList calls;
    view.onOpen = [&]() { calls << QStringLiteral("open"); };
    view.onRemove = [&]() { calls << QStringLiteral("remove"); };
    view.onChangeSize = [&](NoteAttachmentSize size) { calls << QStringLiteral("size ") + rawValue(size); };

    std::unique_ptr<QMenu> menu(view.createActionsMenu(nullptr));
    // "&" in a title must not turn into a keyboard accelerator.
    QCOMPARE(menuTitles(menu.get()),
             (QStringList{QStringLiteral("Open Preview"), QStringLiteral("Copy"), QStringLiteral("Save As…"),
                          QStringLiteral("Annotate"), QStringLiteral("Copy with Frame…"), QStringLiteral("View As"),
                          QStringLiteral("—"), QStringLiteral("Remove from Note")}));
    menuAction(menu.get(), QStringLiteral("Open Preview"))->trigger();
    menuAction(menu.get(), QStringLiteral("Annotate"))->trigger();
    QCOMPARE(navigation.captureReviewCardID(), card->id());
    menuAction(menu.get(), QStringLiteral("Copy with Frame…"))->trigger();
    QCOMPARE(navigation.frameComposerCardID(), card->id());
    QMenu *sizes = menuAction(menu.get(), QStringLiteral("View As"))->menu();
    QVERIFY(sizes);
    QCOMPARE(menuTitles(sizes), (QStringList{QStringLiteral("Small"), QStringLiteral("Medium"), QStringLiteral("Full Width")}));
    menuAction(sizes, QStringLiteral("Medium"))->trigger(); // the current size still asks
    menuAction(sizes, QStringLiteral("Full Width"))->trigger();
    menuAction(menu.get(), QStringLiteral("Remove from Note"))->trigger();
    QCOMPARE(calls, (QStringList{QStringLiteral("open"), QStringLiteral("size medium"), QStringLiteral("size fullWidth"),
                                 QStringLiteral("remove")}));
}

void WritingReferenceTest::copyMarksTheRowAsCopied()
{
    SnipImageCache images;
    FakePasteboard pasteboard;
    auto card = snipCard(QString(), pngOf(Qt::blue, QSize(30, 30)));
    BoardWritingReferenceView view(card.get(), NoteAttachmentSize::small, &images);
    view.setPasteboard(&pasteboard);
    view.copyImage();
    QTRY_VERIFY(view.isCopied());
    QCOMPARE(pasteboard.types, (QStringList{QStringLiteral("image/png"), QStringLiteral("image/tiff")}));
    // A new size keeps the row, and so the copied state.
    view.setSize(NoteAttachmentSize::fullWidth);
    std::unique_ptr<QMenu> menu(view.createActionsMenu(nullptr));
    QVERIFY(menuAction(menu.get(), QStringLiteral("Copied")));
    QVERIFY(!menuAction(menu.get(), QStringLiteral("Copy")));
}

void WritingReferenceTest::copyWithoutImageOrWithRefusedPasteboardChangesNothing()
{
    SnipImageCache images;
    FakePasteboard pasteboard;
    auto withoutImage = snipCard();
    BoardWritingReferenceView empty(withoutImage.get(), NoteAttachmentSize::medium, &images);
    empty.setPasteboard(&pasteboard);
    empty.copyImage();
    QVERIFY(!empty.isCopied());
    QVERIFY(pasteboard.types.isEmpty());

    auto card = snipCard(QString(), pngOf(Qt::green, QSize(10, 10)));
    BoardWritingReferenceView refused(card.get(), NoteAttachmentSize::medium, &images);
    pasteboard.refusedType = QStringLiteral("image/tiff");
    refused.setPasteboard(&pasteboard);
    refused.copyImage();
    QVERIFY(!refused.isCopied());
}

void WritingReferenceTest::thoughtMenuAndOpen()
{
    SnipImageCache images;
    auto card = thoughtCard(ThoughtKind::question, QString());
    BoardWritingReferenceView view(card.get(), NoteAttachmentSize::medium, &images);
    int opened = 0;
    view.onOpen = [&]() { ++opened; };
    std::unique_ptr<QMenu> menu(view.createActionsMenu(nullptr));
    QCOMPARE(menuTitles(menu.get()), (QStringList{QStringLiteral("Open Preview"), QStringLiteral("—"),
                                                  QStringLiteral("Remove from Note")}));
    // The whole row is the button; an empty text shows only the title.
    auto *button = view.findChild<QAbstractButton *>(QStringLiteral("openThoughtButton"));
    QVERIFY(button);
    QVERIFY(!view.findChild<QLabel *>(QStringLiteral("thoughtText")));
    QCOMPARE(view.findChild<QLabel *>(QStringLiteral("thoughtTitle"))->text(), QStringLiteral("Why now"));
    QVERIFY(!view.findChild<StudioIconButton *>(QStringLiteral("snipActionsButton")));
    button->click();
    QCOMPARE(opened, 1);
    QCOMPARE(view.accessibleName(), QStringLiteral("Reference to Why now"));
}

// A drawn line is as tall as the font's ascent and descent rounded up, a
// pixel more than its rounded line spacing for some sizes: a text cut to
// three lines by line spacing loses the bottom of its third line. A thought
// of megabytes, kept before thoughts were bounded, shows its start the same
// way, and only that start is laid out: measuring all of it at every layout
// pass held the note's window for tens of seconds.
void WritingReferenceTest::thoughtTextShowsWholeLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("laidOutWhole");
    const QString sentence = QStringLiteral("release a deadline in interview should export ");
    QTest::newRow("a paragraph") << sentence.repeated(20) << true;
    QTest::newRow("megabytes in one line") << sentence.repeated(90'000) << false;
    QTest::newRow("megabytes of short lines") << (sentence + u'\n').repeated(90'000) << false;
}

void WritingReferenceTest::thoughtTextShowsWholeLines()
{
    QFETCH(QString, text);
    QFETCH(bool, laidOutWhole);
    SnipImageCache images;
    auto card = thoughtCard(ThoughtKind::decision, text);
    BoardWritingReferenceView view(card.get(), NoteAttachmentSize::medium, &images);
    view.resize(700, view.heightForWidth(700));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    auto *label = view.findChild<QLabel *>(QStringLiteral("thoughtText"));
    QVERIFY(label);
    QTextLayout layout(label->text(), label->font());
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(label->width());
    layout.endLayout();
    QTRY_VERIFY(label->height() >= 3 * line.height());
    QVERIFY(label->height() < 4 * line.height());
    QVERIFY(text.startsWith(label->text()));
    QCOMPARE(label->text() == text, laidOutWhole);
    QCOMPARE(card->markdownText(), text);
}

void WritingReferenceTest::hoverShowsTheActionsButton()
{
    SnipImageCache images;
    auto card = snipCard(QStringLiteral("caption"));
    BoardWritingReferenceView view(card.get(), NoteAttachmentSize::medium, &images);
    view.resize(600, 400);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    auto *button = view.findChild<StudioIconButton *>(QStringLiteral("snipActionsButton"));
    QVERIFY(button);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&view, &leave);
    QVERIFY(!button->isVisible());
    QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), view.mapToGlobal(QPointF(10, 10)));
    QApplication::sendEvent(&view, &enter);
    QVERIFY(button->isVisible());
    QCOMPARE(view.elevation(), QuietCardElevation::floating);
    QCOMPARE(button->title(), QStringLiteral("Snip actions"));
    // It lies over the picture on a disc of its own, so no picture, dark or
    // light, swallows it: beside the symbol the disc looks the same over
    // black and over white; in the button's corner (outside the disc) the
    // picture shows.
    const auto drawnOver = [button](Qt::GlobalColor ground) {
        QImage image(button->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(ground);
        button->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    };
    const QImage overBlack = drawnOver(Qt::black);
    const QImage overWhite = drawnOver(Qt::white);
    const QPoint besideSymbol(5, button->height() / 2);
    QVERIFY2(std::abs(overBlack.pixelColor(besideSymbol).lightness() - overWhite.pixelColor(besideSymbol).lightness()) < 40,
             "no disc beside the symbol");
    QCOMPARE(overBlack.pixelColor(0, 0), QColor(Qt::black));
    QCOMPARE(overWhite.pixelColor(0, 0), QColor(Qt::white));
    QApplication::sendEvent(&view, &leave);
    QVERIFY(!button->isVisible());
    QCOMPARE(view.elevation(), QuietCardElevation::flat);
    // The caption is plain text, whatever it holds.
    card->setContextText(QStringLiteral("<b>not bold</b>"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    auto *caption = view.findChild<QLabel *>(QStringLiteral("snipCaption"));
    QVERIFY(caption);
    QCOMPARE(caption->text(), QStringLiteral("<b>not bold</b>"));
    QCOMPARE(caption->textFormat(), Qt::PlainText);
}

void WritingReferenceTest::secondaryClickAnywhereOnTheCardBringsItsMenu_data()
{
    QTest::addColumn<bool>("snip");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("part");
    QTest::addColumn<QStringList>("menu");
    const QStringList snipMenu{QStringLiteral("Open Preview"), QStringLiteral("Copy"), QStringLiteral("Save As…"),
                               QStringLiteral("Annotate"), QStringLiteral("Copy with Frame…"), QStringLiteral("View As"),
                               QStringLiteral("—"), QStringLiteral("Remove from Note")};
    const QStringList thoughtMenu{QStringLiteral("Open Preview"), QStringLiteral("—"), QStringLiteral("Remove from Note")};
    // The caption can be selected, and brings the card's menu all the same.
    QTest::newRow("snip caption") << true << int(NoteAttachmentSize::medium) << QStringLiteral("snipCaption") << snipMenu;
    QTest::newRow("small snip's title") << true << int(NoteAttachmentSize::small) << QStringLiteral("snipTitle") << snipMenu;
    QTest::newRow("thought row") << false << int(NoteAttachmentSize::medium) << QStringLiteral("openThoughtButton")
                                 << thoughtMenu;
}

void WritingReferenceTest::secondaryClickAnywhereOnTheCardBringsItsMenu()
{
    QFETCH(bool, snip);
    QFETCH(int, size);
    QFETCH(QString, part);
    QFETCH(QStringList, menu);
    SnipImageCache images;
    auto card = snip ? snipCard(size == int(NoteAttachmentSize::small) ? QString() : QStringLiteral("The total"))
                     : thoughtCard(ThoughtKind::decision, QStringLiteral("Because the budget closes"));
    BoardWritingReferenceView view(card.get(), NoteAttachmentSize(size), &images);
    view.resize(600, 400);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    auto *target = view.findChild<QWidget *>(part);
    QVERIFY(target);

    const QPoint at(4, 4);
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, target->mapToGlobal(at));
    QApplication::sendEvent(target, &click);
    auto *shown = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    QVERIFY(shown);
    const QStringList titles = menuTitles(shown);
    shown->close();
    QCOMPARE(titles, menu);
}

void WritingReferenceTest::smallSnipWithoutCaptionShowsTitleAndHint()
{
    SnipImageCache images;
    auto card = snipCard(QStringLiteral("  "));
    BoardWritingReferenceView small(card.get(), NoteAttachmentSize::small, &images);
    QCOMPARE(small.findChild<QLabel *>(QStringLiteral("snipTitle"))->text(), QStringLiteral("Checkout & pay"));
    QCOMPARE(small.findChild<QLabel *>(QStringLiteral("snipCaptionHint"))->text(),
             QStringLiteral("Add a caption from Annotate or the inspector."));
    BoardWritingReferenceView medium(card.get(), NoteAttachmentSize::medium, &images);
    QVERIFY(!medium.findChild<QLabel *>(QStringLiteral("snipTitle")));
    QVERIFY(!medium.findChild<QLabel *>(QStringLiteral("snipCaption")));
    // A medium snip stays within 580 points including its padding.
    QVERIFY(medium.content()->maximumWidth() <= 580);
}

void WritingReferenceTest::contentIsMadeAgainOnlyWhenWhatItShowsChanges()
{
    SnipImageCache images;
    auto card = snipCard();
    BoardWritingReferenceView small(card.get(), NoteAttachmentSize::small, &images);
    BoardWritingReferenceView medium(card.get(), NoteAttachmentSize::medium, &images);
    const QPointer<QWidget> smallContent = small.content();
    const QPointer<QWidget> mediumContent = medium.content();
    const auto shown = [](const QWidget &view, const char *name) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const auto *label = view.findChild<QLabel *>(QLatin1StringView(name));
        return label && label->isVisibleTo(&view) ? label->text() : QString();
    };

    // The title stands before recognised words: neither row shows them.
    card->setOcrText(QStringLiteral("Total 42.00\nThank you"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(smallContent && small.content() == smallContent);
    QVERIFY(mediumContent && medium.content() == mediumContent);

    // Without a title they are the small row's title.
    card->setTitle(std::nullopt);
    QCOMPARE(shown(small, "snipTitle"), QStringLiteral("Total 42.00"));
    QVERIFY(mediumContent && medium.content() == mediumContent);
    QCOMPARE(small.accessibleName(), QStringLiteral("Reference to Total 42.00"));

    // A caption reaches both rows.
    card->setContextText(QStringLiteral("The receipt"));
    QCOMPARE(shown(small, "snipCaption"), QStringLiteral("The receipt"));
    QCOMPARE(shown(medium, "snipCaption"), QStringLiteral("The receipt"));

    auto thought = thoughtCard(ThoughtKind::decision, QStringLiteral("Because the budget closes"));
    BoardWritingReferenceView row(thought.get(), NoteAttachmentSize::medium, &images);
    thought->setMarkdownText(QStringLiteral("Because the quarter ends"));
    QCOMPARE(shown(row, "thoughtText"), QStringLiteral("Because the quarter ends"));
    const QPointer<QWidget> thoughtContent = row.content();
    thought->setOcrText(QStringLiteral("never shown"));
    QVERIFY(thoughtContent && row.content() == thoughtContent);
}

void WritingReferenceTest::missingReference()
{
    const QUuid id = QUuid::createUuid();
    BoardMissingWritingReferenceView missing(id);
    int removed = 0;
    missing.onRemove = [&]() { ++removed; };
    auto *button = missing.findChild<QAbstractButton *>(QStringLiteral("removeReferenceButton"));
    QVERIFY(button);
    QCOMPARE(button->text(), QStringLiteral("Remove"));
    button->click();
    QCOMPARE(removed, 1);

    // One accessible element: its label, the card id as its value, and the
    // remove action.
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(&missing);
    QVERIFY(accessible);
    QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Unavailable card reference"));
    QCOMPARE(accessible->text(QAccessible::Value), uuidText(id));
    QCOMPARE(accessible->childCount(), 0);
    QCOMPARE(accessible->actionInterface()->actionNames(), QStringList{QStringLiteral("Remove reference")});
    accessible->actionInterface()->doAction(QStringLiteral("Remove reference"));
    QCOMPARE(removed, 2);

    BoardMissingWritingReferenceView anonymous(std::nullopt);
    QCOMPARE(QAccessible::queryAccessibleInterface(&anonymous)->text(QAccessible::Value), QStringLiteral("Missing identifier"));
}

void WritingReferenceTest::referenceAccessibleActions()
{
    SnipImageCache images;
    auto card = snipCard(QStringLiteral("caption"));
    BoardWritingReferenceView view(card.get(), NoteAttachmentSize::medium, &images);
    QStringList calls;
    view.onOpen = [&]() { calls << QStringLiteral("open"); };
    view.onRemove = [&]() { calls << QStringLiteral("remove"); };
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(&view);
    QVERIFY(accessible);
    QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Reference to Checkout & pay"));
    QCOMPARE(accessible->text(QAccessible::Description), QStringLiteral("Opens the original Snip"));
    QVERIFY(accessible->childCount() > 0);
    QAccessibleActionInterface *actions = accessible->actionInterface();
    QCOMPARE(actions->actionNames(), (QStringList{QStringLiteral("Open original"), QStringLiteral("Remove reference")}));
    actions->doAction(QStringLiteral("Open original"));
    actions->doAction(QStringLiteral("Remove reference"));
    QCOMPARE(calls, (QStringList{QStringLiteral("open"), QStringLiteral("remove")}));
}

void WritingReferenceTest::imageCacheReadsStoredPicturesInTurn()
{
    // A library file, so the pictures are read back from it, more of them
    // than are read at a time.
    QTemporaryDir dir;
    ModelContainer::Configuration configuration;
    configuration.directory = dir.path();
    auto container = ModelContainer::open(configuration);
    QVERIFY(container);
    ModelContext &context = *(*container)->mainContext();
    const Board *note = tessaline::testing::addNote(context, {QStringLiteral("Pictures")});
    QList<CanvasCard *> cards;
    const int count = SnipImageCache::concurrentDecodes + 3;
    for (int i = 0; i < count; ++i)
        cards << tessaline::testing::addCard(context, note->id(), {.image = pngOf(Qt::green, QSize(20 + i, 10))});
    QVERIFY(context.save());

    SnipImageCache images;
    QSignalSpy ready(&images, &SnipImageCache::imageReady);
    for (CanvasCard *card : cards)
        QCOMPARE(images.state(*card), SnipImageCache::State::loading);
    // One deleted while it waits its turn has nothing to show, and holds up
    // nothing.
    CanvasCard *deleted = cards.takeLast();
    context.remove(deleted);
    QVERIFY(context.save());
    images.waitForPending();
    QCOMPARE(ready.size(), count);
    QCOMPARE(images.state(*deleted), SnipImageCache::State::unavailable);
    for (int i = 0; i < cards.size(); ++i) {
        QCOMPARE(images.state(*cards[i]), SnipImageCache::State::ready);
        QCOMPARE(images.imageSize(*cards[i]), QSize(20 + i, 10));
        QCOMPARE(images.pixmap(*cards[i], QSize(10, 5)).toImage().pixelColor(5, 2), QColor(Qt::green));
    }
}

void WritingReferenceTest::imageCacheDecodesOncePerVersion()
{
    SnipImageCache images;
    QSignalSpy ready(&images, &SnipImageCache::imageReady);
    auto card = snipCard(QString(), pngOf(Qt::red, QSize(400, 100)));
    QCOMPARE(images.state(*card), SnipImageCache::State::loading);
    QVERIFY(images.pixmap(*card, QSize(200, 50)).isNull());
    images.waitForPending();
    QCOMPARE(ready.count(), 1);
    QCOMPARE(images.state(*card), SnipImageCache::State::ready);
    QCOMPARE(images.imageSize(*card), QSize(400, 100));
    const QPixmap pixmap = images.pixmap(*card, QSize(200, 50));
    QCOMPARE(pixmap.size(), QSize(200, 50));
    QCOMPARE(pixmap.toImage().pixelColor(100, 25), QColor(Qt::red));
    // The same version again is answered from memory.
    QCOMPARE(images.pixmap(*card, QSize(200, 50)).cacheKey(), pixmap.cacheKey());
    images.waitForPending();
    QCOMPARE(ready.count(), 1);

    // A new image is a new version: decoded again, never the old picture.
    card->setOriginalImageData(pngOf(Qt::blue, QSize(100, 100)));
    card->setUpdatedAt(card->updatedAt().addSecs(5));
    QCOMPARE(images.state(*card), SnipImageCache::State::loading);
    images.waitForPending();
    QCOMPARE(ready.count(), 2);
    QCOMPARE(images.imageSize(*card), QSize(100, 100));
    QCOMPARE(images.pixmap(*card, QSize(50, 50)).toImage().pixelColor(25, 25), QColor(Qt::blue));

    auto broken = snipCard(QString(), QByteArray("not a picture"));
    QCOMPARE(images.state(*broken), SnipImageCache::State::loading);
    images.waitForPending();
    QCOMPARE(images.state(*broken), SnipImageCache::State::unavailable);
    auto none = snipCard();
    QCOMPARE(images.state(*none), SnipImageCache::State::unavailable);
}

void WritingReferenceTest::annotatedImageDrawsAnnotationsOrNothing()
{
    AnnotationDocument document;
    AnnotationItem box;
    box.id = QUuid::createUuid();
    box.tool = AnnotationTool::rectangle;
    box.points = {{0.0, 0.0}, {1.0, 1.0}};
    box.color = {0, 0, 1, 1};
    box.lineWidth = 4;
    document.items = {box};
    auto card = snipCard(QString(), pngOf(Qt::white, QSize(60, 40)));
    card->setAnnotationDocumentData(document.encode());
    const auto annotated = [](const CanvasCard &drawn) {
        return drawSnipPicture(drawn.originalImageData(), drawn.annotationDocumentData(), SnipPictureDrawing::annotated);
    };
    const auto image = annotated(*card);
    QVERIFY(image);
    QCOMPARE(image->size(), QSize(60, 40));
    QCOMPARE(QColor(image->pixel(1, 20)), QColor(Qt::blue));
    QCOMPARE(QColor(image->pixel(30, 20)), QColor(Qt::white));

    QVERIFY(!drawSnipPicture(std::nullopt, std::nullopt, SnipPictureDrawing::annotated));
    QVERIFY(!drawSnipPicture(QByteArray("garbage"), std::nullopt, SnipPictureDrawing::annotated));

    // Annotations it cannot read may hide something: the placeholder shows,
    // never the plain picture.
    card->setAnnotationDocumentData(QByteArray(R"({"items":[{"tool":"blur"}],"version":3})"));
    QVERIFY(!annotated(*card));
    SnipImageCache images;
    images.state(*card);
    images.waitForPending();
    QCOMPARE(images.state(*card), SnipImageCache::State::unavailable);
    QVERIFY(images.pixmap(*card, QSize(60, 40)).isNull());
}

QTEST_MAIN(WritingReferenceTest)
#include "tst_writingreference.moc"
