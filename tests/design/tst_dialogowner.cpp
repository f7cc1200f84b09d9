// A dialog asked for from a popup is a window of the window beneath the
// popup (under Wayland Qt ends the process showing a window owned by a
// popup), and still closes when the popup goes.
#include "design/DialogOwner.h"

#include <QDialog>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

using namespace tessaline;

class TestDialogOwner : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dialogsOfPopupsBelongToTheWindowBeneath_data()
    {
        QTest::addColumn<Qt::WindowType>("asker");
        QTest::addColumn<bool>("parentedAsWidget");
        QTest::addColumn<bool>("ownedByMain");
        QTest::newRow("a panel standing on the window (the toast)") << Qt::ToolTip << false << true;
        QTest::newRow("a menu of the window") << Qt::Popup << true << true;
        QTest::newRow("an ordinary window keeps its dialog") << Qt::Window << false << false;
    }

    void dialogsOfPopupsBelongToTheWindowBeneath()
    {
        QFETCH(Qt::WindowType, asker);
        QFETCH(bool, parentedAsWidget);
        QFETCH(bool, ownedByMain);
        QWidget main;
        main.resize(600, 400);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        auto *popup = new QWidget(parentedAsWidget ? &main : nullptr, asker | Qt::FramelessWindowHint);
        popup->resize(200, 100);
        popup->winId();
        if (!parentedAsWidget)
            popup->windowHandle()->setTransientParent(main.windowHandle());
        popup->show();
        auto *dialog = new QDialog(popup);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        const QPointer<QDialog> alive(dialog);

        keepDialogOffPopups(*dialog);
        QVERIFY(dialog->isWindow());
        QCOMPARE(dialog->parentWidget(), ownedByMain ? &main : popup);
        dialog->open();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QCOMPARE(dialog->windowHandle()->transientParent(), ownedByMain ? main.windowHandle() : popup->windowHandle());

        // It goes with the popup it was asked from, as its child would.
        QSignalSpy finished(dialog, &QDialog::finished);
        delete popup;
        QTRY_VERIFY(alive.isNull());
        if (ownedByMain)
            QCOMPARE(finished.count(), 1);
    }
};

QTEST_MAIN(TestDialogOwner)
#include "tst_dialogowner.moc"
