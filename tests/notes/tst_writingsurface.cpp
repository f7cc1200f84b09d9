#include "../model/StoreFixture.h"

#include "model/CanvasCard.h"
#include "design/SemanticColors.h"
#include "platform/AccessibilitySettings.h"
#include "platform/UserDefaults.h"
#include "runtime/GuidedTourTarget.h"
#include "runtime/LibraryQuery.h"
#include "runtime/OnboardingCoordinator.h"
#include "notes/BoardMissingWritingReferenceView.h"
#include "notes/BoardWritingReferenceView.h"
#include "notes/BoardWritingSurface.h"
#include "notes/SnipImageView.h"
#include "notes/WritingParagraphEditor.h"
#include "platform/UuidText.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QScrollBar>
#include <QGraphicsOpacityEffect>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QVBoxLayout>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <algorithm>
#include <functional>
#include <memory>

using namespace tessaline;

namespace {

std::unique_ptr<CanvasCard> makeCard(CardKind kind, const QString &title)
{
    CanvasCard::Init init;
    init.kind = kind;
    init.title = title;
    init.createdAt = QDateTime(QDate(2026, 2, 2), QTime(10, 0), QTimeZone::utc());
    return std::make_unique<CanvasCard>(init);
}

// Stands in for the note workspace: it owns the document, applies the page's
// requests the way the workspace does and hands the normalised result back.
struct Workspace
{
    BoardWritingSurface *surface = nullptr;
    BoardWritingDocument document;
    QStringList calls;
    QStringList focusCalls;
    int storedChanges = 0;

    void attach(BoardWritingSurface *target, const BoardWritingDocument &initial)
    {
        surface = target;
        document = initial;
        BoardWritingSurfaceModel *model = surface->model();
        model->onDocumentChange = [this](const BoardWritingDocument &changed) {
            ++storedChanges;
            store(changed);
        };
        model->onInsertReference = [this](const QUuid &card, const std::optional<QUuid> &anchor) {
            calls << QStringLiteral("insert %1 after %2").arg(uuidText(card), anchor ? uuidText(*anchor) : QStringLiteral("none"));
            BoardWritingDocument next = document;
            next.insertCardReference(card, anchor);
            store(next);
        };
        model->onRemoveReference = [this](const QUuid &block) {
            calls << QStringLiteral("remove ") + uuidText(block);
            BoardWritingDocument next = document;
            next.blocks.removeIf([&](const BoardWritingBlock &b) { return b.isCardReference() && b.id == block; });
            store(next);
        };
        model->onUpdateReferenceSize = [this](const QUuid &block, NoteAttachmentSize size) {
            calls << QStringLiteral("size ") + rawValue(size);
            BoardWritingDocument next = document;
            next.setAttachmentSize(block, size);
            store(next);
        };
        model->onOpenCard = [this](CanvasCard *card) { calls << QStringLiteral("open ") + card->displayTitle(); };
        model->onFocusParagraph = [this](const std::optional<QUuid> &id) {
            focusCalls << QStringLiteral("focus %1").arg(id ? uuidText(*id) : QStringLiteral("none"));
        };
        model->setDocument(document);
    }

    void store(const BoardWritingDocument &changed)
    {
        document.blocks = BoardWritingDocument::normalizedBlocks(changed.blocks);
        surface->model()->setDocument(document);
    }
};

QList<QUuid> ids(const BoardWritingDocument &document)
{
    QList<QUuid> result;
    for (const BoardWritingBlock &block : document.blocks)
        result << block.id;
    return result;
}

void dropOn(QWidget *target, const QPoint &position, const QString &text)
{
    QMimeData data;
    data.setText(text);
    QDragEnterEvent enter(position, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(position), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

} // namespace

class WritingSurfaceTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void rowsFollowTheDocument();
    void typingUpdatesTheDocument();
    void textStaysAsWritten_data();
    void textStaysAsWritten();
    void returnBreaksTheLineInsideTheParagraph_data();
    void returnBreaksTheLineInsideTheParagraph();
    void overlongPasteIsRefusedWithAWord();
    void dropsInsertAfterTheParagraphUnderThem_data();
    void dropsInsertAfterTheParagraphUnderThem();
    void refusedDropsCallNothing();
    void emptyPageTakesDropsWithoutAnchor();
    void sizeMenuChangesTheReferenceInPlace();
    void removalKeepsTheDocumentNormalised();
    void missingCardShowsThePlaceholder();
    void newCardListedAfterItsReferenceNeverShowsMissing();
    void focusIsTheWritingPosition();
    void arrowKeysGoFromParagraphToParagraph();
    void cardsAreReachedAndUsedFromTheKeyboard();
    void pageLayout();
    void rowsEnter_data();
    void rowsEnter();
    void longNotesMakeCardViewsAsTheyComeIntoView();
    void openingShowsCardsNeverFirstAsMissing_data();
    void openingShowsCardsNeverFirstAsMissing();
    void theTourRingsItsSnipOnItsLastStep();

private:
    std::unique_ptr<BoardWritingSurface> m_surface;
    std::unique_ptr<CanvasCard> m_snip;
    std::unique_ptr<CanvasCard> m_thought;
    Workspace m_workspace;
    QUuid m_first;
    QUuid m_second;
};

void WritingSurfaceTest::init()
{
    m_snip = makeCard(CardKind::snip, QStringLiteral("Pricing table"));
    m_thought = makeCard(CardKind::thought, QStringLiteral("Who pays?"));
    m_first = QUuid::createUuid();
    m_second = QUuid::createUuid();
    m_surface = std::make_unique<BoardWritingSurface>();
    m_surface->resize(1000, 700);
    m_workspace = Workspace{};
    m_workspace.attach(m_surface.get(), BoardWritingDocument{{BoardWritingBlock::paragraph(QStringLiteral("Opening"), m_first),
                                                              BoardWritingBlock::paragraph(QString(), m_second)}});
    m_surface->model()->setCards({m_snip.get(), m_thought.get()});
    m_surface->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_surface.get()));
    m_surface->finishAnimations();
}

void WritingSurfaceTest::cleanup()
{
    m_surface.reset();
}

void WritingSurfaceTest::rowsFollowTheDocument()
{
    QCOMPARE(m_surface->rowOrder(), ids(m_workspace.document));
    WritingParagraphEditor *first = m_surface->paragraphEditor(m_first);
    WritingParagraphEditor *second = m_surface->paragraphEditor(m_second);
    QVERIFY(first && second);
    QCOMPARE(first->toPlainText(), QStringLiteral("Opening"));
    QCOMPARE(first->placeholderText(), QStringLiteral("Start writing…"));
    QCOMPARE(second->placeholderText(), QStringLiteral("Keep writing…"));
    QCOMPARE(first->accessibleName(), QStringLiteral("Board writing"));
    QCOMPARE(second->accessibleName(), QStringLiteral("Writing paragraph"));

    // A reference put first makes no paragraph lose its editor.
    BoardWritingDocument next = m_workspace.document;
    next.blocks.prepend(BoardWritingBlock::cardReference(m_thought->id()));
    m_workspace.store(next);
    m_surface->finishAnimations();
    QCOMPARE(m_surface->paragraphEditor(m_first), first);
    QCOMPARE(m_surface->rowOrder(), ids(m_workspace.document));
    QVERIFY(qobject_cast<BoardWritingReferenceView *>(m_surface->rowWidget(m_workspace.document.blocks.first().id)));
}

