#pragma once

#include "../capture/CaptureFakes.h"
#include "LibraryBuilder.h"

#include "runtime/AppRuntime.h"
#include "runtime/OCRService.h"
#include "runtime/DesktopSearchIndexService.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "runtime/OnboardingCoordinator.h"
#include "platform/NotificationCenter.h"
#include "platform/SearchIndex.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <memory>

namespace tessaline::testing {


class RecordingWindowing : public RuntimeWindowing
{
public:
    void bringMainWindowToFront() override { ++raised; }
    bool anyWindowHasSheet() const override { return false; }
    void showCaptureToast(const QUuid &) override {}
    void closeCaptureToast() override {}
    void terminate() override { ++terminated; }

    int raised = 0;
    int terminated = 0;
};

// Never answers: its futures come back cancelled.
class SilentOCR : public OCRServicing
{
public:
    QFuture<OCRResult> recognizeText(const QImage &, QObject *) override { return {}; }
};

// Records what reaches the desktop-search index, from the index's worker.
class RecordingIndex : public SearchIndexing
{
public:
    explicit RecordingIndex(QStringList *deleted) : m_deleted(deleted) {}
    Expected<void, SearchIndexError> indexItems(const QList<SearchableItem> &) override { return {}; }
    Expected<void, SearchIndexError> deleteItems(const QStringList &identifiers) override
    {
        *m_deleted += identifiers;
        return {};
    }

private:
    QStringList *m_deleted;
};

// A runtime over an in-memory library (or one in `libraryDirectory`, when
// given) with fakes for the screen, the hot keys, recognition, the index and
// the desktop; its onboarding starts with neither the setup sheet nor a
// tour, as for a returning user.
struct MainWindowRig
{
    explicit MainWindowRig(const QString &libraryDirectory = QString())
    {
        defaults = std::make_unique<UserDefaults>(dir.filePath("settings.ini"));
        auto system = std::make_unique<fakes::FakeHotKeySystem>();
        hotKeys = system.get();
        CaptureCoordinatorServices capture;
        display = std::make_shared<fakes::FakeDisplayCapturing>();
        capture.displayCaptureService = display;
        capture.permissionHistoryStore = std::make_shared<ScreenCapturePermissionHistoryStore>(*defaults);
        capture.hotKeyManager = std::make_shared<GlobalHotKeyManager>(std::move(system));
        capture.shortcutStore = std::make_shared<GlobalShortcutConfigurationStore>(*defaults);
        permission = std::make_shared<fakes::FakePermission>();
        permission->access = true;
        capture.permissionController = permission;
        capture.notificationCenter = &center;

        onboarding = std::make_unique<OnboardingCoordinator>(std::make_unique<OnboardingPreferencesStore>(*defaults));
        onboarding->setOnboardingPresented(false);
        onboarding->setTourStep(std::nullopt);

        ModelContainer::Configuration configuration;
        configuration.isStoredInMemoryOnly = libraryDirectory.isEmpty();
        configuration.directory = libraryDirectory;

        AppRuntimeServices services;
        services.modelContainer = std::move(*ModelContainer::open(configuration));
        services.defaults = defaults.get();
        services.captureCoordinator = std::make_unique<CaptureCoordinator>(std::move(capture));
        services.onboarding = onboarding.get();
        services.ocrService = std::make_shared<SilentOCR>();
        services.desktopSearchIndex = std::make_shared<DesktopSearchIndexService>(
            [log = &deletedFromIndex] { return std::make_unique<RecordingIndex>(log); }, QStringLiteral("test.domain"));
        services.launchNewInstance = [this]() -> Expected<void, QString> {
            if (launchFailure)
                return unexpected(*launchFailure);
            return {};
        };
        services.openScreenRecordingSettings = [this] {
            ++settingsOpened;
            return settingsOpen;
        };
        services.windowing = &windowing;
        runtime = std::make_unique<AppRuntime>(std::move(services));
    }

    ModelContext &context() { return runtime->modelContext(); }

    // A display capture that fails with `error`, the way the screen reports
    // it: the coordinator ends failed and the runtime holds the message.
    void failCapture(const CaptureSubsystemError &error)
    {
        runtime->captureDisplay();
        QCoreApplication::processEvents();
        display->finishDisplay(unexpected(error));
    }
    NavigationState &navigation() { return runtime->navigation(); }

    Board *addNote(const QString &title, double sortIndex = 0, bool inbox = false)
    {
        return testing::addNote(context(), NoteFields{.title = title, .inbox = inbox, .sortIndex = sortIndex});
    }

    CanvasCard *addCard(const Board *board, CardKind kind, qint64 created = 0)
    {
        return testing::addCard(context(), board->id(), CardFields{.kind = kind, .created = at(created)});
    }

    Connection *connect(const CanvasCard *source, const CanvasCard *destination)
    {
        return addConnection(context(), source, destination);
    }

    QTemporaryDir dir;
    std::unique_ptr<UserDefaults> defaults;
    NotificationCenter center;
    std::shared_ptr<fakes::FakeDisplayCapturing> display;
    fakes::FakeHotKeySystem *hotKeys = nullptr;
    std::shared_ptr<fakes::FakePermission> permission;
    std::unique_ptr<OnboardingCoordinator> onboarding;
    QStringList deletedFromIndex;
    RecordingWindowing windowing;
    std::optional<QString> launchFailure;
    bool settingsOpen = true;
    int settingsOpened = 0;
    std::unique_ptr<AppRuntime> runtime;
};

} // namespace tessaline::testing
