#include "design/AnimatedAmount.h"
#include "design/DesignTokens.h"
#include "design/SemanticColors.h"
#include "design/SemanticPalette.h"
#include "platform/AccessibilitySettings.h"
#include "../support/DesktopAppearance.h"

#include <QApplication>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QWidget>
#include <QTest>

#include <algorithm>
#include <thread>
#include <vector>

using namespace tessaline;

class DesignTokensTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void animationsAreMadeOnceAndShared();
    void animationCurves();
    void amountsFadeUnlessMotionIsReduced();
    void fonts_data();
    void fonts();
    void fontsFollowTheDesktopFont();
    void coloursFollowThePalette();
    void keptColoursFollowTheAppearance_data();
    void keptColoursFollowTheAppearance();
    void semanticMapping_data();
    void semanticMapping();
    void textIsReadable_data();
    void textIsReadable();
};

void DesignTokensTest::animationsAreMadeOnceAndShared()
{
    // Readers racing on the first read all receive the one value.
    std::vector<const TessalineAnimation *> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = &TessalineMotion::gentle(); });
    for (std::thread &thread : threads)
        thread.join();
    for (const TessalineAnimation *animation : seen)
        QCOMPARE(animation, &TessalineMotion::gentle());
    QCOMPARE(&TessalineMotion::snappy(), &TessalineMotion::snappy());
    QVERIFY(&TessalineMotion::snappy() != &TessalineMotion::smooth());
}

void DesignTokensTest::animationCurves()
{
    // Ease-out moves fast first; ease-in-out is slow at both ends.
    const TessalineAnimation &snappy = TessalineMotion::snappy();
    const TessalineAnimation &smooth = TessalineMotion::smooth();
    const TessalineAnimation &gentle = TessalineMotion::gentle();
    QCOMPARE(snappy.durationMs, 110);
    QCOMPARE(smooth.durationMs, 190);
    QCOMPARE(gentle.durationMs, 220);
    QVERIFY(snappy.curve.valueForProgress(0.25) > 0.4);
    QVERIFY(gentle.curve.valueForProgress(0.25) > 0.4);
    QVERIFY(smooth.curve.valueForProgress(0.25) < 0.25);
    QVERIFY(smooth.curve.valueForProgress(0.75) > 0.75);
    QVERIFY(qAbs(smooth.curve.valueForProgress(0.5) - 0.5) < 0.01);
}

void DesignTokensTest::amountsFadeUnlessMotionIsReduced()
{
    QObject owner;
    AnimatedAmount amount(&owner);
    QSignalSpy steps(&amount, &AnimatedAmount::valueChanged);

    AccessibilitySettings::shared().setReducesMotion(true);
    amount.setOn(true);
    QCOMPARE(amount.value(), 1.0);
    QCOMPARE(steps.count(), 1);
    amount.setOn(true);
    QCOMPARE(steps.count(), 1);
    amount.setOn(false);
    QCOMPARE(amount.value(), 0.0);

    AccessibilitySettings::shared().setReducesMotion(false);
    steps.clear();
    amount.setOn(true);
    QVERIFY(amount.isOn());
    QCOMPARE(amount.value(), 0.0);
    QTRY_COMPARE(amount.value(), 1.0);
    // It passed through values in between on the way.
    QVERIFY(steps.count() > 1);
    QVERIFY(std::any_of(steps.begin(), steps.end(), [](const QList<QVariant> &step) {
        return step.at(0).toReal() > 0 && step.at(0).toReal() < 1;
    }));
}

void DesignTokensTest::fonts_data()
{
    QTest::addColumn<QFont>("font");
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<int>("weight");
    QTest::newRow("caption") << TessalineTypography::caption() << 11 << int(QFont::Medium);
    QTest::newRow("body") << TessalineTypography::body() << 13 << int(QFont::Normal);
    QTest::newRow("title") << TessalineTypography::title() << 14 << int(QFont::DemiBold);
    QTest::newRow("large title") << TessalineTypography::largeTitle() << 19 << int(QFont::DemiBold);
    QTest::newRow("headline") << TessalineTypography::headline() << 13 << int(QFont::DemiBold);
}

