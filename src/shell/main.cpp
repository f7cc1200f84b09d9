#include "assistant/AssistantScreens.h"
#include "canvas/CanvasScreens.h"
#include "imaging/ImagingScreens.h"
#include "library/LibraryScreens.h"
#include "notes/NotesScreens.h"
#include "onboarding/OnboardingScreens.h"
#include "platform/AccessibilitySettings.h"
#include "platform/MemoryRelease.h"
#include "platform/UserDefaults.h"
#include "model/ModelContext.h"
#include "runtime/AppRuntime.h"
#include "shell/MainWindowFrame.h"
#include "shell/MenuBarView.h"
#include "shell/RootView.h"
#include "shell/ShellWindowing.h"
#include "shell/SingleInstance.h"
#include "shell/TessalineApp.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <functional>

using namespace tessaline;

namespace {

// Every screen folder hands the main window its screens.
ScreenRegistry allScreens()
{
    ScreenRegistry registry;
    assistant::registerScreens(registry);
    canvas::registerScreens(registry);
    imaging::registerScreens(registry);
    library::registerScreens(registry);
    notes::registerScreens(registry);
    onboarding::registerScreens(registry);
    return registry;
}

// Runs a task once the window's first frame is up, from the event loop:
// what the app does while it would otherwise sit idle after starting.
class AfterFirstFrame : public QObject
{
public:
    AfterFirstFrame(QWindow *window, std::function<void()> task)
        : QObject(window)
        , m_task(std::move(task))
    {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow *>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                m_task();
                deleteLater();
            });
        }
        return false;
    }

private:
    std::function<void()> m_task;
};

} // namespace

int main(int argc, char *argv[])
{
    // In a Wayland session, capture goes through the desktop's portals, which
    // only a native Wayland client can use well; Qt would pick XWayland on
    // some desktops, where captures of other windows come out black.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qgetenv("XDG_SESSION_TYPE") == "wayland")
        qputenv("QT_QPA_PLATFORM", "wayland;xcb");
    returnLargeBlocksToSystem();
    QApplication application(argc, argv);
    Q_INIT_RESOURCE(shell);
    QApplication::setApplicationName(QStringLiteral("Tessaline"));
    QApplication::setApplicationVersion(QStringLiteral(TESSALINE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.tessaline.Tessaline"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tessaline/app-icon.svg")));
    // Captures keep working from the hot keys and the tray after the main
    // window is closed; a new start brings the window back.
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Capture parts of the screen and think with them in notes."));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption replace(QStringLiteral("replace"));
    replace.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(replace);
    for (const CaptureCommand command : allCaptureCommands())
        parser.addOption(QCommandLineOption(captureCommandOption(command),
                                            captureCommandTitle(command) + QStringLiteral(" in the running Tessaline.")));
    parser.process(application);
    std::optional<CaptureCommand> command;
    for (const CaptureCommand candidate : allCaptureCommands()) {
        if (parser.isSet(captureCommandOption(candidate)))
            command = candidate;
    }

    SingleInstance instance;
    if (!instance.claim(parser.isSet(replace), command))
        return 0;

    UserDefaults &defaults = UserDefaults::standard();
    AccessibilitySettings::shared().load(&defaults);
    auto library = TessalineApp::openLibrary(defaults);
    if (!library) {
        std::fprintf(stderr, "%s\n", qPrintable(library.error()));
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Tessaline"), library.error(), QMessageBox::Ok);
        box.setTextFormat(Qt::PlainText);
        box.exec();
        return 1;
    }

    TessalineApp tessaline(std::move(*library), defaults);
    AppRuntime &runtime = tessaline.runtime();
    const ScreenRegistry screens = allScreens();
    RootView window(runtime, tessaline.updates(), screens);
    ShellWindowing windowing(runtime, window);
    runtime.setWindowing(&windowing);

    MenuBarView menu(runtime, tessaline.updates());
    menu.installTrayIcon();
    QObject::connect(&menu, &MenuBarView::quitRequested, &application, &QApplication::quit);
    // One settings window at a time: asking again brings it forward.
    QPointer<QWidget> settings;
    auto showSettings = [&] {
        if (!settings) {
            settings = screens.makeSettings(runtime, tessaline.updates());
            if (!settings)
                return;
            // Opened where the main window is, wholly on that screen.
            settings->adjustSize();
            if (const QScreen *screen = window.screen())
                settings->setGeometry(
                    fittedWindowFrame(settings->size(), settings->minimumSize(), screen->availableGeometry()));
        }
        settings->show();
        settings->raise();
        settings->activateWindow();
    };
    QObject::connect(&menu, &MenuBarView::settingsRequested, &window, showSettings);
    QObject::connect(&window, &RootView::settingsRequested, &window, showSettings);
    QObject::connect(&instance, &SingleInstance::activationRequested, &window,
                     [&runtime](const QString &activationToken) {
                         // Qt's Wayland activation uses a token found here, once.
                         if (!activationToken.isEmpty())
                             qputenv("XDG_ACTIVATION_TOKEN", activationToken.toLatin1());
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
    // A command that found no running instance runs in this one, once it is up.
    if (command)
        QTimer::singleShot(0, &window, [runCommand, command] { runCommand(*command); });

    // Whatever still waits for its save (a title being typed, a field of
    // the inspector) is written before the app goes.
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &runtime, [&runtime] {
        if (runtime.modelContext().hasChanges())
            (void)runtime.modelContext().save();
    });
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &window,
                     [&window, &defaults] { rememberMainWindowFrame(window, defaults); });

    restoreMainWindowFrame(window, defaults);
    window.show();
    // The session's first capture then costs no more than later ones.
    if (QWindow *handle = window.windowHandle())
        new AfterFirstFrame(handle, [&runtime] { runtime.captureCoordinator().prepareForFirstCapture(); });
    const int status = QApplication::exec();
    // The settings object lives to the end of the process, past the last
    // turn of the event loop that would have written what quitting changed.
    defaults.sync();
    delete settings.data();
    runtime.setWindowing(nullptr);
    return status;
}
