#include "platform/Json.h"

#include <QTest>

using namespace tessaline;

class JsonTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void writesDeterministicText_data();
    void writesDeterministicText();
    void refusesWhatCannotBeWritten();
    void loneSurrogatesReadAsReplacement_data();
    void loneSurrogatesReadAsReplacement();
    void numbersReadBackExactly();
    void strictAccessors();
};

void JsonTest::writesDeterministicText_data()
{
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("keys sorted, compact")
        << QJsonValue(QJsonObject{{"text", "a"}, {"id", 1}, {"kind", true}})
        << QByteArray(R"({"id":1,"kind":true,"text":"a"})");
    QTest::newRow("solidus escaped")
        << QJsonValue(QJsonArray{"a/b"}) << QByteArray(R"(["a\/b"])");
    QTest::newRow("quotes, backslash, controls")
        << QJsonValue(QJsonArray{QStringLiteral("\"\\\n\t\x01")})
        << QByteArray(R"(["\"\\\n\t\u0001"])");
    QTest::newRow("non-ASCII raw UTF-8")
        << QJsonValue(QJsonArray{QStringLiteral("here—é😀")})
        << QString(R"(["here—é😀"])").toUtf8();
    QTest::newRow("nested, null")
        << QJsonValue(QJsonObject{{"b", QJsonArray{QJsonObject{{"z", QJsonValue::Null}, {"a", 2.5}}}}})
        << QByteArray(R"({"b":[{"a":2.5,"z":null}]})");
    QTest::newRow("integral doubles without fraction")
        << QJsonValue(QJsonArray{1.0, -3.0, 0.0, 1e21})
        << QByteArray(R"([1,-3,0,1e+21])");
}

void JsonTest::writesDeterministicText()
{
    QFETCH(QJsonValue, value);
    QFETCH(QByteArray, expected);
    const auto written = writeJson(value);
    QVERIFY(written);
    QCOMPARE(*written, expected);
    // What is written parses back to the same value.
    const auto parsed = parseJson(*written);
    QVERIFY(parsed);
    QCOMPARE(*parsed, value);
}

void JsonTest::refusesWhatCannotBeWritten()
{
    QString loneSurrogate;
    loneSurrogate.append(QChar(0xD800));
    QVERIFY(!writeJson(QJsonArray{loneSurrogate}));
    QVERIFY(!writeJson(QJsonArray{std::numeric_limits<double>::quiet_NaN()}));
    QVERIFY(!writeJson(QJsonArray{std::numeric_limits<double>::infinity()}));
    QVERIFY(!parseJson("{\"a\":"));
    QVERIFY(!parseJson("\"just a string\""));
}

void JsonTest::loneSurrogatesReadAsReplacement_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QJsonValue>("expected");
    const QString replacement(QChar::ReplacementCharacter);

    QTest::newRow("lone high")
        << QByteArray(R"(["a\ud800b"])") << QJsonValue(QJsonArray{u"a"_qs + replacement + u"b"_qs});
    QTest::newRow("lone low at the end")
        << QByteArray(R"(["a\uDC00"])") << QJsonValue(QJsonArray{u"a"_qs + replacement});
    QTest::newRow("pair in the wrong order")
        << QByteArray(R"(["\udc00\ud800"])") << QJsonValue(QJsonArray{replacement + replacement});
    QTest::newRow("escaped pair kept")
        << QByteArray(R"(["\ud83d\ude00"])") << QJsonValue(QJsonArray{QStringLiteral("😀")});
    QTest::newRow("in a key and nested")
        << QByteArray(R"({"k\ud800":[{"t":"\udbff"}]})")
        << QJsonValue(QJsonObject{{u"k"_qs + replacement, QJsonArray{QJsonObject{{u"t"_qs, replacement}}}}});
}

void JsonTest::loneSurrogatesReadAsReplacement()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QJsonValue, expected);
    const auto parsed = parseJson(bytes);
    QVERIFY(parsed);
    QCOMPARE(*parsed, expected);
    // What was read can always be written again.
    QVERIFY(writeJson(*parsed));
}

void JsonTest::numbersReadBackExactly()
{
    for (double value : {0.1, 1.0 / 3.0, 123456.789, 5e-324, 1.7976931348623157e308, -0.000123}) {
        const auto written = writeJson(QJsonArray{value});
        QVERIFY(written);
        const auto parsed = parseJson(*written);
        QVERIFY(parsed);
        QCOMPARE(parsed->toArray().at(0).toDouble(), value);
    }
    QCOMPARE(*writeJson(QJsonArray{0.1}), QByteArray("[0.1]"));
}

void JsonTest::strictAccessors()
{
    const QJsonObject object{{"s", "x"}, {"n", 3}, {"nul", QJsonValue::Null},
                             {"u", "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d"}, {"bad", "not-a-uuid"}};
    QCOMPARE(json::string(object, QLatin1StringView("s")), std::optional<QString>("x"));
    QVERIFY(!json::string(object, QLatin1StringView("n")));
    QVERIFY(!json::string(object, QLatin1StringView("missing")));
    QVERIFY(!json::number(object, QLatin1StringView("s")));
    QCOMPARE(*json::number(object, QLatin1StringView("n")), 3.0);

    const auto absent = json::optionalString(object, QLatin1StringView("missing"));
    QVERIFY(absent && !*absent);
    const auto null = json::optionalString(object, QLatin1StringView("nul"));
    QVERIFY(null && !*null);
    QVERIFY(!json::optionalString(object, QLatin1StringView("n")));

    const auto uuid = json::uuid(object, QLatin1StringView("u"));
    QVERIFY(uuid);
    QCOMPARE(uuid->toString(QUuid::WithoutBraces), QStringLiteral("0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d"));
    QVERIFY(!json::uuid(object, QLatin1StringView("bad")));
    QVERIFY(!json::optionalUuid(object, QLatin1StringView("bad")));
}

QTEST_GUILESS_MAIN(JsonTest)
#include "tst_json.moc"