void WritingSurfaceTest::typingUpdatesTheDocument()
{
    WritingParagraphEditor *editor = m_surface->paragraphEditor(m_second);
    editor->setFocus();
    QTest::keyClicks(editor, QStringLiteral("<b>plain</b>"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTest::keyClicks(editor, QStringLiteral("next line"));
    QCOMPARE(m_workspace.document.blocks.size(), 2);
    QCOMPARE(m_workspace.document.blocks.at(1).text, QStringLiteral("<b>plain</b>\nnext line"));
    QCOMPARE(m_surface->model()->document(), m_workspace.document);
    QVERIFY(m_workspace.storedChanges >= 20);
    // The workspace's echo keeps the same editor, caret and text.
    QCOMPARE(m_surface->paragraphEditor(m_second), editor);
    QCOMPARE(editor->textCursor().position(), int(editor->toPlainText().size()));
    QVERIFY(editor->placeholderText() == QStringLiteral("Keep writing…"));

    // Backspace at the start of a paragraph merges nothing.
    QTextCursor start = editor->textCursor();
    start.setPosition(0);
    editor->setTextCursor(start);
    QTest::keyClick(editor, Qt::Key_Backspace);
    QCOMPARE(m_workspace.document.blocks.size(), 2);
    QCOMPARE(m_workspace.document.blocks.at(0).text, QStringLiteral("Opening"));
}

void WritingSurfaceTest::textStaysAsWritten_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("no-break spaces") << QStringLiteral("10\u00A0km \u00AB\u00A0oui\u00A0\u00BB");
    QTest::newRow("a line separator") << QStringLiteral("one\u2028two");
    QTest::newRow("tabs, breaks and spaces") << QStringLiteral("\tindented\n\n  trailing  ");
}

void WritingSurfaceTest::textStaysAsWritten()
{
    QFETCH(QString, text);
    // Shown, the paragraph's text is left exactly as it is stored...
    BoardWritingDocument next = m_workspace.document;
    next.blocks[1].text = text;
    m_workspace.store(next);
    m_surface->finishAnimations();
    WritingParagraphEditor *editor = m_surface->paragraphEditor(m_second);
    QVERIFY(editor);
    QCOMPARE(m_workspace.storedChanges, 0);
    QCOMPARE(m_workspace.document.blocks.at(1).text, text);

    // ...and typing adds to it without changing what was there.
    editor->setFocus();
    editor->moveCursor(QTextCursor::End);
    QTest::keyClicks(editor, QStringLiteral("!"));
    QCOMPARE(m_workspace.document.blocks.at(1).text, text + QStringLiteral("!"));

    // Pasting puts in the plain text as it is, also when the clipboard
    // offers Markdown first, whose marks rendering would lose.
    auto *offered = new QMimeData;
    const QString pasted = QStringLiteral("**Total**\u00A0_due_");
    offered->setData(QStringLiteral("text/markdown"), pasted.toUtf8());
    offered->setText(pasted);
    QGuiApplication::clipboard()->setMimeData(offered);
    editor->paste();
    QCOMPARE(m_workspace.document.blocks.at(1).text, text + QStringLiteral("!") + pasted);
    QCOMPARE(m_workspace.document.blocks.size(), 2);
}

void WritingSurfaceTest::returnBreaksTheLineInsideTheParagraph_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier);
    QTest::newRow("Shift+Return") << int(Qt::Key_Return) << int(Qt::ShiftModifier);
    QTest::newRow("Enter on the keypad") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
    QTest::newRow("Shift+Enter") << int(Qt::Key_Enter) << int(Qt::ShiftModifier | Qt::KeypadModifier);
}

void WritingSurfaceTest::returnBreaksTheLineInsideTheParagraph()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    WritingParagraphEditor *editor = m_surface->paragraphEditor(m_first);
    editor->setFocus();
    editor->moveCursor(QTextCursor::End);
    QTest::keyClick(editor, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QTest::keyClicks(editor, QStringLiteral("next"));
    QCOMPARE(m_workspace.document.blocks.size(), 2);
    QCOMPARE(m_workspace.document.blocks.at(0).text, QStringLiteral("Opening\nnext"));
    QCOMPARE(m_workspace.document.blocks.at(1).text, QString());
}

void WritingSurfaceTest::overlongPasteIsRefusedWithAWord()
{
    QStringList refusals;
    m_surface->model()->onPasteRefused = [&refusals](const QString &message) { refusals << message; };
    WritingParagraphEditor *editor = m_surface->paragraphEditor(m_second);
    editor->setFocus();

    // Far more than a note holds: the editor, the note and the clipboard
    // stay as they were, and the refusal says so.
    const QString huge(BoardWritingSurfaceModel::maximumWritingCharacters + 1, u'x');
    QGuiApplication::clipboard()->setText(huge);
    editor->paste();
    QCOMPARE(editor->toPlainText(), QString());
    QCOMPARE(m_workspace.document.blocks.at(1).text, QString());
    QCOMPARE(m_workspace.storedChanges, 0);
    QCOMPARE(refusals.size(), 1);
    QVERIFY(refusals.constFirst().contains(QStringLiteral("Nothing was pasted")));
    QCOMPARE(QGuiApplication::clipboard()->text().size(), huge.size());

    // An ordinary paste goes in.
    QGuiApplication::clipboard()->setText(QStringLiteral("pasted line\nand another"));
    editor->paste();
    QCOMPARE(m_workspace.document.blocks.at(1).text, QStringLiteral("pasted line\nand another"));
    QCOMPARE(refusals.size(), 1);
}

void WritingSurfaceTest::dropsInsertAfterTheParagraphUnderThem_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QStringList>("expectedKinds");

    QTest::newRow("on the first paragraph") << QStringLiteral("first")
                                            << QStringList{QStringLiteral("p:Opening"), QStringLiteral("r"), QStringLiteral("p:")};
    QTest::newRow("on the padding of the first paragraph") << QStringLiteral("first padding")
                                                           << QStringList{QStringLiteral("p:Opening"), QStringLiteral("r"),
                                                                          QStringLiteral("p:")};
    QTest::newRow("below the last block") << QStringLiteral("page bottom")
                                          << QStringList{QStringLiteral("p:Opening"), QStringLiteral("r"), QStringLiteral("p:")};
}

