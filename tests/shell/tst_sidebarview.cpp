#include "shell/SidebarModel.h"
#include "shell/SidebarView.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QHelpEvent>
#include <QStandardItemModel>
#include <QToolTip>
#include <QTest>

#include <algorithm>
#include <cmath>

using namespace tessaline;

namespace {

qreal luminance(QRgb rgb)
{
    const auto channel = [](int value) {
        const qreal c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) + 0.0722 * channel(qBlue(rgb));
}

} // namespace

class SidebarViewTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The "Folders" header is no row to pick, and a list gives such items
    // its disabled colours, which left the header barely visible.
    void sectionHeaderReadsAgainstTheWindow()
    {
        QStandardItemModel model;
        auto *header = new QStandardItem(QStringLiteral("Folders"));
        header->setData(true, SidebarModel::IsSectionRole);
        header->setFlags(Qt::NoItemFlags);
        model.appendRow(header);
        QListView list;
        list.setModel(&model);
        list.setItemDelegate(new SidebarRowDelegate(&list));
        list.resize(220, 80);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        const QImage shot = list.viewport()->grab(list.visualRect(model.index(0, 0))).toImage();
        const QRgb background = list.viewport()->palette().color(list.viewport()->backgroundRole()).rgb();
        qreal darkest = 1;
        for (int y = 0; y < shot.height(); ++y) {
            for (int x = 0; x < shot.width(); ++x)
                darkest = std::min(darkest, luminance(shot.pixel(x, y)));
        }
        const qreal contrast = (luminance(background) + 0.05) / (darkest + 0.05);
        QVERIFY2(contrast >= 3.0, qPrintable(QString::number(contrast)));
    }

    // A folder's name is cut to the sidebar's width; hovering tells it whole,
    // and only when it was cut. A badge takes room from the title.
    void cutTitleToldOnHover_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("hasCount");
        QTest::addColumn<bool>("tells");

        const QString longName = QStringLiteral("A long folder name for everything about research projects");
        QTest::newRow("short folder name") << QStringLiteral("Project 3") << false << false;
        QTest::newRow("long folder name") << longName << false << true;
        QTest::newRow("right-to-left folder name")
            << QStringLiteral("סיכום פגישה עם הלקוח על תוכנית העבודה") << false << true;
        QTest::newRow("short title beside a count") << QStringLiteral("Quick Captures") << true << false;
    }
    void cutTitleToldOnHover()
    {
        QFETCH(QString, title);
        QFETCH(bool, hasCount);
        QFETCH(bool, tells);
        QStandardItemModel model;
        auto *row = new QStandardItem(title);
        if (hasCount)
            row->setData(48, SidebarModel::CountRole);
        model.appendRow(row);
        QListView list;
        list.setModel(&model);
        list.setItemDelegate(new SidebarRowDelegate(&list));
        list.resize(218, 80);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QToolTip::hideText();
        QTRY_VERIFY(!QToolTip::isVisible());
        const QPoint inside = list.visualRect(model.index(0, 0)).center();
        QHelpEvent hover(QEvent::ToolTip, inside, list.viewport()->mapToGlobal(inside));
        QCoreApplication::sendEvent(list.viewport(), &hover);
        if (tells) {
            QTRY_VERIFY(QToolTip::isVisible());
            QCOMPARE(QToolTip::text(), title);
        } else {
            QVERIFY(!QToolTip::isVisible());
        }
    }

    void badgeTakesRoomFromTheTitle()
    {
        const QRect area(0, 0, 218, 28);
        QString title = QStringLiteral("W");
        while (SidebarRowDelegate::titleToolTip(title + QLatin1Char('W'), area, QVariant()).isEmpty())
            title += QLatin1Char('W');
        QVERIFY(SidebarRowDelegate::titleToolTip(title, area, QVariant()).isEmpty());
        QCOMPARE(SidebarRowDelegate::titleToolTip(title, area, QVariant(48)), title);
    }

    // Tabbed into, the sidebar rings the row its arrow keys move, as the note
    // list does; a click, which the selection answers, draws no ring.
    void keyboardFocusShowsOnTheCurrentRow_data()
    {
        QTest::addColumn<int>("reason");
        QTest::addColumn<bool>("rings");
        QTest::newRow("Tab") << int(Qt::TabFocusReason) << true;
        QTest::newRow("Shift+Tab") << int(Qt::BacktabFocusReason) << true;
        QTest::newRow("click") << int(Qt::MouseFocusReason) << false;
    }
    void keyboardFocusShowsOnTheCurrentRow()
    {
        QFETCH(int, reason);
        QFETCH(bool, rings);
        QWidget window;
        QStandardItemModel model;
        model.appendRow(new QStandardItem(QStringLiteral("Notes")));
        model.appendRow(new QStandardItem(QStringLiteral("Snips")));
        auto *list = new QListView(&window);
        list->setModel(&model);
        list->setItemDelegate(new SidebarRowDelegate(list));
        list->setGeometry(0, 0, 218, 80);
        auto *elsewhere = new QLineEdit(&window);
        elsewhere->setGeometry(0, 90, 218, 24);
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        list->setCurrentIndex(model.index(1, 0));
        elsewhere->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(elsewhere->hasFocus());
        const QRect row = list->visualRect(model.index(1, 0));
        const QImage unfocused = list->viewport()->grab(row).toImage();

        list->setFocus(Qt::FocusReason(reason));
        QTRY_VERIFY(list->hasFocus());
        QCOMPARE(list->viewport()->grab(row).toImage() != unfocused, rings);
        // Moving on with the arrow keys shows the ring whichever way the
        // focus came.
        QTest::keyClick(list, Qt::Key_Up);
        QCOMPARE(list->currentIndex(), model.index(0, 0));
        const QRect upper = list->visualRect(model.index(0, 0));
        const QImage moved = list->viewport()->grab(upper).toImage();
        elsewhere->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(!list->hasFocus());
        QVERIFY(list->viewport()->grab(upper).toImage() != moved);
    }
};

QTEST_MAIN(SidebarViewTest)
#include "tst_sidebarview.moc"
