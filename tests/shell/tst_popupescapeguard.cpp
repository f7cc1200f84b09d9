// Escape that closes a pop-up list ends there. Under Wayland the key comes
// to the window the list belongs to, as it is sent here: without the guard
// it went on to close the sheet under the list as well.
#include "shell/PopupEscapeGuard.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using namespace tessaline;

class TestPopupEscapeGuard : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { qApp->installEventFilter(&m_guard); }

    void escapeClosesOnlyWhatIsOnTop_data()
    {
        QTest::addColumn<QString>("popup");
        QTest::addColumn<bool>("sheetStays");
        QTest::newRow("a combo box's list is closed, the sheet stays") << "list" << true;
        QTest::newRow("a menu is closed, the sheet stays") << "menu" << true;
        QTest::newRow("no pop-up: the sheet is closed") << "" << false;
    }

    void escapeClosesOnlyWhatIsOnTop()
    {
        QFETCH(QString, popup);
        QFETCH(bool, sheetStays);
        QWidget window;
        window.resize(600, 400);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QDialog sheet(&window);
        auto *layout = new QVBoxLayout(&sheet);
        auto *picker = new QComboBox;
        picker->addItems({QStringLiteral("Quick Captures"), QStringLiteral("Research")});
        layout->addWidget(picker);
        QMenu menu(&sheet);
        menu.addAction(QStringLiteral("Copy"));
        sheet.setWindowModality(Qt::WindowModal);
        sheet.open();
        QVERIFY(QTest::qWaitForWindowExposed(&sheet));
        QSignalSpy rejected(&sheet, &QDialog::rejected);

        if (popup == QLatin1String("list"))
            picker->showPopup();
        else if (popup == QLatin1String("menu"))
            menu.popup(sheet.mapToGlobal(QPoint(10, 10)));
        if (!popup.isEmpty())
            QTRY_VERIFY(QApplication::activePopupWidget());

        QTest::keyClick(sheet.windowHandle(), Qt::Key_Escape);
        QTRY_VERIFY(!QApplication::activePopupWidget());
        QCOMPARE(sheet.isVisible(), sheetStays);
        QCOMPARE(rejected.count(), sheetStays ? 0 : 1);

        if (sheetStays) {
            // The next Escape is the sheet's again.
            QTest::keyClick(sheet.windowHandle(), Qt::Key_Escape);
            QTRY_COMPARE(rejected.count(), 1);
            QVERIFY(!sheet.isVisible());
        }
    }

private:
    PopupEscapeGuard m_guard;
};

QTEST_MAIN(TestPopupEscapeGuard)
#include "tst_popupescapeguard.moc"
