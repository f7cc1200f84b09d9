#include "../support/MainWindowRig.h"

#include "design/DesignTokens.h"
#include "design/SemanticColors.h"
#include "design/StudioActionButton.h"
#include "design/StudioEmptyState.h"
#include "design/StudioText.h"
#include "design/TessalinePrimaryButton.h"
#include "model/Board.h"
#include "model/BoardWritingDocument.h"
#include "model/CanvasCard.h"
#include "model/ModelChangeScope.h"
#include "notes/BoardCanvasModel.h"
#include "notes/BoardCanvasView.h"
#include "notes/BoardWritingSurface.h"
#include "notes/InsertSnipListModel.h"
#include "notes/InsertSnipPicker.h"
#include "notes/NewFolderSheet.h"
#include "notes/NoteListRowDelegate.h"
#include "notes/NoteListItemModel.h"
#include "notes/NotesScreens.h"
#include "notes/NotesWorkspaceModel.h"
#include "notes/NotesWorkspaceView.h"
#include "notes/QuickThoughtView.h"
#include "notes/WritingParagraphEditor.h"
#include "platform/AccessibilitySettings.h"
#include "platform/Pasteboard.h"
#include "runtime/LibraryQuery.h"
#include "runtime/ScreenRegistry.h"
#include "runtime/UpdateService.h"
#include "shell/RootView.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QListView>
#include <QScreen>
#include <QScrollBar>
#include <QMenu>
#include <QSignalSpy>
#include <QSplitter>
#include <QPainter>
#include <QStandardItemModel>
#include <QTest>
#include <QToolButton>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

class TextPasteboard : public Pasteboard
{
public:
    void clearContents() override { text.clear(); }
    void declareTypes(const QStringList &) override {}
    bool setData(const QByteArray &data, const QString &type) override
    {
        if (failWrites)
            return false;
        if (type == QLatin1String("text/plain"))
            text = QString::fromUtf8(data);
        return true;
    }
    QString text;
    bool failWrites = false;
};

QAction *menuAction(const QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions()) {
        if (action->text() == text)
            return action;
        if (QMenu *submenu = action->menu()) {
            if (QAction *found = menuAction(submenu, text))
                return found;
        }
    }
    return nullptr;
}

// The picker as the user meets it: "-" for a divider, headings as "#Title"
// (shown bold, not choosable), snips by their titles (choosable), anything
// else with "?".
QStringList pickerItems(const InsertSnipPicker *picker)
{
    QStringList items;
    const InsertSnipListModel &rows = picker->rows();
    for (int row = 0; row < rows.rowCount(); ++row) {
        const QModelIndex index = rows.index(row);
        const QString text = index.data().toString();
        const bool choosable = rows.flags(index).testFlag(Qt::ItemIsSelectable);
        if (rows.rowKind(row) == InsertSnipListModel::RowKind::heading && !choosable) {
            if (index.data(InsertSnipListModel::FollowsSectionRole).toBool())
                items.append(QStringLiteral("-"));
            items.append(QLatin1Char('#') + text);
        } else if (rows.rowKind(row) == InsertSnipListModel::RowKind::snip && choosable) {
            items.append(text);
        } else {
            items.append(QLatin1Char('?') + text);
        }
    }
    return items;
}

// Opens the picker as a click on its button does; false when it did not
// come up over a field that has the keyboard.
bool openPicker(BoardCanvasView *workspace)
{
    InsertSnipPicker *picker = workspace->insertSnipPicker();
    picker->hide();
    QTest::mouseClick(workspace->insertSnipButton(), Qt::LeftButton);
    return QTest::qWaitFor([picker] { return picker->isVisible() && picker->filterField()->hasFocus(); });
}

const QDateTime longAgo = QDateTime::fromSecsSinceEpoch(1'500'000'000, Qt::UTC);

// Two saved notes (the newer one open first) and a notes screen over them
// in a window of its own.
struct Fixture
{
    explicit Fixture(const NoteListFilter &filter = NoteListFilter::all())
    {
        // Changed long ago, so anything done now comes first.
        older = rig.addNote(QStringLiteral("Older"));
        older->setUpdatedAt(longAgo);
        older->setLastOpenedAt(longAgo);
        newer = rig.addNote(QStringLiteral("Newer"));
        newer->setUpdatedAt(longAgo.addSecs(10));
        if (!rig.context().save())
            qFatal("fixture save failed");
        library = std::make_unique<LibraryQuery>(rig.context());
        BoardCanvasServices services;
        services.pasteboard = &pasteboard;
        view = std::make_unique<NotesWorkspaceView>(*library, rig.navigation(), filter, nullptr, services);
        view->resize(1100, 700);
    }

    bool show()
    {
        view->show();
        view->activateWindow();
        return QTest::qWaitForWindowActive(view.get());
    }

    WritingParagraphEditor *firstParagraph() const
    {
        BoardWritingSurface *surface = view->workspace()->writingSurface();
        const QUuid first = view->workspace()->model().writingDocument().blocks.constFirst().id;
        surface->focusParagraph(first);
        return surface->paragraphEditor(first);
    }

    MainWindowRig rig;
    TextPasteboard pasteboard;
    std::unique_ptr<LibraryQuery> library;
    std::unique_ptr<NotesWorkspaceView> view;
    Board *older = nullptr;
    Board *newer = nullptr;
};

} // namespace

// The main window over a rig's library with the notes screens, shown at
// the size the tests lay out for.
struct NotesWindow
{
    explicit NotesWindow(MainWindowRig &rig)
        : window(*rig.runtime, updates, withNotes(screens))
    {
        window.resize(1180, 780);
        window.show();
    }
    static ScreenRegistry &withNotes(ScreenRegistry &registry)
    {
        notes::registerScreens(registry);
        return registry;
    }

    UpdateService updates;
    ScreenRegistry screens;
    RootView window;
};

class NotesWorkspaceViewTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void mainWindowShowsTheNotesScreen();
    void quickNoteToTheOpenNoteTakesTypingOn();
    void choosingAnotherNoteWritesWhatWasTyped();
    void headerEditsTheNote();
    void newFolderSheetIgnoresABlankReturn();
    void menusEscapeUserText();
    void insertSnipMenuFollowsTheLibrary();
    void insertSnipPickerKeyboard_data();
    void insertSnipPickerKeyboard();
    void emptyStates_data();
    void emptyStates();
    void keptWritingIsOffered();
    void listColumnSlides_data();
    void listColumnSlides();
    void rowsAreAsTallAsTheirExcerpts();
    void aLongListFitsItsColumn();
    void excerptLinesAsShaped_data();
    void excerptLinesAsShaped();
    void excerptStandsAgainstItsOwnEdge_data();
    void excerptStandsAgainstItsOwnEdge();
    void highlightFollowsTheOpenNote();
    void keyboardFocusShowsOnTheCurrentRow();
    void arrowKeysReachEveryNote();
    void cleanup() { AccessibilitySettings::shared().setReducesMotion(false); }
};

void NotesWorkspaceViewTest::mainWindowShowsTheNotesScreen()
{
    MainWindowRig rig;
    Board *note = rig.addNote(QStringLiteral("Plan"));
    note->setUpdatedAt(at(5));
    QVERIFY(rig.context().save());
    NotesWindow shown(rig);
    RootView &window = shown.window;
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *notesScreen = qobject_cast<NotesWorkspaceView *>(window.detailWidget());
    QVERIFY(notesScreen);
    QTRY_VERIFY(notesScreen->workspace());
    QCOMPARE(notesScreen->workspace()->titleField()->text(), QStringLiteral("Plan"));
    // The list column follows the window's own flag, through its toggle.
    QVERIFY(notesScreen->listColumn()->isVisible());
    notesScreen->hideNoteListButton()->click();
    QVERIFY(!window.controller().isNoteListVisible());
    QTRY_VERIFY(!notesScreen->listColumn()->isVisible());
    QCOMPARE(notesScreen->workspace()->noteListToggle()->toolTip(), QStringLiteral("Show Note List"));
    notesScreen->workspace()->noteListToggle()->click();
    QTRY_VERIFY(notesScreen->listColumn()->isVisible());

    // Closing the window writes what is typed but not saved yet.
    notesScreen->workspace()->titleField()->setFocus();
    notesScreen->workspace()->titleField()->end(false); // as a click after its last letter puts the caret
    QTest::keyClicks(notesScreen->workspace()->titleField(), QStringLiteral(" ahead"));
    QCOMPARE(note->title(), QStringLiteral("Plan ahead"));
    QVERIFY(rig.context().hasChanges());
    window.close();
    QVERIFY(!rig.context().hasChanges());

    // The new note sheet is the window's; nothing but its flag opens it.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(!window.sheetDialog());
    window.controller().setShowingNewBoard(true);
    QTRY_VERIFY(window.sheetDialog());
    window.sheetDialog()->reject();
    QTRY_VERIFY(!window.controller().isShowingNewBoard());
}

// A quick note added to the note that is open leaves the user in the
// paragraph that holds it, as a quick note to another note does when that
// note opens: typing on after the sheet closes goes on with it.
void NotesWorkspaceViewTest::quickNoteToTheOpenNoteTakesTypingOn()
{
    MainWindowRig rig;
    Board *note = rig.addNote(QStringLiteral("Plan"));
    QVERIFY(rig.context().save());
    NotesWindow shown(rig);
    RootView &window = shown.window;
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto *notesScreen = qobject_cast<NotesWorkspaceView *>(window.detailWidget());
    QVERIFY(notesScreen);
    QTRY_VERIFY(notesScreen->workspace());
    QLineEdit *title = notesScreen->workspace()->titleField();
    title->setFocus();
    QTRY_VERIFY(title->hasFocus());

    rig.runtime->requestQuickThought();
    QTRY_VERIFY(qobject_cast<QuickThoughtView *>(window.sheetDialog()));
    auto *sheet = qobject_cast<QuickThoughtView *>(window.sheetDialog());
    QCOMPARE(sheet->notePicker()->currentText(), QStringLiteral("Plan"));
    QTRY_VERIFY(sheet->editor()->hasFocus());
    QTest::keyClicks(sheet->editor(), QStringLiteral("Added"));
    QTest::keyClick(sheet->editor(), Qt::Key_Return);
    QTRY_VERIFY(!window.sheetDialog());
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    const std::optional<QUuid> anchor = rig.navigation().activeWritingAnchorID();
    QVERIFY(anchor);
    QTRY_VERIFY(qobject_cast<WritingParagraphEditor *>(QApplication::focusWidget()));
    QCOMPARE(qobject_cast<WritingParagraphEditor *>(QApplication::focusWidget())->blockID(), *anchor);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral(" and more"));
    QCOMPARE(title->text(), QStringLiteral("Plan"));
    const QList<BoardWritingBlock> blocks = note->writingDocument().blocks;
    QVERIFY(std::any_of(blocks.cbegin(), blocks.cend(), [&anchor](const BoardWritingBlock &block) {
        return block.id == *anchor && block.text == QStringLiteral("Added and more");
    }));
}

void NotesWorkspaceViewTest::choosingAnotherNoteWritesWhatWasTyped()
{
    Fixture f;
    QVERIFY(f.show());
    QTRY_VERIFY(f.view->workspace());
    QCOMPARE(f.view->workspace()->model().boardID(), f.newer->id());
    WritingParagraphEditor *editor = f.firstParagraph();
    QVERIFY(editor);
    QTest::keyClicks(editor, QStringLiteral("Typed"));
    QCOMPARE(f.newer->writingDocument().blocks.first().text, QStringLiteral("Typed"));
    QVERIFY(f.view->workspace()->model().isAutosavePending());
    QVERIFY(f.rig.context().hasChanges());

    const QModelIndex olderRow = f.view->listModel().index(f.view->listModel().rowOf(f.older->id()));
    f.view->listView()->selectionModel()->setCurrentIndex(olderRow, QItemSelectionModel::ClearAndSelect);
    QCOMPARE(f.rig.navigation().activeBoardID(), std::optional(f.older->id()));
    QCOMPARE(f.view->workspace()->model().boardID(), f.older->id());
    // The note left behind was written at once; the one chosen is marked opened.
    QVERIFY(!f.rig.context().hasChanges());
    QVERIFY(f.older->lastOpenedAt() > longAgo);
    QTRY_COMPARE(f.view->listModel().row(0).id, f.older->id());
}

