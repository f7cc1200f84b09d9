#include "../support/MainWindowRig.h"

#include "shell/ErrorAlertController.h"
#include "platform/PlatformTexts.h"

#include <QSignalSpy>
#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;

using Action = ErrorAlertController::Action;
using Kind = CaptureSubsystemError::Kind;

namespace {

QStringList buttonTitles(const ErrorAlertController &alert)
{
    QStringList titles;
    for (const auto &button : alert.buttons())
        titles << button.title;
    return titles;
}

} // namespace

class ErrorAlertTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void buttonsFollowTheCaptureError_data();
    void buttonsFollowTheCaptureError();
    void closingClearsMessageErrorAndFailedState_data();
    void closingClearsMessageErrorAndFailedState();
    void actionMessageOutlivesTheClosing_data();
    void actionMessageOutlivesTheClosing();
    void noticeWithoutCaptureError();
};

void ErrorAlertTest::buttonsFollowTheCaptureError_data()
{
    QTest::addColumn<CaptureSubsystemError>("error");
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<QList<int>>("actions");
    const QString notNow = QStringLiteral("Not Now");
    QTest::newRow("access denied") << CaptureSubsystemError::permissionDenied()
                                   << QStringList{PlatformTexts::openPrivacySettingsButton(), notNow}
                                   << QList<int>{int(Action::openPrivacySettings), int(Action::dismiss)};
    QTest::newRow("access off in settings") << CaptureSubsystemError::permissionNeedsSettings()
                                            << QStringList{PlatformTexts::openPrivacySettingsButton(), notNow}
                                            << QList<int>{int(Action::openPrivacySettings), int(Action::dismiss)};
    QTest::newRow("restart required") << CaptureSubsystemError::permissionRestartRequired()
                                      << QStringList{QStringLiteral("Quit & Reopen Tessaline"), notNow}
                                      << QList<int>{int(Action::relaunch), int(Action::dismiss)};
    // A Wayland desktop's portal: there is no privacy pane to open.
    QTest::newRow("screenshot portal missing")
        << CaptureSubsystemError::permissionNeedsSettings(PlatformTexts::screenshotPortalMissing()) << QStringList{"OK"}
        << QList<int>{int(Action::dismiss)};
    // The portal said no: only asking again gets the desktop's question back.
    QTest::newRow("screenshot portal refused")
        << CaptureSubsystemError::permissionDenied(PlatformTexts::screenshotPortalRefused())
        << QStringList{PlatformTexts::requestScreenshotAccessButton(), notNow}
        << QList<int>{int(Action::requestAccess), int(Action::dismiss)};
    QTest::newRow("other capture error") << CaptureSubsystemError::noDisplayUnderPointer() << QStringList{"OK"}
                                         << QList<int>{int(Action::dismiss)};
}

void ErrorAlertTest::buttonsFollowTheCaptureError()
{
    QFETCH(CaptureSubsystemError, error);
    QFETCH(QStringList, buttons);
    QFETCH(QList<int>, actions);
    MainWindowRig rig;
    ErrorAlertController alert(*rig.runtime);
    QSignalSpy changed(&alert, &ErrorAlertController::changed);
    QVERIFY(!alert.isPresented());
    rig.failCapture(error);
    QVERIFY(alert.isPresented());
    QVERIFY(changed.count() >= 1);
    QCOMPARE(alert.title(), QStringLiteral("Tessaline needs attention"));
    QCOMPARE(alert.message(), error.errorDescription());
    QCOMPARE(buttonTitles(alert), buttons);
    QList<int> kinds;
    for (const auto &button : alert.buttons())
        kinds << int(button.action);
    QCOMPARE(kinds, actions);
    // Exactly the last button is the cancel one.
    QVERIFY(alert.buttons().last().isCancel);
}

void ErrorAlertTest::closingClearsMessageErrorAndFailedState_data()
{
    QTest::addColumn<CaptureSubsystemError>("error");
    QTest::addColumn<bool>("viaButton");
    QTest::newRow("OK") << CaptureSubsystemError::noDisplayUnderPointer() << true;
    QTest::newRow("Not Now") << CaptureSubsystemError::permissionNeedsSettings() << true;
    QTest::newRow("closed without a button") << CaptureSubsystemError::permissionRestartRequired() << false;
}

