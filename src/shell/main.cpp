#include "imaging/ImagingScreens.h"
#include "library/LibraryScreens.h"
#include "notes/NotesScreens.h"
#include "onboarding/OnboardingScreens.h"
#include "platform/AccessibilitySettings.h"
#include "platform/UserDefaults.h"
#include "runtime/AppRuntime.h"
#include "shell/MenuBarView.h"
#include "shell/RootView.h"
#include "shell/ShellWindowing.h"
#include "shell/SingleInstance.h"
#include "shell/TessalineApp.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPointer>

#include <cstdio>

using namespace tessaline;

namespace {

// Every screen folder hands the main window its screens.
ScreenRegistry allScreens()
{
    ScreenRegistry registry;
    imaging::registerScreens(registry);
    library::registerScreens(registry);
    notes::registerScreens(registry);
    onboarding::registerScreens(registry);
    return registry;
}

} // namespace

int main(int argc, char *argv[])
{
    // Capture and the global hot keys speak X11; in a Wayland session they
    // work through XWayland until the desktop portal path exists.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qgetenv("XDG_SESSION_TYPE") == "wayland")
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    Q_INIT_RESOURCE(shell);
    QApplication::setApplicationName(QStringLiteral("Tessaline"));
    QApplication::setApplicationVersion(QStringLiteral(TESSALINE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.tessaline.Tessaline"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tessaline/app-icon.svg")));
    // Captures keep working from the hot keys and the tray after the main
    // window is closed; a new start brings the window back.
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstance instance;
    if (!instance.claim(QApplication::arguments().contains(QStringLiteral("--replace"))))
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
        if (!settings)
            settings = screens.makeSettings(runtime, tessaline.updates());
        if (!settings)
            return;
        settings->show();
        settings->raise();
        settings->activateWindow();
    };
    QObject::connect(&menu, &MenuBarView::settingsRequested, &window, showSettings);
    QObject::connect(&window, &RootView::settingsRequested, &window, showSettings);
    QObject::connect(&instance, &SingleInstance::activationRequested, &window,
                     [&runtime] { runtime.bringMainWindowToFront(); });

    window.show();
    const int status = QApplication::exec();
    delete settings.data();
    runtime.setWindowing(nullptr);
    return status;
}
