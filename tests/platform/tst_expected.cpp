#include "platform/Expected.h"

#include <QStringList>
#include <QTest>

#include <memory>

using namespace tessaline;

namespace {

struct Failure
{
    QString reason;
};

// A step that fails on negative input; records every call, so a test sees
// which steps ran.
Expected<int, Failure> halve(int value, QStringList &calls)
{
    calls << QStringLiteral("halve %1").arg(value);
    if (value < 0)
        return unexpected(Failure{QStringLiteral("negative %1").arg(value)});
    return value / 2;
}

} // namespace

class ExpectedTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void andThenStopsAtTheFirstFailure_data();
    void andThenStopsAtTheFirstFailure();
    void transformMapsOnlyTheValue();
    void voidResultsChain();
    void transformErrorAndFallback();
    void temporariesMoveTheirValue();
};

void ExpectedTest::andThenStopsAtTheFirstFailure_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("outcome");

    QTest::newRow("every step succeeds") << 40 << QStringList{"halve 40", "halve 20"} << QStringLiteral("10");
    QTest::newRow("the first step fails") << -8 << QStringList{"halve -8"} << QStringLiteral("negative -8");
    QTest::newRow("the last step fails") << 1 << QStringList{"halve 1", "halve 0"} << QStringLiteral("nothing to divide");
}

void ExpectedTest::andThenStopsAtTheFirstFailure()
{
    QFETCH(int, start);
    QFETCH(QStringList, calls);
    QFETCH(QString, outcome);

    QStringList made;
    const Expected<int, Failure> result = halve(start, made)
                                              .and_then([&](int v) { return halve(v, made); })
                                              .and_then([](int v) -> Expected<int, Failure> {
                                                  if (v == 0)
                                                      return unexpected(Failure{QStringLiteral("nothing to divide")});
                                                  return 100 / v;
                                              });
    QCOMPARE(made, calls);
    QCOMPARE(result ? QString::number(*result) : result.error().reason, outcome);
}

void ExpectedTest::transformMapsOnlyTheValue()
{
    int mapped = 0;
    const auto doubled = [&](int v) {
        ++mapped;
        return QString::number(v * 2);
    };
    const Expected<int, Failure> good = 21;
    const Expected<QString, Failure> text = good.transform(doubled);
    QVERIFY(text);
    QCOMPARE(*text, QStringLiteral("42"));

    const Expected<int, Failure> bad = unexpected(Failure{QStringLiteral("no value")});
    const Expected<QString, Failure> none = bad.transform(doubled);
    QVERIFY(!none);
    QCOMPARE(none.error().reason, QStringLiteral("no value"));
    QCOMPARE(mapped, 1);

    // A function returning nothing keeps only success or failure.
    int seen = 0;
    const Expected<void, Failure> used = good.transform([&](int v) { seen = v; });
    QVERIFY(used);
    QCOMPARE(seen, 21);
    QVERIFY(!bad.transform([&](int v) { seen = v; }));
    QCOMPARE(seen, 21);
}

void ExpectedTest::voidResultsChain()
{
    const Expected<void, Failure> saved;
    const Expected<void, Failure> refused = unexpected(Failure{QStringLiteral("disk full")});
    QVERIFY(saved);
    QVERIFY(!refused);

    const Expected<QString, Failure> afterSave = saved.transform([] { return QStringLiteral("stored"); });
    QCOMPARE(afterSave.value(), QStringLiteral("stored"));
    const Expected<QString, Failure> afterRefusal = refused.transform([] { return QStringLiteral("stored"); });
    QCOMPARE(afterRefusal.error().reason, QStringLiteral("disk full"));

    int steps = 0;
    const auto step = [&]() -> Expected<void, Failure> {
        ++steps;
        return {};
    };
    QVERIFY(saved.and_then(step).and_then(step));
    QCOMPARE(steps, 2);
    QCOMPARE(refused.and_then(step).and_then(step).error().reason, QStringLiteral("disk full"));
    QCOMPARE(steps, 2);
}

void ExpectedTest::transformErrorAndFallback()
{
    const auto explained = [](const Failure &failure) { return QStringLiteral("Could not save: ") + failure.reason; };
    const Expected<int, Failure> bad = unexpected(Failure{QStringLiteral("read-only")});
    const Expected<int, QString> message = bad.transform_error(explained);
    QCOMPARE(message.error(), QStringLiteral("Could not save: read-only"));
    using Result = Expected<int, Failure>;
    QCOMPARE(Result(7).transform_error(explained).value(), 7);

    const Expected<void, Failure> refused = unexpected(Failure{QStringLiteral("locked")});
    QCOMPARE(refused.transform_error(explained).error(), QStringLiteral("Could not save: locked"));
    using Done = Expected<void, Failure>;
    QVERIFY(Done().transform_error(explained));

    QCOMPARE(bad.value_or(-1), -1);
    QCOMPARE(Result(3).value_or(-1), 3);
}

void ExpectedTest::temporariesMoveTheirValue()
{
    // A value that cannot be copied still passes through a chain of temporaries.
    using Owned = Expected<std::unique_ptr<int>, Failure>;
    auto make = []() -> Owned { return std::make_unique<int>(6); };
    const Expected<int, Failure> result = make()
                                              .and_then([](std::unique_ptr<int> p) -> Owned {
                                                  *p *= 7;
                                                  return p;
                                              })
                                              .transform([](std::unique_ptr<int> p) { return *p; });
    QCOMPARE(result.value(), 42);
    QCOMPARE(*make().value_or(std::make_unique<int>(0)), 6);
}

QTEST_GUILESS_MAIN(ExpectedTest)
#include "tst_expected.moc"
