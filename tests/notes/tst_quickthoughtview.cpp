#include "../support/DesktopAppearance.h"
#include "../support/MainWindowRig.h"

#include "runtime/LibraryQuery.h"
#include "notes/QuickThoughtModel.h"
#include "notes/QuickThoughtView.h"
#include "shell/RootView.h"
#include "runtime/ScreenRegistry.h"
#include "runtime/SidebarDestination.h"
#include "design/StudioCompactButton.h"
#include "design/StudioDivider.h"
#include "design/TessalinePrimaryButton.h"
#include "model/Board.h"
#include "runtime/UpdateService.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

// The main window with the quick note sheet registered the way the app
// registers it.
ScreenRegistry quickNoteScreens()
{
    ScreenRegistry screens;
    screens.registerSheet(SheetKind::quickThought,
                          [](ScreenContext &window, const SheetRequest &request, QWidget *parent) -> QDialog * {
                              return new QuickThoughtView(window.library(), window.runtime().navigation(),
                                                          request.preselectedBoardID, parent);
                          });
    return screens;
}

struct Fixture
{
    Fixture()
        : view(*rig.runtime, updates, quickNoteScreens())
    {
        inbox = rig.addNote(QStringLiteral("Quick Captures"), 0, true);
        plans = rig.addNote(QStringLiteral("Plans"), 1);
        plans->setLastOpenedAt(at(10));
        ideas = rig.addNote(QStringLiteral("Ideas"), 2);
        ideas->setLastOpenedAt(at(20));
        if (!rig.context().save())
            qFatal("fixture save failed");
    }

    QuickThoughtView *open()
    {
        view.show();
        if (!QTest::qWaitForWindowExposed(&view))
            return nullptr;
        rig.runtime->requestQuickThought();
        QCoreApplication::processEvents();
        return qobject_cast<QuickThoughtView *>(view.sheetDialog());
    }

    MainWindowRig rig;
    UpdateService updates;
    RootView view;
    Board *inbox = nullptr;
    Board *plans = nullptr;
    Board *ideas = nullptr;
};

QStringList entries(const QComboBox *picker)
{
    QStringList list;
    for (int i = 0; i < picker->count(); ++i)
        list << picker->itemText(i);
    return list;
}

} // namespace

class QuickThoughtViewTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void opensOnTheActiveNoteWithTheEditorFocused()
    {
        Fixture f;
        f.rig.navigation().setActiveBoardID(f.plans->id());
        QuickThoughtView *sheet = f.open();
        QVERIFY(sheet);
        QCOMPARE(entries(sheet->notePicker()), (QStringList{"Quick Captures", "Ideas", "Plans"}));
        QCOMPARE(sheet->notePicker()->currentText(), QStringLiteral("Plans"));
        QCOMPARE(sheet->editor()->placeholderText(), QStringLiteral("Add a paragraph before it disappears…"));
        QTRY_VERIFY(sheet->editor()->hasFocus());
        QVERIFY(!sheet->addButton()->isEnabled());
        QCOMPARE(sheet->size(), QSize(560, 350));
        // The foot's divider is the design system's faint hairline, never a
        // line in the text colour.
        const QList<StudioDivider *> dividers = sheet->findChildren<StudioDivider *>();
        QCOMPARE(dividers.size(), 1);
        const QImage shot = sheet->grab().toImage();
        const QPoint middle = dividers.first()->mapTo(sheet, dividers.first()->rect().center());
        const QColor text = sheet->palette().color(QPalette::WindowText);
        const QColor line = shot.pixelColor(middle * shot.devicePixelRatio());
        QVERIFY2(std::abs(line.lightness() - text.lightness()) > 150, qPrintable(line.name()));

        // The chosen note goes to Recently Deleted: the picker drops it and
        // shows where the paragraph will now go.
        f.plans->moveToTrash(at(50));
        QVERIFY(f.rig.context().save());
        QCOMPARE(entries(sheet->notePicker()), (QStringList{"Quick Captures", "Ideas"}));
        QCOMPARE(sheet->notePicker()->currentText(), QStringLiteral("Quick Captures"));
    }

    // The editor's fill was the light appearance's white for good: after
    // the desktop turned dark, light text on white.
    void editorFollowsTheDesktopsAppearance()
    {
        Fixture f;
        QuickThoughtView *sheet = f.open();
        QVERIFY(sheet);
        QPlainTextEdit *editor = sheet->editor();
        const auto fill = [editor] {
            const QImage shot = editor->grab().toImage();
            return shot.pixelColor(QPoint(editor->width() / 2, editor->height() - 4) * shot.devicePixelRatio());
        };
        QVERIFY2(fill().lightnessF() > 0.7, qPrintable(fill().name()));
        const QPalette light = QApplication::palette();
        const auto restore = qScopeGuard([light] { QApplication::setPalette(light); });
        QApplication::setPalette(testing::darkAppearance(light));
        QTRY_VERIFY2(fill().lightnessF() < 0.3, qPrintable(fill().name()));
    }

    void returnAddsTheParagraphAndShowsTheNote()
    {
        Fixture f;
        f.rig.navigation().setActiveBoardID(f.inbox->id());
        QuickThoughtView *sheet = f.open();
        QVERIFY(sheet);
        QCOMPARE(sheet->notePicker()->currentText(), QStringLiteral("Quick Captures"));
        sheet->notePicker()->setCurrentIndex(1);
        Q_EMIT sheet->notePicker()->activated(1);
        QCOMPARE(sheet->model().boardID(), std::optional(f.ideas->id()));

        QTest::keyClicks(sheet->editor(), QStringLiteral("first line"));
        QTest::keyClick(sheet->editor(), Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(sheet->editor(), QStringLiteral("second"));
        QVERIFY(sheet->addButton()->isEnabled());
        QTest::keyClick(sheet->editor(), Qt::Key_Return);

        QCOMPARE(f.ideas->writingDocument().blocks.last().text, QStringLiteral("first line\nsecond"));
        QVERIFY(!f.rig.navigation().isQuickThoughtPresented());
        QCOMPARE(f.rig.navigation().activeBoardID(), std::optional(f.ideas->id()));
        QCOMPARE(f.rig.navigation().destination(), std::optional(SidebarDestination::notes()));
        QTRY_VERIFY(!f.view.sheetDialog());
    }

    void blankTextKeepsAddDisabledAndReturnInert()
    {
        Fixture f;
        QuickThoughtView *sheet = f.open();
        QVERIFY(sheet);
        QTest::keyClicks(sheet->editor(), QStringLiteral("   "));
        QTest::keyClick(sheet->editor(), Qt::Key_Return, Qt::ShiftModifier);
        QVERIFY(!sheet->addButton()->isEnabled());
        QTest::keyClick(sheet->editor(), Qt::Key_Return);
        QCOMPARE(f.view.sheetDialog(), sheet);
        QVERIFY(f.inbox->writingDocument().blocks.isEmpty());
        QCOMPARE(sheet->editor()->toPlainText(), QStringLiteral("   \n"));
    }

    void escapeClosesWithoutStoring()
    {
        Fixture f;
        QuickThoughtView *sheet = f.open();
        QVERIFY(sheet);
        QTest::keyClicks(sheet->editor(), QStringLiteral("dropped"));
        QTest::keyClick(sheet->editor(), Qt::Key_Escape);
        QVERIFY(!f.rig.navigation().isQuickThoughtPresented());
        QTRY_VERIFY(!f.view.sheetDialog());
        QVERIFY(f.inbox->writingDocument().blocks.isEmpty());

        // The next presentation starts empty.
        QuickThoughtView *again = f.open();
        QVERIFY(again);
        QVERIFY(again->editor()->toPlainText().isEmpty());
    }

    void failedSaveShowsTheAlertAndKeepsTheSheet()
    {
        Fixture f;
        QuickThoughtView *sheet = f.open();
        QVERIFY(sheet);
        QTest::keyClicks(sheet->editor(), QStringLiteral("kept"));
        f.rig.context().failNextSave(StoreError{QStringLiteral("disk full")});
        sheet->addButton()->click();

        QMessageBox *alert = sheet->alert();
        QVERIFY(alert);
        QCOMPARE(alert->windowTitle(), QStringLiteral("Couldn’t save note"));
        QCOMPARE(alert->informativeText(), QStringLiteral("disk full"));
        QVERIFY(f.rig.navigation().isQuickThoughtPresented());
        alert->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(!sheet->alert());
        QCOMPARE(sheet->model().errorMessage(), std::nullopt);
        QCOMPARE(f.view.sheetDialog(), sheet);
        QCOMPARE(sheet->editor()->toPlainText(), QStringLiteral("kept"));
    }

    // A pasted no-break space and line separator go into the note as they
    // were, however the text is typed on around them.
    void textGoesInAsWritten()
    {
        Fixture f;
        f.rig.navigation().setActiveBoardID(f.inbox->id());
        QuickThoughtView *sheet = f.open();
        QVERIFY(sheet);
        sheet->editor()->insertPlainText(QStringLiteral("10\u00A0km\u2028on foot"));
        QTest::keyClicks(sheet->editor(), QStringLiteral(" today"));
        QTest::keyClick(sheet->editor(), Qt::Key_Return);
        QVERIFY(!f.inbox->writingDocument().blocks.isEmpty());
        QCOMPARE(f.inbox->writingDocument().blocks.last().text, QStringLiteral("10\u00A0km\u2028on foot today"));
        QTRY_VERIFY(!f.view.sheetDialog());
    }

    // The quick note is no way around the bound on a note's writing: a paste
    // that would take the chosen note past it is refused in the words a
    // paste straight into the note gets, and so is adding a paragraph that
    // got there some other way. The note stays as it was.
    void textPastTheNotesRoomIsRefused_data()
    {
        QTest::addColumn<bool>("intoIdeas"); // else Quick Captures
        QTest::addColumn<qsizetype>("written"); // in Ideas already
        QTest::addColumn<qsizetype>("pasted");
        QTest::addColumn<bool>("accepted");
        constexpr qsizetype limit = BoardWritingDocument::maximumCharacters;
        QTest::newRow("ten megabytes into Quick Captures") << false << qsizetype(0) << qsizetype(10'000'000) << false;
        QTest::newRow("one past the limit") << false << qsizetype(0) << limit + 1 << false;
        QTest::newRow("more than the room left") << true << qsizetype(150'000) << qsizetype(60'000) << false;
        QTest::newRow("within the room left") << true << qsizetype(150'000) << qsizetype(50'000) << true;
    }

    void textPastTheNotesRoomIsRefused()
    {
        QFETCH(bool, intoIdeas);
        QFETCH(qsizetype, written);
        QFETCH(qsizetype, pasted);
        QFETCH(bool, accepted);
        Fixture f;
        QVERIFY(f.ideas->updateWritingDocument(
            BoardWritingDocument{{BoardWritingBlock::paragraph(QString(written, u'w'))}}, at(30)));
        QVERIFY(f.rig.context().save());
        f.rig.navigation().setActiveBoardID(intoIdeas ? f.ideas->id() : f.inbox->id());
        QuickThoughtView *sheet = f.open();
        QVERIFY(sheet);
        Board *target = intoIdeas ? f.ideas : f.inbox;
        const QByteArray before = target->writingDocumentUtf8();

        const QString text(pasted, u'p');
        QGuiApplication::clipboard()->setText(text);
        sheet->editor()->paste();
        if (accepted) {
            QCOMPARE(sheet->editor()->toPlainText().size(), pasted);
            sheet->addButton()->click();
            QCOMPARE(target->writingDocument().characterCount(), written + pasted);
            return;
        }
        const QString refusal = BoardWritingDocument::refusal(written, pasted);
        QVERIFY(sheet->alert());
        QCOMPARE(sheet->alert()->informativeText(), refusal);
        QVERIFY(sheet->editor()->toPlainText().isEmpty());
        sheet->alert()->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(!sheet->alert());

        // Typed, or pasted in parts, the paragraph is refused all the same.
        sheet->model().setNoteText(text);
        sheet->addButton()->click();
        QVERIFY(sheet->alert());
        QCOMPARE(sheet->alert()->informativeText(), refusal);
        QCOMPARE(target->writingDocumentUtf8(), before);
        QCOMPARE(f.view.sheetDialog(), sheet);
    }

    // However long the notes' titles, the picker gives way and both buttons
    // show their whole titles; a title that fits the room beside them shows
    // whole in the picker.
    void buttonsKeepTheirTitles_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("shownWhole");
        QTest::newRow("short note title") << QStringLiteral("Ideas") << true;
        QTest::newRow("the welcome note's title") << QStringLiteral("Welcome to Tessaline") << true;
        QTest::newRow("long note title") << QStringLiteral("Quarterly planning review with the whole product team")
                                         << false;
    }
    void buttonsKeepTheirTitles()
    {
        QFETCH(QString, title);
        QFETCH(bool, shownWhole);
        Fixture f;
        Board *note = f.rig.addNote(title, 3);
        note->setLastOpenedAt(at(30));
        QVERIFY(f.rig.context().save());
        f.rig.navigation().setActiveBoardID(note->id());
        QuickThoughtView *sheet = f.open();
        QVERIFY(sheet);
        QTRY_COMPARE(sheet->notePicker()->currentText(), title);
        for (QWidget *button : {static_cast<QWidget *>(sheet->cancelButton()), static_cast<QWidget *>(sheet->addButton())})
            QVERIFY2(button->width() >= button->sizeHint().width(),
                     qPrintable(QStringLiteral("%1 wide of %2").arg(button->width()).arg(button->sizeHint().width())));
        QVERIFY(sheet->notePicker()->x() + sheet->notePicker()->width() <= sheet->cancelButton()->x());
        if (shownWhole) {
            QComboBox fitted;
            fitted.setFont(sheet->notePicker()->font());
            fitted.setSizeAdjustPolicy(QComboBox::AdjustToContents);
            fitted.addItem(title);
            QVERIFY2(sheet->notePicker()->width() >= fitted.sizeHint().width(),
                     qPrintable(QStringLiteral("picker %1 wide for a title needing %2")
                                    .arg(sheet->notePicker()->width()).arg(fitted.sizeHint().width())));
        }
    }
};

QTEST_MAIN(QuickThoughtViewTest)
#include "tst_quickthoughtview.moc"