void NotesWorkspaceViewTest::headerEditsTheNote()
{
    Fixture f;
    QVERIFY(f.show());
    QTRY_VERIFY(f.view->workspace());
    BoardCanvasView *workspace = f.view->workspace();
    // Typing renames the note at once; Return saves it.
    workspace->titleField()->selectAll();
    QTest::keyClicks(workspace->titleField(), QStringLiteral("Renamed"));
    QCOMPARE(f.newer->title(), QStringLiteral("Renamed"));
    QVERIFY(f.rig.context().hasChanges());
    QTest::keyClick(workspace->titleField(), Qt::Key_Return);
    QVERIFY(!f.rig.context().hasChanges());
    QTRY_COMPARE(f.view->listModel().row(0).title, QStringLiteral("Renamed"));

    QCOMPARE(workspace->favoriteButton()->toolTip(), QStringLiteral("Add to Favorites"));
    workspace->favoriteButton()->click();
    QVERIFY(f.newer->isFavorite());
    QVERIFY(!f.rig.context().hasChanges());
    QCOMPARE(workspace->favoriteButton()->toolTip(), QStringLiteral("Remove from Favorites"));

    // Without any snip the picker is off and says why.
    QVERIFY(!workspace->insertSnipButton()->isEnabled());
    QCOMPARE(workspace->insertSnipButton()->text(), QStringLiteral("No Snips"));
    QCOMPARE(workspace->insertSnipButton()->toolTip(), QStringLiteral("Capture a Snip before inserting one"));
    QCOMPARE(workspace->insertSnipButton()->accessibleName(), QStringLiteral("No Snips available"));
    f.rig.addCard(f.older, CardKind::snip)->setTitle(QStringLiteral("Chart"));
    f.rig.addCard(f.older, CardKind::thought)->setTitle(QStringLiteral("Idea"));
    QVERIFY(f.rig.context().save());
    QVERIFY(workspace->insertSnipButton()->isEnabled());
    QCOMPARE(workspace->insertSnipButton()->accessibleName(), QStringLiteral("Insert Snip"));
    // Over more cards than it orders at a turn, the picker comes up some
    // turns later; closed before it came up, it stays closed.
    workspace->insertSnipPicker()->setCardsPerTurn(1);
    workspace->openInsertSnipPicker();
    QVERIFY(!workspace->insertSnipPicker()->isVisible());
    workspace->insertSnipPicker()->hide();
    for (qsizetype turn = 0; turn <= f.library->cards().size() + 2; ++turn)
        QCoreApplication::processEvents();
    QVERIFY(!workspace->insertSnipPicker()->isVisible());
    QVERIFY(openPicker(workspace));
    QCOMPARE(pickerItems(workspace->insertSnipPicker()), (QStringList{QStringLiteral("#All Snips"), QStringLiteral("Chart")}));
    // Its button clicked again closes it, as a menu's does. The open picker
    // holds the pointer, so the click reaches its window, as the desktop's
    // does.
    InsertSnipPicker *picker = workspace->insertSnipPicker();
    const QPoint onButton = workspace->insertSnipButton()->mapToGlobal(workspace->insertSnipButton()->rect().center());
    QTest::mouseClick(picker->windowHandle(), Qt::LeftButton, {}, picker->mapFromGlobal(onButton));
    QCoreApplication::processEvents();
    QVERIFY(!workspace->insertSnipPicker()->isVisible());
    QVERIFY(openPicker(workspace));
    QTest::keyClick(workspace->insertSnipPicker()->filterField(), Qt::Key_Down);
    QTest::keyClick(workspace->insertSnipPicker()->filterField(), Qt::Key_Return);
    QVERIFY(!workspace->insertSnipPicker()->isVisible());
    QCOMPARE(workspace->model().writingDocument().referencedCardIDs().size(), 1);

    // "Arrange on Canvas…" switches to the map, "Back to Note" returns.
    workspace->rebuildMoreMenu();
    QVERIFY(!menuAction(workspace->moreMenu(), QStringLiteral("Help Me Think"))->isEnabled());
    menuAction(workspace->moreMenu(), QStringLiteral("Arrange on Canvas…"))->trigger();
    QVERIFY(workspace->model().isShowingCanvas());
    QVERIFY(workspace->backToNoteButton()->isVisible());
    QCOMPARE(workspace->snipsButton()->text(), QStringLiteral("Show Snips"));
    workspace->backToNoteButton()->click();
    QVERIFY(!workspace->model().isShowingCanvas());
    QVERIFY(workspace->titleField()->isVisible());
}

void NotesWorkspaceViewTest::newFolderSheetIgnoresABlankReturn()
{
    Fixture f;
    QVERIFY(f.show());
    std::unique_ptr<QMenu> menu(f.view->createRowMenu(f.older->id(), f.view.get()));
    menuAction(menu.get(), QStringLiteral("New Folder…"))->trigger();
    QTRY_VERIFY(f.view->folderSheet() && f.view->folderSheet()->isVisible());
    NewFolderSheet *sheet = f.view->folderSheet();
    QTest::keyClicks(sheet->nameField(), QStringLiteral("   "));
    QVERIFY(!sheet->createButton()->isEnabled());
    QTest::keyClick(sheet->nameField(), Qt::Key_Return);
    QVERIFY(sheet->isVisible());
    QCOMPARE(f.older->folderName(), std::nullopt);

    QTest::keyClicks(sheet->nameField(), QStringLiteral("Work"));
    QTest::keyClick(sheet->nameField(), Qt::Key_Return);
    QTRY_VERIFY(!f.view->folderSheet());
    QCOMPARE(f.older->folderName(), std::optional(QStringLiteral("Work")));
    QVERIFY(!f.rig.context().hasChanges());
}

