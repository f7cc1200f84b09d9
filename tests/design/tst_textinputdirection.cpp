#include "design/TextInputDirection.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextEdit>
#include <QTextLayout>

using namespace tessaline;

namespace {

QString scalars(std::initializer_list<char32_t> values)
{
    // Built by hand: QString::fromUcs4 would drop a leading U+FEFF.
    QString text;
    for (char32_t value : values) {
        if (QChar::requiresSurrogates(value)) {
            text += QChar(QChar::highSurrogate(value));
            text += QChar(QChar::lowSurrogate(value));
        } else {
            text += QChar(char16_t(value));
        }
    }
    return text;
}

} // namespace

class TextInputDirectionTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void classification_data();
    void classification();
    void lineEditFollowsTyping();
    void textEditFollowsFirstDecisiveBlock();
    void plainTextEdit();
    void elisionEndsWhereTheTextRuns_data();
    void elisionEndsWhereTheTextRuns();
};

void TextInputDirectionTest::classification_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("rightToLeft");

    QTest::newRow("empty") << QString() << false;
    QTest::newRow("digits, spaces, punctuation") << QStringLiteral("12, 34 - (56)!") << false;
    QTest::newRow("newlines and tabs only") << QStringLiteral("\n\t \r\n") << false;
    QTest::newRow("Latin") << QStringLiteral("Hello") << false;
    QTest::newRow("digits then Hebrew") << QStringLiteral("42 ") + scalars({0x05E9, 0x05DC, 0x05D5, 0x05DD}) << true;
    QTest::newRow("Latin then Arabic") << QStringLiteral("a ") + scalars({0x0645, 0x0631, 0x062D, 0x0628, 0x0627})
                                       << false;
    QTest::newRow("Arabic-Indic digits") << scalars({0x0660, 0x0669}) + QStringLiteral(" abc") << true;
    QTest::newRow("first scalar of the first range") << scalars({0x0590}) << true;
    QTest::newRow("just below the first range") << QStringLiteral("1") + scalars({0x058F}) << false;
    QTest::newRow("last scalar of the first range") << scalars({0x08FF}) << true;
    QTest::newRow("just above the first range: Devanagari") << scalars({0x0900, 0x0915}) << false;
    QTest::newRow("Hebrew presentation form") << scalars({0xFB1D}) << true;
    QTest::newRow("Arabic Presentation Forms-A end") << scalars({0xFDFF}) << true;
    QTest::newRow("byte order mark") << scalars({0xFEFF}) + QStringLiteral("abc") << true;
    QTest::newRow("Arabic Presentation Forms-B start") << scalars({0xFE70}) << true;
    QTest::newRow("just below forms-B: variation selector then Latin") << scalars({0xFE6F}) + QStringLiteral("a")
                                                                       << false;
    QTest::newRow("Adlam") << scalars({0x1E900, 0x1E922}) << true;
    QTest::newRow("Adlam end") << QStringLiteral("- ") + scalars({0x1E95F}) << true;
    QTest::newRow("Phoenician is a letter outside the ranges") << scalars({0x10900, 0x10901}) << false;
    QTest::newRow("combining mark decides left to right") << scalars({0x0301}) + scalars({0x05D0}) << false;
    QTest::newRow("emoji is neutral") << scalars({0x1F600}) + scalars({0x05D0}) << true;
    QTest::newRow("lone surrogate is neutral") << QString(QChar(0xD800)) + scalars({0x05D0}) << true;
    QTest::newRow("CJK") << scalars({0x4E2D, 0x6587}) << false;
}