void WritingSurfaceTest::dropsInsertAfterTheParagraphUnderThem()
{
    QFETCH(QString, target);
    QFETCH(QStringList, expectedKinds);
    const QString card = uuidText(m_snip->id());
    WritingParagraphEditor *first = m_surface->paragraphEditor(m_first);
    QWidget *page = m_surface->page();
    if (target == u"first") {
        dropOn(first->viewport(), QPoint(5, 5), card);
        QCOMPARE(m_workspace.calls, QStringList{QStringLiteral("insert %1 after %2").arg(card, uuidText(m_first))});
    } else if (target == u"first padding") {
        const QPoint justAbove = first->geometry().topLeft() + QPoint(10, -2);
        dropOn(page, justAbove, card);
        QCOMPARE(m_workspace.calls, QStringList{QStringLiteral("insert %1 after %2").arg(card, uuidText(m_first))});
    } else {
        dropOn(page, QPoint(100, page->height() - 20), card);
        // No anchor: before the trailing empty paragraph.
        QCOMPARE(m_workspace.calls, QStringList{QStringLiteral("insert %1 after none").arg(card)});
    }
    m_surface->finishAnimations();
    QStringList kinds;
    for (const BoardWritingBlock &block : m_workspace.document.blocks)
        kinds << (block.isParagraph() ? QStringLiteral("p:") + block.text : QStringLiteral("r"));
    QCOMPARE(kinds, expectedKinds);
    QCOMPARE(m_surface->rowOrder(), ids(m_workspace.document));
    auto *reference = qobject_cast<BoardWritingReferenceView *>(m_surface->rowWidget(m_workspace.document.blocks.at(1).id));
    QVERIFY(reference);
    QCOMPARE(reference->card(), m_snip.get());
    QCOMPARE(reference->size(), NoteAttachmentSize::medium);

    // A card dropped on that reference goes to the page, without anchor.
    m_workspace.calls.clear();
    dropOn(page, reference->geometry().center(), uuidText(m_thought->id()));
    QCOMPARE(m_workspace.calls, QStringList{QStringLiteral("insert %1 after none").arg(uuidText(m_thought->id()))});
}

void WritingSurfaceTest::refusedDropsCallNothing()
{
    QWidget *page = m_surface->page();
    const BoardWritingDocument before = m_workspace.document;
    auto unknown = makeCard(CardKind::snip, QStringLiteral("elsewhere"));
    dropOn(page, QPoint(100, page->height() - 20), uuidText(unknown->id()));
    dropOn(m_surface->paragraphEditor(m_first)->viewport(), QPoint(5, 5), QStringLiteral("just some text"));
    dropOn(page, QPoint(100, page->height() - 20), QString());
    QCOMPARE(m_workspace.calls, QStringList{});
    QCOMPARE(m_workspace.document, before);
    // A refused text never lands inside the paragraph either.
    QCOMPARE(m_surface->paragraphEditor(m_first)->toPlainText(), QStringLiteral("Opening"));
}

void WritingSurfaceTest::emptyPageTakesDropsWithoutAnchor()
{
    BoardWritingSurface surface;
    surface.resize(800, 500);
    QStringList calls;
    surface.model()->onInsertReference = [&](const QUuid &card, const std::optional<QUuid> &anchor) {
        calls << uuidText(card) + (anchor ? QStringLiteral(" anchored") : QStringLiteral(" unanchored"));
    };
    surface.model()->setCards({m_snip.get()});
    surface.show();
    QVERIFY(QTest::qWaitForWindowExposed(&surface));
    QVERIFY(surface.rowOrder().isEmpty());
    dropOn(surface.page(), QPoint(60, 40), uuidText(m_snip->id()));
    QCOMPARE(calls, QStringList{uuidText(m_snip->id()) + QStringLiteral(" unanchored")});
}

void WritingSurfaceTest::sizeMenuChangesTheReferenceInPlace()
{
    BoardWritingDocument next = m_workspace.document;
    next.insertCardReference(m_snip->id(), m_first);
    m_workspace.store(next);
    m_surface->finishAnimations();
    const QUuid referenceID = m_workspace.document.blocks.at(1).id;
    auto *reference = qobject_cast<BoardWritingReferenceView *>(m_surface->rowWidget(referenceID));
    QVERIFY(reference);
    const int mediumHeight = reference->height();

    std::unique_ptr<QMenu> menu(reference->createActionsMenu(nullptr));
    QMenu *sizes = nullptr;
    for (QAction *action : menu->actions()) {
        if (action->text() == u"View As")
            sizes = action->menu();
    }
    QVERIFY(sizes);
    for (QAction *action : sizes->actions()) {
        if (action->text() == u"Small")
            action->trigger();
    }
    m_surface->finishAnimations();
    QCOMPARE(m_workspace.calls, QStringList{QStringLiteral("size small")});
    QCOMPARE(m_workspace.document.blocks.at(1).attachmentSizeRawValue, QStringLiteral("small"));
    QCOMPARE(m_surface->rowWidget(referenceID), reference);
    QCOMPARE(reference->size(), NoteAttachmentSize::small);
    QVERIFY(reference->height() < mediumHeight);
}

void WritingSurfaceTest::removalKeepsTheDocumentNormalised()
{
    // A lone reference: removing it must leave one paragraph, not nothing.
    const QUuid referenceID = QUuid::createUuid();
    m_workspace.store(BoardWritingDocument{{BoardWritingBlock::cardReference(m_thought->id(), NoteAttachmentSize::medium, referenceID)}});
    m_surface->finishAnimations();
    QCOMPARE(m_workspace.document.blocks.size(), 2);
    auto *reference = qobject_cast<BoardWritingReferenceView *>(m_surface->rowWidget(referenceID));
    QVERIFY(reference);
    std::unique_ptr<QMenu> menu(reference->createActionsMenu(nullptr));
    for (QAction *action : menu->actions()) {
        if (action->text() == u"Remove from Note")
            action->trigger();
    }
    m_surface->finishAnimations();
    QCOMPARE(m_workspace.calls, QStringList{QStringLiteral("remove ") + uuidText(referenceID)});
    QCOMPARE(m_workspace.document.blocks.size(), 1);
    QVERIFY(m_workspace.document.blocks.constFirst().isParagraph());
    QCOMPARE(m_workspace.document.blocks, BoardWritingDocument::normalizedBlocks(m_workspace.document.blocks));
    QCOMPARE(m_surface->rowOrder(), ids(m_workspace.document));
    QVERIFY(!m_surface->rowWidget(referenceID));
    WritingParagraphEditor *remaining = m_surface->paragraphEditor(m_workspace.document.blocks.constFirst().id);
    QVERIFY(remaining);
    QCOMPARE(remaining->placeholderText(), QStringLiteral("Start writing…"));
}