void DesignTokensTest::fonts()
{
    QFETCH(QFont, font);
    QFETCH(int, pixelSize);
    QFETCH(int, weight);
    QCOMPARE(font.pixelSize(), pixelSize);
    QCOMPARE(int(font.weight()), weight);
}

void DesignTokensTest::fontsFollowTheDesktopFont()
{
    const QFont before = QApplication::font();
    QFont changed = before;
    changed.setFamily(QStringLiteral("DejaVu Serif"));
    QApplication::setFont(changed);
    QCOMPARE(TessalineTypography::body().family(), changed.family());
    QApplication::setFont(before);
    QCOMPARE(TessalineTypography::body().family(), before.family());
}

void DesignTokensTest::coloursFollowThePalette()
{
    const QPalette before = QApplication::palette();
    QPalette dark = before;
    dark.setColor(QPalette::Window, QColor(30, 30, 32));
    dark.setColor(QPalette::WindowText, QColor(240, 240, 240));
    dark.setColor(QPalette::Base, QColor(40, 40, 44));
    QApplication::setPalette(dark);
    QCOMPARE(TessalineColors::windowBackground(), QColor(30, 30, 32));
    QCOMPARE(TessalineColors::label(), QColor(240, 240, 240));
    QCOMPARE(TessalineColors::controlBackground(), QColor(40, 40, 44));
    QCOMPARE(TessalineColors::textBackground(), QColor(40, 40, 44));
    QCOMPARE(TessalineColors::separator().rgb(), QColor(240, 240, 240).rgb());
    QCOMPARE(TessalineColors::shadow(), QColor(Qt::black));
    QApplication::setPalette(before);
    QCOMPARE(TessalineColors::windowBackground(), before.color(QPalette::Window));
}

void DesignTokensTest::keptColoursFollowTheAppearance_data()
{
    QTest::addColumn<QString>("placement");
    QTest::newRow("a window of its own") << QStringLiteral("window");
    QTest::newRow("inside a window") << QStringLiteral("child");
    QTest::newRow("made alone, then put in a window") << QStringLiteral("adopted");
    QTest::newRow("in a window that keeps colours of its own") << QStringLiteral("nested");
}

// A column filled with the control colour and a caption in the secondary
// colour, as the screens make them, read again at each of the desktop's
// switches: with colours copied once, a switch to dark left light-grey text on
// the white fill of the light appearance.
void DesignTokensTest::keptColoursFollowTheAppearance()
{
    QFETCH(QString, placement);
    const QPalette light = QApplication::palette();
    const QPalette dark = testing::darkAppearance(light);
    const auto restore = qScopeGuard([light] {
        QApplication::setPalette(light);
        AccessibilitySettings::shared().setIncreasesContrast(false);
    });
    QWidget window;
    QWidget *outer = &window;
    if (placement == QLatin1String("nested")) {
        outer = new QWidget(&window);
        keepSemanticColors(outer, {{QPalette::Window, {SemanticColor::windowBackground, 1.0}}});
    }
    QWidget *column = placement == QLatin1String("window") ? &window
        : placement == QLatin1String("adopted")            ? new QWidget
                                                           : new QWidget(outer);
    keepSemanticColors(column, {{QPalette::Window, {SemanticColor::controlBackground, 1.0}},
                                {QPalette::WindowText, {SemanticColor::secondary, 1.0}}});
    if (placement == QLatin1String("adopted"))
        (new QVBoxLayout(&window))->addWidget(column);

    // The desktop's switch reaches widgets through posted events.
    const auto showsAppearance = [column](const QPalette &appearance, bool contrast) {
        const QPalette shown = column->palette();
        return shown.color(QPalette::Window) == semanticColor(SemanticColor::controlBackground, appearance)
            && shown.color(QPalette::WindowText) == semanticColor(SemanticColor::secondary, appearance, contrast)
            && contrastRatio(shown.color(QPalette::WindowText), shown.color(QPalette::Window)) >= minimumTextContrast;
    };
    QVERIFY(showsAppearance(light, false));
    QApplication::setPalette(dark);
    QTRY_VERIFY(showsAppearance(dark, false));
    AccessibilitySettings::shared().setIncreasesContrast(true);
    QTRY_VERIFY(showsAppearance(dark, true));
    AccessibilitySettings::shared().setIncreasesContrast(false);
    QApplication::setPalette(light);
    QTRY_VERIFY(showsAppearance(light, false));
}