void ErrorAlertTest::closingClearsMessageErrorAndFailedState()
{
    QFETCH(CaptureSubsystemError, error);
    QFETCH(bool, viaButton);
    MainWindowRig rig;
    ErrorAlertController alert(*rig.runtime);
    rig.failCapture(error);
    QCOMPARE(rig.runtime->captureCoordinator().state().kind(), CaptureCoordinatorState::Kind::failed);
    QCOMPARE(rig.runtime->activeCaptureError(), std::optional(error));

    if (viaButton)
        alert.trigger(Action::dismiss);
    else
        alert.dismiss();
    QVERIFY(!alert.isPresented());
    QCOMPARE(rig.runtime->errorMessage(), std::nullopt);
    QCOMPARE(rig.runtime->activeCaptureError(), std::nullopt);
    QCOMPARE(rig.runtime->captureCoordinator().state().kind(), CaptureCoordinatorState::Kind::idle);
    QCOMPARE(rig.settingsOpened, 0);
    QCOMPARE(rig.windowing.terminated, 0);
}

void ErrorAlertTest::actionMessageOutlivesTheClosing_data()
{
    QTest::addColumn<CaptureSubsystemError>("error");
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<QString>("remaining");
    QTest::newRow("privacy settings opened") << CaptureSubsystemError::permissionNeedsSettings() << true << QString();
    QTest::newRow("privacy settings could not open") << CaptureSubsystemError::permissionDenied() << false
                                                     << PlatformTexts::openPrivacySettingsInstruction();
    QTest::newRow("access requested again")
        << CaptureSubsystemError::permissionNeedsSettings(PlatformTexts::screenshotPortalRefused()) << true << QString();
    QTest::newRow("relaunched") << CaptureSubsystemError::permissionRestartRequired() << true << QString();
    QTest::newRow("relaunch failed") << CaptureSubsystemError::permissionRestartRequired() << false
                                     << QStringLiteral("Tessaline could not reopen automatically. Quit it and open it again. no launcher");
}

void ErrorAlertTest::actionMessageOutlivesTheClosing()
{
    QFETCH(CaptureSubsystemError, error);
    QFETCH(bool, succeeds);
    QFETCH(QString, remaining);
    MainWindowRig rig;
    rig.settingsOpen = succeeds;
    if (!succeeds)
        rig.launchFailure = QStringLiteral("no launcher");
    ErrorAlertController alert(*rig.runtime);
    rig.permission->access = error.kind() == Kind::permissionRestartRequired;
    rig.failCapture(error);
    const Action action = alert.buttons().first().action;
    const int requestsBefore = rig.permission->requestCalls;

    alert.trigger(action);
    QCOMPARE(rig.permission->requestCalls - requestsBefore, action == Action::requestAccess ? 1 : 0);
    if (error.kind() == Kind::permissionRestartRequired)
        QCOMPARE(rig.windowing.terminated, succeeds ? 1 : 0);
    else
        QCOMPARE(rig.settingsOpened, action == Action::openPrivacySettings ? 1 : 0);
    QCOMPARE(rig.runtime->errorMessage().value_or(QString()), remaining);
    // A message left by the action brings the alert back, as a plain one.
    QCOMPARE(alert.isPresented(), !remaining.isEmpty());
    QCOMPARE(rig.runtime->activeCaptureError(), std::nullopt);
    QCOMPARE(rig.runtime->captureCoordinator().state().kind(), CaptureCoordinatorState::Kind::idle);
    if (!remaining.isEmpty())
        QCOMPARE(buttonTitles(alert), QStringList{"OK"});
}

void ErrorAlertTest::noticeWithoutCaptureError()
{
    MainWindowRig rig;
    ErrorAlertController alert(*rig.runtime);
    QCOMPARE(alert.message(), QStringLiteral("An unexpected error occurred."));
    const QString notice = QStringLiteral("Cloud sync could not start, so Tessaline opened the local library instead. offline");
    rig.runtime->setErrorMessage(notice);
    QVERIFY(alert.isPresented());
    QCOMPARE(alert.message(), notice);
    QCOMPARE(buttonTitles(alert), QStringList{"OK"});
    alert.trigger(Action::dismiss);
    QCOMPARE(rig.runtime->errorMessage(), std::nullopt);
    QCOMPARE(rig.runtime->activeCaptureError(), std::nullopt);
    QCOMPARE(rig.runtime->captureCoordinator().state().kind(), CaptureCoordinatorState::Kind::idle);
}

QTEST_GUILESS_MAIN(ErrorAlertTest)
#include "tst_erroralert.moc"
