#include "platform/AccessibilitySettings.h"
#include "platform/DesktopNotifications.h"
#include "platform/DesktopSearchBus.h"
#include "platform/MemoryRelease.h"
#include "platform/PlatformFactory.h"
#include "platform/ScheduledReminder.h"
#include "platform/UserDefaults.h"
#include "platform/WindowSystem.h"
#include "model/ModelContext.h"
#include "runtime/AppRuntime.h"
#include "runtime/DesktopSearch.h"
#include "runtime/OCRService.h"
#include "runtime/OnboardingCoordinator.h"
#include "shell/CaptureToastWindowController.h"
#include "shell/DeferredIconStyle.h"
#include "shell/EveryScreen.h"
#include "shell/MainWindowFrame.h"
#include "shell/MenuBarView.h"
#include "shell/PopupEscapeGuard.h"
#include "shell/PopupPlacementGuard.h"
#include "shell/QuitGuard.h"
#include "shell/RootView.h"
#include "shell/ShellWindowing.h"
#include "shell/SingleInstance.h"
#include "shell/TerminationSignals.h"
#include "shell/TessalineApp.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QEventLoop>
#include <QIcon>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include <chrono>
#include <cstdio>
#include <functional>

using namespace tessaline;

namespace {

// How long a start made only for the desktop's search stays without being
// asked anything. GNOME Shell asks at each keystroke of a search, so a
// minute keeps one search session in one process; a test may shorten it.
int searchProviderIdleTime()
{
    bool set = false;
    const int milliseconds = qEnvironmentVariableIntValue("TESSALINE_SEARCH_PROVIDER_IDLE_MS", &set);
    return set && milliseconds > 0 ? milliseconds : 60'000;
}

// Says why the app cannot start, in the terminal it was started from and
// in a window; the exit status for that.
int stopWith(const QString &message)
{
    std::fprintf(stderr, "%s\n", qPrintable(message));
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Tessaline"), message, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    return 1;
}

// Whether the reminder's systemd service started this process to show it.
bool startedForReminder(int argc, char *argv[])
{
    const QByteArray option = "--" + ScheduledReminder::titleOption.toLatin1();
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == option || argument.startsWith(option + '='))
            return true;
    }
    return false;
}

// How long a reminder waits to be clicked: a working day.
constexpr std::chrono::hours reminderPatience{8};