void NotesWorkspaceViewTest::menusEscapeUserText()
{
    Fixture f;
    f.older->setFolderNameValue(QStringLiteral("R&D"));
    CanvasCard *snip = f.rig.addCard(f.newer, CardKind::snip);
    snip->setTitle(QStringLiteral("Tom & Jerry"));
    QVERIFY(f.rig.context().save());
    QVERIFY(f.show());
    QTRY_VERIFY(f.view->workspace());
    std::unique_ptr<QMenu> menu(f.view->createRowMenu(f.newer->id(), f.view.get()));
    QVERIFY(menuAction(menu.get(), QStringLiteral("R&&D")));
    // The picker is a list, where an ampersand is only an ampersand.
    QVERIFY(openPicker(f.view->workspace()));
    QCOMPARE(pickerItems(f.view->workspace()->insertSnipPicker()).constLast(), QStringLiteral("Tom & Jerry"));
}

void NotesWorkspaceViewTest::insertSnipMenuFollowsTheLibrary()
{
    Fixture f;
    QVERIFY(f.show());
    QTRY_VERIFY(f.view->workspace());
    BoardCanvasView *workspace = f.view->workspace();
    QCOMPARE(workspace->model().boardID(), f.newer->id());
    CanvasCard *chart = f.rig.addCard(f.older, CardKind::snip, 10);
    chart->setTitle(QStringLiteral("Chart"));
    QVERIFY(f.rig.context().save());
    QVERIFY(openPicker(workspace));
    QCOMPARE(pickerItems(workspace->insertSnipPicker()), (QStringList{QStringLiteral("#All Snips"), QStringLiteral("Chart")}));

    // A snip of the open note comes first, in a section of its own.
    CanvasCard *diagram = f.rig.addCard(f.newer, CardKind::snip, 20);
    diagram->setTitle(QStringLiteral("Diagram"));
    QVERIFY(f.rig.context().save());
    QVERIFY(openPicker(workspace));
    QCOMPARE(pickerItems(workspace->insertSnipPicker()),
             (QStringList{QStringLiteral("#This Note"), QStringLiteral("Diagram"), QStringLiteral("-"),
                          QStringLiteral("#Other Notes"), QStringLiteral("Chart")}));

    // The rows made again under the open picker (a snip's words recognised
    // and saved) keep the snip gone down to current, for Return.
    InsertSnipPicker *picker = workspace->insertSnipPicker();
    QSignalSpy rebuilt(&picker->rows(), &InsertSnipListModel::rowsRebuilt);
    QTest::keyClick(picker->filterField(), Qt::Key_Down);
    diagram->setOcrText(QStringLiteral("Quarterly figures"));
    QVERIFY(f.rig.context().save());
    QTRY_VERIFY(!rebuilt.isEmpty());
    QTest::keyClick(picker->filterField(), Qt::Key_Return);
    QVERIFY(workspace->model().writingDocument().referencedCardIDs().contains(diagram->id()));

    // A title being typed shows before it is saved.
    chart->setTitle(QStringLiteral("Chart & Table"));
    QVERIFY(openPicker(workspace));
    QCOMPARE(pickerItems(workspace->insertSnipPicker()).constLast(), QStringLiteral("Chart & Table"));

    // A title whose save failed and was taken back shows as it was.
    {
        ModelChangeScope scope(f.rig.context());
        chart->setTitle(QStringLiteral("Draft"));
        QVERIFY(openPicker(workspace));
        QCOMPARE(pickerItems(workspace->insertSnipPicker()).constLast(), QStringLiteral("Draft"));
        f.rig.context().failNextSave(StoreError{QStringLiteral("The disk is full.")});
        QVERIFY(!scope.saveOrUndo());
    }
    QVERIFY(openPicker(workspace));
    QCOMPARE(pickerItems(workspace->insertSnipPicker()).constLast(), QStringLiteral("Chart & Table"));

    // The note's own snip gone, the other one is listed where it was.
    diagram->moveToTrash(QDateTime::currentDateTimeUtc());
    QVERIFY(f.rig.context().save());
    QVERIFY(openPicker(workspace));
    QCOMPARE(pickerItems(workspace->insertSnipPicker()),
             (QStringList{QStringLiteral("#All Snips"), QStringLiteral("Chart & Table")}));
    QTest::keyClicks(workspace->insertSnipPicker()->filterField(), QStringLiteral("table"));
    QTest::keyClick(workspace->insertSnipPicker()->filterField(), Qt::Key_Return);
    QVERIFY(workspace->model().writingDocument().referencedCardIDs().contains(chart->id()));

    // No snip left at all: the button is off, and the picker holds only
    // the text saying so.
    chart->moveToTrash(QDateTime::currentDateTimeUtc());
    QVERIFY(f.rig.context().save());
    QVERIFY(!workspace->insertSnipButton()->isEnabled());
    workspace->insertSnipPicker()->rows().refresh();
    QCOMPARE(pickerItems(workspace->insertSnipPicker()), QStringList{QStringLiteral("?No Snips Available")});
}

