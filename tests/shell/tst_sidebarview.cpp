#include "shell/SidebarModel.h"
#include "shell/SidebarView.h"

#include <QApplication>
#include <QImage>
#include <QListView>
#include <QStandardItemModel>
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
};

QTEST_MAIN(SidebarViewTest)
#include "tst_sidebarview.moc"
