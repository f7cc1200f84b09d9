#include "platform/TextUtilities.h"
#include "platform/UuidText.h"

#include <QFile>
#include <QTest>

using namespace tessaline;

class TextUtilitiesTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void trimming_data();
    void trimming();
    void graphemes();
    void caseInsensitiveNeedle_data();
    void caseInsensitiveNeedle();
    void utf8Prefix_data();
    void utf8Prefix();
    void uuidParsing_data();
    void uuidParsing();
    void uuidOrderFollowsText();
    void relativeTime_data();
    void relativeTime();
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

    // Long texts: characters far longer than a unit, and one that runs on
    // past where a short look would have stopped, are still cut whole.
    QString families;
    for (int i = 0; i < 100; ++i)
        families += family;
    QCOMPARE(graphemePrefix(families, 80), families.left(80 * family.size()));
    const QString marked = QString(79, u'a') + u'e' + QString(300, QChar(0x0301)) + u'z';
    QCOMPARE(graphemePrefix(marked, 80), marked.left(380));
    QCOMPARE(graphemePrefix(marked, 81), marked);
    QCOMPARE(graphemePrefix(QString(5000, u'x'), 80), QString(80, u'x'));
}

void TextUtilitiesTest::caseInsensitiveNeedle_data()
{
    QTest::addColumn<QString>("haystack");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<bool>("found");
    const QString composed = QStringLiteral("Caf\u00e9 au lait");
    const QString decomposed = QStringLiteral("Cafe\u0301 au lait");
    QTest::newRow("letter case") << QStringLiteral("Spreadsheet Pro") << QStringLiteral("SHEET p") << true;
    QTest::newRow("empty needle") << QStringLiteral("anything") << QString() << false;
    QTest::newRow("sharp s as two letters") << QStringLiteral("STRASSE") << QStringLiteral("stra\u00dfe") << true;
    QTest::newRow("two letters as sharp s") << QStringLiteral("Stra\u00dfe") << QStringLiteral("STRASSE") << true;
    QTest::newRow("capital sharp s") << QStringLiteral("GRO\u1e9e") << QStringLiteral("gross") << true;
    QTest::newRow("ligature") << QStringLiteral("\ufb01nal o\ufb00er") << QStringLiteral("FINAL OFF") << true;
    QTest::newRow("Greek final sigma and capitals") << QStringLiteral("\u039f\u0394\u039f\u03a3") << QStringLiteral("\u03bf\u03b4\u03bf\u03c3") << true;
    QTest::newRow("accent kept, composed") << composed << QStringLiteral("cafe") << false;
    QTest::newRow("accent kept, decomposed") << decomposed << QStringLiteral("cafe") << false;
    QTest::newRow("decomposed finds composed") << composed << QStringLiteral("CAFE\u0301") << true;
    QTest::newRow("composed finds decomposed") << decomposed << QStringLiteral("caf\u00c9") << true;
    QTest::newRow("a letter with marks that do not compose")
        << QStringLiteral("q\u0303 and q") << QStringLiteral("q\u0303") << true;
    QTest::newRow("the bare letter is not the marked one")
        << QStringLiteral("xq\u0303y") << QStringLiteral("xq") << false;
    QTest::newRow("the bare letter found later") << QStringLiteral("q\u0303 q!") << QStringLiteral("q") << true;
    QTest::newRow("Hangul written as jamo") << QStringLiteral("\u1112\u1161\u11ab") << QStringLiteral("\ud55c") << true;
    QTest::newRow("a syllable is not its first jamo") << QStringLiteral("\ud55c") << QStringLiteral("\u1112") << false;
}

void TextUtilitiesTest::caseInsensitiveNeedle()
{
    QFETCH(QString, haystack);
    QFETCH(QString, needle);
    QFETCH(bool, found);
    QCOMPARE(CaseInsensitiveNeedle(needle).isFoundIn(haystack), found);
}

void TextUtilitiesTest::utf8Prefix_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("maxBytes");
    QTest::addColumn<QString>("expected");
    const QString accented = QStringLiteral("e\u0301"); // 3 bytes
    const QString emoji = QStringLiteral("😀"); // 4 bytes, two code units
    const QString half(QChar(0xD83D)); // what is left of an emoji cut elsewhere

    QTest::newRow("fits") << "abc" << 3 << "abc";
    QTest::newRow("cut") << "abcd" << 3 << "abc";
    // Never cuts inside a character: the accent stays with its letter.
    QTest::newRow("accent stays with its letter") << u"a"_qs + accented << 3 << "a";
    QTest::newRow("accented letter fits") << u"a"_qs + accented << 4 << u"a"_qs + accented;
    QTest::newRow("emoji never split") << u"a"_qs + emoji + emoji << 8 << u"a"_qs + emoji;
    // Written to the file system as U+FFFD, three bytes, not one.
    QTest::newRow("half an emoji") << QString(250, u'a') + half + u"bbbb"_qs << 251 << QString(250, u'a');
    QTest::newRow("half an emoji that fits") << u"ab"_qs + half << 5 << u"ab"_qs + half;
    // One letter with more marks than fit: cut between code points rather
    // than leave nothing.
    QTest::newRow("first character too long") << u"a"_qs + QString(100, QChar(0x0301)) << 11
                                               << u"a"_qs + QString(5, QChar(0x0301));
}

