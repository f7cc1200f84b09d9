#include "runtime/OnboardingState.h"

#include <QTest>

using namespace tessaline;

class OnboardingStateTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rawValues_data();
    void rawValues();
    void permissionGuideStage_data();
    void permissionGuideStage();
    void nameWords_data();
    void nameWords();
};

void OnboardingStateTest::rawValues_data()
{
    QTest::addColumn<int>("rawValue");
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("step");
    // -1 stands for "none".
    QTest::newRow("below range") << -1 << -1 << -1;
    QTest::newRow("first") << 0 << int(OnboardingPage::welcome) << int(GuidedTourStep::capture);
    QTest::newRow("second") << 1 << int(OnboardingPage::capture) << int(GuidedTourStep::today);
    QTest::newRow("third") << 2 << int(OnboardingPage::thinking) << int(GuidedTourStep::boards);
    QTest::newRow("last") << 3 << int(OnboardingPage::ready) << int(GuidedTourStep::snipPreview);
    QTest::newRow("above range") << 4 << -1 << -1;
}

void OnboardingStateTest::rawValues()
{
    QFETCH(int, rawValue);
    QFETCH(int, page);
    QFETCH(int, step);
    const auto foundPage = onboardingPageFromRawValue(rawValue);
    const auto foundStep = guidedTourStepFromRawValue(rawValue);
    QCOMPARE(foundPage ? int(*foundPage) : -1, page);
    QCOMPARE(foundStep ? int(*foundStep) : -1, step);
    if (page >= 0) {
        QCOMPARE(int(allOnboardingPages.at(rawValue)), page);
        QCOMPARE(int(allGuidedTourSteps.at(rawValue)), step);
    }
}

void OnboardingStateTest::permissionGuideStage_data()
{
    QTest::addColumn<ScreenCapturePermissionState>("state");
    QTest::addColumn<CapturePermissionGuideStage>("stage");
    QTest::newRow("not requested") << ScreenCapturePermissionState::notRequested
                                   << CapturePermissionGuideStage::explanation;
    QTest::newRow("needs settings") << ScreenCapturePermissionState::needsSettings
                                    << CapturePermissionGuideStage::systemSettings;
    QTest::newRow("restart required") << ScreenCapturePermissionState::restartRequired
                                      << CapturePermissionGuideStage::restartRequired;
    QTest::newRow("authorized") << ScreenCapturePermissionState::authorized
                                << CapturePermissionGuideStage::authorized;
}

void OnboardingStateTest::permissionGuideStage()
{
    QFETCH(ScreenCapturePermissionState, state);
    QFETCH(CapturePermissionGuideStage, stage);
    QCOMPARE(capturePermissionGuideStage(state), stage);
}

void OnboardingStateTest::nameWords_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("words");
    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("whitespace only") << QStringLiteral(" \t\n\r ") << QStringList();
    QTest::newRow("one word") << QStringLiteral("Ada") << QStringList {"Ada"};
    QTest::newRow("padded and repeated")
        << QStringLiteral(" Ada   Lovelace ") << QStringList {"Ada", "Lovelace"};
    QTest::newRow("tab, line break, trailing spaces")
        << QStringLiteral("\tAda\n Lovelace  ") << QStringList {"Ada", "Lovelace"};
    QTest::newRow("unicode spaces")
        << QStringLiteral("Ada\u00A0Byron\u2003King\u3000Lovelace\u2028X\u0085Y")
        << QStringList {"Ada", "Byron", "King", "Lovelace", "X", "Y"};
    // Zero-width space is a format character, not whitespace.
    QTest::newRow("zero-width space kept") << QStringLiteral("A\u200BB") << QStringList {QStringLiteral("A\u200BB")};
    QTest::newRow("punctuation and case kept")
        << QStringLiteral("  o'BRIEN,  jr. ") << QStringList {"o'BRIEN,", "jr."};
    QTest::newRow("astral characters")
        << QStringLiteral("\U0001F600 \U0001D400") << QStringList {QStringLiteral("\U0001F600"), QStringLiteral("\U0001D400")};
}

void OnboardingStateTest::nameWords()
{
    QFETCH(QString, text);
    QFETCH(QStringList, words);
    QCOMPARE(onboardingNameWords(text), words);
}

QTEST_GUILESS_MAIN(OnboardingStateTest)
#include "tst_onboardingstate.moc"