// Shows the reminder without a window, and without needing a display: the
// service may run before the desktop has told systemd where it is.
int showScheduledReminder(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tessaline"));
    QCommandLineParser parser;
    const QCommandLineOption title(ScheduledReminder::titleOption, QString(), QStringLiteral("title"));
    const QCommandLineOption body(ScheduledReminder::bodyOption, QString(), QStringLiteral("body"));
    const QCommandLineOption silent(ScheduledReminder::silentOption);
    parser.addOptions({title, body, silent});
    parser.process(application);
    DesktopNotifications notifications;
    ScheduledReminder reminder(notifications, [](const QString &activationToken) {
        // A plain start, as from the desktop's launcher: it opens Tessaline,
        // or has the running one come forward, with the click's token.
        QProcess start;
        start.setProgram(QCoreApplication::applicationFilePath());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DESKTOP_STARTUP_ID"));
        if (activationToken.isEmpty())
            environment.remove(QStringLiteral("XDG_ACTIVATION_TOKEN"));
        else
            environment.insert(QStringLiteral("XDG_ACTIVATION_TOKEN"), activationToken);
        start.setProcessEnvironment(environment);
        return start.startDetached();
    });
    QObject::connect(&reminder, &ScheduledReminder::finished, &application, &QCoreApplication::exit);
    reminder.show(parser.value(title), parser.value(body), parser.isSet(silent), reminderPatience);
    return application.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    failWritesPastFileSizeLimit();
    if (startedForReminder(argc, argv))
        return showScheduledReminder(argc, argv);
    // In a Wayland session, capture goes through the desktop's portals, which
    // only a native Wayland client can use well; Qt would pick XWayland on
    // some desktops, where captures of other windows come out black.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qgetenv("XDG_SESSION_TYPE") == "wayland")
        qputenv("QT_QPA_PLATFORM", "wayland;xcb");
    returnLargeBlocksToSystem();
    QApplication application(argc, argv);
    DeferredIconStyle::install();
    WindowSystem::keepActivationToOurRequests();
    WindowSystem::keepKeyboardWithBlockingDialogs();
    Q_INIT_RESOURCE(shell);
    QApplication::setApplicationName(QStringLiteral("Tessaline"));
    QApplication::setApplicationVersion(QStringLiteral(TESSALINE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.tessaline.Tessaline"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tessaline/app-icon.svg")));
    // Captures keep working from the hot keys and the tray after the main
    // window is closed; a new start brings the window back.
    QApplication::setQuitOnLastWindowClosed(false);
    PopupEscapeGuard popupEscapeGuard;
    application.installEventFilter(&popupEscapeGuard);
    PopupPlacementGuard popupPlacementGuard;
    application.installEventFilter(&popupPlacementGuard);
    const std::unique_ptr<QObject> dialogPlacement = PlatformFactory::dialogPlacement();
    if (dialogPlacement)
        application.installEventFilter(dialogPlacement.get());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Capture parts of the screen and think with them in notes."));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption replace(QStringLiteral("replace"));
    replace.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(replace);
    // How the session bus starts the app for the desktop's search.
    QCommandLineOption searchProvider(QStringLiteral("search-provider"));
    searchProvider.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(searchProvider);
    for (const CaptureCommand command : allCaptureCommands())
        parser.addOption(QCommandLineOption(captureCommandOption(command),
                                            captureCommandTitle(command) + QStringLiteral(" in the running Tessaline.")));
    parser.process(application);
    std::optional<CaptureCommand> command;
    for (const CaptureCommand candidate : allCaptureCommands()) {
        if (parser.isSet(captureCommandOption(candidate)))
            command = candidate;
    }

    const bool searchOnly = parser.isSet(searchProvider);
    SingleInstance instance;
    if (searchOnly ? !instance.claimQuietly() : !instance.claim(parser.isSet(replace), command)) {
        // The running instance answers the desktop's search; the bus waits
        // for it to take the name it started this process for.
        if (searchOnly)
            DesktopSearchBus::waitForService(10'000);
        return 0;
    }
    // Taken once a running instance would have been handed it.
    WindowSystem::holdLaunchToken();

    // The desktop's search is answered from the start, over the files as
    // they are, before the library is opened.
    const std::unique_ptr<DesktopSearch> desktopSearch = DesktopSearch::forDataDirectory();
    DesktopSearchBus searchBus(*desktopSearch);
    if (const auto registered = searchBus.registerOnBus(); !registered) {
        std::fprintf(stderr, "The desktop's search will not find snips: %s\n", qPrintable(registered.error()));
        // Started for nothing else: there is nothing to wait for.
        if (searchOnly)
            return 0;
    }

    // A start for the desktop's search alone opens no window and holds
    // nothing else: it answers until the app itself is asked for (a result
    // picked, a search carried on, another start), or leaves once the
    // desktop has asked nothing for a while; the bus starts it again for
    // the next search.
    std::optional<QUuid> snipToOpen;
    std::optional<QString> searchToShow;
    if (searchOnly) {
        QEventLoop answering;
        QObject waiting;
        QTimer idle;
        idle.setSingleShot(true);
        idle.setInterval(searchProviderIdleTime());
        bool leaving = false;
        QObject::connect(&idle, &QTimer::timeout, &waiting, [&] {
            leaving = true;
            answering.quit();
        });
        QObject::connect(desktopSearch.get(), &DesktopSearch::asked, &idle, qOverload<>(&QTimer::start));
        idle.start();
        QObject::connect(desktopSearch.get(), &DesktopSearch::snipActivated, &waiting, [&](const QUuid &cardID) {
            snipToOpen = cardID;
            answering.quit();
        });
        QObject::connect(desktopSearch.get(), &DesktopSearch::searchRequested, &waiting, [&](const QString &text) {
            searchToShow = text;
            answering.quit();
        });
        QObject::connect(&instance, &SingleInstance::activationRequested, &waiting, [&] { answering.quit(); });
        QObject::connect(&instance, &SingleInstance::commandRequested, &waiting, [&](CaptureCommand requested) {
            command = requested;
            answering.quit();
        });
        answering.exec();
        if (leaving)
            return 0;
    }

    if (const auto unreadable = TessalineApp::unreadableFolderMessage([](const char *name) { return qgetenv(name); }))
        return stopWith(*unreadable);
    UserDefaults &defaults = UserDefaults::standard();
    AccessibilitySettings::shared().load(&defaults);
    auto library = TessalineApp::openLibrary(defaults);
    if (!library)
        return stopWith(library.error());

    // Said in the window too; a start from a terminal shows it there as well.
    if (library->startupMessage)
        std::fprintf(stderr, "%s\n", qPrintable(*library->startupMessage));
    TessalineApp tessaline(std::move(*library), defaults);
    AppRuntime &runtime = tessaline.runtime();
    // What the desktop's search asks for is shown in front of everything:
    // the first-run setup, a sheet over the very window that shows it,
    // steps aside until the next start, as when it is closed.
    const auto stepFirstRunAside = [&runtime] {
        if (OnboardingCoordinator *onboarding = runtime.onboarding(); onboarding && onboarding->isOnboardingPresented())
            onboarding->setOnboardingPresented(false);
    };
    // Set before the window is made, so what was asked for is the first
    // thing it shows.
    if (snipToOpen || searchToShow)
        stepFirstRunAside();
    if (snipToOpen)
        runtime.navigation().setGalleryCardID(*snipToOpen);
    if (searchToShow)
        runtime.navigation().showSearch(*searchToShow);
    // Before the window, which begins with the library: asking the desktop
    // for a tray is a wait on the session bus, spent now while the library
    // is being read on the workers.
    MenuBarView menu(runtime, tessaline.updates());
    menu.installTrayIcon();
    const ScreenRegistry screens = everyScreen();
    RootView window(runtime, tessaline.updates(), screens);
    ShellWindowing windowing(runtime, window);
    runtime.setWindowing(&windowing);

    QObject::connect(&menu, &MenuBarView::quitRequested, &application, &QApplication::quit);
    // One settings window at a time: asking again brings it forward.
    QPointer<QWidget> settings;
    auto showSettings = [&] {
        if (!settings) {
            settings = screens.makeSettings(runtime, tessaline.updates());
            if (!settings)
                return;
            placeOverMainWindow(*settings, window);
        }
        settings->show();
        settings->raise();
        if (QWindow *shown = settings->windowHandle())
            WindowSystem::bringForward(*shown);
    };
    QObject::connect(&menu, &MenuBarView::settingsRequested, &window, showSettings);
    QObject::connect(&window, &RootView::settingsRequested, &window, showSettings);
    QObject::connect(&instance, &SingleInstance::activationRequested, &window,
                     [&runtime](const QString &activationToken) {
                         WindowSystem::holdActivationToken(activationToken);
                         runtime.bringMainWindowToFront();
                     });
    auto runCommand = [&runtime](CaptureCommand requested) {
        switch (requested) {
        case CaptureCommand::captureRegion:
            runtime.captureRegion();
            break;
        case CaptureCommand::captureWindow:
            runtime.captureWindow();
            break;
        case CaptureCommand::captureDisplay:
            runtime.captureDisplay();
            break;
        case CaptureCommand::quickNote:
            runtime.requestQuickThought();
            break;
        }
    };
    QObject::connect(&instance, &SingleInstance::commandRequested, &window, runCommand);
    QObject::connect(desktopSearch.get(), &DesktopSearch::snipActivated, &window,
                     [&runtime, stepFirstRunAside](const QUuid &cardID) {
                         stepFirstRunAside();
                         runtime.navigation().setGalleryCardID(cardID);
                         runtime.bringMainWindowToFront();
                     });
    QObject::connect(desktopSearch.get(), &DesktopSearch::searchRequested, &window,
                     [&runtime, stepFirstRunAside](const QString &text) {
                         stepFirstRunAside();
                         runtime.navigation().showSearch(text);
                         runtime.bringMainWindowToFront();
                     });
    // A command that found no running instance runs in this one, once it is up.
    if (command)
        QTimer::singleShot(0, &window, [runCommand, command] { runCommand(*command); });

    // Whatever still waits for its save (a title being typed, a field of
    // the inspector) is written before the app goes. A quit the user asked
    // for is turned down when it cannot be, unless the user says otherwise;
    // where nobody can be asked any more, the terminal is told.
    QuitGuard quitGuard(runtime.modelContext(), [&window](const QString &message) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Tessaline"), message, QMessageBox::NoButton,
                        window.isVisible() ? &window : nullptr);
        box.setTextFormat(Qt::PlainText);
        const QPushButton *quit = box.addButton(QStringLiteral("Quit Anyway"), QMessageBox::DestructiveRole);
        QPushButton *stay = box.addButton(QStringLiteral("Don\u2019t Quit"), QMessageBox::RejectRole);
        box.setDefaultButton(stay);
        box.setEscapeButton(stay);
        box.exec();
        return box.clickedButton() == quit;
    });
    application.installEventFilter(&quitGuard);
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &runtime, [&runtime] {
        if (!runtime.finishStoringCaptures(std::chrono::seconds(10)))
            std::fprintf(stderr, "Tessaline ended before every capture was stored.\n");
        if (const auto lost = QuitGuard::saveOnTheWayOut(runtime.modelContext()))
            std::fprintf(stderr, "%s\n", qPrintable(*lost));
    });
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &window,
                     [&window, &defaults] { rememberMainWindowFrame(window, defaults); });

    // Text recognition's engine is a module opened at its first use, and
    // its language data is let go when recognition has been idle a while;
    // each capture has them loaded on the recognition worker while the
    // picture is being chosen and stored, so its text comes no later.
    QObject::connect(&runtime.captureCoordinator(), &CaptureCoordinator::stateChanged, &window,
                     [&runtime, wasBusy = false]() mutable {
                         const bool busy = runtime.captureCoordinator().state().isBusy();
                         if (busy && !wasBusy)
                             runtime.ocrService().prepare();
                         wasBusy = busy;
                     });

    quitOnTerminationSignals();
    restoreMainWindowFrame(window, defaults);
    window.show();
    // The session's first capture, and each screen's first showing, then
    // cost no more than later ones.
    windowing.afterFirstFrame(&window, [&runtime, &screens, &window] {
        runtime.captureCoordinator().prepareForFirstCapture();
        screens.prepare(window.controller().screens());
        // A turn of its own, so the main thread answers in between.
        QTimer::singleShot(0, &window, [&runtime] { CaptureToastWindowController::shared().prepare(runtime); });
        // While text recognition's code is being opened no thread can start
        // in the process (up to 145 ms under load): it is opened once the
        // start's own threads run, not as the first capture starts its
        // encoders.
        QTimer::singleShot(std::chrono::seconds(1), &window, [&runtime] { runtime.ocrService().openCode(); });
    });
    const int status = QApplication::exec();
    // The settings object lives to the end of the process, past the last
    // turn of the event loop that would have written what quitting changed.
    defaults.sync();
    delete settings.data();
    runtime.setWindowing(nullptr);
    return status;
}
