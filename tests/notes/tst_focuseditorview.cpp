#include "../support/MainWindowRig.h"

#include "notes/FocusEditorModel.h"
#include "notes/FocusEditorView.h"
#include "shell/RootView.h"
#include "runtime/ScreenRegistry.h"
#include "design/StudioEmptyState.h"
#include "design/StudioText.h"
#include "design/TessalinePrimaryButton.h"
#include "model/Board.h"
#include "model/ThinkingSessionService.h"
#include "runtime/UpdateService.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTest>
#include <QToolButton>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

// The main window with the card editor registered the way the app
// registers it.
ScreenRegistry editorScreens()
{
    ScreenRegistry screens;
    screens.registerSheet(SheetKind::focusEditor,
                          [](ScreenContext &window, const SheetRequest &request, QWidget *parent) -> QDialog * {
                              if (!request.cardID)
                                  return nullptr;
                              return new FocusEditorView(window.library(), window.runtime().navigation(),
                                                         *request.cardID, parent);
                          });
    return screens;
}

struct Fixture
{
    Fixture()
        : view(*rig.runtime, updates, editorScreens())
    {
        note = rig.addNote(QStringLiteral("Garden"));
        thought = rig.addCard(note, CardKind::thought);
        thought->setThoughtKindRawValue(QStringLiteral("decision"));
        thought->setTitle(QStringLiteral("Soil"));
        thought->setMarkdownText(QStringLiteral("loam"));
        snip = rig.addCard(note, CardKind::snip);
        snip->setContextText(QStringLiteral("because"));
        snip->setOriginalImageData(pngOf(Qt::darkCyan, QSize(40, 30)));
        if (!rig.context().save())
            qFatal("fixture save failed");
    }

    FocusEditorView *open(const QUuid &cardID)
    {
        view.show();
        if (!QTest::qWaitForWindowExposed(&view))
            return nullptr;
        rig.navigation().setFocusedCardID(cardID);
        QCoreApplication::processEvents();
        return qobject_cast<FocusEditorView *>(view.sheetDialog());
    }

    MainWindowRig rig;
    UpdateService updates;
    RootView view;
    Board *note = nullptr;
    CanvasCard *thought = nullptr;
    CanvasCard *snip = nullptr;
};

} // namespace

class FocusEditorViewTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void thoughtShowsTitleKindAndText()
    {
        Fixture f;
        FocusEditorView *sheet = f.open(f.thought->id());
        QVERIFY(sheet);
        QVERIFY(sheet->isShowingCard());
        QCOMPARE(sheet->kindSymbol()->property("systemImage").toString(), QStringLiteral("checkmark.seal"));
        QCOMPARE(sheet->titleField()->text(), QStringLiteral("Soil"));
        QCOMPARE(sheet->thoughtEditor()->toPlainText(), QStringLiteral("loam"));
        QCOMPARE(sheet->thoughtEditor()->accessibleName(), QStringLiteral("Thought text"));
        QVERIFY(!sheet->contextEditor());
        QCOMPARE(sheet->kindPicker()->currentText(), QStringLiteral("Decision"));

        const int nextStep = sheet->kindPicker()->findText(QStringLiteral("Next Step"));
        sheet->kindPicker()->setCurrentIndex(nextStep);
        Q_EMIT sheet->kindPicker()->activated(nextStep);
        QCOMPARE(f.thought->thoughtKindRawValue(), QStringLiteral("nextStep"));
        QCOMPARE(sheet->kindSymbol()->property("systemImage").toString(), QStringLiteral("arrow.right.circle"));
        QCOMPARE(sheet->kindSymbol()->accessibleName(), QStringLiteral("Next Step"));
    }

    // A title wider than its field opens at its start, the right end for
    // right-to-left text, not scrolled to its last words.
    void longTitleOpensAtItsStart_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("rightToLeft");
        QTest::newRow("left to right")
            << QStringLiteral("The quarterly roadmap review with every finding from the customer interviews ").repeated(3)
            << false;
        QTest::newRow("right to left") << QStringLiteral("סיכום פגישה עם הלקוח על תוכנית העבודה ").repeated(6) << true;
    }
    void longTitleOpensAtItsStart()
    {
        QFETCH(QString, title);
        QFETCH(bool, rightToLeft);
        Fixture f;
        f.thought->setTitle(title);
        QVERIFY(f.rig.context().save());
        FocusEditorView *sheet = f.open(f.thought->id());
        QVERIFY(sheet);
        QLineEdit *field = sheet->titleField();
        QCOMPARE(field->text(), title);
        QVERIFY(field->fontMetrics().horizontalAdvance(title) > 2 * field->width());
        const QRect caret = field->inputMethodQuery(Qt::ImCursorRectangle).toRect();
        if (rightToLeft)
            QVERIFY2(caret.center().x() > field->width() / 2, qPrintable(QString::number(caret.center().x())));
        else
            QVERIFY2(caret.center().x() < field->width() / 2, qPrintable(QString::number(caret.center().x())));
    }

    // Going through the sheet by keyboard, Tab leaves the text for the next
    // control and Shift+Tab comes back; no tab lands in the card's text.
    void tabGoesThroughTheSheet_data()
    {
        QTest::addColumn<bool>("snip");
        QTest::newRow("thought text") << false;
        QTest::newRow("why it matters") << true;
    }
    void tabGoesThroughTheSheet()
    {
        QFETCH(bool, snip);
        Fixture f;
        CanvasCard *card = snip ? f.snip : f.thought;
        const QString stored = snip ? card->contextText() : card->markdownText();
        FocusEditorView *sheet = f.open(card->id());
        QVERIFY(sheet);
        sheet->activateWindow();
        QPlainTextEdit *editor = snip ? sheet->contextEditor() : sheet->thoughtEditor();
        editor->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(editor->hasFocus());
        QTest::keyClick(editor, Qt::Key_Tab);
        QTRY_VERIFY(!editor->hasFocus());
        QCOMPARE(editor->toPlainText(), stored);
        QCOMPARE(snip ? card->contextText() : card->markdownText(), stored);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QTRY_VERIFY(editor->hasFocus());
    }

    void snipShowsPictureContextAndRecognizedText_data()
    {
        QTest::addColumn<QString>("ocr");
        QTest::addColumn<bool>("shown");
        QTest::newRow("recognised text") << "Hello" << true;
        QTest::newRow("spaces are shown") << "   " << true;
        QTest::newRow("none") << "" << false;
    }
    void snipShowsPictureContextAndRecognizedText()
    {
        QFETCH(QString, ocr);
        QFETCH(bool, shown);
        Fixture f;
        f.snip->setOcrText(ocr);
        QVERIFY(f.rig.context().save());
        FocusEditorView *sheet = f.open(f.snip->id());
        QVERIFY(sheet);
        QCOMPARE(sheet->kindSymbol()->property("systemImage").toString(), QStringLiteral("viewfinder"));
        QVERIFY(!sheet->kindPicker());
        QVERIFY(!sheet->thoughtEditor());
        QCOMPARE(sheet->contextEditor()->toPlainText(), QStringLiteral("because"));
        QCOMPARE(sheet->recognizedText() != nullptr, shown);
        if (shown)
            QCOMPARE(sheet->recognizedText()->text(), ocr);
        QVERIFY(!sheet->findChildren<StudioText *>().isEmpty());
        bool recognizedHeading = false;
        for (const StudioText *text : sheet->findChildren<StudioText *>())
            recognizedHeading |= text->text() == QStringLiteral("Recognized text");
        QCOMPARE(recognizedHeading, shown);
    }

    void typingThenDoneSavesAndCloses()
    {
        Fixture f;
        FocusEditorView *sheet = f.open(f.thought->id());
        QVERIFY(sheet);
        sheet->titleField()->selectAll();
        QTest::keyClick(sheet->titleField(), Qt::Key_Backspace);
        QCOMPARE(f.thought->title(), std::optional<QString>(QString()));
        QTest::keyClicks(sheet->thoughtEditor(), QStringLiteral("more "));
        QTest::keyClick(sheet->thoughtEditor(), Qt::Key_Return); // a new line, not Done
        QVERIFY(f.rig.navigation().focusedCardID());
        QVERIFY(f.thought->markdownText().contains(QLatin1Char('\n')));
        QVERIFY(f.rig.context().hasChanges());
        QTest::keyClick(sheet->titleField(), Qt::Key_Return); // Done
        QVERIFY(!f.rig.context().hasChanges());
        QCOMPARE(f.rig.navigation().focusedCardID(), std::nullopt);
        QTRY_VERIFY(!f.view.sheetDialog());
    }

    void closeKeepsEditsWithoutSaving()
    {
        Fixture f;
        FocusEditorView *sheet = f.open(f.thought->id());
        QVERIFY(sheet);
        sheet->titleField()->end(false); // as a click after its last letter puts the caret
        QTest::keyClicks(sheet->titleField(), QStringLiteral("!"));
        sheet->closeButton()->click();
        QCOMPARE(f.thought->title(), std::optional<QString>("Soil!"));
        QVERIFY(f.rig.context().hasChanges());
        QCOMPARE(f.rig.navigation().focusedCardID(), std::nullopt);
        QTRY_VERIFY(!f.view.sheetDialog());
    }

    void failedSaveShowsTheAlert()
    {
        Fixture f;
        FocusEditorView *sheet = f.open(f.thought->id());
        QVERIFY(sheet);
        f.rig.context().failNextSave(StoreError{QStringLiteral("disk full")});
        sheet->doneButton()->click();
        QMessageBox *alert = sheet->alert();
        QVERIFY(alert);
        QCOMPARE(alert->windowTitle(), QStringLiteral("Couldn’t save"));
        QCOMPARE(alert->informativeText(), QStringLiteral("disk full"));
        alert->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(!sheet->alert());
        QCOMPARE(f.view.sheetDialog(), sheet);
        QVERIFY(f.rig.navigation().focusedCardID());
    }

    void missingCardShowsUnavailable_data()
    {
        QTest::addColumn<bool>("trashedWhileOpen");
        QTest::newRow("no such card") << false;
        QTest::newRow("moved to the trash while open") << true;
    }
    void missingCardShowsUnavailable()
    {
        QFETCH(bool, trashedWhileOpen);
        Fixture f;
        FocusEditorView *sheet = f.open(trashedWhileOpen ? f.thought->id() : QUuid::createUuid());
        QVERIFY(sheet);
        if (trashedWhileOpen) {
            QVERIFY(sheet->isShowingCard());
            QVERIFY(ThinkingSessionService(f.rig.context()).moveCardToTrash(f.thought, at(60)));
        }
        QVERIFY(!sheet->isShowingCard());
        QCOMPARE(sheet->unavailableState()->title(), QStringLiteral("Thought unavailable"));
        QCOMPARE(sheet->unavailableState()->message(), QStringLiteral("It may have been deleted."));
        QCOMPARE(sheet->unavailableState()->systemImage(), QStringLiteral("doc.badge.ellipsis"));
    }

    // A no-break space and a line separator stay in the card's text while it
    // is shown, while another field changes and while the text is typed
    // into elsewhere; the caret stays where the user left it.
    void textIsKeptAsWritten_data()
    {
        QTest::addColumn<bool>("snip");
        QTest::newRow("thought text") << false;
        QTest::newRow("why it matters") << true;
    }
    void textIsKeptAsWritten()
    {
        QFETCH(bool, snip);
        Fixture f;
        CanvasCard *card = snip ? f.snip : f.thought;
        const QString written = QStringLiteral("10\u00A0km\u2028on foot");
        const auto stored = [&] { return snip ? card->contextText() : card->markdownText(); };
        if (snip)
            card->setContextText(written);
        else
            card->setMarkdownText(written);
        QVERIFY(f.rig.context().save());
        FocusEditorView *sheet = f.open(card->id());
        QVERIFY(sheet);
        QPlainTextEdit *editor = snip ? sheet->contextEditor() : sheet->thoughtEditor();
        QTextCursor caret = editor->textCursor();
        caret.setPosition(4);
        editor->setTextCursor(caret);

        sheet->titleField()->end(false); // as a click after its last letter puts the caret
        QTest::keyClicks(sheet->titleField(), QStringLiteral("!"));
        QVERIFY(card->title().value_or(QString()).endsWith(u'!'));
        QCOMPARE(stored(), written);
        QCOMPARE(editor->textCursor().position(), 4);

        editor->moveCursor(QTextCursor::End);
        QTest::keyClicks(editor, QStringLiteral(" today"));
        QTest::keyClick(editor, Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(editor, QStringLiteral("back"));
        QCOMPARE(stored(), written + QStringLiteral(" today\nback"));
    }
};

QTEST_MAIN(FocusEditorViewTest)
#include "tst_focuseditorview.moc"