void TextUtilitiesTest::utf8Prefix()
{
    QFETCH(QString, text);
    QFETCH(int, maxBytes);
    QFETCH(QString, expected);
    const QString prefix = utf8PrefixFitting(text, maxBytes);
    QCOMPARE(prefix, expected);
    QVERIFY(QFile::encodeName(prefix).size() <= maxBytes);
}

void TextUtilitiesTest::uuidParsing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("upper") << "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D" << true;
    QTest::newRow("lower") << "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d" << true;
    QTest::newRow("nil") << "00000000-0000-0000-0000-000000000000" << true;
    QTest::newRow("every digit") << "F0E1D2C3-B4A5-9687-7869-5A4B3C2D1E0F" << true;
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

void TextUtilitiesTest::relativeTime_data()
{
    QTest::addColumn<qint64>("secondsAgo");
    QTest::addColumn<RelativeTimeStyle>("style");
    QTest::addColumn<QString>("text");
    constexpr auto named = RelativeTimeStyle::named;
    constexpr auto numeric = RelativeTimeStyle::numeric;
    QTest::newRow("under a minute") << qint64(59) << named << QStringLiteral("now");
    QTest::newRow("one minute") << qint64(60) << named << QStringLiteral("1 minute ago");
    QTest::newRow("just under an hour") << qint64(3599) << named << QStringLiteral("59 minutes ago");
    QTest::newRow("one day is yesterday") << qint64(86400 + 5) << named << QStringLiteral("yesterday");
    QTest::newRow("one day ahead is tomorrow") << qint64(-86400 - 5) << named << QStringLiteral("tomorrow");
    QTest::newRow("two days") << qint64(2 * 86400 + 5) << named << QStringLiteral("2 days ago");
    QTest::newRow("thirteen days are last week") << qint64(13 * 86400) << named << QStringLiteral("last week");
    QTest::newRow("two years") << qint64(2 * 365 * 86400) << named << QStringLiteral("2 years ago");
    QTest::newRow("ahead of the clock") << qint64(-3 * 3600) << named << QStringLiteral("in 3 hours");
    QTest::newRow("days ahead are ahead") << qint64(-3 * 86400) << named << QStringLiteral("in 3 days");
    QTest::newRow("numbers count seconds") << qint64(30) << numeric << QStringLiteral("30 seconds ago");
    QTest::newRow("numbers count one second") << qint64(1) << numeric << QStringLiteral("1 second ago");
    QTest::newRow("numbers count a day") << qint64(86400 + 5) << numeric << QStringLiteral("1 day ago");
    QTest::newRow("numbers count a day ahead") << qint64(-86400) << numeric << QStringLiteral("in 1 day");
    QTest::newRow("numbers count the last second ahead") << qint64(-1) << numeric << QStringLiteral("in 1 second");
    QTest::newRow("numbers count minutes") << qint64(59 * 60 + 59) << numeric << QStringLiteral("59 minutes ago");
    QTest::newRow("eleven months") << qint64(359 * 86400) << numeric << QStringLiteral("11 months ago");
    QTest::newRow("twelve months run into a year") << qint64(361 * 86400) << numeric << QStringLiteral("12 months ago");
    QTest::newRow("a minute ahead") << qint64(-90) << named << QStringLiteral("in 1 minute");
}

void TextUtilitiesTest::relativeTime()
{
    QFETCH(qint64, secondsAgo);
    QFETCH(RelativeTimeStyle, style);
    QFETCH(QString, text);
    const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
    QCOMPARE(relativeTimeText(now.addSecs(-secondsAgo), now, style), text);

    // The text holds until the moment it is said to change, and changes
    // then, also a moment into a second.
    for (const qint64 intoTheSecond : {0, 1, 999}) {
        const QDateTime date = now.addSecs(-secondsAgo).addMSecs(-intoTheSecond);
        const QString shown = relativeTimeText(date, now, style);
        const QDateTime change = relativeTimeTextChange(date, now, style);
        QVERIFY(change > now);
        QCOMPARE(relativeTimeText(date, change.addMSecs(-1), style), shown);
        QVERIFY2(relativeTimeText(date, change, style) != shown,
                 qPrintable(QStringLiteral("still \"%1\" at %2 ms after").arg(shown).arg(now.msecsTo(change))));
    }
}

QTEST_GUILESS_MAIN(TextUtilitiesTest)
#include "tst_textutilities.moc"