void NotesWorkspaceViewTest::insertSnipPickerKeyboard_data()
{
    // Keys pressed in the picker's field ("type:" text typed, "click:" a row
    // clicked), then the snip
    // inserted (none: nothing) and whether the picker is still open.
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QString>("inserted");
    QTest::addColumn<bool>("stillOpen");
    QTest::newRow("first snip") << QStringList{"Down", "Return"} << QStringLiteral("Diagram") << false;
    QTest::newRow("past a heading") << QStringList{"Down", "Down", "Return"} << QStringLiteral("Chart") << false;
    QTest::newRow("up from nothing is the last")
        << QStringList{"Up", "Return"} << QStringLiteral("Filler 29") << false;
    QTest::newRow("back up past a heading")
        << QStringList{"Down", "Down", "Up", "Up", "Return"} << QStringLiteral("Diagram") << false;
    QTest::newRow("a page down") << QStringList{"Down", "PgDown", "Down", "Down", "PgUp", "Up", "Return"}
                                 << QStringLiteral("Chart") << false;
    QTest::newRow("typed text takes its first hit") << QStringList{"type:MAP", "Return"} << QStringLiteral("Map") << false;
    QTest::newRow("return without a snip") << QStringList{"Return"} << QString() << true;
    QTest::newRow("return without a hit") << QStringList{"type:zebra", "Return"} << QString() << true;
    QTest::newRow("escape") << QStringList{"Down", "Escape"} << QString() << false;
    QTest::newRow("a click on a snip") << QStringList{"click:4"} << QStringLiteral("Map") << false;
    QTest::newRow("a click on a heading") << QStringList{"click:2"} << QString() << true;
}

void NotesWorkspaceViewTest::insertSnipPickerKeyboard()
{
    QFETCH(QStringList, keys);
    QFETCH(QString, inserted);
    QFETCH(bool, stillOpen);
    Fixture f;
    f.rig.addCard(f.newer, CardKind::snip, 20)->setTitle(QStringLiteral("Diagram"));
    f.rig.addCard(f.older, CardKind::snip, 10)->setTitle(QStringLiteral("Chart"));
    f.rig.addCard(f.older, CardKind::snip, 5)->setTitle(QStringLiteral("Map"));
    for (int i = 0; i < 30; ++i)
        f.rig.addCard(f.older, CardKind::snip, -1 - i)->setTitle(QStringLiteral("Filler %1").arg(i));
    QVERIFY(f.rig.context().save());
    QVERIFY(f.show());
    QTRY_VERIFY(f.view->workspace());
    BoardCanvasView *workspace = f.view->workspace();
    WritingParagraphEditor *paragraph = f.firstParagraph();
    QVERIFY(paragraph);
    QTRY_VERIFY(paragraph->hasFocus());
    const QUuid anchor = paragraph->blockID();
    QCOMPARE(f.rig.navigation().activeWritingAnchorID(), std::optional(anchor));

    QVERIFY(openPicker(workspace));
    InsertSnipPicker *picker = workspace->insertSnipPicker();
    // The picker taking the keyboard keeps the place it inserts at, and it
    // fits the screen however many snips it lists.
    QCOMPARE(f.rig.navigation().activeWritingAnchorID(), std::optional(anchor));
    QVERIFY(picker->screen()->availableGeometry().contains(picker->geometry()));
    QVERIFY(picker->listView()->verticalScrollBar()->maximum() > 0);
    for (const QString &key : std::as_const(keys)) {
        if (key.startsWith(QLatin1String("type:"))) {
            QTest::keyClicks(picker->filterField(), key.mid(5));
        } else if (key.startsWith(QLatin1String("click:"))) {
            const QModelIndex row = picker->rows().index(key.mid(6).toInt());
            QTest::mouseClick(picker->listView()->viewport(), Qt::LeftButton, {},
                              picker->listView()->visualRect(row).center());
        } else {
            QTest::keyClick(picker->filterField(), QKeySequence::fromString(key)[0].key());
        }
    }

    QCOMPARE(picker->isVisible(), stillOpen);
    const QList<BoardWritingBlock> blocks = workspace->model().writingDocument().blocks;
    const QList<QUuid> references = workspace->model().writingDocument().referencedCardIDs();
    if (inserted.isEmpty()) {
        QVERIFY(references.isEmpty());
        return;
    }
    QCOMPARE(references.size(), 1);
    const auto after = std::find_if(blocks.cbegin(), blocks.cend(),
                                    [&anchor](const BoardWritingBlock &block) { return block.id == anchor; });
    QVERIFY(after != blocks.cend() && after + 1 != blocks.cend());
    QVERIFY((after + 1)->isCardReference());
    for (const CanvasCard *card : f.library->cards()) {
        if (card->id() == (after + 1)->cardID)
            QCOMPARE(card->displayTitle(), inserted);
    }
    // The writing takes the keyboard back.
    QTRY_VERIFY(workspace->writingSurface()->isAncestorOf(QApplication::focusWidget()));
}

void NotesWorkspaceViewTest::emptyStates_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("offersNewNote");
    QTest::newRow("quick captures") << int(NoteListFilter::Kind::quickCaptures)
                                    << QStringLiteral("Preparing Quick Captures") << false;
    QTest::newRow("favourites") << int(NoteListFilter::Kind::favorites) << QStringLiteral("No favorites yet") << true;
    QTest::newRow("folder") << int(NoteListFilter::Kind::folder) << QStringLiteral("Start a note") << true;
}

void NotesWorkspaceViewTest::emptyStates()
{
    QFETCH(int, kind);
    QFETCH(QString, title);
    QFETCH(bool, offersNewNote);
    const NoteListFilter filter = kind == int(NoteListFilter::Kind::quickCaptures) ? NoteListFilter::quickCaptures()
                                : kind == int(NoteListFilter::Kind::favorites)     ? NoteListFilter::favorites()
                                                                                   : NoteListFilter::folder(QStringLiteral("Empty"));
    Fixture f(filter);
    QVERIFY(f.show());
    QVERIFY(!f.view->workspace());
    QCOMPARE(f.rig.navigation().activeBoardID(), std::nullopt);
    QVERIFY(f.view->emptyList()->isVisible());
    QCOMPARE(f.view->emptyState()->title(), title);
    // The message wraps at the column's width, not at its longest word's.
    QCOMPARE(f.view->emptyState()->messageLabel()->width(), 320);
    QCOMPARE(f.view->newNoteButton()->isVisible(), offersNewNote);
    QCOMPARE(f.view->emptyState()->actionButton() != nullptr, offersNewNote);
    if (!offersNewNote)
        return;
    // New Note under favourites opens a note the list does not show.
    f.view->emptyState()->actionButton()->click();
    QVERIFY(f.rig.navigation().activeBoardID());
    QCOMPARE(f.view->workspace() != nullptr, kind == int(NoteListFilter::Kind::folder));
    if (!f.view->workspace())
        return;
    // A new note starts with typing in its first paragraph.
    const std::optional<QUuid> anchor = f.rig.navigation().activeWritingAnchorID();
    QVERIFY(anchor);
    QTRY_VERIFY(f.view->workspace()->writingSurface()->paragraphEditor(*anchor));
    QTRY_VERIFY(f.view->workspace()->writingSurface()->paragraphEditor(*anchor)->hasFocus());
}