void WritingSurfaceTest::missingCardShowsThePlaceholder()
{
    const QUuid referenceID = QUuid::createUuid();
    auto gone = makeCard(CardKind::snip, QStringLiteral("in the trash"));
    BoardWritingDocument next = m_workspace.document;
    next.blocks.insert(1, BoardWritingBlock::cardReference(gone->id(), NoteAttachmentSize::small, referenceID));
    m_workspace.store(next);
    QTRY_VERIFY(m_surface->rowWidget(referenceID));
    m_surface->finishAnimations();
    auto *missing = qobject_cast<BoardMissingWritingReferenceView *>(m_surface->rowWidget(referenceID));
    QVERIFY(missing);
    QCOMPARE(missing->cardID(), gone->id());

    // The card turning up among the cards replaces the placeholder.
    m_surface->model()->setCards({m_snip.get(), m_thought.get(), gone.get()});
    m_surface->finishAnimations();
    QVERIFY(qobject_cast<BoardWritingReferenceView *>(m_surface->rowWidget(referenceID)));
    m_surface->model()->setCards({m_snip.get(), m_thought.get()});
    m_surface->finishAnimations();
    missing = qobject_cast<BoardMissingWritingReferenceView *>(m_surface->rowWidget(referenceID));
    QVERIFY(missing);

    missing->findChild<QAbstractButton *>(QStringLiteral("removeReferenceButton"))->click();
    m_surface->finishAnimations();
    QCOMPARE(m_workspace.calls, QStringList{QStringLiteral("remove ") + uuidText(referenceID)});
    QCOMPARE(m_surface->rowOrder(), (QList<QUuid>{m_first, m_second}));
}

void WritingSurfaceTest::newCardListedAfterItsReferenceNeverShowsMissing()
{
    // A capture into the open note: the writing names the card first, the
    // save that follows lists it.
    auto captured = makeCard(CardKind::snip, QStringLiteral("just captured"));
    const QUuid referenceID = QUuid::createUuid();
    BoardWritingDocument next = m_workspace.document;
    next.blocks.insert(1, BoardWritingBlock::cardReference(captured->id(), NoteAttachmentSize::small, referenceID));
    m_workspace.store(next);
    m_surface->model()->setCards({m_snip.get(), m_thought.get(), captured.get()});
    QVERIFY(qobject_cast<BoardWritingReferenceView *>(m_surface->rowWidget(referenceID)));
    QVERIFY(m_surface->findChildren<BoardMissingWritingReferenceView *>().isEmpty());
    QCoreApplication::processEvents();
    QVERIFY(m_surface->findChildren<BoardMissingWritingReferenceView *>().isEmpty());
    QCOMPARE(m_surface->rowOrder(), ids(m_workspace.document));
}

void WritingSurfaceTest::focusIsTheWritingPosition()
{
    m_surface->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_surface.get()));
    m_workspace.focusCalls.clear();
    m_surface->paragraphEditor(m_first)->clearFocus();
    m_workspace.focusCalls.clear();
    m_surface->paragraphEditor(m_first)->setFocus();
    m_surface->paragraphEditor(m_second)->setFocus();
    m_surface->paragraphEditor(m_second)->clearFocus();
    m_surface->paragraphEditor(m_first)->setFocus();
    m_surface->hide();
    const QStringList expected{QStringLiteral("focus ") + uuidText(m_first), QStringLiteral("focus ") + uuidText(m_second),
                               QStringLiteral("focus none"), QStringLiteral("focus ") + uuidText(m_first),
                               QStringLiteral("focus none")};
    QCOMPARE(m_workspace.focusCalls, expected);
}

void WritingSurfaceTest::arrowKeysGoFromParagraphToParagraph()
{
    const QUuid third = QUuid::createUuid();
    BoardWritingDocument next{{BoardWritingBlock::paragraph(QStringLiteral("Opening\nsecond line"), m_first),
                               BoardWritingBlock::cardReference(m_thought->id()),
                               BoardWritingBlock::paragraph(QStringLiteral("Middle"), m_second),
                               BoardWritingBlock::paragraph(QStringLiteral("Last"), third)}};
    m_workspace.store(next);
    m_surface->finishAnimations();
    const BoardWritingDocument before = m_workspace.document;
    m_surface->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_surface.get()));
    WritingParagraphEditor *first = m_surface->paragraphEditor(m_first);
    first->setFocus();
    first->moveCursor(QTextCursor::Start);
    auto focused = [] { return qobject_cast<WritingParagraphEditor *>(QApplication::focusWidget()); };

    // Down inside a paragraph of two lines stays in it; from its last line
    // it passes the card to the next paragraph, and on to the last one. Up
    // comes back onto a paragraph's last line. Each step: the key, then the
    // paragraph and the line the caret is on.
    struct Step
    {
        Qt::Key key;
        QUuid paragraph;
        int line;
    };
    const QList<Step> steps{{Qt::Key_Down, m_first, 1}, {Qt::Key_Down, m_second, 0}, {Qt::Key_Down, third, 0},
                            {Qt::Key_Down, third, 0},   {Qt::Key_Up, m_second, 0},   {Qt::Key_Up, m_first, 1},
                            {Qt::Key_Up, m_first, 0},   {Qt::Key_Up, m_first, 0}};
    QStringList visited;
    QStringList expected;
    for (const Step &step : steps) {
        QTest::keyClick(focused(), step.key);
        QTRY_VERIFY(focused());
        visited << QStringLiteral("%1:%2").arg(uuidText(focused()->blockID())).arg(focused()->textCursor().blockNumber());
        expected << QStringLiteral("%1:%2").arg(uuidText(step.paragraph)).arg(step.line);
    }
    QCOMPARE(visited, expected);
    QCOMPARE(m_workspace.document, before);
}

