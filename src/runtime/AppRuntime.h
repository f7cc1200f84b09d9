#pragma once

#include "runtime/ImageExportService.h"
#include "runtime/NavigationState.h"
#include "capture/CaptureBehaviorPreferences.h"
#include "capture/CaptureCoordinator.h"
#include "capture/GlobalShortcutConfiguration.h"
#include "model/CardDataWriter.h"
#include "platform/Expected.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <QUuid>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace tessaline {

class CanvasCard;
class CapturePipeline;
class ModelContainer;
class ModelContext;
class OCRServicing;
class OnboardingCoordinator;
class Pasteboard;
class DesktopSearchIndexService;
class UserDefaults;
struct StoredCapture;

// What the runtime needs of the windows on screen. The shell provides it;
// tests pass a recording fake.
class RuntimeWindowing
{
public:
    virtual ~RuntimeWindowing() = default;
    // Raises, restores and activates the main window (or the first window
    // there is when none can be the main one).
    virtual void bringMainWindowToFront() = 0;
    // True while any window shows a sheet (a window-modal dialog).
    virtual bool anyWindowHasSheet() const = 0;
    // Closes any toast on screen and shows the capture toast for the card.
    virtual void showCaptureToast(const QUuid &cardID) = 0;
    virtual void closeCaptureToast() = 0;
    // Ends the process (after a successful relaunch).
    virtual void terminate() = 0;
    // Runs `task`, while `context` lives, in a turn of the event loop of its
    // own once the main window's first frame is up: work the start owes but
    // the first screen does not show. Without a main window, in the next turn.
    virtual void afterFirstFrame(QObject *context, std::function<void()> task);
};

// Everything the runtime is built from. The app's start-up fills it with the
// real services; tests hand in fakes.
struct AppRuntimeServices
{
    std::unique_ptr<ModelContainer> modelContainer;
    UserDefaults *defaults = nullptr;
    std::unique_ptr<CaptureCoordinator> captureCoordinator;
    OnboardingCoordinator *onboarding = nullptr;
    std::shared_ptr<OCRServicing> ocrService;
    std::shared_ptr<DesktopSearchIndexService> desktopSearchIndex;
    // Turns the weekly reminder on or off; answers whether it is on
    // afterwards, or why it failed. The answer may come later.
    std::function<void(bool wanted, QObject *receiver, std::function<void(Expected<bool, QString>)>)> setRemindersEnabled;
    Pasteboard *pasteboard = nullptr;
    // Starts a new instance of the app; the reason when it could not.
    std::function<Expected<void, QString>()> launchNewInstance;
    // Opens the desktop's privacy settings; true when something opened.
    std::function<bool()> openScreenRecordingSettings;
    // Registers the global hot keys; by default the coordinator's own.
    std::function<Expected<void, CaptureSubsystemError>()> captureStartup;
    RuntimeWindowing *windowing = nullptr;
};

// The one application-wide coordinator: owns the library and the long-lived
// services, hands every finished capture to the capture pipeline and does
// what the user sees follow it, and offers the operations that menus,
// settings and screens call. Main thread only; every continuation it hands
// out is guarded so it does nothing once it is gone.
class AppRuntime : public QObject
{
    Q_OBJECT
public:
    explicit AppRuntime(AppRuntimeServices services, QObject *parent = nullptr);
    ~AppRuntime() override;

    ModelContainer &modelContainer() const { return *m_services.modelContainer; }
    ModelContext &modelContext() const;
    NavigationState &navigation() const { return *m_navigation; }
    CaptureCoordinator &captureCoordinator() const { return *m_services.captureCoordinator; }
    OnboardingCoordinator *onboarding() const { return m_services.onboarding; }
    OCRServicing &ocrService() const { return *m_services.ocrService; }
    DesktopSearchIndexService *desktopSearchIndex() const { return m_services.desktopSearchIndex.get(); }
    CaptureBehaviorPreferencesStore &captureBehaviorPreferencesStore() { return m_preferencesStore; }
    UserDefaults &defaults() const { return *m_services.defaults; }
    void setWindowing(RuntimeWindowing *windowing) { m_services.windowing = windowing; }