void NotesWorkspaceViewTest::keptWritingIsOffered()
{
    Fixture f;
    const QString unreadable = QStringLiteral("{\"blocks\": [ my words");
    f.newer->setWritingDocumentStorage(unreadable);
    QVERIFY(f.rig.context().save());
    QVERIFY(f.show());
    QTRY_VERIFY(f.view->workspace());
    BoardCanvasView *workspace = f.view->workspace();
    QVERIFY(workspace->keptWritingNotice()->isVisible());
    workspace->copyKeptWriting();
    QCOMPARE(f.pasteboard.text, unreadable);
    QVERIFY(!workspace->alert());

    f.pasteboard.failWrites = true;
    workspace->copyKeptWriting();
    QTRY_VERIFY(workspace->alert());
    QCOMPARE(workspace->alert()->windowTitle(), QStringLiteral("Couldn’t complete that action"));
    workspace->alert()->accept();
    QTRY_VERIFY(!workspace->model().operationError());

    // Switching away leaves the unreadable text as it was.
    f.rig.navigation().setActiveBoardID(f.older->id());
    QTRY_COMPARE(f.view->workspace()->model().boardID(), f.older->id());
    QCOMPARE(f.newer->writingDocumentStorage(), unreadable);
}

void NotesWorkspaceViewTest::keyboardFocusShowsOnTheCurrentRow()
{
    Fixture f;
    QVERIFY(f.show());
    QListView *list = f.view->listView();
    QTRY_VERIFY(list->currentIndex().isValid());
    const QRect row = list->visualRect(list->currentIndex());
    const auto rowPicture = [&] { return list->viewport()->grab(row).toImage(); };

    // Tabbed into, the list marks the row the keys act on; left, it does not.
    list->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(list->hasFocus());
    const QImage focused = rowPicture();
    f.view->workspace()->titleField()->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(!list->hasFocus());
    const QImage unfocused = rowPicture();
    QVERIFY(focused != unfocused);
}

// Opening a note moves it to the top of the list; the arrow keys still go
// on to the note after it, not back to the one it passed.
void NotesWorkspaceViewTest::arrowKeysReachEveryNote()
{
    Fixture f;
    Board *oldest = f.rig.addNote(QStringLiteral("Oldest"));
    oldest->setUpdatedAt(longAgo.addSecs(-10));
    oldest->setLastOpenedAt(longAgo);
    QVERIFY(f.rig.context().save());
    QVERIFY(f.show());
    QTRY_COMPARE(f.rig.navigation().activeBoardID(), std::optional(f.newer->id()));
    QListView *list = f.view->listView();
    list->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(list->hasFocus());

    const QList<QUuid> down{f.older->id(), oldest->id(), oldest->id()};
    for (const QUuid &expected : down) {
        QTest::keyClick(list, Qt::Key_Down);
        QTRY_COMPARE(f.rig.navigation().activeBoardID(), std::optional(expected));
        QCOMPARE(f.view->listModel().row(0).id, expected);
    }
    const QList<QUuid> up{f.older->id(), f.newer->id(), f.newer->id()};
    for (const QUuid &expected : up) {
        QTest::keyClick(list, Qt::Key_Up);
        QTRY_COMPARE(f.rig.navigation().activeBoardID(), std::optional(expected));
    }
    // A click starts the walk from the order shown now.
    const QModelIndex third = f.view->listModel().index(2);
    const QUuid clicked = third.data(NoteListItemModel::NoteIDRole).toUuid();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(third).center());
    QTRY_COMPARE(f.view->listModel().row(0).id, clicked);
    const QUuid second = f.view->listModel().row(1).id;
    QTest::keyClick(list, Qt::Key_Down);
    QTRY_COMPARE(f.rig.navigation().activeBoardID(), std::optional(second));
}

QTEST_MAIN(NotesWorkspaceViewTest)
void NotesWorkspaceViewTest::listColumnSlides_data()
{
    QTest::addColumn<bool>("reduceMotion");
    QTest::newRow("sliding") << false;
    QTest::newRow("reduce motion") << true;
}

void NotesWorkspaceViewTest::listColumnSlides()
{
    QFETCH(bool, reduceMotion);
    Fixture f;
    QVERIFY(f.show());
    AccessibilitySettings::shared().setReducesMotion(reduceMotion);
    QWidget *column = f.view->listColumn();
    auto *splitter = qobject_cast<QSplitter *>(column->parentWidget());
    QVERIFY(splitter);
    // The user made the column wider; it comes back at that width.
    splitter->setSizes({280, splitter->sizes().value(1) - 28});
    QCOMPARE(column->width(), 280);

    f.view->hideNoteListButton()->click();
    // Under reduce motion it goes at once; otherwise it slides out first.
    QCOMPARE(column->isVisible(), !reduceMotion);
    QTRY_VERIFY(!column->isVisible());

    f.view->workspace()->noteListToggle()->click();
    QVERIFY(column->isVisible());
    QCOMPARE(column->width() < 280, !reduceMotion);
    QTRY_COMPARE(column->width(), 280);
    QVERIFY(!column->graphicsEffect());
    QCOMPARE(column->minimumWidth(), 220);

    // Turned back halfway, it returns from where it got to.
    if (reduceMotion)
        return;
    f.view->hideNoteListButton()->click();
    QTRY_VERIFY(column->width() < 280);
    f.view->workspace()->noteListToggle()->click();
    QTRY_COMPARE(column->width(), 280);
    QVERIFY(column->isVisible());
}