void WritingSurfaceTest::cardsAreReachedAndUsedFromTheKeyboard()
{
    auto gone = makeCard(CardKind::snip, QStringLiteral("in the trash"));
    const QUuid thoughtRow = QUuid::createUuid();
    const QUuid snipRow = QUuid::createUuid();
    const QUuid goneRow = QUuid::createUuid();
    const QUuid last = QUuid::createUuid();
    m_workspace.store(BoardWritingDocument{{BoardWritingBlock::paragraph(QStringLiteral("Opening"), m_first),
                                            BoardWritingBlock::cardReference(m_thought->id(), NoteAttachmentSize::medium, thoughtRow),
                                            BoardWritingBlock::paragraph(QStringLiteral("Middle"), m_second),
                                            BoardWritingBlock::cardReference(m_snip->id(), NoteAttachmentSize::medium, snipRow),
                                            BoardWritingBlock::cardReference(gone->id(), NoteAttachmentSize::medium, goneRow),
                                            BoardWritingBlock::paragraph(QStringLiteral("End"), last)}});
    QTRY_VERIFY(m_surface->rowWidget(goneRow));
    m_surface->finishAnimations();
    const BoardWritingDocument before = m_workspace.document;
    m_surface->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_surface.get()));
    m_surface->paragraphEditor(m_first)->setFocus();

    // The row holding the keyboard, by its block; for a card, also its
    // accessible name, whether it wears the ring and lies wholly in view.
    auto focusedRow = [this]() -> QString {
        QWidget *focus = QApplication::focusWidget();
        if (auto *editor = qobject_cast<WritingParagraphEditor *>(focus))
            return uuidText(editor->blockID());
        for (const QUuid &id : m_surface->rowOrder()) {
            if (m_surface->rowWidget(id) != focus || !focus)
                continue;
            const auto *card = qobject_cast<QuietCard *>(focus);
            const QRect shown(focus->mapTo(m_surface->viewport(), QPoint(0, 0)), focus->size());
            QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(focus);
            return QStringLiteral("%1 %2 ring:%3 inView:%4 focused:%5")
                .arg(uuidText(id), accessible->text(QAccessible::Name))
                .arg(card && card->showsKeyboardFocus())
                .arg(m_surface->viewport()->rect().contains(shown))
                .arg(accessible->state().focused);
        }
        return QStringLiteral("elsewhere");
    };
    auto card = [](const QUuid &id, const QString &name) {
        return QStringLiteral("%1 %2 ring:1 inView:1 focused:1").arg(uuidText(id), name);
    };
    const QStringList forward{card(thoughtRow, QStringLiteral("Reference to Who pays?")), uuidText(m_second),
                              card(snipRow, QStringLiteral("Reference to Pricing table")),
                              card(goneRow, QStringLiteral("Unavailable card reference")), uuidText(last),
                              // Nothing follows the writing in this window.
                              uuidText(last)};
    QStringList visited;
    for (qsizetype step = 0; step < forward.size(); ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << focusedRow();
    }
    QCOMPARE(visited, forward);
    const QStringList backward{card(goneRow, QStringLiteral("Unavailable card reference")),
                               card(snipRow, QStringLiteral("Reference to Pricing table")), uuidText(m_second),
                               card(thoughtRow, QStringLiteral("Reference to Who pays?")), uuidText(m_first)};
    visited.clear();
    for (qsizetype step = 0; step < backward.size(); ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        visited << focusedRow();
    }
    QCOMPARE(visited, backward);
    // Tab went between the blocks; it wrote nothing into them.
    QCOMPARE(m_workspace.document, before);

    // Return and Space open a card as a click does.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), m_surface->rowWidget(snipRow));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QCOMPARE(m_workspace.calls, (QStringList{QStringLiteral("open Who pays?"), QStringLiteral("open Pricing table")}));

    // Shift+F10 and the Menu key open the card's actions menu; Escape gives
    // the keyboard back to the card, ring and all.
    auto menuTexts = [] {
        QStringList texts;
        if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
            for (QAction *action : menu->actions())
                texts << action->text();
        }
        return texts;
    };
    const QStringList snipMenu{QStringLiteral("Open Preview"), QStringLiteral("Copy"), QStringLiteral("Save As…"),
                               QStringLiteral("Annotate"), QStringLiteral("Copy with Frame…"), QStringLiteral("View As"),
                               QString(), QStringLiteral("Remove from Note")};
    const QList<std::pair<Qt::Key, Qt::KeyboardModifiers>> menuKeys{{Qt::Key_F10, Qt::ShiftModifier},
                                                                     {Qt::Key_Menu, Qt::NoModifier}};
    // The offscreen platform leaves no window active once a popup has gone,
    // where a desktop gives the keyboard back to the window under it.
    auto activeAgain = [this] {
        m_surface->window()->activateWindow();
        return QTest::qWaitForWindowActive(m_surface->window());
    };
    for (const auto &[key, modifiers] : menuKeys) {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
        QTRY_COMPARE(menuTexts(), snipMenu);
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
        QCOMPARE(focusedRow(), card(snipRow, QStringLiteral("Reference to Pricing table")));
        QTRY_VERIFY(!QApplication::activePopupWidget());
        QVERIFY(activeAgain());
        QCOMPARE(focusedRow(), card(snipRow, QStringLiteral("Reference to Pricing table")));
    }

    // The caret of the paragraph holding the keyboard: "start", "end" or
    // "inside".
    auto caret = [] {
        const auto *editor = qobject_cast<WritingParagraphEditor *>(QApplication::focusWidget());
        if (!editor)
            return QStringLiteral("no paragraph");
        const QTextCursor cursor = editor->textCursor();
        return cursor.atStart() ? QStringLiteral("start") : cursor.atEnd() ? QStringLiteral("end") : QStringLiteral("inside");
    };

    // Return on the placeholder presses its Remove; the keyboard goes on to
    // the block after it, never nowhere.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_COMPARE(m_workspace.calls.size(), 3);
    QCOMPARE(m_workspace.calls.last(), QStringLiteral("remove ") + uuidText(goneRow));
    QTRY_COMPARE(focusedRow(), uuidText(last));
    QCOMPARE(caret(), QStringLiteral("start"));

    // A click on a card opens it as before: the card takes no focus from
    // it, so wears no ring.
    m_surface->paragraphEditor(m_first)->setFocus();
    auto *snip = qobject_cast<BoardWritingReferenceView *>(m_surface->rowWidget(snipRow));
    auto *image = snip->findChild<SnipImageView *>();
    QVERIFY(image);
    const QPoint centre = image->imageRect().center().toPoint();
    QTest::mouseClick(image, Qt::LeftButton, Qt::NoModifier, centre);
    QCOMPARE(m_workspace.calls.last(), QStringLiteral("open Pricing table"));
    QVERIFY(!snip->hasFocus());
    QVERIFY(!snip->showsKeyboardFocus());

    // "Remove from Note", chosen from the keyboard in the focused card's
    // menu, leaves the keyboard on the block after the card.
    m_surface->paragraphEditor(m_first)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(focusedRow(), card(thoughtRow, QStringLiteral("Reference to Who pays?")));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Menu);
    QTRY_VERIFY(qobject_cast<QMenu *>(QApplication::activePopupWidget()));
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    for (QAction *action : menu->actions()) {
        if (action->text() == u"Remove from Note")
            menu->setActiveAction(action);
    }
    QTest::keyClick(menu, Qt::Key_Return);
    QCOMPARE(m_workspace.calls.last(), QStringLiteral("remove ") + uuidText(thoughtRow));
    QCOMPARE(focusedRow(), uuidText(m_second));
    QTRY_VERIFY(!QApplication::activePopupWidget());
    QVERIFY(activeAgain());
    QCOMPARE(focusedRow(), uuidText(m_second));
    QCOMPARE(caret(), QStringLiteral("start"));

    // A focused card whose card goes away keeps the keyboard as its
    // placeholder, and again as the card when it comes back.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(focusedRow(), card(snipRow, QStringLiteral("Reference to Pricing table")));
    m_surface->model()->setCards({m_thought.get()});
    QTRY_COMPARE(focusedRow(), card(snipRow, QStringLiteral("Unavailable card reference")));
    m_surface->model()->setCards({m_snip.get(), m_thought.get()});
    QTRY_COMPARE(focusedRow(), card(snipRow, QStringLiteral("Reference to Pricing table")));

    // With nothing after it left, the block before it takes the keyboard,
    // the caret at its end.
    m_workspace.store(BoardWritingDocument{{BoardWritingBlock::paragraph(QStringLiteral("Opening"), m_first),
                                            BoardWritingBlock::paragraph(QStringLiteral("Middle"), m_second)}});
    QTRY_COMPARE(focusedRow(), uuidText(m_second));
    QCOMPARE(caret(), QStringLiteral("end"));

    // A wholly new writing leaves the keyboard with the page, and Tab from
    // there enters it at its first block.
    const QUuid fresh = QUuid::createUuid();
    const QUuid freshEnd = QUuid::createUuid();
    const QUuid freshCard = QUuid::createUuid();
    m_workspace.store(BoardWritingDocument{{BoardWritingBlock::paragraph(QStringLiteral("Anew"), fresh),
                                            BoardWritingBlock::cardReference(m_snip->id(), NoteAttachmentSize::small, freshCard),
                                            BoardWritingBlock::paragraph(QStringLiteral("The end"), freshEnd)}});
    QTRY_COMPARE(QApplication::focusWidget(), m_surface.get());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(focusedRow(), uuidText(fresh));
    QCOMPARE(caret(), QStringLiteral("start"));

    // In a window with more than the writing, the card's view made after
    // both paragraphs' stands last of them in the window's focus chain:
    // Tab from before the writing enters it at its first block all the
    // same, Shift+Tab from after it at its last.
    QWidget window;
    auto *column = new QVBoxLayout(&window);
    auto *title = new QLineEdit(&window);
    column->addWidget(title);
    column->addWidget(m_surface.get());
    auto *after = new QPushButton(QStringLiteral("After"), &window);
    column->addWidget(after);
    const auto giveBack = qScopeGuard([this] { m_surface->setParent(nullptr); });
    window.resize(1000, 800);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    m_surface->finishAnimations();
    title->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(focusedRow(), uuidText(fresh));
    QCOMPARE(caret(), QStringLiteral("start"));
    after->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(focusedRow(), uuidText(freshEnd));
    QCOMPARE(caret(), QStringLiteral("end"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(focusedRow(), card(freshCard, QStringLiteral("Reference to Pricing table")));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), after);
    // A block the keyboard leaves by Shift+Tab leaves it for the title.
    title->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), title);
}