void TextInputDirectionTest::classification()
{
    QFETCH(QString, text);
    QFETCH(bool, rightToLeft);
    QCOMPARE(inputLayoutDirection(text), rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
}

void TextInputDirectionTest::lineEditFollowsTyping()
{
    QLineEdit field;
    textInputDirection(&field);
    QCOMPARE(field.layoutDirection(), Qt::LeftToRight);
    QCOMPARE(field.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft | Qt::AlignAbsolute);

    QTest::keyClicks(&field, QStringLiteral("12 "));
    QCOMPARE(field.layoutDirection(), Qt::LeftToRight);
    field.insert(scalars({0x05E9}));
    QCOMPARE(field.layoutDirection(), Qt::RightToLeft);
    QCOMPARE(field.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight | Qt::AlignAbsolute);
    QVERIFY(field.alignment() & Qt::AlignVCenter);

    // The first decisive character turns Latin: left to right again.
    field.setText(QStringLiteral("x") + field.text());
    QCOMPARE(field.layoutDirection(), Qt::LeftToRight);
    QCOMPARE(field.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft | Qt::AlignAbsolute);
}

void TextInputDirectionTest::textEditFollowsFirstDecisiveBlock()
{
    QTextEdit editor;
    textInputDirection(&editor);
    QCOMPARE(editor.layoutDirection(), Qt::LeftToRight);

    // A first paragraph of digits only leaves the decision to the next one.
    editor.setPlainText(QStringLiteral("2024\n") + scalars({0x0627, 0x0644}) + QStringLiteral("\nEnglish"));
    QCOMPARE(editor.layoutDirection(), Qt::RightToLeft);
    QCOMPARE(editor.document()->defaultTextOption().textDirection(), Qt::RightToLeft);
    QCOMPARE(editor.document()->defaultTextOption().alignment() & Qt::AlignHorizontal_Mask,
             Qt::AlignRight | Qt::AlignAbsolute);

    editor.setPlainText(QStringLiteral("Notes\n") + scalars({0x0627}));
    QCOMPARE(editor.layoutDirection(), Qt::LeftToRight);
    QCOMPARE(editor.document()->defaultTextOption().alignment() & Qt::AlignHorizontal_Mask,
             Qt::AlignLeft | Qt::AlignAbsolute);

    editor.clear();
    QCOMPARE(editor.layoutDirection(), Qt::LeftToRight);
}

void TextInputDirectionTest::plainTextEdit()
{
    QPlainTextEdit editor;
    textInputDirection(&editor);
    editor.setPlainText(scalars({0x05D0, 0x05D1}));
    QCOMPARE(editor.layoutDirection(), Qt::RightToLeft);
    QTextCursor cursor(editor.document());
    cursor.insertText(QStringLiteral("A "));
    QCOMPARE(editor.layoutDirection(), Qt::LeftToRight);
}

void TextInputDirectionTest::elisionEndsWhereTheTextRuns_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("rightToLeft");
    QTest::addColumn<bool>("cut");
    const QString arabic = QStringLiteral("ملاحظة بعنوان طويل جدا لاختبار قص النص في القائمة والعنوان");
    QTest::newRow("Arabic, cut") << arabic << true << true;
    QTest::newRow("Hebrew, cut") << QStringLiteral("כותרת ארוכה מאוד של פתק שנחתכת בסוף השורה הצרה") << true << true;
    QTest::newRow("Arabic after a number, cut") << QStringLiteral("2026 ") + arabic << true << true;
    QTest::newRow("Latin, cut") << QStringLiteral("A rather long note title that cannot fit the row") << false << true;
    QTest::newRow("Arabic, whole") << QStringLiteral("ملاحظة") << true << false;
}

void TextInputDirectionTest::elisionEndsWhereTheTextRuns()
{
    QFETCH(QString, text);
    QFETCH(bool, rightToLeft);
    QFETCH(bool, cut);
    const QFont font = QGuiApplication::font();
    const QFontMetricsF metrics(font);
    const QString shown = elidedInItsOwnDirection(text, metrics, 160);
    QVERIFY(metrics.horizontalAdvance(shown) <= 161);
    const qsizetype ellipsis = shown.indexOf(QChar(0x2026));
    QCOMPARE(ellipsis >= 0, cut);
    if (!cut) {
        QVERIFY(shown.contains(text));
        return;
    }
    // Laid out as the app's rows lay text out (left to right), the ellipsis
    // stands where the text runs on: left of its start for right-to-left
    // text, right of it otherwise.
    QTextLayout layout(shown, font);
    QTextOption option;
    option.setTextDirection(Qt::LeftToRight);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(10000);
    layout.endLayout();
    qsizetype first = 0;
    while (first < shown.size() && !shown.at(first).isLetter())
        ++first;
    // Where the glyph of one character is drawn.
    const auto drawnAt = [&line](qsizetype at) {
        const QList<QGlyphRun> runs = line.glyphRuns(int(at), 1);
        return runs.isEmpty() || runs.constFirst().positions().isEmpty() ? qreal(-1)
                                                                         : runs.constFirst().positions().constFirst().x();
    };
    const qreal start = drawnAt(first);
    const qreal dots = drawnAt(ellipsis);
    QVERIFY(start >= 0 && dots >= 0);
    QVERIFY2(rightToLeft ? dots < start : dots > start,
             qPrintable(QStringLiteral("ellipsis at %1, first letter at %2").arg(dots).arg(start)));
}

QTEST_MAIN(TextInputDirectionTest)
#include "tst_textinputdirection.moc"
