#include "shell/TessalineApp.h"

#include "runtime/AppRuntime.h"
#include "runtime/OCRService.h"
#include "runtime/ReviewReminderService.h"
#include "runtime/DesktopSearchIndexService.h"
#include "capture/CaptureCoordinator.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "model/StoreSchema.h"
#include "model/TessalineStore.h"
#include "runtime/OnboardingCoordinator.h"
#include "runtime/OnboardingPreferencesStore.h"
#include "runtime/UpdateService.h"
#include "platform/DesktopUserNotificationCenter.h"
#include "platform/NotificationCenter.h"
#include "platform/Pasteboard.h"
#include "platform/PlatformTexts.h"
#include "platform/UserDefaults.h"
#include "platform/WindowSystem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QProcess>

namespace tessaline {
namespace {

const QString kCloudSyncKey = QStringLiteral("cloudSyncEnabled");

std::unique_ptr<CaptureCoordinator> buildCaptureStack(UserDefaults &defaults)
{
    auto services = CaptureCoordinatorServices::fromPlatform(PlatformFactory::create());
    services.permissionHistoryStore = std::make_shared<ScreenCapturePermissionHistoryStore>(defaults);
    services.shortcutStore = std::make_shared<GlobalShortcutConfigurationStore>(defaults);
    services.notificationCenter = &NotificationCenter::defaultCenter();
    return std::make_unique<CaptureCoordinator>(std::move(services));
}

// Below this a library cannot count on making its log, and a disk this
// full is what the user must see to.
constexpr qint64 nearlyFullDisk = 16 * 1024 * 1024;

// Space left on the disk a file is (or would be) on; negative when unknown.
qint64 bytesFreeAt(const QString &filePath)
{
    QString place = QFileInfo(filePath).absolutePath();
    while (!QFileInfo::exists(place) && place != QDir::rootPath())
        place = QFileInfo(place).absolutePath();
    const QStorageInfo storage(place);
    return storage.isValid() && storage.isReady() ? storage.bytesAvailable() : -1;
}

} // namespace

QString TessalineApp::storeFailureMessage(const QString &reason, qint64 bytesFree)
{
    QString message = QStringLiteral("Tessaline could not create its local store: ") + reason;
    // SQLite tells a full disk as a plain I/O error when it cannot make the
    // library's log, which says nothing the user can act on. Where it told
    // it as such, the reason says so already.
    if (bytesFree >= 0 && bytesFree < nearlyFullDisk && !reason.contains(storeschema::diskFullReason()))
        message += QStringLiteral("\n\nThe disk that holds the library is full. Free some space on it, then open "
                                  "Tessaline again.");
    return message;
}

std::optional<QString> TessalineApp::unreadableFolderMessage(const std::function<QByteArray(const char *)> &environment)
{
    // The home folder counts only where the data or the settings folder is
    // found through it.
    QList<const char *> names{"XDG_DATA_HOME", "XDG_CONFIG_HOME"};
    if (environment("XDG_DATA_HOME").isEmpty() || environment("XDG_CONFIG_HOME").isEmpty())
        names.prepend("HOME");
    for (const char *name : std::as_const(names)) {
        const QByteArray folder = environment(name);
        if (QFile::encodeName(QFile::decodeName(folder)) == folder)
            continue;
        return QStringLiteral("Tessaline cannot find its library: the name of the folder “%1” (%2) is not UTF-8 "
                              "text, which Tessaline cannot read, and your library would look empty. Set %2 to a "
                              "folder whose name is UTF-8 text, or rename the folder, then start Tessaline again.")
            .arg(QString::fromUtf8(folder), QString::fromLatin1(name));
    }
    return std::nullopt;
}

Expected<OpenedLibrary, QString> TessalineApp::openLibrary(UserDefaults &defaults, const QString &directory)
{
    const bool cloudSync = defaults.boolean(kCloudSyncKey);
    const std::optional<QString> cloudContainer =
        cloudSync ? std::optional<QString>(QStringLiteral("org.tessaline.Tessaline.cloud")) : std::nullopt;
    auto opened = [](std::unique_ptr<ModelContainer> container, std::optional<QString> message) {
        // The library's rows are read on workers while the window is built.
        container->mainContext()->readAhead();
        if (container->isReadOnly()) {
            const QString readOnly = container->readOnlyError().message;
            message = message ? *message + QStringLiteral("\n\n") + readOnly : readOnly;
        }
        return OpenedLibrary{std::move(container), std::move(message)};
    };
    auto failure = [&directory](const StoreError &error) -> Expected<OpenedLibrary, QString> {
        // Nothing is wrong with the store: another session has it open.
        ModelContainer::Configuration configuration;
        configuration.directory = directory;
        if (error == ModelContainer::libraryInUse(ModelContainer::libraryFilePath(configuration)))
            return unexpected(error.message);
        return unexpected(storeFailureMessage(error.message, bytesFreeAt(ModelContainer::libraryFilePath(configuration))));
    };
    auto first = TessalineStore::makeModelContainer(false, cloudContainer, directory);
    if (first)
        return opened(std::move(*first), std::nullopt);
    // Opened again only without the cloud: the same open again would fail
    // the same way, or worse, find its own lock still held by a process
    // being started meanwhile (it holds a copy of the descriptor until it
    // runs its program) and call the library open elsewhere.
    if (!cloudContainer)
        return failure(first.error());

    auto second = TessalineStore::makeModelContainer(false, std::nullopt, directory);
    if (!second)
        return failure(second.error());
    defaults.setBoolean(kCloudSyncKey, false);
    return opened(std::move(*second), PlatformTexts::cloudFallbackNotice() + first.error().message);
}

Expected<void, QString> TessalineApp::launchReplacement(CaptureCoordinator &coordinator,
                                                       const std::function<bool()> &start)
{
    GlobalHotKeyManager &hotKeys = coordinator.hotKeyManager();
    const std::optional<GlobalShortcutConfiguration> held = hotKeys.registeredConfiguration();
    hotKeys.unregisterAll();
    if (start())
        return {};
    // Should the desktop have given a key away meanwhile, the message that
    // follows tells the user to reopen the app anyway.
    if (held)
        (void)coordinator.registerHotKeys(*held);
    return unexpected(QStringLiteral("The application could not be started again."));
}

TessalineApp::TessalineApp(OpenedLibrary library, UserDefaults &defaults, QObject *parent)
    : QObject(parent)
    , m_notificationCenter(std::make_unique<DesktopUserNotificationCenter>())
    , m_reminders(std::make_unique<ReviewReminderService>(*m_notificationCenter))
{
    AppRuntimeServices services;
    services.modelContainer = std::move(library.container);
    services.defaults = &defaults;
    services.captureCoordinator = buildCaptureStack(defaults);
    services.ocrService = std::make_shared<OCRService>();
    services.onboarding = new OnboardingCoordinator(std::make_unique<OnboardingPreferencesStore>(defaults), this);
    services.desktopSearchIndex = std::make_shared<DesktopSearchIndexService>();
    services.setRemindersEnabled = [reminders = m_reminders.get()](bool wanted, QObject *receiver,
                                                                   std::function<void(Expected<bool, QString>)> done) {
        const QPointer<QObject> guard(receiver);
        reminders->setEnabled(wanted, [guard, done](const Expected<bool, NotificationError> &outcome) {
            if (guard)
                done(outcome.transform_error([](const NotificationError &error) { return error.message; }));
        });
    };
    services.pasteboard = &ClipboardPasteboard::general();
    CaptureCoordinator *coordinator = services.captureCoordinator.get();
    services.launchNewInstance = [coordinator]() -> Expected<void, QString> {
        // The new instance waits for this one to quit before it takes the
        // single-instance name.
        return launchReplacement(*coordinator, [] {
            return QProcess::startDetached(QCoreApplication::applicationFilePath(), {QStringLiteral("--replace")});
        });
    };
    m_runtime = std::make_unique<AppRuntime>(std::move(services));
    if (library.startupMessage)
        m_runtime->setErrorMessage(library.startupMessage);
    // The reminder asks the user to open Tessaline; clicking it does.
    connect(m_notificationCenter.get(), &DesktopUserNotificationCenter::opened, this,
            [runtime = m_runtime.get()](const QString &activationToken) {
                WindowSystem::holdActivationToken(activationToken);
                runtime->bringMainWindowToFront();
            });
    connect(&defaults, &UserDefaults::writeFailed, this,
            [runtime = m_runtime.get()](const QString &message) { runtime->setErrorMessage(message); });
    m_updates = std::make_unique<UpdateService>();
}

TessalineApp::~TessalineApp() = default;

} // namespace tessaline