void WritingSurfaceTest::pageLayout()
{
    m_surface->resize(1400, 700);
    QApplication::processEvents();
    WritingParagraphEditor *first = m_surface->paragraphEditor(m_first);
    WritingParagraphEditor *second = m_surface->paragraphEditor(m_second);
    // The column keeps to 940 points, 48 from the left edge.
    QCOMPARE(first->geometry().left(), 48);
    QCOMPARE(first->width(), 940);
    QCOMPARE(first->geometry().top(), 34 + 3);
    QCOMPARE(second->geometry().top(), first->geometry().bottom() + 1 + 3 + 12 + 3);
    QVERIFY(first->height() >= 24);
    QVERIFY(m_surface->page()->height() >= second->geometry().bottom() + 3 + 120);

    // A paragraph grows with its text instead of scrolling.
    const int oneLine = second->height();
    second->setPlainText(QStringLiteral("line\n").repeated(6));
    QApplication::processEvents();
    QVERIFY(second->height() > oneLine * 4);
}

// The paints each widget gets.
class PaintCounter : public QObject
{
public:
    bool eventFilter(QObject *receiver, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints[receiver];
        return false;
    }
    QHash<QObject *, int> paints;
};

void WritingSurfaceTest::rowsEnter_data()
{
    QTest::addColumn<bool>("reduceMotion");
    QTest::addColumn<int>("offset");
    // Played frame by frame, or ended at once (a later change does that).
    QTest::addColumn<bool>("played");
    QTest::newRow("moving in from the top") << false << 16 << false;
    QTest::newRow("moving in from the top, played") << false << 16 << true;
    QTest::newRow("fading only with reduce motion") << true << 0 << false;
}

void WritingSurfaceTest::rowsEnter()
{
    QFETCH(bool, reduceMotion);
    QFETCH(int, offset);
    QFETCH(bool, played);
    AccessibilitySettings::shared().setReducesMotion(reduceMotion);
    BoardWritingDocument next = m_workspace.document;
    next.insertCardReference(m_thought->id(), m_first);
    m_workspace.store(next);
    const QUuid referenceID = m_workspace.document.blocks.at(1).id;
    QWidget *row = m_surface->rowWidget(referenceID);
    WritingParagraphEditor *second = m_surface->paragraphEditor(m_second);
    const int secondBefore = second->geometry().top();
    const int startTop = row->geometry().top();
    auto *effect = qobject_cast<QGraphicsOpacityEffect *>(row->graphicsEffect());
    QVERIFY(effect);
    QCOMPARE(effect->opacity(), 0.0);
    if (played) {
        // Each frame moves the card; it is drawn once for the whole glide
        // (and again as it settles), not once a frame.
        PaintCounter counting;
        qApp->installEventFilter(&counting);
        QTRY_VERIFY(!row->graphicsEffect());
        qApp->removeEventFilter(&counting);
        const int cardPaints = counting.paints.value(row);
        const int pagePaints = counting.paints.value(m_surface->page());
        if (pagePaints > 3)
            QVERIFY2(cardPaints <= 2, qPrintable(QStringLiteral("%1 paints over %2 frames").arg(cardPaints).arg(pagePaints)));
    } else
        m_surface->finishAnimations();
    QCOMPARE(row->geometry().top() - startTop, offset);
    QVERIFY(!row->graphicsEffect());
    // The paragraph below glides down to make room rather than jumping.
    QVERIFY2(second->geometry().top() > secondBefore, qPrintable(QStringLiteral("%1 %2 %3").arg(secondBefore).arg(second->geometry().top()).arg(row->geometry().height())));
    AccessibilitySettings::shared().setReducesMotion(false);
}


