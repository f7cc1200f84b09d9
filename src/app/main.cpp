#include "app/AppRuntime.h"
#include "app/FocusEditorView.h"
#include "app/GuidedTourCoachmark.h"
#include "app/MenuBarView.h"
#include "app/OnboardingExperienceView.h"
#include "app/QuickThoughtView.h"
#include "app/RootView.h"
#include "app/SettingsView.h"
#include "app/ShellWindowing.h"
#include "app/SingleInstance.h"
#include "app/TrashActions.h"
#include "app/TrashView.h"
#include "app/TessalineApp.h"
#include "imaging/CaptureReviewView.h"
#include "imaging/SnipFrameComposerView.h"
#include "library/SearchView.h"
#include "library/SnipsLibraryView.h"
#include "onboarding/OnboardingCoordinator.h"
#include "platform/AccessibilitySettings.h"
#include "platform/Pasteboard.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <cstdio>

using namespace tessaline;

namespace {

// The screens of other subsystems that the main window opens.
ScreenRegistry screens(AppRuntime &runtime)
{
    ScreenRegistry registry;
    registry.registerSheet(SheetKind::captureReview,
                           [&runtime](RootViewController &, const SheetRequest &request, QWidget *parent) -> QDialog * {
                               if (!request.cardID)
                                   return nullptr;
                               return new CaptureReviewView(*request.cardID, runtime, parent);
                           });
    registry.registerSheet(SheetKind::frameComposer,
                           [&runtime](RootViewController &, const SheetRequest &request, QWidget *parent) -> QDialog * {
                               if (!request.cardID)
                                   return nullptr;
                               return new SnipFrameComposerView(*request.cardID, runtime, parent);
                           });
    registry.registerDetail(DetailScreen::Kind::snipsLibrary,
                            [&runtime](RootViewController &window, const DetailScreen &, QWidget *parent) -> QWidget * {
                                SnipsLibraryServices services;
                                services.captureRegion = [&runtime] { runtime.captureRegion(); };
                                services.pasteboard = &ClipboardPasteboard::general();
                                services.saveImage = [](const QImage &image, const QString &name, QWidget *owner) {
                                    ImageExportService::savePNG(image, name, owner, [](std::optional<QString>) {});
                                };
                                return new SnipsLibraryView(window.library(), runtime.navigation(), std::move(services),
                                                            parent);
                            });
    registry.registerDetail(DetailScreen::Kind::search,
                            [&runtime](RootViewController &window, const DetailScreen &, QWidget *parent) -> QWidget * {
                                TrashActions &actions = window.trashActions();
                                return new SearchView(window.library(), runtime.navigation(),
                                                      [&actions](const QUuid &boardID, const QUuid &cardID) {
                                                          actions.openSearchResult(boardID, cardID);
                                                      },
                                                      parent);
                            });
    registry.registerSheet(SheetKind::quickThought,
                           [&runtime](RootViewController &window, const SheetRequest &request, QWidget *parent) -> QDialog * {
                               return new QuickThoughtView(window.library(), runtime.navigation(),
                                                           request.preselectedBoardID, parent);
                           });
    registry.registerSheet(SheetKind::focusEditor,
                           [&runtime](RootViewController &window, const SheetRequest &request, QWidget *parent) -> QDialog * {
                               if (!request.cardID)
                                   return nullptr;
                               return new FocusEditorView(window.library(), runtime.navigation(), *request.cardID, parent);
                           });
    registry.registerSheet(SheetKind::onboarding,
                           [&runtime](RootViewController &window, const SheetRequest &, QWidget *parent) -> QDialog * {
                               if (!runtime.onboarding())
                                   return nullptr;
                               return new OnboardingExperienceView(runtime, *runtime.onboarding(), window.library(), parent);
                           });
    registry.registerDetail(DetailScreen::Kind::trash,
                            [](RootViewController &window, const DetailScreen &, QWidget *parent) -> QWidget * {
                                return new TrashView(window.library(), TrashModel::windowActions(window.trashActions()), parent);
                            });
    registry.registerCoachmark([&runtime](RootViewController &, GuidedTourStep step, bool hasSnipPreviewTarget,
                                          QWidget *parent) -> QWidget * {
        if (!runtime.onboarding())
            return nullptr;
        return new GuidedTourCoachmark(*runtime.onboarding(), step, hasSnipPreviewTarget, parent);
    });
    return registry;
}

} // namespace

int main(int argc, char *argv[])
{
    // In a Wayland session, capture goes through the desktop's portals, which
    // only a native Wayland client can use well; Qt would pick XWayland on
    // some desktops, where captures of other windows come out black.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qgetenv("XDG_SESSION_TYPE") == "wayland")
        qputenv("QT_QPA_PLATFORM", "wayland;xcb");
    QApplication application(argc, argv);
    Q_INIT_RESOURCE(app);
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
    RootView window(runtime, tessaline.updates(), screens(runtime));
    ShellWindowing windowing(runtime, window);
    runtime.setWindowing(&windowing);

    MenuBarView menu(runtime, tessaline.updates());
    menu.installTrayIcon();
    QObject::connect(&menu, &MenuBarView::quitRequested, &application, &QApplication::quit);
    // One settings window at a time: asking again brings it forward.
    QPointer<SettingsView> settings;
    auto showSettings = [&] {
        if (!settings)
            settings = new SettingsView(runtime, runtime.onboarding(), tessaline.updates());
        settings->show();
        settings->raise();
        settings->activateWindow();
    };
    QObject::connect(&menu, &MenuBarView::settingsRequested, &window, showSettings);
    QObject::connect(&window, &RootView::settingsRequested, &window, showSettings);
    QObject::connect(&instance, &SingleInstance::activationRequested, &window,
                     [&runtime] { runtime.bringMainWindowToFront(); });
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

    window.show();
    const int status = QApplication::exec();
    delete settings.data();
    runtime.setWindowing(nullptr);
    return status;
}