void DesignTokensTest::semanticMapping_data()
{
    QTest::addColumn<int>("color");
    QTest::addColumn<bool>("translucent");
    QTest::addColumn<bool>("strongerWithContrast");
    QTest::newRow("separator") << int(SemanticColor::separator) << true << true;
    QTest::newRow("secondary") << int(SemanticColor::secondary) << true << true;
    QTest::newRow("tertiary") << int(SemanticColor::tertiary) << true << true;
    QTest::newRow("label") << int(SemanticColor::label) << false << false;
    QTest::newRow("window") << int(SemanticColor::windowBackground) << false << false;
}

void DesignTokensTest::semanticMapping()
{
    QFETCH(int, color);
    QFETCH(bool, translucent);
    QFETCH(bool, strongerWithContrast);
    const QPalette palette = QApplication::palette();
    const QColor standard = semanticColor(SemanticColor(color), palette, false);
    const QColor increased = semanticColor(SemanticColor(color), palette, true);
    QCOMPARE(standard.alpha() < 255, translucent);
    QCOMPARE(increased.alpha() > standard.alpha(), strongerWithContrast);
}

void DesignTokensTest::textIsReadable_data()
{
    QTest::addColumn<QPalette>("palette");
    QTest::addColumn<bool>("increasedContrast");
    QPalette light = QApplication::palette();
    QPalette dark = light;
    dark.setColor(QPalette::Window, QColor(53, 53, 53));
    dark.setColor(QPalette::WindowText, QColor(255, 255, 255));
    dark.setColor(QPalette::Base, QColor(42, 42, 42));
    dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
    dark.setColor(QPalette::HighlightedText, QColor(255, 255, 255));
    QTest::newRow("light") << light << false;
    QTest::newRow("light, more contrast") << light << true;
    QTest::newRow("dark") << dark << false;
    QTest::newRow("dark, more contrast") << dark << true;
}

// Every shade text is written in reads at 4.5:1 on every ground it is
// written on, selected rows included.
void DesignTokensTest::textIsReadable()
{
    QFETCH(QPalette, palette);
    QFETCH(bool, increasedContrast);
    const QList<std::pair<const char *, SemanticColor>> inks{
        {"label", SemanticColor::label}, {"secondary", SemanticColor::secondary}, {"tertiary", SemanticColor::tertiary}};
    const QList<std::pair<const char *, SemanticColor>> grounds{{"window", SemanticColor::windowBackground},
                                                                {"control", SemanticColor::controlBackground}};
    for (const auto &[inkName, ink] : inks) {
        for (const auto &[groundName, ground] : grounds) {
            const qreal ratio = contrastRatio(semanticColor(ink, palette, increasedContrast),
                                              semanticColor(ground, palette, increasedContrast));
            QVERIFY2(ratio >= minimumTextContrast,
                     qPrintable(QStringLiteral("%1 on %2: %3").arg(QLatin1String(inkName), QLatin1String(groundName),
                                                                    QString::number(ratio))));
        }
    }
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        const QColor fill = selectionFill(palette, group);
        const QColor text = palette.color(group, QPalette::HighlightedText);
        QVERIFY(contrastRatio(withOpacity(text, selectedSecondaryTextOpacity), fill) >= minimumTextContrast);
        QVERIFY(contrastRatio(text, fill) >= minimumTextContrast);
    }
    // The ratio itself: black on white is the most there is.
    QCOMPARE(qRound(contrastRatio(Qt::black, Qt::white)), 21);
    QCOMPARE(contrastRatio(Qt::white, Qt::white), 1.0);
}

QTEST_MAIN(DesignTokensTest)
#include "tst_designtokens.moc"