// A note of hundreds of captures shows its first screenful without making a
// view for every card; each card gets its view, in its place, when the page
// is scrolled to it, and a card added to the open note comes in at once.
void WritingSurfaceTest::longNotesMakeCardViewsAsTheyComeIntoView()
{
    std::vector<std::unique_ptr<CanvasCard>> owned;
    QList<CanvasCard *> cards;
    BoardWritingDocument document;
    document.blocks.append(BoardWritingBlock::paragraph(QStringLiteral("Captures of the week")));
    for (int i = 0; i < 400; ++i) {
        owned.push_back(makeCard(i % 3 == 0 ? CardKind::thought : CardKind::snip, QStringLiteral("Capture %1").arg(i)));
        cards << owned.back().get();
        document.blocks.append(BoardWritingBlock::cardReference(owned.back()->id()));
        if (i % 40 == 39)
            document.blocks.append(BoardWritingBlock::paragraph(QStringLiteral("On these captures")));
    }
    m_surface->model()->setCards(cards);
    m_workspace.store(document);
    m_surface->finishAnimations();
    QCOMPARE(m_surface->rowOrder(), ids(m_workspace.document));

    QList<QUuid> references;
    for (const BoardWritingBlock &block : m_workspace.document.blocks) {
        if (block.isCardReference())
            references << block.id;
    }
    QCOMPARE(references.size(), 400);
    QVERIFY(qobject_cast<BoardWritingReferenceView *>(m_surface->rowWidget(references.first())));
    QVERIFY(!m_surface->rowWidget(references.last()));

    // Rows far below stand in by the height they are guessed at, which
    // follows what they hold: a card made smaller, a paragraph grown long.
    const QUuid farSnip = references.at(398);
    // (Short of the last card, which is scrolled to below.)
    const auto farParagraph = std::find_if(m_workspace.document.blocks.crbegin() + 2, m_workspace.document.blocks.crend(),
                                           [](const BoardWritingBlock &block) { return block.isParagraph(); });
    QVERIFY(farParagraph != m_workspace.document.blocks.crend());
    const QUuid lastParagraph = farParagraph->id;
    QVERIFY(!m_surface->rowWidget(farSnip) && !m_surface->rowWidget(lastParagraph));
    const struct
    {
        const char *change;
        std::function<void(BoardWritingDocument &)> apply;
        bool grows;
    } farChanges[] = {
        {"a card made small", [&](BoardWritingDocument &d) { d.setAttachmentSize(farSnip, NoteAttachmentSize::small); }, false},
        {"a paragraph grown long", [&](BoardWritingDocument &d) { d.updateParagraphText(lastParagraph, QString(4000, u'w')); },
         true},
    };
    for (const auto &change : farChanges) {
        const int before = m_surface->page()->height();
        BoardWritingDocument changed = m_workspace.document;
        change.apply(changed);
        m_workspace.store(changed);
        m_surface->finishAnimations();
        const int after = m_surface->page()->height();
        QVERIFY2(change.grows ? after > before : after < before, change.change);
    }

    // Down a few wheel notches at a time: after every step the view is
    // covered by rows with views, one after the other, also after a card
    // above has gone and the first paragraph grown while it is scrolled.
    QScrollBar *scroll = m_surface->verticalScrollBar();
    auto bareStretch = [&]() -> QString {
        const QRect view(QPoint(0, scroll->value()), m_surface->viewport()->size());
        const QList<QUuid> order = m_surface->rowOrder();
        int coveredTo = view.top();
        for (qsizetype i = 0; i < order.size() && coveredTo < view.bottom(); ++i) {
            const QWidget *row = m_surface->rowWidget(order.at(i));
            const QRect area = row && row->isVisible() ? row->geometry() : QRect();
            if (area.isValid() && area.bottom() < view.top())
                continue;
            // Rows stand a spacing apart; a row without a view leaves more.
            constexpr int spacing = BoardWritingSurface::blockSpacing + 2 * BoardWritingSurface::paragraphPadding;
            if (!area.isValid() || area.top() > coveredTo + spacing)
                return QStringLiteral("nothing shown from %1 at scroll %2").arg(coveredTo).arg(view.top());
            coveredTo = std::max(coveredTo, area.bottom());
        }
        return QString();
    };
    for (int step = 1; step <= 40; ++step) {
        scroll->setValue(step * 120);
        if (step == 15) {
            BoardWritingDocument changed = m_workspace.document;
            changed.blocks.removeIf([&](const BoardWritingBlock &block) { return block.id == references.at(2); });
            changed.updateParagraphText(changed.blocks.first().id, QString(2000, u'w'));
            m_workspace.store(changed);
            m_surface->finishAnimations();
            QCOMPARE(m_surface->rowOrder(), ids(m_workspace.document));
        }
        const QString bare = bareStretch();
        QVERIFY2(bare.isEmpty(), qPrintable(bare));
    }

    // To the end, the page settling as the cards on the way are measured.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            scroll->setValue(scroll->maximum());
            QApplication::processEvents();
            return m_surface->rowWidget(references.last()) && scroll->value() == scroll->maximum();
        }(),
        10000);
    m_surface->finishAnimations();
    auto *last = qobject_cast<BoardWritingReferenceView *>(m_surface->rowWidget(references.last()));
    QVERIFY(last);
    QCOMPARE(last->card(), cards.last());
    QVERIFY(last->isVisible());
    const QRect shown(QPoint(0, scroll->value()), m_surface->viewport()->size());
    QVERIFY2(shown.intersects(last->geometry()), "the last card is not where the page scrolled to");
    // Rows that have views stand one under the other, in document order.
    int previousBottom = -1;
    for (const QUuid &id : m_surface->rowOrder()) {
        const QWidget *row = m_surface->rowWidget(id);
        if (!row || !row->isVisible() || !shown.adjusted(0, -2000, 0, 0).intersects(row->geometry()))
            continue;
        const QRect body = row->geometry().marginsRemoved(QMargins(0, 8, 0, 8));
        QVERIFY2(body.top() > previousBottom, "two rows overlap");
        previousBottom = body.bottom();
    }

    // A capture added to the open note gets its view straight away.
    owned.push_back(makeCard(CardKind::snip, QStringLiteral("Just captured")));
    cards << owned.back().get();
    m_surface->model()->setCards(cards);
    BoardWritingDocument next = m_workspace.document;
    next.insertCardReference(owned.back()->id(), std::nullopt);
    m_workspace.store(next);
    const auto added = std::find_if(m_workspace.document.blocks.cbegin(), m_workspace.document.blocks.cend(),
                                    [&](const BoardWritingBlock &block) { return block.cardID == owned.back()->id(); });
    QVERIFY(added != m_workspace.document.blocks.cend());
    QVERIFY(qobject_cast<BoardWritingReferenceView *>(m_surface->rowWidget(added->id)));
    QCOMPARE(m_surface->rowOrder(), ids(m_workspace.document));
}

enum class CardsCome { beforeTheWriting, afterTheWritingInTheSameTurn, never };

void WritingSurfaceTest::openingShowsCardsNeverFirstAsMissing_data()
{
    QTest::addColumn<CardsCome>("cardsCome");
    QTest::addColumn<int>("captures");
    QTest::newRow("cards first") << CardsCome::beforeTheWriting << 6;
    QTest::newRow("writing first, cards in the same turn") << CardsCome::afterTheWritingInTheSameTurn << 6;
    QTest::newRow("a long note, writing first") << CardsCome::afterTheWritingInTheSameTurn << 1200;
    QTest::newRow("cards that never come") << CardsCome::never << 6;
}

