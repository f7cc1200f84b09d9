#include "design/WrappedLines.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QTest>

using namespace tessaline;

class WrappedLinesTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Card captions, search tiles and previews keep to a few lines; a text
    // cut there must say so with an ellipsis, and one that fits is whole.
    void wrappedLines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("maximumLines");
        QTest::addColumn<bool>("cut");

        const QString sentence = QStringLiteral("error profile when support of capture roadmap settings button window ");
        QTest::newRow("short text, one line") << QStringLiteral("Soil") << 2 << false;
        QTest::newRow("several lines that fit") << sentence.repeated(2).trimmed() << 8 << false;
        QTest::newRow("caption past two lines") << sentence.repeated(6) << 2 << true;
        QTest::newRow("excerpt past three lines") << sentence.repeated(9) << 3 << true;
        QTest::newRow("right-to-left text past two lines")
            << QStringLiteral("סיכום פגישה עם הלקוח על תוכנית העבודה ").repeated(10) << 2 << true;
    }
    void wrappedLines()
    {
        QFETCH(QString, text);
        QFETCH(int, maximumLines);
        QFETCH(bool, cut);
        QFont font;
        font.setPixelSize(13);
        const qreal width = 300;
        const QStringList shown = tessaline::wrappedLines(text, font, width, maximumLines);
        if (cut)
            QCOMPARE(shown.size(), maximumLines);
        else
            QVERIFY(!shown.isEmpty() && shown.size() < maximumLines);
        const QFontMetricsF metrics(font);
        for (const QString &line : shown)
            QVERIFY2(metrics.horizontalAdvance(line) <= width + 0.5, qPrintable(line));
        QCOMPARE(shown.last().contains(QChar(0x2026)), cut);
        if (!cut)
            QCOMPARE(shown.join(QLatin1Char(' ')), text.simplified());
    }
};

QTEST_MAIN(WrappedLinesTest)
#include "tst_wrappedlines.moc"
