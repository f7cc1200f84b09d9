#include "../support/MainWindowRig.h"

#include "runtime/NavigationState.h"
#include "notes/NewBoardModel.h"
#include "notes/NewBoardView.h"
#include "runtime/SidebarDestination.h"
#include "design/StudioCompactButton.h"
#include "design/TessalinePrimaryButton.h"
#include "model/Board.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

int liveNoteCount(ModelContext &context)
{
    int count = 0;
    for (const Board *board : *context.fetchBoards())
        count += board->deletedAt() ? 0 : 1;
    return count;
}

} // namespace

class NewBoardViewTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void returnCreatesTheTypedNote()
    {
        MainWindowRig rig;
        NewBoardView sheet(rig.context(), rig.navigation());
        QSignalSpy finished(&sheet, &QDialog::finished);
        sheet.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sheet));
        QCOMPARE(sheet.size(), QSize(520, 330));
        QTRY_VERIFY(sheet.titleField()->hasFocus());
        QVERIFY(!sheet.createButton()->isEnabled());

        QTest::keyClicks(sheet.titleField(), QStringLiteral("   "));
        QVERIFY(!sheet.createButton()->isEnabled());
        QTest::keyClick(sheet.titleField(), Qt::Key_Return);
        QCOMPARE(liveNoteCount(rig.context()), 0);
        QCOMPARE(finished.count(), 0);

        QTest::keyClicks(sheet.titleField(), QStringLiteral("Garden "));
        QTest::keyClicks(sheet.focusQuestionField(), QStringLiteral(" What grows? "));
        QVERIFY(sheet.createButton()->isEnabled());
        QTest::keyClick(sheet.focusQuestionField(), Qt::Key_Return);

        QCOMPARE(finished.count(), 1);
        const QList<Board *> notes = *rig.context().fetchBoards();
        QCOMPARE(notes.size(), 1);
        QCOMPARE(notes.first()->title(), QStringLiteral("Garden"));
        QCOMPARE(notes.first()->focusQuestion(), std::optional<QString>(" What grows? "));
        QCOMPARE(rig.navigation().activeBoardID(), std::optional(notes.first()->id()));
    }

    void escapeClosesWithoutStoring()
    {
        MainWindowRig rig;
        NewBoardView sheet(rig.context(), rig.navigation());
        QSignalSpy finished(&sheet, &QDialog::finished);
        sheet.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sheet));
        QTest::keyClicks(sheet.titleField(), QStringLiteral("Garden"));
        QTest::keyClick(sheet.titleField(), Qt::Key_Escape);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(liveNoteCount(rig.context()), 0);
    }

    void failedCreateShowsTheAlert()
    {
        MainWindowRig rig;
        NewBoardView sheet(rig.context(), rig.navigation());
        sheet.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sheet));
        QTest::keyClicks(sheet.titleField(), QStringLiteral("Garden"));
        rig.context().failNextSave(StoreError{QStringLiteral("read-only")});
        sheet.createButton()->click();

        QMessageBox *alert = sheet.alert();
        QVERIFY(alert);
        QCOMPARE(alert->windowTitle(), QStringLiteral("Couldn’t create board"));
        QCOMPARE(alert->informativeText(), QStringLiteral("read-only"));
        alert->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(!sheet.alert());
        QVERIFY(sheet.isVisible());
        QCOMPARE(sheet.titleField()->text(), QStringLiteral("Garden"));
        QCOMPARE(rig.navigation().activeBoardID(), std::nullopt);
    }
};

QTEST_MAIN(NewBoardViewTest)
#include "tst_newboardview.moc"