// The workspace hands a note's writing to a new page before its cards. The
// cards of the first screenful come in as themselves, never first as
// placeholders of missing cards that are swapped for them (which also placed
// every row of a long note twice); cards that never come are shown missing
// once the turn is over.
void WritingSurfaceTest::openingShowsCardsNeverFirstAsMissing()
{
    QFETCH(CardsCome, cardsCome);
    QFETCH(int, captures);
    std::vector<std::unique_ptr<CanvasCard>> owned;
    QList<CanvasCard *> cards;
    BoardWritingDocument document;
    document.blocks.append(BoardWritingBlock::paragraph(QStringLiteral("Captures")));
    for (int i = 0; i < captures; ++i) {
        owned.push_back(makeCard(i % 4 == 0 ? CardKind::thought : CardKind::snip, QStringLiteral("Capture %1").arg(i)));
        cards << owned.back().get();
        document.blocks.append(BoardWritingBlock::cardReference(owned.back()->id()));
    }
    document.blocks = BoardWritingDocument::normalizedBlocks(document.blocks);
    const QUuid firstReference = document.blocks.at(1).id;
    const QUuid lastReference = document.blocks.at(document.blocks.size() - 2).id;

    BoardWritingSurface page;
    page.resize(1000, 700);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QList<QObject *> placeholdersMade;
    auto countPlaceholders = [&] {
        for (auto *placeholder : page.findChildren<BoardMissingWritingReferenceView *>()) {
            if (!placeholdersMade.contains(placeholder))
                placeholdersMade << placeholder;
        }
    };
    if (cardsCome == CardsCome::beforeTheWriting)
        page.model()->setCards(cards);
    page.model()->setDocument(document);
    countPlaceholders();
    if (cardsCome == CardsCome::afterTheWritingInTheSameTurn)
        page.model()->setCards(cards);
    countPlaceholders();

    if (cardsCome == CardsCome::never) {
        QTRY_VERIFY(qobject_cast<BoardMissingWritingReferenceView *>(page.rowWidget(firstReference)));
        QCOMPARE(page.rowOrder(), ids(document));
        return;
    }
    QCOMPARE(page.rowOrder(), ids(document));
    auto *first = qobject_cast<BoardWritingReferenceView *>(page.rowWidget(firstReference));
    QVERIFY(first);
    QCOMPARE(first->card(), cards.first());
    auto withViews = [&] {
        return std::count_if(document.blocks.cbegin(), document.blocks.cend(),
                             [&](const BoardWritingBlock &block) { return page.rowWidget(block.id) != nullptr; });
    };
    const auto opened = withViews();
    QCoreApplication::processEvents();
    page.finishAnimations();
    countPlaceholders();
    QCOMPARE(placeholdersMade.size(), 0);
    QCOMPARE(page.rowWidget(firstReference), first);
    QVERIFY(first->isVisible());
    if (captures < 100)
        return;
    // The first screenful has its views at once; the rows a scroll step
    // below get theirs on the turns after, so the page opens at the cost of
    // a screenful; rows far below wait to be scrolled to.
    QTRY_VERIFY(withViews() > opened);
    QVERIFY2(!page.rowWidget(lastReference), "a card far below the first screenful got its view on opening");
    QVERIFY(withViews() < 40);
}

// The tour's last step opens the note of the newest snip on its writing:
// the snip's picture there wears the ring, as the map's card does.
void WritingSurfaceTest::theTourRingsItsSnipOnItsLastStep()
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath(QStringLiteral("settings.ini")));
    const auto store = testing::memoryStore();
    QVERIFY(store);
    ModelContext &context = *store->mainContext();
    Board *note = testing::addNote(context, QStringLiteral("Note"), testing::at(0));
    CanvasCard *older = testing::addCard(context, note, CardKind::snip, testing::at(1));
    CanvasCard *newer = testing::addCard(context, note, CardKind::snip, testing::at(2));
    for (CanvasCard *card : {older, newer})
        card->setOriginalImageData(testing::pngOf(QColor(Qt::white), QSize(320, 200)));
    QVERIFY(context.save());
    LibraryQuery library(context);
    OnboardingCoordinator onboarding(std::make_unique<OnboardingPreferencesStore>(defaults));
    GuidedTourTarget tour(&onboarding, library);

    // The newest snip comes last, a few screens down, as captures do.
    m_surface->model()->setCards({older, newer});
    BoardWritingDocument document = m_workspace.document;
    document.blocks << BoardWritingBlock::cardReference(older->id());
    for (int line = 0; line < 60; ++line)
        document.blocks << BoardWritingBlock::paragraph(QStringLiteral("Line %1").arg(line));
    document.blocks << BoardWritingBlock::cardReference(newer->id());
    m_workspace.store(document);
    m_surface->finishAnimations();
    m_surface->setGuidedTour(&tour);
    const auto reference = [this](const CanvasCard *card) -> BoardWritingReferenceView * {
        for (const QUuid &id : m_surface->rowOrder()) {
            auto *view = qobject_cast<BoardWritingReferenceView *>(m_surface->rowWidget(id));
            if (view && view->card() == card)
                return view;
        }
        return nullptr;
    };
    const auto ringed = [&] {
        QList<const CanvasCard *> cards;
        for (const CanvasCard *card : {older, newer}) {
            if (reference(card) && reference(card)->isTourHighlighted())
                cards << card;
        }
        return cards;
    };
    const auto inView = [this](const QWidget *view) {
        const QRect shown(view->mapTo(m_surface->viewport(), QPoint(0, 0)), view->size());
        return m_surface->viewport()->rect().contains(shown);
    };
    QVERIFY(reference(older) && inView(reference(older)));
    QVERIFY(!reference(newer) || !inView(reference(newer)));

    onboarding.setTourStep(GuidedTourStep::boards);
    QVERIFY(ringed().isEmpty());
    onboarding.setTourStep(GuidedTourStep::snipPreview);
    // The page goes down to it.
    QTRY_VERIFY(reference(newer) && inView(reference(newer)));
    QCOMPARE(ringed(), QList<const CanvasCard *>{newer});

    // Drawn round the picture, inside the card, in the primary colour.
    BoardWritingReferenceView *view = reference(newer);
    QTRY_VERIFY(!view->tourRingRect().isEmpty());
    QTRY_COMPARE(view->grab().toImage().pixelColor(view->tourRingRect().center().toPoint().x(),
                                                   int(view->tourRingRect().top() + 1)),
                 semanticColor(SemanticColor::primary, view->palette(), false));
    QVERIFY(view->rect().contains(view->tourRingRect().toAlignedRect()));

    onboarding.completeTour();
    QVERIFY(ringed().isEmpty());
}

QTEST_MAIN(WritingSurfaceTest)
#include "tst_writingsurface.moc"