void NotesWorkspaceViewTest::rowsAreAsTallAsTheirExcerpts()
{
    Fixture f;
    const QString longText = QStringLiteral("A paragraph that runs on well past the width of the note list column, "
                                            "so that its row shows it on two lines.");
    f.older->setWritingDocumentStorage(
        BoardWritingDocument::encodedString({BoardWritingBlock::paragraph(longText)}));
    f.newer->setWritingDocumentStorage(
        BoardWritingDocument::encodedString({BoardWritingBlock::paragraph(QStringLiteral("Short"))}));
    QVERIFY(f.rig.context().save());
    QVERIFY(f.show());
    QListView *list = f.view->listView();
    const auto heightOf = [&](const Board *note) {
        for (int row = 0; row < list->model()->rowCount(); ++row) {
            const QModelIndex index = list->model()->index(row, 0);
            if (index.data(NoteListItemModel::NoteIDRole).toUuid() == note->id())
                return list->visualRect(index).height();
        }
        return -1;
    };
    QTRY_COMPARE(heightOf(f.older), NoteListRowDelegate::rowHeight(2));
    QCOMPARE(heightOf(f.newer), NoteListRowDelegate::rowHeight(1));
    QVERIFY(NoteListRowDelegate::rowHeight(1) < NoteListRowDelegate::rowHeight(2));
    // The second row starts where the first ends, whatever their heights.
    const auto gap = [&] {
        const QAbstractItemModel *model = list->model();
        return list->visualRect(model->index(1, 0)).top() - list->visualRect(model->index(0, 0)).bottom();
    };
    const int laidOutGap = gap();

    // Writing more in the first paragraph makes the row taller.
    f.newer->setWritingDocumentStorage(
        BoardWritingDocument::encodedString({BoardWritingBlock::paragraph(QStringLiteral("Short, ") + longText)}));
    QVERIFY(f.rig.context().save());
    QTRY_COMPARE(heightOf(f.newer), NoteListRowDelegate::rowHeight(2));
    QTRY_COMPARE(gap(), laidOutGap);
    // A change that leaves the excerpts keeps the rows where they are.
    f.older->setFavorite(true, f.older->updatedAt());
    QVERIFY(f.rig.context().save());
    QTRY_VERIFY(list->model()->index(1, 0).data(NoteListItemModel::FavoriteRole).toBool());
    QCOMPARE(heightOf(f.older), NoteListRowDelegate::rowHeight(2));
    QCOMPARE(heightOf(f.newer), NoteListRowDelegate::rowHeight(2));
    QCOMPARE(gap(), laidOutGap);
}

// More notes than the column shows: the scroll bar that comes takes its
// width from the rows, which wrap their excerpts to what is left instead of
// running under it with a sideways scroll bar to reach their ends.
void NotesWorkspaceViewTest::aLongListFitsItsColumn()
{
    Fixture f;
    for (int i = 0; i < 30; ++i) {
        Board *note = f.rig.addNote(QStringLiteral("Note %1").arg(i));
        note->setWritingDocumentStorage(BoardWritingDocument::encodedString({BoardWritingBlock::paragraph(
            QStringLiteral("An excerpt long enough to wrap onto a second line of its row in the column"))}));
    }
    QVERIFY(f.rig.context().save());
    QVERIFY(f.show());
    QListView *list = f.view->listView();
    QTRY_COMPARE(list->model()->rowCount(), 32);
    QTRY_VERIFY(list->verticalScrollBar()->isVisible());
    const auto fits = [list] {
        for (int row = 0; row < list->model()->rowCount(); ++row) {
            if (list->visualRect(list->model()->index(row, 0)).right() >= list->viewport()->width())
                return false;
        }
        return !list->horizontalScrollBar()->isVisible();
    };
    QTRY_VERIFY(fits());
}

void NotesWorkspaceViewTest::excerptLinesAsShaped_data()
{
    // Texts that kern hard, join into ligatures, are narrow or wide, or
    // hold what is measured only in context; each is measured at every
    // length up to well past two lines.
    QTest::addColumn<QString>("pattern");
    QTest::newRow("sentence") << QStringLiteral("A thought about the captured screen and what it means. ");
    QTest::newRow("kerning pairs") << QStringLiteral("AVAWAVATo Yo Ty LT VA WA P. F. ");
    QTest::newRow("ligatures") << QStringLiteral("ffi ffl fi fl office affluent ");
    QTest::newRow("narrow") << QStringLiteral("iiil.,;:'| ");
    QTest::newRow("wide") << QStringLiteral("WMWM@%WM ");
    QTest::newRow("accented Latin") << QString::fromUtf16(u"été où naïve façade Ærø ÿ ");
    QTest::newRow("soft hyphens and tabs") << QString::fromUtf16(u"hy­phen­ated	word ");
    QTest::newRow("other scripts") << QString::fromUtf16(u"Plan 漢字 مرحبا שלום é 😀 ");
}

void NotesWorkspaceViewTest::excerptLinesAsShaped()
{
    QFETCH(QString, pattern);
    // The row's own measure of the whole beginning, shaped.
    const QFontMetricsF metrics(TessalineTypography::systemFont(11, QFont::Normal));
    for (const qreal rowWidth : {220.0, 252.0, 310.0}) {
        const qreal width = NoteListRowDelegate::textWidth(rowWidth);
        QString text;
        while (metrics.horizontalAdvance(text) < 3 * width) {
            text += pattern.at(text.size() % pattern.size());
            const int shaped = metrics.horizontalAdvance(text) <= width ? 1 : 2;
            QVERIFY2(NoteListRowDelegate::excerptLines(text, width) == shaped,
                     qPrintable(QStringLiteral("\"%1\" at %2").arg(text).arg(width)));
        }
    }
}

