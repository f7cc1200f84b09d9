#include "platform/TextUtilities.h"
#include "platform/UuidText.h"

#include <QTest>

using namespace tessaline;

class TextUtilitiesTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void trimming_data();
    void trimming();
    void graphemes();
    void utf8Prefix();
    void uuidParsing_data();
    void uuidParsing();
    void uuidOrderFollowsText();
};

void TextUtilitiesTest::trimming_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "word" << "word";
    QTest::newRow("spaces and newline") << " \n word \t\n" << "word";
    QTest::newRow("inner kept") << "  a  b  " << "a  b";
    QTest::newRow("only space") << " \n\t " << "";
    QTest::newRow("no-break and line separator") << QStringLiteral("\u00A0x\u2028") << "x";
}

void TextUtilitiesTest::trimming()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(trimmedWhitespace(input), expected);
    QCOMPARE(isBlank(input), expected.isEmpty());
}

void TextUtilitiesTest::graphemes()
{
    // A family emoji and an e with combining accent are one character each.
    const QString family = QStringLiteral("👨‍👩‍👧");
    const QString accented = QStringLiteral("e\u0301");
    const QString text = family + accented + QStringLiteral("ab");
    QCOMPARE(graphemeCount(text), 4);
    QCOMPARE(graphemePrefix(text, 1), family);
    QCOMPARE(graphemePrefix(text, 2), family + accented);
    QCOMPARE(graphemePrefix(text, 10), text);
    QCOMPARE(graphemePrefix(text, 0), QString());
    QCOMPARE(graphemeCount(QString()), 0);
}

void TextUtilitiesTest::utf8Prefix()
{
    const QString accented = QStringLiteral("e\u0301"); // 3 bytes
    QCOMPARE(utf8PrefixFitting(QStringLiteral("abc"), 3), QStringLiteral("abc"));
    QCOMPARE(utf8PrefixFitting(QStringLiteral("abcd"), 3), QStringLiteral("abc"));
    // Never cuts inside a character: the accent stays with its letter.
    QCOMPARE(utf8PrefixFitting(QStringLiteral("a") + accented, 3), QStringLiteral("a"));
    QCOMPARE(utf8PrefixFitting(QStringLiteral("a") + accented, 4), QStringLiteral("a") + accented);
}

void TextUtilitiesTest::uuidParsing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("upper") << "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D" << true;
    QTest::newRow("lower") << "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d" << true;
    QTest::newRow("nil") << "00000000-0000-0000-0000-000000000000" << true;
    QTest::newRow("braces") << "{0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d}" << false;
    QTest::newRow("no hyphens") << "0a1b2c3d4e5f4a6b8c7d9e0f1a2b3c4d" << false;
    QTest::newRow("misplaced hyphen") << "0a1b2c3-d4e5f-4a6b-8c7d-9e0f1a2b3c4d" << false;
    QTest::newRow("not hex") << "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4g" << false;
    QTest::newRow("too long") << "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d0" << false;
    QTest::newRow("empty") << "" << false;
}

void TextUtilitiesTest::uuidParsing()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    const auto parsed = parseUuid(text);
    QCOMPARE(bool(parsed), valid);
    if (valid)
        QCOMPARE(uuidText(*parsed), text.toUpper());
}

void TextUtilitiesTest::uuidOrderFollowsText()
{
    // QUuid orders by its fields; the library orders by the text. These two
    // differ in the first field only by the sign bit of a byte, which the
    // field comparison and the text comparison rank oppositely for letters.
    const QUuid a = *parseUuid(u"A0000000-0000-0000-0000-000000000000");
    const QUuid b = *parseUuid(u"90000000-0000-0000-0000-000000000000");
    QVERIFY(uuidTextLess(b, a));
    QVERIFY(!uuidTextLess(a, b));
    QVERIFY(!uuidTextLess(a, a));

    // Ids that share ever longer prefixes, then random ones: the order is the
    // text's order everywhere, not only in the first field.
    QList<QUuid> ids;
    for (int shared = 0; shared <= 32; shared += 4) {
        for (int n = 0; n < 8; ++n) {
            QString text = uuidText(QUuid::createUuid()).remove(QLatin1Char('-'));
            text.replace(0, shared, QStringLiteral("F0E1D2C3B4A5968778695A4B3C2D1E0F").left(shared));
            text.insert(20, QLatin1Char('-')).insert(16, QLatin1Char('-')).insert(12, QLatin1Char('-')).insert(8, QLatin1Char('-'));
            ids.append(*parseUuid(text));
        }
    }
    for (const QUuid &x : std::as_const(ids)) {
        for (const QUuid &y : std::as_const(ids))
            QCOMPARE(uuidTextLess(x, y), uuidText(x) < uuidText(y));
    }
}

QTEST_GUILESS_MAIN(TextUtilitiesTest)
#include "tst_textutilities.moc"