    std::optional<QString> errorMessage() const { return m_errorMessage; }
    void setErrorMessage(const std::optional<QString> &message);
    std::optional<CaptureSubsystemError> activeCaptureError() const { return m_activeCaptureError; }
    void setActiveCaptureError(const std::optional<CaptureSubsystemError> &error);
    bool isUIReady() const { return m_isUIReady; }
    bool isStarted() const { return m_isStarted; }
    GlobalShortcutConfiguration shortcutConfiguration() const { return m_shortcutConfiguration; }
    CaptureBehaviorPreferences captureBehaviorPreferences() const { return m_captureBehaviorPreferences; }
    std::optional<QUuid> lastAutomaticallyCopiedCardID() const { return m_lastAutomaticallyCopiedCardID; }
    // The last capture that was to be copied but was not, because the
    // desktop would not have taken the entry then (see Pasteboard).
    std::optional<QUuid> automaticCopyHeldBackCardID() const { return m_automaticCopyHeldBackCardID; }
    // Where captures become snips, their text is read and indexed.
    CapturePipeline &capturePipeline() const { return *m_capturePipeline; }

    // Seeds the library, picks the active note, starts the hot keys and the
    // reminder. Runs in full until one run succeeds; later calls do nothing.
    void start();
    void requestQuickThought();
    void bringMainWindowToFront();
    // The follow-up of the app becoming active again (after a visit to the
    // desktop's privacy settings, say).
    void applicationDidBecomeActive();

    // A finished capture becomes a snip card in the note that is active now,
    // after the reference paragraph active now (see CapturePipeline);
    // captures are stored (and announced) in the order they arrive here.
    void handleCaptureResult(const CaptureResult &result);
    // Waits, running the event loop, until no capture is being taken,
    // encoded or written into the library, at most `limit`: a capture asked
    // for just before the app is told to end (the last of a burst, a quit
    // from the tray) is a snip the user expects to find. True when every
    // one was stored or reported failed.
    bool finishStoringCaptures(std::chrono::milliseconds limit);
    bool canPresentCaptureReview() const;

    void captureRegion();
    void captureWindow();
    void captureDisplay();
    // The failure's message when the shortcuts could not be changed.
    Expected<void, QString> updateShortcutConfiguration(const GlobalShortcutConfiguration &configuration);
    void setAutomaticallyOpensRegionCaptureReview(bool value);
    void setAutomaticallyCopiesCaptures(bool value);
    void openScreenRecordingSettings();
    void relaunchApplication();
    void setReviewRemindersEnabled(bool wanted, bool reportFailures);
    // Copies `picture`, the card's picture with its annotations drawn in as
    // the caller holds it, when captures are copied as they are kept; false
    // when it should have been and was not.
    bool copyCardImage(const CanvasCard &card, const QImage &picture, Pasteboard &pasteboard);
    // The same with the picture's PNG made already (off the main thread);
    // none when it could not be made.
    bool copyCardPng(const QUuid &cardID, const std::optional<QByteArray> &png, Pasteboard &pasteboard);

    static QString captureRequestedNotification() { return QStringLiteral("tessaline.capture.requested"); }
    static QString quickThoughtRequestedNotification() { return QStringLiteral("tessaline.quickThought.requested"); }

Q_SIGNALS:
    void errorMessageChanged();
    void activeCaptureErrorChanged();
    void uiReadyChanged();
    void startedChanged();
    void shortcutConfigurationChanged();
    void captureBehaviorPreferencesChanged();
    void lastAutomaticallyCopiedCardIDChanged();
    // A capture has been stored (with its card) or has failed (without).
    void captureHandled(const std::optional<QUuid> &cardID);

private:
    void installCaptureCallbacks();
    // The steps of a start after the hot keys: marks it started and renews
    // the weekly reminder when it is wanted.
    void completeStart();
    // What follows a capture's store: selection, clipboard, review or
    // toast.
    void captureStored(const StoredCapture &capture);
    // The card's picture as the library holds it, read when called.
    std::function<std::optional<QByteArray>()> storedPictureSource(const QUuid &cardID);
    void presentCaptureReviewIfPossible(const QUuid &cardID);
    void setLastAutomaticallyCopiedCardID(const std::optional<QUuid> &id);
    void setCaptureBehaviorPreferences(const CaptureBehaviorPreferences &preferences);
    void fail(const QString &message);

    AppRuntimeServices m_services;
    std::unique_ptr<NavigationState> m_navigation;
    CaptureBehaviorPreferencesStore m_preferencesStore;
    std::optional<QString> m_errorMessage;
    std::optional<CaptureSubsystemError> m_activeCaptureError;
    bool m_isUIReady = false;
    bool m_isStarted = false;
    GlobalShortcutConfiguration m_shortcutConfiguration;
    CaptureBehaviorPreferences m_captureBehaviorPreferences;
    std::optional<QUuid> m_lastAutomaticallyCopiedCardID;
    std::optional<QUuid> m_automaticCopyHeldBackCardID;
    std::unique_ptr<CapturePipeline> m_capturePipeline;
};

} // namespace tessaline