void NotesWorkspaceViewTest::excerptStandsAgainstItsOwnEdge_data()
{
    QTest::addColumn<QString>("excerpt");
    QTest::addColumn<bool>("twoLines");
    QTest::addColumn<bool>("rightToLeft");
    QTest::newRow("Latin") << QStringLiteral("A short thought") << false << false;
    QTest::newRow("Latin holding Hebrew") << QString::fromUtf16(u"Notes on שלום") << false << false;
    QTest::newRow("Hebrew") << QString::fromUtf16(u"שלום עולם") << false << true;
    QTest::newRow("Arabic") << QString::fromUtf16(u"مرحبا بالعالم") << false << true;
    QTest::newRow("Hebrew after digits") << QString::fromUtf16(u"2026 שלום") << false << true;
    QTest::newRow("Hebrew on two lines") << QString::fromUtf16(u"שלום עולם ") << true << true;
    QTest::newRow("Latin on two lines") << QStringLiteral("A short thought ") << true << false;
}

void NotesWorkspaceViewTest::excerptStandsAgainstItsOwnEdge()
{
    QFETCH(QString, excerpt);
    QFETCH(bool, twoLines);
    QFETCH(bool, rightToLeft);
    constexpr int rowWidth = 300;
    const qreal textWidth = NoteListRowDelegate::textWidth(rowWidth);
    if (twoLines) {
        // A second line about a third as wide as the first.
        const QFontMetricsF metrics(TessalineTypography::systemFont(11, QFont::Normal));
        const QString word = excerpt;
        while (metrics.horizontalAdvance(excerpt) < 1.3 * textWidth)
            excerpt += word;
        QCOMPARE(NoteListRowDelegate::excerptLines(excerpt, textWidth), 2);
    }
    // Only the excerpt is drawn: no title, date, snips or star.
    QStandardItemModel model(1, 1);
    model.setData(model.index(0, 0), excerpt, NoteListItemModel::ExcerptRole);
    QListView list;
    NoteListRowDelegate delegate(&list);
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, rowWidth, NoteListRowDelegate::rowHeight(twoLines ? 2 : 1));
    option.palette = list.palette();
    option.state = QStyle::State_Enabled;
    QImage image(option.rect.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        delegate.paint(&painter, option, model.index(0, 0));
    }
    // The ink of the excerpt's last line.
    int top = image.height(), bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0) {
                top = std::min(top, y);
                bottom = y;
            }
        }
    }
    QVERIFY2(bottom >= 0, "nothing was drawn");
    const int lastLineTop = twoLines ? (top + bottom) / 2 + 1 : top;
    int left = image.width(), right = -1;
    for (int y = lastLineTop; y <= bottom; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    const int contentLeft = NoteListRowDelegate::outerInset + NoteListRowDelegate::innerPadding;
    const int contentRight = rowWidth - contentLeft;
    // A glyph's side bearing keeps its ink a few pixels in from its edge.
    const int startEdgeGap = rightToLeft ? contentRight - right : left - contentLeft;
    const int farEdgeGap = rightToLeft ? left - contentLeft : contentRight - right;
    QVERIFY2(startEdgeGap >= -1 && startEdgeGap <= 4,
             qPrintable(QStringLiteral("ink from %1 to %2 in %3 to %4").arg(left).arg(right).arg(contentLeft).arg(contentRight)));
    QVERIFY(farEdgeGap > textWidth / 5);
}

void NotesWorkspaceViewTest::highlightFollowsTheOpenNote()
{
    Fixture f;
    QVERIFY(f.show());
    QListView *list = f.view->listView();
    QTRY_COMPARE(f.view->listModel().rowOf(f.older->id()), 1);
    // What the user sees: which row is painted in the selection colour.
    const auto highlightedRows = [&] {
        const QImage shot = list->viewport()->grab().toImage();
        const QColor highlight = selectionFill(list->palette(), list->isActiveWindow() ? QPalette::Active
                                                                                        : QPalette::Inactive);
        QList<int> rows;
        for (int row = 0; row < f.view->listModel().rowCount(); ++row) {
            const QRect box = list->visualRect(f.view->listModel().index(row));
            const QPoint probe = QPoint(box.center().x(), box.bottom() - 4) * shot.devicePixelRatio();
            if (shot.pixelColor(probe).rgb() == highlight.rgb())
                rows.append(row);
        }
        return rows;
    };
    QTRY_COMPARE(highlightedRows(), QList<int>{0});

    // Opening the second note moves it to the top; the highlight goes with it,
    // and wiggling the pointer before letting go opens nothing else.
    const QPoint second = list->visualRect(f.view->listModel().index(1)).center();
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, second);
    QTest::mouseMove(list->viewport(), second + QPoint(0, 3));
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, second + QPoint(0, 3));
    QTRY_COMPARE(f.view->listModel().row(0).id, f.older->id());
    QCOMPARE(f.rig.navigation().activeBoardID(), std::optional(f.older->id()));
    QCOMPARE(list->selectionModel()->selectedIndexes(), QModelIndexList{f.view->listModel().index(0)});
    QTRY_COMPARE(highlightedRows(), QList<int>{0});

    // A list made again (as after a restart) highlights the note still open.
    f.view.reset();
    f.rig.navigation().setActiveBoardID(f.newer->id());
    f.view = std::make_unique<NotesWorkspaceView>(*f.library, f.rig.navigation(), NoteListFilter::all(), nullptr,
                                                  BoardCanvasServices{});
    f.view->resize(1100, 700);
    QVERIFY(f.show());
    list = f.view->listView();
    const int open = f.view->listModel().rowOf(f.newer->id());
    QCOMPARE(list->selectionModel()->selectedIndexes(), QModelIndexList{f.view->listModel().index(open)});
    QTRY_COMPARE(highlightedRows(), QList<int>{open});

    // The row's date is named, not counted.
    f.view->listModel().setClock([&] { return f.older->updatedAt().addSecs(86400 + 60); });
    QCOMPARE(f.view->listModel().index(0).data(NoteListItemModel::DateTextRole).toString(), QStringLiteral("yesterday"));
}

#include "tst_notesworkspaceview.moc"
